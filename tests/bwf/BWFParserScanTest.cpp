// The chunk scan on small files built byte by byte: directory entries, flags and messages,
// format and broadcast extension fields, both byte orders, and the timecode derived at its end.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ScanTestSupport.h"

namespace bextkit::testsupport {
namespace {

constexpr ByteOrder kBothOrders[] = {ByteOrder::kNormal, ByteOrder::kReversed};
const char* orderName(ByteOrder order) {
  return order == ByteOrder::kNormal ? "normal" : "reversed";
}

constexpr uint16_t kRiffFmtBextData = kBWFFlagRIFF | kBWFFlagFmt | kBWFFlagBext | kBWFFlagData;
const std::string kHaveRiff = "***Have RIFF\n", kPcm = "***WAVE_FORMAT_PCM\n";

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// RIFF (12) + fmt (24) + bext (866) + data (104): the basic Broadcast Wave layout.
RiffBuilder& basicFile(RiffBuilder& b, uint32_t timeReference = 172801000) {
  BextFields bext;
  bext.timeReference = timeReference;
  return b.riffHeader().fmt(1, 2, 48000, 24).bext(bext).chunk("data", Bytes(96, 0x11));
}

struct DirectoryCase {
  const char* name;
  Bytes (*build)(ByteOrder);
  std::map<std::string, std::string> directory;
  uint16_t flags;
  std::vector<std::string> messages;
};

const DirectoryCase kDirectoryCases[] = {
    {"basic layout",
     [](ByteOrder o) {
       RiffBuilder b(o);
       return basicFile(b).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"fmt ", "Idx: 2 StartPoint: 12 Length: 24"},
      {"bext", "Idx: 3 StartPoint: 36 Length: 866"},
      {"data", "Idx: 4 StartPoint: 902 Length: 104"}},
     kRiffFmtBextData,
     {kHaveRiff, kPcm}},
    {"odd data chunk: its pad byte counts",
     [](ByteOrder o) {
       return RiffBuilder(o)
           .riffHeader()
           .chunk("data", Bytes(5, 1))
           .chunk("JUNK", Bytes(4))
           .bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"data", "Idx: 2 StartPoint: 12 Length: 14"},
      {"JUNK", "Idx: 3 StartPoint: 26 Length: 12"}},
     kBWFFlagRIFF | kBWFFlagData,
     {kHaveRiff}},
    {"40-byte format chunk of another tag: fixed jump, rest stepped over",
     [](ByteOrder o) {
       Bytes fmt = fmtPayload(o, 2, 2, 48000, 4);
       fmt.resize(40, 0x22);
       return RiffBuilder(o).riffHeader().chunk("fmt ", fmt).chunk("data", Bytes(2)).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"fmt ", "Idx: 2 StartPoint: 12 Length: 48"},
      {"data", "Idx: 3 StartPoint: 60 Length: 10"}},
     kBWFFlagRIFF | kBWFFlagFmt | kBWFFlagData,
     {kHaveRiff}},
    {"mu-law jumps 26 bytes, over the next chunk's ID",
     [](ByteOrder o) {
       return RiffBuilder(o).riffHeader().fmt(7, 1, 8000, 8).chunk("data", Bytes(4)).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"}, {"fmt ", "Idx: 2 StartPoint: 12 Length: 36"}},
     kBWFFlagRIFF | kBWFFlagFmt,
     {kHaveRiff, "***WAVE_FORMAT_MULAW\n", "***IBM_FORMAT_MULAW\n"}},
    {"IBM mu-law",
     [](ByteOrder o) {
       Bytes fmt = fmtPayload(o, 257, 1, 8000, 8);
       fmt.resize(18, 0);
       return RiffBuilder(o).riffHeader().chunk("fmt ", fmt).chunk("data", Bytes(4)).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"fmt ", "Idx: 2 StartPoint: 12 Length: 26"},
      {"data", "Idx: 3 StartPoint: 38 Length: 12"}},
     kBWFFlagRIFF | kBWFFlagFmt | kBWFFlagData,
     {kHaveRiff, "***IBM_FORMAT_MULAW\n"}},
    {"no listed ID: one entry under the empty key",
     [](ByteOrder) { return text("abcdefghij"); },
     {{"", "Idx: 1 StartPoint: 0 Length: 10"}},
     0,
     {}},
    {"empty file: the first step still runs",
     [](ByteOrder) { return Bytes{}; },
     {{"", "Idx: 1 StartPoint: 0 Length: 1"}},
     0,
     {}},
    {"1-byte file",
     [](ByteOrder) { return text("R"); },
     {{"", "Idx: 1 StartPoint: 0 Length: 1"}},
     0,
     {}},
    {"3-byte file holding most of an ID",
     [](ByteOrder) { return text("RIF"); },
     {{"", "Idx: 1 StartPoint: 0 Length: 3"}},
     0,
     {}},
    {"unlisted bytes before the first chunk count for a chunk that adds, not one that sets",
     [](ByteOrder o) { return RiffBuilder(o).raw(text("xyz")).fmt(3, 1, 44100, 32).bytes(); },
     {{"fmt ", "Idx: 1 StartPoint: 3 Length: 27"}},
     kBWFFlagFmt,
     {}},
    {"listed ID inside an unlisted chunk is taken for a chunk",
     [](ByteOrder o) {
       RiffBuilder inner(o);
       inner.raw(text("INFOab")).chunk("note", Bytes{'h', 'i'});
       return RiffBuilder(o).riffHeader().chunk("LIST", inner.bytes()).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 26"}, {"note", "Idx: 2 StartPoint: 26 Length: 10"}},
     kBWFFlagRIFF,
     {kHaveRiff}},
    {"iXML adds its size and flag, slnt and cue log, adtl jumps 32",
     [](ByteOrder o) {
       return RiffBuilder(o)
           .riffHeader()
           .chunk("iXML", text("<BWFXML/>"))
           .chunk("slnt", Bytes(4))
           .chunk("cue ", Bytes(4))
           .id("adtl")
           .raw(Bytes(40, '.'))
           .bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"iXML", "Idx: 2 StartPoint: 12 Length: 18"},
      {"slnt", "Idx: 3 StartPoint: 30 Length: 12"},
      {"cue ", "Idx: 4 StartPoint: 42 Length: 12"},
      {"adtl", "Idx: 5 StartPoint: 54 Length: 44"}},
     kBWFFlagRIFF | kBWFFlagIXML,
     {kHaveRiff, "iXML Chunk\n", "***SilenceID\n", "***CueID\n"}},
    {"WAVE met on its own jumps by its size",
     [](ByteOrder o) {
       return RiffBuilder(o).riffHeader().chunk("WAVE", Bytes(6)).chunk("data", {}).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"WAVE", "Idx: 2 StartPoint: 12 Length: 14"},
      {"data", "Idx: 3 StartPoint: 26 Length: 8"}},
     kBWFFlagRIFF | kBWFFlagData,
     {kHaveRiff}},
    {"zero-sized chunk: the scan moves on by one byte",
     [](ByteOrder o) {
       return RiffBuilder(o).riffHeader().chunk("JUNK", {}).chunk("data", Bytes(2)).bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"JUNK", "Idx: 2 StartPoint: 12 Length: 8"},
      {"data", "Idx: 3 StartPoint: 20 Length: 10"}},
     kBWFFlagRIFF | kBWFFlagData,
     {kHaveRiff}},
    {"a jump past 2^32 ends the scan",
     [](ByteOrder o) {
       return RiffBuilder(o)
           .riffHeader()
           .chunkDeclaring("JUNK", 0xFFFFFFFF, Bytes(4))
           .chunk("data", Bytes(4))
           .bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"JUNK", "Idx: 2 StartPoint: 12 Length: 4294967295"}},
     kBWFFlagRIFF,
     {kHaveRiff}},
    {"a data jump of exactly 2^32 ends the scan",
     [](ByteOrder o) {
       return RiffBuilder(o)
           .riffHeader()
           .chunkDeclaring("data", 0xFFFFFFF8, Bytes(4))
           .chunk("JUNK", Bytes(4))
           .bytes();
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 12"},
      {"data", "Idx: 2 StartPoint: 12 Length: 4294967296"}},
     kBWFFlagRIFF | kBWFFlagData,
     {kHaveRiff}},
    {"listed ID in the last four bytes: its size reads as zero",
     [](ByteOrder o) { return RiffBuilder(o).riffHeader().raw(text("xx")).id("data").bytes(); },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 14"}, {"data", "Idx: 2 StartPoint: 14 Length: 8"}},
     kBWFFlagRIFF | kBWFFlagData,
     {kHaveRiff}},
    {"three bytes of an ID at the end are not an ID",
     [](ByteOrder o) {
       Bytes file = RiffBuilder(o).riffHeader().raw(text("xx")).id("data").bytes();
       file.pop_back();
       return file;
     },
     {{"RIFF", "Idx: 1 StartPoint: 0 Length: 17"}},
     kBWFFlagRIFF,
     {kHaveRiff}},
};

