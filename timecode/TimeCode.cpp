// Timecode strings and frame counts: splitting, drop-frame legality, timecode to frames and the
// number of frames in a day.
#include "timecode/TimeCode.h"

#include <cmath>
#include <string_view>

#include "timecode/CNumbers.h"
#include "timecode/TimeCodeInternal.h"

namespace bextkit {

using cnum::add32;
using cnum::mul32;
using cnum::truncToInt32;

int integralFPS(float fps) {
  const float t = std::truncf(fps);
  const float d = std::fabs(fps - t);
  return static_cast<double>(d) < 1e-05 ? 1 : 0;
}

namespace detail {

std::string_view fieldSeparator(float fps) { return integralFPS(fps) ? ":" : ";"; }

void splitFields(std::string_view text, std::string_view separator,
                 std::array<int32_t, 4>& vector) {
  for (size_t field = 0; field < vector.size(); ++field) {
    const size_t at = text.find(separator);
    if (at == std::string_view::npos) {
      vector[field] = cnum::atoi(text);
      return;
    }
    vector[field] = cnum::atoi(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
}

bool isLegalFields(const std::array<int32_t, 4>& v) {
  const int32_t minutes = v[1], seconds = v[2], frames = v[3];
  const bool skipped =
      minutes > 0 && minutes % 10 != 0 && seconds == 0 && (frames == 0 || frames == 1);
  return !skipped;
}

int32_t framesFromFields(std::array<int32_t, 4> v, float fps) {
  int32_t count;
  if (integralFPS(fps)) {
    const float h = static_cast<float>(v[0]), m = static_cast<float>(v[1]);
    const float s = static_cast<float>(v[2]), f = static_cast<float>(v[3]);
    // Each product and sum is rounded to single precision, in this order.
    const float secondsPart = f + s * fps;
    const float minutesPart = (m * fps) * 60.0f;
    const float hoursPart = (h * fps) * 3600.0f;
    count = truncToInt32((secondsPart + minutesPart) + hoursPart);
  } else {
    int32_t f = v[3];
    // A label that drop-frame counting skips reads as the label two frames later.
    if (!isLegalFields(v)) f = add32(f, 2);
    const int32_t totalMinutes = add32(mul32(v[0], 60), v[1]);
    const float rounded = std::roundf(fps);
    int32_t minuteFrames;
    int32_t dropTerm;
    if (totalMinutes < 1) {
      minuteFrames = truncToInt32((static_cast<float>(v[1]) * rounded) * 60.0f);
      dropTerm = 0;
    } else {
      const float minuteLength = std::roundf(fps * 60.0f);
      minuteFrames = truncToInt32(static_cast<float>(totalMinutes) * minuteLength);
      dropTerm = mul32(totalMinutes / 10, 2);
    }
    const int32_t secondFrames = truncToInt32(static_cast<float>(v[2]) * rounded);
    count = add32(add32(add32(f, secondFrames), minuteFrames), dropTerm);
  }
  // The count passes through single precision once more: exact up to 2^24 in magnitude.
  return truncToInt32(static_cast<float>(count));
}

}  // namespace detail

void TimeCode::splitTimeCode(const std::string& timeCode, float fps,
                             std::array<int32_t, 4>& vector) {
  detail::splitFields(cnum::cStringView(timeCode), detail::fieldSeparator(fps), vector);
}

bool TimeCode::isLegalTimeCode(const std::string& timeCode, float fps) {
  std::array<int32_t, 4> v{};
  splitTimeCode(timeCode, fps, v);
  return detail::isLegalFields(v);
}

int32_t TimeCode::framesFromTimeCode(const std::string& timeCode, float fps) {
  std::array<int32_t, 4> v{};
  splitTimeCode(timeCode, fps, v);
  return detail::framesFromFields(v, fps);
}

int32_t TimeCode::maxFramesForFPS(float fps) {
  // The label 23:59:59 with a frames field equal to the rounded rate, one past the day's last
  // label. Formatting it with %02d and splitting it again gives back exactly these fields, so
  // the fields are counted directly.
  return detail::framesFromFields({23, 59, 59, cnum::lroundfToInt32(fps)}, fps);
}

}  // namespace bextkit
