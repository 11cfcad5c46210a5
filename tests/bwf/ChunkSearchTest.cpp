// The search for listed IDs in a block, against a position-by-position check.
#include "bwf/ChunkSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace bextkit::detail {
namespace {

int plainIndex(const uint8_t* bytes, bool reversedFile) {
  for (size_t i = 0; i < kListedChunkIDs.size(); ++i) {
    const FourCC stored = reversedFile ? kListedChunkIDs[i].reversed() : kListedChunkIDs[i];
    if (FourCC::fromBytes(bytes) == stored) return static_cast<int>(i);
  }
  return -1;
}

TEST(ChunkSearch, KnowsEveryListedIdInItsStoredOrderOnly) {
  for (const bool reversedFile : {false, true}) {
    const ChunkSearch& search = ChunkSearch::forByteOrder(reversedFile);
    for (size_t i = 0; i < kListedChunkIDs.size(); ++i) {
      const FourCC stored = reversedFile ? kListedChunkIDs[i].reversed() : kListedChunkIDs[i];
      const FourCC other = reversedFile ? kListedChunkIDs[i] : kListedChunkIDs[i].reversed();
      const uint8_t bytes[] = {stored[0], stored[1], stored[2], stored[3]};
      const uint8_t otherBytes[] = {other[0], other[1], other[2], other[3]};
      EXPECT_EQ(search.listedIndex(bytes), static_cast<int>(i)) << stored.str();
      EXPECT_EQ(search.listedIndex(otherBytes), plainIndex(otherBytes, reversedFile));
    }
    const uint8_t nearMisses[][4] = {
        {'R', 'I', 'F', 'X'}, {'r', 'i', 'f', 'f'}, {'f', 'm', 't', 0}};
    for (const auto& bytes : nearMisses) EXPECT_EQ(search.listedIndex(bytes), -1);
  }
}

TEST(ChunkSearch, FindsTheFirstListedPositionLikeAPlainWalk) {
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    const bool reversedFile = round % 2 == 1;
    const ChunkSearch& search = ChunkSearch::forByteOrder(reversedFile);
    // Mostly text-like bytes, so that pairs of ID letters are common.
    std::vector<uint8_t> bytes(rng() % 300 + 4);
    for (uint8_t& b : bytes)
      b = round % 3 == 0 ? static_cast<uint8_t>(rng()) : "adtfmXLJ "[rng() % 9];
    const int planted = static_cast<int>(rng() % 3);
    for (int k = 0; k < planted; ++k) {
      FourCC id = kListedChunkIDs[rng() % 24];
      if (reversedFile) id = id.reversed();
      const size_t at = rng() % (bytes.size() - 3);
      for (size_t i = 0; i < 4; ++i) bytes[at + i] = id[i];
    }
    const size_t end = bytes.size() - 3;
    const size_t begin = rng() % (end + 1);
    size_t expected = begin;
    while (expected < end && plainIndex(&bytes[expected], reversedFile) < 0) ++expected;
    ASSERT_EQ(search.find(bytes.data(), begin, end), expected) << "round " << round;
  }
}

}  // namespace
}  // namespace bextkit::detail
