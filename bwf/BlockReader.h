// Reads a file for the chunk scan in blocks, so that the scan works on memory and makes a
// number of reads that depends on the bytes it looks at, not on the bytes it jumps over. The
// first block holds the header and metadata of a typical recorder file whole, so that such a
// file takes one read; a block doubles while the scan walks forward through unlisted bytes, up
// to a fixed cap: memory never depends on the file's size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/FileHandle.h"

namespace bextkit::detail {

class BlockReader {
 public:
  static constexpr size_t kFirstBlock = 8 * 1024;
  static constexpr size_t kLargestBlock = 1024 * 1024;

  BlockReader(FileHandle& file, uint64_t fileSize) : file_(file), fileSize_(fileSize) {}
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  uint64_t fileSize() const { return fileSize_; }

  // The bytes from `offset` on, at least `length` of them unless the file (or a failed read)
  // ends sooner; `available` receives how many there are, possibly more than `length`.
  const uint8_t* at(uint64_t offset, size_t length, size_t& available);

  // Copies `length` bytes from `offset` into `destination`, zero where the file has none.
  void copy(uint64_t offset, uint8_t* destination, size_t length);

 private:
  FileHandle& file_;
  uint64_t fileSize_;
  // A block of kFirstBlock bytes or fewer is read into the reader itself (it lives on the
  // scanning thread's stack), a larger one into memory of its own. Read into before it is
  // looked at, neither is ever cleared.
  std::array<uint8_t, kFirstBlock> small_;
  std::unique_ptr<uint8_t[]> large_;
  size_t largeSize_ = 0;
  uint8_t* block_ = small_.data();
  uint64_t blockStart_ = 0;
  size_t blockFilled_ = 0;
  size_t lastReadSize_ = 0;
};

}  // namespace bextkit::detail
