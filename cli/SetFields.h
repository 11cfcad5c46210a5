// Fields of one file set through the edit layer and saved as `set` saves them, for the commands
// that compute values to store (loudness --write).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bwf/BextRecord.h"
#include "cli/Commands.h"
#include "edit/FieldEdit.h"

namespace bextkit::cli {

// The values to set, by field.
using FieldValues = std::vector<std::pair<BextField, edit::Value>>;

// Sets the fields and saves the file, telling each change on the output as `set` does (what
// would change, with `dryRun`, writing nothing); a file that holds the values already is left
// untouched ("unchanged"). A refusal or a failed save goes to the error stream with the exit
// status 1, and nothing is written.
void setFieldsOfFile(Context& ctx, const std::string& path, const FieldValues& values, bool dryRun);

}  // namespace bextkit::cli
