// Timecode arithmetic for film and video work: timecode strings, frame counts (drop-frame at
// non-integral rates), frames in a day, and feet-and-frames footage. Stateless; rates are frames
// per second as float, counts are signed 32-bit frames.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bextkit {

// 1 when the rate differs from its truncation toward zero by less than 0.00001 (25, 25.000001),
// else 0 (29.97, 24.999999, NaN, infinity). Integral rates count plainly and use ":" in timecode
// strings; other rates count drop-frame and use ";".
int integralFPS(float fps);

class TimeCode {
 public:
  TimeCode() = delete;

  // Splits "hh:mm:ss:ff" (";" at a non-integral rate) into hours, minutes, seconds and frames,
  // reading each field as C's atoi does. Fields after the last separator found keep the values
  // already in `vector`.
  static void splitTimeCode(const std::string& timeCode, float fps, std::array<int32_t, 4>& vector);

  // False for the labels that drop-frame counting skips: frames 0 and 1 of second 0 in every
  // minute that is not a multiple of ten. The rate only picks the separator.
  [[nodiscard]] static bool isLegalTimeCode(const std::string& timeCode, float fps);

  // Frame count of a timecode string; at a non-integral rate counted drop-frame, a skipped label
  // read as the label two frames later.
  [[nodiscard]] static int32_t framesFromTimeCode(const std::string& timeCode, float fps);

  // Frames in 24 hours at the rate (2160000 at 25, 2589408 at 29.97).
  [[nodiscard]] static int32_t maxFramesForFPS(float fps);

  // "hh:mm:ss:ff" of a frame count ("hh:mm:ss;ff" at a non-integral rate), wrapping at 24 hours.
  // A negative count is taken from the end of the day in absolute mode, else by its magnitude.
  // Empty for a rate below 0.5, NaN, or one so large that a minute of frames leaves 32 bits.
  [[nodiscard]] static std::string timeCodeFromFrames(int32_t frames, float fps, bool absoluteMode);

  // Footage: `type` is frames per foot, `delimiter` stands between feet and frames ("0771+09").
  // A type below 1 gives "" (an empty array), -1 from feetFramesToFrames.
  [[nodiscard]] static std::string framesToFeetFrames(int32_t frames, int32_t type,
                                                      const std::string& delimiter);
  // Frame count of a footage string; -1 when the delimiter does not occur (or is empty).
  [[nodiscard]] static int32_t feetFramesToFrames(const std::string& feetFrames, int32_t type,
                                                  const std::string& delimiter);
  [[nodiscard]] static std::string feetFramesToTimeCode(const std::string& feetFrames, int32_t type,
                                                        const std::string& delimiter, float fps);
  // Normalised footage "HHHH,LLLL,FF": feet / 10000, feet % 10000, frames below one foot. The rate
  // is accepted for the callers' sake and not used.
  [[nodiscard]] static std::string feetFramesToDelimitedList(const std::string& feetFrames,
                                                             int32_t type,
                                                             const std::string& delimiter,
                                                             float fps);
  [[nodiscard]] static std::vector<std::string> feetFramesToArray(const std::string& feetFrames,
                                                                  int32_t type,
                                                                  const std::string& delimiter,
                                                                  float fps);
};

}  // namespace bextkit
