// The parser object around the scan (the scan oracle compares the scan itself), a file past
// 4 GiB, and the parser's own timecode strings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "Support.h"
#include "bwf/BWFParser.h"

namespace bextkit::testsupport {
namespace {

TEST(Scan, ParserObject) {
  TempDir dir;
  EXPECT_EQ(BWFParser::initWithPath(dir.pathOf("missing.wav"), 30.0f), nullptr);
  for (const auto& [start, reversed] : {std::pair{"FFIR", true}, {"RIFF", false}, {"FFI", false}}) {
    auto p = BWFParser::initWithPath(dir.write("e.wav", Bytes(start, start + std::strlen(start))));
    EXPECT_EQ(p->endianNess() + 2 * p->endianNess(), 3 * reversed)
        << "reads from the start each time";
  }
  // A parser holds no descriptor until it scans: a script may make thousands.
  const auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = descriptors();
  std::vector<std::unique_ptr<BWFParser>> many;
  for (int i = 0; i < 50; ++i) many.push_back(BWFParser::initWithPath(dir.pathOf("e.wav")));
  EXPECT_EQ(descriptors(), before);
  // A parser scans once and closes its file: a second parse finds nothing new.
  RiffBuilder b;
  auto p = BWFParser::initWithPath(dir.write(
      "p.wav", b.riffHeader().fmt(1, 2, 48000, 24).bext({.timeReference = 172810000}).bytes()));
  float fps = 0;
  p->getfps(&fps);
  const LogCapture log;
  EXPECT_EQ(p->parse() + fps, 25.0f);
  p->info();
  EXPECT_EQ(p->parse() + p->getChunkDictionary().size() + p->endianNess(), 3u);
  EXPECT_EQ(log.messages,
            (std::vector<std::string>{"***Have RIFF\n", "***WAVE_FORMAT_PCM\n", "01:00:00:05"}));
  // A 4 GiB file: positions are 32-bit, so the scan covers its length modulo 2^32 (40 bytes).
  b = RiffBuilder();  // "data" at 30, "note" at 44
  const std::string big = dir.write(
      "big.wav",
      b.riffHeader().chunk("JUNK", Bytes(10)).chunk("data", {}).raw(Bytes(6)).id("note").bytes());
  if (::truncate(big.c_str(), (int64_t{1} << 32) + 40) == 0) {  // sparse: no disk space used
    p = BWFParser::initWithPath(big);
    p->parse();
    const auto& entries = p->getChunkDictionary();
    EXPECT_EQ(entries.at("data") + std::to_string(entries.count("note")),
              "Idx: 3 StartPoint: 30 Length: 100");
  }
}

TEST(Scan, TimecodeStrings) {
  // clang-format off
  const struct { uint32_t count; float fps; int32_t sps; float parserFps; const char* text; } kCases[] = {
      {172801000, 25, 48000, 25, "01:00:00:01,625000"}, {345599600, 25, 48000, 25, "02:00:00:00,950000"},
      {4147199999, 25, 48000, 25, "24:00:00:00,1199375"}, {172810000, 30, 48000, 25, "01:00:00:06,300000"},
      {172810000, 25, 48000, 30, "01:00:00:05,300000"}, {172847500, 29.97f, 48000, 29.97f, "01:00:00:30,946302"},
      {172801000, 25, 1 << 28, 25, "00:00:00:00,000000"},
      {172801000, std::numeric_limits<float>::infinity(), 48000, 25, "01:00:00:00,000000"}};
  // The texts as scanf reads "%x", "%f" and "%li" (hex, octal, nothing parsed, low 32 bits).
  const struct { const char *count, *fps, *sps, *text; } kTexts[] = {
      {"0xa4cbbe8", "25.0", "0xBB80", "sps: 48000\n01:00:00:01,625000"}, {"A4CBBE8", "25", "0100", "sps: 64\n750:00:15:16,001000"},
      {"zz", "x", "y", "sps: 0\n00:00:00:00,000000"}, {"1FFFFFFFF", "25", "48000", "sps: 48000\n24:51:18:12,159375"}};
  // clang-format on
  TempDir dir;
  const std::string path = dir.write("t.wav", {});
  for (const auto& c : kCases) {
    auto p = BWFParser::initWithPath(path, c.parserFps);
    p->setTicks(99);
    const std::string text = p->hex2timecode(int32_t(c.count), c.fps, c.sps);
    EXPECT_EQ(text + "," + std::to_string(p->getTicks()) + p->timecodeString(),
              c.text + std::string(",") +
                  std::to_string(std::stoul(text.substr(text.find(',') + 1))) + "00:00:00:00");
  }
  for (const auto& c : kTexts) {
    testing::internal::CaptureStdout();
    const std::string text = BWFParser::initWithPath(path)->hexStr2timecode(c.count, c.fps, c.sps);
    EXPECT_EQ(testing::internal::GetCapturedStdout() + text, c.text);
  }
  auto p = BWFParser::initWithPath(path);
  p->setTimeCodeHH(-1, 2, 3, 100, 60);
  EXPECT_EQ(p->timecodeString(), "4294967295:02:03:100");
}

}  // namespace
}  // namespace bextkit::testsupport
