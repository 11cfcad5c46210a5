// Turning the byte texts of a file into text for people.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "edit/FieldEdit.h"
#include "platform/Utf8.h"

namespace bextkit::cli {

using bextkit::displayUtf8;

// For a terminal: displayUtf8, with line breaks (CR LF, LF or CR) continued on a new line
// indented by `indent`, and other control characters shown as \xNN.
std::string displayLines(const std::string& bytes, const std::string& indent);

// A text as a change lists it: in quotes, line breaks continued on a new line.
std::string quotedText(const std::string& bytes);

// Appends `c`, a control character as \xNN, so that it is seen and never acted on by a
// terminal.
void appendShown(std::string& out, uint8_t c);

// A file name for a terminal: displayUtf8, with every control character (an escape sequence
// that would drive the terminal, a line break) shown as \xNN.
std::string displayName(const std::string& bytes);

// How the values of the broadcast extension are written and read, as the edit layer has it.
using edit::loudnessText;
using edit::withCrLf;

// A field's value for a list of changes: a text in quotes (the coding history on one line, its
// CR and LF as \r and \n), any other value as the edit layer writes it.
std::string valueShown(BextField field, const edit::Value& value,
                       std::string_view notMeasured = "none");
// "Name: before -> after".
std::string changeLine(const edit::Plan::Change& change, std::string_view notMeasured = "none");
// "iXML NAME: before -> after", each text in quotes.
std::string changeLine(const BWFParser::IxmlChange& change);

// The five loudness values on one line, by kLoudnessFields: "-23.00 LUFS, range 5.20 LU, true
// peak -1.00 dBTP, momentary max -18.00 LUFS, short-term max -20.00 LUFS", "none" for a value
// not measured and "missing" for one the chunk does not hold.
std::string loudnessSummary(const std::array<std::optional<int16_t>, 5>& values);

}  // namespace bextkit::cli
