// The broadcast extension record: the 864-byte image of a "bext" chunk, header included, in
// the one layout used for reading and writing. Offsets count from the chunk ID, so a record
// offset and an offset from the start of the chunk in the file are the same number. Texts are
// 8-bit, NUL-terminated only when shorter than their field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "bwf/ByteOrder.h"

namespace bextkit {

struct BWFChunk {
  struct Field {
    size_t offset;
    size_t width;
    constexpr size_t end() const { return offset + width; }
  };

  static constexpr Field kCkID{0, 4};
  static constexpr Field kCkSize{4, 4};
  static constexpr Field kDescription{8, 256};
  static constexpr Field kOriginator{264, 32};
  static constexpr Field kOriginatorReference{296, 32};
  static constexpr Field kOriginationDate{328, 10};
  static constexpr Field kOriginationTime{338, 8};
  static constexpr Field kTimeReferenceLow{346, 4};
  static constexpr Field kTimeReferenceHigh{350, 4};
  static constexpr Field kVersion{354, 2};
  static constexpr Field kUMID{356, 64};
  static constexpr Field kReserved{420, 190};
  static constexpr Field kCodingHistory{610, 254};

  static constexpr std::array<Field, 13> kFields = {kCkID,
                                                    kCkSize,
                                                    kDescription,
                                                    kOriginator,
                                                    kOriginatorReference,
                                                    kOriginationDate,
                                                    kOriginationTime,
                                                    kTimeReferenceLow,
                                                    kTimeReferenceHigh,
                                                    kVersion,
                                                    kUMID,
                                                    kReserved,
                                                    kCodingHistory};
  // Version 2 keeps the loudness values (signed hundredths, 0x7FFF when unused) at the start of
  // what version 1 and earlier reserve.
  static constexpr Field kLoudnessValue{420, 2};
  static constexpr Field kLoudnessRange{422, 2};
  static constexpr Field kMaxTruePeakLevel{424, 2};
  static constexpr Field kMaxMomentaryLoudness{426, 2};
  static constexpr Field kMaxShortTermLoudness{428, 2};
  static constexpr size_t kHeaderSize = 8;
  static constexpr size_t kSize = 864;

  std::array<uint8_t, kSize> bytes{};

  // The field's bytes up to its first NUL, or all of them when it holds none.
  std::string text(Field field) const;
  // The record's integers are little-endian, except in RIFX files, which hold them big-endian.
  uint32_t load32(Field field, bool bigEndian) const {
    return bigEndian ? loadBE32(bytes.data(), field.offset) : loadLE32(bytes.data(), field.offset);
  }
  uint16_t load16(Field field, bool bigEndian) const {
    return bigEndian ? loadBE16(bytes.data(), field.offset) : loadLE16(bytes.data(), field.offset);
  }
  void store16(Field field, uint16_t value, bool bigEndian) {
    if (bigEndian) {
      storeBE16(bytes.data(), field.offset, value);
    } else {
      storeLE16(bytes.data(), field.offset, value);
    }
  }
  void store32(Field field, uint32_t value, bool bigEndian) {
    if (bigEndian) {
      storeBE32(bytes.data(), field.offset, value);
    } else {
      storeLE32(bytes.data(), field.offset, value);
    }
  }
};

namespace detail {
constexpr bool fieldsTile() {
  size_t next = 0;
  for (const BWFChunk::Field& field : BWFChunk::kFields) {
    if (field.offset != next) return false;
    next = field.end();
  }
  return next == BWFChunk::kSize;
}
}  // namespace detail
static_assert(detail::fieldsTile(), "the record's fields must follow one another and fill it");

}  // namespace bextkit
