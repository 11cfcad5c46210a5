// Writing the broadcast extension back. The rewrite of an existing chunk (time per save with a
// warm cache, and the writes it makes), and the insertion of a new chunk by the bextkit program
// set side by side with `cp` of the same file on the same disk, plain and followed by an fsync of
// the copy as the insertion's own save does (throughputs, their ratios, and the program's peak
// memory for two file sizes); a coding-history line appended in place beside the same append
// writing the file anew.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "LargeWave.h"
#include "Support.h"
#include "bwf/BWFParser.h"
#include "bwf/ChainComparison.h"
#include "platform/FileHandle.h"

extern char** environ;

namespace {

using bextkit::BWFParser;
using bextkit::bench::writeLargeWave;
using bextkit::testsupport::Bytes;
using bextkit::testsupport::RiffBuilder;

// The benchmarks' files, removed when the program ends.
const bextkit::testsupport::TempDir& scratch() {
  static const bextkit::testsupport::TempDir dir;
  return dir;
}

// Starts a program found on PATH with its standard streams on /dev/null; its id, or -1.
pid_t spawnProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
  }
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

// Counts the writes that reach the system, and their bytes, while it lives: it puts counting
// file operations in place and the previous ones back when it goes.
class WriteCounter {
 public:
  WriteCounter() : previous_(bextkit::setFileOperations(counting())) {}
  ~WriteCounter() { bextkit::setFileOperations(previous_); }
  WriteCounter(const WriteCounter&) = delete;
  WriteCounter& operator=(const WriteCounter&) = delete;

  uint64_t writes = 0, bytes = 0;

 private:
  bextkit::FileOperations counting() {
    bextkit::FileOperations ops = bextkit::posixFileOperations();
    ops.pwrite = [this, plain = ops.pwrite](int fd, const void* data, size_t length,
                                            uint64_t offset) {
      ++writes;
      bytes += length;
      return plain(fd, data, length, offset);
    };
    return ops;
  }
  bextkit::FileOperations previous_;
};

// A second of 48 kHz 16-bit stereo with a bext chunk: right after the RIFF header, or after
// fmt and a LIST chunk, where the save walks the chunk list to reach it.
std::string fileWithBext(bool afterOtherChunks) {
  const bextkit::testsupport::BextFields bext{"Scene 12 take 3",
                                              "Recorder",
                                              "USID1234567890",
                                              "2024-05-06",
                                              "07:08:09",
                                              172800000,
                                              "A=PCM,F=48000,W=16,M=stereo\r\n"};
  const Bytes info = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 4, 0, 0, 0, 'R', 'e', 'c', 0};
  RiffBuilder file;
  file.riffHeader();
  if (afterOtherChunks) file.fmt(1, 2, 48000, 16).chunk("LIST", info).bext(bext);
  if (!afterOtherChunks) file.bext(bext).fmt(1, 2, 48000, 16);
  file.chunk("data", Bytes(192000, 0x11));
  return scratch().write(afterOtherChunks ? "bext-after.wav" : "bext-first.wav", file.bytes());
}

void BM_RewriteChunk(benchmark::State& state) {
  const std::string path = fileWithBext(state.range(0) != 0);
  const bextkit::testsupport::LogCapture quietScan;
  std::unique_ptr<BWFParser> parser = BWFParser::initWithPath(path);
  (void)parser->parse();
  parser->setDescription("Scene 12 take 4");
  parser->setOriginator("bextkit");
  parser->setTimeCodeHH(1, 0, 0, 0, 25);
  if (!parser->saveFile()) return state.SkipWithError(parser->lastError().c_str());
  WriteCounter counter;
  for (auto _ : state) {
    if (!parser->saveFile()) return state.SkipWithError(parser->lastError().c_str());
  }
  const auto saves = static_cast<double>(state.iterations());
  state.counters["writes/save"] = static_cast<double>(counter.writes) / saves;
  state.counters["bytes/save"] = static_cast<double>(counter.bytes) / saves;
}
BENCHMARK(BM_RewriteChunk)
    ->ArgName("after_fmt_and_LIST")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

