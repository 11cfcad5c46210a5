// Comma-separated values as RFC 4180 writes them and as spreadsheets save them: fields quoted
// where they hold a comma, a quote or a line break (a quote inside doubled), records ended by
// CR LF. The reader also takes LF line ends and skips a UTF-8 byte order mark.
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

// One field, quoted where it needs to be.
std::string field(std::string_view text);
// One record: the fields joined by commas, then CR LF.
std::string record(const std::vector<std::string>& fields);

using Row = std::vector<std::string>;
// Every record of `text`; nothing, with the reason and its line in `error`, for a quote that is
// never closed or stray characters after a closing quote. A last record without a line end counts;
// an empty text gives no records.
std::optional<std::vector<Row>> parse(std::string_view text, std::string& error);

}  // namespace bextkit::cli::csv
