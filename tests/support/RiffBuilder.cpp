#include "RiffBuilder.h"

#include <algorithm>

namespace bextkit::testsupport {

namespace {

void put(Bytes& out, uint64_t value, size_t width, ByteOrder order) {
  for (size_t i = 0; i < width; ++i) {
    const size_t shift = order == ByteOrder::kNormal ? 8 * i : 8 * (width - 1 - i);
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

void putText(Bytes& out, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? text[i] : 0);
}

}  // namespace

Bytes bextPayload(const BextFields& f) {
  Bytes out;
  putText(out, f.description, 256);
  putText(out, f.originator, 32);
  putText(out, f.originatorReference, 32);
  putText(out, f.originationDate, 10);
  putText(out, f.originationTime, 8);
  put(out, f.timeReference, 8, ByteOrder::kNormal);  // low half, then high half
  out.resize(out.size() + 2 + 64 + 190, 0);          // Version, UMID, Reserved
  out.insert(out.end(), f.codingHistory.begin(), f.codingHistory.end());
  out.resize(f.payloadSize, 0);
  return out;
}

Bytes fmtPayload(ByteOrder order, uint16_t tag, uint16_t channels, uint32_t sampleRate,
                 uint16_t bits, bool extensible, uint16_t subFormat) {
  Bytes out;
  const uint16_t blockAlign = static_cast<uint16_t>(channels * ((bits + 7) / 8));
  put(out, extensible ? 0xFFFE : tag, 2, order);
  put(out, channels, 2, order);
  put(out, sampleRate, 4, order);
  put(out, uint64_t{sampleRate} * blockAlign, 4, order);
  put(out, blockAlign, 2, order);
  put(out, bits, 2, order);
  if (!extensible) return out;
  put(out, 22, 2, order);    // cbSize
  put(out, bits, 2, order);  // valid bits
  put(out, 0, 4, order);     // channel mask
  // SubFormat GUID: the format code, then the fixed tail of KSDATAFORMAT_SUBTYPE_*.
  put(out, subFormat, 2, order);
  for (const uint8_t b :
       {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
    out.push_back(b);
  }
  return out;
}

RiffBuilder& RiffBuilder::riffHeader() {
  id("RIFF");
  u32(0);
  id("WAVE");
  patchRiffSize_ = true;
  return *this;
}

RiffBuilder& RiffBuilder::chunk(std::string_view fourChars, const Bytes& payload, bool pad) {
  chunkDeclaring(fourChars, static_cast<uint32_t>(payload.size()), payload);
  if (pad && payload.size() % 2 == 1) bytes_.push_back(0);
  return *this;
}

RiffBuilder& RiffBuilder::chunkDeclaring(std::string_view fourChars, uint32_t declaredSize,
                                         const Bytes& payload) {
  id(fourChars);
  u32(declaredSize);
  return raw(payload);
}

RiffBuilder& RiffBuilder::fmt(uint16_t tag, uint16_t channels, uint32_t sampleRate, uint16_t bits) {
  return chunk("fmt ", fmtPayload(order_, tag, channels, sampleRate, bits));
}

RiffBuilder& RiffBuilder::fmtExtensible(uint16_t channels, uint32_t sampleRate, uint16_t bits,
                                        uint16_t subFormat) {
  return chunk("fmt ", fmtPayload(order_, 0xFFFE, channels, sampleRate, bits, true, subFormat));
}

RiffBuilder& RiffBuilder::raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

RiffBuilder& RiffBuilder::id(std::string_view fourChars) {
  Bytes four(fourChars.begin(), fourChars.end());
  four.resize(4, ' ');
  if (order_ == ByteOrder::kReversed) std::reverse(four.begin(), four.end());
  return raw(four);
}

RiffBuilder& RiffBuilder::u16(uint16_t value) {
  put(bytes_, value, 2, order_);
  return *this;
}

RiffBuilder& RiffBuilder::u32(uint32_t value) {
  put(bytes_, value, 4, order_);
  return *this;
}

Bytes RiffBuilder::bytes() const {
  Bytes out = bytes_;
  if (patchRiffSize_ && out.size() >= 8) {
    Bytes size;
    put(size, out.size() - 8, 4, order_);
    std::copy(size.begin(), size.end(), out.begin() + 4);
  }
  return out;
}

}  // namespace bextkit::testsupport
