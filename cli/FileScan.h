// Reading one file as the commands that look at files read it: the scan, with its progress
// messages shown or dropped, and the file's time reference as SMPTE timecode.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "bwf/BWFParser.h"
#include "bwf/FileScan.h"
#include "platform/SystemLog.h"
#include "timecode/Smpte.h"

namespace bextkit::cli {

using bextkit::scanFile;

// Routes the scan's progress messages to the error stream with --verbose, and drops them
// otherwise, for as long as it lives.
class ScanMessages {
 public:
  ScanMessages(bool verbose, std::ostream& err)
      : previous_(verbose ? setLogSink([&err](const std::string& m) { err << m; }) : silenceLog()) {
  }
  ~ScanMessages() { setLogSink(previous_); }
  ScanMessages(const ScanMessages&) = delete;
  ScanMessages& operator=(const ScanMessages&) = delete;

 private:
  LogSink previous_;
};

// The file's time reference as SMPTE timecode: the frame it lies in and the samples past that
// frame's start; nothing without a bext chunk and a sample rate.
struct SmpteTime {
  smpte::Position position;
  std::string label;  // hours past 23 where the time reference lies a day or more after midnight
  bool beyondDay = false;
};
std::optional<SmpteTime> smpteTime(const BWFParser& parser, const smpte::Rate& rate);

}  // namespace bextkit::cli
