// SMPTE timecode: published drop-frame counts, every label of a day at every rate, strict reading
// of rates and labels, and frame starts in samples against 128-bit arithmetic.
#include "timecode/Smpte.h"

#include <gtest/gtest.h>

#include <random>

namespace bextkit::smpte {
namespace {

__extension__ typedef unsigned __int128 U128;
constexpr uint64_t kMax = ~uint64_t{0};

Rate rate(const char* name) { return parseRate(name).value(); }

TEST(Smpte, PublishedCounts) {
  // clang-format off
  const struct { const char* rate; uint64_t frames; const char* text; } kCases[] = {
      {"29.97", 1800, "00:01:00;02"}, {"29.97", 17982, "00:10:00;00"}, {"29.97", 107892, "01:00:00;00"},
      {"29.97", 2589407, "23:59:59;29"}, {"29.97", 2589408, "24:00:00;00"}, {"59.94", 3600, "00:01:00;04"},
      {"59.94", 215784, "01:00:00;00"}, {"25", 386547056639999, "4294967295:59:59:24"},
      {"25", 386547056640000, "4294967296:00:00:00"}, {"59.94", kMax, "85487080013854:22:15;59"}};
  // Every rate: frames in a day, the fraction it is spelt as, and where frame labels x 1001
  // begins at 48 kHz (48048000 at a whole rate, 48096048 at a rate of 1000/1001 of one).
  const struct { const char* name; uint64_t day; const char* fraction; uint64_t start; } kRates[] = {
      {"23.976", 2073600, "24000/1001", 48096048}, {"24", 2073600, "24/1", 48048000}, {"25", 2160000, "25/1", 48048000},
      {"29.97", 2589408, "30000/1001", 48096048}, {"29.97nd", 2592000, "", 48096048}, {"30", 2592000, "30/1", 48048000},
      {"47.952", 4147200, "48000/1001", 48096048}, {"48", 4147200, "48/1", 48048000}, {"50", 4320000, "50/1", 48048000},
      {"59.94", 5178816, "60000/1001", 48096048}, {"59.94nd", 5184000, "", 48096048}, {"60", 5184000, "60/1", 48048000}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.rate) + " " + std::to_string(c.frames));
    const Label label = labelFromFrames(rate(c.rate), c.frames);
    EXPECT_EQ(format(rate(c.rate), label), c.text);
    EXPECT_EQ(framesFromLabel(rate(c.rate), label), c.frames);  // hours past 2^32 too
  }
  ASSERT_EQ(rates().size(), std::size(kRates));
  for (const auto& c : kRates) {
    SCOPED_TRACE(c.name);
    const Rate r = rate(c.name);
    EXPECT_EQ(framesPerDay(r), c.day);
    EXPECT_EQ(frameStart(r, r.labelsPerSecond * 1001ull, 48000), c.start);
    EXPECT_TRUE(!*c.fraction || parseRate(c.fraction) == r);
  }
}

TEST(Smpte, EveryLabelOfADay) {
  for (std::string error; const Rate& r : rates()) {
    SCOPED_TRACE(rateName(r));  // legal labels in order: each the next frame, to it and back
    uint64_t next = 0;
    for (uint32_t minute = 0; minute < 24 * 60; ++minute) {
      for (uint32_t i = 0; i < 60 * r.labelsPerSecond; ++i) {
        const Label label{minute / 60, minute % 60, i / r.labelsPerSecond, i % r.labelsPerSecond};
        if (!isLegal(r, label)) continue;
        if (framesFromLabel(r, label) != next || labelFromFrames(r, next) != label ||
            (next % 97 == 0 && parseLabel(r, format(r, label), error) != label)) {
          FAIL() << format(r, label) << " is not frame " << next << " both ways";
        }
        ++next;
      }
    }
    EXPECT_EQ(next, framesPerDay(r));
  }
}

