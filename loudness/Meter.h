// Loudness of a WAV file's audio as EBU R 128 measures it (ITU-R BS.1770-4, EBU Tech 3341 and
// 3342): integrated loudness, loudness range, maximum true peak, maximum momentary and maximum
// short-term loudness, the five values version 2 of the broadcast extension holds. The audio is
// read once, and the same pass can give its MD5.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bwf/AudioFormat.h"
#include "bwf/BextRecord.h"
#include "check/AudioDigest.h"
#include "platform/FileHandle.h"

namespace bextkit::loudness {

// A value that cannot be measured (the integrated loudness of silence, the short-term loudness
// of a file shorter than its 3-second window) is minus infinity.
struct Measurement {
  double integrated = 0;                // LUFS
  double range = 0;                     // LU
  double truePeak = 0;                  // dBTP
  double maxMomentary = 0;              // LUFS
  double maxShortTerm = 0;              // LUFS
  std::optional<check::Digest> digest;  // of the data chunk's payload, when asked for

  // The value of a loudness field of the bext chunk.
  double of(BextField field) const;
};

// A value as the field stores it: hundredths, rounded half away from zero, within what 16 bits
// hold; 7FFFh ("not measured") for minus infinity or no number.
int16_t storedValue(double value);

// How each channel counts in the sum: 1.0, 1.41 for surround channels, 0 for LFE. By the
// extensible format's channel mask where it has one (back and side channels are surrounds, as
// 5.1 files tag theirs either way), else by position as BS.1770 assigns them: mono, L R, L R C,
// L R Ls Rs, L R C Ls Rs, L R C LFE Ls Rs; channels past those count 1.0.
enum class Weight { kNone, kNormal, kSurround };
std::vector<Weight> channelWeights(const AudioFormat& format);

// Why the audio of this format cannot be measured; nothing when it can: PCM of 8, 16, 24 or 32
// bits and IEEE float of 32 or 64, plain or extensible, in either byte order.
std::optional<std::string> whyNotMeasurable(const AudioFormat& format);

struct Options {
  bool digest = false;  // also the MD5 of the audio, in the same pass
  // Called now and then with the bytes of audio read so far and in all.
  std::function<void(uint64_t done, uint64_t total)> progress;
};

// Measures the audio of the file's first data chunk on its chunk chain, read once. Nothing, with
// the reason in `why`, for a file that is no WAV file, has no fmt or data chunk, a coding that
// cannot be measured, or audio that cannot be read whole.
[[nodiscard]] std::optional<Measurement> measure(FileHandle& file, uint64_t fileSize,
                                                 const Options& options, std::string& why);
[[nodiscard]] std::optional<Measurement> measure(const std::string& path, const Options& options,
                                                 std::string& why);

}  // namespace bextkit::loudness
