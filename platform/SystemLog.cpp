#include "platform/SystemLog.h"

#include <cstdio>
#include <utility>

namespace bextkit {

namespace {

void writeToStandardError(const std::string& message) {
  std::fwrite(message.data(), 1, message.size(), stderr);
  if (message.empty() || message.back() != '\n') std::fputc('\n', stderr);
}

LogSink& currentSink() {
  static LogSink sink = writeToStandardError;
  return sink;
}

}  // namespace

LogSink setLogSink(LogSink sink) {
  if (!sink) sink = writeToStandardError;
  return std::exchange(currentSink(), std::move(sink));
}

void systemLog(const std::string& message) { currentSink()(message); }

}  // namespace bextkit
