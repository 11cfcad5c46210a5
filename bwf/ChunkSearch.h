// Finding listed chunk IDs in a block of bytes, for the chunk scan. The scan looks at every
// position of an unlisted chunk; instead of testing each one, this crosses thirty-two positions
// at a time where no four letters stand in a row, and three at a time wherever two bytes cannot
// belong to any listed ID, which between them is nearly everywhere in audio.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/FourCC.h"

namespace bextkit::detail {

class ChunkSearch {
 public:
  // The search for IDs as a normal file (false) or a reversed file (true) stores them.
  static const ChunkSearch& forByteOrder(bool reversedFile);

  // Index into kListedChunkIDs of the ID whose stored bytes are bytes[0..3], or -1.
  int listedIndex(const uint8_t* bytes) const;

  // The first position p in [begin, end) at which bytes[p..p+3] is a listed ID, or `end`.
  // bytes[end + 2] must be readable.
  size_t find(const uint8_t* bytes, size_t begin, size_t end) const;

 private:
  explicit ChunkSearch(bool reversedFile);
  // find, a position at a time: the pair test below.
  size_t findByPairs(const uint8_t* bytes, size_t begin, size_t end) const;
  // Whether every byte of every listed ID is a letter or a space (the test of many
  // positions at once asks no more of them).
  static bool idsAreLetters();
  bool pairOccurs(const uint8_t* bytes) const {
    const unsigned pair = bytes[0] | (bytes[1] << 8);
    return (pairs_[pair >> 6] >> (pair & 63)) & 1;
  }

  static constexpr size_t kSlots = 64;  // open addressing, at most 24 of them used
  std::array<uint32_t, kSlots> words_{};
  std::array<int8_t, kSlots> indices_{};
  // Bit set of every two consecutive bytes that occur anywhere in a stored listed ID.
  std::array<uint64_t, 65536 / 64> pairs_{};
};

}  // namespace bextkit::detail
