#include "Programs.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "RiffBuilder.h"

extern char** environ;

namespace bextkit::testsupport {

std::string writeLargeWave(const std::string& path, uint64_t audioBytes) {
  const uint64_t riffSize = kLargeWaveHeaderSize - 8 + audioBytes;
  if (audioBytes % 2 != 0 || riffSize > UINT32_MAX) return "the data does not fit a RIFF file";
  const Bytes header = RiffBuilder()
                           .id("RIFF")
                           .u32(static_cast<uint32_t>(riffSize))
                           .id("WAVE")
                           .fmt(1, 2, 48000, 16)
                           .chunkDeclaring("data", static_cast<uint32_t>(audioBytes), {})
                           .bytes();
  if (header.size() != kLargeWaveHeaderSize) return "the header has an unexpected size";

  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot create " + path + ": " + std::strerror(errno);
  std::vector<uint64_t> block((1 << 20) / sizeof(uint64_t));
  std::mt19937_64 noise(20240506);
  for (uint64_t& word : block) word = noise();
  bool ok = ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size());
  for (uint64_t written = 0, index = 0; ok && written < audioBytes; written += 1 << 20, ++index) {
    // The block's number in the first word of every 4 KiB page tells the blocks apart.
    for (size_t page = 0; page < block.size(); page += 4096 / sizeof(uint64_t)) {
      block[page] = index;
    }
    const size_t length = static_cast<size_t>(std::min<uint64_t>(1 << 20, audioBytes - written));
    ok = ::write(fd, block.data(), length) == static_cast<ssize_t>(length);
  }
  const std::string why = ok ? "" : std::string(": ") + std::strerror(errno);
  if (::close(fd) != 0 || !ok) return "cannot write " + path + why;
  return "";
}

pid_t spawnProgram(const std::vector<std::string>& argv, const std::string& output) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

ProcessResult runProcess(const std::vector<std::string>& argv) {
  char output[] = "/tmp/bextkit-output-XXXXXX";
  const int fd = ::mkstemp(output);
  if (fd < 0) return {-1, std::string("cannot make an output file: ") + std::strerror(errno)};
  ::close(fd);
  ProcessResult result{-1, ""};
  const pid_t pid = spawnProgram(argv, output);
  int status = 0;
  if (pid < 0) {
    result.output = argv[0] + ": cannot be started";
  } else if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  }
  if (pid >= 0) {
    std::ifstream in(output, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    result.output = text.str();
  }
  ::unlink(output);
  return result;
}

}  // namespace bextkit::testsupport
