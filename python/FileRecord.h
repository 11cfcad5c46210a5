// What the Python module hands out for one file, made without the interpreter (so that files are
// read with the global interpreter lock released): the decoded record as the library decodes it,
// the chain, the rate the timecode is counted at and where that rate came from. Texts stay the
// file's bytes; the bindings turn them into Python objects when they are asked for.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bwf/AudioFormat.h"
#include "bwf/BextRecord.h"
#include "bwf/ChunkChain.h"
#include "bwf/Ixml.h"
#include "cli/FileScan.h"

namespace bextkit::python {

struct FileRecord {
  std::string path;  // as given, bytes
  std::optional<AudioFormat> format;
  std::optional<AudioLength> audio;
  std::optional<BextRecord> bext;  // none without a bext chunk
  ChunkChain chain;
  std::string rate;        // the SMPTE rate's name the timecode is counted at: "25", "29.97"
  std::string rateSource;  // "option", "iXML", "description" or "default"
  std::string rateNote;    // where iXML and the description state different rates
  std::optional<cli::SmpteTime> timecode;  // none without a time reference and a sample rate
  std::optional<IxmlRecord> ixml;          // none without an iXML chunk
};

// A file read, or why it could not be.
struct ReadResult {
  std::optional<FileRecord> record;
  std::string why;
};

// Reads the file at `path`, counting its timecode at the rate `rateName` names (any name the
// command line's --rate takes; empty for the rate the file states). Never throws.
ReadResult readRecord(const std::string& path, const std::string& rateName);

// Reads files on worker threads and hands the results out in the order of the paths. Workers
// stay at most a window of files ahead of the consumer, so memory stays bounded however many
// files there are.
class ParallelReader {
 public:
  ParallelReader(std::vector<std::string> paths, std::string rateName, unsigned workers);
  ~ParallelReader();
  ParallelReader(const ParallelReader&) = delete;
  ParallelReader& operator=(const ParallelReader&) = delete;

  // The next result, waiting for it; none after the last.
  std::optional<ReadResult> next();

 private:
  void work();

  const std::vector<std::string> paths_;
  const std::string rateName_;
  const size_t window_;
  std::vector<std::optional<ReadResult>> results_;  // by path, until handed out
  size_t claimed_ = 0;                              // the next path a worker takes
  size_t handed_ = 0;                               // the next result the consumer takes
  bool stopping_ = false;
  std::mutex lock_;
  std::condition_variable ready_, room_;
  std::vector<std::thread> workers_;
};

}  // namespace bextkit::python
