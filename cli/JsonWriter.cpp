#include "cli/JsonWriter.h"

namespace bextkit::cli {

JsonWriter& JsonWriter::number(double value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  std::string_view text(digits, static_cast<size_t>(end - digits));
  raw(text);
  if (text.find_first_of(".eEn") == std::string_view::npos) text_ += ".0";
  return *this;
}

void JsonWriter::quoted(std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  text_ += '"';
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        text_ += "\\\"";
        break;
      case '\\':
        text_ += "\\\\";
        break;
      case '\b':
        text_ += "\\b";
        break;
      case '\f':
        text_ += "\\f";
        break;
      case '\n':
        text_ += "\\n";
        break;
      case '\r':
        text_ += "\\r";
        break;
      case '\t':
        text_ += "\\t";
        break;
      default:
        if (byte < 0x20) {
          text_ += "\\u00";
          text_ += kHex[byte >> 4];
          text_ += kHex[byte & 15];
        } else {
          text_ += c;
        }
    }
  }
  text_ += '"';
}

}  // namespace bextkit::cli
