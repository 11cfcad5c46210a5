#include "platform/SoleWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

namespace bextkit {

const char* const SoleWriter::kOpenForWriting = "the file is open for writing in another program";

namespace {

// A broken lease is announced by a signal, SIGIO unless F_SETSIG chose another, whose default
// action ends the process. The answer to it is stillExclusive, asked before the rename, so the
// signal itself needs no handling: a handler that does nothing is installed, unless the program
// installed its own or ignores the signal. A handler rather than SIG_IGN, since an ignored
// signal would stay ignored in programs that this one starts.
void doNothing(int) {}

void keepLeaseBreaksHarmless() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGIO, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
        current.sa_handler != SIG_DFL) {
      return;
    }
    struct sigaction quiet {};
    quiet.sa_handler = doNothing;
    quiet.sa_flags = SA_RESTART;
    sigemptyset(&quiet.sa_mask);
    (void)::sigaction(SIGIO, &quiet, nullptr);
  });
}

bool isNumber(const char* name) {
  if (!*name) return false;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// Whether /proc/PID/fdinfo/FD names a descriptor open for writing: its "flags:" line holds the
// open flags in octal.
bool openForWriting(const std::string& fdinfo) {
  std::ifstream in(fdinfo);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("flags:", 0) != 0) continue;
    const unsigned long flags = std::strtoul(line.c_str() + 6, nullptr, 8);
    const unsigned long access = flags & O_ACCMODE;
    return access == O_WRONLY || access == O_RDWR;
  }
  return false;
}

}  // namespace

bool openForWritingElsewhere(dev_t device, ino_t inode) {
  DIR* processes = ::opendir("/proc");
  if (!processes) return false;
  const std::string self = std::to_string(::getpid());
  bool found = false;
  while (const dirent* process = found ? nullptr : ::readdir(processes)) {
    if (!isNumber(process->d_name) || process->d_name == self) continue;
    const std::string base = std::string("/proc/") + process->d_name;
    // A process of another user (unless this one is root), or one that has just ended, cannot
    // be looked at, and its descriptors cannot be seen.
    DIR* descriptors = ::opendir((base + "/fd").c_str());
    if (!descriptors) continue;
    while (const dirent* fd = found ? nullptr : ::readdir(descriptors)) {
      if (!isNumber(fd->d_name)) continue;
      struct stat info;
      found = ::stat((base + "/fd/" + fd->d_name).c_str(), &info) == 0 && info.st_dev == device &&
              info.st_ino == inode && openForWriting(base + "/fdinfo/" + fd->d_name);
    }
    ::closedir(descriptors);
  }
  ::closedir(processes);
  return found;
}

std::unique_ptr<SoleWriter> SoleWriter::claim(int readOnlyFd, std::string& error) {
  struct stat info;
  if (::fstat(readOnlyFd, &info) != 0) {
    error = std::string("cannot read the file's attributes: ") + std::strerror(errno);
    return nullptr;
  }
  keepLeaseBreaksHarmless();
  if (::fcntl(readOnlyFd, F_SETLEASE, F_RDLCK) == 0) {
    return std::unique_ptr<SoleWriter>(new SoleWriter(readOnlyFd, true, info.st_dev, info.st_ino));
  }
  // EAGAIN: a descriptor is open for writing on the file. Anything else (EINVAL where the file
  // system has no leases, EACCES for a file of another user) leaves the question to /proc.
  if (errno == EAGAIN || openForWritingElsewhere(info.st_dev, info.st_ino)) {
    error = kOpenForWriting;
    return nullptr;
  }
  return std::unique_ptr<SoleWriter>(new SoleWriter(readOnlyFd, false, info.st_dev, info.st_ino));
}

SoleWriter::~SoleWriter() {
  if (leased_) (void)::fcntl(fd_, F_SETLEASE, F_UNLCK);
}

bool SoleWriter::stillExclusive() const {
  // A lease that an opener broke reads as F_UNLCK from the break on, whether or not the
  // system has taken it away yet.
  if (leased_) return ::fcntl(fd_, F_GETLEASE) == F_RDLCK;
  return !openForWritingElsewhere(device_, inode_);
}

}  // namespace bextkit
