// Replacing a file's content safely: the new content is written to a temporary file beside the
// original (without a name where the file system allows, so that a killed process leaves nothing
// behind), flushed to disk, given the original's permissions, owner and extended attributes, and
// renamed over the original only when complete. Until then the original is untouched, and
// whatever fails, the temporary file is removed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileHandle.h"

namespace bextkit {

class FileReplacement {
 public:
  // Prepares to replace the file at `path`; a symbolic link is followed and its target replaced.
  // Null, with the reason in `error`, when the file is not a regular file, has more than one
  // hard link (a new file would split them), or no temporary file can be made in its directory.
  [[nodiscard]] static std::unique_ptr<FileReplacement> begin(const std::string& path,
                                                              std::string& error);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // The file that will be replaced (symbolic links resolved).
  const std::string& targetPath() const { return target_; }

  // The new content is written here.
  FileHandle& output() { return *output_; }

  // Flushes the new content to disk, gives it the original's metadata and renames it over the
  // original. False, with the reason in `error`, when any step fails; the original then stays.
  [[nodiscard]] bool commit(std::string& error);

 private:
  FileReplacement() = default;
  bool copyMetadata(std::string& error);

  std::string target_;
  std::string temporary_;
  uint32_t mode_ = 0;
  uint32_t owner_ = 0;
  uint32_t group_ = 0;
  std::unique_ptr<FileHandle> output_;
  bool committed_ = false;
};

}  // namespace bextkit
