// The chunk scan done the plain way, as a reference for the parser's block-wise scan: one
// window of up to 512 bytes per position, one byte at a time across unlisted bytes, every
// value taken from the bytes with no shortcut. Slow on purpose; for tests only.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bextkit::testsupport {

struct LiteralScanResult {
  std::map<std::string, std::string> directory;
  uint16_t flags = 0;
  uint32_t sampleRate = 0;
  int32_t bitsPerSample = 0, channels = 0;
  std::string description, originator, originatorReference, originationDate, originationTime,
      codingHistory;
  uint32_t timeReferenceLow = 0, timeReferenceHigh = 0;
  std::optional<std::array<uint8_t, 864>> chunkImage;
  std::vector<uint8_t> window;
  std::vector<std::string> messages;
  std::string timecode = "00:00:00:00";
  int32_t ticks = 0;
  uint64_t steps = 0;
  uint64_t listedChunks = 0;
};

// Scans `file` (its whole contents) as the parser would at frame rate `fps`.
LiteralScanResult literalScan(const std::vector<uint8_t>& file, float fps);

}  // namespace bextkit::testsupport
