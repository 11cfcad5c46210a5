// The parser object: creation, start values, the byte-order probe, accessors and the calling
// order around parse.
#include <gtest/gtest.h>

#include "ScanTestSupport.h"

namespace bextkit::testsupport {
namespace {

TEST(BWFParser, StartsEmptyAtTwentyFiveFramesPerSecond) {
  TempDir dir;
  auto parser = BWFParser::initWithPath(dir.write("a.wav", RiffBuilder().riffHeader().bytes()));
  ASSERT_TRUE(parser);
  float fps = 0;
  parser->getfps(&fps);
  EXPECT_EQ(fps, 25.0f);
  for (const std::string* text :
       {&parser->description(), &parser->originator(), &parser->originatorReference(),
        &parser->creationdate(), &parser->creationtime(), &parser->getCodingHistory()}) {
    EXPECT_EQ(*text, "");
  }
  EXPECT_EQ(parser->samplePerSeconds(), 0u);
  EXPECT_EQ(parser->bitsPerSample(), 0);
  EXPECT_EQ(parser->channels(), 0);
  EXPECT_EQ(parser->getSamplesSinceMidnightLow(), 0u);
  EXPECT_EQ(parser->getSamplesSinceMidnightHigh(), 0u);
  EXPECT_EQ(parser->chunkFlags(), 0);
  EXPECT_TRUE(parser->getChunkDictionary().empty());
  EXPECT_EQ(parser->bwfChunk(), nullptr);
  EXPECT_EQ(parser->timecodeString(), "00:00:00:00");
  EXPECT_EQ(parser->getTicks(), 0);
}

TEST(BWFParser, KeepsTheGivenFrameRateExactly) {
  TempDir dir;
  auto parser = BWFParser::initWithPath(dir.write("a.wav", {}), 29.97f);
  ASSERT_TRUE(parser);
  float fps = 0;
  parser->getfps(&fps);
  EXPECT_EQ(fps, 29.97f);
}

TEST(BWFParser, GivesNullForWhatCannotBeOpened) {
  TempDir dir;
  for (const std::string& path : {dir.pathOf("missing.wav"), dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(BWFParser::initWithPath(path), nullptr);
    EXPECT_EQ(BWFParser::initWithPath(path, 30.0f), nullptr);
  }
}

TEST(BWFParser, EndianNessAnswersYesOnlyForFFIR) {
  const struct {
    Bytes start;
    bool reversed;
  } kCases[] = {{{'R', 'I', 'F', 'F', 0, 0}, false},
                {{'F', 'F', 'I', 'R', 0, 0}, true},
                {{'F', 'F', 'I', 'R'}, true},
                {{'F', 'F', 'I'}, false},
                {{}, false},
                {{'r', 'i', 'f', 'f'}, false}};
  TempDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.start.begin(), c.start.end()));
    auto parser = BWFParser::initWithPath(dir.write("e.wav", c.start));
    EXPECT_EQ(parser->endianNess(), c.reversed);
    EXPECT_EQ(parser->endianNess(), c.reversed);  // asking again reads from the start again
  }
}

TEST(BWFParser, ChunkDictionaryIsOneObjectThatParseFills) {
  TempDir dir;
  auto parser = BWFParser::initWithPath(dir.write("d.wav", RiffBuilder().riffHeader().bytes()));
  const auto& before = parser->getChunkDictionary();
  LogCapture quiet;
  EXPECT_EQ(parser->parse(), 0);
  EXPECT_EQ(&parser->getChunkDictionary(), &before);
  EXPECT_EQ(before.at("RIFF"), "Idx: 1 StartPoint: 0 Length: 12");
}

TEST(BWFParser, ParseRunsOnceAndClosesTheFile) {
  TempDir dir;
  BextFields f;
  f.description = "once";
  const std::string path = dir.write("p.wav", RiffBuilder().riffHeader().bext(f).bytes());
  auto parser = BWFParser::initWithPath(path);
  LogCapture log;
  EXPECT_EQ(parser->parse(), 0);
  const auto entries = parser->getChunkDictionary();
  // Whatever the file holds now, a second parse finds the handle closed and changes nothing.
  dir.write("p.wav", RiffBuilder().chunk("data", {}).bytes());
  EXPECT_EQ(parser->parse(), 0);
  EXPECT_EQ(parser->getChunkDictionary(), entries);
  EXPECT_EQ(parser->description(), "once");
  EXPECT_EQ(log.messages, std::vector<std::string>{"***Have RIFF\n"});
  EXPECT_FALSE(parser->endianNess());  // reads nothing from a closed handle
}

TEST(BWFParser, InfoParsesAndLogsTheTimecode) {
  TempDir dir;
  BextFields f;
  f.timeReference = 172810000;
  auto parser = BWFParser::initWithPath(
      dir.write("i.wav", RiffBuilder().riffHeader().fmt(1, 2, 48000, 24).bext(f).bytes()));
  LogCapture log;
  parser->info();
  ASSERT_FALSE(log.messages.empty());
  EXPECT_EQ(log.messages.back(), "01:00:00:05");
}

}  // namespace
}  // namespace bextkit::testsupport
