// The audio digest: MD5 through OpenSSL's EVP interface over the data chunk's payload, read in
// large blocks; and its "MD5 " chunk, rewritten in place or appended with the form's size grown.
#include "check/AudioDigest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bwf/ByteOrder.h"
#include "platform/FourCC.h"

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
constexpr const char* kNoMd5 = "the system's cryptography library cannot compute MD5";
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

// Bytes to write at an offset, and the bytes they replace (none where they lie past the length
// the file is cut back to on a failure).
struct Patch {
  uint64_t at;
  std::vector<uint8_t> bytes, previous;
};

// Writes the patches in order, each on the disk before the next begins. A failure writes back
// what the patches replaced, last first, and cuts the file to `length`; `why` says whether
// that restored it. Should a write back fail, the file is not cut: a form's size restored
// without the chunk it counted would leave a form longer than its file.
bool applyPatches(FileHandle& file, const std::vector<Patch>& patches, uint64_t length,
                  std::string& why) {
  for (size_t done = 0; done < patches.size(); ++done) {
    const Patch& patch = patches[done];
    if (writeAt(file, patch.at, patch.bytes.data(), patch.bytes.size())) continue;
    const std::string reason = file.lastError();
    bool restored = true;
    for (size_t i = done + 1; i-- > 0 && restored;) {
      const std::vector<uint8_t>& previous = patches[i].previous;
      restored = previous.empty() || writeAt(file, patches[i].at, previous.data(), previous.size());
    }
    restored = restored && file.truncateFile(length) && file.synchronizeFile();
    why = reason + (restored ? "; the file was restored" : "; the file could not be restored");
    return false;
  }
  return true;
}

// What is wrong with an "MD5 " chunk; empty when it holds its 16 bytes.
std::string md5ChunkFault(const ChainChunk& chunk, uint64_t fileSize) {
  if (chunk.truncated) {
    return "the MD5 chunk declares " + std::to_string(chunk.size) + " bytes but only " +
           std::to_string(fileSize - chunk.offset - kChunkHeaderSize) + " remain in the file";
  }
  if (chunk.size != kPayloadSize) {
    return "the MD5 chunk holds " + std::to_string(chunk.size) + " bytes, not 16";
  }
  return std::string();
}

// The form's size field: in the header, or in ds64 where the header of an RF64 or BW64 file
// defers to it.
struct FormSize {
  uint64_t at = kFormSizeOffset;
  std::vector<uint8_t> stored;  // the field's bytes as the file holds them
  bool bigEndian = false;

  uint64_t value() const {
    return stored.size() == 8 ? loadLE64(stored.data(), 0)
           : bigEndian        ? loadBE32(stored.data(), 0)
                              : loadLE32(stored.data(), 0);
  }
  // The field counting `size` bytes after the form header's first 8; empty when 32 bits
  // cannot count them.
  std::vector<uint8_t> holding(uint64_t size) const {
    std::vector<uint8_t> field(stored.size());
    if (field.size() == 8) {
      storeLE64(field.data(), 0, size);
    } else if (size > kLargest32BitSize) {
      field.clear();
    } else if (bigEndian) {
      storeBE32(field.data(), 0, static_cast<uint32_t>(size));
    } else {
      storeLE32(field.data(), 0, static_cast<uint32_t>(size));
    }
    return field;
  }
};

std::optional<FormSize> readFormSize(FileHandle& file, const ChunkChain& chain, std::string& why) {
  FormSize form;
  form.bigEndian = chain.bigEndianSizes();
  form.stored.resize(4);
  file.seekToFileOffset(kFormSizeOffset);
  if (file.read(form.stored.data(), 4) != 4) {
    why = "cannot read the file's header: " + file.lastError();
    return std::nullopt;
  }
  if (!chain.has64BitSizes() || loadLE32(form.stored.data(), 0) != kSizeInDs64) return form;
  if (chain.chunks.empty() || chain.chunks[0].id != chunkid::kDs64 || chain.chunks[0].size < 8) {
    why = std::string("the ") + containerName(chain.container) +
          " file has no ds64 chunk after its header to hold its size";
    return std::nullopt;
  }
  form.at = kDs64RiffSizeOffset;
  form.stored.resize(8);
  file.seekToFileOffset(form.at);
  if (file.read(form.stored.data(), 8) != 8) {
    why = "cannot read the file's size field: " + file.lastError();
    return std::nullopt;
  }
  return form;
}

