#include "cli/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

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

void appendShown(std::string& out, uint8_t c) {
  static const char kHex[] = "0123456789ABCDEF";
  if (c >= 0x20 && c != 0x7F) {
    out.push_back(static_cast<char>(c));
    return;
  }
  out += "\\x";
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 0xF]);
}

std::string displayLines(const std::string& bytes, const std::string& indent) {
  const std::string text = displayUtf8(bytes);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (i + 1 < text.size()) out += "\n" + indent;
    } else {
      appendShown(out, c);
    }
  }
  return out;
}

std::string displayName(const std::string& bytes) {
  std::string out;
  for (const char c : displayUtf8(bytes)) appendShown(out, static_cast<uint8_t>(c));
  return out;
}

std::string loudnessText(int16_t hundredths, std::string_view unused) {
  if (hundredths == 0x7FFF) return std::string(unused);
  const int magnitude = std::abs(int{hundredths});
  const int cents = magnitude % 100;
  return (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100) + (cents < 10 ? ".0" : ".") +
         std::to_string(cents);
}

std::optional<std::array<uint8_t, 64>> parseUmid(std::string_view text, std::string& why) {
  if (text.size() != 64 && text.size() != 128) {
    why = "expected 64 or 128 hexadecimal digits (a 32- or 64-byte UMID), got " +
          std::to_string(text.size()) + " characters";
    return std::nullopt;
  }
  std::array<uint8_t, 64> umid{};
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) {
      why = "character " + std::to_string(i + 1) + " is not a hexadecimal digit";
      return std::nullopt;
    }
    umid[i / 2] = static_cast<uint8_t>(umid[i / 2] | (digit << (i % 2 ? 0 : 4)));
  }
  return umid;
}

std::string withCrLf(std::string_view text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines += "\r\n";
    } else {
      lines += text[i];
    }
  }
  if (!lines.empty() && lines.back() != '\n') lines += "\r\n";
  return lines;
}

}  // namespace bextkit::cli
