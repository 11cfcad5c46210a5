// HFS type and creator codes of files, the four-character codes that the Mac file system keeps
// beside each file. Linux has none: they are kept where macOS keeps them on other file systems,
// in the extended attribute user.com.apple.FinderInfo (type at bytes 0-3, creator at 4-7).
#pragma once

#include <optional>
#include <string>

namespace bextkit {

class FileManager {
 public:
  FileManager() = delete;

  // Set the code (four bytes) of the file itself, never of a symbolic link's target; only the
  // code's four bytes of the attribute change, and the file's content and modification time stay.
  // False, with nothing changed, for a code of another length, a missing file, a symbolic link,
  // anything but a regular file or a file system without user attributes; errno then says why:
  // EINVAL (the code), ENOENT (or what lstat reported), ELOOP (a link), EPERM (another kind of
  // file), ENOTSUP (the file system), or what the file system reported when it refused.
  [[nodiscard]] static bool setCreatorCode(const std::string& code, const std::string& path);
  [[nodiscard]] static bool setTypeCode(const std::string& code, const std::string& path);
  // The code in single quotes ('TEXT'), following symbolic links. The four bytes stand verbatim
  // between the quotes, whatever they are, so that the text gives the code back; code 0 is the
  // empty quotes '' as on macOS. A missing file, anything but a regular file, a missing attribute
  // or one too short to hold the code's four bytes reads as code 0.
  [[nodiscard]] static std::string creatorCodeAtPath(const std::string& path);
  [[nodiscard]] static std::string typeCodeAtPath(const std::string& path);
  // The code's four bytes, read as those texts read them; nothing for code 0.
  [[nodiscard]] static std::optional<std::string> creatorCode(const std::string& path);
  [[nodiscard]] static std::optional<std::string> typeCode(const std::string& path);
};

}  // namespace bextkit