// Where a new chunk goes: where the chain's last chunk ends, which must be the end of the file,
// but for what an interrupted append leaves there: the start of `chunk` (the chunk this append
// writes) cut by the end of the file, or an MD5 chunk of 16 bytes so cut. The new chunk is
// written over it.
std::optional<uint64_t> appendOffset(FileHandle& file, const ChunkChain& chain, uint64_t fileSize,
                                     const std::array<uint8_t, kAppendedBytes>& chunk,
                                     std::string& why) {
  if (chain.broken) {
    why = "the chunk list breaks at offset " + std::to_string(chain.brokenAt) +
          " (the bytes there are no chunk header), so a chunk cannot be appended";
    return std::nullopt;
  }
  const ChainChunk& last = chain.chunks.back();
  if (last.truncated) {
    if (last.id == kMd5Id && last.size == kPayloadSize) return last.offset;
    why = "the last chunk, " + chunkName(last) + ", runs past the end of the file";
    return std::nullopt;
  }
  const uint64_t end = last.offset + kChunkHeaderSize + last.size + (last.size & 1);
  if (end == fileSize + 1) {
    why = "the last chunk, " + chunkName(last) + ", has an odd size and lacks its pad byte";
    return std::nullopt;
  }
  std::array<uint8_t, kChunkHeaderSize> after{};
  const uint64_t extra = fileSize - end;
  file.seekToFileOffset(end);
  if (extra < after.size() && file.read(after.data(), extra) == extra &&
      std::equal(after.begin(), after.begin() + extra, chunk.begin())) {
    return end;
  }
  why = "the file holds " + std::to_string(extra) +
        " bytes after its last chunk, which belong to no chunk";
  return std::nullopt;
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

// MD5 as the library gives it, looked up once for the process: a lookup for every digest costs
// more than hashing a short file, and takes a lock that threads hashing at once meet on.
const EVP_MD* md5() {
  static const EVP_MD* const fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return fetched ? fetched : EVP_md5();
}

struct DigestStream::Context {
  std::unique_ptr<EVP_MD_CTX, ContextFree> md{EVP_MD_CTX_new()};
  bool ok = md && EVP_DigestInit_ex(md.get(), md5(), nullptr) == 1;
};

DigestStream::DigestStream() : context_(std::make_unique<Context>()) {}
DigestStream::~DigestStream() = default;

bool DigestStream::add(const uint8_t* bytes, size_t length) {
  context_->ok = context_->ok && EVP_DigestUpdate(context_->md.get(), bytes, length) == 1;
  return context_->ok;
}

std::optional<Digest> DigestStream::finish() {
  Digest digest;
  unsigned int size = 0;
  if (!context_->ok || EVP_DigestFinal_ex(context_->md.get(), digest.bytes.data(), &size) != 1 ||
      size != digest.bytes.size()) {
    context_->ok = false;
    return std::nullopt;
  }
  return digest;
}

std::optional<Digest> digestOfRange(FileHandle& file, uint64_t offset, uint64_t length,
                                    std::string& why, size_t blockSize) {
  DigestStream stream;
  std::vector<uint8_t> buffer(
      static_cast<size_t>(std::min<uint64_t>(length, std::max<size_t>(blockSize, 1))));
  file.seekToFileOffset(offset);
  // Large files are read from start to end: the system can read well ahead.
  if (length > buffer.size()) file.expectSequentialReads();
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
    if (!stream.add(buffer.data(), got)) break;
    done += got;
  }
  std::optional<Digest> digest = stream.finish();
  if (!digest) why = kNoMd5;
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
  if (why = md5ChunkFault(*chunk, fileSize); !why.empty()) return std::nullopt;
  std::array<uint8_t, 16> payload{};
  file.seekToFileOffset(chunk->offset + kChunkHeaderSize);
  if (file.read(payload.data(), payload.size()) != payload.size()) {
    why = "cannot read the MD5 chunk: " + file.lastError();
    return std::nullopt;
  }
  return fromChunkPayload(payload, chain.container);
}