TEST(Smpte, StrictReading) {
  for (const Rate& r : rates()) EXPECT_EQ(parseRate(rateName(r)), r);
  // clang-format off
  const std::pair<const char*, const char*> kSpellings[] = {{"30000/1001", "29.97"}, {"60000/1001", "59.94"},
      {"24000/1001", "23.976"}, {"48000/1001", "47.952"}, {"29.97DF", "29.97"}, {"29.97NDF", "29.97nd"}, {"59.94ndf", "59.94nd"},
      {"23.98", "23.976"}, {"25.0", "25"}, {"60000/10010", ""}, {"50/1", "50"}, {"29.970", ""},
      {" 25", ""}, {"0", ""}, {"nan", ""}, {"25fps", ""}, {"1/0", ""}, {"", ""}, {"30/1001", ""}, {"29.97 ", ""}};
  for (const auto& [text, name] : kSpellings) EXPECT_EQ(parseRate(text) ? rateName(rate(text)) : "", name) << text;
  const struct { const char* rate; const char* text; const char* error; } kLabels[] = {
      {"29.97", "01:00:00:00", "';' or '.' before"}, {"25", "01:00:00;00", "':' between the fields at 25"},
      {"29.97", "01.00:00;00", "expected"}, {"29.97", "01:00;00.00", "expected"}, {"25", "01;00;00:00", "expected"},
      {"25", "01:00:00", "expected"}, {"25", "01:00:00:00:00", "expected"}, {"25", "001:00:00:00", "expected"},
      {"25", "01:00:00:", "expected"}, {"25", "+1:00:00:00", "expected"}, {"25", "00:60:00:00", "minutes 60"},
      {"25", "01:00:00:0\xff", "got '01:00:00:0\\xff'"}, {"50", "00:00:99:00", "seconds 99"},
      {"25", "01:00:00:25", "frames 25 out of range 00-24"}, {"25", "24:00:00:00", "hours 24 out of range 00-23"},
      {"29.97", "00:01:00;01", "00:01:00;01 does not exist at 29.97 drop-frame"}, {"29.97", "1.2.3.4", ""},
      {"59.94", "00:11:00;03", "labels ;00 to ;03"}, {"29.97", "01:10:00.00", ""}, {"59.94", "23;59;59;59", ""},
      {"29.97nd", "00:01:00:00", ""}};
  // clang-format on
  for (const auto& c : kLabels) {
    SCOPED_TRACE(std::string(c.rate) + " " + c.text);
    std::string error;  // stays empty when the label is read
    EXPECT_EQ(parseLabel(rate(c.rate), c.text, error).has_value(), !*c.error);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  std::string error;  // told so, parseLabel reads a label that is not legal
  EXPECT_EQ(parseLabel(rate("29.97"), "24;01:00;01", error, false), (Label{24, 1, 0, 1})) << error;
}

TEST(Smpte, Samples) {
  // Recorder stamps: the start rounded half up (.2, .4 and .5 below) and one sample later.
  // clang-format off
  const struct { const char* rate; uint32_t sampleRate; uint64_t frame, start; } kStamps[] = {
      {"29.97", 48000, 107892, 172799827}, {"29.97", 96000, 107892, 345599654}, {"23.976", 48000, 86400, 172972800},
      {"23.976", 96000, 86400, 345945600}, {"23.976", 44100, 40, 73574},
      {"29.97", 192000, 1000000000000, 6406400000000000}};
  // clang-format on
  for (const auto& c : kStamps) {
    SCOPED_TRACE(std::string(c.rate) + " at " + std::to_string(c.sampleRate));
    const Rate r = rate(c.rate);  // and the sample before belongs to the frame before
    EXPECT_EQ(frameStart(r, c.frame, c.sampleRate), c.start);
    EXPECT_EQ(positionOfSample(r, c.start, c.sampleRate), (Position{c.frame, 0}));
    EXPECT_EQ(positionOfSample(r, c.start + 1, c.sampleRate), (Position{c.frame, 1}));
    EXPECT_EQ(positionOfSample(r, c.start - 1, c.sampleRate).frame, c.frame - 1);
  }
  // The exact start, rounded half up, in 128 bits; the largest count when it leaves 64 bits.
  const auto referenceStart = [](const Rate& r, U128 frame, uint32_t sampleRate) {
    const U128 start = (2 * frame * sampleRate * r.denominator + r.numerator) / (2 * r.numerator);
    return start > kMax ? kMax : static_cast<uint64_t>(start);
  };
  std::mt19937_64 rng(12);
  for (int i = 0; i < 20000; ++i) {  // any count and rate, the first below the frame rate
    const Rate r = rates()[rng() % rates().size()];
    const auto sampleRate = static_cast<uint32_t>(1 + (i < 10 ? i % 3 : rng() % 0xffffffff));
    const uint64_t n = rng() >> (i < 10 ? 0 : rng() % 64);  // a frame, then a sample
    SCOPED_TRACE(rateName(r) + " at " + std::to_string(sampleRate) + ": " + std::to_string(n));
    ASSERT_EQ(frameStart(r, n, sampleRate), referenceStart(r, n, sampleRate));
    const Position p = positionOfSample(r, n, sampleRate);
    const uint64_t start = referenceStart(r, p.frame, sampleRate);
    ASSERT_TRUE(start <= n && n - start == p.samplesPastFrame);
    ASSERT_TRUE(p.frame == kMax || referenceStart(r, U128{p.frame} + 1, sampleRate) > n);
  }
}

}  // namespace
}  // namespace bextkit::smpte
