#include "bwf/BextRecord.h"

#include <algorithm>

#include "bwf/ByteOrder.h"

namespace bextkit {

namespace {

using F = BextField;

constexpr std::array<BextFieldInfo, kBextFieldCount> kInfo = {{
    {F::kDescription, "Description", BWFChunk::kDescription},
    {F::kOriginator, "Originator", BWFChunk::kOriginator},
    {F::kOriginatorReference, "OriginatorReference", BWFChunk::kOriginatorReference},
    {F::kOriginationDate, "OriginationDate", BWFChunk::kOriginationDate},
    {F::kOriginationTime, "OriginationTime", BWFChunk::kOriginationTime},
    {F::kTimeReference,
     "TimeReference",
     {BWFChunk::kTimeReferenceLow.offset,
      BWFChunk::kTimeReferenceHigh.end() - BWFChunk::kTimeReferenceLow.offset}},
    {F::kVersion, "Version", BWFChunk::kVersion},
    {F::kUmid, "UMID", BWFChunk::kUMID},
    {F::kLoudnessValue, "LoudnessValue", BWFChunk::kLoudnessValue},
    {F::kLoudnessRange, "LoudnessRange", BWFChunk::kLoudnessRange},
    {F::kMaxTruePeakLevel, "MaxTruePeakLevel", BWFChunk::kMaxTruePeakLevel},
    {F::kMaxMomentaryLoudness, "MaxMomentaryLoudness", BWFChunk::kMaxMomentaryLoudness},
    {F::kMaxShortTermLoudness, "MaxShortTermLoudness", BWFChunk::kMaxShortTermLoudness},
    // Version 2 reserves what follows the loudness values; earlier versions all 190 bytes.
    {F::kReserved,
     "Reserved",
     {BWFChunk::kMaxShortTermLoudness.end(),
      BWFChunk::kReserved.end() - BWFChunk::kMaxShortTermLoudness.end()}},
    {F::kCodingHistory, "CodingHistory", {BWFChunk::kCodingHistory.offset, 0}},
}};

constexpr bool inOrder() {
  for (size_t i = 0; i < kInfo.size(); ++i) {
    if (static_cast<size_t>(kInfo[i].field) != i) return false;
  }
  return true;
}
static_assert(inOrder(), "the table lists the fields in the order of BextField");

size_t loudnessIndex(BextField field) {
  return static_cast<size_t>(field) - static_cast<size_t>(F::kLoudnessValue);
}

uint16_t load16(const std::vector<uint8_t>& bytes, const BWFChunk::Field& f, bool bigEndian) {
  return bigEndian ? loadBE16(bytes.data(), f.offset) : loadLE16(bytes.data(), f.offset);
}
uint32_t load32(const std::vector<uint8_t>& bytes, const BWFChunk::Field& f, bool bigEndian) {
  return bigEndian ? loadBE32(bytes.data(), f.offset) : loadLE32(bytes.data(), f.offset);
}

}  // namespace

const BextFieldInfo& fieldInfo(BextField field) { return kInfo[static_cast<size_t>(field)]; }

std::optional<BextField> fieldNamed(std::string_view name) {
  const auto info = std::find_if(kInfo.begin(), kInfo.end(),
                                 [&](const BextFieldInfo& i) { return name == i.name; });
  return info == kInfo.end() ? std::nullopt : std::optional<BextField>(info->field);
}

std::string umidText(const Umid& umid) {
  const auto zero = [](auto first, auto last) {
    return std::all_of(first, last, [](uint8_t b) { return b == 0; });
  };
  if (zero(umid.begin(), umid.end())) return "0";
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (size_t i = 0; i < (zero(umid.begin() + 32, umid.end()) ? 32u : 64u); ++i) {
    hex.push_back(kHex[umid[i] >> 4]);
    hex.push_back(kHex[umid[i] & 0xF]);
  }
  return hex;
}

const char* loudnessUnit(BextField field) {
  return field == F::kLoudnessRange ? "LU" : field == F::kMaxTruePeakLevel ? "dBTP" : "LUFS";
}

bool BextRecord::holds(BextField field) const {
  const BWFChunk::Field& place = fieldInfo(field).place;
  return field == F::kCodingHistory ? bytes.size() > place.offset : place.end() <= bytes.size();
}

std::string_view BextRecord::fieldBytes(BextField field) const {
  const BWFChunk::Field& place = fieldInfo(field).place;
  if (place.offset >= bytes.size()) return {};
  const size_t width = field == F::kCodingHistory ? bytes.size() - place.offset : place.width;
  return {reinterpret_cast<const char*>(bytes.data()) + place.offset,
          std::min(width, bytes.size() - place.offset)};
}

const std::optional<int16_t>& BextRecord::loudnessOf(BextField field) const {
  return loudness[loudnessIndex(field)];
}
std::optional<int16_t> BextRecord::loudnessBytesOf(BextField field) const {
  if (!holds(field)) return std::nullopt;
  return static_cast<int16_t>(load16(bytes, fieldInfo(field).place, bigEndian));
}

std::optional<int16_t>& BextRecord::loudnessOf(BextField field) {
  return loudness[loudnessIndex(field)];
}

BextRecord decodeBext(std::vector<uint8_t> bytes, uint64_t offset, uint64_t declaredSize,
                      bool bigEndian) {
  BextRecord r;
  r.bytes = std::move(bytes);
  r.offset = offset;
  r.declaredSize = declaredSize;
  r.bigEndian = bigEndian;
  const auto text = [&r](BextField field) -> std::optional<std::string> {
    if (!r.holds(field)) return std::nullopt;
    const std::string_view all = r.fieldBytes(field);
    return std::string(all.substr(0, all.find('\0')));
  };
  r.description = text(F::kDescription);
  r.originator = text(F::kOriginator);
  r.originatorReference = text(F::kOriginatorReference);
  r.originationDate = text(F::kOriginationDate);
  r.originationTime = text(F::kOriginationTime);
  if (r.holds(F::kTimeReference)) {
    r.timeReference = uint64_t{load32(r.bytes, BWFChunk::kTimeReferenceHigh, bigEndian)} << 32 |
                      load32(r.bytes, BWFChunk::kTimeReferenceLow, bigEndian);
  }
  if (r.holds(F::kVersion)) r.version = load16(r.bytes, BWFChunk::kVersion, bigEndian);
  if (r.holds(F::kUmid)) {
    r.umid.emplace();
    std::copy_n(r.bytes.begin() + static_cast<std::ptrdiff_t>(BWFChunk::kUMID.offset),
                r.umid->size(), r.umid->begin());
  }
  if (r.version.value_or(0) >= 2) {
    for (const BextField field : kLoudnessFields) r.loudnessOf(field) = r.loudnessBytesOf(field);
  }
  const std::string_view history = r.fieldBytes(F::kCodingHistory);
  // A byte past the end of the chunk counts as zero.
  const char first = history.empty() ? '\0' : history[0];
  const char second = history.size() < 2 ? '\0' : history[1];
  const bool none = (first == '\0' && second == '\0') || (first == '\xFF' && second == '\xFF');
  if (!history.empty() && !none) {
    r.codingHistory = std::string(history.substr(0, history.find('\0')));
  }
  return r;
}

void encodeText(BWFChunk& image, BextField field, std::string_view text) {
  // The image holds the first bytes of a coding history, up to its end.
  const BWFChunk::Field& place =
      field == F::kCodingHistory ? BWFChunk::kCodingHistory : fieldInfo(field).place;
  const auto first = image.bytes.begin() + static_cast<std::ptrdiff_t>(place.offset);
  const size_t length = std::min({text.find('\0'), text.size(), place.width});
  std::fill_n(std::copy_n(text.begin(), length, first), place.width - length, uint8_t{0});
}

void encodeTimeReference(BWFChunk& image, uint64_t samples, bool bigEndian) {
  image.store32(BWFChunk::kTimeReferenceLow, static_cast<uint32_t>(samples), bigEndian);
  image.store32(BWFChunk::kTimeReferenceHigh, static_cast<uint32_t>(samples >> 32), bigEndian);
}

void encodeVersion(BWFChunk& image, uint16_t version, bool bigEndian) {
  image.store16(BWFChunk::kVersion, version, bigEndian);
}

void encodeUmid(BWFChunk& image, const Umid& umid) {
  std::copy(umid.begin(), umid.end(),
            image.bytes.begin() + static_cast<std::ptrdiff_t>(BWFChunk::kUMID.offset));
}

void encodeLoudness(BWFChunk& image, BextField field, int16_t hundredths, bool bigEndian) {
  image.store16(fieldInfo(field).place, static_cast<uint16_t>(hundredths), bigEndian);
}

void encodeChunkSize(BWFChunk& image, uint32_t size, bool bigEndian) {
  image.store32(BWFChunk::kCkSize, size, bigEndian);
}

}  // namespace bextkit
