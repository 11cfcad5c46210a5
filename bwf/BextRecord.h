// What a file's broadcast extension chunk holds, decoded once from the bytes of the chunk in the
// file's byte order: every field with its presence (a field that a chunk cut short does not hold
// is absent, never read as zeros), the texts as the file's bytes, the 64-bit time reference, the
// UMID, version 2's loudness values and the whole coding history. The encoder beside the decoder
// writes each field at the same place, so that no other module knows where a field lies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bwf/BWFChunk.h"

namespace bextkit {

// The fields of the record, in the order they lie in the chunk.
enum class BextField : uint8_t {
  kDescription,
  kOriginator,
  kOriginatorReference,
  kOriginationDate,
  kOriginationTime,
  kTimeReference,
  kVersion,
  kUmid,
  kLoudnessValue,
  kLoudnessRange,
  kMaxTruePeakLevel,
  kMaxMomentaryLoudness,
  kMaxShortTermLoudness,
  kReserved,
  kCodingHistory,
};
constexpr size_t kBextFieldCount = 15;

struct BextFieldInfo {
  BextField field;
  // The field's one name in every message, table and record: "Description", "Version" ...
  const char* name;
  // Where the field lies, counted from the chunk ID; the coding history has no fixed width.
  BWFChunk::Field place;
};
const BextFieldInfo& fieldInfo(BextField field);
inline const char* fieldName(BextField field) { return fieldInfo(field).name; }
// The field of that name; nothing for a name no field has.
std::optional<BextField> fieldNamed(std::string_view name);
// The five loudness fields of version 2, in their order.
constexpr std::array<BextField, 5> kLoudnessFields = {
    BextField::kLoudnessValue, BextField::kLoudnessRange, BextField::kMaxTruePeakLevel,
    BextField::kMaxMomentaryLoudness, BextField::kMaxShortTermLoudness};
// "LUFS", "LU" or "dBTP".
const char* loudnessUnit(BextField field);

using Umid = std::array<uint8_t, 64>;
// A UMID as hex digits: 64 for a basic one (the second half of the field zero), 128 for an
// extended one; "0" for a field of zeros.
std::string umidText(const Umid& umid);

struct BextRecord {
  // A loudness field's value when nothing was measured.
  static constexpr int16_t kNotMeasured = 0x7FFF;
  // The fixed fields end, and the coding history begins, this many bytes after the chunk ID.
  static constexpr size_t kFixedSize = BWFChunk::kCodingHistory.offset;

  // The chunk's bytes from its ID on, as far as the chunk and the file hold them (the fixed
  // fields and up to the longest coding history that is read).
  std::vector<uint8_t> bytes;
  uint64_t offset = 0;        // where the chunk starts in the file
  uint64_t declaredSize = 0;  // the payload size its header declares
  bool bigEndian = false;     // the integers are big-endian (RIFX files)

  std::optional<std::string> description, originator, originatorReference, originationDate,
      originationTime;  // each up to its first NUL
  std::optional<uint64_t> timeReference;
  std::optional<uint16_t> version;
  std::optional<Umid> umid;
  // Hundredths of their unit, kNotMeasured when not measured; only where the chunk holds them
  // and the version is 2 or later (earlier versions reserve the bytes). By kLoudnessFields.
  std::array<std::optional<int16_t>, 5> loudness{};
  // Up to its first NUL; absent when the chunk ends at its fixed fields, and when the field
  // starts with two 0x00 or two 0xFF bytes (a field without a history).
  std::optional<std::string> codingHistory;

  // Whether the chunk holds all of the field (the coding history: any of it).
  bool holds(BextField field) const;
  // The field's bytes as the chunk holds them (fewer where it is cut short; the coding history
  // to the end of what was read).
  std::string_view fieldBytes(BextField field) const;
  // Where the field starts in the file.
  uint64_t fileOffset(BextField field) const { return offset + fieldInfo(field).place.offset; }
  const std::optional<int16_t>& loudnessOf(BextField field) const;
  // The field's two bytes as a loudness value whatever the version (earlier versions reserve
  // them, and raising the version makes them one); none where the chunk ends before them.
  std::optional<int16_t> loudnessBytesOf(BextField field) const;
  std::optional<int16_t>& loudnessOf(BextField field);
};

// Decodes the chunk whose bytes (from its ID on) are `bytes`, which starts at `offset` in the
// file and declares `declaredSize` bytes of payload.
BextRecord decodeBext(std::vector<uint8_t> bytes, uint64_t offset, uint64_t declaredSize,
                      bool bigEndian);

// The encoder: each writes one field into the chunk image at the place the decoder reads it.
// A text is written up to its first NUL and followed by zeros to the end of its field.
void encodeText(BWFChunk& image, BextField field, std::string_view text);
void encodeTimeReference(BWFChunk& image, uint64_t samples, bool bigEndian);
void encodeVersion(BWFChunk& image, uint16_t version, bool bigEndian);
void encodeUmid(BWFChunk& image, const Umid& umid);
void encodeLoudness(BWFChunk& image, BextField field, int16_t hundredths, bool bigEndian);
// The chunk size field, in the file's byte order for sizes.
void encodeChunkSize(BWFChunk& image, uint32_t size, bool bigEndian);

}  // namespace bextkit