TEST(BWFParserScan, DirectoryFlagsAndMessages) {
  TempDir dir;
  for (const DirectoryCase& c : kDirectoryCases) {
    for (const ByteOrder order : kBothOrders) {
      SCOPED_TRACE(std::string(c.name) + ", " + orderName(order));
      const Bytes file = c.build(order);
      // Only a file that begins "FFIR" is read as reversed.
      if (order == ByteOrder::kReversed && (file.size() < 4 || file[0] != 'F')) continue;
      const Parsed parsed = parseBytes(dir, file);
      ASSERT_TRUE(parsed.parser);
      EXPECT_EQ(parsed.parser->getChunkDictionary(), c.directory);
      EXPECT_EQ(parsed.parser->chunkFlags(), c.flags);
      EXPECT_EQ(parsed.messages, c.messages);
    }
  }
}

TEST(BWFParserScan, EntryIndexIsASigned8BitCounter) {
  // 127 "labl" chunks, then "note" as the 128th listed chunk and "data" as the 129th.
  RiffBuilder b;
  for (int i = 0; i < 127; ++i) b.chunk("labl", {});
  b.chunk("note", Bytes(8)).chunk("data", Bytes(8));
  TempDir dir;
  const Parsed parsed = parseBytes(dir, b.bytes());
  const auto& entries = parsed.parser->getChunkDictionary();
  EXPECT_EQ(entries.at("labl"), "Idx: 127 StartPoint: 1008 Length: 8");
  EXPECT_EQ(entries.at("note"), "Idx: -128 StartPoint: 1016 Length: 16");
  EXPECT_EQ(entries.at("data"), "Idx: -127 StartPoint: 1032 Length: 16");
}

