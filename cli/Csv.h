// Comma-separated values as RFC 4180 writes them and as spreadsheets save them: fields quoted
// where they hold a comma, a quote or a line break (a quote inside doubled), records ended by
// CR LF. The reader also takes LF and CR line ends, semicolons or tabs between the fields where
// the first line holds more of them than commas (as spreadsheets of some languages save), and
// skips a UTF-8 byte order mark.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bextkit::cli::csv {

// The broadcast extension columns of the metadata table that export writes and import reads, in
// order, named as archives' tables name them.
inline constexpr std::array<std::string_view, 16> kBextColumns = {"FileName",
                                                                  "Description",
                                                                  "Originator",
                                                                  "OriginatorReference",
                                                                  "OriginationDate",
                                                                  "OriginationTime",
                                                                  "TimeReference (translated)",
                                                                  "TimeReference",
                                                                  "BextVersion",
                                                                  "UMID",
                                                                  "LoudnessValue",
                                                                  "LoudnessRange",
                                                                  "MaxTruePeakLevel",
                                                                  "MaxMomentaryLoudness",
                                                                  "MaxShortTermLoudness",
                                                                  "CodingHistory"};

// Whether the metadata table's column `name` holds text rather than a number: every column but
// TimeReference, BextVersion, UMID and the loudness values (the INFO fields too).
bool isTextColumn(std::string_view name);
// A text for a spreadsheet cell: a text that begins with =, +, -, @, a tab or a carriage return,
// which a spreadsheet would run as a formula, gets a single quote before it, and so does one
// that begins with a quote itself, so that fromTextCell gives every text back exactly.
std::string textCell(std::string_view text);
std::string_view fromTextCell(std::string_view cell);

// One field, quoted where it needs to be.
std::string field(std::string_view text);
// One record: the fields joined by commas, then CR LF.
std::string record(const std::vector<std::string>& fields);

// The separator of a table whose first line is `text`'s: ',', ';' or a tab.
char separatorOf(std::string_view text);

using Row = std::vector<std::string>;
// Every record of `text`; nothing, with the reason and its line in `error`, for a quote that is
// never closed or stray characters after a closing quote. A last record without a line end counts;
// an empty text gives no records.
std::optional<std::vector<Row>> parse(std::string_view text, std::string& error);

}  // namespace bextkit::cli::csv
