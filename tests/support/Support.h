// Helpers for the tests and benchmarks (no test framework here): RIFF/WAVE files built byte by
// byte, the bundled sample, temporary directories, a quiet system log, file operations that
// refuse a write, child processes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/SystemLog.h"

namespace bextkit::testsupport {

using Bytes = std::vector<uint8_t>;

// Reversed ("FFIR") files hold IDs byte-reversed and numbers big-endian; big-endian ("RIFX")
// files hold IDs in order and numbers, those of the bext record too, big-endian.
enum class ByteOrder { kNormal, kReversed, kBig };

// A bext payload: the texts, the time reference (little-endian in every file), zero Version,
// UMID and Reserved, then the coding history; padded with zeros or cut to payloadSize.
struct BextFields {
  std::string description{}, originator{}, reference{}, date{}, time{};
  uint64_t timeReference = 0;
  std::string codingHistory{};
  size_t payloadSize = 858;
};
Bytes bextPayload(const BextFields& fields, bool bigEndian = false);

class RiffBuilder {
 public:
  explicit RiffBuilder(ByteOrder order = ByteOrder::kNormal) : order_(order) {}
  RiffBuilder& riffHeader();  // "RIFF" ("RIFX"), the size of what follows (set by bytes()), "WAVE"
  RiffBuilder& chunk(std::string_view id, const Bytes& payload, bool pad = true);  // to even
  RiffBuilder& chunkDeclaring(std::string_view id, uint32_t size, const Bytes& payload);
  // 16 bytes of format; tag 0xFFFE makes 40 bytes of WAVE_FORMAT_EXTENSIBLE of `subFormat`.
  RiffBuilder& fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                   uint16_t subFormat = 1);
  RiffBuilder& bext(const BextFields& fields) {
    return chunk("bext", bextPayload(fields, order_ == ByteOrder::kBig));
  }
  RiffBuilder& raw(const Bytes& bytes);
  RiffBuilder& id(std::string_view fourChars);  // in the file's byte order
  Bytes bytes() const;

 private:
  RiffBuilder& put(uint64_t value, size_t width);
  ByteOrder order_;
  Bytes bytes_;
  bool patchRiffSize_ = false;
};

// A take as a recorder writes it: fmt (48 kHz, 2 channels of 24 bits), bext with `fields`, the
// `extra` chunks, then data holding `audio` (two frames of silence unless given).
Bytes recorderTake(const BextFields& fields,
                   const std::vector<std::pair<std::string, Bytes>>& extra = {},
                   const Bytes& audio = Bytes(12, 0));

// The bundled sample: a 48 kHz, 24-bit tone with a bext chunk.
std::string samplePath();
// A file or folder of the source tree, such as "tests/data/yardstick".
std::string sourcePath(const std::string& relative);

// A private directory, removed with its content when the object goes.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  std::string pathOf(const std::string& name) const { return path + "/" + name; }
  std::string write(const std::string& name, const Bytes& bytes) const;  // a new file; its path
  std::string path;
};

Bytes readWholeFile(const std::string& path);

// Keeps the system log's messages while it lives.
struct LogCapture {
  LogCapture() : previous(setLogSink([this](const std::string& m) { messages.push_back(m); })) {}
  ~LogCapture() { setLogSink(previous); }
  std::vector<std::string> messages;
  LogSink previous;
};

// Refuses to open `path` for writing (EACCES) while it lives; reading it still works.
struct WriteRefused {
  explicit WriteRefused(const std::string& path);
  ~WriteRefused();
  WriteRefused(const WriteRefused&) = delete;
  WriteRefused& operator=(const WriteRefused&) = delete;
};

// Runs a program; its wait status (0: it exited with 0) and its output and error streams.
std::pair<int, std::string> runProcess(const std::vector<std::string>& argv);

}  // namespace bextkit::testsupport
