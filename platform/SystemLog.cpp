#include "platform/SystemLog.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace bextkit {

namespace {

void writeToStandardError(const std::string& message) {
  std::fwrite(message.data(), 1, message.size(), stderr);
  if (message.empty() || message.back() != '\n') std::fputc('\n', stderr);
}

// The sink is swapped while other threads may be logging (a command run beside the desktop
// application's checks): each message takes the sink under the lock and runs it outside.
std::mutex sinkLock;

std::shared_ptr<const LogSink>& currentSink() {
  static std::shared_ptr<const LogSink> sink = std::make_shared<LogSink>(writeToStandardError);
  return sink;
}

// The sink drops every message (silenceLog): senders need not look for it.
std::atomic<bool> silenced{false};

LogSink replaceSink(LogSink sink, bool silent) {
  if (!sink) sink = writeToStandardError;
  auto next = std::make_shared<const LogSink>(std::move(sink));
  const std::lock_guard lock(sinkLock);
  const std::shared_ptr<const LogSink> previous = std::exchange(currentSink(), std::move(next));
  silenced = silent;
  return *previous;
}

}  // namespace

LogSink setLogSink(LogSink sink) { return replaceSink(std::move(sink), false); }

LogSink silenceLog() {
  return replaceSink([](const std::string&) {}, true);
}

void systemLog(std::string_view message) {
  if (silenced.load(std::memory_order_relaxed)) return;
  std::shared_ptr<const LogSink> sink;
  {
    const std::lock_guard lock(sinkLock);
    sink = currentSink();
  }
  (*sink)(std::string(message));
}

}  // namespace bextkit
