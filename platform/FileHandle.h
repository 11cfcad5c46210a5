// A file handle over POSIX: open for reading or for updating, seek, read up to a length, write,
// close. Offsets are 64-bit; a read at or near the end of the file returns the bytes that remain.
// Every system call goes through a replaceable table of file operations, so that tests can make
// writes come up short or fail and renames fail without touching a real disk.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bextkit {

// The system calls under every FileHandle. Each returns what its POSIX namesake returns and
// leaves errno set on failure.
struct FileOperations {
  std::function<int(const char* path, int flags, mode_t mode)> open;
  std::function<ssize_t(int fd, void* buffer, size_t length, uint64_t offset)> pread;
  std::function<ssize_t(int fd, const void* buffer, size_t length, uint64_t offset)> pwrite;
  std::function<int64_t(int fd)> fileSize;  // -1 on failure
  std::function<int(int fd)> close;
  std::function<int(const char* from, const char* to)> rename;
  std::function<int(int fd)> fsync;
  // Gives an open file (made without a name) the name `path`, as linkat does.
  std::function<int(int fd, const char* path)> link;
  // Starts writing a range of the file to disk without waiting, as sync_file_range does.
  std::function<int(int fd, uint64_t offset, uint64_t length)> startWriteback;
  // Copies within the kernel, as copy_file_range; -1 with errno EXDEV, ENOSYS, EINVAL or
  // EOPNOTSUPP means the caller must copy through reads and writes instead.
  std::function<ssize_t(int fromFd, uint64_t fromOffset, int toFd, uint64_t toOffset,
                        size_t length)>
      copyFileRange;
  // Cuts the file to `length` bytes, as ftruncate does.
  std::function<int(int fd, uint64_t length)> truncate;
};

// The plain POSIX operations.
FileOperations posixFileOperations();

// Installs `operations` for every handle opened afterwards and returns the previous table.
FileOperations setFileOperations(FileOperations operations);

// Renames through the current operations; on failure `error` (when given) says why.
[[nodiscard]] bool renameFile(const std::string& from, const std::string& to,
                              std::string* error = nullptr);

// Makes a write past the file-size limit (ulimit -f) fail with EFBIG, reported as "File too
// large" like any failed write, instead of ending the process by SIGXFSZ half way through a
// save. Every program calls it first in main.
void ignoreFileSizeLimitSignal();

class FileHandle {
 public:
  // Null when the file cannot be opened; `error` (when given) then says why. Only regular
  // files are opened ("not a regular file"); a FIFO, a device, a socket or a directory is
  // refused at once, without waiting.
  [[nodiscard]] static std::unique_ptr<FileHandle> openForReading(const std::string& path,
                                                                  std::string* error = nullptr);
  // As openForReading, for a path that a folder's listing (or a look just made) showed to be a
  // regular file: the look before the open is left out, and the look after it still refuses
  // what is no regular file by then.
  [[nodiscard]] static std::unique_ptr<FileHandle> openListedForReading(
      const std::string& path, std::string* error = nullptr);
  // Opens for reading and writing and holds an exclusive advisory lock (flock) on the file until
  // the handle closes, so that two saves of one file never interleave. Null when this user may not
  // write the file or another process holds the lock ("the file is being saved by another
  // process"). The lock binds only programs that ask for it: a recorder still writing the file
  // does not, and is found by SoleWriter and the caller's checks of the file's content instead.
  [[nodiscard]] static std::unique_ptr<FileHandle> openForSaving(const std::string& path,
                                                                 std::string* error = nullptr);
  // As openForSaving, with the same refusals (this user must be allowed to write the file), but
  // opens it for reading only: for a save that writes a new file in its place and only reads
  // the original, so that no descriptor of this process counts as a writer of the file
  // (SoleWriter).
  [[nodiscard]] static std::unique_ptr<FileHandle> openForReplacing(const std::string& path,
                                                                    std::string* error = nullptr);
  // Creates a new file for reading and writing; fails when `path` exists already.
  [[nodiscard]] static std::unique_ptr<FileHandle> createExclusive(const std::string& path,
                                                                   mode_t mode,
                                                                   std::string* error = nullptr);
  // Creates a file with no name in `directory` (O_TMPFILE): if the process dies before it is
  // given a name (linkTo), the system reclaims it. Null, with errno kept, where the file system
  // cannot make one.
  [[nodiscard]] static std::unique_ptr<FileHandle> createUnnamed(const std::string& directory,
                                                                 mode_t mode,
                                                                 std::string* error = nullptr);

  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle();

