// The insertion of a bext chunk survives its process being killed. The real bextkit program
// inserts a chunk into a 200 MB file and is killed with SIGKILL at moments spread over the whole
// length of a save; each time the file must be byte for byte either the original or the complete
// new version, and a later save must still succeed. Temporary files that a kill leaves behind
// are counted and removed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "Programs.h"
#include "TempDir.h"
#include "bwf/ByteOrder.h"

namespace bextkit::testsupport {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kAudioBytes = 200ull << 20;
constexpr int kKills = 24;
constexpr uint64_t kInserted = 866;  // chunk header and payload of a new bext chunk
constexpr size_t kBlock = 1 << 20;

// A descriptor closed when it goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

uint64_t sizeOf(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// Whether `length` bytes of `a` from `offsetA` equal those of `b` from `offsetB`.
bool sameBytes(int a, uint64_t offsetA, int b, uint64_t offsetB, uint64_t length) {
  std::vector<uint8_t> left(kBlock), right(kBlock);
  for (uint64_t done = 0; done < length;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, length - done));
    if (::pread(a, left.data(), n, static_cast<off_t>(offsetA + done)) != static_cast<ssize_t>(n) ||
        ::pread(b, right.data(), n, static_cast<off_t>(offsetB + done)) !=
            static_cast<ssize_t>(n) ||
        std::memcmp(left.data(), right.data(), n) != 0) {
      return false;
    }
    done += n;
  }
  return true;
}

// A fresh copy of `from` at `to`, copied in the kernel.
void copyFile(const std::string& from, const std::string& to) {
  ::unlink(to.c_str());
  const Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  const Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  ASSERT_GE(in.get(), 0);
  ASSERT_GE(out.get(), 0) << std::strerror(errno);
  for (uint64_t left = sizeOf(in.get()); left > 0;) {
    const ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, left, 0);
    ASSERT_GT(n, 0) << std::strerror(errno);
    left -= static_cast<uint64_t>(n);
  }
}

// Whether the text field of `width` bytes at `at` holds `text`, followed by a NUL when shorter.
bool holdsText(const uint8_t* record, size_t at, size_t width, const std::string& text) {
  return std::memcmp(record + at, text.data(), text.size()) == 0 &&
         (text.size() == width || record[at + text.size()] == 0);
}

bool allZero(const uint8_t* bytes, size_t length) {
  return std::all_of(bytes, bytes + length, [](uint8_t b) { return b == 0; });
}

// "dddd-dd-dd" or "dd:dd:dd": digits, and `separator` where the pattern has it.
bool digitsWith(const uint8_t* bytes, const char* pattern) {
  for (size_t i = 0; pattern[i]; ++i) {
    const bool ok = pattern[i] == 'd' ? bytes[i] >= '0' && bytes[i] <= '9' : bytes[i] == pattern[i];
    if (!ok) return false;
  }
  return true;
}

enum class Outcome { kOriginal, kNewVersion, kDamaged };

