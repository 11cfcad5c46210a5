#include "platform/FileHandle.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace bextkit {

namespace {

int posixOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags | O_CLOEXEC, mode);
}

// pread and pwrite take a signed offset; beyond its range nothing can be read or written.
bool offsetFits(uint64_t offset) {
  return offset <= static_cast<uint64_t>(std::numeric_limits<off_t>::max());
}

// The table of every handle opened while no other is installed: made once, never changed, and
// shared by those handles rather than copied into each.
const FileOperations& posixOperations() {
  static const FileOperations operations = posixFileOperations();
  return operations;
}

// The table installed in place of POSIX's (a test's failing disk); null while none is.
std::unique_ptr<const FileOperations>& installedOperations() {
  static std::unique_ptr<const FileOperations> operations;
  return operations;
}

const FileOperations& currentOperations() {
  return installedOperations() ? *installedOperations() : posixOperations();
}

// What a handle opened now keeps: its own copy of an installed table, none for POSIX's.
std::unique_ptr<const FileOperations> operationsToKeep() {
  return installedOperations() ? std::make_unique<const FileOperations>(*installedOperations())
                               : nullptr;
}

// The table that a handle keeping `kept` uses.
const FileOperations& tableOf(const std::unique_ptr<const FileOperations>& kept) {
  return kept ? *kept : posixOperations();
}

std::string describeErrno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

constexpr const char* kNotRegular = "not a regular file";

}  // namespace

FileOperations posixFileOperations() {
  FileOperations ops;
  ops.open = posixOpen;
  ops.pread = [](int fd, void* buffer, size_t length, uint64_t offset) -> ssize_t {
    if (!offsetFits(offset)) return 0;
    return ::pread(fd, buffer, length, static_cast<off_t>(offset));
  };
  ops.pwrite = [](int fd, const void* buffer, size_t length, uint64_t offset) -> ssize_t {
    if (!offsetFits(offset)) {
      errno = EFBIG;
      return -1;
    }
    return ::pwrite(fd, buffer, length, static_cast<off_t>(offset));
  };
  ops.fileSize = [](int fd) -> int64_t {
    struct stat info;
    if (::fstat(fd, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
  };
  ops.close = ::close;
  ops.rename = ::rename;
  ops.fsync = ::fsync;
  ops.link = [](int fd, const char* path) {
    // Naming an unnamed file through /proc needs no privilege, unlike AT_EMPTY_PATH.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW);
  };
  ops.startWriteback = [](int fd, uint64_t offset, uint64_t length) {
    if (!offsetFits(offset) || !offsetFits(length)) return 0;
    return ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                             SYNC_FILE_RANGE_WRITE);
  };
  ops.copyFileRange = [](int fromFd, uint64_t fromOffset, int toFd, uint64_t toOffset,
                         size_t length) -> ssize_t {
    if (!offsetFits(fromOffset) || !offsetFits(toOffset)) {
      errno = EINVAL;
      return -1;
    }
    auto in = static_cast<off_t>(fromOffset);
    auto out = static_cast<off_t>(toOffset);
    return ::copy_file_range(fromFd, &in, toFd, &out, length, 0);
  };
  ops.truncate = [](int fd, uint64_t length) {
    if (!offsetFits(length)) return errno = EFBIG, -1;
    return ::ftruncate(fd, static_cast<off_t>(length));
  };
  return ops;
}

void ignoreFileSizeLimitSignal() { (void)::signal(SIGXFSZ, SIG_IGN); }

FileOperations setFileOperations(FileOperations operations) {
  FileOperations previous = currentOperations();
  installedOperations() = std::make_unique<const FileOperations>(std::move(operations));
  return previous;
}

const FileOperations& FileHandle::operations() const { return tableOf(operations_); }

bool renameFile(const std::string& from, const std::string& to, std::string* error) {
  if (currentOperations().rename(from.c_str(), to.c_str()) == 0) return true;
  if (error) *error = describeErrno("rename failed");
  return false;
}

std::unique_ptr<FileHandle> FileHandle::open(const std::string& path, int flags, std::string* error,
                                             bool lookFirst) {
  // Only regular files are opened: opening a FIFO waits for a writer and reading it waits for
  // data, a device reads without end (and a tape rewinds when opened), a directory holds no
  // audio. Such a path is refused before it is opened; O_NONBLOCK (without effect on a regular
  // file) keeps the open from waiting should the path be swapped for a FIFO in between.
  struct stat info;
  if (lookFirst && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    if (error) *error = kNotRegular;
    return nullptr;
  }
  // The handle's own table serves the open too: an operation may install another meanwhile.
  std::unique_ptr<const FileOperations> kept = operationsToKeep();
  const FileOperations& operations = tableOf(kept);
  const int fd = operations.open(path.c_str(), flags | O_NONBLOCK, 0);
  if (fd < 0) {
    if (error)
      *error = describeErrno((flags & O_ACCMODE) == O_RDONLY ? "cannot open"
                                                             : "cannot open for writing");
    return nullptr;
  }
  const bool known = ::fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    if (error) *error = known ? kNotRegular : describeErrno("cannot read the file's attributes");
    operations.close(fd);
    return nullptr;
  }
  std::unique_ptr<FileHandle> file(new FileHandle(fd, std::move(kept)));
  file->sizeAtOpen_ = static_cast<uint64_t>(info.st_size);
  return file;
}

