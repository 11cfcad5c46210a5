// A JSON text written as it goes, for output that must be fast over thousands of files: objects,
// arrays, strings (valid UTF-8 in, escaped as JSON wants), numbers, booleans and null, with the
// commas put in by the writer. The text is the same as a JSON library's compact dump.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace bextkit::cli {

class JsonWriter {
 public:
  // `expected`: room for a text of about that many bytes, made at once.
  explicit JsonWriter(size_t expected = 0) : text_(std::max<size_t>(expected, 64), '\0') {}
  JsonWriter& beginObject() { return open('{'); }
  JsonWriter& endObject() { return close('}'); }
  JsonWriter& beginArray() { return open('['); }
  JsonWriter& endArray() { return close(']'); }
  // The key of the next value in an object.
  JsonWriter& key(std::string_view name) {
    separate();
    quoted(name, "\":");
    afterKey_ = true;
    return *this;
  }
  // A key written in the code, which needs no escape: put in as it stands.
  template <size_t N>
  JsonWriter& key(const char (&name)[N]) {
    static_assert(N > 0);
    return plainKey({name, N - 1});
  }
  // A key known to need no escape (no control character, quote or backslash). Always inlined:
  // most keys are written in the code, and their length is then known where it is called.
  [[gnu::always_inline]] JsonWriter& plainKey(std::string_view name) {
    separate();
    char* at = room(name.size() + 3);
    *at = '"';
    std::memcpy(at + 1, name.data(), name.size());
    at[name.size() + 1] = '"';
    at[name.size() + 2] = ':';
    length_ += name.size() + 3;
    afterKey_ = true;
    return *this;
  }
  JsonWriter& string(std::string_view value) {
    separate();
    quoted(value);
    return *this;
  }
  // Bytes from a file as people are shown them: valid UTF-8 as it is, and every other byte as
  // the Latin-1 character of its value.
  JsonWriter& displayString(std::string_view bytes);
  // A file name, byte for byte: valid UTF-8 unchanged, and each byte that is not as \udcNN
  // (0xDC00 plus the byte, as Python's surrogateescape reads and writes them), so that a name
  // that is not UTF-8 can be told from one that is, and turned back into its bytes.
  JsonWriter& fileName(const std::string& bytes);
  JsonWriter& null() { return raw("null"); }
  JsonWriter& boolean(bool value) { return raw(value ? "true" : "false"); }
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
  JsonWriter& number(T value) {
    separate();
    char* const at = room(24);
    length_ += static_cast<size_t>(std::to_chars(at, at + 24, value).ptr - at);
    return *this;
  }
  // The shortest digits that read back as `value`, with ".0" on a whole number.
  JsonWriter& number(double value);

  std::string_view text() const { return {text_.data(), length_}; }
  // The text and a line feed, moved out of the writer, which is left empty: a line of JSON Lines.
  std::string takeLine() {
    put('\n');
    text_.resize(length_);
    length_ = 0;
    return std::move(text_);
  }

 private:
  // The small steps below are always inlined: a line of JSON takes hundreds of them.

  // A value's text as it stands.
  [[gnu::always_inline]] JsonWriter& raw(std::string_view json) {
    separate();
    put(json);
    return *this;
  }
  [[gnu::always_inline]] JsonWriter& open(char bracket) {
    separate();
    put(bracket);
    first_ = true;
    return *this;
  }
  [[gnu::always_inline]] JsonWriter& close(char bracket) {
    put(bracket);
    first_ = false;
    return *this;
  }
  [[gnu::always_inline]] void separate() {
    if (afterKey_) {
      afterKey_ = false;
    } else if (!first_) {
      put(',');
    }
    first_ = false;
  }
  // `value` between quotes, escaped; `closing` after it (the closing quote, and more).
  // With `asciiOnly`, false where `value` holds a byte past ASCII, and nothing written.
  bool quoted(std::string_view value, std::string_view closing = "\"", bool asciiOnly = false);
  // `prefix` and the byte as two lowercase hex digits ("\\u00" and 0x1F give \u001f).
  // Writes at `at`, which has room for it; the end of what it wrote.
  static char* escaped(char* at, const char* prefix, uint8_t byte);

  // Room for `bytes` more after the text: the buffer doubles where it has too little.
  [[gnu::always_inline]] char* room(size_t bytes) {
    if (text_.size() - length_ < bytes) [[unlikely]]
      grow(bytes);
    return text_.data() + length_;
  }
  void grow(size_t bytes);
  [[gnu::always_inline]] void put(char c) { *room(1) = c, ++length_; }
  [[gnu::always_inline]] void put(std::string_view bytes) {
    std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
    length_ += bytes.size();
  }

  // The buffer, of which the first length_ bytes are the text so far.
  std::string text_;
  size_t length_ = 0;
  bool first_ = true;
  bool afterKey_ = false;
};

// A loudness field of the bext chunk under `key` (a name that needs no escape), in its unit (LUFS,
// LU, dBTP) from hundredths; null where the value is not measured (7FFFh) or not held.
void loudnessJson(JsonWriter& j, std::string_view key, const std::optional<int16_t>& hundredths);

}  // namespace bextkit::cli
