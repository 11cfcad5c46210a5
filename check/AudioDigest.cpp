// The audio digest: MD5 through OpenSSL's EVP interface over the data chunk's payload, read in
// large blocks; and its "MD5 " chunk, rewritten in place or appended with the form's size grown.
#include "check/AudioDigest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bwf/ByteOrder.h"
#include "bwf/FourCC.h"

namespace bextkit::check {

namespace {

constexpr FourCC kMd5Id{"MD5 "};
constexpr uint64_t kChunkHeaderSize = 8;
constexpr uint64_t kPayloadSize = 16;
constexpr uint64_t kAppendedBytes = kChunkHeaderSize + kPayloadSize;  // even: no pad byte
// The form header's size field, and ds64's 64-bit RIFF size (the first field of its payload,
// ds64 being the first chunk after the 12-byte form header).
constexpr uint64_t kFormSizeOffset = 4;
constexpr uint64_t kDs64RiffSizeOffset = 12 + kChunkHeaderSize;
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFFu;
constexpr uint64_t kLargest32BitSize = 0xFFFFFFFFu;
constexpr const char* kNothingWritten = "; nothing was written";
constexpr const char* kNotWave =
    "not a WAV file: it begins with no RIFF, RIFX, FFIR, RF64 or BW64 header";

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string chunkName(const ChainChunk& chunk) { return "'" + chunk.id.str() + "'"; }

// Where the walk that could not find a chunk stopped, for a reason that names it.
std::string brokenNote(const ChunkChain& chain) {
  return chain.broken ? " (the chunk list breaks at offset " + std::to_string(chain.brokenAt) + ")"
                      : "";
}

// Writes `bytes` at `offset` and flushes them to the disk.
bool writeAt(FileHandle& file, uint64_t offset, const uint8_t* bytes, size_t length) {
  file.seekToFileOffset(offset);
  return file.write(bytes, length) && file.synchronizeFile();
}

// Why appending a chunk after the last one would not give a sound file: the chain must run to
// the end of the file, its last chunk whole and padded.
std::string appendRefusal(const ChunkChain& chain, uint64_t fileSize) {
  if (chain.broken) {
    return "the chunk list breaks at offset " + std::to_string(chain.brokenAt) +
           " (the bytes there are no chunk header), so a chunk cannot be appended";
  }
  const ChainChunk& last = chain.chunks.back();
  if (last.truncated)
    return "the last chunk, " + chunkName(last) + ", runs past the end of the file";
  const uint64_t end = last.offset + kChunkHeaderSize + last.size + (last.size & 1);
  if (end == fileSize + 1) {
    return "the last chunk, " + chunkName(last) + ", has an odd size and lacks its pad byte";
  }
  if (end != fileSize) {
    return "the file holds " + std::to_string(fileSize - end) +
           " bytes after its last chunk, which belong to no chunk";
  }
  return std::string();
}

}  // namespace

std::string Digest::hex() const {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  return text;
}

std::array<uint8_t, 16> chunkPayload(const Digest& digest, Container container) {
  std::array<uint8_t, 16> payload = digest.bytes;
  if (container != Container::kRIFX) std::reverse(payload.begin(), payload.end());
  return payload;
}

Digest fromChunkPayload(const std::array<uint8_t, 16>& payload, Container container) {
  // Reversing is its own inverse.
  return Digest{chunkPayload(Digest{payload}, container)};
}

std::optional<Digest> digestOfRange(FileHandle& file, uint64_t offset, uint64_t length,
                                    std::string& why, size_t blockSize) {
  const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) {
    why = "MD5 is not available from the system's cryptography library";
    return std::nullopt;
  }
  std::vector<uint8_t> buffer(
      static_cast<size_t>(std::min<uint64_t>(length, std::max<size_t>(blockSize, 1))));
  file.seekToFileOffset(offset);
  for (uint64_t done = 0; done < length;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, buffer.size()));
    const size_t got = file.read(buffer.data(), want);
    if (got != want) {
      why = file.lastError().empty()
                ? "the file ends at offset " + std::to_string(offset + done + got) +
                      ", before the audio does"
                : file.lastError();
      return std::nullopt;
    }
    if (EVP_DigestUpdate(context.get(), buffer.data(), got) != 1) {
      why = "the MD5 computation failed";
      return std::nullopt;
    }
    done += got;
  }
  Digest digest;
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.bytes.data(), &size) != 1 ||
      size != digest.bytes.size()) {
    why = "the MD5 computation failed";
    return std::nullopt;
  }
  return digest;
}