struct FormatCase {
  const char* name;
  uint16_t tag;
  uint16_t subFormat;  // used when tag is 0xFFFE
  uint32_t rate;
  uint32_t expectedRate;
  int32_t expectedBits, expectedChannels;
};

const FormatCase kFormatCases[] = {
    {"PCM", 1, 0, 48000, 48000, 24, 2},
    {"PCM at 30464 Hz means 96 kHz", 1, 0, 30464, 96000, 24, 2},
    {"IEEE float", 3, 0, 44100, 44100, 24, 2},
    {"extensible PCM", 0xFFFE, 1, 96000, 96000, 24, 2},
    {"extensible float at 30464 Hz", 0xFFFE, 3, 30464, 96000, 24, 2},
    {"extensible of another kind", 0xFFFE, 2, 48000, 0, 0, 0},
    {"mu-law", 7, 0, 8000, 0, 0, 0},
    {"ADPCM", 2, 0, 48000, 0, 0, 0},
};

TEST(BWFParserScan, FormatFieldsComeFromLinearAudioOnly) {
  TempDir dir;
  for (const FormatCase& c : kFormatCases) {
    for (const ByteOrder order : kBothOrders) {
      SCOPED_TRACE(std::string(c.name) + ", " + orderName(order));
      RiffBuilder b(order);
      b.riffHeader();
      if (c.tag == 0xFFFE) {
        b.fmtExtensible(2, c.rate, 24, c.subFormat);
      } else {
        b.fmt(c.tag, 2, c.rate, 24);
      }
      const Parsed parsed = parseBytes(dir, b.chunk("data", Bytes(4)).bytes());
      EXPECT_EQ(parsed.parser->samplePerSeconds(), c.expectedRate);
      EXPECT_EQ(parsed.parser->bitsPerSample(), c.expectedBits);
      EXPECT_EQ(parsed.parser->channels(), c.expectedChannels);
      EXPECT_TRUE(parsed.parser->chunkFlags() & kBWFFlagFmt);
      // Only tag 1 announces PCM; every linear format still jumps 24 bytes.
      const bool pcmMessage =
          std::find(parsed.messages.begin(), parsed.messages.end(), kPcm) != parsed.messages.end();
      EXPECT_EQ(pcmMessage, c.tag == 1);
      if (c.tag != 7) {
        EXPECT_TRUE(parsed.parser->chunkFlags() & kBWFFlagData);
      }
    }
  }
}

