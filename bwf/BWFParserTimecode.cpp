// The time reference as timecode: a count of samples since midnight split into hours, minutes,
// seconds and frames (in double precision, frames rounded half away from zero, a frame count
// equal to the rate carried into the seconds), and the stored timecode as text.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bwf/BWFParser.h"
#include "timecode/CNumbers.h"

namespace bextkit {

namespace {

// A count split down to the seconds, with the frames still fractional.
struct SplitCount {
  uint32_t hours, minutes, seconds;
  double frames;
};

// False when the samples per hour are 0 modulo 2^32 (no rate to divide by).
bool splitCount(uint64_t count, uint32_t sampleRate, float fps, SplitCount& split) {
  const uint32_t samplesPerHour = sampleRate * 3600u;
  if (samplesPerHour == 0) return false;
  // Every count below 2^32 gives hours below 2^28. A 64-bit count could give more hours than
  // 32 bits hold (no recorder writes one): it stops just short of 2^32 hours.
  constexpr double kLastHour = 4294967296.0 - 1.0 / 1048576;
  const double t =
      std::min(static_cast<double>(count) / static_cast<double>(samplesPerHour), kLastHour);
  const double h = std::floor(t);
  const double m = (t - h) * 60.0;
  const double mWhole = std::floor(m);
  const double s = (m - mWhole) * 60.0;
  const double sWhole = std::floor(s);
  split = {static_cast<uint32_t>(h), static_cast<uint32_t>(mWhole), static_cast<uint32_t>(sWhole),
           (s - sWhole) * static_cast<double>(fps)};
  return true;
}

// lround on a 64-bit long: halves away from zero; NaN, infinities and values beyond 64 bits,
// for which lround has no defined result, give 0.
int64_t roundToLong(double value) {
  const double r = std::round(value);
  if (!(std::fabs(r) < 9223372036854775808.0)) return 0;
  return static_cast<int64_t>(r);
}

struct Timecode {
  int32_t hh, mm, ss, ff;
};

// Rounds the frames and carries a frame count equal to the rate into the seconds (and on into
// the minutes and hours; the hours never wrap).
Timecode finishFrames(const SplitCount& split, float fps) {
  int64_t frames = roundToLong(split.frames);
  uint32_t hours = split.hours, minutes = split.minutes, seconds = split.seconds;
  if (static_cast<float>(frames) == fps) {
    frames = 0;
    if (++seconds == 60) {
      seconds = 0;
      if (++minutes == 60) {
        minutes = 0;
        ++hours;
      }
    }
  }
  return {static_cast<int32_t>(hours), static_cast<int32_t>(minutes), static_cast<int32_t>(seconds),
          cnum::wrap32(frames)};
}

// "hh:mm:ss:ff", every field unsigned and at least two digits wide.
std::string formatTimecode(const Timecode& tc) {
  std::string text;
  for (const int32_t field : {tc.hh, tc.mm, tc.ss, tc.ff}) {
    if (!text.empty()) text.push_back(':');
    cnum::appendPadded(text, static_cast<uint32_t>(field), 2);
  }
  return text;
}

}  // namespace

void BWFParser::deriveTimecode() {
  // The time reference is the 64-bit count of both halves: at 96 kHz and above, a day runs
  // past 2^32 samples. A rate of 0 (a format chunk that is not linear audio, or states 0)
  // leaves the stored timecode as it was.
  const uint64_t count = (uint64_t{sampSinceMidnightHigh_} << 32) | sampSinceMidnightLow_;
  SplitCount split;
  if (!splitCount(count, samplePerSeconds_, framesPerSecond_, split)) return;
  const Timecode tc = finishFrames(split, framesPerSecond_);
  hh_ = tc.hh;
  mm_ = tc.mm;
  ss_ = tc.ss;
  ff_ = tc.ff;
  ticks_ = static_cast<int32_t>(count % samplePerSeconds_);
}

void BWFParser::countFramesAt(float fps) {
  framesPerSecond_ = fps;
  if (scanned_ && (chunkFlags_ & kBWFFlagBext) && (chunkFlags_ & kBWFFlagFmt)) {
    deriveTimecode();
    saved_.timecode = {hh_, mm_, ss_, ff_};
  }
}

std::string BWFParser::timecodeString() {
  timecodeStr_ = formatTimecode({hh_, mm_, ss_, ff_});
  return timecodeStr_;
}

void BWFParser::setTimeCodeHH(int32_t hh, int32_t mm, int32_t ss, int32_t ff, int32_t /*fps*/) {
  hh_ = hh;
  mm_ = mm;
  ss_ = ss;
  ff_ = ff;
}

std::string BWFParser::hex2timecode(int32_t count, float fps, int32_t sps) {
  SplitCount split;
  Timecode tc{0, 0, 0, 0};
  if (splitCount(static_cast<uint32_t>(count), static_cast<uint32_t>(sps), fps, split)) {
    float ownRate;
    getfps(&ownRate);
    const float ticksPerFrame = static_cast<float>(sps) * ownRate;
    const double fraction = split.frames - std::floor(split.frames);
    setTicks(cnum::wrap32(roundToLong(fraction * static_cast<double>(ticksPerFrame))));
    tc = finishFrames(split, fps);
  } else {
    setTicks(0);  // no samples per hour: every field 0
  }
  std::string text = formatTimecode(tc);
  text.push_back(',');
  cnum::appendPadded(text, static_cast<uint32_t>(getTicks()), 6);
  return text;
}

std::string BWFParser::hexStr2timecode(const std::string& count, const std::string& fps,
                                       const std::string& sps) {
  // As sscanf reads "%x", "%f" and "%li", with every overflow defined: the count keeps its low
  // 32 bits of a saturated unsigned long, the samples per second those of a saturated long.
  // Text that does not parse reads as 0.
  const auto countValue = static_cast<uint32_t>(std::strtoul(count.c_str(), nullptr, 16));
  const float fpsValue = std::strtof(fps.c_str(), nullptr);
  const int32_t spsValue = cnum::wrap32(std::strtol(sps.c_str(), nullptr, 0));
  std::printf("sps: %li\n", static_cast<long>(spsValue));
  return hex2timecode(static_cast<int32_t>(countValue), fpsValue, spsValue);
}

}  // namespace bextkit
