// The command groups of the bextkit tool; each adds its subcommands to the application.
#pragma once

#include <ostream>
#include <string>

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

// The --rate option (also --fps) every command that works in frames takes, a text read by
// parseRate when the command runs, and the --classic flag. An empty `rate` stands for the rate
// each file states (rateOfFile).
void addFrameRateOption(CLI::App* command, std::string& rate, bool& classic);

void addTimecodeCommands(CLI::App& app, Context& context);
void addFileCommands(CLI::App& app, Context& context);
void addSetCommand(CLI::App& app, Context& context);
void addCodesCommand(CLI::App& app, Context& context);
void addCheckCommand(CLI::App& app, Context& context);
void addMd5Command(CLI::App& app, Context& context);
void addLoudnessCommand(CLI::App& app, Context& context);
void addImportCommand(CLI::App& app, Context& context);
void addExportCommand(CLI::App& app, Context& context);

}  // namespace bextkit::cli