  // Moves to the end and returns its offset (0 when the size cannot be learnt).
  uint64_t seekToEndOfFile();
  // The file's size when it was opened, as the open's own look found it: for a reader that
  // needs no newer figure, without asking the system again.
  uint64_t sizeAtOpen() const { return sizeAtOpen_; }
  void seekToFileOffset(uint64_t offset) { offset_ = offset; }
  uint64_t offsetInFile() const { return offset_; }

  // Reads up to `length` bytes at the current offset and moves past them. Fewer come back at
  // the end of the file, after a read error and on a closed handle.
  size_t read(uint8_t* destination, size_t length);
  std::vector<uint8_t> readDataOfLength(size_t length);

  // Writes all `length` bytes at the current offset and moves past them; false when any of
  // them could not be written (lastError says why).
  [[nodiscard]] bool write(const uint8_t* bytes, size_t length);
  [[nodiscard]] bool write(const std::vector<uint8_t>& bytes) {
    return write(bytes.data(), bytes.size());
  }

  // Copies `length` bytes of `source`, from `sourceOffset` on, to this file at its current
  // offset, in the kernel where it can and through a fixed-size buffer where it cannot; moves
  // past them. The copied bytes start on their way to the disk as the copy goes, so that a
  // flush afterwards finds little left to write. False, with lastError set, when the source
  // ends early or anything fails.
  // `progress`, when given, hears the bytes copied so far after each step.
  using Progress = std::function<void(uint64_t copied, uint64_t total)>;
  [[nodiscard]] bool copyFrom(FileHandle& source, uint64_t sourceOffset, uint64_t length,
                              const Progress& progress = {});

  // Tells the system that the file will be read from start to end, so that it reads further
  // ahead of each read (a hint: nothing fails when it is not taken).
  void expectSequentialReads();

  // Flushes the file's data to the disk; false when the system reports a failure.
  [[nodiscard]] bool synchronizeFile();

  // Cuts the file to `length` bytes (to undo an append); false, with lastError set, when it
  // cannot.
  [[nodiscard]] bool truncateFile(uint64_t length);

  // Gives a file made by createUnnamed the name `path`; false when it cannot.
  [[nodiscard]] bool linkTo(const std::string& path);

  // Closes the descriptor; false when the close reported an error. Later reads return nothing.
  bool closeFile();
  bool isOpen() const { return fd_ >= 0; }
  // The open descriptor, for metadata calls that have no place in this class (-1 when closed).
  int descriptor() const { return fd_; }

  // Why the last failed operation failed; empty while none has.
  const std::string& lastError() const { return lastError_; }

 private:
  static constexpr size_t kCopyBlock = 1024 * 1024;  // the buffer of a copy outside the kernel
  static constexpr size_t kKernelCopyBlock = 8 * kCopyBlock;  // one copy in the kernel

  void startWriteback(uint64_t offset, uint64_t length);
  FileHandle(int fd, std::unique_ptr<const FileOperations> operations)
      : fd_(fd), operations_(std::move(operations)) {}
  // The table the handle was opened with.
  const FileOperations& operations() const;
  static std::unique_ptr<FileHandle> open(const std::string& path, int flags, std::string* error,
                                          bool lookFirst = true);
  static std::unique_ptr<FileHandle> openLocked(const std::string& path, int flags,
                                                std::string* error);
  void fail(const char* what);

  int fd_;
  std::unique_ptr<const FileOperations> operations_;  // null: POSIX's
  uint64_t offset_ = 0;
  uint64_t sizeAtOpen_ = 0;
  std::string lastError_;
};

}  // namespace bextkit
