// The block-wise chunk scan against a literal one: one position at a time, every value taken
// from the bytes with no shortcut. Both run on files with every kind of chunk, damaged at random
// (flipped bytes, IDs and sizes written anywhere, cuts), and on IDs around read-block edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "bwf/BlockReader.h"
#include "bwf/ByteOrder.h"

namespace bextkit::testsupport {
namespace {

// What a scan leaves, in the parser's terms; `texts` joins the bext texts with '|'.
struct Result {
  std::map<std::string, std::string> directory;
  std::vector<std::string> messages;
  uint32_t flags = 0, rate = 0, low = 0, high = 0;
  int32_t bits = 0, channels = 0, ticks = 0;
  std::string texts = "|||||", timecode = "00:00:00:00";
  Bytes image, window;
  auto tie() const {
    return std::tie(directory, messages, flags, rate, low, high, bits, channels, ticks, texts,
                    timecode, image, window);
  }
};

const std::string kListed =
    "JUNKRIFFWAVEadtlatonbextcue datafactfilefillfilmfmt "
    "iXMLlablltxtminfnoteomfiplstslntumidwavlzfil";

Result literalScan(const Bytes& bytes, float fps) {
  const auto at = [&](uint64_t o) -> uint8_t { return o < bytes.size() ? bytes[o] : 0; };
  const bool reversed = bytes.size() >= 4 && std::memcmp(bytes.data(), "FFIR", 4) == 0;
  const auto number = [&](uint64_t offset, int width) {
    uint64_t v = 0;
    for (int i = 0; i < width; ++i)
      v |= uint64_t{at(offset + i)} << 8 * (reversed ? width - 1 - i : i);
    return v;
  };
  Result r;
  uint32_t position = 0, start = 0, windowAt = 0;
  std::string last;
  int64_t length = 0;
  int8_t counter = 0;
  Bytes inside(864);
  const auto entry = [&] {
    r.directory[last] = "Idx: " + std::to_string(++counter) +
                        " StartPoint: " + std::to_string(int32_t(start)) +
                        " Length: " + std::to_string(length);
  };
  for (bool stop = false; !stop && (windowAt = position, true);) {
    std::string id(4, ' ');
    for (int i = 0; i < 4; ++i) id[i] = char(at(position + (reversed ? 3 - i : i)));
    if (kListed.find(id) % 4 != 0) {  // not listed (npos is odd)
      ++position, ++length;
    } else {
      if (!last.empty()) entry(), length = 0;
      last = id, start = position;
      const uint32_t size = uint32_t(number(position + 4, 4));
      uint64_t advance = size;
      if (id == "RIFF") {
        r.flags |= kBWFFlagRIFF;
        r.messages.push_back("***Have RIFF\n");
        advance = length = 12;
      } else if (id == "fmt ") {
        r.flags |= kBWFFlagFmt;
        const uint64_t tag = number(position + 8, 2), sub = number(position + 32, 2);
        if (tag == 1) r.messages.push_back("***WAVE_FORMAT_PCM\n");
        if (tag == 7) r.messages.push_back("***WAVE_FORMAT_MULAW\n");
        if (tag == 7 || tag == 257) r.messages.push_back("***IBM_FORMAT_MULAW\n");
        if (tag == 1 || tag == 3 || (tag == 0xFFFE && (sub == 1 || sub == 3))) {
          const auto count = [&](int offset) {
            const auto v = uint16_t(number(position + offset, 2));
            return reversed ? int32_t{v} : int32_t{int16_t(v)};
          };
          r.channels = count(10), r.bits = count(22), r.rate = uint32_t(number(position + 12, 4));
          if (r.rate == 30464) r.rate = 96000;
        }
        length += int64_t(advance = (tag == 7 || tag == 257) ? 26 : 24);
      } else if (id == "data") {
        r.flags |= kBWFFlagData;
        length += int64_t(advance = uint64_t{size} + 8);
      } else if (id == "adtl") {
        advance = 32, length += 32;
      } else if (id == "iXML") {
        r.flags |= kBWFFlagIXML;
        r.messages.push_back("iXML Chunk\n");
        length += size;
      } else {
        for (uint64_t i = 0; id == "bext" && !(r.flags & kBWFFlagBext) && i < 864; ++i) {
          r.image.push_back(at(position + i));
          inside[i] = i < 8 + uint64_t{size} ? r.image[i] : 0;  // only bytes inside the chunk
        }
        if (id == "bext") r.flags |= kBWFFlagBext;
        if (id == "slnt") r.messages.push_back("***SilenceID\n");
        if (id == "cue ") r.messages.push_back("***CueID\n");
        length = size;
      }
      if (advance == 0) advance = 1, length += 1;
      stop = position + advance >= (uint64_t{1} << 32);
      position = uint32_t(position + advance);
    }
    stop = stop || position >= uint32_t(bytes.size());
  }
  entry();
  const auto window = bytes.begin() + std::min<size_t>(windowAt, bytes.size());
  r.window.assign(window, window + std::min<size_t>(512, bytes.end() - window));
  if (r.flags & kBWFFlagBext) {
    const auto text = [&](size_t offset, size_t width) {
      const auto begin = inside.begin() + offset;
      return std::string(begin, std::find(begin, begin + width, 0)) + (offset < 610 ? "|" : "");
    };
    const bool none = inside[610] == inside[611] && (inside[610] == 0 || inside[610] == 0xFF);
    r.texts = text(8, 256) + text(264, 32) + text(296, 32) + text(328, 10) + text(338, 8) +
              (none ? "None" : text(610, 254));
    r.low = loadLE32(inside.data(), 346), r.high = loadLE32(inside.data(), 350);
  }
  if ((r.flags & kBWFFlagBext) && (r.flags & kBWFFlagFmt) && r.rate * 3600u != 0) {
    // The time reference is both halves; hours stop short of 2^32.
    const uint64_t count = uint64_t{r.high} << 32 | r.low;
    const double t = std::min(double(count) / double(r.rate * 3600u), 0x1p32 - 0x1p-20);
    const double h = std::floor(t);
    const double m = (t - h) * 60, s = (m - std::floor(m)) * 60;
    const long frames = std::lround((s - std::floor(s)) * double(fps));
    uint32_t tc[4] = {uint32_t(h), uint32_t(std::floor(m)), uint32_t(std::floor(s)),
                      uint32_t(frames)};
    if (float(frames) == fps)
      tc[3] = 0, tc[1] += ++tc[2] / 60, tc[2] %= 60, tc[0] += tc[1] / 60, tc[1] %= 60;
    char text[64];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u:%02u", tc[0], tc[1], tc[2], tc[3]);
    r.timecode = text, r.ticks = int32_t(count % r.rate);
  }
  return r;
}

Result scan(const TempDir& dir, const Bytes& file, float fps, ChunkChain* chain = nullptr) {
  auto p = BWFParser::initWithPath(dir.write("scan.wav", file), fps);
  const LogCapture log;
  p->parse();
  Result r;
  r.directory = p->getChunkDictionary(), r.messages = log.messages, r.flags = p->chunkFlags();
  r.rate = p->samplePerSeconds(), r.window = p->scanWindow(), r.timecode = p->timecodeString();
  r.low = p->getSamplesSinceMidnightLow(), r.high = p->getSamplesSinceMidnightHigh();
  r.bits = p->bitsPerSample(), r.channels = p->channels(), r.ticks = p->getTicks();
  r.texts = p->description() + '|' + p->originator() + '|' + p->originatorReference() + '|';
  r.texts += p->creationdate() + '|' + p->creationtime() + '|' + p->getCodingHistory();
  if (p->bwfChunk()) r.image.assign(p->bwfChunk()->bytes.begin(), p->bwfChunk()->bytes.end());
  if (chain) *chain = p->chunkChain();
  return r;
}

// Every result agrees, but for the format and bext fields that the chunk chain decides (where
// it reaches such a chunk or runs cleanly to the end of the file without one).
void expectSameAsLiteral(const TempDir& dir, const Bytes& file, float fps) {
  ChunkChain chain;
  Result got = scan(dir, file, fps, &chain);
  const Result want = literalScan(file, fps);
  const auto decided = [&](FourCC id, uint32_t flag) {
    if (!chain.first(id) && !chain.complete()) return false;
    got.flags = (got.flags & ~flag) | (want.flags & flag);
    got.timecode = want.timecode, got.ticks = want.ticks;
    return true;
  };
  if (decided(chunkid::kFmt, kBWFFlagFmt))
    got.rate = want.rate, got.bits = want.bits, got.channels = want.channels;
  if (decided(chunkid::kBext, kBWFFlagBext))
    got.texts = want.texts, got.low = want.low, got.high = want.high, got.image = want.image;
  EXPECT_EQ(got.tie(), want.tie());
}

TEST(ScanOracle, DamagedFilesWithEveryKindOfChunk) {
  // Unlisted chunks hold listed IDs, as text may; a bext chunk before and after fmt, one short;
  // formats of every kind the scan tells apart; a data chunk the scan jumps past a read block.
  const Bytes list = {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 9,
                      0,   0,   0,   'd', 'a', 't', 'a', 'n', 'o'};
  BextFields bext{"Scene", "Recorder", "REF", "2024-01-02", "10:11:12", 0xFFFFFFFFFFA4CB80};
  BextFields shortBext = bext;
  shortBext.payloadSize = 602;
  std::vector<Bytes> files;
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kReversed}) {
    for (const uint16_t tag : {1, 3, 7, 257, 2, 0xFFFE}) {
      for (const uint16_t sub : {1, 2, 3}) {
        bext.codingHistory = sub == 2 ? "\xFF\xFF"
                                        "A=PCM"
                                      : "A=PCM";  // two 0xFF bytes read "None"
        RiffBuilder b(order);
        b.riffHeader().bext(bext).chunk("LIST", list).fmt(tag, 2, 30464, 24, sub).bext(shortBext);
        b.chunk("iXML", {'<', '/', '>'}).chunk("cue ", Bytes(28)).chunk("slnt", {}).id("adtl");
        b.raw(Bytes(40, 'a')).chunk("JUNK", Bytes(9)).chunk("data", Bytes(9000)).chunk("labl", {});
        files.push_back(b.bytes());
      }
    }
  }
  TempDir dir;
  std::mt19937 rng(2026);
  const auto below = [&rng](size_t n) { return size_t(rng() % n); };
  for (int round = 0; round < 4000 && !HasFailure(); ++round) {
    Bytes file = files[below(files.size())];
    for (size_t changes = below(8), at; changes > 0; --changes) {
      switch (at = below(file.size() - 8), below(4)) {
        case 0:  // a listed ID, in either byte order, with any size
          for (size_t i = 0, id = 4 * below(24), back = below(2); i < 4; ++i)
            file[at + i] = kListed[id + (back ? 3 - i : i)];
          [[fallthrough]];
        case 1:
          for (int i = 4; i < 8; ++i) file[at + i] = uint8_t(below(3) ? 0 : rng());
          break;
        case 2:
          file[at] ^= uint8_t(rng());
          break;
        default:
          file.resize(std::max<size_t>(16, below(file.size() + 40)), uint8_t(rng()));
      }
    }
    SCOPED_TRACE("round " + std::to_string(round));
    expectSameAsLiteral(dir, file, below(5) ? 25.0f : 29.97f);
  }
  // The 128th listed chunk has the entry index -128; a jump past the largest read block.
  RiffBuilder labels;
  for (int i = 0; i < 130; ++i) labels.chunk("labl", {});
  const Bytes jump =
      RiffBuilder().riffHeader().chunk("data", Bytes(3 << 20)).chunk("labl", {}).bytes();
  for (const Bytes& file : {labels.bytes(), Bytes{}, Bytes{'R'}, jump})
    expectSameAsLiteral(dir, file, 25.0f);
}

