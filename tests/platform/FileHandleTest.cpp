// The file handle over POSIX, and faults injected through its table of file operations.
#include "platform/FileHandle.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "TempDir.h"

namespace bextkit {
namespace {

using testsupport::readWholeFile;
using testsupport::TempDir;

const std::vector<uint8_t> kTen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

// Installs a changed copy of the POSIX operations for one test.
class FaultyOperations {
 public:
  FaultyOperations() : ops(posixFileOperations()) {}
  ~FaultyOperations() { setFileOperations(std::move(previous_)); }
  void install() { previous_ = setFileOperations(ops); }
  FileOperations ops;

 private:
  FileOperations previous_ = posixFileOperations();
};

TEST(FileHandle, ReadsReturnWhatRemains) {
  const struct {
    uint64_t offset;
    size_t length;
    std::vector<uint8_t> expected;
  } kCases[] = {{0, 4, {0, 1, 2, 3}}, {8, 512, {8, 9}}, {10, 4, {}}, {1000, 4, {}}, {3, 0, {}}};
  TempDir dir;
  auto file = FileHandle::openForReading(dir.write("ten", kTen));
  ASSERT_TRUE(file);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.offset);
    file->seekToFileOffset(c.offset);
    EXPECT_EQ(file->readDataOfLength(c.length), c.expected);
    EXPECT_EQ(file->offsetInFile(), c.offset + c.expected.size());
  }
  EXPECT_EQ(file->seekToEndOfFile(), 10u);
  EXPECT_EQ(file->offsetInFile(), 10u);
  EXPECT_TRUE(file->lastError().empty());
}

TEST(FileHandle, OpenFailsForMissingFilesAndDirectories) {
  TempDir dir;
  for (const std::string& path : {dir.pathOf("missing"), dir.path()}) {
    SCOPED_TRACE(path);
    std::string error;
    EXPECT_EQ(FileHandle::openForReading(path, &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FileHandle::openForUpdating(path), nullptr);
  }
}

TEST(FileHandle, UpdatingWritesInPlace) {
  TempDir dir;
  const std::string path = dir.write("ten", kTen);
  auto file = FileHandle::openForUpdating(path);
  ASSERT_TRUE(file);
  file->seekToFileOffset(8);
  ASSERT_TRUE(file->write({0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(file->offsetInFile(), 11u);
  file->seekToFileOffset(7);
  EXPECT_EQ(file->readDataOfLength(10), (std::vector<uint8_t>{7, 0xAA, 0xBB, 0xCC}));
  EXPECT_TRUE(file->closeFile());
  EXPECT_EQ(readWholeFile(path), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 0xAA, 0xBB, 0xCC}));
}

TEST(FileHandle, ShortWritesContinueUntilAFailure) {
  TempDir dir;
  const std::string path = dir.write("ten", kTen);
  FaultyOperations faults;
  size_t budget = 5;  // the disk fills up after five bytes, written two at a time
  faults.ops.pwrite = [&](int fd, const void* buffer, size_t length, uint64_t offset) -> ssize_t {
    if (budget == 0) {
      errno = ENOSPC;
      return -1;
    }
    const size_t n = std::min({length, size_t{2}, budget});
    budget -= n;
    return posixFileOperations().pwrite(fd, buffer, n, offset);
  };
  faults.install();
  auto file = FileHandle::openForUpdating(path);
  EXPECT_TRUE(file->write({0xA0, 0xA1, 0xA2, 0xA3}));  // two short writes make it whole
  EXPECT_FALSE(file->write({0xB0, 0xB1, 0xB2}));       // one byte fits, then no space
  EXPECT_NE(file->lastError().find("No space"), std::string::npos) << file->lastError();
  file->closeFile();
  EXPECT_EQ(readWholeFile(path),
            (std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xB0, 5, 6, 7, 8, 9}));
}

TEST(FileHandle, AWriteThatMakesNoProgressFailsInsteadOfSpinning) {
  TempDir dir;
  FaultyOperations faults;
  faults.ops.pwrite = [](int, const void*, size_t, uint64_t) -> ssize_t { return 0; };
  faults.install();
  auto file = FileHandle::openForUpdating(dir.write("ten", kTen));
  EXPECT_FALSE(file->write({1, 2}));
  EXPECT_FALSE(file->lastError().empty());
}

TEST(FileHandle, InterruptedCallsAreRetried) {
  TempDir dir;
  const std::string path = dir.write("ten", kTen);
  FaultyOperations faults;
  int interruptions = 2;
  faults.ops.pread = [&](int fd, void* buffer, size_t length, uint64_t offset) -> ssize_t {
    if (interruptions-- > 0) {
      errno = EINTR;
      return -1;
    }
    return posixFileOperations().pread(fd, buffer, length, offset);
  };
  faults.install();
  auto file = FileHandle::openForReading(path);
  EXPECT_EQ(file->readDataOfLength(3), (std::vector<uint8_t>{0, 1, 2}));
}

TEST(FileHandle, ReadErrorReturnsTheBytesReadBeforeIt) {
  TempDir dir;
  FaultyOperations faults;
  faults.ops.pread = [](int fd, void* buffer, size_t length, uint64_t offset) -> ssize_t {
    if (offset >= 4) {
      errno = EIO;
      return -1;
    }
    return posixFileOperations().pread(fd, buffer, std::min<size_t>(length, 4 - offset), offset);
  };
  faults.install();
  auto file = FileHandle::openForReading(dir.write("ten", kTen));
  EXPECT_EQ(file->readDataOfLength(8), (std::vector<uint8_t>{0, 1, 2, 3}));
  EXPECT_NE(file->lastError().find("read failed"), std::string::npos);
}

TEST(FileHandle, RenameReportsFailure) {
  TempDir dir;
  const std::string from = dir.write("a", kTen);
  std::string error;
  EXPECT_TRUE(renameFile(from, dir.pathOf("b"), &error));
  EXPECT_EQ(readWholeFile(dir.pathOf("b")), kTen);
  EXPECT_FALSE(renameFile(dir.pathOf("a"), dir.pathOf("c"), &error));  // "a" is gone
  EXPECT_FALSE(error.empty());

  FaultyOperations faults;
  faults.ops.rename = [](const char*, const char*) {
    errno = EXDEV;
    return -1;
  };
  faults.install();
  error.clear();
  EXPECT_FALSE(renameFile(dir.pathOf("b"), dir.pathOf("c"), &error));
  EXPECT_NE(error.find("rename failed"), std::string::npos);
}

TEST(FileHandle, CloseReportsFailure) {
  TempDir dir;
  FaultyOperations faults;
  faults.ops.close = [](int fd) {
    posixFileOperations().close(fd);
    errno = EIO;
    return -1;
  };
  faults.install();
  auto file = FileHandle::openForReading(dir.write("ten", kTen));
  EXPECT_FALSE(file->closeFile());
  EXPECT_FALSE(file->isOpen());
  EXPECT_FALSE(file->lastError().empty());
}

}  // namespace
}  // namespace bextkit
