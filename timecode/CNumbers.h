// Reading and writing decimal numbers the way the C library's atoi and printf("%0Nd") do, with
// every overflow defined: values wrap modulo 2^32 instead of invoking undefined behaviour.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bextkit::cnum {

// The text up to its first NUL byte: what a C string of it holds.
inline std::string_view cStringView(const std::string& s) { return std::string_view(s.c_str()); }

// atoi: skips leading white space, takes one sign, reads decimal digits up to the first other
// character; no digits gives 0. Like glibc (strtol clamped to 64 bits, then narrowed), a value
// outside 32 bits keeps its low 32 bits.
int32_t atoi(std::string_view text);

// The whole text as an unsigned decimal ("48000"); nothing for an empty text, a sign, any other
// character, or a value past 64 bits. Unlike atoi, for texts that must be a number and nothing
// else (a table's cell, an iXML field).
inline std::optional<uint64_t> wholeDecimal(std::string_view text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A signed value truncated to 32 bits (two's complement wrap-around).
constexpr int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
constexpr int32_t add32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t mul32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// A float truncated toward zero to an integer, reduced modulo 2^32 when it lies outside the
// 32-bit range; NaN and infinities give 0.
int32_t truncToInt32(float value);

// lroundf narrowed to 32 bits: halves away from zero; NaN and infinities give 0, values beyond
// 32 bits wrap like truncToInt32.
int32_t lroundfToInt32(float value);

// Writes a decimal at least `width` characters wide (at most 20), zero-filled after the sign, as
// printf("%0*lld") does: 5 -> "05", -1 -> "-1" at width 2, -1 -> "-001" at width 4. Returns the
// end; `out` has room for 21 characters.
char* putPadded(char* out, int64_t value, int width);
// The same, appended to a string.
void appendPadded(std::string& out, int64_t value, int width);

}  // namespace bextkit::cnum
