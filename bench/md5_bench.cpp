// The audio digest of a 1 GiB WAV file from the page cache: audioDigest with reads of 256 KiB,
// 1 MiB and 4 MiB, and audioDigest beside md5sum of the same file (which hashes the 44 header
// bytes too), wall-clock throughputs and their ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "LargeWave.h"
#include "Support.h"
#include "check/AudioDigest.h"
#include "platform/FileHandle.h"

namespace {

constexpr uint64_t kAudioBytes = uint64_t{1} << 30;
constexpr uint64_t kDataOffset = 12 + 24 + 8;  // header, fmt chunk, data chunk header

// A 16-bit stereo file of 1 GiB of noise, made once and removed when the program ends; its
// path, or empty when it cannot be written.
const std::string& largeWave() {
  static const bextkit::testsupport::TempDir dir;
  static const std::string path = [] {
    const std::string file = dir.pathOf("large.wav");
    return bextkit::bench::writeLargeWave(file, kAudioBytes).empty() ? file : std::string();
  }();
  return path;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The data chunk's payload hashed with reads of range(0) KiB.
void BM_DigestBlockSize(benchmark::State& state) {
  const std::string& path = largeWave();
  if (path.empty()) return state.SkipWithError("cannot write the 1 GiB file");
  std::string why;
  const std::unique_ptr<bextkit::FileHandle> file = bextkit::FileHandle::openForReading(path, &why);
  if (!file) return state.SkipWithError(why.c_str());
  const size_t block = static_cast<size_t>(state.range(0)) << 10;
  for (auto _ : state) {
    const auto digest = bextkit::check::digestOfRange(*file, kDataOffset, kAudioBytes, why, block);
    if (!digest) return state.SkipWithError(why.c_str());
    benchmark::DoNotOptimize(digest->bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(kAudioBytes * state.iterations()));
}
BENCHMARK(BM_DigestBlockSize)
    ->ArgName("block_KiB")
    ->Arg(256)
    ->Arg(1024)
    ->Arg(4096)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Each iteration hashes the file with audioDigest (from opening it), then with md5sum; the
// reported time is audioDigest's.
void BM_AudioDigestVersusMd5sum(benchmark::State& state) {
  const std::string& path = largeWave();
  if (path.empty()) return state.SkipWithError("cannot write the 1 GiB file");
  const std::string md5sum = "md5sum '" + path + "' > /dev/null";
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    std::string why;
    const auto digest = bextkit::check::audioDigest(path, why);
    const double elapsed = seconds(start);
    if (!digest) return state.SkipWithError(why.c_str());
    start = std::chrono::steady_clock::now();
    if (std::system(md5sum.c_str()) != 0) return state.SkipWithError("md5sum failed");
    theirs += seconds(start);
    ours += elapsed;
    state.SetIterationTime(elapsed);
  }
  const auto n = static_cast<double>(state.iterations());
  const double oursMBps = double(kAudioBytes) * n / ours / 1e6;
  const double theirsMBps = double(kAudioBytes + kDataOffset) * n / theirs / 1e6;
  state.SetBytesProcessed(static_cast<int64_t>(kAudioBytes * state.iterations()));
  state.counters["bextkit_MBps"] = oursMBps;
  state.counters["md5sum_MBps"] = theirsMBps;
  state.counters["vs_md5sum"] = oursMBps / theirsMBps;
  char label[120];
  std::snprintf(label, sizeof label, "bextkit %.0f MB/s, md5sum %.0f MB/s (%.0f%%)", oursMBps,
                theirsMBps, 100 * oursMBps / theirsMBps);
  state.SetLabel(label);
}
BENCHMARK(BM_AudioDigestVersusMd5sum)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
