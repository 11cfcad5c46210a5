#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace bextkit::cli {

namespace {

constexpr const char* kDescription =
    "bextkit: Broadcast Wave metadata and timecode arithmetic.\n"
    "Timecodes are hh:mm:ss:ff; at drop-frame rates (29.97, 59.94, 23.976) the frames follow a\n"
    "';' (01:00:00;00). Either separator is accepted on input.";

}  // namespace

void addFrameRateOption(CLI::App* command, std::string& fps) {
  command->add_option("--fps", fps, "Frame rate in frames per second (25, 29.97, 23.976 ...)")
      ->type_name("RATE")
      ->capture_default_str();
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool showProgress) {
  Context context{out, err, showProgress};
  CLI::App app{kDescription, "bextkit"};
  app.require_subcommand(1);
  app.fallthrough();
  addFileCommands(app, context);
  addSetCommand(app, context);
  addTimecodeCommands(app, context);

  // CLI11 takes its arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());

  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    app.exit(e, out, err);
    return 0;
  } catch (const CLI::CallForAllHelp& e) {
    app.exit(e, out, err);
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "bextkit: " << e.what() << "\nRun 'bextkit --help' for the commands.\n";
    return 2;
  }
  return context.status;
}

}  // namespace bextkit::cli
