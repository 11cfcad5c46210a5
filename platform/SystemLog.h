// The system log: where the classes write their progress and diagnostic messages. Messages go to
// one replaceable sink; the default sink writes each message to standard error. Threads may log
// and replace the sink at once.
#pragma once

#include <functional>
#include <string>

namespace bextkit {

using LogSink = std::function<void(const std::string& message)>;

// Installs `sink` and returns the previous one. An empty sink restores the default.
LogSink setLogSink(LogSink sink);

// Hands `message` to the current sink unchanged (messages carry their own trailing newline).
void systemLog(const std::string& message);

}  // namespace bextkit
