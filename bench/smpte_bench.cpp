// SMPTE timecode per call: labels to text and back, sample positions, and a whole day's labels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "timecode/Smpte.h"

namespace {

using namespace bextkit::smpte;

// 25, 29.97 drop-frame and 59.94 drop-frame by the benchmark's argument.
Rate rateOf(const benchmark::State& state) {
  static const char* const kNames[] = {"25", "29.97", "59.94"};
  return parseRate(kNames[state.range(0)]).value();
}

// Counts spread over the day, a different one each call, so that no result is reused.
struct Counts {
  uint64_t day, next = 0;
  uint64_t operator()() {
    next += 7919;
    if (next >= day) next -= day;
    return next;
  }
};

void BM_LabelFromFramesAndFormat(benchmark::State& state) {
  const Rate rate = rateOf(state);
  Counts counts{framesPerDay(rate)};
  for (auto _ : state) benchmark::DoNotOptimize(format(rate, labelFromFrames(rate, counts())));
}
BENCHMARK(BM_LabelFromFramesAndFormat)->ArgName("rate")->DenseRange(0, 2);

void BM_ParseLabelAndFramesFromLabel(benchmark::State& state) {
  const Rate rate = rateOf(state);
  Counts counts{framesPerDay(rate)};
  std::string texts[64];
  for (std::string& text : texts) text = format(rate, labelFromFrames(rate, counts()));
  std::string error;
  size_t i = 0;
  for (auto _ : state) {
    const auto label = parseLabel(rate, texts[i++ % 64], error);
    benchmark::DoNotOptimize(framesFromLabel(rate, *label));
  }
}
BENCHMARK(BM_ParseLabelAndFramesFromLabel)->ArgName("rate")->DenseRange(0, 2);

void BM_PositionOfSample(benchmark::State& state) {
  const Rate rate = rateOf(state);
  Counts samples{uint64_t{48000} * 86400};
  for (auto _ : state) benchmark::DoNotOptimize(positionOfSample(rate, samples(), 48000));
}
BENCHMARK(BM_PositionOfSample)->ArgName("rate")->DenseRange(0, 2);

void BM_FrameStart(benchmark::State& state) {
  const Rate rate = rateOf(state);
  Counts counts{framesPerDay(rate)};
  for (auto _ : state) benchmark::DoNotOptimize(frameStart(rate, counts(), 48000));
}
BENCHMARK(BM_FrameStart)->ArgName("rate")->DenseRange(0, 2);

// Every frame of a day at 59.94 drop-frame to its label, its text, the label read back and the
// count again.
void BM_DayRoundTrip5994(benchmark::State& state) {
  const Rate rate = parseRate("59.94").value();
  std::string error;
  for (auto _ : state) {
    uint64_t wrong = 0;
    for (uint64_t frame = 0; frame < framesPerDay(rate); ++frame) {
      const auto label = parseLabel(rate, format(rate, labelFromFrames(rate, frame)), error);
      wrong += !label || framesFromLabel(rate, *label) != frame;
    }
    if (wrong != 0) state.SkipWithError("a label did not read back as its frame");
  }
}
BENCHMARK(BM_DayRoundTrip5994)->Unit(benchmark::kMillisecond);

}  // namespace
