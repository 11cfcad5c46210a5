#include "bwf/Xml.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <random>
#include <type_traits>
#include <vector>

namespace bextkit {

namespace {

// The path of the open elements is kept as one text, grown and cut as elements open and close,
// so that each element costs the length of its own name, however deep it stands.
struct Walk {
  XML_Parser parser;
  XmlDocument& document;
  std::string path;                // "A/B/C"
  std::vector<size_t> parentEnds;  // the length of `path` before each open element
  std::string text;
  bool hasChildren = false;
  size_t elements = 0;
  uint64_t tagStart = 0, contentStart = 0;  // of the element opened last
  std::vector<uint64_t> tagStarts;          // of each open element
};

uint64_t byteIndex(XML_Parser parser) {
  const XML_Index at = XML_GetCurrentByteIndex(parser);
  return at < 0 ? 0 : static_cast<uint64_t>(at);
}

std::string trimmed(const std::string& text) {
  const char* kSpace = " \t\r\n";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

void stop(Walk& walk, std::string why) {
  walk.document.capped = true;
  walk.document.error = std::move(why);
  XML_StopParser(walk.parser, XML_FALSE);
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char**) {
  auto& walk = *static_cast<Walk*>(user);
  if (++walk.elements > kMostXmlElements) {
    return stop(walk, "more than " + std::to_string(kMostXmlElements) + " elements");
  }
  walk.parentEnds.push_back(walk.path.size());
  if (!walk.path.empty()) walk.path += '/';
  walk.path += name;
  if (walk.parentEnds.size() > kDeepestXml || walk.path.size() > kLongestXmlPath) {
    return stop(walk, "elements nested deeper than " + std::to_string(kDeepestXml) + " levels or " +
                          std::to_string(kLongestXmlPath) + " bytes of names");
  }
  walk.text.clear();
  walk.hasChildren = false;
  walk.tagStart = byteIndex(walk.parser);
  walk.tagStarts.push_back(walk.tagStart);
  walk.contentStart = walk.tagStart + static_cast<uint64_t>(XML_GetCurrentByteCount(walk.parser));
}

void XMLCALL onEnd(void* user, const XML_Char*) {
  auto& walk = *static_cast<Walk*>(user);
  if (walk.document.capped) return;  // an end that follows the stop is not read
  if (!walk.hasChildren) {
    // An empty-element tag's end has no bytes of its own.
    const uint64_t end = byteIndex(walk.parser);
    const bool emptyTag = XML_GetCurrentByteCount(walk.parser) == 0;
    walk.document.leafList.push_back({walk.path, trimmed(walk.text),
                                      emptyTag ? walk.tagStart : walk.contentStart,
                                      emptyTag ? walk.contentStart : end, emptyTag,
                                      walk.tagStarts.size() > 1 ? walk.tagStarts.end()[-2] : 0});
    walk.document.leaves.emplace(walk.path, walk.document.leafList.back().text);
  }
  walk.path.resize(walk.parentEnds.back());
  walk.parentEnds.pop_back();
  walk.tagStarts.pop_back();
  walk.text.clear();
  walk.hasChildren = true;  // the parent now has a child
}

void XMLCALL onText(void* user, const XML_Char* text, int length) {
  static_cast<Walk*>(user)->text.append(text, static_cast<size_t>(length));
}

}  // namespace

// The longest document whose parser a thread keeps for the next.
constexpr size_t kLongestKept = 64 * 1024;

XmlDocument parseXml(std::string_view text) {
  // Padding is cut a character at a time: a byte in UTF-8, two bytes (one of them zero) in
  // UTF-16.
  const bool utf16 = text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
  const bool littleEndian = text.starts_with("\xFF\xFE");
  const size_t unit = utf16 ? 2 : 1;
  const auto padding = [&](size_t at) {
    const char c = text[at + (utf16 && littleEndian ? 0 : unit - 1)];
    const bool high = !utf16 || text[at + (littleEndian ? 1 : 0)] == '\0';
    return high && (c == '\0' || c == ' ' || c == '\n' || c == '\r' || c == '\t');
  };
  size_t end = text.size() - text.size() % unit;
  while (end >= unit + (utf16 ? 2 : 0) && padding(end - unit)) end -= unit;
  XmlDocument document;
  // Each thread keeps its parser from one document to the next, reset between them: making one
  // costs more than reading a short document. One that read a long document goes, so that
  // its buffers are not kept.
  using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)>;
  thread_local Parser parser(nullptr, &XML_ParserFree);
  if (!parser || !XML_ParserReset(parser.get(), nullptr)) {
    parser.reset(XML_ParserCreate(nullptr));
  }
  if (!parser) {
    document.error = "out of memory";
    return document;
  }
  struct Release {
    Parser& parser;
    size_t length;
    ~Release() {
      if (length > kLongestKept) parser.reset();
    }
  } release{parser, end};
  // The salt of the parser's hash tables keeps a document from being made to collide them. One
  // drawn for the process serves every document: a parser that draws its own asks the system
  // for random bytes each time, a call per file in a batch.
  static const unsigned long salt = [] {
    std::random_device source;
    return ((static_cast<unsigned long>(source()) << 31) ^ source()) | 1;  // 0 draws anew
  }();
  XML_SetHashSalt(parser.get(), salt);
  Walk walk{parser.get(), document, {}, {}, {}, false, 0, 0, 0, {}};
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
    if (!document.capped) document.error = XML_ErrorString(XML_GetErrorCode(parser.get()));
    document.line = XML_GetCurrentLineNumber(parser.get());
    document.column = XML_GetCurrentColumnNumber(parser.get()) + 1;
    const XML_Index byte = XML_GetCurrentByteIndex(parser.get());
    document.byte = byte < 0 ? 0 : static_cast<uint64_t>(byte);
  }
  return document;
}

}  // namespace bextkit
