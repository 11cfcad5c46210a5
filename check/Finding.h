// What a conformance check reports: one finding per broken rule or notable fact, with a stable
// code that scripts and spreadsheets can match, a severity, the file offset it applies to and
// one plain sentence a user can act on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bextkit::check {

enum class Severity { kError, kWarning, kNote };

// "error", "warning", "note".
const char* severityName(Severity severity);

struct Finding {
  std::string code;  // lower-case words joined by hyphens, e.g. "riff-size", "date-no-such-day"
  Severity severity;
  uint64_t offset;   // of the chunk header or the field's first byte the finding is about
  std::string text;  // one sentence, starting with a capital letter, ending with a full stop
};
using Findings = std::vector<Finding>;

// The rule sets a check applies to the broadcast extension fields, as bits. The structure of
// the file and the timecode are always checked.
enum RuleSet : unsigned {
  kTech3285 = 1u << 0,  // the fields' lengths, forms and ranges
  kR98 = 1u << 1,       // the coding history's lines
  kR99 = 1u << 2,       // the originator reference's parts
  kFadgi = 1u << 3,     // the US federal agencies' forms of date, originator and INFO IARL
};

// Reads a comma-separated list of rule set names ("tech3285,r98,r99,fadgi", any case); nothing,
// with the reason in `error`, for an unknown name or an empty list.
std::optional<unsigned> parseRuleSets(std::string_view list, std::string& error);

}  // namespace bextkit::check
