// A four-character code (chunk ID, HFS type or creator code): four bytes in file order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bextkit {

class FourCC {
 public:
  constexpr FourCC() = default;
  // From a four-character literal: FourCC("fmt ").
  constexpr explicit FourCC(const char (&text)[5])
      : bytes_{static_cast<uint8_t>(text[0]), static_cast<uint8_t>(text[1]),
               static_cast<uint8_t>(text[2]), static_cast<uint8_t>(text[3])} {}
  static constexpr FourCC fromBytes(const uint8_t* bytes) {
    FourCC code;
    for (size_t i = 0; i < 4; ++i) code.bytes_[i] = bytes[i];
    return code;
  }

  constexpr uint8_t operator[](size_t i) const { return bytes_[i]; }
  // The same bytes in the opposite order ("FFIR" for "RIFF").
  constexpr FourCC reversed() const {
    FourCC code;
    for (size_t i = 0; i < 4; ++i) code.bytes_[i] = bytes_[3 - i];
    return code;
  }
  // The four bytes read as a little-endian word: a cheap key for comparisons and tables.
  constexpr uint32_t word() const {
    return static_cast<uint32_t>(bytes_[0]) | (static_cast<uint32_t>(bytes_[1]) << 8) |
           (static_cast<uint32_t>(bytes_[2]) << 16) | (static_cast<uint32_t>(bytes_[3]) << 24);
  }
  std::string str() const { return std::string(bytes_.begin(), bytes_.end()); }

  // As one word: the array's own comparison is a call to memcmp where it is not inlined.
  friend constexpr bool operator==(const FourCC& a, const FourCC& b) {
    return a.word() == b.word();
  }

 private:
  std::array<uint8_t, 4> bytes_{};
};

// The chunk IDs that the chunk scan recognises, in ASCII order.
namespace chunkid {
inline constexpr FourCC kJUNK{"JUNK"}, kRIFF{"RIFF"}, kWAVE{"WAVE"}, kAdtl{"adtl"}, kAton{"aton"},
    kBext{"bext"}, kCue{"cue "}, kData{"data"}, kFact{"fact"}, kFile{"file"}, kFill{"fill"},
    kFilm{"film"}, kFmt{"fmt "}, kIXML{"iXML"}, kLabl{"labl"}, kLtxt{"ltxt"}, kMinf{"minf"},
    kNote{"note"}, kOmfi{"omfi"}, kPlst{"plst"}, kSlnt{"slnt"}, kUmid{"umid"}, kWavl{"wavl"},
    kZfil{"zfil"};
// Not listed: the other form headers, and the chunks only the chain walk and the write-back use.
inline constexpr FourCC kRIFX{"RIFX"}, kRF64{"RF64"}, kBW64{"BW64"}, kDs64{"ds64"}, kList{"LIST"};
}  // namespace chunkid

inline constexpr std::array<FourCC, 24> kListedChunkIDs = {
    chunkid::kJUNK, chunkid::kRIFF, chunkid::kWAVE, chunkid::kAdtl, chunkid::kAton, chunkid::kBext,
    chunkid::kCue,  chunkid::kData, chunkid::kFact, chunkid::kFile, chunkid::kFill, chunkid::kFilm,
    chunkid::kFmt,  chunkid::kIXML, chunkid::kLabl, chunkid::kLtxt, chunkid::kMinf, chunkid::kNote,
    chunkid::kOmfi, chunkid::kPlst, chunkid::kSlnt, chunkid::kUmid, chunkid::kWavl, chunkid::kZfil};

}  // namespace bextkit
