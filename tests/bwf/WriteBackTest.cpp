// Writing the broadcast extension back: the record's bytes, the time reference, the rewrite in
// place, the insertion after the RIFF header, and every case in which a save must refuse and
// leave the file as it was.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cmath>
#include <limits>

#include "WriteSupport.h"
#include "bwf/BWFChunk.h"

namespace bextkit::testsupport {
namespace {

class WriteBack : public testing::Test {
 protected:
  FixedClock clock;
  TempDir dir;

  // The file's bytes after a save that must be refused, with the reason checked.
  void expectRefused(BWFParser& parser, const std::string& path, const char* reasonPart) {
    const Bytes before = readWholeFile(path);
    const std::vector<std::string> entries = directoryEntries(dir.path());
    EXPECT_FALSE(parser.saveFile());
    EXPECT_NE(parser.lastError().find(path), std::string::npos) << parser.lastError();
    EXPECT_NE(parser.lastError().find(reasonPart), std::string::npos) << parser.lastError();
    EXPECT_EQ(readWholeFile(path), before);
    EXPECT_EQ(directoryEntries(dir.path()), entries) << "a temporary file was left behind";
  }
};

BextFields someFields(uint64_t timeReference = 172800000) {
  BextFields f;
  f.description = "Scene 12 take 3";
  f.originator = "Recorder";
  f.originatorReference = "REF-0001";
  f.originationDate = "2025-03-04";
  f.originationTime = "05:06:07";
  f.timeReference = timeReference;
  f.codingHistory = "A=PCM,F=48000,W=16,M=stereo\r\n";
  return f;
}

TEST_F(WriteBack, InsertionPutsANewChunkAfterTheRiffHeader) {
  const Bytes original = plainWave();
  const std::string path = dir.write("a.wav", original);
  auto parser = scanned(path);
  parser->setDescription("Ambience");
  parser->setOriginator("bextkit");
  parser->setTimeCodeHH(1, 0, 0, 0, 25);
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  EXPECT_EQ(parser->lastError(), "");

  const Bytes file = readWholeFile(path);
  const size_t n = original.size();
  ASSERT_EQ(file.size(), n + 866);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), Bytes({'R', 'I', 'F', 'F'}));
  EXPECT_EQ(loadLE32(file.data(), 4), n + 858);
  EXPECT_EQ(Bytes(file.begin() + 8, file.begin() + 12),
            Bytes(original.begin() + 8, original.begin() + 12));
  EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 20),
            Bytes({0x62, 0x65, 0x78, 0x74, 0x5A, 0x03, 0x00, 0x00}));
  EXPECT_EQ(Bytes(file.begin() + 876, file.begin() + 878), Bytes({0, 0}));
  EXPECT_EQ(Bytes(file.begin() + 878, file.end()), Bytes(original.begin() + 12, original.end()));
  EXPECT_EQ(chunkList(file), (std::vector<std::string>{"bext", "fmt ", "data"}));

  auto reread = scanned(path);
  EXPECT_EQ(reread->description(), "Ambience");
  EXPECT_EQ(reread->originator(), "bextkit");
  EXPECT_EQ(reread->originatorReference(), "");
  EXPECT_EQ(reread->creationdate(), "2026-12-06");
  EXPECT_EQ(reread->creationtime(), "21:00:05");
  EXPECT_EQ(reread->getSamplesSinceMidnightLow(), 172800000u);
  EXPECT_EQ(reread->getSamplesSinceMidnightHigh(), 0u);
  EXPECT_EQ(reread->getCodingHistory(), "A=PCM");
  EXPECT_EQ(reread->timecodeString(), "01:00:00:00");
}

TEST_F(WriteBack, AnInsertionReportsItsProgressUpToTheWhole) {
  const Bytes original = plainWave(ByteOrder::kNormal, 48000, 3 << 20);
  const std::string path = dir.write("p.wav", original);
  auto parser = scanned(path);
  std::vector<std::pair<uint64_t, uint64_t>> heard;
  parser->setSaveProgress(
      [&heard](uint64_t done, uint64_t total) { heard.emplace_back(done, total); });
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  ASSERT_FALSE(heard.empty());
  for (size_t i = 1; i < heard.size(); ++i) EXPECT_GT(heard[i].first, heard[i - 1].first);
  EXPECT_EQ(heard.back(),
            std::make_pair(uint64_t{original.size() - 12}, uint64_t{original.size() - 12}));
}

