// bextkit-script: runs a script with the system's classes, without windows, as the desktop
// application runs its script layer. `bextkit-script --list` prints every operation.
#include <QCoreApplication>
#include <QJSEngine>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/bridge/Bridge.h"
#include "app/host/ScriptHost.h"
#include "platform/FileHandle.h"
#include "platform/SystemLog.h"

namespace {

constexpr const char* kUsage =
    "Usage: bextkit-script [--verbose] [--with LIB.js]... FILE.js [ARGS...]\n"
    "  or:  bextkit-script --list\n"
    "Runs FILE.js with the system's classes, as the desktop application runs its scripts: after\n"
    "each LIB.js, with the arguments in `args`, print(...) and exit(n).\n"
    "\n"
    "Options:\n"
    "  --with LIB.js  run LIB.js first (repeat for more)\n"
    "  --verbose      also show the scan's messages\n"
    "  --list         list the operations scripts can call: class, name, argument and result\n"
    "                 kinds\n"
    "  --help         print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  n  the status the script gave exit(n), or 0 when it calls no exit\n"
    "  1  an uncaught error\n"
    "  2  a usage error, or a script file that cannot be read\n";

}  // namespace

int main(int argc, char** argv) {
  bextkit::ignoreFileSizeLimitSignal();
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2 || arguments[1] == "--help") {
    std::fputs(kUsage, arguments.size() < 2 ? stderr : stdout);
    return arguments.size() < 2 ? 2 : 0;
  }
  if (arguments[1] == "--version") {
    std::puts("bextkit-script " BEXTKIT_VERSION);
    return 0;
  }
  if (arguments[1] == "--list") {
    const bextkit::bridge::Bridge bridge;
    for (const auto& operation : bridge.operations()) {
      std::printf("%s\n", bextkit::bridge::describe(operation).c_str());
    }
    return 0;
  }
  QStringList libraries;
  int at = 1;
  // The scan's progress messages are for whoever debugs a scan, not for a script's output.
  if (arguments[at] == "--verbose") {
    ++at;
  } else {
    bextkit::silenceLog();
  }
  for (; at + 1 < arguments.size() && arguments[at] == "--with"; at += 2) {
    libraries << arguments[at + 1];
  }
  if (at >= arguments.size() || arguments[at].startsWith("--")) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  QJSEngine engine;
  bextkit::ScriptHost host(engine);
  engine.globalObject().setProperty("args", engine.toScriptValue(arguments.mid(at + 1)));
  int status = 0;
  for (const QString& path : libraries << arguments[at]) {
    QString error;
    const auto run = host.runFile(path, error);
    if (run != bextkit::ScriptHost::Run::kRan) {
      const bool unreadable = run == bextkit::ScriptHost::Run::kUnreadable;
      std::fprintf(stderr, "%s%s\n%s", unreadable ? "bextkit-script: " : "",
                   error.toLocal8Bit().constData(), unreadable ? kUsage : "");
      status = unreadable ? 2 : 1;
    }
    if (status != 0 || host.exitStatus()) break;
  }
  if (host.exitStatus()) status = *host.exitStatus();
  // What the script printed must have reached its destination (a full disk, a closed pipe).
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "bextkit-script: cannot write the output: %s\n",
                 errno ? std::strerror(errno) : "the output stream failed");
    return status == 0 ? 1 : status;
  }
  return status;
}
