// Turning the byte texts of a file into text for people and for JSON.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Utf8.h"

namespace bextkit::cli {

using bextkit::displayUtf8;

// A file name as a JSON string literal, quotes included: valid UTF-8 unchanged, and each byte
// that is not as \udcNN (0xDC00 plus the byte, as Python's surrogateescape reads and writes
// them), so that a name that is not UTF-8 can be told from one that is, and turned back into
// its bytes.
std::string jsonFileName(const std::string& bytes);

// For a terminal: displayUtf8, with line breaks (CR LF, LF or CR) continued on a new line
// indented by `indent`, and other control characters shown as \xNN.
std::string displayLines(const std::string& bytes, const std::string& indent);

// Appends `c`, a control character as \xNN, so that it is seen and never acted on by a
// terminal.
void appendShown(std::string& out, uint8_t c);

// A file name for a terminal: displayUtf8, with every control character (an escape sequence
// that would drive the terminal, a line break) shown as \xNN.
std::string displayName(const std::string& bytes);

// A loudness value kept in hundredths, with two decimals ("-23.00"); `unused` for 0x7FFF, the
// value of a field that holds no measurement.
std::string loudnessText(int16_t hundredths, std::string_view unused = "none");

// A UMID from 64 hex digits (a basic UMID, the rest of the field zero) or 128 (an extended one);
// nothing, with the reason in `why`, for any other text.
std::optional<std::array<uint8_t, 64>> parseUmid(std::string_view text, std::string& why);

// A coding history with each line ended by CR LF, whatever line ends it came with (LF alone, as a
// shell or a spreadsheet cell gives them, or CR alone), the last line included.
std::string withCrLf(std::string_view text);

}  // namespace bextkit::cli
