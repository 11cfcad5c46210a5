// The parser on small files with results worked out by hand (the scan oracle compares the rest),
// and the parser's own timecode strings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "Support.h"
#include "bwf/BWFParser.h"

namespace bextkit::testsupport {
namespace {

std::unique_ptr<BWFParser> parse(const std::string& path, std::vector<std::string>* log = nullptr) {
  auto parser = BWFParser::initWithPath(path);
  const LogCapture capture;
  parser->parse();
  if (log) *log = capture.messages;
  return parser;
}

TEST(Scan, WorkedExamples) {
  TempDir dir;
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kReversed}) {
    // A LIST holding the ID "note" of size 0 (the scan moves on by one byte), then mu-law,
    // which jumps 26 bytes, over the next chunk's ID.
    RiffBuilder b(order);
    b.riffHeader().chunk("LIST", RiffBuilder(order).id("INFO").chunk("note", {}).bytes());
    std::vector<std::string> log;
    auto p = parse(dir.write("a.wav", b.fmt(7, 1, 8000, 8).chunk("data", {}).bytes()), &log);
    std::string directory;
    for (const auto& [id, entry] : p->getChunkDictionary()) directory += id + "=" + entry + "|";
    EXPECT_EQ(directory,
              "RIFF=Idx: 1 StartPoint: 0 Length: 24|fmt =Idx: 3 StartPoint: 32 Length: 32|"
              "note=Idx: 2 StartPoint: 24 Length: 8|");
    EXPECT_EQ(p->chunkFlags(), kBWFFlagRIFF | kBWFFlagFmt);
    EXPECT_EQ(log, (std::vector<std::string>{"***Have RIFF\n", "***WAVE_FORMAT_MULAW\n",
                                             "***IBM_FORMAT_MULAW\n"}));
  }
  // bext before fmt (the timecode is derived once both are met) and a second bext, not read;
  // counts are unsigned in a reversed file.
  const BextFields f{std::string(256, 'D'), std::string(32, 'O'), "caf\xC3\xA9 \xE9\xFF",
                     "2024-05-06",          "07:08:09",           (uint64_t{3} << 32) | 345599600,
                     "A=PCM,T=recorder\r\n"};
  RiffBuilder b(ByteOrder::kReversed);
  auto p = parse(
      dir.write("f.wav", b.riffHeader().bext(f).fmt(1, 0xFFFF, 48000, 0xFFF0).bext({}).bytes()));
  EXPECT_EQ(p->description() + p->originator() + p->originatorReference() + p->creationdate() +
                p->creationtime() + p->getCodingHistory(),
            f.description + f.originator + f.reference + f.date + f.time + f.codingHistory);
  EXPECT_EQ(
      p->getSamplesSinceMidnightHigh() + p->samplePerSeconds() + p->channels() + p->bitsPerSample(),
      3u + 48000u + 65535 + 65520);
  EXPECT_EQ(p->timecodeString() + "," + std::to_string(p->getTicks()),
            "02:00:00:00,47600");  // 24.79 frames
  // A 4 GiB file: positions are 32-bit, so the scan covers its length modulo 2^32 (40 bytes).
  RiffBuilder big;  // "data" at 30, "note" at 44
  big.riffHeader().chunk("JUNK", Bytes(10)).chunk("data", {}).raw(Bytes(6)).id("note");
  const std::string path = dir.write("big.wav", big.bytes());
  if (::truncate(path.c_str(), (int64_t{1} << 32) + 40) == 0) {  // sparse: no disk space used
    const auto huge = parse(path);
    const auto& entries = huge->getChunkDictionary();
    EXPECT_EQ(entries.at("data") + std::to_string(entries.count("note")),
              "Idx: 3 StartPoint: 30 Length: 100");
  }
}

TEST(Scan, ParserObject) {
  TempDir dir;
  EXPECT_EQ(BWFParser::initWithPath(dir.pathOf("missing.wav"), 30.0f), nullptr);
  EXPECT_EQ(BWFParser::initWithPath(dir.path), nullptr);
  for (const auto& [start, reversed] : {std::pair{"FFIR", true}, {"RIFF", false}, {"FFI", false}}) {
    auto p = BWFParser::initWithPath(dir.write("e.wav", Bytes(start, start + std::strlen(start))));
    EXPECT_EQ(p->endianNess() + 2 * p->endianNess(), 3 * reversed)
        << "reads from the start each time";
  }
  // A parser scans once and closes its file; a second parse changes nothing.
  RiffBuilder b;
  auto p = BWFParser::initWithPath(dir.write(
      "p.wav", b.riffHeader().fmt(1, 2, 48000, 24).bext({.timeReference = 172810000}).bytes()));
  float fps = 0;
  p->getfps(&fps);
  EXPECT_EQ(fps, 25.0f);
  const LogCapture log;
  p->info();
  EXPECT_EQ(log.messages.back(), "01:00:00:05");
  dir.write("p.wav", {});
  EXPECT_EQ(p->parse() + p->getChunkDictionary().size() + p->endianNess(), 3u);
}

TEST(Scan, TimecodeStrings) {
  // clang-format off
  const struct { uint32_t count; float fps; int32_t sps; float parserFps; const char* text; } kCases[] = {
      {172801000, 25, 48000, 25, "01:00:00:01,625000"}, {345599600, 25, 48000, 25, "02:00:00:00,950000"},
      {4147199999, 25, 48000, 25, "24:00:00:00,1199375"}, {172810000, 30, 48000, 25, "01:00:00:06,300000"},
      {172810000, 25, 48000, 30, "01:00:00:05,300000"}, {172847500, 29.97f, 48000, 29.97f, "01:00:00:30,946302"},
      {172801000, 25, 1 << 28, 25, "00:00:00:00,000000"}, {172801000, std::numeric_limits<float>::infinity(), 48000, 25, "01:00:00:00,000000"}};
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
