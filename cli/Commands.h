// The command groups of the bextkit tool; each adds its subcommands to the application.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "bwf/BWFParser.h"
#include "platform/SystemLog.h"
#include "timecode/Smpte.h"

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

// Routes the scan's progress messages to the error stream with --verbose, and drops them
// otherwise, for as long as it lives.
class ScanMessages {
 public:
  ScanMessages(bool verbose, std::ostream& err)
      : previous_(setLogSink(verbose ? LogSink([&err](const std::string& m) { err << m; })
                                     : LogSink([](const std::string&) {}))) {}
  ~ScanMessages() { setLogSink(previous_); }
  ScanMessages(const ScanMessages&) = delete;
  ScanMessages& operator=(const ScanMessages&) = delete;

 private:
  LogSink previous_;
};

// Opens and scans one file; null with the reason in `error` when it cannot be read.
std::unique_ptr<BWFParser> scanFile(const std::string& path, float fps, std::string& error);

// The file's time reference as SMPTE timecode: the frame it lies in and the samples past that
// frame's start; nothing without a bext chunk and a sample rate.
struct SmpteTime {
  smpte::Position position;
  std::string label;  // hours past 23 where the time reference lies a day or more after midnight
  bool beyondDay = false;
};
std::optional<SmpteTime> smpteTime(const BWFParser& parser, const smpte::Rate& rate);

// A text as a change lists it: in quotes, line breaks continued on a new line.
std::string quotedText(const std::string& bytes);

void addTimecodeCommands(CLI::App& app, Context& context);
void addFileCommands(CLI::App& app, Context& context);
void addSetCommand(CLI::App& app, Context& context);
void addCodesCommand(CLI::App& app, Context& context);
void addCheckCommand(CLI::App& app, Context& context);
void addMd5Command(CLI::App& app, Context& context);
void addImportCommand(CLI::App& app, Context& context);
void addExportCommand(CLI::App& app, Context& context);

}  // namespace bextkit::cli
