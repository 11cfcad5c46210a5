// Replacing a file's content safely: the new content is written to a temporary file beside the
// original (without a name where the file system allows, so that a killed process leaves nothing
// behind), flushed to disk, given the original's permissions, owner and extended attributes, and
// renamed over the original only when complete, and only when no other program changed the
// original or opened it for writing meanwhile. Until then the original is untouched, and
// whatever fails, the temporary file is removed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileHandle.h"
#include "platform/SoleWriter.h"

namespace bextkit {

class FileReplacement {
 public:
  // Prepares to replace the file at `path`; a symbolic link is followed and its target replaced.
  // The original is opened for replacing (FileHandle::openForReplacing: this user must be
  // allowed to write it, and it stays locked until the replacement ends). Null, with the reason
  // in `error`, when it cannot be, when it has more than one hard link (a new file would split
  // them), when another program has it open for writing (SoleWriter: a recorder would go on
  // writing to the replaced file), when no temporary file can be made in its directory, or when
  // the new file cannot be given the original's owner and group. Temporary files that an
  // earlier save of the same file left behind (killed between naming and renaming its new file,
  // or on a file system without unnamed files) are removed.
  [[nodiscard]] static std::unique_ptr<FileReplacement> begin(const std::string& path,
                                                              std::string& error);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // The file that will be replaced (symbolic links resolved).
  const std::string& targetPath() const { return target_; }

  // The original, to read from, and the new content, written here.
  FileHandle& original() { return *original_; }
  FileHandle& output() { return *output_; }

  // Flushes the new content to disk, gives it the original's metadata and renames it over the
  // original. False, with the reason in `error`, when any step fails or when the original's
  // size or modification time is no longer what it was at begin (another program wrote to it:
  // "the file changed while it was being saved") or another program has opened it for writing
  // since (SoleWriter::kOpenForWriting); the original then stays.
  [[nodiscard]] bool commit(std::string& error);

 private:
  FileReplacement() = default;
  bool copyMetadata(std::string& error);

  // The original's size and modification time when the replacement began.
  bool originalUnchanged() const;

  std::string target_;
  std::string temporary_;
  uint32_t mode_ = 0;
  uint32_t owner_ = 0;
  uint32_t group_ = 0;
  int64_t size_ = 0;
  int64_t modifiedSeconds_ = 0;
  int64_t modifiedNanoseconds_ = 0;
  std::unique_ptr<FileHandle> original_;
  std::unique_ptr<FileHandle> output_;
  std::unique_ptr<SoleWriter> soleWriter_;  // after original_: let go before it closes
  bool committed_ = false;
};

// Writes `bytes` as the whole content of the file at `path` (a table, a report): a new file
// appears complete or not at all (written without a name, flushed, then named), and an
// existing one is replaced as FileReplacement replaces it. False, with the reason in `error`.
[[nodiscard]] bool writeWholeFile(const std::string& path, std::string_view bytes,
                                  std::string& error);

}  // namespace bextkit
