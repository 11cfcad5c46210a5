#include "bwf/ChunkChain.h"

#include <algorithm>
#include <array>

#include "bwf/ByteOrder.h"

namespace bextkit {

namespace {

using chunkid::kBW64, chunkid::kDs64, chunkid::kList, chunkid::kRF64, chunkid::kRIFX;

constexpr uint64_t kFormHeaderSize = 12;
constexpr size_t kDs64Fixed = 28;    // RIFF size, data size, sample count, table length
constexpr size_t kDs64Entry = 12;    // chunk ID and its 64-bit size
constexpr size_t kDs64Entries = 64;  // the most entries of its table that are read

Container containerOf(const uint8_t* header) {
  const FourCC id = FourCC::fromBytes(header), form = FourCC::fromBytes(header + 8);
  if (id == chunkid::kRIFF.reversed()) {
    return form == chunkid::kWAVE.reversed() ? Container::kFFIR : Container::kNone;
  }
  if (form != chunkid::kWAVE) return Container::kNone;
  if (id == chunkid::kRIFF) return Container::kRIFF;
  if (id == kRIFX) return Container::kRIFX;
  if (id == kRF64) return Container::kRF64;
  if (id == kBW64) return Container::kBW64;
  return Container::kNone;
}

// Four printable ASCII characters; anything else is not a chunk header.
bool plausibleId(const uint8_t* bytes) {
  return std::all_of(bytes, bytes + 4, [](uint8_t b) { return b >= 0x20 && b <= 0x7E; });
}

// The 64-bit sizes of a ds64 chunk's payload: the data size and the table's chunk sizes.
struct Ds64 {
  uint64_t riffSize = 0;
  uint64_t dataSize = 0;
  std::vector<std::pair<FourCC, uint64_t>> table;
  // The 64-bit size of a chunk whose header holds 0xFFFFFFFF, or that value when ds64 has none.
  uint64_t sizeOf(FourCC id) const {
    if (id == chunkid::kData) return dataSize;
    for (const auto& [entry, size] : table) {
      if (entry == id) return size;
    }
    return 0xFFFFFFFFu;
  }
};

Ds64 readDs64(const ChunkReader& read, uint64_t payload, uint64_t size) {
  std::vector<uint8_t> bytes(
      static_cast<size_t>(std::min<uint64_t>(size, kDs64Fixed + kDs64Entry * kDs64Entries)));
  bytes.resize(read(payload, bytes.data(), bytes.size()));
  Ds64 ds64;
  if (bytes.size() < kDs64Fixed) return ds64;
  ds64.riffSize = loadLE64(bytes.data(), 0);
  ds64.dataSize = loadLE64(bytes.data(), 8);
  const uint32_t entries = loadLE32(bytes.data(), 24);
  for (size_t i = 0, at = kDs64Fixed; i < entries && at + kDs64Entry <= bytes.size();
       ++i, at += kDs64Entry) {
    ds64.table.emplace_back(FourCC::fromBytes(&bytes[at]), loadLE64(bytes.data(), at + 4));
  }
  return ds64;
}

}  // namespace

bool plausibleChunkHeader(const ChunkReader& read, uint64_t offset, uint64_t fileSize,
                          bool bigEndianSizes) {
  std::array<uint8_t, 8> bytes{};
  if (offset > fileSize || fileSize - offset < bytes.size() ||
      read(offset, bytes.data(), bytes.size()) != bytes.size()) {
    return false;
  }
  const auto idChar = [](uint8_t b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == ' ';
  };
  if (!std::all_of(bytes.begin(), bytes.begin() + 4, idChar) || bytes[0] == ' ') return false;
  const uint64_t size = bigEndianSizes ? loadBE32(bytes.data(), 4) : loadLE32(bytes.data(), 4);
  return size == 0xFFFFFFFFu || size <= fileSize - offset - bytes.size();
}

const char* containerName(Container container) {
  switch (container) {
    case Container::kRIFF:
      return "RIFF";
    case Container::kFFIR:
      return "FFIR";
    case Container::kRIFX:
      return "RIFX";
    case Container::kRF64:
      return "RF64";
    case Container::kBW64:
      return "BW64";
    case Container::kNone:
      break;
  }
  return nullptr;
}

const ChainChunk* ChunkChain::first(FourCC id) const {
  const auto it = std::find_if(chunks.begin(), chunks.end(),
                               [id](const ChainChunk& chunk) { return chunk.id == id; });
  return it == chunks.end() ? nullptr : &*it;
}

ChunkReader chunkReaderOf(FileHandle& file) {
  return [&file](uint64_t offset, uint8_t* destination, size_t length) {
    file.seekToFileOffset(offset);
    return file.read(destination, length);
  };
}

ChunkChain walkChunkChain(FileHandle& file, uint64_t fileSize) {
  return walkChunkChain(chunkReaderOf(file), fileSize);
}

ChunkChain walkChunkChain(const ChunkReader& read, uint64_t fileSize) {
  ChunkChain chain;
  chain.chunks.reserve(16);  // room for a typical file's chunks, made once
  std::array<uint8_t, kFormHeaderSize> header{};
  if (read(0, header.data(), header.size()) != header.size()) return chain;
  chain.container = containerOf(header.data());
  if (chain.container == Container::kNone) return chain;
  chain.formSize = chain.bigEndianSizes() ? loadBE32(header.data(), 4) : loadLE32(header.data(), 4);

  Ds64 ds64;
  // Chunks are walked to the end of the file, whatever the form's size says: recorders that
  // stopped early leave it stale, and a chunk after the declared end is still the file's.
  for (uint64_t offset = kFormHeaderSize; offset + 8 <= fileSize;) {
    if (chain.chunks.size() == ChunkChain::kMostChunks) {
      chain.broken = chain.capped = true;
      chain.brokenAt = offset;
      break;
    }
    std::array<uint8_t, 12> bytes{};  // the header and, for LIST, the form type
    const size_t got = read(offset, bytes.data(), bytes.size());
    if (got < 8 || !plausibleId(bytes.data())) {
      chain.broken = true;
      chain.brokenAt = offset;
      break;
    }
    ChainChunk chunk{FourCC::fromBytes(bytes.data()), offset, 0, FourCC(), false};
    if (chain.reversedIds()) chunk.id = chunk.id.reversed();
    const uint32_t size32 =
        chain.bigEndianSizes() ? loadBE32(bytes.data(), 4) : loadLE32(bytes.data(), 4);
    chunk.size = size32;
    if (chain.has64BitSizes()) {
      if (chunk.id == kDs64 && offset == kFormHeaderSize) {
        ds64 = readDs64(read, offset + 8, size32);
        if (chain.formSize == 0xFFFFFFFFu) chain.formSize = ds64.riffSize;
      }
      if (size32 == 0xFFFFFFFFu) chunk.size = ds64.sizeOf(chunk.id);
    }
    if (chunk.id == kList && chunk.size >= 4 && got == bytes.size()) {
      chunk.form = FourCC::fromBytes(bytes.data() + 8);
      if (chain.reversedIds()) chunk.form = chunk.form.reversed();
    }
    chunk.truncated = chunk.size > fileSize - offset - 8;
    if (!chunk.truncated && (chunk.size & 1)) {
      const uint64_t unpadded = offset + 8 + chunk.size;
      chunk.padMissing =
          !plausibleChunkHeader(read, unpadded + 1, fileSize, chain.bigEndianSizes()) &&
          plausibleChunkHeader(read, unpadded, fileSize, chain.bigEndianSizes());
    }
    chain.chunks.push_back(chunk);
    if (chunk.truncated) break;
    offset = chunk.end();
  }
  return chain;
}

}  // namespace bextkit