TEST(BWFParserScan, CountsAreSignedInANormalFileAndUnsignedInAReversedOne) {
  TempDir dir;
  for (const ByteOrder order : kBothOrders) {
    SCOPED_TRACE(orderName(order));
    const Parsed parsed =
        parseBytes(dir, RiffBuilder(order).riffHeader().fmt(1, 0xFFFF, 8000, 0xFFF0).bytes());
    const bool normal = order == ByteOrder::kNormal;
    EXPECT_EQ(parsed.parser->channels(), normal ? -1 : 65535);
    EXPECT_EQ(parsed.parser->bitsPerSample(), normal ? -16 : 65520);
  }
}

TEST(BWFParserScan, LaterFormatChunkOfAnotherTagKeepsTheFields) {
  TempDir dir;
  const Parsed parsed =
      parseBytes(dir, RiffBuilder().fmt(1, 2, 48000, 24).fmt(2, 1, 8000, 4).bytes());
  EXPECT_EQ(parsed.parser->samplePerSeconds(), 48000u);
  EXPECT_EQ(parsed.parser->channels(), 2);
}

TEST(BWFParserScan, BextFieldsAreTheFieldBytesUnchanged) {
  BextFields f;
  f.description = std::string(256, 'D');  // fills its field: no NUL before Originator
  f.originator = std::string(32, 'O');
  f.originatorReference = "caf\xC3\xA9 \xE9\xFF";  // UTF-8, Latin-1 and a stray byte alike
  f.originationDate = "2024-05-06";
  f.originationTime = "07:08:09";
  f.timeReference = (uint64_t{3} << 32) | 172801000;
  f.codingHistory = "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n";
  TempDir dir;
  for (const ByteOrder order : kBothOrders) {
    SCOPED_TRACE(orderName(order));
    const Parsed parsed = parseBytes(dir, RiffBuilder(order).riffHeader().bext(f).bytes());
    const BWFParser& p = *parsed.parser;
    EXPECT_EQ(p.description(), f.description);
    EXPECT_EQ(p.originator(), f.originator);
    EXPECT_EQ(p.originatorReference(), f.originatorReference);
    EXPECT_EQ(p.creationdate(), f.originationDate);
    EXPECT_EQ(p.creationtime(), f.originationTime);
    EXPECT_EQ(p.getSamplesSinceMidnightLow(), 172801000u);
    EXPECT_EQ(p.getSamplesSinceMidnightHigh(), 3u);
    EXPECT_EQ(p.getCodingHistory(), f.codingHistory);
    EXPECT_EQ(p.chunkFlags(), kBWFFlagRIFF | kBWFFlagBext);
  }
}

struct CodingHistoryCase {
  const char* name;
  Bytes field;  // the first bytes of CodingHistory
  std::string expected;
};

const CodingHistoryCase kCodingHistoryCases[] = {
    {"two zero bytes", {0, 0, 'A'}, "None"},
    {"two 0xFF bytes", {0xFF, 0xFF, 'A'}, "None"},
    {"one 0xFF byte",
     {0xFF, 'A', 0},
     "\xFF"
     "A"},
    {"zero then text", {0, 'A'}, ""},
    {"ASCII text", {'A', '=', 'P', 'C', 'M', 0, 'x'}, "A=PCM"},
    {"longer than its 254 bytes", Bytes(256, 'h'), std::string(254, 'h')},
};

TEST(BWFParserScan, CodingHistoryIsEightBitTextOrNone) {
  TempDir dir;
  for (const CodingHistoryCase& c : kCodingHistoryCases) {
    SCOPED_TRACE(c.name);
    Bytes payload = bextPayload({});
    std::copy(c.field.begin(), c.field.end(), payload.begin() + 602);
    payload.push_back('z');  // a chunk longer than the record keeps no more of its history
    const Parsed parsed = parseBytes(dir, RiffBuilder().chunk("bext", payload).bytes());
    EXPECT_EQ(parsed.parser->getCodingHistory(), c.expected);
  }
}