struct Run {
  bool ok = false;
  double seconds = 0;
  long peakKiB = 0;  // the child's largest resident set
};

// Runs a program found on PATH, its output discarded, and measures it from start to end.
Run run(const std::vector<std::string>& argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = spawnProgram(argv);
  Run result;
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  result.peakKiB = usage.ru_maxrss;
  return result;
}

uint64_t fileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Each iteration copies the file with cp, then with cp and an fsync of the copy, then inserts a
// chunk into a fresh copy with the bextkit program. Dirty pages are flushed between the steps,
// outside the measured time, so that no step pays for another's writing. The reported time is
// the insertion's.
void BM_InsertVersusCp(benchmark::State& state) {
  const uint64_t audio = static_cast<uint64_t>(state.range(0)) << 20;
  const std::string source = scratch().pathOf("large-" + std::to_string(state.range(0)) + ".wav");
  const std::string copy = scratch().pathOf("copy.wav");
  const std::string target = scratch().pathOf("target.wav");
  if (fileSize(source) == 0) {
    const std::string error = writeLargeWave(source, audio);
    if (!error.empty()) return state.SkipWithError(error.c_str());
  }
  const double bytes = static_cast<double>(fileSize(source));
  const auto flush = [] { (void)run({"sync"}); };
  double cp = 0, cpFsync = 0, insertion = 0;
  long peakKiB = 0;
  for (auto _ : state) {
    flush();
    const Run plain = run({"cp", source, copy});
    ::unlink(copy.c_str());
    flush();
    const Run copied = run({"cp", source, copy});
    const Run synced = run({"sync", copy});
    ::unlink(copy.c_str());
    const bool prepared = run({"cp", source, target}).ok;
    flush();
    const Run inserted =
        run({BEXTKIT_CLI, "set", target, "--description", "Benchmark", "--originator", "bextkit"});
    const bool grew = fileSize(target) == fileSize(source) + 866;
    ::unlink(target.c_str());
    if (!plain.ok || !copied.ok || !synced.ok || !prepared || !inserted.ok || !grew) {
      return state.SkipWithError("a copy or the insertion failed");
    }
    cp += plain.seconds;
    cpFsync += copied.seconds + synced.seconds;
    insertion += inserted.seconds;
    peakKiB = std::max(peakKiB, inserted.peakKiB);
    state.SetIterationTime(inserted.seconds);
  }
  const auto n = static_cast<double>(state.iterations());
  const double insertMBps = bytes * n / insertion / 1e6, cpMBps = bytes * n / cp / 1e6,
               cpFsyncMBps = bytes * n / cpFsync / 1e6;
  state.SetBytesProcessed(static_cast<int64_t>(bytes * n));
  state.counters["insert_MBps"] = insertMBps;
  state.counters["cp_MBps"] = cpMBps;
  state.counters["cp_fsync_MBps"] = cpFsyncMBps;
  state.counters["vs_cp"] = insertMBps / cpMBps;
  state.counters["vs_cp_fsync"] = insertMBps / cpFsyncMBps;
  state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  char label[200];
  std::snprintf(
      label, sizeof label,
      "insert %.0f MB/s, cp %.0f MB/s (%.0f%%), cp+fsync %.0f MB/s (%.0f%%), peak %.1f MiB",
      insertMBps, cpMBps, 100 * insertMBps / cpMBps, cpFsyncMBps, 100 * insertMBps / cpFsyncMBps,
      static_cast<double>(peakKiB) / 1024.0);
  state.SetLabel(label);
}
// 64 MiB and 1 GiB of audio: the peak memory must not grow with the file.
BENCHMARK(BM_InsertVersusCp)
    ->ArgName("audio_MiB")
    ->Arg(64)
    ->Arg(1024)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One line of coding history appended to a file of 1 GiB of audio, with the bextkit program:
