// Frame counts to timecode: the worked examples, bad rates, and equivalence with a literal
// minute-by-minute count kept here as the oracle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "timecode/TimeCode.h"

namespace bextkit {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// The conversion as a plain loop: take off one minute at a time, the first of every ten a full
// minute, while the remainder allows and at most count / short-minute times.
std::string literalTimeCodeFromFrames(int32_t count, float fps, bool absoluteMode) {
  const int32_t rounded = static_cast<int32_t>(std::lroundf(fps));
  const int32_t shortMinute = static_cast<int32_t>(std::truncf(fps * 60.0f));
  const int32_t fullMinute = 60 * rounded;
  if (count < 0) {
    const uint32_t bits = static_cast<uint32_t>(count);
    count = absoluteMode
                ? static_cast<int32_t>(bits + static_cast<uint32_t>(TimeCode::maxFramesForFPS(fps)))
                : static_cast<int32_t>(0u - bits);
  }
  const int32_t q = count / shortMinute;
  int32_t minuteTotal = 0;
  int32_t remainder = count;
  for (int32_t i = 1; i <= q; ++i) {
    const int32_t length = (i % 10 == 1) ? fullMinute : shortMinute;
    if (remainder - length < 0) break;
    remainder -= length;
    ++minuteTotal;
  }
  const bool integral = integralFPS(fps) != 0;
  if (!integral && minuteTotal > 0 && minuteTotal % 10 != 0) remainder += 2;
  int32_t hours = minuteTotal / 60;
  const int32_t minutes = minuteTotal % 60;
  const int32_t seconds = remainder / rounded;
  const int32_t frames = remainder % rounded;
  if (hours > 23) hours %= 24;
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d%s%02d", hours, minutes, seconds,
                integral ? ":" : ";", frames);
  return text;
}

struct Case {
  float fps;
  int32_t count;
  const char* absolute;  // result with absoluteMode yes
  const char* relative;  // result with absoluteMode no
};

TEST(TimeCodeFromFrames, WorkedExamples) {
  static const Case kCases[] = {
      {25, 90000, "01:00:00:00", "01:00:00:00"},
      {25, 2159999, "23:59:59:24", "23:59:59:24"},
      {25, 2160000, "00:00:00:00", "00:00:00:00"},
      {25, 2160001, "00:00:00:01", "00:00:00:01"},
      {25, -1, "23:59:59:24", "00:00:00:01"},
      {25, -25, "23:59:59:00", "00:00:01:00"},
      {25, -2160001, "00:00:00:-1", "00:00:00:01"},  // a day is added once only
      {25, -3000000, "00:00:-33600:00", "09:20:00:00"},
      {25, 0, "00:00:00:00", "00:00:00:00"},
      {29.97f, 1799, "00:00:59;29", "00:00:59;29"},
      {29.97f, 1800, "00:01:00;02", "00:01:00;02"},
      {29.97f, 3597, "00:01:59;29", "00:01:59;29"},
      {29.97f, 3598, "00:02:00;02", "00:02:00;02"},
      {29.97f, 17982, "00:10:00;00", "00:10:00;00"},
      {29.97f, 19782, "00:11:00;02", "00:11:00;02"},
      {29.97f, 107892, "01:00:00;00", "01:00:00;00"},
      {29.97f, 2589407, "23:59:59;29", "23:59:59;29"},
      {29.97f, 2589408, "00:00:00;00", "00:00:00;00"},
      {29.97f, 2589409, "00:00:00;01", "00:00:00;01"},
      {29.97f, -1, "23:59:59;29", "00:00:00;01"},
      {59.94f, 3600, "00:01:00;02", "00:01:00;02"},
      {59.94f, 7195, "00:01:59;57", "00:01:59;57"},  // last label of a short minute
      {59.94f, 7196, "00:02:00;02", "00:02:00;02"},
      {23.976f, 1440, "00:01:00;02", "00:01:00;02"},
      {0.5f, 1, "00:00:01;00", "00:00:01;00"},  // one frame is one second
      {0.5f, 30, "00:00:30;00", "00:00:30;00"},
      // The most negative count: with no magnitude in 32 bits it stays negative.
      {25, kMin, "00:00:-85812945:-23", "00:00:-85899345:-23"},
      {25, kMax, "04:55:45:22", "04:55:45:22"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.fps);
    SCOPED_TRACE(c.count);
    EXPECT_EQ(TimeCode::timeCodeFromFrames(c.count, c.fps, true), c.absolute);
    EXPECT_EQ(TimeCode::timeCodeFromFrames(c.count, c.fps, false), c.relative);
  }
}

