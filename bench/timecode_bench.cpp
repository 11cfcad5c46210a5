// Timecode and footage conversions per call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>

#include "timecode/TimeCode.h"

namespace {

using bextkit::TimeCode;

void BM_FramesFromTimeCode(benchmark::State& state) {
  const float fps = state.range(0) ? 29.97f : 25.0f;
  const std::string tc = state.range(0) ? "13;27;41;17" : "13:27:41:17";
  for (auto _ : state) benchmark::DoNotOptimize(TimeCode::framesFromTimeCode(tc, fps));
}
BENCHMARK(BM_FramesFromTimeCode)->ArgName("dropframe")->Arg(0)->Arg(1);

void BM_TimeCodeFromFrames(benchmark::State& state) {
  const auto count = static_cast<int32_t>(state.range(0));
  const float fps = state.range(1) ? 29.97f : 25.0f;
  for (auto _ : state) benchmark::DoNotOptimize(TimeCode::timeCodeFromFrames(count, fps, false));
}
BENCHMARK(BM_TimeCodeFromFrames)
    ->ArgNames({"count", "dropframe"})
    ->Args({1234, 0})
    ->Args({1234, 1})
    ->Args({2000000, 0})
    ->Args({2000000, 1})
    ->Args({std::numeric_limits<int32_t>::max(), 0})
    ->Args({std::numeric_limits<int32_t>::max(), 1})
    ->Args({std::numeric_limits<int32_t>::min(), 1});

// Counts from all of the 32-bit range, negative ones too, in both modes: no branch learns them.
void BM_TimeCodeFromFramesVaried(benchmark::State& state) {
  const float fps = state.range(0) ? 29.97f : 25.0f;
  uint32_t count = 12345;
  for (auto _ : state) {
    count = count * 1664525u + 1013904223u;
    benchmark::DoNotOptimize(
        TimeCode::timeCodeFromFrames(static_cast<int32_t>(count), fps, (count >> 7) & 1));
  }
}
BENCHMARK(BM_TimeCodeFromFramesVaried)->ArgName("dropframe")->Arg(0)->Arg(1);

void BM_TimeCodeFromNegativeFramesAbsolute(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(TimeCode::timeCodeFromFrames(-1, 29.97f, true));
}
BENCHMARK(BM_TimeCodeFromNegativeFramesAbsolute);

void BM_MaxFramesForFPS(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(TimeCode::maxFramesForFPS(29.97f));
}
BENCHMARK(BM_MaxFramesForFPS);

void BM_FramesToFeetFrames(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(TimeCode::framesToFeetFrames(123456789, 16, "+"));
}
BENCHMARK(BM_FramesToFeetFrames);

void BM_FeetFramesToFrames(benchmark::State& state) {
  const std::string footage = "7716049+05";
  for (auto _ : state) benchmark::DoNotOptimize(TimeCode::feetFramesToFrames(footage, 16, "+"));
}
BENCHMARK(BM_FeetFramesToFrames);

void BM_FeetFramesToTimeCode(benchmark::State& state) {
  const std::string footage = "0771+09";
  for (auto _ : state)
    benchmark::DoNotOptimize(TimeCode::feetFramesToTimeCode(footage, 16, "+", 29.97f));
}
BENCHMARK(BM_FeetFramesToTimeCode);

void BM_FeetFramesToArray(benchmark::State& state) {
  const std::string footage = "99999+00";
  for (auto _ : state)
    benchmark::DoNotOptimize(TimeCode::feetFramesToArray(footage, 16, "+", 25.0f));
}
BENCHMARK(BM_FeetFramesToArray);

}  // namespace
