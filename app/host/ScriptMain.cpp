// bextkit-script: runs a script with the system's classes, without windows, as the desktop
// application runs its script layer. `bextkit-script --list` prints every operation.
#include <QCoreApplication>
#include <QFile>
#include <QJSEngine>
#include <cstdio>
#include <string>

#include "app/bridge/Bridge.h"
#include "app/host/ScriptHost.h"
#include "platform/SystemLog.h"

namespace {

constexpr const char* kUsage =
    "usage: bextkit-script [--verbose] [--with LIB.js]... FILE.js [ARGS...]\n"
    "           runs FILE.js (after each LIB.js) with the arguments in `args`, print(...) and\n"
    "           exit(n); an uncaught error ends it with status 1; --verbose also shows the\n"
    "           scan's messages\n"
    "       bextkit-script --list\n"
    "           lists the operations scripts can call: class, name, argument and result kinds\n";

// Runs one script file in the engine: 0, or with the reason told 2 when it cannot be read and
// 1 when it ends with an uncaught error.
int runFile(QJSEngine& engine, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "bextkit-script: %s: %s\n%s", path.toLocal8Bit().constData(),
                 file.errorString().toLocal8Bit().constData(), kUsage);
    return 2;
  }
  const QJSValue result = engine.evaluate(QString::fromUtf8(file.readAll()), path, 1);
  if (result.isError() && !engine.isInterrupted()) {
    std::fprintf(stderr, "%s:%d: %s\n", path.toLocal8Bit().constData(),
                 bextkit::ScriptHost::lineOf(result), result.toString().toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2 || arguments[1] == "--help") {
    std::fputs(kUsage, arguments.size() < 2 ? stderr : stdout);
    return arguments.size() < 2 ? 2 : 0;
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
    bextkit::setLogSink([](const std::string&) {});
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
    status = runFile(engine, path);
    if (status != 0 || host.exitStatus()) break;
  }
  std::fflush(stdout);
  if (host.exitStatus()) return *host.exitStatus();
  return status;
}
