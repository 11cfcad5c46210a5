// Timecode and footage arithmetic: worked examples, the C library as the reference for the
// number helpers, and round trips over whole days.
#include "timecode/TimeCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>

#include "timecode/CNumbers.h"

namespace bextkit {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(TimeCode, NumbersAsCReadsAndWritesThem) {
  std::mt19937 rng(7);
  std::vector<std::string> texts = {"2147483648", "99999999999999999999", "-9223372036854775809",
                                    "\v\f\r 5"};
  for (int n = 0; n < 20000; ++n) {
    std::string& text = texts.emplace_back();
    for (int i = rng() % 25; i > 0; --i) text.push_back("0123456789+- \t:x"[rng() % 16]);
  }
  for (const std::string& text : texts) ASSERT_EQ(cnum::atoi(text), std::atoi(text.c_str()));
  std::string padded;
  for (int64_t v : {int64_t{5}, int64_t{-1}, std::numeric_limits<int64_t>::min()}) {
    cnum::appendPadded(padded, v, 4);
  }
  EXPECT_EQ(padded, "0005-001-9223372036854775808");
  // Float to int: truncated or rounded, wrapping modulo 2^32 outside the range, 0 for NaN.
  // clang-format off
  const struct { float value; int32_t trunc, rounded; } kFloats[] = {{-2.5f, -2, -3}, {2147483648.0f, kMin, kMin},
      {-2147483904.0f, 2147483392, 2147483392}, {1e10f, 1410065408, 1410065408}, {kNaN, 0, 0}};
  // clang-format on
  for (const auto& [value, trunc, rounded] : kFloats) {
    EXPECT_EQ(cnum::truncToInt32(value) + 0ll + cnum::lroundfToInt32(value), trunc + 0ll + rounded);
  }
  const std::pair<float, int> kRates[] = {{25.000001f, 1}, {29.97f, 0}, {24.999f, 0},
                                          {-25.0f, 1},     {-25.5f, 0}, {kNaN, 0}};
  for (const auto& [fps, integral] : kRates) EXPECT_EQ(integralFPS(fps), integral) << fps;
}

TEST(TimeCode, Labels) {
  // clang-format off
  // Fields the text does not reach keep the vector's values (7); a NUL ends the text.
  const struct { std::string text; float fps; std::array<int32_t, 4> fields; } kSplits[] = {
      {" 1: 2: 3: 4:5", 25, {1, 2, 3, 4}}, {"01;02;03", 29.97f, {1, 2, 3, 7}}, {"01:00:00:00", 29.97f, {1, 7, 7, 7}},
      {"-1:x:+3:4x", 25, {-1, 0, 3, 4}}, {std::string("01:02\0:03:04", 12), 25, {1, 2, 7, 7}}};
  const struct { const char* text; float fps; int32_t frames; } kFrames[] = {
      {"23:59:59:24", 25, 2159999}, {"00:00:60:00", 25, 1500}, {"-01:00:00:00", 25, -90000}, {"01:02:03", 25, 93075},
      {"00;01;00;02", 29.97f, 1800}, {"00;01;00;00", 29.97f, 1800}, {"00;10;00;00", 29.97f, 17982},
      {"01;00;00;00", 29.97f, 107892}, {"00;10;00;00", 23.976f, 14392}, {"00:01:00:00", 29.97f, 0}, {"-01;30;00;00", 29.97f, 54000},
      {"00:00:00:2147483647", 25, kMin}, {"00;00;00;2147483647", 29.97f, kMin}, {"2147483647;00;00;00", 29.97f, 0},
      {"1000000:00:00:00", 25, static_cast<int32_t>(89999998976LL - 21LL * 4294967296LL)},
      {"-2147483648:-2147483648:-2147483648:-2147483648", 25, 0}};
  const struct { float fps; int32_t count; const char *absolute, *relative; } kTimecodes[] = {
      {25, 2160001, "00:00:00:01", "00:00:00:01"}, {25, -1, "23:59:59:24", "00:00:00:01"},
      {25, -2160001, "00:00:00:-1", "00:00:00:01"}, {25, -3000000, "00:00:-33600:00", "09:20:00:00"},
      {29.97f, -1, "23:59:59;29", "00:00:00;01"}, {59.94f, 7195, "00:01:59;57", "00:01:59;57"},
      {0.5f, 30, "00:00:30;00", "00:00:30;00"}, {25, 2147483647, "04:55:45:22", "04:55:45:22"},
      {25, kMin, "00:00:-85812945:-23", "00:00:-85899345:-23"}, {0.49f, 1, "", ""}, {1e9f, 1, "", ""}};
  const std::pair<float, int32_t> kDays[] = {{24, 2073600}, {29.97f, 2589408}, {23.976f, 2072447},
                                             {59.94f, 5178530}, {kNaN, 286}, {-25.0f, -2160000}};
  const std::pair<const char*, bool> kLabels[] = {{"00;01;00;00", false}, {"00;01;00;01", false},
      {"00;01;00;02", true}, {"00;10;00;00", true}, {"00;01;01;00", true}, {"00;-1;00;00", true}};
  // clang-format on
  for (const auto& c : kSplits) {
    std::array<int32_t, 4> v{7, 7, 7, 7};
    TimeCode::splitTimeCode(c.text, c.fps, v);
    EXPECT_EQ(v, c.fields) << c.text;
  }
  for (const auto& c : kFrames) EXPECT_EQ(TimeCode::framesFromTimeCode(c.text, c.fps), c.frames);
  for (const auto& c : kTimecodes) {
    EXPECT_EQ(TimeCode::timeCodeFromFrames(c.count, c.fps, true), c.absolute) << c.count;
    EXPECT_EQ(TimeCode::timeCodeFromFrames(c.count, c.fps, false), c.relative) << c.count;
  }
  for (const auto& [fps, frames] : kDays) EXPECT_EQ(TimeCode::maxFramesForFPS(fps), frames);
  for (const auto& [text, legal] : kLabels)
    EXPECT_EQ(TimeCode::isLegalTimeCode(text, 29.97f), legal);
  EXPECT_FALSE(TimeCode::isLegalTimeCode("00:11:00:01", 25)) << "the rate only picks the separator";
  // Every frame of a day converts to a label and back.
  for (float fps : {25.0f, 29.97f}) {
    for (int32_t count = 0; count < TimeCode::maxFramesForFPS(fps); ++count) {
      std::string tc = TimeCode::timeCodeFromFrames(count, fps, false);
      if (!integralFPS(fps)) std::replace(tc.begin(), tc.end(), ':', ';');
      ASSERT_TRUE(integralFPS(fps) || TimeCode::isLegalTimeCode(tc, fps)) << tc;
      ASSERT_EQ(TimeCode::framesFromTimeCode(tc, fps), count) << tc;
    }
  }
}

TEST(TimeCode, Footage) {
  // clang-format off
  const struct { const char* footage; int32_t type; const char* delimiter; int32_t frames; } kCases[] = {
      {"0771+09", 16, "+", 12345}, {"-001+-1", 16, "+", -17}, {"7716049-05", 16, "-", 123456789},
      {"0771ft09", 16, "ft", 12345}, {"0005+00", 1, "+", 5}, {"-134217728+00", 16, "+", kMin}};
  const struct { const char* footage; int32_t frames; std::vector<std::string> parts; } kReadings[] = {
      {"1+2+3", 18, {"0000", "0001", "02"}}, {"0000+20", 20, {"0000", "0001", "04"}},
      {"99999+00", 1599984, {"0009", "9999", "00"}}, {"-20000+-5", -320005, {"-002", "0000", "-5"}},
      {"0771", -1, {"0000", "0000", "-1"}}, {"200000000+0", -1094967296, {"-6843", "-5456", "00"}}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(TimeCode::framesToFeetFrames(c.frames, c.type, c.delimiter), c.footage);
    EXPECT_EQ(TimeCode::feetFramesToFrames(c.footage, c.type, c.delimiter), c.frames);
  }
  for (const auto& [footage, frames, p] : kReadings) {
    EXPECT_EQ(TimeCode::feetFramesToFrames(footage, 16, "+"), frames) << footage;
    EXPECT_EQ(TimeCode::feetFramesToArray(footage, 16, "+", 0.0f), p);  // the rate plays no part
    EXPECT_EQ(TimeCode::feetFramesToDelimitedList(footage, 16, "+", 25),
              p[0] + "," + p[1] + "," + p[2]);
  }
  EXPECT_EQ(TimeCode::feetFramesToTimeCode("0771+09", 16, "+", 29.97f), "00:06:51;27");
  EXPECT_EQ(TimeCode::feetFramesToTimeCode("0771", 16, "+", 25) +
                TimeCode::feetFramesToTimeCode("7+3", 1, "+", 25),
            "00:00:00:01"
            "00:00:00:10");
  // Without frames per foot, or without the delimiter, there is no footage.
  EXPECT_EQ(TimeCode::framesToFeetFrames(1, 0, "+") +
                TimeCode::feetFramesToTimeCode("1+", 0, "+", 25) +
                TimeCode::feetFramesToDelimitedList("1+1", 0, "+", 25),
            "");
  EXPECT_EQ(TimeCode::feetFramesToFrames("1+", 16, "") + TimeCode::feetFramesToFrames("1+", 0, "+"),
            -2);
  EXPECT_TRUE(TimeCode::feetFramesToArray("1+1", -1, "+", 25).empty());
  for (int32_t type : {1, 16, 40}) {
    for (int32_t count = -3000; count <= 3000; ++count) {
      const std::string footage = TimeCode::framesToFeetFrames(count, type, "+");
      ASSERT_EQ(TimeCode::feetFramesToFrames(footage, type, "+"), count) << footage;
    }
  }
}

}  // namespace
}  // namespace bextkit
