#include "bwf/ChunkSearch.h"

#include "bwf/ByteOrder.h"

namespace bextkit::detail {

namespace {
constexpr size_t slotOf(uint32_t word) { return (word * 0x9E3779B1u) >> 26; }
}  // namespace

const ChunkSearch& ChunkSearch::forByteOrder(bool reversedFile) {
  static const ChunkSearch normal(false);
  static const ChunkSearch reversed(true);
  return reversedFile ? reversed : normal;
}

ChunkSearch::ChunkSearch(bool reversedFile) {
  indices_.fill(-1);
  for (size_t i = 0; i < kListedChunkIDs.size(); ++i) {
    const FourCC stored = reversedFile ? kListedChunkIDs[i].reversed() : kListedChunkIDs[i];
    size_t slot = slotOf(stored.word());
    while (indices_[slot] >= 0) slot = (slot + 1) % kSlots;
    words_[slot] = stored.word();
    indices_[slot] = static_cast<int8_t>(i);
    for (size_t k = 0; k < 3; ++k) {
      const unsigned pair = stored[k] | (stored[k + 1] << 8);
      pairs_[pair >> 6] |= uint64_t{1} << (pair & 63);
    }
  }
}

int ChunkSearch::listedIndex(const uint8_t* bytes) const {
  const uint32_t word = loadLE32(bytes, 0);
  for (size_t slot = slotOf(word); indices_[slot] >= 0; slot = (slot + 1) % kSlots) {
    if (words_[slot] == word) return indices_[slot];
  }
  return -1;
}

size_t ChunkSearch::find(const uint8_t* bytes, size_t begin, size_t end) const {
  size_t p = begin;
  while (p < end) {
    // An ID at p, p + 1 or p + 2 covers bytes p + 2 and p + 3; if that pair occurs in no ID,
    // none of the three positions can hold one.
    if (!pairOccurs(bytes + p + 2)) {
      p += 3;
      continue;
    }
    if (listedIndex(bytes + p) >= 0) return p;
    ++p;
  }
  return end;
}

}  // namespace bextkit::detail
