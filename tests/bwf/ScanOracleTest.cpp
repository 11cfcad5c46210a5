// The block-wise scan against the literal reference scan on generated files, then on the same
// files damaged at random: every result must agree, and the reference must end within the
// file's length plus its number of listed chunks (plus the step every scan makes).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ScanTestSupport.h"
#include "bwf/BlockReader.h"
#include "bwf/FourCC.h"

namespace bextkit::testsupport {
namespace {

class FileGenerator {
 public:
  explicit FileGenerator(uint32_t seed) : rng_(seed) {}

  uint32_t below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
  bool chance(uint32_t percent) { return below(100) < percent; }

  Bytes noise(size_t n) {
    Bytes out(n);
    for (uint8_t& b : out) b = static_cast<uint8_t>(rng_());
    return out;
  }
  std::string listedId() { return kListedChunkIDs[below(kListedChunkIDs.size())].str(); }

  // A sensible file with a few oddities: the kinds of chunks the scan treats apart, sizes that
  // are zero, odd, too large or huge, and unlisted chunks that hide listed IDs.
  Bytes wellFormed(ByteOrder order) {
    RiffBuilder b(order);
    if (chance(85)) b.riffHeader();
    const uint32_t chunks = below(9);
    for (uint32_t i = 0; i < chunks; ++i) addChunk(b, order);
    return b.bytes();
  }

  // Damages a file: flipped bytes, listed IDs written over it (often near its end), a cut or
  // a tail of noise.
  Bytes mutated(Bytes file) {
    const uint32_t flips = below(6);
    for (uint32_t i = 0; i < flips && !file.empty(); ++i) file[below(file.size())] ^= rng_();
    if (chance(50)) {
      const std::string id = chance(50) ? listedId() : kListedChunkIDs[below(24)].reversed().str();
      const size_t at = chance(50) ? file.size() - std::min<size_t>(file.size(), below(6))
                                   : below(static_cast<uint32_t>(file.size() + 1));
      for (size_t i = 0; i < 4; ++i) {
        if (at + i < file.size()) file[at + i] = static_cast<uint8_t>(id[i]);
      }
    }
    if (chance(30)) file.resize(below(static_cast<uint32_t>(file.size() + 1)));
    if (chance(20)) {
      const Bytes tail = noise(below(40));
      file.insert(file.end(), tail.begin(), tail.end());
    }
    return file;
  }

 private:
  uint32_t anySize() {
    switch (below(6)) {
      case 0:
        return 0;
      case 1:
        return 0xFFFFFFFFu - below(16);
      case 2:
        return rng_();
      default:
        return below(3000);
    }
  }

  void addChunk(RiffBuilder& b, ByteOrder order) {
    static constexpr uint16_t kTags[] = {1, 1, 3, 7, 257, 2, 0xFFFE, 6};
    static constexpr uint32_t kRates[] = {48000, 44100, 96000, 30464, 0, 8000, 1u << 28};
    switch (below(10)) {
      case 0:
        b.fmt(kTags[below(8)], static_cast<uint16_t>(rng_()), kRates[below(7)],
              static_cast<uint16_t>(rng_()));
        break;
      case 1:
        b.fmtExtensible(2, kRates[below(7)], 24, static_cast<uint16_t>(below(5)));
        break;
      case 2: {
        BextFields f{std::string(below(300), 'd'),
                     "Originator",
                     "Ref",
                     "2024-01-02",
                     "10:11:12",
                     (uint64_t{rng_()} << 32) | rng_(),
                     chance(50) ? "A=PCM,F=48000" : ""};
        static constexpr size_t kPayloads[] = {858, 602, 0, 10, 900, 1100, 345};
        f.payloadSize = kPayloads[below(7)];
        b.bext(f);
        break;
      }
      case 3: {
        const uint32_t n = below(200);
        if (chance(70)) {
          b.chunk("data", noise(n));
        } else {
          b.chunkDeclaring("data", anySize(), noise(n));
        }
        break;
      }
      case 4: {
        // An unlisted chunk, sometimes long enough to cross several read blocks, with listed
        // IDs planted inside it.
        Bytes payload = noise(chance(10) ? below(70000) : below(400));
        const uint32_t planted = below(4);
        for (uint32_t i = 0; i < planted && payload.size() >= 4; ++i) {
          const std::string id = listedId();
          const size_t at = below(static_cast<uint32_t>(payload.size() - 3));
          for (size_t k = 0; k < 4; ++k) {
            payload[at + k] = static_cast<uint8_t>(id[order == ByteOrder::kReversed ? 3 - k : k]);
          }
        }
        b.chunk(chance(50) ? "LIST" : "xyzw", payload);
        break;
      }
      case 5:
        b.chunkDeclaring(listedId(), anySize(), noise(below(64)));
        break;
      case 6:
        b.chunk("iXML", Bytes{'<', 'B', 'W', 'F', 'X', 'M', 'L', '>'});
        break;
      default:
        b.chunk(listedId(), noise(below(100)), chance(50));
        break;
    }
  }

  std::mt19937 rng_;
};

void checkAgainstLiteral(const TempDir& dir, const Bytes& file, float fps) {
  const LiteralScanResult expected = literalScan(file, fps);
  EXPECT_LE(expected.steps, std::max<uint64_t>(file.size(), 1) + expected.listedChunks);
  Parsed parsed = parseBytes(dir, file, fps);
  ASSERT_TRUE(parsed.parser);
  expectSameAsLiteral(parsed, expected);
}

TEST(ScanOracle, GeneratedAndMutatedFilesScanAsTheLiteralScanDoes) {
  TempDir dir;
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kReversed}) {
    for (uint32_t seed = 1; seed <= 1000; ++seed) {
      FileGenerator gen(seed);
      const Bytes file = gen.wellFormed(order);
      const Bytes damaged = gen.mutated(file);
      const float fps = gen.chance(20) ? 29.97f : 25.0f;
      SCOPED_TRACE("seed " + std::to_string(seed) +
                   (order == ByteOrder::kReversed ? " reversed" : " normal"));
      checkAgainstLiteral(dir, file, fps);
      checkAgainstLiteral(dir, damaged, fps);
      if (HasFailure()) return;  // one seed's report is enough to debug
    }
  }
}

TEST(ScanOracle, ListedIdsAroundReadBlockEdgesAreFound) {
  // Read blocks start at 8 KiB and double while the scan walks on; an ID split across two
  // blocks or sitting in the last bytes of one must still be seen.
  TempDir dir;
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kReversed}) {
    // A block that cannot show a whole ID at its end is followed by one that starts 3 bytes
    // before that end and is twice as large.
    size_t edge = detail::BlockReader::kFirstBlock;
    for (size_t block = 2 * edge; edge < 70000; edge += block - 3, block *= 2) {
      for (size_t shift = 0; shift < 12; ++shift) {
        const size_t at = edge - 6 + shift;
        RiffBuilder b(order);
        b.riffHeader().chunk("LIST", Bytes(at + 100 - 20, 'x'));
        Bytes file = b.bytes();
        const std::string id = order == ByteOrder::kReversed ? "atad" : "data";
        std::copy(id.begin(), id.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        SCOPED_TRACE("ID at " + std::to_string(at));
        checkAgainstLiteral(dir, file, 25.0f);
        ASSERT_EQ(parseBytes(dir, file).parser->getChunkDictionary().count("data"), 1u);
      }
    }
  }
}

}  // namespace
}  // namespace bextkit::testsupport