std::optional<Embedded> embedDigest(FileHandle& file, const Digest& digest, bool replaceDiffering,
                                    std::string& why) {
  const auto refuse = [&why](const std::string& reason) {
    why = reason + kNothingWritten;
    return std::nullopt;
  };
  const uint64_t size = file.seekToEndOfFile();
  const ChunkChain chain = walkChunkChain(file, size);
  if (chain.container == Container::kNone) return refuse(kNotWave);
  if (!chain.first(chunkid::kData)) return refuse("the file has no data chunk" + brokenNote(chain));
  const std::array<uint8_t, 16> payload = chunkPayload(digest, chain.container);
  std::array<uint8_t, kAppendedBytes> chunk{};
  const FourCC id = chain.reversedIds() ? kMd5Id.reversed() : kMd5Id;
  for (size_t i = 0; i < 4; ++i) chunk[i] = id[i];
  if (chain.bigEndianSizes()) {
    storeBE32(chunk.data(), 4, static_cast<uint32_t>(kPayloadSize));
  } else {
    storeLE32(chunk.data(), 4, static_cast<uint32_t>(kPayloadSize));
  }
  std::copy(payload.begin(), payload.end(), chunk.begin() + kChunkHeaderSize);
  std::string reason;
  std::optional<FormSize> form;

  // A chunk of the right size is rewritten where it stands: nothing moves. One cut short by the
  // end of the file is what an interrupted append left, and is appended anew below.
  const ChainChunk* stored = chain.first(kMd5Id);
  if (stored && !(stored->truncated && stored->size == kPayloadSize)) {
    if (reason = md5ChunkFault(*stored, size); !reason.empty()) return refuse(reason);
    const uint64_t at = stored->offset + kChunkHeaderSize;
    std::array<uint8_t, 16> previous{};
    file.seekToFileOffset(at);
    if (file.read(previous.data(), previous.size()) != previous.size()) {
      return refuse("cannot read the MD5 chunk: " + file.lastError());
    }
    Embedded done{Embedding::kAlreadyStored, Repair::kNone,
                  fromChunkPayload(previous, chain.container)};
    std::vector<Patch> patches;
    if (previous != payload) {
      done.embedding = replaceDiffering ? Embedding::kUpdated : Embedding::kDiffers;
      if (!replaceDiffering) return done;
      patches.push_back({at, {payload.begin(), payload.end()}, {previous.begin(), previous.end()}});
    }
    // The file's last chunk, lying just past the form's declared end: an append stopped
    // before it grew the form's size. Counted in, the file is as that append would have left it.
    if (stored->offset + kAppendedBytes == size) {
      if (!(form = readFormSize(file, chain, reason))) return refuse(reason);
      std::vector<uint8_t> field = form->holding(size - 8);
      if (form->value() == stored->offset - 8 && !field.empty()) {
        patches.push_back({form->at, std::move(field), form->stored});
        done.repair = Repair::kCountedIn;
      }
    }
    if (!applyPatches(file, patches, size, why)) return std::nullopt;
    return done;
  }

  // A new chunk goes after the last one, and the form's size then counts it. The chunk is on
  // the disk before the size: whatever a crash or a kill leaves between is a file that readers
  // take for the one before (the new bytes lie past the form's declared end), and that the next
  // embedding completes, writing a cut-off chunk anew or counting a whole one in. Growing the
  // size first would instead leave a form that declares bytes the file lacks, which cannot be
  // told from a file cut short. The size field, 4 or 8 bytes in the first sector, is written
  // whole or not at all.
  const std::optional<uint64_t> end = appendOffset(file, chain, size, chunk, reason);
  if (!end) return refuse(reason);
  if (!(form = readFormSize(file, chain, reason))) return refuse(reason);
  std::vector<uint8_t> field = form->holding(*end + kAppendedBytes - 8);
  if (field.empty()) {
    return refuse(
        "the new chunk would take the file past 4 GiB, the most its size field can count");
  }
  const std::vector<Patch> patches = {{*end, {chunk.begin(), chunk.end()}, {}},
                                      {form->at, std::move(field), form->stored}};
  if (!applyPatches(file, patches, *end, why)) return std::nullopt;
  return Embedded{Embedding::kAppended, *end < size ? Repair::kRewritten : Repair::kNone, {}};
}

std::optional<Embedded> embedDigest(const std::string& path, const Digest& digest,
                                    bool replaceDiffering, std::string& why) {
  const std::unique_ptr<FileHandle> file = FileHandle::openForSaving(path, &why);
  if (!file) return std::nullopt;
  const std::optional<Embedded> done = embedDigest(*file, digest, replaceDiffering, why);
  if (done && !file->closeFile()) {
    why = file->lastError();
    return std::nullopt;
  }
  return done;
}

}  // namespace bextkit::check
