// Running the bextkit tool in-process with captured output, as the command-line tests do.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace bextkit::cli {

// The bundled sample, which the file commands' tests read (and copy before they write).
inline const std::string kSample =
    std::string(BEXTKIT_SOURCE_DIR) + "/samples/tone-48k-24bit-bext.wav";

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

inline CliRun runCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = run(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace bextkit::cli
