#include "timecode/CNumbers.h"

#include <limits>

namespace bextkit::cnum {

namespace {
constexpr bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

int32_t atoi(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude, saturating once it passes what a 64-bit long can hold.
  constexpr uint64_t kLimit = uint64_t{1} << 63;  // |LONG_MIN|
  uint64_t magnitude = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (saturated || magnitude > (kLimit - digit) / 10) {
      saturated = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  uint64_t asLong;  // the bits strtol would return
  if (negative) {
    asLong = saturated ? kLimit : (0 - magnitude);
  } else {
    asLong = (saturated || magnitude >= kLimit) ? kLimit - 1 : magnitude;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(asLong));
}

int32_t truncToInt32(float value) {
  if (!std::isfinite(value)) return 0;
  const double t = std::trunc(static_cast<double>(value));
  if (t >= -2147483648.0 && t < 2147483648.0) return static_cast<int32_t>(t);
  // Beyond 32 bits every float is an integer; fmod by 2^32 is exact in double.
  double r = std::fmod(t, 4294967296.0);
  if (r < 0) r += 4294967296.0;
  return static_cast<int32_t>(static_cast<uint32_t>(r));
}

int32_t lroundfToInt32(float value) {
  if (!std::isfinite(value)) return 0;
  return truncToInt32(std::roundf(value));
}

char* putPadded(char* out, int64_t value, int width) {
  if (width == 2 && value >= 0 && value < 100) {  // the fields of every timecode of a day
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
  }
  char digits[20];
  int n = 0;
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *out++ = '-';
  for (int pad = width - n - (negative ? 1 : 0); pad > 0; --pad) *out++ = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

void appendPadded(std::string& out, int64_t value, int width) {
  char text[24];
  out.append(text, putPadded(text, value, width));
}

}  // namespace bextkit::cnum
