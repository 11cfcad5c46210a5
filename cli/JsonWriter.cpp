#include "cli/JsonWriter.h"

#include <array>
#include <cstring>

#include "bwf/BextRecord.h"

#include "platform/Utf8.h"

namespace bextkit::cli {

JsonWriter& JsonWriter::number(double value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  std::string_view text(digits, static_cast<size_t>(end - digits));
  raw(text);
  if (text.find_first_of(".eEn") == std::string_view::npos) text_ += ".0";
  return *this;
}

JsonWriter& JsonWriter::fileName(const std::string& bytes) {
  separate();
  text_ += '"';
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    const size_t length = utf8SequenceLength(bytes, i);
    if (length == 0) {
      escaped("\\udc", c);
    } else if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += static_cast<char>(c);
    } else if (c < 0x20) {
      escaped("\\u00", c);
    } else {
      text_.append(bytes, i, length);
    }
    i += length == 0 ? 1 : length;
  }
  text_ += '"';
  return *this;
}

void JsonWriter::escaped(const char* prefix, uint8_t byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  text_ += prefix;
  text_ += kHex[byte >> 4];
  text_ += kHex[byte & 15];
}

namespace {

// The bytes that a JSON string holds only escaped.
constexpr std::array<bool, 256> kEscaped = [] {
  std::array<bool, 256> escaped{};
  for (size_t byte = 0; byte < 0x20; ++byte) escaped[byte] = true;
  escaped['"'] = escaped['\\'] = true;
  return escaped;
}();

// Whether any of eight bytes may need an escape: a byte below 0x20, a quote or a backslash (a
// few others are flagged too, and looked at one by one).
bool mayEscape(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  const uint64_t quote = word ^ ('"' * kOnes), backslash = word ^ ('\\' * kOnes);
  return (((word - 0x20 * kOnes) & ~word) | ((quote - kOnes) & ~quote) |
          ((backslash - kOnes) & ~backslash)) &
         kHighs;
}

}  // namespace

void JsonWriter::quoted(std::string_view value, std::string_view closing) {
  text_ += '"';
  // Runs of bytes that need no escape go in whole; eight bytes that need none are passed over
  // together.
  size_t run = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    uint64_t word = 0;
    while (i + 8 <= value.size() && (std::memcpy(&word, value.data() + i, 8), !mayEscape(word))) {
      i += 8;
    }
    if (i == value.size()) break;
    const auto byte = static_cast<unsigned char>(value[i]);
    if (!kEscaped[byte]) continue;
    text_.append(value, run, i - run);
    run = i + 1;
    switch (byte) {
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
        escaped("\\u00", byte);
    }
  }
  text_.append(value, run, value.size() - run);
  text_ += closing;
}

void loudnessJson(JsonWriter& j, std::string_view key, const std::optional<int16_t>& hundredths) {
  j.key(key);
  if (hundredths && *hundredths != BextRecord::kNotMeasured) {
    j.number(*hundredths / 100.0);
  } else {
    j.null();
  }
}

}  // namespace bextkit::cli