TEST(BWFParserScan, FieldsComeOnlyFromBytesInsideTheChunk) {
  TempDir dir;
  BextFields f;
  f.description = "a long description";
  f.timeReference = 172800000;
  f.codingHistory = "A=PCM";
  {
    SCOPED_TRACE("602-byte chunk without coding history, followed by a chunk");
    f.payloadSize = 602;
    const Bytes file = RiffBuilder().bext(f).chunk("data", Bytes(4)).bytes();
    const Parsed parsed = parseBytes(dir, file);
    EXPECT_EQ(parsed.parser->getCodingHistory(), "None");
    EXPECT_EQ(parsed.parser->description(), f.description);
    // The image still holds the bytes that follow the chunk.
    ASSERT_TRUE(parsed.parser->bwfChunk());
    EXPECT_EQ(parsed.parser->bwfChunk()->text(BWFChunk::kCodingHistory).substr(0, 4), "data");
    EXPECT_EQ(parsed.parser->getChunkDictionary().at("data"), "Idx: 2 StartPoint: 610 Length: 12");
  }
  {
    SCOPED_TRACE("chunk of 10 bytes: the rest of the record is not its own");
    const Bytes file = RiffBuilder().chunkDeclaring("bext", 10, bextPayload(f)).bytes();
    const Parsed parsed = parseBytes(dir, file);
    EXPECT_EQ(parsed.parser->description(), "a long des");
    EXPECT_EQ(parsed.parser->getSamplesSinceMidnightLow(), 0u);
    EXPECT_EQ(parsed.parser->getCodingHistory(), "None");
    EXPECT_EQ(parsed.parser->bwfChunk()->load32(BWFChunk::kTimeReferenceLow), 172800000u);
  }
  {
    SCOPED_TRACE("chunk cut by the end of the file: missing bytes read as zero");
    f.timeReference = 0x0A4CB801;
    Bytes file = RiffBuilder().bext(f).bytes();
    file.resize(BWFChunk::kTimeReferenceLow.offset + 1);  // one byte of the time reference
    const Parsed parsed = parseBytes(dir, file);
    EXPECT_EQ(parsed.parser->description(), f.description);
    EXPECT_EQ(parsed.parser->getSamplesSinceMidnightLow(), 1u);
    EXPECT_EQ(parsed.parser->getCodingHistory(), "None");
    const BWFChunk& image = *parsed.parser->bwfChunk();
    EXPECT_TRUE(std::all_of(image.bytes.begin() + 347, image.bytes.end(),
                            [](uint8_t b) { return b == 0; }));
  }
}

TEST(BWFParserScan, SecondBextChunkIsListedButNotRead) {
  BextFields first, second;
  first.description = "first";
  first.timeReference = 48000;
  second.description = "second";
  second.timeReference = 96000;
  TempDir dir;
  const Parsed parsed = parseBytes(dir, RiffBuilder().bext(first).bext(second).bytes());
  EXPECT_EQ(parsed.parser->description(), "first");
  EXPECT_EQ(parsed.parser->getSamplesSinceMidnightLow(), 48000u);
  EXPECT_EQ(parsed.parser->bwfChunk()->text(BWFChunk::kDescription), "first");
  EXPECT_EQ(parsed.parser->getChunkDictionary().at("bext"), "Idx: 2 StartPoint: 866 Length: 866");
}

TEST(BWFParserScan, ScanWindowHoldsTheLastStepsBytes) {
  TempDir dir;
  RiffBuilder b;
  const Bytes file = basicFile(b).bytes();
  Parsed parsed = parseBytes(dir, file);
  // The last step read at the data chunk, 104 bytes before the end.
  EXPECT_EQ(parsed.parser->scanWindow(), Bytes(file.begin() + 902, file.end()));

  const Bytes noise = text("no chunk here");
  parsed = parseBytes(dir, noise);
  EXPECT_EQ(parsed.parser->scanWindow(), Bytes{'e'});

  const Bytes longTail = RiffBuilder().chunkDeclaring("JUNK", 0xFFFFFFFF, Bytes(600, 7)).bytes();
  parsed = parseBytes(dir, longTail);
  EXPECT_EQ(parsed.parser->scanWindow(), Bytes(longTail.begin(), longTail.begin() + 512));

  parsed = parseBytes(dir, {});
  EXPECT_TRUE(parsed.parser->scanWindow().empty());
}

struct DerivationCase {
  const char* name;
  uint32_t rate;
  uint64_t timeReference;
  float fps;
  std::string timecode;
  int32_t ticks;
};

