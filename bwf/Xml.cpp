#include "bwf/Xml.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cstring>
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

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string trimmed(std::string_view text) {
  size_t first = 0, end = text.size();
  while (first < end && isSpace(text[first])) ++first;
  while (end > first && isSpace(text[end - 1])) --end;
  return std::string(text.substr(first, end - first));
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

const std::string* XmlDocument::leaf(std::string_view path) const {
  const auto it = std::find_if(leafList.begin(), leafList.end(),
                               [path](const XmlLeaf& l) { return l.path == path; });
  return it == leafList.end() ? nullptr : &it->text;
}

const std::string* XmlDocument::leaf(std::string_view under, std::string_view path) const {
  const auto it = std::find_if(leafList.begin(), leafList.end(), [&](const XmlLeaf& l) {
    return l.path.size() == under.size() + 1 + path.size() && l.path.starts_with(under) &&
           l.path[under.size()] == '/' && l.path.ends_with(path);
  });
  return it == leafList.end() ? nullptr : &it->text;
}

namespace {

// The longest document whose parser a thread keeps for the next.
constexpr size_t kLongestKept = 64 * 1024;

// The ASCII bytes that start a name, and those that go on one.
constexpr std::array<uint8_t, 256> kNameBytes = [] {
  std::array<uint8_t, 256> bytes{};
  for (int c = 0; c < 256; ++c) {
    const bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    bytes[static_cast<size_t>(c)] = start ? 2 : (c >= '0' && c <= '9') || c == '.' || c == '-';
  }
  return bytes;
}();
bool isNameStart(char c) { return kNameBytes[static_cast<uint8_t>(c)] == 2; }
bool isNameChar(char c) { return kNameBytes[static_cast<uint8_t>(c)] != 0; }

// Whether the text holds printable ASCII and white space (tab, LF, CR) alone. Eight bytes are
// looked at together; only eight that hold a control byte are looked at one by one.
bool printableAscii(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  const auto plain = [](char c) {
    const auto byte = static_cast<uint8_t>(c);
    return (byte >= 0x20 && byte < 0x7F) || isSpace(c);
  };
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text.data() + i, 8);
    const uint64_t del = word ^ (0x7F * kOnes);
    // A byte of 0x80 or more, one below 0x20, or 0x7F.
    if (((word | ((word - 0x20 * kOnes) & ~word) | ((del - kOnes) & ~del)) & kHighs) != 0 &&
        !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i),
                     text.begin() + static_cast<std::ptrdiff_t>(i + 8), plain)) {
      return false;
    }
  }
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), plain);
}

// The declarations the quick reader takes: version 1.0, UTF-8 if named, standalone or not.
bool plainDeclaration(std::string_view text, size_t& length) {
  static const std::vector<std::string> kDeclarations = [] {
    std::vector<std::string> forms;
    for (const char* encoding : {"", " encoding=\"UTF-8\"", " encoding=\"utf-8\""}) {
      for (const char* standalone : {"", " standalone=\"yes\"", " standalone=\"no\""}) {
        forms.push_back(std::string("<?xml version=\"1.0\"") + encoding + standalone + "?>");
      }
    }
    return forms;
  }();
  if (!text.starts_with("<?xml version=\"1.0\"")) return false;
  for (const std::string& form : kDeclarations) {
    if (text.starts_with(form)) {
      length = form.size();
      return true;
    }
  }
  return false;
}

}  // namespace

