// The metadata table of export, for callers other than the command line (the desktop
// application's Export CSV, the Python module's tables), with export's columns and rules.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bwf/Ixml.h"
#include "check/BextRules.h"

namespace bextkit::cli {

// The table's columns: the broadcast extension's (FileName to CodingHistory), then the INFO
// fields archives use most (IARL to ITCH), then the iXML fields of production sound
// ("iXML:SCENE" and the like).
std::vector<std::string> tableColumns();

// One file's row, as export makes it.
struct TableRow {
  // By tableColumns(): the file name as given, every other cell as UTF-8 (invalid bytes shown as
  // Latin-1), an empty cell for what the file does not hold; an INFO column holds the first
  // entry of its ID.
  std::vector<std::string> cells;
  // Every INFO entry, in file order, as the file holds it.
  std::vector<check::InfoEntry> info;
  // Every iXML field, as show lists them.
  IxmlRecord ixml;
};

// The row of the file at `path`, its timecode counted at the rate `rateName` names (as --rate
// names rates; empty for the rate the file states). Nothing, with the reason in `why`, when the
// file cannot be read or the rate is none. The scan's progress messages go to the system log.
std::optional<TableRow> tableRow(const std::string& path, const std::string& rateName,
                                 std::string& why);

// Writes the CSV table of the files given, each counted at the rate named with it (as --rate
// names rates; empty for the rate the file states): the header, then a row per file, in order.
// A file that cannot be read is told on `err` ("bextkit: FILE: reason") and has no row; false
// when one could not.
bool writeCsvTable(const std::vector<std::pair<std::string, std::string>>& files, std::ostream& out,
                   std::ostream& err);

}  // namespace bextkit::cli
