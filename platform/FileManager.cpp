#include "platform/FileManager.h"

#include <linux/limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <optional>

#include "platform/FourCC.h"

namespace bextkit {

namespace {

constexpr const char* kFinderInfo = "user.com.apple.FinderInfo";
constexpr size_t kFinderInfoSize = 32;
constexpr size_t kCodeSize = 4;
constexpr size_t kTypeOffset = 0;
constexpr size_t kCreatorOffset = 4;

// The attribute's bytes, empty when the file has none; nothing when it cannot be read (errno
// says why). One call with room for the largest value Linux keeps, so that the value cannot
// change size between asking for its size and reading it.
std::optional<std::string> finderInfo(const std::string& path, bool followLinks) {
  std::string bytes(XATTR_SIZE_MAX, '\0');
  const ssize_t n = followLinks
                        ? ::getxattr(path.c_str(), kFinderInfo, bytes.data(), bytes.size())
                        : ::lgetxattr(path.c_str(), kFinderInfo, bytes.data(), bytes.size());
  if (n < 0) return errno == ENODATA ? std::optional<std::string>(std::string()) : std::nullopt;
  bytes.resize(static_cast<size_t>(n));
  return bytes;
}

// The code that `text` names: its four bytes as they are; nothing for a text of another length.
std::optional<FourCC> codeOf(const std::string& text) {
  if (text.size() != kCodeSize) return std::nullopt;
  return FourCC::fromBytes(reinterpret_cast<const uint8_t*>(text.data()));
}

// The code held at `offset` of the attribute's bytes; code 0 when they are too few to hold it.
FourCC codeIn(const std::string& info, size_t offset) {
  if (info.size() < offset + kCodeSize) return FourCC();
  return FourCC::fromBytes(reinterpret_cast<const uint8_t*>(info.data() + offset));
}

bool setCode(size_t offset, const std::string& text, const std::string& path) {
  const std::optional<FourCC> code = codeOf(text);
  if (!code) {
    errno = EINVAL;
    return false;
  }
  // The path itself: a link is refused rather than followed (Linux keeps no user attributes on
  // links). Only regular files carry codes; a folder's FinderInfo holds its window's place in
  // those bytes.
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISLNK(st.st_mode) ? ELOOP : EPERM;
    return false;
  }
  std::optional<std::string> info = finderInfo(path, false);
  if (!info) return false;
  // macOS writes exactly 32 bytes. An attribute of another length came from elsewhere: its bytes
  // are kept as they are, a longer one whole, and a shorter one padded with zeros to 32 so that
  // both codes have their place.
  if (info->size() < kFinderInfoSize) info->resize(kFinderInfoSize, '\0');
  info->replace(offset, kCodeSize, code->str());
  // One call replaces the whole value, so the attribute is never left half written.
  return ::lsetxattr(path.c_str(), kFinderInfo, info->data(), info->size(), 0) == 0;
}

// The code at `offset` of the file's Finder information; nothing for code 0.
std::optional<FourCC> codeAt(size_t offset, const std::string& path) {
  struct stat st;
  std::optional<std::string> info;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) info = finderInfo(path, true);
  const FourCC code = info ? codeIn(*info, offset) : FourCC();
  return code == FourCC() ? std::nullopt : std::optional<FourCC>(code);
}

std::string codeAtPath(size_t offset, const std::string& path) {
  const std::optional<FourCC> code = codeAt(offset, path);
  return code ? "'" + code->str() + "'" : "''";
}

std::optional<std::string> codeTextAt(size_t offset, const std::string& path) {
  const std::optional<FourCC> code = codeAt(offset, path);
  return code ? std::optional<std::string>(code->str()) : std::nullopt;
}

}  // namespace

bool FileManager::setCreatorCode(const std::string& code, const std::string& path) {
  return setCode(kCreatorOffset, code, path);
}

bool FileManager::setTypeCode(const std::string& code, const std::string& path) {
  return setCode(kTypeOffset, code, path);
}

std::string FileManager::creatorCodeAtPath(const std::string& path) {
  return codeAtPath(kCreatorOffset, path);
}

std::string FileManager::typeCodeAtPath(const std::string& path) {
  return codeAtPath(kTypeOffset, path);
}

std::optional<std::string> FileManager::creatorCode(const std::string& path) {
  return codeTextAt(kCreatorOffset, path);
}

std::optional<std::string> FileManager::typeCode(const std::string& path) {
  return codeTextAt(kTypeOffset, path);
}

}  // namespace bextkit