namespace detail {

std::optional<XmlDocument> readPlainXml(std::string_view whole) {
  const std::string_view text = withoutXmlPadding(whole);
  const size_t n = text.size();
  if (!printableAscii(text)) return std::nullopt;
  size_t i = 0;
  if (text.starts_with("<?") && !plainDeclaration(text, i)) return std::nullopt;
  XmlDocument document;
  // Room for the leaves made once, by the document's length: a recorder's leaf, with its tags
  // and indentation, takes some forty bytes; sixteen leave room for terse documents too.
  document.leafList.reserve(std::min<size_t>(64, n / 16 + 1));
  struct Open {
    std::string_view name;
    size_t pathLength;  // of the path before it
    uint64_t tagStart;
  };
  std::vector<Open> open;
  open.reserve(8);
  std::string path, chars;
  bool hasChildren = false, rootDone = false;
  uint64_t contentStart = 0;
  size_t elements = 0;
  const auto leaf = [&](uint64_t begin, uint64_t end, bool emptyTag, uint64_t parent) {
    document.leafList.push_back(
        {path, emptyTag ? std::string() : trimmed(chars), begin, end, emptyTag, parent});
  };
  while (i < n) {
    if (text[i] != '<') {
      const size_t next = std::min(text.find('<', i), n);
      const std::string_view run = text.substr(i, next - i);
      if (open.empty()) {
        if (!std::all_of(run.begin(), run.end(), isSpace)) return std::nullopt;
      } else {
        if (run.find("]]>") != std::string_view::npos) return std::nullopt;
        for (size_t k = 0; k < run.size(); ++k) {
          // Text up to the next entity or CR is taken whole.
          size_t plain = k;
          while (plain < run.size() && run[plain] != '&' && run[plain] != '\r') ++plain;
          chars.append(run.substr(k, plain - k));
          if ((k = plain) == run.size()) break;
          if (run[k] == '&') {
            static constexpr std::pair<std::string_view, char> kEntities[] = {
                {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
            const auto entity =
                std::find_if(std::begin(kEntities), std::end(kEntities),
                             [&](const auto& e) { return run.substr(k).starts_with(e.first); });
            if (entity == std::end(kEntities)) return std::nullopt;
            chars += entity->second;
            k += entity->first.size() - 1;
          } else {
            // A line end is one LF, as XML reads CR LF and CR.
            chars += '\n';
            if (k + 1 < run.size() && run[k + 1] == '\n') ++k;
          }
        }
      }
      i = next;
      continue;
    }
    if (i + 1 < n && text[i + 1] == '/') {
      if (open.empty()) return std::nullopt;
      const Open& element = open.back();
      size_t j = i + 2;
      if (text.substr(j, element.name.size()) != element.name) return std::nullopt;
      j += element.name.size();
      while (j < n && isSpace(text[j])) ++j;
      if (j >= n || text[j] != '>') return std::nullopt;
      if (!hasChildren) leaf(contentStart, i, false, open.size() > 1 ? open.end()[-2].tagStart : 0);
      path.resize(element.pathLength);
      open.pop_back();
      chars.clear();
      hasChildren = true;
      rootDone = open.empty();
      i = j + 1;
      continue;
    }
    // A start tag without attributes; comments, instructions, CDATA and a second root are left
    // to expat.
    if (i + 1 >= n || !isNameStart(text[i + 1]) || rootDone) return std::nullopt;
    size_t j = i + 1;
    while (j < n && isNameChar(text[j])) ++j;
    const std::string_view name = text.substr(i + 1, j - i - 1);
    while (j < n && isSpace(text[j])) ++j;
    const bool emptyTag = j < n && text[j] == '/';
    if (emptyTag) ++j;
    if (j >= n || text[j] != '>') return std::nullopt;
    ++j;
    const size_t pathLength = path.size();
    if (!path.empty()) path += '/';
    path += name;
    if (++elements > kMostXmlElements || open.size() + 1 > kDeepestXml ||
        path.size() > kLongestXmlPath) {
      return std::nullopt;  // expat stops there and says why
    }
    chars.clear();
    hasChildren = false;
    contentStart = j;
    if (emptyTag) {
      leaf(i, j, true, open.empty() ? 0 : open.back().tagStart);
      path.resize(pathLength);
      hasChildren = true;
      rootDone = open.empty();
    } else {
      open.push_back({name, pathLength, i});
    }
    i = j;
  }
  if (!open.empty() || !rootDone) return std::nullopt;
  document.wellFormed = true;
  return document;
}

XmlDocument readXmlWithExpat(std::string_view whole) {
  const std::string_view text = withoutXmlPadding(whole);
  const size_t end = text.size();
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

}  // namespace detail

std::string_view withoutXmlPadding(std::string_view text) {
  const bool utf16 = text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
  const bool littleEndian = text.starts_with("\xFF\xFE");
  const size_t unit = utf16 ? 2 : 1;
  const auto padding = [&](size_t at) {
    const char c = text[at + (utf16 && littleEndian ? 0 : unit - 1)];
    const bool high = !utf16 || text[at + (littleEndian ? 1 : 0)] == '\0';
    return high && (c == '\0' || c == ' ' || c == '\n' || c == '\r' || c == '\t');
  };
  size_t end = text.size() - text.size() % unit;
  // Padding of eight spaces or eight NULs at a time, in UTF-8.
  for (uint64_t word; !utf16 && end >= 8; end -= 8) {
    std::memcpy(&word, text.data() + end - 8, 8);
    if (word != 0 && word != 0x2020202020202020u) break;
  }
  while (end >= unit + (utf16 ? 2 : 0) && padding(end - unit)) end -= unit;
  return text.substr(0, end);
}

XmlDocument parseXml(std::string_view text) {
  std::optional<XmlDocument> plain = detail::readPlainXml(text);
  return plain ? std::move(*plain) : detail::readXmlWithExpat(text);
}

}  // namespace bextkit
