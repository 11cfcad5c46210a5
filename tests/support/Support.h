// Helpers for the tests and benchmarks: RIFF/WAVE files built byte by byte, temporary
// directories, a quiet system log and child processes. No test framework here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SystemLog.h"

namespace bextkit::testsupport {

using Bytes = std::vector<uint8_t>;

// Reversed ("FFIR") files hold IDs byte-reversed and numbers big-endian.
enum class ByteOrder { kNormal, kReversed };

// A bext payload: texts, time reference (little-endian in every file), zero Version, UMID and
// Reserved, coding history; padded with zeros or cut to payloadSize.
struct BextFields {
  std::string description{}, originator{}, originatorReference{}, originationDate{},
      originationTime{};
  uint64_t timeReference = 0;
  std::string codingHistory{};
  size_t payloadSize = 858;
};
Bytes bextPayload(const BextFields& fields);

class RiffBuilder {
 public:
  explicit RiffBuilder(ByteOrder order = ByteOrder::kNormal) : order_(order) {}
  RiffBuilder& riffHeader();  // "RIFF", the size of the rest (set by bytes()), "WAVE"
  // A chunk declaring its payload's size, padded to even unless `pad` is off.
  RiffBuilder& chunk(std::string_view id, const Bytes& payload, bool pad = true);
  RiffBuilder& chunkDeclaring(std::string_view id, uint32_t declaredSize, const Bytes& payload);
  // A 16-byte format chunk; tag 0xFFFE makes a 40-byte extensible one of `subFormat`.
  RiffBuilder& fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                   uint16_t subFormat = 1);
  RiffBuilder& bext(const BextFields& fields) { return chunk("bext", bextPayload(fields)); }
  RiffBuilder& raw(const Bytes& bytes);
  RiffBuilder& id(std::string_view fourChars);  // in the file's byte order
  Bytes bytes() const;

 private:
  RiffBuilder& put(uint64_t value, size_t width);
  ByteOrder order_;
  Bytes bytes_;
  bool patchRiffSize_ = false;
};

// A private directory, removed with its content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string pathOf(const std::string& name) const { return path_ + "/" + name; }
  std::string write(const std::string& name, const Bytes& bytes) const;  // a new file; its path

 private:
  std::string path_;
};

Bytes readWholeFile(const std::string& path);

// Keeps the system log's messages while it lives.
struct LogCapture {
  LogCapture() : previous(setLogSink([this](const std::string& m) { messages.push_back(m); })) {}
  ~LogCapture() { setLogSink(previous); }
  std::vector<std::string> messages;
  LogSink previous;
};

// Runs a program with its output and error streams collected; its wait status (0: exited 0).
struct ProcessResult {
  int status;
  std::string output;
};
ProcessResult runProcess(const std::vector<std::string>& argv);

}  // namespace bextkit::testsupport
