// A small reader for the XML that WAV files carry (iXML): whether the text is well-formed, where
// it first is not, and the texts of its leaf elements by their paths ("BWFXML/SPEED/...").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bextkit {

// A leaf element as the document holds it: its path, its text, and where its content lies.
struct XmlLeaf {
  std::string path;  // "BWFXML/SPEED/TIMECODE_RATE"
  std::string text;  // surrounding white space removed
  // The bytes of the document between its start and end tags; for an empty-element tag
  // ("<NOTE/>") the tag itself, `emptyTag` true.
  uint64_t begin = 0, end = 0;
  bool emptyTag = false;
  uint64_t parent =
      0;  // where its parent element's start tag begins: leaves of one parent share it
};

struct XmlDocument {
  bool wellFormed = false;
  // The document went past one of the limits below: the reader stopped there, `error` says
  // which, and `leafList` holds what came before. Such a document is not called well-formed, nor
  // malformed: it was not read to its end.
  bool capped = false;
  std::string error;                        // the parser's reason, or the limit passed
  uint64_t line = 0, column = 0, byte = 0;  // where the parser stopped (1-based line and column)
  // Every leaf element in document order, repeated paths included (a TRACK_LIST's tracks), its
  // text with surrounding white space removed.
  std::vector<XmlLeaf> leafList;
  // The text of the leaf element at `path` from the root ("BWFXML/SPEED/TIMECODE_RATE"), the
  // first where a path repeats; null where there is none.
  const std::string* leaf(std::string_view path) const;
  // The same for the path `under`/`path` ("BWFXML", "SPEED/TIMECODE_RATE"), without making it.
  const std::string* leaf(std::string_view under, std::string_view path) const;
};

// Limits that keep the reading of any document short and its memory bounded. An iXML chunk of
// a field recorder holds a few hundred elements, four levels deep.
constexpr size_t kDeepestXml = 64;        // elements inside one another
constexpr size_t kLongestXmlPath = 1024;  // bytes of a path "A/B/C"
constexpr size_t kMostXmlElements = 50000;

// Parses `text`, UTF-8 or, after its byte order mark, UTF-16; NULs and white space after the
// last element (a common padding) are ignored. Documents as recorders write them (ASCII, an
// optional plain declaration, elements without attributes, the predefined entities) are read
// by a quick reader of their own; any other document, and any that is not well-formed, by
// expat, which tells why.
XmlDocument parseXml(std::string_view text);

// The text without the padding after its last element: NULs and white space, cut a character
// at a time (a byte in UTF-8, two bytes, one of them zero, in UTF-16).
std::string_view withoutXmlPadding(std::string_view text);

namespace detail {
// The two readers apart, for tests that compare them: the quick reader's document, or nothing
// where it leaves the text to expat; and expat's.
std::optional<XmlDocument> readPlainXml(std::string_view text);
XmlDocument readXmlWithExpat(std::string_view text);
}  // namespace detail

}  // namespace bextkit
