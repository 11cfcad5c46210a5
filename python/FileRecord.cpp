#include "python/FileRecord.h"

#include <algorithm>
#include <utility>

#include "bwf/FileScan.h"
#include "check/Conformance.h"
#include "cli/Arguments.h"
#include "cli/FileRate.h"
#include "timecode/Smpte.h"

namespace bextkit::python {

ReadResult readRecord(const std::string& path, const std::string& rateName) {
  ReadResult result;
  std::optional<cli::FrameRate> option;
  if (!rateName.empty() && !(option = cli::parseRate("rate", rateName, false, result.why))) {
    return result;
  }
  std::unique_ptr<BWFParser> parser = scanFile(path, option ? option->fps : 25.0f, result.why);
  if (!parser) return result;
  FileRecord& r = result.record.emplace();
  r.path = path;
  r.format = parser->audioFormat();
  r.audio = audioLengthOf(*parser);
  r.bext = parser->bextRecord();
  r.chain = parser->chunkChain();
  // The iXML is read once, for its fields and for the rate it states.
  const XmlDocument document = check::ixmlOf(*parser);
  if (r.chain.first(chunkid::kIXML)) r.ixml = decodeIxml(document);
  const cli::FileRate rate = cli::rateOfFile(option, false, *parser, &document);
  // Without the system's own arithmetic the rate is always an SMPTE one.
  r.rate = smpte::rateName(*rate.rate.smpte);
  r.rateSource = rate.source;
  r.rateNote = rate.note;
  if (r.bext && r.bext->timeReference) r.timecode = cli::smpteTime(*parser, *rate.rate.smpte);
  return result;
}

ParallelReader::ParallelReader(std::vector<std::string> paths, std::string rateName,
                               unsigned workers)
    : paths_(std::move(paths)),
      rateName_(std::move(rateName)),
      window_(std::max(1u, workers) * 64),
      results_(paths_.size()) {
  const size_t count = std::min<size_t>(std::max(1u, workers), paths_.size());
  for (size_t i = 0; i < count; ++i) workers_.emplace_back([this] { work(); });
}

ParallelReader::~ParallelReader() {
  {
    const std::lock_guard guard(lock_);
    stopping_ = true;
  }
  room_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ParallelReader::work() {
  std::unique_lock guard(lock_);
  for (;;) {
    room_.wait(guard, [this] {
      return stopping_ || claimed_ == paths_.size() || claimed_ < handed_ + window_;
    });
    if (stopping_ || claimed_ == paths_.size()) return;
    const size_t index = claimed_++;
    guard.unlock();
    ReadResult result = readRecord(paths_[index], rateName_);
    guard.lock();
    results_[index] = std::move(result);
    if (index == handed_) ready_.notify_one();
  }
}

std::optional<ReadResult> ParallelReader::next() {
  std::unique_lock guard(lock_);
  if (handed_ == paths_.size()) return std::nullopt;
  ready_.wait(guard, [this] { return results_[handed_].has_value(); });
  std::optional<ReadResult> result = std::exchange(results_[handed_], std::nullopt);
  ++handed_;
  guard.unlock();
  room_.notify_all();
  return result;
}

}  // namespace bextkit::python
