// import of a table of 1000 rows, each changing the description of its file (a rewrite in
// place), run in-process as the bextkit program runs it: the table is read, every file scanned
// and checked, then every file saved. Two tables take turns so that every run changes every file.
// The files lie in the system's temporary folder, or in the one BEXTKIT_BENCH_DIR names (a
// tmpfs such as /dev/shm leaves the save's fsync out of the figure).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "Support.h"
#include "cli/Cli.h"
#include "cli/Csv.h"

namespace {

using bextkit::testsupport::Bytes;
using bextkit::testsupport::RiffBuilder;

constexpr int kFiles = 1000;

struct Folder {
  Folder() {
    if (const char* where = std::getenv("BEXTKIT_BENCH_DIR")) setenv("TMPDIR", where, 1);
    dir = std::make_unique<bextkit::testsupport::TempDir>();
    const Bytes file = RiffBuilder()
                           .riffHeader()
                           .fmt(1, 2, 48000, 24)
                           .bext({"Take", "Recorder", "", "2024-02-29", "10:00:00", 172800000,
                                  "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"})
                           .chunk("data", Bytes(6 * 400, 0))
                           .bytes();
    for (const char* round : {"first", "second"}) {
      std::string table = bextkit::cli::csv::record({"FileName", "Description"});
      for (int i = 0; i < kFiles; ++i) {
        const std::string name = "take" + std::to_string(1000 + i) + ".wav";
        if (round[0] == 'f') dir->write(name, file);
        table += bextkit::cli::csv::record(
            {name, "Scene " + std::to_string(i) + ", take 1, " + round + " pass"});
      }
      tables.push_back(dir->write(std::string(round) + ".csv", Bytes(table.begin(), table.end())));
    }
  }
  std::unique_ptr<bextkit::testsupport::TempDir> dir;
  std::vector<std::string> tables;
};

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void BM_Import1000Descriptions(benchmark::State& state) {
  static const Folder folder;
  NullBuffer sink;
  std::ostream err(&sink);
  static size_t turn = 0;  // across runs too: each run must change every file
  for (auto _ : state) {
    std::ostringstream out;
    const int status = bextkit::cli::run({"import", folder.tables[turn++ % 2]}, out, err, false);
    if (status != 0 ||
        out.str() != std::to_string(kFiles) + " files changed, 0 unchanged, 0 failed\n") {
      state.SkipWithError("the import did not change every file");
      break;
    }
  }
  state.counters["files/s"] =
      benchmark::Counter(double(kFiles), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Import1000Descriptions)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
