// Whole folders in one call, side by side in one run: bextkit show --json and export --csv over
// 10,000 small recorder files, beside MediaInfo and ExifTool reading the same folder. Each
// program runs as a user runs it (start-up included, output to /dev/null). With the page cache
// dropped first where this user may drop it (root), the cold figures too.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Support.h"

namespace {

using bextkit::testsupport::Bytes;
using bextkit::testsupport::RiffBuilder;

constexpr int kFiles = 10000;

const std::string& folder() {
  static const bextkit::testsupport::TempDir dir;
  static const bool made = [] {
    const std::string xml =
        "<?xml version=\"1.0\"?><BWFXML><SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE></SPEED>"
        "</BWFXML>";
    for (int i = 0; i < kFiles; ++i) {
      const Bytes file = RiffBuilder()
                             .riffHeader()
                             .fmt(1, 2, 48000, 24)
                             .bext({"sSPEED=025.000-ND\r\nTAKE=" + std::to_string(i), "US, NARA",
                                    "", "2024-02-29", "10:00:00", 172800000 + 1920u * i,
                                    "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"})
                             .chunk("iXML", Bytes(xml.begin(), xml.end()))
                             .chunk("data", Bytes(6 * 400, 0))
                             .bytes();
      dir.write("take" + std::to_string(10000 + i) + ".wav", file);
    }
    return true;
  }();
  (void)made;
  return dir.path;
}

bool dropCaches() {
  std::ofstream drop("/proc/sys/vm/drop_caches");
  return static_cast<bool>(drop << "3\n" << std::flush);
}

// Runs `command` on the folder once per iteration, timing the whole run.
void runOnFolder(benchmark::State& state, const std::string& command, bool cold) {
  const std::string line = "exec " + command + " '" + folder() + "' >/dev/null 2>&1";
  if (std::system(("command -v " + command.substr(0, command.find(' ')) + " >/dev/null").c_str())) {
    return state.SkipWithError(("not installed: " + command).c_str());
  }
  if (cold && !dropCaches()) return state.SkipWithError("cannot drop the page cache here");
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      dropCaches();
      state.ResumeTiming();
    }
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(line.c_str());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (status == -1) state.SkipWithError("cannot run the program");
  }
  state.counters["files/s"] =
      benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

const std::string kBextkit = BEXTKIT_CLI;

void BM_BextkitShowJson(benchmark::State& s) { runOnFolder(s, kBextkit + " show --json", false); }
void BM_BextkitExportCsv(benchmark::State& s) { runOnFolder(s, kBextkit + " export --csv", false); }
void BM_BextkitCheck(benchmark::State& s) { runOnFolder(s, kBextkit + " check", false); }
void BM_MediaInfoJson(benchmark::State& s) { runOnFolder(s, "mediainfo --Output=JSON", false); }
void BM_ExifToolJson(benchmark::State& s) { runOnFolder(s, "exiftool -json", false); }
void BM_BextkitShowJsonCold(benchmark::State& s) {
  runOnFolder(s, kBextkit + " show --json", true);
}
void BM_MediaInfoJsonCold(benchmark::State& s) { runOnFolder(s, "mediainfo --Output=JSON", true); }

BENCHMARK(BM_BextkitShowJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BextkitExportCsv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BextkitCheck)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MediaInfoJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExifToolJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BextkitShowJsonCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MediaInfoJsonCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
