// Builds RIFF/WAVE files byte by byte for tests and benchmarks, in normal form (IDs in reading
// order, little-endian sizes) or reversed form (IDs byte-reversed, sizes and format fields
// big-endian). Each call appends one annotated piece; offset() tells where the next one starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bextkit::testsupport {

using Bytes = std::vector<uint8_t>;

enum class ByteOrder { kNormal, kReversed };

// The broadcast extension payload (what a "bext" chunk's size counts): Description,
// Originator, OriginatorReference, OriginationDate, OriginationTime, the time reference
// (little-endian in every file), zero Version/UMID/Reserved, then the coding history.
struct BextFields {
  std::string description{}, originator{}, originatorReference{}, originationDate{},
      originationTime{};
  uint64_t timeReference = 0;
  std::string codingHistory{};
  size_t payloadSize = 858;  // padded with zeros or cut to this size
};
Bytes bextPayload(const BextFields& fields);

class RiffBuilder {
 public:
  explicit RiffBuilder(ByteOrder order = ByteOrder::kNormal) : order_(order) {}

  // "RIFF", a size covering the rest of the file (fixed up by bytes()), "WAVE".
  RiffBuilder& riffHeader();
  // A chunk whose size field states the payload's size; a pad byte follows an odd payload
  // when `pad` is set.
  RiffBuilder& chunk(std::string_view id, const Bytes& payload, bool pad = true);
  // A chunk whose size field states `declaredSize` whatever the payload holds.
  RiffBuilder& chunkDeclaring(std::string_view id, uint32_t declaredSize, const Bytes& payload);
  // A 16-byte format chunk: tag, channels, sample rate, byte rate, block align, bits.
  RiffBuilder& fmt(uint16_t tag, uint16_t channels, uint32_t sampleRate, uint16_t bits);
  // A 40-byte WAVE_FORMAT_EXTENSIBLE chunk whose SubFormat begins with `subFormat`.
  RiffBuilder& fmtExtensible(uint16_t channels, uint32_t sampleRate, uint16_t bits,
                             uint16_t subFormat);
  RiffBuilder& bext(const BextFields& fields) { return chunk("bext", bextPayload(fields)); }
  // Bytes as they are, and an ID or integer in the file's byte order.
  RiffBuilder& raw(const Bytes& bytes);
  RiffBuilder& id(std::string_view fourChars);
  RiffBuilder& u16(uint16_t value);
  RiffBuilder& u32(uint32_t value);

  size_t offset() const { return bytes_.size(); }
  Bytes bytes() const;

 private:
  ByteOrder order_;
  Bytes bytes_;
  bool patchRiffSize_ = false;
};

// The payload of a format chunk in the given byte order (16 bytes, or 40 when extensible).
Bytes fmtPayload(ByteOrder order, uint16_t tag, uint16_t channels, uint32_t sampleRate,
                 uint16_t bits, bool extensible = false, uint16_t subFormat = 0);

}  // namespace bextkit::testsupport