TEST(TimeCodeFromFrames, RatesWithoutAWholeFramePerMinuteGiveNothing) {
  const float kRates[] = {0.49f,
                          0.0f,
                          -25.0f,
                          std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(),
                          1e9f};
  for (float fps : kRates) {
    SCOPED_TRACE(fps);
    for (int32_t count : {0, 1, -1, kMin, kMax}) {
      EXPECT_EQ(TimeCode::timeCodeFromFrames(count, fps, true), "");
      EXPECT_EQ(TimeCode::timeCodeFromFrames(count, fps, false), "");
    }
  }
}

TEST(TimeCodeFromFrames, MatchesTheMinuteLoopAcrossTheWholeRange) {
  const float kRates[] = {0.5f, 12.5f, 23.976f, 24, 25, 29.97f, 30, 50, 59.94f, 60};
  std::mt19937 rng(2026);
  for (float fps : kRates) {
    SCOPED_TRACE(fps);
    std::vector<int32_t> counts = {0, 1, -1, 2, -2, kMax, kMin, kMax - 1, kMin + 1};
    // Around the ends of minutes and blocks of ten minutes, where the two ways could differ.
    const int32_t shortMinute = static_cast<int32_t>(std::truncf(fps * 60.0f));
    const int32_t fullMinute = 60 * static_cast<int32_t>(std::lroundf(fps));
    for (int32_t block : {0, 1, 2, 9, 10, 143, 144, 1000}) {
      const int64_t blockStart = int64_t{block} * (fullMinute + 9 * int64_t{shortMinute});
      for (int minute = 0; minute <= 10; ++minute) {
        const int64_t start =
            blockStart + (minute == 0 ? 0 : fullMinute + int64_t{minute - 1} * shortMinute);
        for (int64_t d = -3; d <= 3; ++d) {
          if (start + d <= kMax) counts.push_back(static_cast<int32_t>(start + d));
          if (-(start + d) >= kMin) counts.push_back(static_cast<int32_t>(-(start + d)));
        }
      }
    }
    // Every count of the first hour, then counts spread evenly over the orders of magnitude.
    for (int32_t n = 0; n < 2 * 3600 * 60; n += 7) counts.push_back(n);
    std::uniform_real_distribution<double> logScale(0.0, std::log(2147483647.0));
    for (int i = 0; i < 150; ++i) {
      const auto magnitude = static_cast<int32_t>(std::exp(logScale(rng)));
      counts.push_back(magnitude);
      counts.push_back(-magnitude);
    }
    for (int32_t count : counts) {
      for (bool absolute : {true, false}) {
        ASSERT_EQ(TimeCode::timeCodeFromFrames(count, fps, absolute),
                  literalTimeCodeFromFrames(count, fps, absolute))
            << "count " << count << " absolute " << absolute;
      }
    }
  }
}

// Ported back to the form that framesFromTimeCode reads: ';' everywhere at a non-integral rate.
std::string readableForm(std::string timeCode, float fps) {
  if (!integralFPS(fps)) {
    for (char& c : timeCode) {
      if (c == ':') c = ';';
    }
  }
  return timeCode;
}

TEST(TimeCodeFromFrames, EveryCountOfADayConvertsBack) {
  for (float fps : {24.0f, 25.0f, 30.0f, 29.97f}) {
    SCOPED_TRACE(fps);
    const int32_t day = TimeCode::maxFramesForFPS(fps);
    for (int32_t count = 0; count < day; ++count) {
      const std::string tc = TimeCode::timeCodeFromFrames(count, fps, false);
      ASSERT_EQ(TimeCode::framesFromTimeCode(readableForm(tc, fps), fps), count) << tc;
    }
  }
}

}  // namespace
}  // namespace bextkit