TEST(ScanOracle, IdsAmongBytesThatAreNoLetters) {
  // Runs of non-letters are crossed many positions at a time: an ID at every place in such a
  // run, one cut short, and letters three in a row just before it.
  TempDir dir;
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kReversed}) {
    for (const char* id : {"data", "dat\x80", "cue ", "zfil"}) {
      for (size_t at = 20; at < 100; ++at) {
        Bytes payload(200, 0x80);
        std::copy_n("abc", 3, payload.begin() + at - 10);
        std::copy_n(id, 4, payload.begin() + at);
        if (order == ByteOrder::kReversed)
          std::reverse(payload.begin() + at, payload.begin() + at + 4);
        const Bytes file = RiffBuilder(order).riffHeader().chunk("LIST", payload).bytes();
        SCOPED_TRACE(std::string(id) + " at " + std::to_string(at));
        expectSameAsLiteral(dir, file, 25.0f);
      }
    }
  }
}

TEST(ScanOracle, IdsAroundReadBlockEdges) {
  // Blocks start at kFirstBlock and double while the scan walks on; a block that cannot show a
  // whole ID at its end is followed by one that starts 3 bytes before that end.
  TempDir dir;
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kReversed}) {
    size_t edge = detail::BlockReader::kFirstBlock;
    for (size_t block = 2 * edge; edge < 70000; edge += block - 3, block *= 2) {
      for (size_t at = edge - 6; at < edge + 6; ++at) {
        Bytes file = RiffBuilder(order).riffHeader().chunk("LIST", Bytes(at + 80, 'x')).bytes();
        std::copy_n(order == ByteOrder::kReversed ? "atad" : "data", 4, file.begin() + at);
        SCOPED_TRACE("ID at " + std::to_string(at));
        ASSERT_EQ(literalScan(file, 25.0f).directory.count("data"), 1u);
        expectSameAsLiteral(dir, file, 25.0f);
      }
    }
  }
}

}  // namespace
}  // namespace bextkit::testsupport
