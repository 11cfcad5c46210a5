#include "platform/Clock.h"

#include <ctime>
#include <utility>

namespace bextkit {

namespace {

std::string systemDateText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
  return std::string(text, n);
}

DateTextSource& currentSource() {
  static DateTextSource source = systemDateText;
  return source;
}

}  // namespace

std::string currentDateText() { return currentSource()(); }

DateTextSource setDateTextSource(DateTextSource source) {
  if (!source) source = systemDateText;
  return std::exchange(currentSource(), std::move(source));
}

}  // namespace bextkit