std::unique_ptr<FileHandle> FileHandle::openForReading(const std::string& path,
                                                       std::string* error) {
  return open(path, O_RDONLY, error);
}

std::unique_ptr<FileHandle> FileHandle::openListedForReading(const std::string& path,
                                                             std::string* error) {
  return open(path, O_RDONLY, error, false);
}

std::unique_ptr<FileHandle> FileHandle::openForSaving(const std::string& path, std::string* error) {
  return openLocked(path, O_RDWR, error);
}

std::unique_ptr<FileHandle> FileHandle::openForReplacing(const std::string& path,
                                                         std::string* error) {
  std::unique_ptr<FileHandle> file = openLocked(path, O_RDONLY, error);
  // The permission that an open for writing would have checked.
  if (file && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    if (error) *error = describeErrno("cannot open for writing");
    return nullptr;
  }
  return file;
}

std::unique_ptr<FileHandle> FileHandle::openLocked(const std::string& path, int flags,
                                                   std::string* error) {
  std::unique_ptr<FileHandle> file = open(path, flags, error);
  if (!file) return nullptr;
  // File systems that cannot lock (some network mounts, or those that lock only descriptors
  // open for writing: EBADF) still save; the checks of the content before writing stand in for
  // the lock there.
  if (::flock(file->fd_, LOCK_EX | LOCK_NB) != 0 && errno != ENOLCK && errno != EOPNOTSUPP &&
      errno != ENOSYS && errno != EBADF) {
    if (error) {
      *error = errno == EWOULDBLOCK ? "the file is being saved by another process"
                                    : describeErrno("cannot lock the file");
    }
    return nullptr;
  }
  // Another save may have renamed a new file over the path between the open and the lock: the
  // handle must hold the file that the path names now.
  struct stat opened, named;
  if (::fstat(file->fd_, &opened) != 0 || ::stat(path.c_str(), &named) != 0 ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    if (error) *error = "the file was replaced by another program while it was being opened";
    return nullptr;
  }
  return file;
}

std::unique_ptr<FileHandle> FileHandle::createExclusive(const std::string& path, mode_t mode,
                                                        std::string* error) {
  std::unique_ptr<const FileOperations> kept = operationsToKeep();
  const FileOperations& operations = tableOf(kept);
  const int fd = operations.open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
  if (fd < 0) {
    if (error) *error = describeErrno("cannot create");
    return nullptr;
  }
  return std::unique_ptr<FileHandle>(new FileHandle(fd, std::move(kept)));
}

FileHandle::~FileHandle() { closeFile(); }

