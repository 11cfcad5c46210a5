// Shared by the write-back tests: a fixed clock, quiet logging, and files to save into.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "RiffBuilder.h"
#include "TempDir.h"
#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"
#include "platform/Clock.h"

namespace bextkit::testsupport {

// Every save in a test stamps this date and time into a new chunk.
class FixedClock {
 public:
  FixedClock() : previous_(setDateTextSource([] { return "2026-12-06 21:00:05 +0100"; })) {}
  ~FixedClock() { setDateTextSource(previous_); }
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;

 private:
  DateTextSource previous_;
};

// Audio bytes that no scan mistakes for a chunk ID.
inline Bytes audioBytes(size_t n) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
  return bytes;
}

// RIFF header, a PCM format chunk and a data chunk: a file without a broadcast extension.
inline Bytes plainWave(ByteOrder order = ByteOrder::kNormal, uint32_t sampleRate = 48000,
                       size_t audio = 4000) {
  return RiffBuilder(order)
      .riffHeader()
      .fmt(1, 2, sampleRate, 16)
      .chunk("data", audioBytes(audio))
      .bytes();
}

// The same with a broadcast extension chunk directly after the RIFF header.
inline Bytes bextWave(const BextFields& fields, ByteOrder order = ByteOrder::kNormal,
                      uint32_t sampleRate = 48000) {
  return RiffBuilder(order)
      .riffHeader()
      .bext(fields)
      .fmt(1, 2, sampleRate, 16)
      .chunk("data", audioBytes(4000))
      .bytes();
}

// A parser that has scanned the file at `path`; its log is kept out of the test's output.
inline std::unique_ptr<BWFParser> scanned(const std::string& path, float fps = 25.0f) {
  std::unique_ptr<BWFParser> parser = BWFParser::initWithPath(path, fps);
  if (parser) {
    LogCapture quiet;
    parser->parse();
  }
  return parser;
}

// The names in a directory, to see that a save left nothing behind.
inline std::vector<std::string> directoryEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The chunk IDs met by walking the chunk list by its sizes from offset 12.
inline std::vector<std::string> chunkList(const Bytes& file, bool reversed = false) {
  std::vector<std::string> ids;
  for (size_t at = 12; at + 8 <= file.size();) {
    std::string id(file.begin() + static_cast<std::ptrdiff_t>(at),
                   file.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    if (reversed) std::reverse(id.begin(), id.end());
    ids.push_back(id);
    const uint32_t size = reversed ? loadBE32(file.data(), at + 4) : loadLE32(file.data(), at + 4);
    at += 8 + size + (size & 1);
  }
  return ids;
}

}  // namespace bextkit::testsupport
