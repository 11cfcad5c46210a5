#include "platform/Utf8.h"

#include <cstdint>
#include <cstring>

namespace bextkit {

size_t utf8SequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t b = byte(i);
  if (b < 0x80) return 1;
  size_t length;
  uint32_t minimum;
  uint32_t cp;
  if ((b & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past Unicode are not valid UTF-8.
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

namespace {

// The length of the run of ASCII bytes (below 0x80) that `bytes` starts with.
size_t asciiPrefix(std::string_view bytes) {
  // Eight bytes at a time while none has its high bit set.
  size_t i = 0;
  for (uint64_t word; i + 8 <= bytes.size(); i += 8) {
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & 0x8080808080808080u) break;
  }
  while (i < bytes.size() && static_cast<uint8_t>(bytes[i]) < 0x80) ++i;
  return i;
}

void appendLatin1(std::string& out, uint8_t b) {
  out.push_back(static_cast<char>(0xC0 | (b >> 6)));
  out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
}

}  // namespace

bool isUtf8(std::string_view bytes) {
  for (size_t i = asciiPrefix(bytes); i < bytes.size();) {
    const size_t length = static_cast<uint8_t>(bytes[i]) < 0x80 ? 1 : utf8SequenceLength(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string displayUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  // Runs of valid sequences go in whole.
  size_t run = 0;
  for (size_t i = asciiPrefix(bytes); i < bytes.size();) {
    const size_t length = static_cast<uint8_t>(bytes[i]) < 0x80 ? 1 : utf8SequenceLength(bytes, i);
    if (length == 0) {
      out.append(bytes, run, i - run);
      appendLatin1(out, static_cast<uint8_t>(bytes[i]));
      run = ++i;
    } else {
      i += length;
    }
  }
  out.append(bytes, run, bytes.size() - run);
  return out;
}

}  // namespace bextkit
