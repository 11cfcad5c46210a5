#include "check/Xml.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

namespace bextkit::check {

namespace {

struct Walk {
  XmlDocument& document;
  std::vector<std::string> path;
  std::string text;
  bool hasChildren = false;
};

std::string trimmed(const std::string& text) {
  const char* kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::string joined(const std::vector<std::string>& path) {
  std::string text;
  for (const std::string& name : path) text += (text.empty() ? "" : "/") + name;
  return text;
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char**) {
  auto* walk = static_cast<Walk*>(user);
  walk->path.emplace_back(name);
  walk->text.clear();
  walk->hasChildren = false;
}

void XMLCALL onEnd(void* user, const XML_Char*) {
  auto* walk = static_cast<Walk*>(user);
  if (!walk->hasChildren) walk->document.leaves.emplace(joined(walk->path), trimmed(walk->text));
  walk->path.pop_back();
  walk->text.clear();
  walk->hasChildren = true;  // the parent now has a child
}

void XMLCALL onText(void* user, const XML_Char* text, int length) {
  static_cast<Walk*>(user)->text.append(text, static_cast<size_t>(length));
}

}  // namespace

XmlDocument parseXml(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == '\0' || text[end - 1] == ' ' || text[end - 1] == '\n' ||
                     text[end - 1] == '\r' || text[end - 1] == '\t')) {
    --end;
  }
  XmlDocument document;
  Walk walk{document, {}, {}, false};
  std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
      XML_ParserCreate(nullptr), &XML_ParserFree);
  if (!parser) {
    document.error = "out of memory";
    return document;
  }
  XML_SetUserData(parser.get(), &walk);
  XML_SetElementHandler(parser.get(), onStart, onEnd);
  XML_SetCharacterDataHandler(parser.get(), onText);
  // Fed in pieces that fit an int, whatever the chunk's size.
  constexpr size_t kPiece = 1 << 20;
  bool ok = true;
  for (size_t at = 0; ok && at < end; at += kPiece) {
    const size_t length = std::min(kPiece, end - at);
    ok = XML_Parse(parser.get(), text.data() + at, static_cast<int>(length), 0) == XML_STATUS_OK;
  }
  if (ok) ok = XML_Parse(parser.get(), "", 0, 1) == XML_STATUS_OK;
  document.wellFormed = ok;
  if (!ok) {
    document.error = XML_ErrorString(XML_GetErrorCode(parser.get()));
    document.line = XML_GetCurrentLineNumber(parser.get());
    document.column = XML_GetCurrentColumnNumber(parser.get()) + 1;
    const XML_Index byte = XML_GetCurrentByteIndex(parser.get());
    document.byte = byte < 0 ? 0 : static_cast<uint64_t>(byte);
  }
  return document;
}

}  // namespace bextkit::check
