// The chunk chain: the chunks of a WAVE file as its writer laid them out, walked from the form
// header by their sizes (each padded to an even length). Where the chain reaches a chunk, that
// chunk is the file's: a word inside the text of another chunk can neither hide nor fake one.
// The walk reads chunk headers only, never the audio, and is 64-bit throughout.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/FileHandle.h"
#include "platform/FourCC.h"

namespace bextkit {

// The form a file comes in: RIFF; FFIR (IDs stored byte-reversed, sizes and format fields
// big-endian); RIFX (IDs in order, sizes, format fields and the integers of the bext record
// big-endian, as libsndfile writes it); RF64 and BW64 (a ds64 chunk first holds the 64-bit
// sizes). kNone: the file does not begin with a WAVE form header.
enum class Container { kNone, kRIFF, kFFIR, kRIFX, kRF64, kBW64 };

// "RIFF", "FFIR", "RIFX", "RF64", "BW64", or null for kNone.
const char* containerName(Container container);

struct ChainChunk {
  FourCC id;        // as a normal file stores it ("fmt ", also in an FFIR file)
  uint64_t offset;  // of the chunk's header
  uint64_t size;    // of its payload; from ds64 where the header holds 0xFFFFFFFF
  FourCC form;      // a LIST chunk's form type ("INFO", "adtl"), zero for other chunks
  bool truncated;   // the chunk runs past the end of the file
  // The chunk has an odd size and its writer left out the pad byte: the next chunk starts right
  // after its payload, where the walk found it.
  bool padMissing = false;
  // Where the next chunk starts: after the payload and its pad byte, if any.
  uint64_t end() const { return offset + 8 + size + ((size & 1) && !padMissing ? 1 : 0); }
};

struct ChunkChain {
  Container container = Container::kNone;
  // The size the form header declares (of what follows its first 8 bytes); for RF64 and BW64,
  // ds64's 64-bit size where the header holds 0xFFFFFFFF.
  uint64_t formSize = 0;
  std::vector<ChainChunk> chunks;
  // The walk met bytes that cannot be a chunk header at `brokenAt`; the chunks before it stand.
  bool broken = false;
  uint64_t brokenAt = 0;
  // The walk stopped at `brokenAt` after kMostChunks chunks (broken is set too): memory stays
  // bounded whatever the file holds, such as millions of empty chunks.
  bool capped = false;
  static constexpr size_t kMostChunks = 100000;

  // How the file stores what the walk and the write-back read and write.
  bool reversedIds() const { return container == Container::kFFIR; }
  bool bigEndianSizes() const {
    return container == Container::kFFIR || container == Container::kRIFX;
  }
  bool bigEndianRecord() const { return container == Container::kRIFX; }
  bool has64BitSizes() const {
    return container == Container::kRF64 || container == Container::kBW64;
  }
  // The walk ran to the end of the file without breaking.
  bool complete() const { return container != Container::kNone && !broken; }
  // The first chunk with this ID, or null.
  const ChainChunk* first(FourCC id) const;
};

// Reads up to `length` bytes at `offset`; how many it read.
using ChunkReader = std::function<size_t(uint64_t offset, uint8_t* destination, size_t length)>;
// A reader of an open file (which must outlive it).
ChunkReader chunkReaderOf(FileHandle& file);

// Whether the 8 bytes at `offset` form a chunk header a writer could have meant: an ID of
// letters, digits and spaces that starts with a letter or digit, and a size that ends within the
// file (or 0xFFFFFFFF, a size kept in ds64).
bool plausibleChunkHeader(const ChunkReader& read, uint64_t offset, uint64_t fileSize,
                          bool bigEndianSizes);

// Walks the file's chain. After an odd-sized chunk the next one is looked for after the pad
// byte; where no chunk header stands there but one does right after the payload, the writer
// left out the pad byte, and the walk goes on from there. A file that is not a WAVE form gives
// kNone and no chunks.
ChunkChain walkChunkChain(const ChunkReader& read, uint64_t fileSize);
ChunkChain walkChunkChain(FileHandle& file, uint64_t fileSize);

}  // namespace bextkit
