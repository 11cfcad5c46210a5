// The chunk chain decides where the fields come from and where a save writes: words inside the
// text of other chunks neither hide nor fake a chunk; RF64, BW64, RIFX and FFIR files are read
// and written in their own form; a damaged chain leaves the scan's findings standing.
#include <gtest/gtest.h>

#include "Support.h"
#include "Tool.h"
#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"
#include "platform/Clock.h"

namespace bextkit::testsupport {
namespace {

// clang-format off
const BextFields kBext{"Scene 4", "Recorder", "REF-9", "2025-03-04", "05:06:07", (uint64_t{7} << 32) | 172800000, "A=PCM,T=x"};
// clang-format on

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A LIST/INFO chunk holding one text.
Bytes info(ByteOrder order, const char* id, const std::string& value) {
  return RiffBuilder(order).id("INFO").chunk(id, text(value)).bytes();
}

// RF64 or BW64: the header, then ds64 with the RIFF and data sizes (and the size of a JUNK
// chunk in its table, when given), then `rest` (whose data chunk declares 0xFFFFFFFF).
Bytes rf64(const char* form, const Bytes& rest, uint64_t dataSize, uint64_t junkSize = 0) {
  RiffBuilder ds64;
  const auto put64 = [&ds64](uint64_t value) {
    for (int i = 0; i < 8; ++i) ds64.raw({uint8_t(value >> (8 * i))});
  };
  for (uint64_t value : {uint64_t(4 + (junkSize ? 60 : 36) + rest.size()), dataSize, dataSize / 4})
    put64(value);
  // The JUNK chunk's size is the table's second entry, after one for a chunk the file lacks.
  ds64.raw({junkSize ? uint8_t(2) : uint8_t(0), 0, 0, 0});
  if (junkSize) ds64.id("none"), put64(7), ds64.id("JUNK"), put64(junkSize);
  return RiffBuilder()
      .chunkDeclaring(form, 0xFFFFFFFF, {})
      .id("WAVE")
      .chunk("ds64", ds64.bytes())
      .raw(rest)
      .bytes();
}

// "fmt ,LIST(INFO),bext,data~": the chain's IDs, LIST form types, a truncated chunk marked.
std::string layout(const ChunkChain& chain) {
  std::string out = containerName(chain.container) ? containerName(chain.container) : "none";
  for (const ChainChunk& c : chain.chunks) {
    out += " " + c.id.str() + (c.form == FourCC() ? "" : "(" + c.form.str() + ")") +
           (c.truncated ? "~" : "");
  }
  return out + (chain.broken ? " broken@" + std::to_string(chain.brokenAt) : "");
}

TEST(Chain, FieldsComeFromTheChainAndASaveWritesThere) {
  setDateTextSource([] { return "2026-12-07 10:00:00 +0000"; });
  const ByteOrder N = ByteOrder::kNormal, X = ByteOrder::kBig, R = ByteOrder::kReversed;
  const auto fmt = [](ByteOrder o) { return RiffBuilder(o).fmt(1, 2, 48000, 16).bytes(); };
  const auto bext = [](ByteOrder o) { return RiffBuilder(o).bext(kBext).bytes(); };
  const auto list = [](ByteOrder o, const Bytes& payload) {
    return RiffBuilder(o).chunk("LIST", payload).bytes();
  };
  const auto data = [](ByteOrder o, uint32_t size, size_t bytes) {
    return RiffBuilder(o).chunkDeclaring("data", size, Bytes(bytes, 0x11)).bytes();
  };
  const auto riff = [](ByteOrder o, std::initializer_list<Bytes> chunks) {
    RiffBuilder b(o);
    b.riffHeader();
    for (const Bytes& chunk : chunks) b.raw(chunk);
    return b.bytes();
  };
  // clang-format off
  const Bytes comment = {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 16, 0, 0, 0, 'b', 'e', 'x', 't', 8, 0, 0, 0, 'c', 'o', 'm', 'm', 'e', 'n', 't', 0};
  BextFields shortBext = kBext, longBext = kBext;  // no coding history; more than the record holds
  shortBext.payloadSize = 602;
  longBext.codingHistory = std::string(300, 'h');
  longBext.payloadSize = 1000;
  const auto chunkOf = [](const BextFields& f) { return RiffBuilder().bext(f).bytes(); };
  const struct { const char* name; Bytes file; const char* layout; const char* fields; int64_t growth; std::string history = "A=PCM,T=x"; } kCases[] = {
      {"LIST/INFO before bext, a listed word in its title", riff(N, {fmt(N), list(N, info(N, "INAM", "libsndfile LIST INFO title")), bext(N), data(N, 10, 10)}),
       "RIFF fmt  LIST(INFO) bext data", "Scene 4 48000 172800000", 0},
      {"the word data in a comment", riff(N, {list(N, info(N, "ICMT", "metadata")), fmt(N), bext(N)}),
       "RIFF LIST(INFO) fmt  bext", "Scene 4 48000 172800000", 0},
      {"odd data, its pad, LIST, then bext", riff(N, {fmt(N), data(N, 99, 100), list(N, info(N, "ISFT", "x")), bext(N)}),
       "RIFF fmt  data LIST(INFO) bext", "Scene 4 48000 172800000", 0},
      {"bext in a comment, no real bext", riff(N, {fmt(N), list(N, comment)}), "RIFF fmt  LIST(INFO)", " 48000 0", 866},
      {"RF64", rf64("RF64", RiffBuilder().raw(fmt(N)).raw(bext(N)).raw(data(N, 0xFFFFFFFF, 400)).bytes(), 400),
       "RF64 ds64 fmt  bext data", "Scene 4 48000 172800000", 0},
      {"BW64 without bext, a JUNK chunk sized in ds64", rf64("BW64", RiffBuilder().raw(fmt(N)).chunkDeclaring("JUNK", 0xFFFFFFFF, Bytes(10))
       .raw(data(N, 0xFFFFFFFF, 400)).bytes(), 400, 10), "BW64 ds64 fmt  JUNK data", " 48000 0", 866},
      {"RIFX", riff(X, {fmt(X), bext(X), data(X, 8, 8)}), "RIFX fmt  bext data", "Scene 4 48000 172800000", 0},
      {"RIFX without bext", riff(X, {fmt(X), data(X, 8, 8)}), "RIFX fmt  data", " 48000 0", 866},
      {"FFIR", riff(R, {bext(R), fmt(R)}), "FFIR bext fmt ", "Scene 4 48000 172800000", 0},
      {"a short bext chunk", riff(N, {fmt(N), chunkOf(shortBext), data(N, 8, 8)}), "RIFF fmt  bext data", "Scene 4 48000 172800000", 0, "None"},
      {"a long bext chunk", riff(N, {chunkOf(longBext), fmt(N)}), "RIFF bext fmt ", "Scene 4 48000 172800000", 0, std::string(254, 'h')},
      {"truncated data", riff(N, {fmt(N), bext(N), data(N, 200, 100)}), "RIFF fmt  bext data~", "Scene 4 48000 172800000", 0},
      {"a broken chain: the scan's bext stands, and is not written", riff(N, {fmt(N), {'d', 'a', 't', 0x1F, 8, 0, 0, 0}, Bytes(8), bext(N)}),
       "RIFF fmt  broken@36", "Scene 4 48000 172800000", -1}};
  // clang-format on
  TempDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write("take.wav", c.file);
    auto parser = scanned(path);
    EXPECT_EQ(layout(parser->chunkChain()), c.layout);
    EXPECT_EQ(parser->description() + " " + std::to_string(parser->samplePerSeconds()) + " " +
                  std::to_string(parser->getSamplesSinceMidnightLow()),
              c.fields);
    parser->setDescription("Edited");
    ASSERT_EQ(parser->saveFile(), c.growth >= 0) << parser->lastError();
    const Bytes file = readWholeFile(path);
    if (c.growth < 0) {
      EXPECT_EQ(file, c.file);
      continue;
    }
    ASSERT_EQ(file.size(), c.file.size() + c.growth);
    auto reread = scanned(path);
    const ChunkChain& chain = reread->chunkChain();
    EXPECT_EQ(layout(parser->chunkChain()), layout(chain))
        << "the saving parser knows the new chain";
    EXPECT_EQ(std::count_if(chain.chunks.begin(), chain.chunks.end(),
                            [](const ChainChunk& k) { return k.id == chunkid::kBext; }),
              1);
    // A rewrite changes the edited field and nothing else of the chunk.
    EXPECT_EQ(reread->description() + " " + reread->originator() + " " +
                  reread->originatorReference() + " " + reread->creationdate() + " " +
                  reread->getCodingHistory() + " " +
                  std::to_string(reread->getSamplesSinceMidnightLow()) + " " +
                  std::to_string(reread->getSamplesSinceMidnightHigh()),
              c.growth ? "Edited   2026-12-07 A=PCM\r\n 0 0"
                       : "Edited Recorder REF-9 2025-03-04 " + c.history + " 172800000 7");
    // The chunks before and after the bext chunk are byte for byte what they were.
    const ChainChunk* bext = chain.first(chunkid::kBext);
    const uint64_t end = bext->offset + 8 + bext->size;
    EXPECT_TRUE(
        std::equal(file.begin() + 12, file.begin() + int64_t(bext->offset), c.file.begin() + 12) ||
        chain.has64BitSizes());
    EXPECT_TRUE(std::equal(file.begin() + int64_t(end), file.end(),
                           c.file.begin() + int64_t(end - c.growth)));
    if (chain.has64BitSizes()) {  // the header keeps 0xFFFFFFFF; ds64 holds the grown RIFF size
      EXPECT_EQ(loadLE32(file.data(), 4), 0xFFFFFFFFu);
      EXPECT_EQ(loadLE32(file.data(), 20), file.size() - 8);
    } else {
      EXPECT_EQ(chain.bigEndianSizes() ? loadBE32(file.data(), 4) : loadLE32(file.data(), 4),
                file.size() - 8);
    }
  }
  setDateTextSource({});
}

}  // namespace
}  // namespace bextkit::testsupport