const DerivationCase kDerivationCases[] = {
    {"one hour", 48000, 172800000, 25, "01:00:00:00", 0},
    {"f = 0.52", 48000, 172801000, 25, "01:00:00:01", 1000},
    {"f = 5.21", 48000, 172810000, 25, "01:00:00:05", 10000},
    {"f = 24.48", 48000, 345599000, 25, "01:59:59:24", 47000},
    {"f = 24.79 carries into the hours", 48000, 345599600, 25, "02:00:00:00", 47600},
    {"last sample of the day: no wrap at 24 h", 48000, 4147199999, 25, "24:00:00:00", 47999},
    {"a day exactly", 48000, 4147200000, 25, "24:00:00:00", 0},
    {"29.97: the frames reach 30, no carry", 48000, 172847500, 29.97f, "01:00:00:30", 47500},
    {"96 kHz: only the low half counts", 96000, 4492800000, 25, "00:34:20:19", 72704},
    {"30464 Hz read as 96 kHz", 30464, 96000 * 3600, 25, "01:00:00:00", 0},
};

TEST(BWFParserScan, TimecodeIsDerivedFromTheTimeReference) {
  TempDir dir;
  for (const DerivationCase& c : kDerivationCases) {
    for (const ByteOrder order : kBothOrders) {
      SCOPED_TRACE(std::string(c.name) + ", " + orderName(order));
      BextFields f;
      f.timeReference = c.timeReference;
      const Bytes file = RiffBuilder(order).riffHeader().bext(f).fmt(1, 2, c.rate, 24).bytes();
      const Parsed parsed = parseBytes(dir, file, c.fps);
      EXPECT_EQ(parsed.parser->timecodeString(), c.timecode);
      EXPECT_EQ(parsed.parser->getTicks(), c.ticks);
    }
  }
}

struct NoDerivationCase {
  const char* name;
  Bytes (*build)();
};

const NoDerivationCase kNoDerivationCases[] = {
    {"bext without fmt", [] { return RiffBuilder().bext({.timeReference = 172801000}).bytes(); }},
    {"fmt without bext", [] { return RiffBuilder().fmt(1, 2, 48000, 24).bytes(); }},
    {"fmt that is not linear audio",
     [] { return RiffBuilder().bext({.timeReference = 172801000}).fmt(2, 2, 48000, 4).bytes(); }},
    {"sample rate 0",
     [] { return RiffBuilder().bext({.timeReference = 172801000}).fmt(1, 2, 0, 24).bytes(); }},
    {"samples per hour 0 modulo 2^32",
     [] {
       return RiffBuilder().bext({.timeReference = 172801000}).fmt(1, 2, 1u << 28, 24).bytes();
     }},
};

TEST(BWFParserScan, WithoutBothChunksOrARateTheTimecodeKeepsItsValues) {
  TempDir dir;
  for (const NoDerivationCase& c : kNoDerivationCases) {
    SCOPED_TRACE(c.name);
    auto parser = BWFParser::initWithPath(dir.write("f.wav", c.build()));
    parser->setTimeCodeHH(1, 2, 3, 4, 25);
    parser->setTicks(77);
    LogCapture quiet;
    parser->parse();
    EXPECT_EQ(parser->timecodeString(), "01:02:03:04");
    EXPECT_EQ(parser->getTicks(), 77);
  }
}

TEST(BWFParserScan, FileOf4GiBOrMoreIsScannedUpToItsLengthModulo2To32) {
  TempDir dir;
  const std::string path = dir.pathOf("big.wav");
  const Bytes head = RiffBuilder().riffHeader().chunk("JUNK", Bytes(2)).bytes();  // 22 bytes
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sparse = ::ftruncate(fd, (int64_t{1} << 32) + 40) == 0 &&
                      ::pwrite(fd, head.data(), head.size(), 0) == ssize_t(head.size()) &&
                      ::pwrite(fd, "data", 4, 30) == 4 && ::pwrite(fd, "note", 4, 44) == 4;
  ::close(fd);
  if (!sparse) GTEST_SKIP() << "no sparse 4 GiB file here";
  auto parser = BWFParser::initWithPath(path);
  LogCapture quiet;
  parser->parse();
  // 40 bytes are scanned: the "data" at 30 is met, the "note" at 44 is not.
  EXPECT_EQ(parser->getChunkDictionary().at("data"), "Idx: 3 StartPoint: 30 Length: 10");
  EXPECT_EQ(parser->getChunkDictionary().count("note"), 0u);
}

}  // namespace
}  // namespace bextkit::testsupport
