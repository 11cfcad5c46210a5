// What the test programs share beyond Support.h, header-only so that each links only the
// libraries it uses: a parser that has scanned a file, and the bextkit tool run in-process.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "cli/Cli.h"

namespace bextkit::testsupport {

// A parser that has scanned `path`, its scan messages kept off the output.
inline std::unique_ptr<BWFParser> scanned(const std::string& path, float fps = 25.0f) {
  auto parser = BWFParser::initWithPath(path, fps);
  const LogCapture quiet;
  parser->parse();
  return parser;
}

// The tool's exit status and what it wrote to each stream.
struct Outcome {
  int status;
  std::string out, err;
};
inline Outcome bextkit(const std::vector<std::string>& args, bool terminal = false) {
  std::ostringstream out, err;
  const int status = cli::run(args, out, err, terminal);
  return {status, out.str(), err.str()};
}

}  // namespace bextkit::testsupport
