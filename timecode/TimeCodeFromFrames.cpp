// Frame counts to timecode strings.
#include <algorithm>
#include <cmath>

#include "timecode/CNumbers.h"
#include "timecode/TimeCode.h"
#include "timecode/TimeCodeInternal.h"

namespace bextkit {

namespace {

// Above this rate a full minute of frames (60 x the rounded rate) no longer fits in 32 bits.
constexpr float kMaxRate = 35791392.0f;

// Minute lengths alternate in blocks of ten: the first minute of each block is a full minute,
// the nine after it short minutes (at an integral rate all are the same length).
struct MinuteLengths {
  int64_t full;
  int64_t shortMinute;
  int64_t block() const { return full + 9 * shortMinute; }
  // Frames in the first k minutes.
  int64_t framesIn(int64_t k) const {
    const int64_t inBlock = k % 10;
    return (k / 10) * block() + (inBlock > 0 ? full + (inBlock - 1) * shortMinute : 0);
  }
  // The most minutes whose frames add up to no more than count (count >= 0).
  int64_t minutesWithin(int64_t count) const {
    int64_t minutes = (count / block()) * 10;
    int64_t left = count % block();
    if (left >= full) {
      left -= full;
      minutes += 1 + std::min<int64_t>(9, left / shortMinute);
    }
    return minutes;
  }
};

}  // namespace

std::string TimeCode::timeCodeFromFrames(int32_t frames, float fps, bool absoluteMode) {
  // R and the short minute are divisors; rates outside this range leave no sound result.
  if (!(fps >= 0.5f && fps <= kMaxRate)) return std::string();

  const int32_t rounded = static_cast<int32_t>(std::lroundf(fps));
  const MinuteLengths lengths{60 * int64_t{rounded},
                              static_cast<int64_t>(std::truncf(fps * 60.0f))};

  int32_t count = frames;
  if (count < 0) {
    // Absolute mode reads -1 as the last frame of the day (one day added, once); otherwise the
    // magnitude is taken, and the most negative count, which has none in 32 bits, stays as it is.
    count = absoluteMode ? cnum::add32(count, maxFramesForFPS(fps))
                         : static_cast<int32_t>(0u - static_cast<uint32_t>(count));
  }

  // Minutes are taken off one at a time for as long as each fits in what is left, and never more
  // than count / short minute of them: whole blocks of ten by division, then the rest.
  int64_t minuteTotal = 0;
  int64_t remainder = count;
  if (count > 0) {
    const int64_t bound = count / lengths.shortMinute;
    minuteTotal = std::min(bound, lengths.minutesWithin(count));
    remainder = count - lengths.framesIn(minuteTotal);
  }

  const bool integral = integralFPS(fps) != 0;
  // A short minute has no labels for frames 0 and 1 of second 0.
  if (!integral && minuteTotal > 0 && minuteTotal % 10 != 0) remainder += 2;

  int64_t hours = minuteTotal / 60;
  const int64_t minutes = minuteTotal % 60;
  const int64_t seconds = remainder / rounded;
  const int64_t frameNumber = remainder % rounded;
  if (hours > 23) hours %= 24;

  std::string out;  // within the short-string buffer for every count of a day
  cnum::appendPadded(out, hours, 2);
  out.push_back(':');
  cnum::appendPadded(out, minutes, 2);
  out.push_back(':');
  cnum::appendPadded(out, seconds, 2);
  out.push_back(integral ? ':' : ';');
  cnum::appendPadded(out, frameNumber, 2);
  return out;
}

}  // namespace bextkit