TEST_F(WriteBack, ASecondSaveRewritesTheInsertedChunk) {
  const Bytes original = plainWave();
  const std::string path = dir.write("a.wav", original);
  auto parser = scanned(path);
  parser->setDescription("first");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  parser->setDescription("second");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();

  const Bytes file = readWholeFile(path);
  EXPECT_EQ(file.size(), original.size() + 866);
  EXPECT_EQ(chunkList(file), (std::vector<std::string>{"bext", "fmt ", "data"}));
  EXPECT_EQ(scanned(path)->description(), "second");
  EXPECT_EQ(Bytes(file.begin() + 878, file.end()), Bytes(original.begin() + 12, original.end()));
}

TEST_F(WriteBack, TimeReferenceFromTheTimecode) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  const struct {
    int32_t hh, mm, ss, ff;
    float fps;
    uint32_t sampleRate;
    uint32_t expected;
  } kCases[] = {
      {1, 0, 0, 0, 25, 48000, 172800000},
      {0, 0, 0, 1, 25, 48000, 1920},
      {0, 0, 0, 1, 29.97f, 48000, 1602},
      // The double sum lies just above the exact value; rounding up keeps the excess.
      {23, 59, 59, 24, 25, 48000, 4147198081u},
      {13, 0, 0, 0, 25, 96000, 4294967295u},  // past 32 bits: the largest value
      {12, 25, 39, 0, 25, 96000, 4294944000u},
      {0, 0, 0, 0, 25, 48000, 0},
      {-1, 0, 0, 0, 25, 48000, 0},   // before midnight: 0
      {0, 0, 0, 5, 0.0f, 48000, 0},  // no frame rate: 0
      {0, 0, 0, 5, kNaN, 48000, 0},
      {2147483647, 0, 0, 0, 25, 48000, 0},  // 3600 x hours wraps to a negative time
      {0, 0, 10, 0, 23.976f, 44100, 441000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.hh << ":" << c.mm << ":" << c.ss << ":" << c.ff << " @"
                                    << c.fps << " " << c.sampleRate);
    auto parser = scanned(dir.write("t.wav", plainWave(ByteOrder::kNormal, c.sampleRate)), c.fps);
    parser->setTimeCodeHH(c.hh, c.mm, c.ss, c.ff, 0);
    const std::vector<uint8_t> record = parser->getBWFChunkData();
    ASSERT_EQ(record.size(), 864u);
    EXPECT_EQ(loadLE32(record.data(), BWFChunk::kTimeReferenceLow.offset), c.expected);
    EXPECT_EQ(loadLE32(record.data(), BWFChunk::kTimeReferenceHigh.offset), 0u);
  }
  auto parser = scanned(dir.write("t.wav", plainWave()));
  parser->setTimeCodeHH(1, 0, 0, 0, 25);
  const std::vector<uint8_t> record = parser->getBWFChunkData();
  EXPECT_EQ(Bytes(record.begin() + 346, record.begin() + 354),
            Bytes({0x00, 0xB8, 0x4C, 0x0A, 0, 0, 0, 0}));
}

TEST_F(WriteBack, ASaveWithoutEditsMovesTheReferenceToItsFramesStart) {
  const struct {
    uint64_t before;
    uint32_t after;
  } kCases[] = {{1000000, 1000320}, {172800000, 172800000}, {(uint64_t{7} << 32) | 1920, 1920}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.before);
    const std::string path = dir.write("s.wav", bextWave(someFields(c.before)));
    auto parser = scanned(path);
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    auto reread = scanned(path);
    EXPECT_EQ(reread->getSamplesSinceMidnightLow(), c.after);
    EXPECT_EQ(reread->getSamplesSinceMidnightHigh(), c.before >> 32) << "the high half is kept";
  }
}

