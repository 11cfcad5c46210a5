#include "cli/Text.h"

#include <cstdint>

namespace bextkit::cli {

std::string jsonFileName(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  const auto escape = [](std::string& out, const char* prefix, uint8_t byte) {
    out += prefix;
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
  };
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    const size_t length = utf8SequenceLength(bytes, i);
    if (length == 0) {
      escape(out, "\\udc", c);
    } else if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      escape(out, "\\u00", c);
    } else {
      out.append(bytes, i, length);
    }
    i += length == 0 ? 1 : length;
  }
  return out + "\"";
}

std::string displayLines(const std::string& bytes, const std::string& indent) {
  const std::string text = displayUtf8(bytes);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (i + 1 < text.size()) out += "\n" + indent;
    } else if (c < 0x20 || c == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace bextkit::cli
