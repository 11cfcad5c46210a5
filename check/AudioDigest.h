// The MD5 digest of a WAVE file's audio: the payload of its data chunk, nothing of its header,
// pad byte or other chunks, so that the digest survives every metadata edit. The digest can be
// kept in the file itself, in an "MD5 " chunk of 16 bytes appended after the last chunk, where
// archive tools look for it to prove that the audio is still what was stored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bwf/ChunkChain.h"
#include "platform/FileHandle.h"

namespace bextkit::check {

// Bytes read from the file at a time while hashing.
inline constexpr size_t kDigestBlock = size_t{1} << 20;

struct Digest {
  std::array<uint8_t, 16> bytes{};
  // Lower-case hexadecimal, as md5sum prints it.
  std::string hex() const;
  friend bool operator==(const Digest&, const Digest&) = default;
};

// An MD5 computed over bytes given a block at a time, for a pass over the audio that does more
// than hash it.
class DigestStream {
 public:
  DigestStream();
  ~DigestStream();
  DigestStream(const DigestStream&) = delete;
  DigestStream& operator=(const DigestStream&) = delete;
  // False once the system's cryptography library fails (or cannot give MD5 at all).
  [[nodiscard]] bool add(const uint8_t* bytes, size_t length);
  // The digest of all the bytes added; nothing when the library failed.
  [[nodiscard]] std::optional<Digest> finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// The MD5 of `length` bytes of the file from `offset`, read `blockSize` bytes at a time;
// nothing, with the reason in `why`, when the file ends early or cannot be read.
[[nodiscard]] std::optional<Digest> digestOfRange(FileHandle& file, uint64_t offset,
                                                  uint64_t length, std::string& why,
                                                  size_t blockSize = kDigestBlock);

// The MD5 of the payload of the first data chunk on the file's chunk chain (its 64-bit size
// from ds64 in RF64 and BW64). Nothing, with the reason in `why`, for a file that is not a
// WAVE file, has no data chunk, or whose data chunk runs past the end of the file.
[[nodiscard]] std::optional<Digest> audioDigest(FileHandle& file, uint64_t fileSize,
                                                std::string& why);
[[nodiscard]] std::optional<Digest> audioDigest(const std::string& path, std::string& why);

// The digest that the file's first "MD5 " chunk holds. Nothing with an empty `why` when the
// file has no such chunk; nothing with the reason when the file cannot be read or the chunk is
// not 16 bytes long or runs past the end of the file.
[[nodiscard]] std::optional<Digest> storedDigest(FileHandle& file, uint64_t fileSize,
                                                 std::string& why);

// The 16 payload bytes of an "MD5 " chunk: the digest as a 128-bit number, little-endian (its
// last byte first), or big-endian in RIFX files, whose numbers are all big-endian; as MediaInfo
// reads the chunk. `fromChunkPayload` undoes it.
std::array<uint8_t, 16> chunkPayload(const Digest& digest, Container container);
Digest fromChunkPayload(const std::array<uint8_t, 16>& payload, Container container);

// What embedDigest did, or found.
enum class Embedding {
  kAppended,       // a new chunk after the last one
  kUpdated,        // the chunk held another digest, replaced as asked
  kAlreadyStored,  // the chunk holds this digest
  kDiffers,        // the chunk holds another digest, which was kept: nothing was written
};

// What an interrupted embedding had left, mended on the way.
enum class Repair {
  kNone,
  kCountedIn,  // a whole MD5 chunk just past the form's declared end: the size now counts it
  kRewritten,  // the start of an MD5 chunk, cut by the end of the file: written anew
};

struct Embedded {
  Embedding embedding;
  Repair repair = Repair::kNone;
  Digest stored{};  // what the chunk held before (kUpdated, kDiffers)
};

// Stores `digest` in the file: over the payload of its "MD5 " chunk, when it has one, or in a
// new chunk appended after the last chunk, the form's size (or ds64's 64-bit one) grown to
// match. A stored digest that differs from `digest` is evidence that the audio changed since:
// it is kept (kDiffers) unless `replaceDiffering`. The file must end where its last chunk ends,
// and have a data chunk. What an interrupted embedding leaves is mended: a whole MD5 chunk after
// the form's declared end is counted in, the start of one cut by the end of the file is written
// anew. Every change is on the disk before success is reported, and a failure part way leaves
// the file as it was (less such a cut-off chunk). Nothing, with the reason in `why`, when it
// refuses or fails. The handle must be open for saving.
[[nodiscard]] std::optional<Embedded> embedDigest(FileHandle& file, const Digest& digest,
                                                  bool replaceDiffering, std::string& why);
[[nodiscard]] std::optional<Embedded> embedDigest(const std::string& path, const Digest& digest,
                                                  bool replaceDiffering, std::string& why);

}  // namespace bextkit::check
