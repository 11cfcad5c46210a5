// bextkit-gui: the scripting host first, then the application main loop, whose result is the
// exit status. --help and --version are answered before either, so that they need no display.
#include <cstdio>
#include <cstring>

#include "app/gui/ApplicationMain.h"
#include "platform/FileHandle.h"

namespace {

constexpr const char* kUsage =
    "Usage: bextkit-gui [FILE|DIR...]\n"
    "Opens the Broadcast Wave files given (and the WAV files of the folders given, subfolders\n"
    "too) in the desktop application: a table of every file with its audio format, timecode and\n"
    "broadcast extension fields, and the chunks, coding history and conformance findings of\n"
    "the file on view. Every field can be edited, in one file or many at once, and saved\n"
    "without touching the audio.\n"
    "\n"
    "Options:\n"
    "  --help       print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Environment:\n"
    "  BEXTKIT_GUI_SCRIPTS  a folder holding ui/ and scripts/ to load instead of the built-in\n"
    "                       interface files and scripts\n";

}  // namespace

int main(int argc, char** argv) {
  bextkit::ignoreFileSizeLimitSignal();
  if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("bextkit-gui " BEXTKIT_VERSION);
    return 0;
  }
  bextkit::initializeScriptingHost();
  return bextkit::applicationMain(argc, argv);
}
