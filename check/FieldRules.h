// The rules for the broadcast extension fields and the INFO list, by rule set: the lengths,
// forms and ranges of the fields, the coding history's lines, the originator reference's parts
// and the forms the US federal agencies' guidelines ask for. Each value check answers with the
// reason a value breaks its rule, in one plain sentence, or with nothing when it keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check/Finding.h"

namespace bextkit::check {

// A bext chunk as the file holds it.
struct BextView {
  std::span<const uint8_t> payload;  // the chunk's payload as read (shorter when truncated)
  uint64_t offset = 0;               // the file offset of payload[0]
  bool bigEndian = false;            // the record's integers are big-endian (RIFX files)
};

// One entry of a LIST chunk of form INFO.
struct InfoEntry {
  std::string id;     // "IARL", "ICMT" ...
  std::string value;  // the entry's bytes up to its first NUL
  uint64_t offset;    // the file offset of the entry's header
};

// Appends the findings of the chosen rule sets (RuleSet bits) about the record's fields.
void checkBext(const BextView& bext, unsigned ruleSets, Findings& out);
// Appends the findings of the chosen rule sets about the INFO list; `bext` (null when the file
// has none) gives the Originator that FADGI wants IARL to equal.
void checkInfo(const std::vector<InfoEntry>& info, const BextView* bext, unsigned ruleSets,
               Findings& out);

// Single values, as the rules read them.
// OriginationDate: yyyy-mm-dd, a month 01-12 and a day that exists in it (leap years counted).
std::optional<std::string> whyNotDate(std::string_view text);
// OriginationTime: hh:mm:ss, 00:00:00 to 23:59:59.
std::optional<std::string> whyNotTime(std::string_view text);
// FADGI dates: yyyy, yyyy-mm or yyyy-mm-dd.
std::optional<std::string> whyNotFadgiDate(std::string_view text);
// FADGI originators: "US, NARA": a country code, a comma, a space, an organisation.
std::optional<std::string> whyNotFadgiOriginator(std::string_view text);
// R99 originator references: 32 characters, country (2 letters), organisation (3 letters or
// digits), serial (12), time of origin hhmmss (6 digits, a real time), random (9 digits).
std::optional<std::string> whyNotOriginatorReference(std::string_view text);
// R98 coding history: each problem as its 1-based line and the reason.
struct LineProblem {
  size_t line;
  std::string reason;
};
std::vector<LineProblem> codingHistoryProblems(std::string_view text);

}  // namespace bextkit::check
