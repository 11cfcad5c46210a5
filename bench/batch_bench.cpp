// Whole folders in one call, side by side in one run: bextkit show --json, export --csv and
// check over 10,000 small recorder files, beside MediaInfo and ExifTool reading the same folder
// and beside the floor: floor_reader, which opens each file, reads its head in one call and
// prints a line, on as many threads as the machine has cores. Each program runs as a user runs
// it (start-up included, output to /dev/null). The system calls of show --json are counted
// with strace where it is installed. With the page cache dropped first where this user may drop
// it (root), the cold figures too: bextkit beside MediaInfo (one file at a time, and 16 at once
// through xargs) and beside the floor on 2 and on 16 threads, 16 being the most reads bextkit
// keeps in flight.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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
    const Bytes info = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 8,   0,
                        0,   0,   'R', 'e', 'c', ' ', '2', '.', '1', 0};
    // fmt, bext, LIST/INFO, iXML and 20 KB of audio, as a recorder writes a short take.
    for (int i = 0; i < kFiles; ++i) {
      const Bytes file = RiffBuilder()
                             .riffHeader()
                             .fmt(1, 2, 48000, 24)
                             .bext({"sSPEED=025.000-ND\r\nTAKE=" + std::to_string(i), "US, NARA",
                                    "", "2024-02-29", "10:00:00", 172800000 + 1920u * i,
                                    "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"})
                             .chunk("LIST", info)
                             .chunk("iXML", Bytes(xml.begin(), xml.end()))
                             .chunk("data", Bytes(6 * 3400, 0))
                             .bytes();
      dir.write("take" + std::to_string(10000 + i) + ".wav", file);
    }
    // The new files go to the disk before any run, so that no run pays for writing them back.
    ::sync();
    return true;
  }();
  (void)made;
  return dir.path;
}

bool dropCaches() {
  std::ofstream drop("/proc/sys/vm/drop_caches");
  return static_cast<bool>(drop << "3\n" << std::flush);
}

// Runs the shell line `line` once per iteration, timing the whole run; `program` must be
// installed.
void runLine(benchmark::State& state, const std::string& program, const std::string& line,
             bool cold) {
  if (std::system(("command -v " + program + " >/dev/null").c_str())) {
    return state.SkipWithError(("not installed: " + program).c_str());
  }
  if (cold && !dropCaches()) return state.SkipWithError("cannot drop the page cache here");
  // A warm run starts from files read once: the system may have put new files out of its
  // cache, and the first reader would pay for bringing them back.
  if (!cold && std::system(line.c_str()) == -1) return state.SkipWithError("cannot run it");
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

// Runs `command` on the folder once per iteration.
void runOnFolder(benchmark::State& state, const std::string& command, bool cold) {
  runLine(state, command.substr(0, command.find(' ')),
          "exec " + command + " '" + folder() + "' >/dev/null 2>&1", cold);
}

// Runs `command` on the folder's files, `parallel` programs at once, each given a share of them.
void runOnFiles(benchmark::State& state, const std::string& command, int parallel, bool cold) {
  const int share = (kFiles + parallel - 1) / parallel;
  runLine(state, command.substr(0, command.find(' ')),
          "find '" + folder() + "' -name '*.wav' -print0 | xargs -0 -P " +
              std::to_string(parallel) + " -n " + std::to_string(share) + " " + command +
              " >/dev/null 2>&1",
          cold);
}

const std::string kBextkit = BEXTKIT_CLI;
const std::string kFloor = BEXTKIT_FLOOR;
const std::string kCores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));

void BM_BextkitShowJson(benchmark::State& s) { runOnFolder(s, kBextkit + " show --json", false); }
void BM_FloorJson(benchmark::State& s) { runOnFolder(s, kFloor + " -j " + kCores, false); }
// show --json and the floor in turns, each iteration running both: their times, and show's
// over the floor's as "ratio", which drift on a busy machine then touches alike.
void BM_BextkitShowJsonOverFloor(benchmark::State& state) {
  double show = 0, floor = 0;
  const auto timed = [](const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status =
        std::system(("exec " + command + " '" + folder() + "' >/dev/null 2>&1").c_str());
    return status == 0
               ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
               : -1.0;
  };
  timed(kFloor + " -j " + kCores);  // untimed: the files read once, as runLine does
  for (auto _ : state) {
    const double f = timed(kFloor + " -j " + kCores), b = timed(kBextkit + " show --json");
    if (f < 0 || b < 0) return state.SkipWithError("a program failed");
    floor += f, show += b;
    state.SetIterationTime(b);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["show ms"] = show / runs * 1e3;
  state.counters["floor ms"] = floor / runs * 1e3;
  state.counters["ratio"] = show / floor;
}
void BM_BextkitExportCsv(benchmark::State& s) { runOnFolder(s, kBextkit + " export --csv", false); }
void BM_BextkitCheck(benchmark::State& s) { runOnFolder(s, kBextkit + " check", false); }
void BM_BextkitMd5(benchmark::State& s) { runOnFolder(s, kBextkit + " md5", false); }
void BM_MediaInfoJson(benchmark::State& s) { runOnFolder(s, "mediainfo --Output=JSON", false); }
void BM_ExifToolJson(benchmark::State& s) { runOnFolder(s, "exiftool -json", false); }

// The system calls that show --json makes per file, counted by strace over all its threads.
void BM_BextkitShowJsonSyscalls(benchmark::State& state) {
  if (std::system("command -v strace >/dev/null")) {
    return state.SkipWithError("not installed: strace");
  }
  const bextkit::testsupport::TempDir dir;
  const std::string counts = dir.pathOf("counts");
  double calls = 0;
  for (auto _ : state) {
    const std::string line = "strace -f -c -o '" + counts + "' " + kBextkit + " show --json '" +
                             folder() + "' >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) return state.SkipWithError("strace failed");
    // The summary's last line: "100.00 SECONDS USECS CALLS ERRORS total".
    std::ifstream in(counts);
    std::string row, last;
    while (std::getline(in, row)) {
      if (row.find("total") != std::string::npos) last = row;
    }
    std::istringstream fields(last);
    double percent = 0, seconds = 0, usecs = 0;
    fields >> percent >> seconds >> usecs >> calls;
  }
  state.counters["syscalls/file"] = calls / kFiles;
}

void BM_BextkitShowJsonCold(benchmark::State& s) {
  runOnFolder(s, kBextkit + " show --json", true);
}
void BM_FloorJsonCold(benchmark::State& s) { runOnFolder(s, kFloor + " -j " + kCores, true); }
void BM_FloorJson16Cold(benchmark::State& s) { runOnFolder(s, kFloor + " -j 16", true); }
void BM_MediaInfoJsonCold(benchmark::State& s) { runOnFolder(s, "mediainfo --Output=JSON", true); }
void BM_MediaInfoJson16Cold(benchmark::State& s) {
  runOnFiles(s, "mediainfo --Output=JSON", 16, true);
}

BENCHMARK(BM_BextkitShowJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FloorJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_BextkitShowJsonOverFloor)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_BextkitShowJsonSyscalls)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BextkitExportCsv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BextkitCheck)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BextkitMd5)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MediaInfoJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExifToolJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BextkitShowJsonCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FloorJsonCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FloorJson16Cold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MediaInfoJsonCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MediaInfoJson16Cold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
