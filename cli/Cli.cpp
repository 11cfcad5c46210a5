#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/OutputBuffer.h"
#include "platform/ExceptionReason.h"

namespace bextkit::cli {

namespace {

constexpr const char* kDescription =
    "bextkit: Broadcast Wave metadata and timecode arithmetic.\n"
    "Timecodes are hh:mm:ss:ff, counted as SMPTE counts them; at the drop-frame rates 29.97 and\n"
    "59.94 the frames follow a ';' or '.' (01:00:00;00). --classic counts as the system's own\n"
    "arithmetic does.";

// The subcommand the arguments named, if any.
const CLI::App* chosenCommand(const CLI::App& app) {
  const auto chosen = app.get_subcommands();
  return chosen.empty() ? nullptr : chosen.front();
}

// Where a usage error sends the user: the chosen command's help, or the list of commands.
std::string helpPointer(const CLI::App& app) {
  const CLI::App* command = chosenCommand(app);
  return command ? "Run 'bextkit " + command->get_name() + " --help' for its options.\n"
                 : std::string("Run 'bextkit --help' for the commands.\n");
}

}  // namespace

void addFrameRateOption(CLI::App* command, std::string& rate, bool& classic) {
  // An empty default counts each file at the rate it states.
  CLI::Option* option =
      command
          ->add_option("--rate,--fps", rate,
                       std::string("Frame rate: ") + kRateList +
                           (rate.empty() ? ". Without it, the rate the file states (iXML "
                                           "TIMECODE_RATE, or a speed line in the description), "
                                           "else 25"
                                         : ""))
          ->type_name("RATE");
  if (!rate.empty()) option->capture_default_str();
  command->add_flag("--classic", classic,
                    "Count as the system's own arithmetic does: any rate from 0.5 to 10000, a "
                    "non-integral rate counted drop-frame, the time reference as wall-clock "
                    "time rounded to the nearest frame");
}

namespace {

// A command whose output did not reach its destination (a full disk, a closed pipe) failed,
// whatever its work did: the status, or 1 in place of success.
int outputWritten(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  const auto* buffer = dynamic_cast<const OutputBuffer*>(out.rdbuf());
  err << "bextkit: cannot write the output: "
      << (buffer && !buffer->error().empty() ? buffer->error() : "the output stream failed")
      << '\n';
  return status == 0 ? 1 : status;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool showProgress) {
  Context context{out, err, showProgress};
  CLI::App app{kDescription, "bextkit"};
  app.set_version_flag("--version", "bextkit " BEXTKIT_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  addFileCommands(app, context);
  addSetCommand(app, context);
  addCodesCommand(app, context);
  addCheckCommand(app, context);
  addMd5Command(app, context);
  addLoudnessCommand(app, context);
  addImportCommand(app, context);
  addExportCommand(app, context);
  addTimecodeCommands(app, context);

  // A first word that is neither an option nor a command is a command misspelt.
  if (!args.empty() && !args.front().empty() && args.front()[0] != '-') {
    const auto commands = app.get_subcommands([](CLI::App*) { return true; });
    if (std::none_of(commands.begin(), commands.end(),
                     [&](const CLI::App* c) { return c->get_name() == args.front(); })) {
      err << "bextkit: unknown command " << args.front() << '\n' << helpPointer(app);
      return 2;
    }
  }

  // CLI11 takes its arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::Success& e) {  // --help, --version
    return outputWritten(out, err, app.exit(e, out, err));
  } catch (const CLI::ParseError& e) {
    err << "bextkit: " << e.what() << '\n' << helpPointer(app);
    return 2;
  } catch (...) {
    // Each file's work keeps its own failures; this is the last stop for the work around them
    // (an import's table, the list of a folder's files).
    err << "bextkit: " << currentExceptionReason() << '\n';
    return 1;
  }
  if (context.status == 2) err << helpPointer(app);
  return outputWritten(out, err, context.status);
}

}  // namespace bextkit::cli
