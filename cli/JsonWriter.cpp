#include "cli/JsonWriter.h"

#include <array>
#include <cstring>

#include "bwf/BextRecord.h"

#include "platform/Utf8.h"

namespace bextkit::cli {

namespace {

// The bytes that a JSON string holds only escaped, and the letter of the short escape of those
// that have one (\b, \f, \n, \r, \t, \", \\); 'u' for the others, written as \u00NN.
constexpr std::array<char, 256> kEscapes = [] {
  std::array<char, 256> escapes{};
  for (size_t byte = 0; byte < 0x20; ++byte) escapes[byte] = 'u';
  escapes['\b'] = 'b', escapes['\f'] = 'f', escapes['\n'] = 'n', escapes['\r'] = 'r';
  escapes['\t'] = 't', escapes['"'] = '"', escapes['\\'] = '\\';
  return escapes;
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

void JsonWriter::grow(size_t bytes) { text_.resize(std::max(2 * text_.size(), length_ + bytes)); }

JsonWriter& JsonWriter::number(double value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  std::string_view text(digits, static_cast<size_t>(end - digits));
  raw(text);
  if (text.find_first_of(".eEn") == std::string_view::npos) put(".0");
  return *this;
}

// A byte written as an escape takes at most six bytes (\udcNN, \u00NN).
constexpr size_t kMostPerByte = 6;

JsonWriter& JsonWriter::fileName(const std::string& bytes) {
  separate();
  char* const start = room(bytes.size() * kMostPerByte + 2);
  char* at = start;
  *at++ = '"';
  size_t i = 0;
  // Eight ASCII bytes that need no escape go in together.
  for (uint64_t word; i + 8 <= bytes.size(); i += 8, at += 8) {
    std::memcpy(&word, bytes.data() + i, 8);
    if ((word & 0x8080808080808080u) || mayEscape(word)) break;
    std::memcpy(at, &word, 8);
  }
  while (i < bytes.size()) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    const size_t length = utf8SequenceLength(bytes, i);
    if (length == 0) {
      at = escaped(at, "\\udc", c);
    } else if (c == '"' || c == '\\') {
      *at++ = '\\';
      *at++ = static_cast<char>(c);
    } else if (c < 0x20) {
      at = escaped(at, "\\u00", c);
    } else {
      std::memcpy(at, bytes.data() + i, length);
      at += length;
    }
    i += length == 0 ? 1 : length;
  }
  *at++ = '"';
  length_ += static_cast<size_t>(at - start);
  return *this;
}

char* JsonWriter::escaped(char* at, const char* prefix, uint8_t byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::memcpy(at, prefix, 4);
  at[4] = kHex[byte >> 4];
  at[5] = kHex[byte & 15];
  return at + 6;
}

bool JsonWriter::quoted(std::string_view value, std::string_view closing, bool asciiOnly) {
  // Room for the worst case at once, so that the bytes go in without a check each. Nothing
  // counts as written until the end, so that a text that is not ASCII leaves none behind.
  char* const start = room(value.size() * kMostPerByte + closing.size() + 1);
  char* at = start;
  *at++ = '"';
  const auto* from = reinterpret_cast<const unsigned char*>(value.data());
  const auto* const end = from + value.size();
  const uint64_t stop = asciiOnly ? 0x8080808080808080u : 0;
  // Writes one byte, escaped where it must be; false for a byte past ASCII when only ASCII is
  // taken.
  const auto one = [&at, asciiOnly](unsigned char byte) {
    const char escape = kEscapes[byte];
    if (escape == 0) {
      if (asciiOnly && byte >= 0x80) return false;
      *at++ = static_cast<char>(byte);
    } else if (escape != 'u') {
      *at++ = '\\';
      *at++ = escape;
    } else {
      at = escaped(at, "\\u00", byte);
    }
    return true;
  };
  // Eight bytes at a time: eight that need no escape go in together, others one by one.
  for (uint64_t word; end - from >= 8; from += 8) {
    std::memcpy(&word, from, 8);
    if (!mayEscape(word) && !(word & stop)) {
      std::memcpy(at, &word, 8);
      at += 8;
      continue;
    }
    for (int k = 0; k < 8; ++k) {
      if (!one(from[k])) return false;
    }
  }
  for (; from != end; ++from) {
    if (!one(*from)) return false;
  }
  for (const char c : closing) *at++ = c;
  length_ += static_cast<size_t>(at - start);
  return true;
}

JsonWriter& JsonWriter::displayString(std::string_view bytes) {
  separate();
  // Most texts are ASCII, written at once; any other as displayUtf8 shows it.
  if (!quoted(bytes, "\"", true)) quoted(displayUtf8(bytes));
  return *this;
}

void loudnessJson(JsonWriter& j, std::string_view key, const std::optional<int16_t>& hundredths) {
  j.plainKey(key);
  if (hundredths && *hundredths != BextRecord::kNotMeasured) {
    j.number(*hundredths / 100.0);
  } else {
    j.null();
  }
}

}  // namespace bextkit::cli
