#include "bwf/ChunkSearch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Every byte of a listed ID is a letter or a space. Where the processor compares sixteen bytes
// at once, the search first asks whether four such bytes stand in a row anywhere in thirty-two
// positions: in audio that is rare (a fifth of the bytes are letters or spaces, so four in a
// row begin at about one position in 500), and nearly every run of thirty-two positions is
// crossed with a handful of instructions.
constexpr bool letterOrSpace(uint8_t byte) {
  return byte == ' ' || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

#if defined(__SSE2__)
// One bit per byte of the sixteen at `bytes`: set for a letter or a space.
inline uint32_t lettersOf(const uint8_t* bytes) {
  // An unaligned load is what the instruction is for; no pointer is cast to a wider type.
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i lower = _mm_sub_epi8(_mm_or_si128(b, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i letter = _mm_cmpeq_epi8(_mm_min_epu8(lower, _mm_set1_epi8(25)), lower);
  const __m128i space = _mm_cmpeq_epi8(b, _mm_set1_epi8(' '));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(letter, space)));
}
#endif

}  // namespace

bool ChunkSearch::idsAreLetters() {
  for (const FourCC& id : kListedChunkIDs) {
    for (size_t k = 0; k < 4; ++k) {
      if (!letterOrSpace(id[k])) return false;
    }
  }
  return true;
}

size_t ChunkSearch::find(const uint8_t* bytes, size_t begin, size_t end) const {
  size_t p = begin;
#if defined(__SSE2__)
  static const bool letters = idsAreLetters();
  // Thirty-two positions at a time, while the forty-eight bytes looked at lie before end + 3.
  if (letters && end - p >= 48) {
    uint64_t next = lettersOf(bytes + p);
    for (; end - p >= 48; p += 32) {
      const uint64_t here = next;
      next = lettersOf(bytes + p + 32);
      const uint64_t row = here | uint64_t{lettersOf(bytes + p + 16)} << 16 | next << 32;
      // Bit i: the four bytes from p + i are all letters or spaces.
      if ((row & (row >> 1) & (row >> 2) & (row >> 3) & 0xFFFFFFFF) == 0) continue;
      const size_t found = findByPairs(bytes, p, p + 32);
      if (found < p + 32) return found;
    }
  }
#endif
  return findByPairs(bytes, p, end);
}

size_t ChunkSearch::findByPairs(const uint8_t* bytes, size_t begin, size_t end) const {
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
