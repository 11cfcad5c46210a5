// Timecode strings of the parser: hex2timecode and hexStr2timecode, the stored timecode and
// its text, and defined results for rates that leave nothing to divide by.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "ScanTestSupport.h"

namespace bextkit::testsupport {
namespace {

// The ticks after the comma of a hex2timecode string.
uint64_t ticksIn(const std::string& text) { return std::stoull(text.substr(text.find(',') + 1)); }

class ParserTimecode : public ::testing::Test {
 protected:
  std::unique_ptr<BWFParser> parserAt(float fps) {
    return BWFParser::initWithPath(dir_.write("t.wav", {}), fps);
  }
  TempDir dir_;
};

struct HexCase {
  uint32_t count;
  float fps;
  int32_t sps;
  float parserFps;
  std::string expected;
};

const HexCase kHexCases[] = {
    {172800000, 25, 48000, 25, "01:00:00:00,000000"},
    {172801000, 25, 48000, 25, "01:00:00:01,625000"},
    {172810000, 25, 48000, 25, "01:00:00:05,250000"},
    {345599000, 25, 48000, 25, "01:59:59:24,575000"},
    {345599600, 25, 48000, 25, "02:00:00:00,950000"},
    {4147199999, 25, 48000, 25, "24:00:00:00,1199375"},  // ticks beyond six digits in full
    {172810000, 30, 48000, 25, "01:00:00:06,300000"},    // FPS sets the frames...
    {172810000, 25, 48000, 30, "01:00:00:05,300000"},    // ...the parser's rate the ticks
    {4147200000, 25, 48000, 25, "24:00:00:00,000000"},
    {172847500, 29.97f, 48000, 29.97f, "01:00:00:30,946302"},
};

TEST_F(ParserTimecode, Hex2TimecodeGivesTimecodeAndScaledTicks) {
  for (const HexCase& c : kHexCases) {
    SCOPED_TRACE(std::to_string(c.count) + " at " + std::to_string(c.fps));
    auto parser = parserAt(c.parserFps);
    const std::string text = parser->hex2timecode(static_cast<int32_t>(c.count), c.fps, c.sps);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(ticksIn(text), static_cast<uint32_t>(parser->getTicks()));
  }
}

TEST_F(ParserTimecode, Hex2TimecodeChangesOnlyTheTicks) {
  auto parser = parserAt(25);
  parser->setTimeCodeHH(10, 20, 30, 4, 25);
  parser->timecodeString();
  parser->hex2timecode(172801000, 25, 48000);
  EXPECT_EQ(parser->getTicks(), 625000);
  EXPECT_EQ(parser->timecodeString(), "10:20:30:04");
  float fps = 0;
  parser->getfps(&fps);
  EXPECT_EQ(fps, 25.0f);
}

TEST_F(ParserTimecode, RatesWithNothingToDivideByGiveZeros) {
  for (const int32_t sps : {0, 1 << 28, -(1 << 28)}) {
    SCOPED_TRACE(sps);
    auto parser = parserAt(25);
    parser->setTicks(99);
    EXPECT_EQ(parser->hex2timecode(172801000, 25, sps), "00:00:00:00,000000");
    EXPECT_EQ(parser->getTicks(), 0);
  }
}

TEST_F(ParserTimecode, FrameRatesWithoutAFiniteFrameCountGiveFrameZero) {
  const float kRates[] = {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(), 1e30f};
  for (const float fps : kRates) {
    SCOPED_TRACE(fps);
    auto parser = parserAt(fps);
    EXPECT_EQ(parser->hex2timecode(172801000, fps, 48000), "01:00:00:00,000000");
  }
}

TEST_F(ParserTimecode, AnyInputGivesAConsistentString) {
  // Random counts, rates and sample rates, negative and huge ones included: the ticks in the
  // string are the ticks stored, and the sanitizer build checks every conversion.
  std::mt19937 rng(7);
  const float kRates[] = {25, 29.97f, 24, 30, 0, -25, 1e9f, 1e-9f, 59.94f};
  for (int i = 0; i < 20000; ++i) {
    const float fps = kRates[rng() % 9];
    auto parser = parserAt(kRates[rng() % 9]);
    const auto count = static_cast<int32_t>(rng());
    const int32_t sps = (i % 3 == 0) ? static_cast<int32_t>(rng()) : 48000;
    const std::string text = parser->hex2timecode(count, fps, sps);
    ASSERT_EQ(ticksIn(text), static_cast<uint32_t>(parser->getTicks())) << text;
  }
}

TEST_F(ParserTimecode, HexStr2TimecodeReadsTheTextsLikeScanf) {
  const struct {
    const char *count, *fps, *sps;
    std::string printed, expected;
  } kCases[] = {
      {"A4CBBE8", "25", "48000", "sps: 48000\n", "01:00:00:01,625000"},
      {"0xa4cbbe8", "25.0", "0xBB80", "sps: 48000\n", "01:00:00:01,625000"},
      {"A4CBBE8", "25", "0100", "sps: 64\n", "750:00:15:16,001000"},       // octal
      {"zz", "x", "y", "sps: 0\n", "00:00:00:00,000000"},                  // nothing parses
      {"1FFFFFFFF", "25", "48000", "sps: 48000\n", "24:51:18:12,159375"},  // low 32 bits
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.count);
    auto parser = parserAt(25);
    ::testing::internal::CaptureStdout();
    const std::string text = parser->hexStr2timecode(c.count, c.fps, c.sps);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(text, c.expected);
  }
}

TEST_F(ParserTimecode, StoredTimecodePrintsUnsigned) {
  const struct {
    int32_t hh, mm, ss, ff;
    std::string expected;
  } kCases[] = {{1, 2, 3, 4, "01:02:03:04"},
                {100, 2, 3, 4, "100:02:03:04"},
                {-1, 2, 3, 4, "4294967295:02:03:04"},
                {0, 0, 0, 0, "00:00:00:00"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.expected);
    auto parser = parserAt(29.97f);
    parser->setTicks(12);
    parser->setTimeCodeHH(c.hh, c.mm, c.ss, c.ff, 60);
    EXPECT_EQ(parser->timecodeString(), c.expected);
    EXPECT_EQ(parser->getTicks(), 12);
    float fps = 0;
    parser->getfps(&fps);
    EXPECT_EQ(fps, 29.97f);
  }
}

}  // namespace
}  // namespace bextkit::testsupport
