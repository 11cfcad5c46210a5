// The files a batch works on: the paths given, with each folder replaced by the WAV files in it
// (and in its subfolders when recursive), sorted by name, so that a batch runs in an order that
// does not depend on the file system. Each file comes once, however many paths reach it. The
// command line and the desktop application open folders alike through here.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bextkit {

// What a file is, whatever path reaches it: its device and inode, symbolic links followed.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};
// None when `path` cannot be stat'ed (a missing file, a broken link). With `followLinks` false,
// a symbolic link is a file of its own (lstat).
std::optional<FileIdentity> fileIdentity(const std::string& path, bool followLinks = true);

// A file as it stood when it was read: which file, how long, when last modified. A file whose
// stamp differs has been replaced or written since.
struct FileStamp {
  FileIdentity identity;
  off_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
  bool regular = false;  // a regular file, not a link, folder or device
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// The stamp of `path` itself (a symbolic link is not followed); none when it cannot be stat'ed.
std::optional<FileStamp> fileStamp(const std::string& path);

struct PathList {
  std::vector<std::string> files;  // each file once, named by the first path that reached it
  // What each of `files` is, as the expansion found it; none for a path that cannot be stat'ed.
  std::vector<std::optional<FileIdentity>> identities;
  // For each of `files`, whether the expansion saw a regular file there (its folder's entry or
  // a look at the path), so that it can be opened without looking again.
  std::vector<bool> regular;
  std::vector<std::string> errors;  // "FOLDER: reason" for each folder that could not be read
  // "PATH: the same file as FIRST; handled once" for each path to a file (or folder) already
  // taken; a note, not a failure.
  std::vector<std::string> notes;
};

// Files are kept as given, whatever their names; a folder contributes its files whose names end
// in one of the comma-separated `extensions` (any case; "*" takes every file). A file that an
// earlier path reached already (the same name again, a symbolic link beside its target) is
// noted and left out, and no folder is entered twice, so that links that loop end. A path that
// cannot be stat'ed is kept, for the command to report. Files are told apart by fileIdentity;
// a folder's regular files by the inode its entry gives, so that a folder of many files is
// listed without a look at each.
PathList expandPaths(const std::vector<std::string>& paths, bool recursive,
                     const std::string& extensions = "wav,bwf,rf64", bool followLinks = true);

}  // namespace bextkit
