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
// the nine after it short minutes (at an integral rate all are the same length). Up to kMaxRate
// both lengths fit in 32 bits and the counts divided by them are positive 32-bit values, so the
// divisions are unsigned 32-bit ones, which cost a fraction of 64-bit ones; a block may pass 32
// bits, and then holds more frames than any count.
struct MinuteLengths {
  uint32_t full;
  uint32_t shortMinute;
  uint64_t block() const { return full + uint64_t{9} * shortMinute; }
  // Frames in the first k minutes.
  uint64_t framesIn(uint32_t k) const {
    const uint32_t inBlock = k % 10;
    return (k / 10) * block() + (inBlock > 0 ? full + uint64_t{inBlock - 1} * shortMinute : 0);
  }
  // The most minutes whose frames add up to no more than count.
  uint32_t minutesWithin(uint32_t count) const {
    const uint64_t perBlock = block();
    uint32_t minutes = 0;
    uint32_t left = count;
    if (perBlock <= count) {
      const auto small = static_cast<uint32_t>(perBlock);
      minutes = (count / small) * 10;
      left = count % small;
    }
    if (left >= full) {
      left -= full;
      minutes += 1 + std::min<uint32_t>(9, left / shortMinute);
    }
    return minutes;
  }
};

}  // namespace

std::string TimeCode::timeCodeFromFrames(int32_t frames, float fps, bool absoluteMode) {
  // R and the short minute are divisors; rates outside this range leave no sound result.
  if (!(fps >= 0.5f && fps <= kMaxRate)) return std::string();

  const int32_t rounded = static_cast<int32_t>(std::lroundf(fps));
  const MinuteLengths lengths{
      60 * static_cast<uint32_t>(rounded),
      static_cast<uint32_t>(static_cast<int64_t>(std::truncf(fps * 60.0f)))};

  int32_t count = frames;
  if (count < 0) {
    // Absolute mode reads -1 as the last frame of the day (one day added, once); otherwise the
    // magnitude is taken, and the most negative count, which has none in 32 bits, stays as it is.
    count = absoluteMode ? cnum::add32(count, maxFramesForFPS(fps))
                         : static_cast<int32_t>(0u - static_cast<uint32_t>(count));
  }

  const bool integral = integralFPS(fps) != 0;
  uint32_t minuteTotal = 0;
  int64_t seconds;
  int64_t frameNumber;
  if (count > 0) {
    // Minutes are taken off one at a time for as long as each fits in what is left, and never
    // more than count / short minute of them: whole blocks of ten by division, then the rest.
    const auto positive = static_cast<uint32_t>(count);
    minuteTotal = std::min(positive / lengths.shortMinute, lengths.minutesWithin(positive));
    // Below 2^31 + 2: what is left of a positive count, and a short minute's two skipped labels.
    auto remainder = static_cast<uint32_t>(positive - lengths.framesIn(minuteTotal));
    // A short minute has no labels for frames 0 and 1 of second 0.
    if (!integral && minuteTotal > 0 && minuteTotal % 10 != 0) remainder += 2;
    seconds = remainder / static_cast<uint32_t>(rounded);
    frameNumber = remainder % static_cast<uint32_t>(rounded);
  } else {
    // A count still at or below zero is split as it is, toward zero.
    seconds = count / rounded;
    frameNumber = count % rounded;
  }

  char text[4 * 21];
  char* end = cnum::putPadded(text, (minuteTotal / 60) % 24, 2);
  *end++ = ':';
  end = cnum::putPadded(end, minuteTotal % 60, 2);
  *end++ = ':';
  end = cnum::putPadded(end, seconds, 2);
  *end++ = integral ? ':' : ';';
  end = cnum::putPadded(end, frameNumber, 2);
  return std::string(text, end);
}

}  // namespace bextkit
