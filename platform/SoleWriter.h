// Whether another program holds a file open for writing. A save that renames a new file over
// the original, or that grows the file in place, must not run while a recorder still writes the
// file: the recorder's later writes would go to a file that no name reaches any more, or land
// in the middle of the new layout.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace bextkit {

// While it lives, no other process has the file open for writing, or the holder can tell that
// one has opened it since (stillExclusive). It holds a read lease on the file (F_SETLEASE,
// F_RDLCK): the system grants it only while no descriptor is open for writing on the file, and
// a later open for writing breaks it. Where leases are not available (a file system without
// them; a file this user does not own, without CAP_LEASE), the open descriptors of the other
// processes are looked at instead (openForWritingElsewhere), when the claim is made and again
// in stillExclusive.
class SoleWriter {
 public:
  // The refusal: "the file is open for writing in another program".
  static const char* const kOpenForWriting;

  // `readOnlyFd` is a descriptor of the file opened for reading only (a descriptor of this
  // process open for writing counts as a writer too). It must stay open while the result lives.
  // Null, with kOpenForWriting in `error`, when a writer has the file open. Readers (a player)
  // do not count.
  [[nodiscard]] static std::unique_ptr<SoleWriter> claim(int readOnlyFd, std::string& error);
  ~SoleWriter();  // gives the lease back
  SoleWriter(const SoleWriter&) = delete;
  SoleWriter& operator=(const SoleWriter&) = delete;

  // False when a process has opened the file for writing since the claim; asked just before
  // the step that would cut such a writer off.
  [[nodiscard]] bool stillExclusive() const;

 private:
  SoleWriter(int fd, bool leased, dev_t device, ino_t inode)
      : fd_(fd), leased_(leased), device_(device), inode_(inode) {}
  int fd_;
  bool leased_;
  dev_t device_;
  ino_t inode_;
};

// Whether another process holds a descriptor open for writing (O_WRONLY or O_RDWR) on the file
// (`device`, `inode`), as /proc/PID/fd and /proc/PID/fdinfo tell. Only the processes whose
// descriptors this user may inspect (its own, or all of them for root) can be seen, and only
// those of this machine: a writer on another host of a network file system is not. This
// process's own descriptors do not count, so a save that already holds the file open for
// writing (a growth in place) can ask too.
[[nodiscard]] bool openForWritingElsewhere(dev_t device, ino_t inode);

}  // namespace bextkit
