// The command groups of the bextkit tool; each adds its subcommands to the application.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "bwf/BWFParser.h"

namespace CLI {
class App;
}

namespace bextkit::cli {

// What a command writes to and the exit status it leaves.
struct Context {
  std::ostream& out;
  std::ostream& err;
  bool showProgress = false;  // long work reports how far it has got, on the error stream
  int status = 0;

  // Reports a usage error: one line on the error stream, exit status 2.
  void usageError(const std::string& message) {
    err << "bextkit: " << message << '\n';
    status = 2;
  }
};

// The --fps option every command that works in frames takes: a text, read by parseFrameRate
// when the command runs, so that a bad rate is reported like any other argument.
void addFrameRateOption(CLI::App* command, std::string& fps);

// Opens and scans one file; null with the reason in `error` when it cannot be read.
std::unique_ptr<BWFParser> scanFile(const std::string& path, float fps, std::string& error);

void addTimecodeCommands(CLI::App& app, Context& context);
void addFileCommands(CLI::App& app, Context& context);
void addSetCommand(CLI::App& app, Context& context);

}  // namespace bextkit::cli
