// Turning the byte texts of a file into text for people and for JSON.
#pragma once

#include <string>

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

}  // namespace bextkit::cli