// into the JUNK reserve that the chunk's last growth left after it (in place), and into the same
// file without that room (written anew). Beside them, the comparison of the new file's chunk
// chain with the original's that every save writing anew makes before its rename. The file's
// head is put back between runs, outside the measured time.
void BM_GrowInPlaceVersusAnew(benchmark::State& state) {
  const std::string source = scratch().pathOf("large-1024.wav");
  const std::string roomy = scratch().pathOf("roomy.wav"), tight = scratch().pathOf("tight.wav");
  if (fileSize(source) == 0) {
    const std::string error = writeLargeWave(source, uint64_t{1024} << 20);
    if (!error.empty()) return state.SkipWithError(error.c_str());
  }
  const std::string line = "A=PCM,F=48000,W=16,M=stereo,T=benchmark step";
  // A chunk inserted, then grown: the growth writes the file anew and leaves the reserve.
  if (!run({"cp", source, roomy}).ok ||
      !run({BEXTKIT_CLI, "set", roomy, "--description", "Benchmark"}).ok ||
      !run({BEXTKIT_CLI, "set", roomy, "--coding-history", std::string(300, 'x')}).ok) {
    return state.SkipWithError("the file with a reserve could not be made");
  }
  const uint64_t roomySize = fileSize(roomy);
  std::vector<uint8_t> head(8192);
  {
    auto file = bextkit::FileHandle::openForReading(roomy);
    head.resize(file->read(head.data(), head.size()));
  }
  double inPlace = 0, anew = 0, comparison = 0;
  for (auto _ : state) {
    {
      auto file = bextkit::FileHandle::openForSaving(roomy);
      if (!file || !file->write(head) || !file->truncateFile(roomySize)) {
        return state.SkipWithError("the file's head could not be put back");
      }
    }
    const Run grown = run({BEXTKIT_CLI, "set", roomy, "--append-coding-history", line});
    const bool stayed = fileSize(roomy) == roomySize;
    // A chunk inserted and filled to its end: the next line needs a larger one.
    const bool prepared =
        run({"cp", source, tight}).ok &&
        run({BEXTKIT_CLI, "set", tight, "--description", "Benchmark"}).ok &&
        run({BEXTKIT_CLI, "set", tight, "--coding-history", std::string(256, 'x')}).ok;
    (void)run({"sync"});
    const Run rewritten = run({BEXTKIT_CLI, "set", tight, "--append-coding-history", line});
    // The comparison alone, of the file before and after such a save.
    const auto before = bextkit::FileHandle::openForReading(source);
    const auto after = bextkit::FileHandle::openForReading(tight);
    const auto start = std::chrono::steady_clock::now();
    const uint64_t beforeSize = before->seekToEndOfFile(), afterSize = after->seekToEndOfFile();
    const bextkit::ChunkChain a = bextkit::walkChunkChain(*before, beforeSize);
    const bextkit::ChunkChain b = bextkit::walkChunkChain(*after, afterSize);
    const bextkit::ChainEdit edit{0,
                                  0,
                                  {{bextkit::chunkid::kBext, b.chunks[0].size},
                                   {bextkit::FourCC("JUNK"), BWFParser::kJunkReserve}}};
    const bool same = bextkit::compareChains(a, bextkit::chunkReaderOf(*before), beforeSize, b,
                                             bextkit::chunkReaderOf(*after), afterSize, edit)
                          .empty();
    comparison += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::unlink(tight.c_str());
    if (!grown.ok || !stayed || !prepared || !rewritten.ok || !same) {
      return state.SkipWithError("a save did not go as expected");
    }
    inPlace += grown.seconds;
    anew += rewritten.seconds;
    state.SetIterationTime(grown.seconds);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["in_place_ms"] = 1e3 * inPlace / n;
  state.counters["anew_ms"] = 1e3 * anew / n;
  state.counters["in_place_share"] = inPlace / anew;
  state.counters["comparison_share"] = comparison / anew;
  char label[160];
  std::snprintf(label, sizeof label,
                "in place %.1f ms, anew %.0f ms (1/%.0f); chain comparison %.2f%% of anew",
                1e3 * inPlace / n, 1e3 * anew / n, anew / inPlace, 100 * comparison / anew);
  state.SetLabel(label);
}
BENCHMARK(BM_GrowInPlaceVersusAnew)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
