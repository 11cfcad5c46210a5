// The rules for the broadcast extension fields and the INFO list, by rule set: the lengths,
// forms and ranges of the fields, the coding history's lines, the originator reference's parts
// and the forms the US federal agencies' guidelines ask for. A check runs them over the record a
// file holds; an edit runs those of the fields it changes over the record it would write, so
// that no entry point writes what a check calls an error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bwf/BextRecord.h"
#include "check/Finding.h"

namespace bextkit::check {

// One entry of a LIST chunk of form INFO.
struct InfoEntry {
  std::string id;     // "IARL", "ICMT" ...
  std::string value;  // the entry's bytes up to its first NUL
  uint64_t offset;    // the file offset of the entry's header
};

// Appends the findings of the chosen rule sets (RuleSet bits) about the record's fields.
void checkBext(const BextRecord& bext, unsigned ruleSets, Findings& out);
// Appends the findings of the chosen rule sets about one field of the record, as it stands
// beside the others (the UMID and the loudness values by the version).
void checkField(const BextRecord& bext, BextField field, unsigned ruleSets, Findings& out);
// The error a check finds in a field's value by itself (an OriginationDate that names no day, an
// OriginationTime out of range), as a sentence without its full stop; nothing when it has none.
struct ValueError {
  const char* code;  // the finding's code
  std::string text;
};
std::optional<ValueError> valueError(BextField field, std::string_view value);
// Appends the findings of the chosen rule sets about the INFO list; `bext` (null when the file
// has none) gives the Originator that FADGI wants IARL to equal.
void checkInfo(const std::vector<InfoEntry>& info, const BextRecord* bext, unsigned ruleSets,
               Findings& out);

}  // namespace bextkit::check
