#include "bwf/ChainComparison.h"

#include <algorithm>
#include <array>

namespace bextkit {

namespace {

constexpr size_t kBlock = 64 * 1024;
constexpr uint64_t kDs64RiffSize = 8;  // the first field of ds64's payload

std::string describe(const ChainChunk& c) {
  return "'" + c.id.str() + "' at " + std::to_string(c.offset) + " (" + std::to_string(c.size) +
         " bytes)";
}

// Whether `length` bytes at `from` in one file equal those at `to` in the other.
bool sameBytes(const ChunkReader& a, uint64_t from, const ChunkReader& b, uint64_t to,
               uint64_t length) {
  std::vector<uint8_t> x(static_cast<size_t>(std::min<uint64_t>(length, kBlock))), y(x.size());
  for (uint64_t done = 0; done < length;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length - done, x.size()));
    if (a(from + done, x.data(), n) != n || b(to + done, y.data(), n) != n ||
        !std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), y.begin())) {
      return false;
    }
    done += n;
  }
  return true;
}

}  // namespace

std::string compareChains(const ChunkChain& before, const ChunkReader& readBefore,
                          uint64_t beforeSize, const ChunkChain& after,
                          const ChunkReader& readAfter, uint64_t afterSize, const ChainEdit& edit) {
  if (after.container != before.container) return "the new file's form header differs";
  const size_t kept = before.chunks.size() - std::min(before.chunks.size(), edit.removed);
  if (edit.at > before.chunks.size() || after.chunks.size() != kept + edit.added.size()) {
    return "the new file holds " + std::to_string(after.chunks.size()) + " chunks, not " +
           std::to_string(kept + edit.added.size());
  }
  for (size_t i = 0; i < edit.added.size(); ++i) {
    const ChainChunk& c = after.chunks[edit.at + i];
    if (c.id != edit.added[i].first || c.size != edit.added[i].second || c.truncated) {
      return "the new file holds " + describe(c) + " where the saved '" +
             edit.added[i].first.str() + "' chunk of " + std::to_string(edit.added[i].second) +
             " bytes belongs";
    }
  }
  // Every chunk after the edited run moves by the same amount: the growth of the file.
  const uint64_t shift = afterSize - beforeSize;
  for (size_t i = 0; i < before.chunks.size(); ++i) {
    if (i >= edit.at && i < edit.at + edit.removed) continue;
    const bool moved = i >= edit.at;
    const ChainChunk& old = before.chunks[i];
    const ChainChunk& now = after.chunks[moved ? i - edit.removed + edit.added.size() : i];
    if (now.id != old.id || now.size != old.size || now.form != old.form ||
        now.truncated != old.truncated || now.padMissing != old.padMissing ||
        now.offset != old.offset + (moved ? shift : 0)) {
      return "the chunk " + describe(old) + " became " + describe(now) + " in the new file";
    }
    if (old.id == chunkid::kData) continue;
    // The payload as far as the file holds it; ds64's RIFF size is the save's to change.
    const uint64_t skip = old.id == chunkid::kDs64 ? std::min(old.size, kDs64RiffSize) : 0;
    const uint64_t start = old.offset + 8 + skip;
    const uint64_t length =
        std::min(old.end(), beforeSize) - std::min(start, std::min(old.end(), beforeSize));
    if (!sameBytes(readBefore, old.offset, readAfter, now.offset, 8) ||
        !sameBytes(readBefore, start, readAfter, now.offset + 8 + skip, length)) {
      return "the bytes of the chunk " + describe(old) + " differ in the new file";
    }
  }
  if (after.broken != before.broken ||
      (before.broken && after.brokenAt != before.brokenAt + shift)) {
    return "the new file's chunk list breaks where the original's does not";
  }
  // Bytes after the last chunk (or after the break) come along unchanged.
  const uint64_t tail = before.broken           ? before.brokenAt
                        : before.chunks.empty() ? 12
                                                : std::min(before.chunks.back().end(), beforeSize);
  if (tail < beforeSize &&
      !sameBytes(readBefore, tail, readAfter, tail + shift, beforeSize - tail)) {
    return "the bytes after the last chunk differ in the new file";
  }
  return std::string();
}

}  // namespace bextkit
