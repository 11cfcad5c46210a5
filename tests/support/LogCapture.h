// Collects the system log's messages while it lives, then puts the previous sink back.
#pragma once

#include <string>
#include <vector>

#include "platform/SystemLog.h"

namespace bextkit::testsupport {

class LogCapture {
 public:
  LogCapture()
      : previous_(setLogSink([this](const std::string& message) { messages.push_back(message); })) {
  }
  ~LogCapture() { setLogSink(previous_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> messages;

 private:
  LogSink previous_;
};

}  // namespace bextkit::testsupport