void FileHandle::expectSequentialReads() {
  if (isOpen()) (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void FileHandle::fail(const char* what) { lastError_ = describeErrno(what); }

uint64_t FileHandle::seekToEndOfFile() {
  const int64_t size = isOpen() ? operations().fileSize(fd_) : -1;
  if (size < 0) {
    if (isOpen()) fail("cannot learn the file size");
    return 0;
  }
  offset_ = static_cast<uint64_t>(size);
  return offset_;
}

size_t FileHandle::read(uint8_t* destination, size_t length) {
  size_t done = 0;
  while (isOpen() && done < length) {
    const ssize_t n = operations().pread(fd_, destination + done, length - done, offset_ + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("read failed");
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  offset_ += done;
  return done;
}

std::vector<uint8_t> FileHandle::readDataOfLength(size_t length) {
  std::vector<uint8_t> bytes(length);
  bytes.resize(read(bytes.data(), length));
  return bytes;
}

bool FileHandle::write(const uint8_t* bytes, size_t length) {
  if (!isOpen()) {
    lastError_ = "write failed: the file is closed";
    return false;
  }
  size_t done = 0;
  while (done < length) {
    const ssize_t n = operations().pwrite(fd_, bytes + done, length - done, offset_ + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // no progress: give up rather than spin
      fail("write failed");
      offset_ += done;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  offset_ += done;
  return true;
}

std::unique_ptr<FileHandle> FileHandle::createUnnamed(const std::string& directory, mode_t mode,
                                                      std::string* error) {
  std::unique_ptr<const FileOperations> kept = operationsToKeep();
  const FileOperations& operations = tableOf(kept);
  const int fd = operations.open(directory.c_str(), O_RDWR | O_TMPFILE, mode);
  if (fd < 0) {
    const int code = errno;  // the caller tells "not supported here" from other failures
    if (error) *error = describeErrno("cannot create");
    errno = code;
    return nullptr;
  }
  return std::unique_ptr<FileHandle>(new FileHandle(fd, std::move(kept)));
}

bool FileHandle::linkTo(const std::string& path) {
  if (!isOpen()) {
    lastError_ = "cannot name the file: it is closed";
    return false;
  }
  if (operations().link(fd_, path.c_str()) == 0) return true;
  fail("cannot name the file");
  return false;
}

bool FileHandle::copyFrom(FileHandle& source, uint64_t sourceOffset, uint64_t length,
                          const Progress& progress) {
  if (!isOpen() || !source.isOpen()) {
    lastError_ = "copy failed: the file is closed";
    return false;
  }
  uint64_t done = 0;
  bool inKernel = true;
  while (inKernel && done < length) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(length - done, kKernelCopyBlock));
    const ssize_t n =
        operations().copyFileRange(source.fd_, sourceOffset + done, fd_, offset_ + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      inKernel = false;  // not on this pair of files: copy through a buffer instead
      break;
    }
    if (n <= 0) {
      if (n == 0) errno = EIO;  // the source ended before `length` bytes
      fail("copy failed");
      return false;
    }
    startWriteback(offset_ + done, static_cast<uint64_t>(n));
    done += static_cast<uint64_t>(n);
    if (progress) progress(done, length);
  }
  offset_ += done;
  if (done == length) return true;

  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(length - done, kCopyBlock)));
  source.seekToFileOffset(sourceOffset + done);
  while (done < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, buffer.size()));
    const size_t got = source.read(buffer.data(), want);
    if (got != want) {
      lastError_ = source.lastError().empty() ? "copy failed: the source ended early"
                                              : "copy failed: " + source.lastError();
      return false;
    }
    if (!write(buffer.data(), got)) return false;
    startWriteback(offset_ - got, got);
    done += got;
    if (progress) progress(done, length);
  }
  return true;
}

void FileHandle::startWriteback(uint64_t offset, uint64_t length) {
  // Only a hint: a flush later does the real work, and reports failures.
  (void)operations().startWriteback(fd_, offset, length);
}

bool FileHandle::synchronizeFile() {
  if (!isOpen()) {
    lastError_ = "flush failed: the file is closed";
    return false;
  }
  if (operations().fsync(fd_) == 0) return true;
  fail("flush to disk failed");
  return false;
}

bool FileHandle::truncateFile(uint64_t length) {
  if (!isOpen()) {
    lastError_ = "truncate failed: the file is closed";
    return false;
  }
  if (operations().truncate(fd_, length) == 0) return true;
  fail("truncate failed");
  return false;
}

bool FileHandle::closeFile() {
  if (!isOpen()) return true;
  const int fd = std::exchange(fd_, -1);
  if (operations().close(fd) == 0) return true;
  fail("close failed");
  return false;
}

}  // namespace bextkit
