// The broadcast extension record and the byte-order helpers it is read with.
#include "bwf/BWFChunk.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "bwf/ByteOrder.h"

namespace bextkit {
namespace {

TEST(BWFChunk, TimeReferenceIsStoredLittleEndianAtItsOddOffset) {
  BWFChunk record;
  record.store32(BWFChunk::kTimeReferenceLow, 172800000);
  const uint8_t expected[] = {0x00, 0xB8, 0x4C, 0x0A, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), record.bytes.begin() + 346));
  EXPECT_EQ(record.load32(BWFChunk::kTimeReferenceLow), 172800000u);
  EXPECT_EQ(record.load32(BWFChunk::kTimeReferenceHigh), 0u);
  EXPECT_TRUE(std::all_of(record.bytes.begin(), record.bytes.begin() + 346,
                          [](uint8_t b) { return b == 0; }));
}

TEST(BWFChunk, TextStopsAtTheFirstNulOrTheFieldsEnd) {
  BWFChunk record;
  std::fill_n(record.bytes.begin() + 8, 256, 'D');    // Description full, no NUL
  std::fill_n(record.bytes.begin() + 264, 32, 'O');   // Originator full
  std::fill_n(record.bytes.begin() + 296, 3, 'R');    // OriginatorReference "RRR"
  std::fill_n(record.bytes.begin() + 610, 254, 'C');  // CodingHistory up to the record's end
  EXPECT_EQ(record.text(BWFChunk::kDescription), std::string(256, 'D'));
  EXPECT_EQ(record.text(BWFChunk::kOriginator), std::string(32, 'O'));
  EXPECT_EQ(record.text(BWFChunk::kOriginatorReference), "RRR");
  EXPECT_EQ(record.text(BWFChunk::kOriginationDate), "");
  EXPECT_EQ(record.text(BWFChunk::kCodingHistory), std::string(254, 'C'));
}

TEST(ByteOrder, LoadsAndStoresAtAnyOffset) {
  const uint8_t bytes[] = {0xFF, 0x01, 0x02, 0x03, 0x04, 0xFF};
  EXPECT_EQ(loadLE16(bytes, 1), 0x0201);
  EXPECT_EQ(loadBE16(bytes, 1), 0x0102);
  EXPECT_EQ(loadLE32(bytes, 1), 0x04030201u);
  EXPECT_EQ(loadBE32(bytes, 1), 0x01020304u);
  EXPECT_EQ(loadLE32(bytes, 2), 0xFF040302u);

  uint8_t out[7] = {};
  storeLE32(out, 1, 0x04030201u);
  storeBE16(out, 5, 0x0506);
  const uint8_t expected[] = {0, 1, 2, 3, 4, 5, 6};
  EXPECT_TRUE(std::equal(std::begin(out), std::end(out), std::begin(expected)));
  storeBE32(out, 0, 0xA1B2C3D4u);
  storeLE16(out, 4, 0xE5F6);
  EXPECT_EQ(loadBE32(out, 0), 0xA1B2C3D4u);
  EXPECT_EQ(loadLE16(out, 4), 0xE5F6);
}

}  // namespace
}  // namespace bextkit
