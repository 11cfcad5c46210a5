// The metadata table of export --csv, for callers other than the command line (the desktop
// application's Export CSV), with export's columns and rules.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace bextkit::cli {

// Writes the CSV table of the files given, each counted at the rate named with it (as --rate
// names rates; empty for the rate the file states): the header, then a row per file, in order.
// A file that cannot be read is told on `err` ("bextkit: FILE: reason") and has no row; false
// when one could not.
bool writeCsvTable(const std::vector<std::pair<std::string, std::string>>& files, std::ostream& out,
                   std::ostream& err);

}  // namespace bextkit::cli