TEST_F(WriteBack, RewriteChangesOnlyTheEditedFields) {
  BextFields fields = someFields();
  fields.payloadSize = 602;  // no coding history, as some writers make it
  const Bytes original = bextWave(fields);
  const std::string path = dir.write("r.wav", original);
  auto parser = scanned(path);
  parser->setDescription("new");
  parser->setOriginator("me");
  parser->setTimeCodeHH(2, 0, 0, 0, 25);
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();

  const Bytes file = readWholeFile(path);
  ASSERT_EQ(file.size(), original.size());
  for (size_t i = 0; i < file.size(); ++i) {
    const size_t r = i - 12;  // offset in the record
    const bool edited = i >= 12 && ((r >= 8 && r < 296) || (r >= 346 && r < 350));
    if (!edited) {
      ASSERT_EQ(file[i], original[i]) << "byte " << i;
    }
  }
  auto reread = scanned(path);
  EXPECT_EQ(reread->description(), "new");
  EXPECT_EQ(reread->originator(), "me");
  EXPECT_EQ(reread->getSamplesSinceMidnightLow(), 345600000u);
  EXPECT_EQ(reread->originatorReference(), "REF-0001");
  EXPECT_EQ(reread->creationdate(), "2025-03-04");
  EXPECT_EQ(reread->creationtime(), "05:06:07");
  EXPECT_EQ(reread->getCodingHistory(), "None");
}

TEST_F(WriteBack, RewriteOfALongChunkWritesAtMost864Bytes) {
  BextFields fields = someFields();
  fields.payloadSize = 1000;
  fields.codingHistory = std::string(390, 'h');  // reaches past the record
  const Bytes original = bextWave(fields);
  const std::string path = dir.write("l.wav", original);
  auto parser = scanned(path);
  parser->setDescription("x");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  const Bytes file = readWholeFile(path);
  EXPECT_EQ(Bytes(file.begin() + 876, file.end()), Bytes(original.begin() + 876, original.end()));
  EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 20),
            Bytes(original.begin() + 12, original.begin() + 20));
  EXPECT_EQ(file[20], 'x');
  EXPECT_EQ(file[21], 0);
}

TEST_F(WriteBack, TheRecordStartsFromDefaultsOrFromTheChunkImage) {
  auto fresh = scanned(dir.write("n.wav", plainWave()));
  fresh->setDescription("");
  const std::vector<uint8_t> record = fresh->getBWFChunkData();
  ASSERT_EQ(record.size(), 864u);
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 8),
            Bytes({0x62, 0x65, 0x78, 0x74, 0x5A, 0x03, 0x00, 0x00}));
  // An empty description leaves the default's second byte behind its NUL.
  EXPECT_EQ(record[8], 0x00);
  EXPECT_EQ(record[9], 0x0D);
  EXPECT_EQ(Bytes(record.begin() + 10, record.begin() + 264), Bytes(254, 0));
  EXPECT_EQ(std::string(record.begin() + 328, record.begin() + 346), "2026-12-0621:00:05");
  EXPECT_EQ(std::string(record.begin() + 610, record.begin() + 615), "A=PCM");
  EXPECT_EQ(Bytes(record.begin() + 615, record.end()), Bytes(249, 0));
  EXPECT_EQ(Bytes(record.begin() + 354, record.begin() + 610), Bytes(256, 0))
      << "Version, UMID and Reserved are zero";

  BextFields fields = someFields();
  fields.payloadSize = 602;
  auto fromImage = scanned(dir.write("i.wav", bextWave(fields)));
  EXPECT_EQ(fromImage->getBWFChunkData().size(), 602u);
}

TEST_F(WriteBack, TextsFillTheirFieldsOrAreRefused) {
  const std::string path = dir.write("t.wav", bextWave(someFields()));
  {
    auto parser = scanned(path);
    parser->setDescription(std::string(256, 'd'));
    parser->setOriginator(std::string(32, 'o'));
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    auto reread = scanned(path);
    EXPECT_EQ(reread->description(), std::string(256, 'd'));
    EXPECT_EQ(reread->originator(), std::string(32, 'o'));
    EXPECT_EQ(reread->originatorReference(), "REF-0001") << "a full field runs into no other";
  }
  const struct {
    std::string description, originator;
    const char* reason;
  } kTooLong[] = {{std::string(257, 'd'), "o", "description is 257 bytes"},
                  {"d", std::string(33, 'o'), "originator is 33 bytes"}};
  for (const auto& c : kTooLong) {
    SCOPED_TRACE(c.reason);
    auto parser = scanned(path);
    parser->setDescription(c.description);
    parser->setOriginator(c.originator);
    expectRefused(*parser, path, c.reason);
  }
}