std::optional<Digest> audioDigest(FileHandle& file, uint64_t fileSize, std::string& why) {
  const ChunkChain chain = walkChunkChain(file, fileSize);
  if (chain.container == Container::kNone) {
    why = kNotWave;
    return std::nullopt;
  }
  const ChainChunk* data = chain.first(chunkid::kData);
  if (!data) {
    why = "the file has no data chunk" + brokenNote(chain);
    return std::nullopt;
  }
  // A digest of part of the audio would pass for the digest of all of it.
  if (data->truncated) {
    why = "the data chunk declares " + std::to_string(data->size) +
          " bytes and runs past the end of the file";
    return std::nullopt;
  }
  return digestOfRange(file, data->offset + kChunkHeaderSize, data->size, why);
}

std::optional<Digest> audioDigest(const std::string& path, std::string& why) {
  const std::unique_ptr<FileHandle> file = FileHandle::openForReading(path, &why);
  if (!file) return std::nullopt;
  const uint64_t size = file->seekToEndOfFile();
  return audioDigest(*file, size, why);
}

std::optional<Digest> storedDigest(FileHandle& file, uint64_t fileSize, std::string& why) {
  why.clear();
  const ChunkChain chain = walkChunkChain(file, fileSize);
  if (chain.container == Container::kNone) {
    why = kNotWave;
    return std::nullopt;
  }
  const ChainChunk* chunk = chain.first(kMd5Id);
  if (!chunk) return std::nullopt;
  if (chunk->size != kPayloadSize || chunk->truncated) {
    why = chunk->size != kPayloadSize
              ? "the MD5 chunk holds " + std::to_string(chunk->size) + " bytes, not 16"
              : "the MD5 chunk runs past the end of the file";
    return std::nullopt;
  }
  std::array<uint8_t, 16> payload{};
  file.seekToFileOffset(chunk->offset + kChunkHeaderSize);
  if (file.read(payload.data(), payload.size()) != payload.size()) {
    why = "cannot read the MD5 chunk: " + file.lastError();
    return std::nullopt;
  }
  return fromChunkPayload(payload, chain.container);
}

