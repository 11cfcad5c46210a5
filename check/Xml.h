// A small reader for the XML that WAV files carry (iXML): whether the text is well-formed, where
// it first is not, and the texts of its leaf elements by their paths ("BWFXML/SPEED/...").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace bextkit::check {

struct XmlDocument {
  bool wellFormed = false;
  std::string error;                        // the parser's reason where it is not
  uint64_t line = 0, column = 0, byte = 0;  // where the parser stopped (1-based line and column)
  // The text of each leaf element by its path from the root, the first where a path repeats;
  // surrounding white space removed.
  std::map<std::string, std::string> leaves;
};

// Parses `text`; NULs and white space after the last element (a common padding) are ignored.
XmlDocument parseXml(std::string_view text);

}  // namespace bextkit::check
