// A save killed at any point leaves the file as it was or complete: a child process inserts a
// chunk into a 24 MiB file and kills itself (SIGKILL) at its first, second, third ... file
// operation that changes something (a write or a copy after doing half of it), until a save runs
// to its end. After each kill the file must be byte for byte the original or the new version,
// no temporary file may be a second name of it, and a later save must complete it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "platform/Clock.h"
#include "platform/FileHandle.h"

namespace bextkit::testsupport {
namespace {

// Saves `file` in a child process that dies at the file operation `killAt` (0: never), copying
// in the kernel or through a buffer; the child's wait status.
int save(const std::string& file, int killAt, bool kernelCopy) {
  const pid_t pid = ::fork();
  if (pid != 0) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    return status;
  }
  static int calls = 0;
  const auto point = [killAt](auto&& operation, size_t half) {
    if (++calls == killAt) operation(half), ::raise(SIGKILL);
  };
  const FileOperations real = posixFileOperations();
  FileOperations ops = real;
  ops.pwrite = [=](int fd, const void* buffer, size_t n, uint64_t at) {
    point([&](size_t part) { real.pwrite(fd, buffer, part, at); }, n / 2);
    return real.pwrite(fd, buffer, n, at);
  };
  ops.copyFileRange = [=](int in, uint64_t from, int out, uint64_t to, size_t n) -> ssize_t {
    if (!kernelCopy) return errno = EXDEV, -1;
    point([&](size_t part) { real.copyFileRange(in, from, out, to, part); }, n / 2);
    return real.copyFileRange(in, from, out, to, n);
  };
  ops.fsync = [=](int fd) { return point([](size_t) {}, 0), real.fsync(fd); };
  ops.link = [=](int fd, const char* to) { return point([](size_t) {}, 0), real.link(fd, to); };
  ops.rename = [=](const char* a, const char* b) {
    return point([](size_t) {}, 0), real.rename(a, b);
  };
  ops.close = [=](int fd) { return point([](size_t) {}, 0), real.close(fd); };
  setFileOperations(ops);
  setDateTextSource([] { return "2026-12-07 10:00:00 +0000"; });  // every save writes the same
  auto parser = BWFParser::initWithPath(file);
  const LogCapture quiet;
  parser->parse();
  parser->setDescription("Killed");
  ::_exit(parser->saveFile() ? 0 : 1);
}

TEST(Kill, InsertionLeavesTheOriginalOrTheCompleteNewVersion) {
  TempDir dir, aside;
  Bytes audio(24 << 20);
  std::mt19937 noise(7);
  for (uint8_t& b : audio) b = uint8_t(noise());
  const std::string original = aside.write(
      "original.wav", RiffBuilder().riffHeader().fmt(1, 2, 48000, 16).chunk("data", audio).bytes());
  const std::string complete = aside.write("complete.wav", readWholeFile(original)),
                    file = dir.pathOf("take.wav");
  ASSERT_EQ(save(complete, 0, true), 0);
  const Bytes expected = readWholeFile(complete), before = readWholeFile(original);
  ASSERT_EQ(expected.size(), before.size() + 866);
  for (const bool kernelCopy : {true, false}) {
    int originals = 0, newVersions = 0;
    for (int killAt = 1;; ++killAt) {
      SCOPED_TRACE(testing::Message()
                   << "killed at operation " << killAt << (kernelCopy ? "" : ", buffered"));
      std::filesystem::copy_file(original, file, std::filesystem::copy_options::overwrite_existing);
      const int status = save(file, killAt, kernelCopy);
      if (status == 0) break;  // no operation was left to kill at
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
      const Bytes after = readWholeFile(file);
      ASSERT_TRUE(after == expected || after == before) << "neither the original nor complete";
      ++(after == expected ? newVersions : originals);
      ASSERT_EQ(save(file, 0, kernelCopy), 0);  // inserting or rewriting, whatever was left
      EXPECT_TRUE(readWholeFile(file) == expected);
      struct stat info {};
      EXPECT_TRUE(::stat(file.c_str(), &info) == 0 && info.st_nlink == 1)
          << "a temporary file is a second name of it";
      for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path() != file) std::filesystem::remove(entry.path());
      }
    }
    // The copy runs in 8 MiB steps in the kernel, in 1 MiB steps through a buffer.
    EXPECT_GT(originals, kernelCopy ? 5 : 24);
    EXPECT_GT(newVersions, 0);
  }
}

}  // namespace
}  // namespace bextkit::testsupport
