// Film footage: feet and frames to and from frame counts, timecode and the normalised forms.
#include <gtest/gtest.h>

#include "timecode/TimeCode.h"

namespace bextkit {
namespace {

TEST(FramesToFeetFrames, WritesFeetDelimiterFrames) {
  struct Case {
    int32_t frames;
    int32_t type;
    const char* delimiter;
    const char* footage;
  };
  static const Case kCases[] = {
      {12345, 16, "+", "0771+09"},
      {16, 16, "+", "0001+00"},
      {-17, 16, "+", "-001+-1"},
      {123456789, 16, "-", "7716049-05"},
      {0, 16, "+", "0000+00"},
      {30849, 40, "+", "0771+09"},
      {12345, 16, "ft", "0771ft09"},
      {12345, 16, "", "077109"},
      {-2147483647 - 1, 16, "+", "-134217728+00"},
      {12345, 0, "+", ""},
      {12345, -16, "+", ""},  // no feet without frames per foot
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.frames);
    EXPECT_EQ(TimeCode::framesToFeetFrames(c.frames, c.type, c.delimiter), c.footage);
  }
}

TEST(FeetFramesToFrames, ReadsFeetAndFramesLikeAtoi) {
  struct Case {
    const char* footage;
    int32_t type;
    const char* delimiter;
    int32_t frames;
  };
  static const Case kCases[] = {
      {"0771+09", 16, "+", 12345},
      {"771+9", 16, "+", 12345},
      {"0771+", 16, "+", 12336},
      {"+09", 16, "+", 9},
      {"1+2+3", 16, "+", 18},
      {"0771", 16, "+", -1},  // no delimiter
      {"0000+-1", 16, "+", -1},
      {"0000+20", 16, "+", 20},  // frames past a foot count in full
      {"0771+09", 40, "+", 30849},
      {"ab+cd", 16, "+", 0},
      {"12ft05", 16, "ft", 197},  // the frames follow the whole delimiter
      {"0771+09", 16, "", -1},    // an empty delimiter is never found
      {"0771+09", 0, "+", -1},
      {"0771+09", -1, "+", -1},
      {"200000000+0", 16, "+", -1094967296},  // 3.2 x 10^9 frames wrap modulo 2^32
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.footage);
    EXPECT_EQ(TimeCode::feetFramesToFrames(c.footage, c.type, c.delimiter), c.frames);
  }
}

TEST(FeetFramesToTimeCode, ConvertsThroughTheFrameCount) {
  struct Case {
    const char* footage;
    int32_t type;
    float fps;
    const char* timeCode;
  };
  static const Case kCases[] = {
      {"0771+09", 16, 25, "00:08:13:20"},
      {"0771+09", 16, 29.97f, "00:06:51;27"},
      {"0771", 16, 25, "00:00:00:01"},  // -1 of a missing delimiter reads as its magnitude
      {"-0001+00", 16, 25, "00:00:00:16"},
      {"0771+09", 16, 0.25f, ""},
      {"0771+09", 0, 25, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.footage);
    EXPECT_EQ(TimeCode::feetFramesToTimeCode(c.footage, c.type, "+", c.fps), c.timeCode);
  }
}

TEST(FeetFramesNormalised, SplitsFeetIntoTenThousandsAndRest) {
  struct Case {
    const char* footage;
    int32_t type;
    std::vector<std::string> parts;
  };
  static const Case kCases[] = {
      {"0771+09", 16, {"0000", "0771", "09"}},   {"0000+20", 16, {"0000", "0001", "04"}},
      {"99999+00", 16, {"0009", "9999", "00"}},  {"0771", 16, {"0000", "0000", "-1"}},
      {"0000+-1", 16, {"0000", "0000", "-1"}},   {"0771+09", 40, {"0000", "0771", "09"}},
      {"-20000+-5", 16, {"-002", "0000", "-5"}}, {"0771+09", 0, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.footage);
    // The rate is accepted and plays no part.
    for (float fps : {25.0f, 29.97f, 0.0f}) {
      EXPECT_EQ(TimeCode::feetFramesToArray(c.footage, c.type, "+", fps), c.parts);
      const std::string list =
          c.parts.empty() ? std::string() : c.parts[0] + "," + c.parts[1] + "," + c.parts[2];
      EXPECT_EQ(TimeCode::feetFramesToDelimitedList(c.footage, c.type, "+", fps), list);
    }
  }
}

TEST(FeetFrames, RoundTripsEveryCountNearZero) {
  for (int32_t type : {16, 40, 20}) {
    for (int32_t count = -5000; count <= 5000; ++count) {
      const std::string footage = TimeCode::framesToFeetFrames(count, type, "+");
      ASSERT_EQ(TimeCode::feetFramesToFrames(footage, type, "+"), count) << footage;
    }
  }
}

}  // namespace
}  // namespace bextkit
