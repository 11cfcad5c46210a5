// Real peer tools in tests: FFmpeg and libsndfile write Broadcast Wave files for bextkit to read,
// and read back the files that bextkit wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bextkit::interop {

struct ProcessResult {
  int exitStatus;      // the program's exit status, or -1 when it could not be run
  std::string output;  // standard output and standard error, interleaved
};

// Runs a program found on PATH with these arguments and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv);

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
// and the broadcast extension. Empty on success, else FFmpeg's complaint.
std::string writeWithFfmpeg(const std::string& path, int sampleRate, int channels,
                            const std::string& codec, const PeerBext& bext);

// A 0.1 s tone written by libsndfile in `format` (an SF_FORMAT_* combination) with the broadcast
// extension set through SFC_SET_BROADCAST_INFO. Empty on success, else the reason.
std::string writeWithSndfile(const std::string& path, int sampleRate, int channels, int format,
                             const PeerBext& bext);

}  // namespace bextkit::interop
