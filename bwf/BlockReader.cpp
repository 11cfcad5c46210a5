#include "bwf/BlockReader.h"

#include <algorithm>
#include <cstring>

namespace bextkit::detail {

const uint8_t* BlockReader::at(uint64_t offset, size_t length, size_t& available) {
  const uint64_t blockEnd = blockStart_ + blockFilled_;
  const bool inside = offset >= blockStart_ && offset <= blockEnd;
  if (!inside || (blockEnd - offset < length && blockEnd < fileSize_)) {
    // Walking on from the current block asks for a bigger one; a jump starts small again.
    const bool walkingOn = inside && blockFilled_ > 0;
    size_t want = walkingOn ? std::min(lastReadSize_ * 2, kLargestBlock) : kFirstBlock;
    want = std::max(want, length);
    const uint64_t remaining = offset < fileSize_ ? fileSize_ - offset : 0;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(want, remaining));
    if (size > small_.size() && largeSize_ < size) {
      large_ = std::make_unique_for_overwrite<uint8_t[]>(size);
      largeSize_ = size;
    }
    block_ = size > small_.size() ? large_.get() : small_.data();
    file_.seekToFileOffset(offset);
    blockStart_ = offset;
    blockFilled_ = file_.read(block_, size);
    lastReadSize_ = want;
  }
  available = static_cast<size_t>(blockStart_ + blockFilled_ - offset);
  return available > 0 ? block_ + (offset - blockStart_) : nullptr;
}

void BlockReader::copy(uint64_t offset, uint8_t* destination, size_t length) {
  size_t available = 0;
  const uint8_t* bytes = at(offset, length, available);
  const size_t n = std::min(available, length);
  // An empty copy may come with no destination at all (an empty buffer's data()).
  if (n > 0) std::memcpy(destination, bytes, n);
  if (length > n) std::memset(destination + n, 0, length - n);
}

}  // namespace bextkit::detail
