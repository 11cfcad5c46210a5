// Loudness with true peak over a 1 GiB 48 kHz 24-bit stereo file from the page cache, beside
// `ffmpeg -af ebur128=peak=true` on the same file; and the MD5 taken in the same pass, beside
// loudness alone. Wall-clock times and their ratios.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "LargeWave.h"
#include "Support.h"
#include "loudness/Meter.h"

namespace {

// 1 GiB, cut to whole frames of 6 bytes.
constexpr uint64_t kAudioBytes = (uint64_t{1} << 30) - (uint64_t{1} << 30) % 6;

const std::string& largeWave() {
  static const bextkit::testsupport::TempDir dir;
  static const std::string path = [] {
    const std::string file = dir.pathOf("large24.wav");
    return bextkit::bench::writeLargeWave(file, kAudioBytes, 24).empty() ? file : std::string();
  }();
  return path;
}

double secondsOf(const std::function<bool()>& work) {
  const auto start = std::chrono::steady_clock::now();
  if (!work()) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration measures the file, then runs the same with `ffmpeg -af ebur128=peak=true` (or
// bextkit's own pass with the MD5); the reported time is the plain measurement's.
void compare(benchmark::State& state, bool againstFfmpeg) {
  const std::string& path = largeWave();
  if (path.empty()) return state.SkipWithError("cannot write the 1 GiB file");
  const std::string ffmpeg =
      "ffmpeg -nostdin -v quiet -i '" + path + "' -af ebur128=peak=true -f null - 2>/dev/null";
  double ours = 0, theirs = 0;
  std::string why;
  for (auto _ : state) {
    const double alone =
        secondsOf([&] { return bextkit::loudness::measure(path, {}, why).has_value(); });
    const double other = againstFfmpeg ? secondsOf([&] { return std::system(ffmpeg.c_str()) == 0; })
                                       : secondsOf([&] {
                                           return bextkit::loudness::measure(
                                                      path, {.digest = true, .progress = {}}, why)
                                               .has_value();
                                         });
    if (alone < 0 || other < 0)
      return state.SkipWithError(why.empty() ? "ffmpeg failed" : why.c_str());
    ours += alone;
    theirs += other;
    state.SetIterationTime(alone);
  }
  state.SetBytesProcessed(static_cast<int64_t>(kAudioBytes * state.iterations()));
  state.counters[againstFfmpeg ? "ffmpeg_s" : "with_md5_s"] = theirs / double(state.iterations());
  state.counters[againstFfmpeg ? "ffmpeg_over_bextkit" : "with_md5_over_alone"] = theirs / ours;
}

void BM_LoudnessVersusFfmpeg(benchmark::State& state) { compare(state, true); }
void BM_LoudnessWithMd5(benchmark::State& state) { compare(state, false); }
BENCHMARK(BM_LoudnessVersusFfmpeg)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LoudnessWithMd5)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
