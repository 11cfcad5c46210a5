// Timecode strings and frame counts: integral rates, splitting, drop-frame legality, timecode to
// frames and frames in a day.
#include "timecode/TimeCode.h"

#include <gtest/gtest.h>

#include <limits>

namespace bextkit {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(IntegralFPS, TruncatesTowardZeroBeforeComparing) {
  struct Case {
    float fps;
    int integral;
  };
  static const Case kCases[] = {{25.0f, 1},      {29.97f, 0},  {23.976f, 0}, {25.000001f, 1},
                                {24.999999f, 0}, {0.0f, 1},    {-25.0f, 1},  {-25.5f, 0},
                                {kNaN, 0},       {kInf, 0},    {-kInf, 0},   {59.94f, 0},
                                {0.5f, 0},       {30.0001f, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.fps);
    EXPECT_EQ(integralFPS(c.fps), c.integral);
  }
}

TEST(SplitTimeCode, ReadsFieldsAtTheRatesSeparator) {
  struct Case {
    const char* text;
    float fps;
    std::array<int32_t, 4> expected;
  };
  // The vector starts as {7, 7, 7, 7}: fields that the string does not reach keep those values.
  static const Case kCases[] = {
      {"1:2:3:4", 25, {1, 2, 3, 4}},
      {" 1: 2: 3: 4", 25, {1, 2, 3, 4}},
      {"01:02:03:04:05", 25, {1, 2, 3, 4}},
      {"aa:bb:cc:dd", 25, {0, 0, 0, 0}},
      {"01:02:03", 25, {1, 2, 3, 7}},
      {"01;02;03;04", 29.97f, {1, 2, 3, 4}},
      {"01:00:00:00", 29.97f, {1, 7, 7, 7}},  // one field: ':' is no separator at 29.97
      {"01;00;00;00", 25, {1, 7, 7, 7}},
      {"-1:-2:+3:4x", 25, {-1, -2, 3, 4}},
      {"", 25, {0, 7, 7, 7}},
      {"::", 25, {0, 0, 0, 7}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    std::array<int32_t, 4> v{7, 7, 7, 7};
    TimeCode::splitTimeCode(c.text, c.fps, v);
    EXPECT_EQ(v, c.expected);
  }
}

TEST(SplitTimeCode, StopsAtAnEmbeddedNul) {
  std::array<int32_t, 4> v{7, 7, 7, 7};
  TimeCode::splitTimeCode(std::string("01:02\0:03:04", 12), 25, v);
  EXPECT_EQ(v, (std::array<int32_t, 4>{1, 2, 7, 7}));
}

TEST(IsLegalTimeCode, SkipsFramesZeroAndOneOfMostMinutes) {
  struct Case {
    const char* text;
    float fps;
    bool legal;
  };
  static const Case kCases[] = {
      {"00;01;00;00", 29.97f, false}, {"00;01;00;01", 29.97f, false},
      {"00;01;00;02", 29.97f, true},  {"00;11;00;00", 29.97f, false},
      {"00;10;00;00", 29.97f, true},  {"01;00;00;00", 29.97f, true},
      {"00;01;00;-1", 29.97f, true},  {"00;01;01;00", 29.97f, true},
      {"00;-1;00;00", 29.97f, true},  {"00;00;00;00", 29.97f, true},
      {"05;59;00;01", 59.94f, false}, {"00:01:00:00", 25, false},  // the rule ignores the rate
      {"00:01:00:00", 29.97f, true},                               // read as hours only at 29.97
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TimeCode::isLegalTimeCode(c.text, c.fps), c.legal);
  }
}

TEST(FramesFromTimeCode, CountsPlainlyAndDropFrame) {
  struct Case {
    const char* text;
    float fps;
    int32_t frames;
  };
  static const Case kCases[] = {
      // integral rates
      {"01:00:00:00", 25, 90000},
      {"23:59:59:24", 25, 2159999},
      {"00:00:01:00", 25, 25},
      {"00:00:60:00", 25, 1500},
      {"00:00:00:25", 25, 25},
      {"-01:00:00:00", 25, -90000},
      {"01:02:03", 25, 93075},
      {"00:01:00:00", 24, 1440},
      {"10:00:00:00", 30, 1080000},
      {"aa:bb:cc:dd", 25, 0},
      // drop-frame at 29.97, including SMPTE's published counts (01:00:00;00 is 107892)
      {"00;00;59;29", 29.97f, 1799},
      {"00;01;00;02", 29.97f, 1800},
      {"00;01;00;00", 29.97f, 1800},  // a skipped label reads as frame 2
      {"00;01;59;29", 29.97f, 3597},
      {"00;02;00;02", 29.97f, 3598},
      {"00;10;00;00", 29.97f, 17982},
      {"00;11;00;00", 29.97f, 19782},
      {"00;11;00;02", 29.97f, 19782},
      {"01;00;00;00", 29.97f, 107892},
      {"10;00;00;00", 29.97f, 1078920},
      {"23;59;59;29", 29.97f, 2589407},
      // the general rule at other non-integral rates
      {"00;10;00;00", 23.976f, 14392},
      {"00;10;00;00", 59.94f, 35962},
      {"00;01;00;04", 59.94f, 3600},
      // a non-integral rate reading a ':' string sees only hours
      {"01:00:00:00", 29.97f, 107892},
      {"00:01:00:00", 29.97f, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    SCOPED_TRACE(c.fps);
    EXPECT_EQ(TimeCode::framesFromTimeCode(c.text, c.fps), c.frames);
  }
}

TEST(FramesFromTimeCode, OutOfRangeFieldsWrapInsteadOfOverflowing) {
  struct Case {
    const char* text;
    float fps;
    int32_t frames;
  };
  // Beyond a day the count leaves 32 bits; the result is defined by wrap-around modulo 2^32.
  static const Case kCases[] = {
      // 2^31 - 1 frames is 2^31 in single precision, which wraps to the most negative count.
      {"00:00:00:2147483647", 25, std::numeric_limits<int32_t>::min()},
      {"00;00;00;2147483647", 29.97f, std::numeric_limits<int32_t>::min()},
      // 10^6 hours at 25 fps: 9 * 10^10 frames, 89999998976 in single precision, modulo 2^32.
      {"1000000:00:00:00", 25, static_cast<int32_t>(89999998976LL - 21LL * 4294967296LL)},
      // 60 * 2147483647 wraps to -60 total minutes; counted as the minute-less label.
      {"2147483647;00;00;00", 29.97f, 0},
      // -2^31 x 91526 frames, exact in single precision, is a multiple of 2^32.
      {"-2147483648:-2147483648:-2147483648:-2147483648", 25, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TimeCode::framesFromTimeCode(c.text, c.fps), c.frames);
  }
}

TEST(FramesFromTimeCode, CountsRiseByOneAcrossEveryLabelOfADay) {
  // Walking the labels of a day in order, skipping those that drop-frame counting leaves out,
  // gives the counts 0, 1, 2, ... with no gap or repeat.
  const float fps = 29.97f;
  int32_t expected = 0;
  char text[64];
  for (int h = 0; h < 24; ++h) {
    for (int m = 0; m < 60; ++m) {
      for (int s = 0; s < 60; ++s) {
        for (int f = 0; f < 30; ++f) {
          std::snprintf(text, sizeof text, "%02d;%02d;%02d;%02d", h, m, s, f);
          if (!TimeCode::isLegalTimeCode(text, fps)) continue;
          ASSERT_EQ(TimeCode::framesFromTimeCode(text, fps), expected) << text;
          ++expected;
        }
      }
    }
  }
  EXPECT_EQ(expected, TimeCode::maxFramesForFPS(fps));
}

TEST(MaxFramesForFPS, CountsTheFramesOfADay) {
  struct Case {
    float fps;
    int32_t frames;
  };
  static const Case kCases[] = {{24, 2073600},      {25, 2160000},    {30, 2592000},
                                {50, 4320000},      {60, 5184000},    {29.97f, 2589408},
                                {23.976f, 2072447}, {59.94f, 5178530}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.fps);
    EXPECT_EQ(TimeCode::maxFramesForFPS(c.fps), c.frames);
  }
}

TEST(MaxFramesForFPS, IsDefinedForRatesWithoutADay) {
  // At NaN every product with the rate is NaN and counts as 0; only the drop term of 1439
  // minutes, 143 x 2, is left.
  EXPECT_EQ(TimeCode::maxFramesForFPS(kNaN), 286);
  EXPECT_EQ(TimeCode::maxFramesForFPS(0.0f), 0);
  EXPECT_EQ(TimeCode::maxFramesForFPS(-25.0f), -2160000);
}

}  // namespace
}  // namespace bextkit
