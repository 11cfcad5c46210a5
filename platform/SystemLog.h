// The system log: where the classes write their progress and diagnostic messages. Messages go to
// one replaceable sink; the default sink writes each message to standard error. Threads may log
// and replace the sink at once.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace bextkit {

using LogSink = std::function<void(const std::string& message)>;

// Installs `sink` and returns the previous one. An empty sink restores the default.
LogSink setLogSink(LogSink sink);

// Installs a sink that drops every message, and returns the previous one. While it stands, a
// message costs its sender nothing: no lock is taken and no text is made.
LogSink silenceLog();

// Hands `message` to the current sink unchanged (messages carry their own trailing newline).
void systemLog(std::string_view message);

}  // namespace bextkit
