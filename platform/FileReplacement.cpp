#include "platform/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace bextkit {

namespace {

std::string errnoText() { return std::strerror(errno); }

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".NAME.bextkit-0123456789abcdef.tmp": hidden, recognisable, and unique, so that no name left
// behind by a crash can stand in the way of a later save.
constexpr std::string_view kTemporaryInfix = ".bextkit-", kTemporarySuffix = ".tmp";
constexpr size_t kTemporaryDigits = 16;

std::string temporaryNameFor(const std::string& target) {
  uint64_t random = 0;
  if (getrandom(&random, sizeof random, 0) != sizeof random) {
    random = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^
             static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&random));
  }
  static const char kHex[] = "0123456789abcdef";
  std::string suffix;
  for (size_t i = 0; i < kTemporaryDigits; ++i) suffix.push_back(kHex[(random >> (4 * i)) & 0xF]);
  return directoryOf(target) + "/." + baseNameOf(target) + std::string(kTemporaryInfix) + suffix +
         std::string(kTemporarySuffix);
}

// Whether `name` has exactly the form temporaryNameFor gives names beside the file `base`.
bool isTemporaryNameOf(std::string_view name, const std::string& base) {
  const size_t head = 1 + base.size() + kTemporaryInfix.size();
  if (name.size() != head + kTemporaryDigits + kTemporarySuffix.size() || name[0] != '.' ||
      name.substr(1, base.size()) != base ||
      name.substr(1 + base.size(), kTemporaryInfix.size()) != kTemporaryInfix ||
      name.substr(head + kTemporaryDigits) != kTemporarySuffix) {
    return false;
  }
  const std::string_view digits = name.substr(head, kTemporaryDigits);
  return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Removes the temporary files of earlier saves of `target`: named ones that a save killed
// between naming its new file and the rename, or that a file system without unnamed files made,
// left behind. Called only while the file's lock is held: a save in progress holds it, so none
// of them is in use. Only regular files of exactly that form go; one that cannot be removed is
// left to the next save.
void removeStaleTemporaries(const std::string& target) {
  DIR* directory = ::opendir(directoryOf(target).c_str());
  if (!directory) return;
  const std::string base = baseNameOf(target);
  while (const dirent* entry = ::readdir(directory)) {
    struct stat info;
    if (isTemporaryNameOf(entry->d_name, base) &&
        ::fstatat(::dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode)) {
      (void)::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
  }
  ::closedir(directory);
}

// Extended attribute names of the open file, or false when they cannot be listed.
bool listAttributes(int fd, std::vector<std::string>& names) {
  const ssize_t size = flistxattr(fd, nullptr, 0);
  if (size < 0) return errno == ENOTSUP;  // a file system without them has none to keep
  std::vector<char> list(static_cast<size_t>(size));
  const ssize_t got = size > 0 ? flistxattr(fd, list.data(), list.size()) : 0;
  if (got < 0) return false;
  for (size_t at = 0; at < static_cast<size_t>(got);) {
    const std::string name(list.data() + at);
    at += name.size() + 1;
    if (!name.empty()) names.push_back(name);
  }
  return true;
}

}  // namespace

std::unique_ptr<FileReplacement> FileReplacement::begin(const std::string& path,
                                                        std::string& error) {
  std::unique_ptr<FileReplacement> r(new FileReplacement());
  // Writing through a symbolic link replaces its target and leaves the link in place.
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) {
    error = "cannot resolve the path: " + errnoText();
    return nullptr;
  }
  r->target_ = resolved;
  r->original_ = FileHandle::openForReplacing(r->target_, &error);
  if (!r->original_) return nullptr;
  struct stat info;
  if (::fstat(r->original_->descriptor(), &info) != 0) {
    error = "cannot read the file's attributes: " + errnoText();
    return nullptr;
  }
  if (info.st_nlink > 1) {
    error = "the file has " + std::to_string(info.st_nlink) +
            " hard links, and inserting a chunk writes a new file that would split them";
    return nullptr;
  }
  r->mode_ = info.st_mode & 07777;
  r->owner_ = info.st_uid;
  r->group_ = info.st_gid;
  r->size_ = info.st_size;
  r->modifiedSeconds_ = info.st_mtim.tv_sec;
  r->modifiedNanoseconds_ = info.st_mtim.tv_nsec;
  removeStaleTemporaries(r->target_);
  r->soleWriter_ = SoleWriter::claim(r->original_->descriptor(), error);
  if (!r->soleWriter_) {
    if (error == SoleWriter::kOpenForWriting) error += "; nothing was written";
    return nullptr;
  }
  // The new content goes into a file without a name, which the system reclaims if the process
  // dies; it is named only once complete, just before the rename. Where the file system cannot
  // make unnamed files, it is made under a unique name from the start.
  std::string why;
  const std::string directory = directoryOf(r->target_);
  r->output_ = FileHandle::createUnnamed(directory, S_IRUSR | S_IWUSR, &why);
  if (!r->output_ && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    r->temporary_ = temporaryNameFor(r->target_);
    r->output_ = FileHandle::createExclusive(r->temporary_, S_IRUSR | S_IWUSR, &why);
    if (!r->output_) r->temporary_.clear();  // nothing was made, so nothing is to be removed
  }
  if (!r->output_) {
    error = "cannot make a temporary file in " + directory + " (" + why + ")";
    return nullptr;
  }
  // A new file belongs to whoever makes it, and only root may give a file away: a save by
  // another account (a member of a group that may write the file) would silently take the file
  // over. The owner goes first, before any data, since changing it clears set-user-ID bits
  // that the permissions, set at commit, then put back.
  if (::fchown(r->output_->descriptor(), r->owner_, r->group_) != 0) {
    error = "the new file could not be given the original's owner (uid " +
            std::to_string(r->owner_) + ", group " + std::to_string(r->group_) +
            "): only its owner's account or root can save it by writing a new file; nothing "
            "was written";
    return nullptr;
  }
  return r;
}

