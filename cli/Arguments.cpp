#include "cli/Arguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "timecode/TimeCode.h"

namespace bextkit::cli {

namespace {

constexpr float kMinRate = 0.5f;
constexpr float kMaxRate = 10000.0f;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<float> parseFrameRate(const std::string& name, const std::string& text,
                                    std::string& error) {
  float value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) ||
      value < kMinRate || value > kMaxRate) {
    error = name +
            ": expected a frame rate in frames per second from 0.5 to 10000 (such as 25 or " +
            "29.97), got " + quoted(text);
    return std::nullopt;
  }
  return value;
}

const char* const kRateList =
    "23.976 (or 23.98), 24, 25, 29.97 (drop-frame; or 29.97DF), 29.97nd (or 29.97NDF), 30, "
    "47.952, 48, 50, 59.94 (drop-frame; or 59.94DF), 59.94nd (or 59.94NDF), 60, 24000/1001, "
    "30000/1001 (drop-frame) or 60000/1001 (drop-frame)";

std::optional<FrameRate> parseRate(const std::string& name, const std::string& text, bool classic,
                                   std::string& error) {
  if (classic) {
    const std::optional<float> fps = parseFrameRate(name, text, error);
    if (!fps) return std::nullopt;
    return FrameRate{std::nullopt, *fps};
  }
  const std::optional<smpte::Rate> rate = smpte::parseRate(text);
  if (!rate) {
    error = name + ": expected " + kRateList + ", got " + quoted(text) +
            " (--classic takes any rate from 0.5 to 10000)";
    return std::nullopt;
  }
  return frameRateOf(*rate);
}

smpte::Rate defaultRate() { return *smpte::parseRate("25"); }

std::string shortestText(float fps) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, fps).ptr);
}

FrameRate frameRateOf(const smpte::Rate& rate) {
  // The system's arithmetic knows the rate by its decimal name; "nd" marks only the counting.
  const std::string decimal = smpte::rateName(rate);
  float fps = 0;
  std::from_chars(decimal.data(), decimal.data() + decimal.size(), fps);  // stops at "nd"
  return FrameRate{rate, fps};
}

std::optional<int32_t> parseInt32(const std::string& name, const std::string& text,
                                  std::string& error) {
  int32_t value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;  // from_chars takes no plus sign
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (begin == end || ec != std::errc() || ptr != end) {
    error = name + ": expected a whole number from -2147483648 to 2147483647, got " + quoted(text);
    return std::nullopt;
  }
  return value;
}

std::optional<int32_t> parseFramesPerFoot(const std::string& name, const std::string& text,
                                          std::string& error) {
  const std::optional<int32_t> value = parseInt32(name, text, error);
  if (value && *value >= 1) return value;
  error = name + ": expected the frames in one foot, a whole number of at least 1 (16 for 35 mm " +
          "4-perf, 40 for 16 mm), got " + quoted(text);
  return std::nullopt;
}

std::optional<std::string> parseTimeCode(const std::string& name, const std::string& text,
                                         float fps, std::string& error) {
  const char separator = integralFPS(fps) ? ':' : ';';
  std::string normalised;
  int fields = 1;
  bool digitsInField = false;
  bool ok = !text.empty();
  for (size_t i = 0; ok && i < text.size(); ++i) {
    const char c = text[i];
    if (isDigit(c)) {
      digitsInField = true;
      normalised.push_back(c);
    } else if (c == '-' && (i == 0 || text[i - 1] == ':' || text[i - 1] == ';')) {
      normalised.push_back(c);
    } else if ((c == ':' || c == ';') && digitsInField && fields < 4) {
      ++fields;
      digitsInField = false;
      normalised.push_back(separator);
    } else {
      ok = false;
    }
  }
  if (!ok || !digitsInField) {
    error = name +
            ": expected a timecode hh:mm:ss:ff (';' before the frames for drop-frame), got " +
            quoted(text);
    return std::nullopt;
  }
  return normalised;
}

}  // namespace bextkit::cli
