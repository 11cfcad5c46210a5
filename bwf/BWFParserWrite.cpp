// Writing the broadcast extension chunk back: building the record from defaults, the current
// date, the chunk image and the edited fields, then rewriting the chain's bext chunk in place or
// inserting a new chunk after the form header (after ds64 in RF64 and BW64), in the file's byte
// order.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"
#include "bwf/FourCC.h"
#include "platform/Clock.h"
#include "platform/FileReplacement.h"
#include "timecode/CNumbers.h"

namespace bextkit {

namespace {

constexpr uint32_t kNewChunkSize = 858;  // declared by a new chunk: two bytes past the record
constexpr uint64_t kInsertedBytes = BWFChunk::kHeaderSize + kNewChunkSize;  // 866
constexpr uint64_t kRiffHeaderSize = 12;
constexpr uint64_t kLargestRiffFile = uint64_t{1} << 32;  // its size field counts 32 bits

// The text as C would hold it: up to its first NUL.
std::string_view cText(const std::string& text) { return cnum::cStringView(text); }

// Copies `text` into the field, followed by a NUL when it is shorter; the bytes after the NUL
// keep what the record held.
void putText(BWFChunk& record, BWFChunk::Field field, std::string_view text) {
  const size_t n = std::min(text.size(), field.width);
  std::copy_n(text.begin(), n, record.bytes.begin() + static_cast<std::ptrdiff_t>(field.offset));
  if (n < field.width) record.bytes[field.offset + n] = 0;
}

// The words of the date text: "yyyy-mm-dd", "hh:mm:ss" (the zone is not kept).
std::pair<std::string, std::string> dateAndTime() {
  const std::string text = currentDateText();
  const size_t space = text.find(' ');
  if (space == std::string::npos) return {text, std::string()};
  const size_t end = text.find(' ', space + 1);
  return {text.substr(0, space), text.substr(space + 1, end - space - 1)};
}

}  // namespace

uint32_t BWFParser::loadSize(const uint8_t* bytes, size_t offset) const {
  return bigEndianSizes() ? loadBE32(bytes, offset) : loadLE32(bytes, offset);
}

void BWFParser::storeSize(uint8_t* bytes, size_t offset, uint32_t value) const {
  if (bigEndianSizes()) {
    storeBE32(bytes, offset, value);
  } else {
    storeLE32(bytes, offset, value);
  }
}

uint32_t BWFParser::imageChunkSize() const {
  return bwfChunk_ ? loadSize(bwfChunk_->bytes.data(), BWFChunk::kCkSize.offset) : 0;
}

uint32_t BWFParser::timeReferenceFromTimecode() const {
  // The frames are a fraction of a second at the frame rate; no drop-frame adjustment. The sum
  // is formed in double precision in this order, then rounded up to a whole sample.
  if (framesPerSecond_ == 0.0f) return 0;
  double t = static_cast<double>(ff_) / static_cast<double>(framesPerSecond_);
  t = t + ss_;
  t = t + cnum::mul32(60, mm_);
  t = t + cnum::mul32(3600, hh_);
  const double samples = std::ceil(t * static_cast<double>(samplePerSeconds_));
  if (!(samples >= 0.0)) return 0;  // negative, or not a number
  if (samples > 4294967295.0) return 4294967295u;
  return static_cast<uint32_t>(samples);
}

std::vector<uint8_t> BWFParser::getBWFChunkData() const {
  BWFChunk record;
  const auto [date, time] = dateAndTime();
  const FourCC id = reversedIds() ? chunkid::kBext.reversed() : chunkid::kBext;
  for (size_t i = 0; i < 4; ++i) record.bytes[i] = id[i];
  storeSize(record.bytes.data(), BWFChunk::kCkSize.offset, kNewChunkSize);
  record.bytes[BWFChunk::kDescription.offset] = 0x0A;
  record.bytes[BWFChunk::kDescription.offset + 1] = 0x0D;
  putText(record, BWFChunk::kCodingHistory, "A=PCM");
  // Date and time fill their fields exactly, with no NUL.
  std::copy_n(date.begin(), std::min(date.size(), BWFChunk::kOriginationDate.width),
              record.bytes.begin() + BWFChunk::kOriginationDate.offset);
  std::copy_n(time.begin(), std::min(time.size(), BWFChunk::kOriginationTime.width),
              record.bytes.begin() + BWFChunk::kOriginationTime.offset);

  size_t length = BWFChunk::kSize;
  if (bwfChunk_) {
    // An existing chunk keeps everything but the edited fields, as far as it reaches.
    length = std::min<size_t>(imageChunkSize(), BWFChunk::kSize);
    std::copy_n(bwfChunk_->bytes.begin(), length, record.bytes.begin());
  }
  putText(record, BWFChunk::kDescription, cText(description_));
  putText(record, BWFChunk::kOriginator, cText(originator_));
  // Without a sample rate a timecode cannot become a sample count: the time reference that the
  // chunk holds is kept rather than overwritten with 0.
  if (samplePerSeconds_ != 0) {
    record.store32(BWFChunk::kTimeReferenceLow, timeReferenceFromTimecode(), bigEndianRecord());
  }
  return std::vector<uint8_t>(record.bytes.begin(),
                              record.bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

bool BWFParser::failSave(const std::string& path, const std::string& reason) {
  lastError_ = "cannot save " + path + ": " + reason;
  return false;
}

bool BWFParser::writeBExtHeaderToFile(const std::string& path) {
  lastError_.clear();
  if (!scanned_) return failSave(path, "the file has not been scanned");
  if (!(chunkFlags_ & (kBWFFlagRIFF | kBWFFlagBext)) && chain_.container == Container::kNone) {
    return failSave(path, "not a RIFF file: the scan found neither a RIFF header nor a bext chunk");
  }
  // A text that does not fit is refused rather than cut short.
  const struct {
    const char* name;
    std::string_view text;
    size_t width;
  } texts[] = {{"description", cText(description_), BWFChunk::kDescription.width},
               {"originator", cText(originator_), BWFChunk::kOriginator.width}};
  for (const auto& t : texts) {
    if (t.text.size() > t.width) {
      return failSave(path, std::string("the ") + t.name + " is " + std::to_string(t.text.size()) +
                                " bytes long, and the field holds at most " +
                                std::to_string(t.width));
    }
  }
  const std::vector<uint8_t> record = getBWFChunkData();
  return (chunkFlags_ & kBWFFlagBext) ? rewriteChunk(path, record) : insertChunk(path, record);
}

bool BWFParser::rewriteChunk(const std::string& path, const std::vector<uint8_t>& record) {
  std::string why;
  std::unique_ptr<FileHandle> file = FileHandle::openForUpdating(path, &why);
  if (!file) return failSave(path, why);

  // Writing is safe only where a real chunk stands: the first bext chunk that the chain,
  // walked by its sizes in the form that was read, arrives at. A word inside the text of
  // another chunk never qualifies, nor does a file changed since it was read.
  const uint64_t target = bextChunkStart_;
  const ChunkChain chain = walkChunkChain(*file, file->seekToEndOfFile());
  const ChainChunk* bext = chain.first(chunkid::kBext);
  if (chain.container != chain_.container || !bext || bext->offset != target) {
    return failSave(path, "the bext chunk at offset " + std::to_string(target) +
                              " is not a chunk of the file's chunk list (its ID lies inside "
                              "another chunk's data); nothing was written");
  }
  // The bytes about to be replaced, so that a write that fails part way can be undone.
  file->seekToFileOffset(target);
  const std::vector<uint8_t> previous = file->readDataOfLength(record.size());
  file->seekToFileOffset(target);
  if (!file->write(record)) {
    const std::string reason = file->lastError();
    file->seekToFileOffset(target);
    const bool restored = file->write(previous);
    return failSave(path, reason + (restored ? "; the chunk was restored"
                                             : "; the chunk could not be restored"));
  }
  if (!file->closeFile()) return failSave(path, file->lastError());
  return true;
}

bool BWFParser::insertChunk(const std::string& path, const std::vector<uint8_t>& record) {
  std::string why;
  std::unique_ptr<FileReplacement> replacement = FileReplacement::begin(path, why);
  if (!replacement) return failSave(path, why);
  std::unique_ptr<FileHandle> original =
      FileHandle::openForReading(replacement->targetPath(), &why);
  if (!original) return failSave(path, why);
  const uint64_t size = original->seekToEndOfFile();

  // The new chunk goes after the form header; in RF64 and BW64 after ds64, which must stay the
  // first chunk. Everything before that point is copied with its sizes grown by the insertion.
  const ChunkChain chain = walkChunkChain(*original, size);
  if (chain.container == Container::kNone) {
    return failSave(path, "the file does not begin with a RIFF header; nothing was written");
  }
  if (chain.container != chain_.container) {
    return failSave(path, "the file's header changed since it was read; nothing was written");
  }
  uint64_t insertAt = kRiffHeaderSize;
  if (chain.has64BitSizes()) {
    if (chain.chunks.empty() || chain.chunks[0].id != chunkid::kDs64 || chain.chunks[0].size < 8) {
      return failSave(path, std::string("the ") + containerName(chain.container) +
                                " file has no ds64 chunk after its header; nothing was written");
    }
    insertAt += 8 + chain.chunks[0].size + (chain.chunks[0].size & 1);
  } else if (size + kInsertedBytes > kLargestRiffFile) {
    return failSave(path,
                    "a new chunk would take the file past 4 GiB, the most a RIFF size "
                    "can describe; nothing was written");
  }
  std::vector<uint8_t> head(static_cast<size_t>(insertAt));
  original->seekToFileOffset(0);
  if (original->read(head.data(), head.size()) != head.size()) {
    return failSave(path, "cannot read the file's header: " + original->lastError());
  }
  if (chain.has64BitSizes()) {
    // ds64's RIFF size, 64-bit little-endian at the start of its payload; the header keeps
    // its 0xFFFFFFFF.
    storeLE64(head.data(), 20, loadLE64(head.data(), 20) + kInsertedBytes);
  } else {
    storeSize(head.data(), 4, static_cast<uint32_t>(size + kInsertedBytes - 8));
  }
  // The new file: the grown head, the record, the two bytes that the chunk's size declares
  // past the record (zero), then the former content from the insertion point.
  const std::array<uint8_t, kInsertedBytes - BWFChunk::kSize> tail{};
  FileHandle& out = replacement->output();
  if (!out.write(head) || !out.write(record) || !out.write(tail.data(), tail.size()) ||
      !out.copyFrom(*original, insertAt, size - insertAt, saveProgress_)) {
    return failSave(path, out.lastError());
  }
  if (!replacement->commit(why)) return failSave(path, why);

  // The file now holds the chunk: a later save rewrites it instead of inserting another one.
  bwfChunk_ = std::make_unique<BWFChunk>();
  std::copy(record.begin(), record.end(), bwfChunk_->bytes.begin());
  bextChunkStart_ = insertAt;
  chunkFlags_ |= kBWFFlagBext;
  chain_ = chain;
  for (ChainChunk& chunk : chain_.chunks)
    chunk.offset += chunk.offset >= insertAt ? kInsertedBytes : 0;
  const auto at = std::find_if(chain_.chunks.begin(), chain_.chunks.end(),
                               [&](const ChainChunk& chunk) { return chunk.offset > insertAt; });
  chain_.chunks.insert(at, ChainChunk{chunkid::kBext, insertAt, kNewChunkSize, FourCC(), false});
  return true;
}

}  // namespace bextkit
