// Film footage: frame counts and feet-and-frames strings.
#include <string_view>

#include "timecode/CNumbers.h"
#include "timecode/TimeCode.h"

namespace bextkit {

namespace {

struct Footage {
  int32_t feet;
  int32_t frames;
};

// Feet and the frames left below one foot, both truncated toward zero (type >= 1).
Footage splitCount(int32_t count, int32_t type) { return {count / type, count % type}; }

std::string normalisedPart(int32_t value, int width) {
  std::string out;
  cnum::appendPadded(out, value, width);
  return out;
}

}  // namespace

std::string TimeCode::framesToFeetFrames(int32_t frames, int32_t type,
                                         const std::string& delimiter) {
  if (type < 1) return std::string();
  const Footage f = splitCount(frames, type);
  std::string out;
  cnum::appendPadded(out, f.feet, 4);
  out += delimiter;
  cnum::appendPadded(out, f.frames, 2);
  return out;
}

int32_t TimeCode::feetFramesToFrames(const std::string& feetFrames, int32_t type,
                                     const std::string& delimiter) {
  const std::string_view text = cnum::cStringView(feetFrames);
  const std::string_view delim = cnum::cStringView(delimiter);
  if (type < 1 || delim.empty()) return -1;
  const size_t at = text.find(delim);
  if (at == std::string_view::npos) return -1;
  // The frames start after the whole delimiter, so "12ft05" with "ft" is 12 feet 5 frames. Any
  // later occurrence of the delimiter ends the frames' digits like any other character.
  const int32_t feet = cnum::atoi(text.substr(0, at));
  const int32_t frames = cnum::atoi(text.substr(at + delim.size()));
  return cnum::add32(cnum::mul32(feet, type), frames);
}

std::string TimeCode::feetFramesToTimeCode(const std::string& feetFrames, int32_t type,
                                           const std::string& delimiter, float fps) {
  if (type < 1) return std::string();
  return timeCodeFromFrames(feetFramesToFrames(feetFrames, type, delimiter), fps, false);
}

std::string TimeCode::feetFramesToDelimitedList(const std::string& feetFrames, int32_t type,
                                                const std::string& delimiter, float fps) {
  const std::vector<std::string> parts = feetFramesToArray(feetFrames, type, delimiter, fps);
  if (parts.empty()) return std::string();
  return parts[0] + ',' + parts[1] + ',' + parts[2];
}

std::vector<std::string> TimeCode::feetFramesToArray(const std::string& feetFrames, int32_t type,
                                                     const std::string& delimiter, float /*fps*/) {
  if (type < 1) return {};
  const Footage f = splitCount(feetFramesToFrames(feetFrames, type, delimiter), type);
  return {normalisedPart(f.feet / 10000, 4), normalisedPart(f.feet % 10000, 4),
          normalisedPart(f.frames, 2)};
}

}  // namespace bextkit
