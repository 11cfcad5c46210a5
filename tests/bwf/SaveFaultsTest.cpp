// Saves that meet a failing disk: every write, copy, flush, rename and file creation of both
// ways of saving is made to fail in turn (a short write too). Each time the save says no with a
// reason, the file is byte for byte what it was, and no temporary file is left.
#include <fcntl.h>

#include <cerrno>
#include <map>

#include "WriteSupport.h"
#include "platform/FileHandle.h"

namespace bextkit::testsupport {
namespace {

enum class Fault { kNone, kCreate, kWrite, kShortWrite, kCopy, kSync, kLink, kRename };

const char* name(Fault f) {
  switch (f) {
    case Fault::kNone:
      return "none";
    case Fault::kCreate:
      return "create";
    case Fault::kWrite:
      return "write";
    case Fault::kShortWrite:
      return "short write";
    case Fault::kCopy:
      return "copy";
    case Fault::kSync:
      return "flush";
    case Fault::kLink:
      return "naming";
    case Fault::kRename:
      return "rename";
  }
  return "?";
}

// File operations that count their calls by kind and fail the chosen call of one kind. A short
// write writes half of what it was given, and the write after it fails as on a full disk.
class FaultyDisk {
 public:
  FaultyDisk(Fault fault, int at, bool kernelCopy, bool unnamedFiles) : fault_(fault), at_(at) {
    const FileOperations real = posixFileOperations();
    FileOperations ops = real;
    ops.open = [this, real, unnamedFiles](const char* path, int flags, mode_t mode) {
      const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
      if (unnamed && !unnamedFiles) return failWith(EOPNOTSUPP);
      if ((unnamed || (flags & O_CREAT)) && hit(Fault::kCreate)) return failWith(EROFS);
      return real.open(path, flags, mode);
    };
    ops.pwrite = [this, real](int fd, const void* buffer, size_t length,
                              uint64_t offset) -> ssize_t {
      if (failNextWrite_) {
        failNextWrite_ = false;
        return failWith(ENOSPC);
      }
      ++counts_[Fault::kWrite];
      const bool chosen = counts_[Fault::kWrite] == at_;
      if (chosen && fault_ == Fault::kWrite) return failWith(ENOSPC);
      if (chosen && fault_ == Fault::kShortWrite && length > 1) {
        failNextWrite_ = true;
        return real.pwrite(fd, buffer, length / 2, offset);
      }
      return real.pwrite(fd, buffer, length, offset);
    };
    ops.copyFileRange = [this, real, kernelCopy](int in, uint64_t inOffset, int out,
                                                 uint64_t outOffset, size_t length) -> ssize_t {
      if (!kernelCopy) return failWith(EXDEV);
      if (hit(Fault::kCopy)) return failWith(ENOSPC);
      return real.copyFileRange(in, inOffset, out, outOffset, length);
    };
    ops.fsync = [this, real](int fd) { return hit(Fault::kSync) ? failWith(EIO) : real.fsync(fd); };
    ops.link = [this, real](int fd, const char* path) {
      return hit(Fault::kLink) ? failWith(ENOSPC) : real.link(fd, path);
    };
    ops.rename = [this, real](const char* from, const char* to) {
      return hit(Fault::kRename) ? failWith(EACCES) : real.rename(from, to);
    };
    previous_ = setFileOperations(std::move(ops));
  }
  ~FaultyDisk() { setFileOperations(previous_); }
  FaultyDisk(const FaultyDisk&) = delete;
  FaultyDisk& operator=(const FaultyDisk&) = delete;

  int count(Fault kind) const {
    const auto it = counts_.find(kind == Fault::kShortWrite ? Fault::kWrite : kind);
    return it == counts_.end() ? 0 : it->second;
  }

 private:
  bool hit(Fault kind) { return ++counts_[kind] == at_ && fault_ == kind; }
  static int failWith(int error) {
    errno = error;
    return -1;
  }

  Fault fault_;
  int at_;
  bool failNextWrite_ = false;
  std::map<Fault, int> counts_;
  FileOperations previous_;
};

struct Path {
  const char* name;
  Bytes file;
  bool kernelCopy;
  bool unnamedFiles;  // whether the file system makes files without a name
  int steps;          // the fewest faults that the path must meet
};

// A file without a chunk (saved by insertion) whose audio spans several copy blocks, and one
// with a chunk (saved by a rewrite in place).
std::vector<Path> paths() {
  BextFields fields;
  fields.description = "before";
  fields.timeReference = 48000;
  const Bytes big = RiffBuilder()
                        .riffHeader()
                        .fmt(1, 2, 48000, 16)
                        .chunk("data", audioBytes(2 * 1024 * 1024 + 12345))
                        .bytes();
  // Insertion: create, three writes (header, record, pad) each failed and cut short, the copy,
  // the flush, naming the unnamed file and the rename. With a named temporary file, copied
  // through a buffer: three more writes of audio blocks and no naming. Rewrite: its one write,
  // failed and cut short.
  return {{"insertion, unnamed temporary file, copied in the kernel", big, true, true, 11},
          {"insertion, named temporary file, copied through a buffer", big, false, false, 15},
          {"rewrite", bextWave(fields), true, true, 2}};
}

TEST(SaveFaults, EveryFailingStepLeavesTheFileAsItWas) {
  FixedClock clock;
  TempDir dir;
  for (const Path& p : paths()) {
    SCOPED_TRACE(p.name);
    const std::string path = dir.write("take.wav", p.file);
    const std::vector<std::string> entries = directoryEntries(dir.path());

    // A clean save counts the calls of each kind that a fault can hit.
    std::map<Fault, int> calls;
    {
      auto parser = scanned(path);
      parser->setDescription("after");
      FaultyDisk counting(Fault::kNone, 0, p.kernelCopy, p.unnamedFiles);
      ASSERT_TRUE(parser->saveFile()) << parser->lastError();
      for (Fault f : {Fault::kCreate, Fault::kWrite, Fault::kShortWrite, Fault::kCopy, Fault::kSync,
                      Fault::kLink, Fault::kRename}) {
        calls[f] = counting.count(f);
      }
    }
    ASSERT_GT(calls[Fault::kWrite], 0);

    int injected = 0;
    for (const auto& [fault, count] : calls) {
      for (int at = 1; at <= count; ++at) {
        SCOPED_TRACE(testing::Message() << name(fault) << " #" << at);
        dir.write("take.wav", p.file);
        auto parser = scanned(path);
        parser->setDescription("after");
        bool saved;
        {
          FaultyDisk disk(fault, at, p.kernelCopy, p.unnamedFiles);
          saved = parser->saveFile();
        }
        ++injected;
        EXPECT_FALSE(saved);
        EXPECT_NE(parser->lastError().find(path), std::string::npos) << parser->lastError();
        EXPECT_EQ(readWholeFile(path), p.file);
        EXPECT_EQ(directoryEntries(dir.path()), entries) << "a temporary file was left behind";
        // With the disk well again, the same parser saves.
        EXPECT_TRUE(parser->saveFile()) << parser->lastError();
        EXPECT_EQ(scanned(path)->description(), "after");
      }
    }
    EXPECT_GE(injected, p.steps);
  }
}

}  // namespace
}  // namespace bextkit::testsupport