TEST_F(WriteBack, AChunkAfterTheFormatIsRewrittenWhereItLies) {
  const Bytes original = RiffBuilder()
                             .riffHeader()
                             .fmt(1, 2, 48000, 24)
                             .bext(someFields())
                             .chunk("data", audioBytes(3000))
                             .bytes();
  const std::string path = dir.write("f.wav", original);
  auto parser = scanned(path);
  parser->setDescription("moved nowhere");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  const Bytes file = readWholeFile(path);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 36), Bytes(original.begin(), original.begin() + 36))
      << "the header and the format chunk are untouched";
  EXPECT_EQ(chunkList(file), (std::vector<std::string>{"fmt ", "bext", "data"}));
  EXPECT_EQ(scanned(path)->description(), "moved nowhere");
  EXPECT_EQ(Bytes(file.end() - 3000, file.end()), audioBytes(3000));
}

TEST_F(WriteBack, RefusesWhatItCannotWriteSafely) {
  // The word "bext" and a plausible size inside a LIST/INFO comment look like a chunk to the scan.
  Bytes comment = {'I', 'C', 'M', 'T', 40, 0, 0, 0, 'b', 'e', 'x', 't', 40, 0, 0, 0};
  comment.resize(48, 'c');
  const Bytes inList = RiffBuilder()
                           .riffHeader()
                           .fmt(1, 2, 48000, 16)
                           .chunk("LIST", comment)
                           .chunk("data", audioBytes(2000))
                           .bytes();
  Bytes junkFirst = plainWave();
  junkFirst.insert(junkFirst.begin(), {'A', 'B', 'C', 'D'});  // RIFF no longer at offset 0
  const struct {
    const char* name;
    Bytes bytes;
    bool parse;
    const char* reason;
  } kCases[] = {
      {"bext inside a LIST comment", inList, true, "not a chunk of the file's chunk list"},
      {"not scanned", plainWave(), false, "has not been scanned"},
      {"neither RIFF nor bext", audioBytes(3000), true, "not a RIFF file"},
      {"RIFF not at the start", junkFirst, true, "does not begin with a RIFF header"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write("x.wav", c.bytes);
    std::unique_ptr<BWFParser> parser = c.parse ? scanned(path) : BWFParser::initWithPath(path);
    parser->setDescription("changed");
    expectRefused(*parser, path, c.reason);
  }
}

TEST_F(WriteBack, AFailureToOpenIsReportedAndNothingChanges) {
  const std::string path = dir.write("gone.wav", plainWave());
  auto missing = scanned(path);
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_FALSE(missing->saveFile());
  EXPECT_NE(missing->lastError().find(path), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path));

  const std::string withChunk = dir.write("b.wav", bextWave(someFields()));
  auto parser = scanned(withChunk);
  EXPECT_FALSE(parser->writeBExtHeaderToFile(dir.path()));
  EXPECT_NE(parser->lastError().find("directory"), std::string::npos) << parser->lastError();
}

TEST_F(WriteBack, AReversedFileKeepsItsByteOrder) {
  const Bytes original = plainWave(ByteOrder::kReversed);
  const std::string path = dir.write("rev.wav", original);
  auto parser = scanned(path);
  parser->setDescription("reversed");
  parser->setTimeCodeHH(1, 0, 0, 0, 25);
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  const Bytes file = readWholeFile(path);
  ASSERT_EQ(file.size(), original.size() + 866);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), Bytes({'F', 'F', 'I', 'R'}));
  EXPECT_EQ(loadBE32(file.data(), 4), original.size() + 858);
  EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 20),
            Bytes({'t', 'x', 'e', 'b', 0x00, 0x00, 0x03, 0x5A}));
  EXPECT_EQ(chunkList(file, true), (std::vector<std::string>{"bext", "fmt ", "data"}));

  auto reread = scanned(path);
  EXPECT_TRUE(reread->chunkFlags() & kBWFFlagBext);
  EXPECT_EQ(reread->description(), "reversed");
  EXPECT_EQ(reread->getSamplesSinceMidnightLow(), 172800000u);
  reread->setOriginator("again");
  ASSERT_TRUE(reread->saveFile()) << reread->lastError();
  EXPECT_EQ(readWholeFile(path).size(), file.size());
  EXPECT_EQ(scanned(path)->originator(), "again");
}

