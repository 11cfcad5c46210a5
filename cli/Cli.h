// The bextkit command-line tool: parses the arguments, runs one command, and returns the exit
// status (0 success, 1 a file could not be handled, 2 a usage error).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace bextkit::cli {

// `args` excludes the program name. With `showProgress` (a terminal on the error stream), long
// work reports how far it has got.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool showProgress = false);

}  // namespace bextkit::cli
