// Texts of files are bytes; people and scripts see them as Unicode: valid UTF-8 as it is, and
// every other byte as the Latin-1 character of that value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bextkit {

// Length of the valid UTF-8 sequence at `i` (1 to 4), or 0 when the byte there starts none.
size_t utf8SequenceLength(std::string_view s, size_t i);

// The bytes as UTF-8: valid UTF-8 sequences unchanged, every other byte taken as Latin-1.
std::string displayUtf8(std::string_view bytes);
// Whether the bytes are valid UTF-8 already, which displayUtf8 gives back unchanged.
bool isUtf8(std::string_view bytes);

}  // namespace bextkit