// What the file at `path` is now, measured against the original: the original itself, or the
// original with a new chunk after its RIFF header carrying the description and originator
// (its date and time differ from run to run, so its fields are checked one by one), or neither.
Outcome classify(const std::string& path, const std::string& original,
                 const std::string& description, const std::string& originator, std::string& why) {
  const Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const Fd before(::open(original.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    why = path + " cannot be opened: " + std::strerror(errno);
    return Outcome::kDamaged;
  }
  const uint64_t size = sizeOf(file.get()), originalSize = sizeOf(before.get());
  if (size == originalSize) {
    if (sameBytes(file.get(), 0, before.get(), 0, size)) return Outcome::kOriginal;
    why = "the file has the original's length but other bytes";
    return Outcome::kDamaged;
  }
  if (size != originalSize + kInserted) {
    why = "the file is " + std::to_string(size) + " bytes long; the original is " +
          std::to_string(originalSize);
    return Outcome::kDamaged;
  }
  // The RIFF header, the new chunk (12 to 877) and the original's header for comparison.
  std::array<uint8_t, 878> head{};
  std::array<uint8_t, 12> originalHead{};
  if (::pread(file.get(), head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()) ||
      ::pread(before.get(), originalHead.data(), 12, 0) != 12) {
    why = "the headers cannot be read";
    return Outcome::kDamaged;
  }
  const uint8_t* r = head.data() + 12;  // the record: offsets below count from its ckID
  const struct {
    const char* what;
    bool holds;
  } checks[] = {
      {"RIFF ID", std::memcmp(head.data(), "RIFF", 4) == 0},
      {"RIFF size grown by 866",
       loadLE32(head.data(), 4) == loadLE32(originalHead.data(), 4) + kInserted},
      {"form type", std::memcmp(head.data() + 8, originalHead.data() + 8, 4) == 0},
      {"chunk ID bext at offset 12", std::memcmp(r, "bext", 4) == 0},
      {"chunk size 858", loadLE32(r, 4) == 858},
      {"Description", holdsText(r, 8, 256, description)},
      {"Originator", holdsText(r, 264, 32, originator)},
      {"OriginatorReference empty", allZero(r + 296, 32)},
      {"OriginationDate yyyy-mm-dd", digitsWith(r + 328, "dddd-dd-dd")},
      {"OriginationTime hh:mm:ss", digitsWith(r + 338, "dd:dd:dd")},
      {"TimeReference 0, Version 0, UMID and Reserved zero", allZero(r + 346, 264)},
      {"CodingHistory A=PCM", holdsText(r, 610, 254, "A=PCM") && allZero(r + 616, 248)},
      {"two zero bytes after the record", head[876] == 0 && head[877] == 0},
  };
  for (const auto& check : checks) {
    if (!check.holds) {
      why = std::string("the file has the new length, but not: ") + check.what;
      return Outcome::kDamaged;
    }
  }
  if (!sameBytes(file.get(), 878, before.get(), 12, originalSize - 12)) {
    why = "the bytes after the new chunk differ from the original's from offset 12";
    return Outcome::kDamaged;
  }
  return Outcome::kNewVersion;
}

// Starts `bextkit set FILE --description D --originator O` with its output going to `log`.
pid_t startSet(const std::string& file, const std::string& description,
               const std::string& originator, const std::string& log) {
  return spawnProgram(
      {BEXTKIT_CLI, "set", file, "--description", description, "--originator", originator}, log);
}

int waitStatus(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

std::string textOf(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a save to its end; the file must then be the complete new version.
void saveToTheEnd(const std::string& file, const std::string& original,
                  const std::string& description, const std::string& originator,
                  const std::string& log) {
  const pid_t pid = startSet(file, description, originator, log);
  ASSERT_GT(pid, 0);
  const int status = waitStatus(pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "bextkit set failed: " << textOf(log);
  std::string why;
  EXPECT_TRUE(classify(file, original, description, originator, why) == Outcome::kNewVersion)
      << (why.empty() ? "the file is still the original" : why);
}

// Removes what a killed save left beside `file` (the directory holds nothing else) and returns
// how many there were. None of them may be the file itself under another name.
int removeLeftovers(const std::string& directory, const std::string& file) {
  struct stat target {};
  EXPECT_EQ(::stat(file.c_str(), &target), 0);
  EXPECT_EQ(target.st_nlink, 1u) << "the file gained a hard link";
  int leftovers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (entry.path() == file) continue;
    struct stat info {};
    EXPECT_EQ(::lstat(entry.path().c_str(), &info), 0);
    EXPECT_FALSE(info.st_dev == target.st_dev && info.st_ino == target.st_ino)
        << entry.path() << " is the file itself";
    EXPECT_EQ(::unlink(entry.path().c_str()), 0);
    ++leftovers;
  }
  return leftovers;
}

TEST(Kill, InsertionLeavesTheOriginalOrTheCompleteNewVersion) {
  // The file's directory holds nothing but the file and what the saves leave beside it.
  TempDir dir, aside;
  const std::string original = aside.pathOf("original.wav");
  const std::string file = dir.pathOf("take.wav");
  const std::string log = aside.pathOf("set.log");
  ASSERT_EQ(writeLargeWave(original, kAudioBytes), "");

  // How long a whole save takes, from the start of the program to its end: the shorter of two,
  // so that the kills fall within the save rather than after it.
  Clock::duration saveTime = Clock::duration::max();
  for (int run = 0; run < 2; ++run) {
    ASSERT_NO_FATAL_FAILURE(copyFile(original, file));
    const Clock::time_point start = Clock::now();
    ASSERT_NO_FATAL_FAILURE(saveToTheEnd(file, original, "Measured", "bextkit", log));
    saveTime = std::min(saveTime, Clock::now() - start);
    EXPECT_EQ(removeLeftovers(dir.path(), file), 0) << "a complete save left a temporary file";
  }

  const unsigned seed = std::random_device()();
  std::mt19937 rng(seed);
  SCOPED_TRACE("seed " + std::to_string(seed) + ", a whole save " +
               std::to_string(std::chrono::duration<double>(saveTime).count()) + " s");
  // One kill in each of kKills equal slices of the save's length, at a random point of it.
  std::uniform_real_distribution<double> within(0.0, 1.0);
  int killedRunning = 0, originals = 0, newVersions = 0, leftovers = 0;
  for (int i = 0; i < kKills; ++i) {
    const auto delay =
        std::chrono::duration_cast<Clock::duration>(saveTime * ((i + within(rng)) / kKills));
    SCOPED_TRACE("kill " + std::to_string(i) + " after " +
                 std::to_string(std::chrono::duration<double>(delay).count()) + " s");
    ASSERT_NO_FATAL_FAILURE(copyFile(original, file));
    const pid_t pid = startSet(file, "Killed while inserting", "reliability", log);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(delay);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    const int status = waitStatus(pid);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ++killedRunning;

    std::string why;
    const Outcome outcome = classify(file, original, "Killed while inserting", "reliability", why);
    ASSERT_TRUE(outcome != Outcome::kDamaged) << why;
    ++(outcome == Outcome::kOriginal ? originals : newVersions);

    // A later save succeeds with the leftovers still in place: an insertion into the original,
    // a rewrite of the chunk in the new version; either way the complete new version results.
    ASSERT_NO_FATAL_FAILURE(
        saveToTheEnd(file, original, "Saved after a kill", "bextkit again", log));
    leftovers += removeLeftovers(dir.path(), file);
  }
  std::printf(
      "a whole save %.3f s; %d kills, %d while bextkit ran: %d originals, %d new versions, "
      "%d temporary files left behind\n",
      std::chrono::duration<double>(saveTime).count(), kKills, killedRunning, originals,
      newVersions, leftovers);
  // The kills are meant to land while the save runs; most of them must.
  EXPECT_GE(killedRunning, kKills / 2);
}

}  // namespace
}  // namespace bextkit::testsupport