FileReplacement::~FileReplacement() {
  if (committed_ || temporary_.empty()) return;
  if (output_) output_->closeFile();
  ::unlink(temporary_.c_str());
}

bool FileReplacement::copyMetadata(std::string& error) {
  const int fd = output_->descriptor();
  if (::fchmod(fd, static_cast<mode_t>(mode_)) != 0) {
    error = "cannot set the permissions: " + errnoText();
    return false;
  }
  const int original = original_->descriptor();
  std::vector<std::string> names;
  bool ok = listAttributes(original, names);
  if (!ok) error = "cannot list the original's extended attributes: " + errnoText();
  for (size_t i = 0; ok && i < names.size(); ++i) {
    const std::string& name = names[i];
    std::vector<char> value(256);
    ssize_t size;
    while ((size = fgetxattr(original, name.c_str(), value.data(), value.size())) < 0 &&
           errno == ERANGE) {
      value.resize(value.size() * 4);
    }
    const bool copied =
        size >= 0 && fsetxattr(fd, name.c_str(), value.data(), static_cast<size_t>(size), 0) == 0;
    // The user's own attributes (type and creator codes among them) must come along; system
    // namespaces that only privileged processes may write are kept where allowed.
    if (!copied && std::string_view(name).substr(0, 5) == "user.") {
      error = "cannot copy the extended attribute " + name + ": " + errnoText();
      ok = false;
    }
  }
  return ok;
}

bool FileReplacement::originalUnchanged() const {
  // A program that writes to the file without asking for the lock (a recorder still adding
  // audio, an editor saving in place) changes its size or modification time; one that renamed
  // another file over it changes the file the path names.
  struct stat now, named;
  return ::fstat(original_->descriptor(), &now) == 0 && now.st_size == size_ &&
         now.st_mtim.tv_sec == modifiedSeconds_ && now.st_mtim.tv_nsec == modifiedNanoseconds_ &&
         ::stat(target_.c_str(), &named) == 0 && named.st_dev == now.st_dev &&
         named.st_ino == now.st_ino;
}

bool FileReplacement::commit(std::string& error) {
  if (committed_ || !output_) {
    error = "the replacement is finished already";
    return false;
  }
  if (!output_->synchronizeFile()) {
    error = output_->lastError();
    return false;
  }
  if (!copyMetadata(error)) return false;
  if (temporary_.empty()) {
    const std::string name = temporaryNameFor(target_);
    if (!output_->linkTo(name)) {
      error = output_->lastError();
      return false;
    }
    temporary_ = name;
  }
  // Checked last, just before the rename, to leave the least time for a change to slip through.
  if (!originalUnchanged()) {
    error = "the file changed while it was being saved; nothing was written";
    return false;
  }
  // A writer whose open comes after this check waits for the lease, given back after the
  // rename; if it found the file by its name before the rename, it then writes to the replaced
  // original. Only the time between this check and the rename is left for that.
  if (!soleWriter_->stillExclusive()) {
    error = std::string(SoleWriter::kOpenForWriting) + "; nothing was written";
    return false;
  }
  if (!renameFile(temporary_, target_, &error)) return false;
  committed_ = true;
  soleWriter_.reset();
  original_->closeFile();  // releases the lock
  // The content reached the disk before the rename; a failing close cannot undo that.
  (void)output_->closeFile();
  // Make the rename itself durable.
  const int dir = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool writeWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    std::unique_ptr<FileReplacement> replacement = FileReplacement::begin(path, error);
    if (!replacement) return false;
    if (!replacement->output().write(data, bytes.size())) {
      error = replacement->output().lastError();
      return false;
    }
    return replacement->commit(error);
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  std::unique_ptr<FileHandle> file =
      FileHandle::createUnnamed(folder.empty() ? "." : folder, 0666, &error);
  if (!file) return false;
  if (!file->write(data, bytes.size()) || !file->synchronizeFile() || !file->linkTo(path)) {
    error = file->lastError();
    return false;
  }
  if (!file->closeFile()) {
    error = "cannot close " + path;
    return false;
  }
  return true;
}

}  // namespace bextkit
