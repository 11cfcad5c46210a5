// The desktop application opening a day of takes: 1,000 recorder files in a folder, from the
// start of the open to the table showing every row (the folder read off the main thread, the rows
// made on it), reported as the counter time_to_table_ms; and the whole run of the program, Qt's
// start-up included. Run offscreen, so that it needs no display.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Support.h"

namespace {

using bextkit::testsupport::Bytes;
using bextkit::testsupport::RiffBuilder;
namespace fs = std::filesystem;

constexpr int kFiles = 1000;

struct Setup {
  Setup();
  bextkit::testsupport::TempDir dir;
  std::string takes, scripts;
};

// The takes, and a script folder holding the application's own interface files and scripts with
// one more script that opens the takes and tells when the table shows them.
Setup::Setup() : takes(dir.path + "/takes"), scripts(dir.path + "/gui") {
  fs::create_directories(takes);
  fs::create_directories(scripts);
  for (int i = 0; i < kFiles; ++i) {
    const Bytes file =
        RiffBuilder()
            .riffHeader()
            .fmt(1, 2, 48000, 24)
            .bext({"sSPEED=025.000-ND\r\nTAKE=" + std::to_string(i), "US, NARA", "", "2024-02-29",
                   "10:00:00", 172800000 + 1920u * i, "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"})
            .chunk("data", Bytes(6 * 400, 0))
            .bytes();
    dir.write("takes/T" + std::to_string(10000 + i) + ".wav", file);
  }
  for (const char* folder : {"ui", "scripts"}) {
    fs::copy(std::string(BEXTKIT_SOURCE_DIR) + "/app/" + folder, scripts + "/" + folder);
  }
  std::ofstream(scripts + "/scripts/zz-bench.js")
      << "const started = Date.now();\n"
         "openPaths(['"
      << takes
      << "'], (added) => {\n"
         "  print(`${added.length} ${Date.now() - started}`);\n"
         "  exit(added.length === "
      << kFiles
      << " ? 0 : 1);\n"
         "});\n";
}

const Setup& setup() {
  static const Setup made;
  return made;
}

void BM_TimeToTable(benchmark::State& state) {
  const Setup& s = setup();
  const std::string command = "QT_QPA_PLATFORM=offscreen BEXTKIT_GUI_SCRIPTS='" + s.scripts +
                              "' XDG_CONFIG_HOME='" + s.dir.path +
                              "/config' " BEXTKIT_GUI " 2>/dev/null";
  double milliseconds = 0;
  for (auto _ : state) {
    FILE* run = ::popen(command.c_str(), "r");
    int files = 0, ms = 0;
    const bool told = run && std::fscanf(run, "%d %d", &files, &ms) == 2;
    if (!run || ::pclose(run) != 0 || !told) return state.SkipWithError("the application failed");
    milliseconds += ms;
  }
  state.counters["time_to_table_ms"] =
      benchmark::Counter(milliseconds, benchmark::Counter::kAvgIterations);
  state.counters["files"] = kFiles;
}
BENCHMARK(BM_TimeToTable)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