TEST_F(WriteBack, WithoutASampleRateTheTimeReferenceIsKept) {
  // A mu-law file: its format gives no sample rate to turn a timecode into samples.
  const std::string path = dir.write("mulaw.wav", RiffBuilder()
                                                      .riffHeader()
                                                      .bext(someFields(1234567))
                                                      .fmt(7, 1, 8000, 8)
                                                      .chunk("data", audioBytes(800))
                                                      .bytes());
  auto parser = scanned(path);
  ASSERT_EQ(parser->samplePerSeconds(), 0u);
  parser->setDescription("still there");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  EXPECT_EQ(scanned(path)->getSamplesSinceMidnightLow(), 1234567u);
}

TEST_F(WriteBack, AnInsertionPastFourGigabytesIsRefused) {
  // A sparse file: no disk space is used for its data.
  Bytes start = RiffBuilder().riffHeader().fmt(1, 2, 48000, 16).bytes();
  const uint64_t size = (uint64_t{1} << 32) - 865;
  const uint32_t dataSize = static_cast<uint32_t>(size - start.size() - 8);
  start.insert(start.end(), {'d', 'a', 't', 'a'});
  for (int i = 0; i < 4; ++i) start.push_back(static_cast<uint8_t>(dataSize >> (8 * i)));
  const std::string path = dir.write("big.wav", start);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
  auto parser = scanned(path);
  const std::vector<std::string> entries = directoryEntries(dir.path());
  EXPECT_FALSE(parser->saveFile());
  EXPECT_NE(parser->lastError().find("4 GiB"), std::string::npos) << parser->lastError();
  EXPECT_EQ(std::filesystem::file_size(path), size);
  EXPECT_EQ(directoryEntries(dir.path()), entries);
}

TEST_F(WriteBack, HardLinksAreNeverSplit) {
  const std::string path = dir.write("linked.wav", plainWave());
  const std::string other = dir.pathOf("other-name.wav");
  ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
  auto parser = scanned(path);
  parser->setDescription("insert");
  expectRefused(*parser, path, "hard links");

  // A rewrite stays in the one file that both names share.
  const std::string chunked = dir.write("linked-bext.wav", bextWave(someFields()));
  const std::string alias = dir.pathOf("alias.wav");
  ASSERT_EQ(::link(chunked.c_str(), alias.c_str()), 0);
  auto rewriting = scanned(chunked);
  rewriting->setDescription("seen by both");
  ASSERT_TRUE(rewriting->saveFile()) << rewriting->lastError();
  EXPECT_EQ(scanned(alias)->description(), "seen by both");
  struct stat info;
  ASSERT_EQ(::stat(chunked.c_str(), &info), 0);
  EXPECT_EQ(info.st_nlink, 2u);
}

TEST_F(WriteBack, InsertionKeepsLinksPermissionsAndAttributes) {
  const std::string target = dir.write("target.wav", plainWave());
  const std::string link = dir.pathOf("link.wav");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const std::string code = "WAVEbext";
  const bool haveAttributes =
      ::setxattr(target.c_str(), "user.bextkit.test", code.data(), code.size(), 0) == 0;

  auto parser = scanned(link);
  parser->setDescription("through a link");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();

  struct stat info;
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(scanned(target)->description(), "through a link");
  if (haveAttributes) {
    char value[32] = {};
    const ssize_t n = ::getxattr(target.c_str(), "user.bextkit.test", value, sizeof value);
    EXPECT_EQ(std::string(value, n > 0 ? static_cast<size_t>(n) : 0), code);
  }
  EXPECT_EQ(directoryEntries(dir.path()), (std::vector<std::string>{"link.wav", "target.wav"}));
}

}  // namespace
}  // namespace bextkit::testsupport
