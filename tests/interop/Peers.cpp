#include "Peers.h"

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

extern char** environ;

namespace bextkit::interop {

ProcessResult runProcess(const std::vector<std::string>& argv) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {-1, "pipe failed"};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  ProcessResult result{-1, ""};
  if (spawned != 0) {
    close(pipeFds[0]);
    result.output = argv[0] + ": " + std::strerror(spawned);
    return result;
  }
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    result.output.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

std::string writeWithFfmpeg(const std::string& path, int sampleRate, int channels,
                            const std::string& codec, const PeerBext& bext) {
  const std::string rate = std::to_string(sampleRate);
  const ProcessResult r = runProcess({"ffmpeg",
                                      "-nostdin",
                                      "-loglevel",
                                      "error",
                                      "-y",
                                      "-f",
                                      "lavfi",
                                      "-i",
                                      "sine=frequency=997:sample_rate=" + rate + ":duration=0.1",
                                      "-ac",
                                      std::to_string(channels),
                                      "-c:a",
                                      codec,
                                      "-write_bext",
                                      "1",
                                      "-metadata",
                                      "description=" + bext.description,
                                      "-metadata",
                                      "originator=" + bext.originator,
                                      "-metadata",
                                      "originator_reference=" + bext.originatorReference,
                                      "-metadata",
                                      "origination_date=" + bext.originationDate,
                                      "-metadata",
                                      "origination_time=" + bext.originationTime,
                                      "-metadata",
                                      "time_reference=" + std::to_string(bext.timeReference),
                                      "-metadata",
                                      "coding_history=" + bext.codingHistory,
                                      path});
  return r.exitStatus == 0 ? std::string() : "ffmpeg failed: " + r.output;
}

namespace {
template <size_t N>
void copyField(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(N, text.size()));
}
}  // namespace

std::string writeWithSndfile(const std::string& path, int sampleRate, int channels, int format,
                             const PeerBext& bext) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return std::string("libsndfile cannot create the file: ") + sf_strerror(nullptr);

  SF_BROADCAST_INFO bi{};
  copyField(bi.description, bext.description);
  copyField(bi.originator, bext.originator);
  copyField(bi.originator_reference, bext.originatorReference);
  copyField(bi.origination_date, bext.originationDate);
  copyField(bi.origination_time, bext.originationTime);
  bi.time_reference_low = static_cast<uint32_t>(bext.timeReference);
  bi.time_reference_high = static_cast<uint32_t>(bext.timeReference >> 32);
  bi.version = 1;
  copyField(bi.coding_history, bext.codingHistory);
  bi.coding_history_size = static_cast<uint32_t>(std::min<size_t>(256, bext.codingHistory.size()));
  std::string error;
  if (sf_command(file, SFC_SET_BROADCAST_INFO, &bi, sizeof bi) != SF_TRUE) {
    error = std::string("libsndfile refused the broadcast info: ") + sf_strerror(file);
  } else {
    const int frames = sampleRate / 10;
    std::vector<float> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i) {
      const float v = 0.25f * std::sin(2.0f * 3.14159265f * 997.0f * static_cast<float>(i) /
                                       static_cast<float>(sampleRate));
      std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(i) * channels, channels, v);
    }
    if (sf_writef_float(file, samples.data(), frames) != frames) {
      error = std::string("libsndfile could not write the audio: ") + sf_strerror(file);
    }
  }
  sf_close(file);
  return error;
}

}  // namespace bextkit::interop