std::optional<Embedding> embedDigest(FileHandle& file, const Digest& digest, std::string& why) {
  const auto refuse = [&why](const std::string& reason) {
    why = reason + kNothingWritten;
    return std::nullopt;
  };
  const uint64_t size = file.seekToEndOfFile();
  const ChunkChain chain = walkChunkChain(file, size);
  if (chain.container == Container::kNone) return refuse(kNotWave);
  if (!chain.first(chunkid::kData)) return refuse("the file has no data chunk" + brokenNote(chain));
  const std::array<uint8_t, 16> payload = chunkPayload(digest, chain.container);

  // A chunk of the right size is rewritten where it stands: nothing moves.
  if (const ChainChunk* stored = chain.first(kMd5Id)) {
    if (stored->size != kPayloadSize || stored->truncated) {
      return refuse("the file's MD5 chunk holds " + std::to_string(stored->size) +
                    " bytes, not 16" + (stored->truncated ? ", and runs past the end" : ""));
    }
    const uint64_t at = stored->offset + kChunkHeaderSize;
    std::array<uint8_t, 16> previous{};
    file.seekToFileOffset(at);
    if (file.read(previous.data(), previous.size()) != previous.size()) {
      return refuse("cannot read the MD5 chunk: " + file.lastError());
    }
    if (previous == payload) return Embedding::kAlreadyStored;
    if (!writeAt(file, at, payload.data(), payload.size())) {
      const std::string reason = file.lastError();
      const bool restored = writeAt(file, at, previous.data(), previous.size());
      why = reason + (restored ? "; the chunk was restored" : "; the chunk could not be restored");
      return std::nullopt;
    }
    return Embedding::kUpdated;
  }

  // A new chunk goes after the last one, and the form's size then counts it: in the header,
  // or in ds64 where the header defers to it.
  if (const std::string reason = appendRefusal(chain, size); !reason.empty()) return refuse(reason);
  const uint64_t newSize = size + kAppendedBytes;
  std::array<uint8_t, 4> header{};
  file.seekToFileOffset(kFormSizeOffset);
  if (file.read(header.data(), header.size()) != header.size()) {
    return refuse("cannot read the file's header: " + file.lastError());
  }
  const bool inDs64 = chain.has64BitSizes() && loadLE32(header.data(), 0) == kSizeInDs64;
  if (inDs64 && (chain.chunks[0].id != chunkid::kDs64 || chain.chunks[0].size < 8)) {
    return refuse(std::string("the ") + containerName(chain.container) +
                  " file has no ds64 chunk after its header to hold its size");
  }
  if (!inDs64 && newSize - 8 > kLargest32BitSize) {
    return refuse(
        "the new chunk would take the file past 4 GiB, the most its size field can count");
  }
  const uint64_t fieldAt = inDs64 ? kDs64RiffSizeOffset : kFormSizeOffset;
  std::vector<uint8_t> previousField(inDs64 ? 8 : 4), field(previousField.size());
  file.seekToFileOffset(fieldAt);
  if (file.read(previousField.data(), previousField.size()) != previousField.size()) {
    return refuse("cannot read the file's size field: " + file.lastError());
  }
  if (inDs64) {
    storeLE64(field.data(), 0, newSize - 8);
  } else if (chain.bigEndianSizes()) {
    storeBE32(field.data(), 0, static_cast<uint32_t>(newSize - 8));
  } else {
    storeLE32(field.data(), 0, static_cast<uint32_t>(newSize - 8));
  }
  std::array<uint8_t, kAppendedBytes> chunk{};
  const FourCC id = chain.reversedIds() ? kMd5Id.reversed() : kMd5Id;
  for (size_t i = 0; i < 4; ++i) chunk[i] = id[i];
  if (chain.bigEndianSizes()) {
    storeBE32(chunk.data(), 4, static_cast<uint32_t>(kPayloadSize));
  } else {
    storeLE32(chunk.data(), 4, static_cast<uint32_t>(kPayloadSize));
  }
  std::copy(payload.begin(), payload.end(), chunk.begin() + kChunkHeaderSize);

  // The chunk is on the disk before the size that counts it, so that a crash in between leaves
  // at worst a chunk past the declared end, which readers skip. A failure undoes both.
  if (!writeAt(file, size, chunk.data(), chunk.size()) ||
      !writeAt(file, fieldAt, field.data(), field.size())) {
    const std::string reason = file.lastError();
    const bool restored = writeAt(file, fieldAt, previousField.data(), previousField.size()) &&
                          file.truncateFile(size) && file.synchronizeFile();
    why = reason + (restored ? "; the file was restored" : "; the file could not be restored");
    return std::nullopt;
  }
  return Embedding::kAppended;
}

std::optional<Embedding> embedDigest(const std::string& path, const Digest& digest,
                                     std::string& why) {
  const std::unique_ptr<FileHandle> file = FileHandle::openForSaving(path, &why);
  if (!file) return std::nullopt;
  const std::optional<Embedding> done = embedDigest(*file, digest, why);
  if (done && !file->closeFile()) {
    why = file->lastError();
    return std::nullopt;
  }
  return done;
}

}  // namespace bextkit::check
