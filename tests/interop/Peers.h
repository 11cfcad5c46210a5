// Real peer tools in tests: FFmpeg and libsndfile write Broadcast Wave files for bextkit to read,
// and read back the files that bextkit wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Programs.h"

namespace bextkit::interop {

using testsupport::ProcessResult;
using testsupport::runProcess;

// The broadcast extension fields a peer is asked to write.
struct PeerBext {
  std::string description;
  std::string originator;
  std::string originatorReference;
  std::string originationDate;  // yyyy-mm-dd
  std::string originationTime;  // hh:mm:ss
  uint64_t timeReference = 0;
  std::string codingHistory;
};

// A 0.1 s tone written by FFmpeg's WAV muxer with `codec` (pcm_s16le, pcm_s24le, pcm_f32le ...)
// and, when given, the broadcast extension (without it the file has no bext chunk). Empty on
// success, else FFmpeg's complaint.
std::string writeWithFfmpeg(const std::string& path, int sampleRate, int channels,
                            const std::string& codec, const std::optional<PeerBext>& bext);

// A 0.1 s tone written by libsndfile in `format` (an SF_FORMAT_* combination) and, when given,
// the broadcast extension set through SFC_SET_BROADCAST_INFO. Empty on success, else the reason.
std::string writeWithSndfile(const std::string& path, int sampleRate, int channels, int format,
                             const std::optional<PeerBext>& bext);

// What a peer reads back of a file's broadcast extension. Texts are the fields' bytes up to the
// first NUL, as the file holds them.
struct PeerReading {
  std::string error;  // empty when the peer read the file and reported a bext chunk
  std::string description;
  std::string originator;
  std::string originatorReference;
  std::optional<uint64_t> timeReference;  // none when the peer reports no time reference
  // How many samples the reported time reference may lie from the file's, for a peer that
  // reports it rounded: 0 when it is exact.
  uint64_t timeReferenceSlack = 0;
};

// FFmpeg's WAV demuxer through ffprobe: the format tags comment, encoded_by,
// originator_reference and time_reference that it fills from the bext chunk.
PeerReading readWithFfprobe(const std::string& path);
// MediaInfo's JSON report: the General track's Description, Producer and Producer_Reference, and
// the time reference as the Audio track's Delay (seconds) times its SamplingRate when the Delay's
// source is the bext chunk. MediaInfo prints the Delay to the nanosecond when the bext chunk
// follows fmt, but to the millisecond when it comes first; the slack covers that rounding.
// MediaInfo decodes the texts as Latin-1; they are turned back into the file's bytes.
PeerReading readWithMediaInfo(const std::string& path);
// libsndfile's SFC_GET_BROADCAST_INFO.
PeerReading readWithSndfile(const std::string& path);

// The MD5 of the audio as FFmpeg decodes it, widened to 64-bit float samples (exact for every
// integer width up to 32 bits and for 32-bit float). Empty, with the reason in `error`, when
// FFmpeg cannot decode the file.
std::string decodedAudioMd5(const std::string& path, std::string& error);

// The audio as libsndfile decodes it.
struct SndfileAudio {
  std::string error;  // empty when the file was decoded
  int sampleRate = 0;
  int channels = 0;
  std::vector<double> samples;  // interleaved frames
};
SndfileAudio decodeWithSndfile(const std::string& path);

}  // namespace bextkit::interop
