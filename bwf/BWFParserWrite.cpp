// Writing the broadcast extension chunk back: building the record from defaults, the current
// date, the chunk image and the edited fields, then rewriting the chain's bext chunk in place or
// inserting a new chunk after the form header (after ds64 in RF64 and BW64), in the file's byte
// order. A save changes only what was edited, and refuses, with nothing written, what it cannot
// write whole.
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
// Both halves of the time reference, written together.
constexpr BWFChunk::Field kTimeReference{BWFChunk::kTimeReferenceLow.offset, 8};
constexpr const char* kNothingWritten = "; nothing was written";

// The text as C would hold it: up to its first NUL.
std::string_view cText(const std::string& text) { return cnum::cStringView(text); }

// Copies `text` into the field. A shorter text is followed by a NUL and, when `clearTail`, by
// zeros to the end of the field, so that nothing of a former text stays behind it; otherwise
// the bytes after the NUL keep what the record held.
void putText(BWFChunk& record, BWFChunk::Field field, std::string_view text, bool clearTail) {
  const size_t n = std::min(text.size(), field.width);
  const auto at = record.bytes.begin() + static_cast<std::ptrdiff_t>(field.offset);
  std::copy_n(text.begin(), n, at);
  if (n < field.width) std::fill(at + n, at + (clearTail ? field.width : n + 1), 0);
}

// The words of the date text: "yyyy-mm-dd", "hh:mm:ss" (the zone is not kept).
std::pair<std::string, std::string> dateAndTime() {
  const std::string text = currentDateText();
  const size_t space = text.find(' ');
  if (space == std::string::npos) return {text, std::string()};
  const size_t end = text.find(' ', space + 1);
  return {text.substr(0, space), text.substr(space + 1, end - space - 1)};
}

// Writing into a chunk cut off by the end of the file would make the file longer than its
// chunk sizes say.
std::string truncatedReason(const ChainChunk& chunk) {
  return "the bext chunk declares " + std::to_string(chunk.size) +
         " bytes and runs past the end of the file" + kNothingWritten;
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

size_t BWFParser::recordLength() const {
  return bwfChunk_ ? std::min<size_t>(imageChunkSize(), BWFChunk::kSize) : BWFChunk::kSize;
}

bool BWFParser::descriptionEdited() const {
  return cText(description_) != cText(saved_.description);
}

bool BWFParser::originatorEdited() const { return cText(originator_) != cText(saved_.originator); }

bool BWFParser::timecodeEdited() const {
  return std::array<int32_t, 4>{hh_, mm_, ss_, ff_} != saved_.timecode;
}

std::optional<uint64_t> BWFParser::timeReferenceFromTimecode(std::string* why) const {
  const auto refuse = [why](const std::string& reason) {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (samplePerSeconds_ == 0) {
    return refuse(
        "the file states no sample rate of linear audio, so a timecode cannot become "
        "a time reference");
  }
  // The frames are a fraction of a second at the frame rate; no drop-frame adjustment. The sum
  // is formed in double precision in this order, then rounded up to a whole sample. The hours
  // and minutes are multiplied in 64 bits, so that no product wraps.
  double t = ff_ == 0 ? 0.0 : static_cast<double>(ff_) / static_cast<double>(framesPerSecond_);
  t = t + ss_;
  t = t + static_cast<double>(int64_t{60} * mm_);
  t = t + static_cast<double>(int64_t{3600} * hh_);
  const double samples = std::ceil(t * static_cast<double>(samplePerSeconds_));
  if (std::isnan(samples)) {
    return refuse("frames cannot be counted at a frame rate of " +
                  std::to_string(framesPerSecond_));
  }
  if (samples < 0.0) return refuse("the timecode lies before midnight");
  if (samples >= 18446744073709551616.0) {
    return refuse("the timecode is more samples after midnight than a time reference can hold");
  }
  return static_cast<uint64_t>(samples);
}

std::optional<uint64_t> BWFParser::timeReferenceToWrite() const {
  if (newTimeReference_) return newTimeReference_;
  return timecodeEdited() ? timeReferenceFromTimecode(nullptr) : std::nullopt;
}

std::vector<uint8_t> BWFParser::getBWFChunkData() const {
  BWFChunk record;
  const auto [date, time] = dateAndTime();
  const FourCC id = reversedIds() ? chunkid::kBext.reversed() : chunkid::kBext;
  for (size_t i = 0; i < 4; ++i) record.bytes[i] = id[i];
  storeSize(record.bytes.data(), BWFChunk::kCkSize.offset, kNewChunkSize);
  record.bytes[BWFChunk::kDescription.offset] = 0x0A;
  record.bytes[BWFChunk::kDescription.offset + 1] = 0x0D;
  putText(record, BWFChunk::kCodingHistory, "A=PCM", false);
  // Date and time fill their fields exactly, with no NUL.
  std::copy_n(date.begin(), std::min(date.size(), BWFChunk::kOriginationDate.width),
              record.bytes.begin() + BWFChunk::kOriginationDate.offset);
  std::copy_n(time.begin(), std::min(time.size(), BWFChunk::kOriginationTime.width),
              record.bytes.begin() + BWFChunk::kOriginationTime.offset);

  // An existing chunk keeps every byte but those of the edited fields, as far as it reaches; a
  // new record takes the texts whether edited or not.
  const size_t length = recordLength();
  if (bwfChunk_) std::copy_n(bwfChunk_->bytes.begin(), length, record.bytes.begin());
  const bool fresh = !bwfChunk_;
  if (fresh || descriptionEdited()) {
    putText(record, BWFChunk::kDescription, cText(description_), descriptionEdited());
  }
  if (fresh || originatorEdited()) {
    putText(record, BWFChunk::kOriginator, cText(originator_), originatorEdited());
  }
  // The time reference is sample-accurate: only a changed timecode, or a time reference set
  // as such, replaces it.
  if (const std::optional<uint64_t> samples = timeReferenceToWrite()) {
    record.store32(BWFChunk::kTimeReferenceLow, static_cast<uint32_t>(*samples), bigEndianRecord());
    record.store32(BWFChunk::kTimeReferenceHigh, static_cast<uint32_t>(*samples >> 32),
                   bigEndianRecord());
  }
  return std::vector<uint8_t>(record.bytes.begin(),
                              record.bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

bool BWFParser::failSave(const std::string& path, const std::string& reason) {
  lastError_ = "cannot save " + path + ": " + reason;
  return false;
}

std::string BWFParser::saveRefusal() const {
  if (!scanned_) return "the file has not been scanned";
  if (!(chunkFlags_ & (kBWFFlagRIFF | kBWFFlagBext)) && chain_.container == Container::kNone) {
    return "not a RIFF file: the scan found neither a RIFF header nor a bext chunk";
  }
  // A text that does not fit is refused rather than cut short.
  const struct {
    const char* name;
    bool edited;
    size_t size;
    BWFChunk::Field field;
  } edits[] = {
      {"description", descriptionEdited(), cText(description_).size(), BWFChunk::kDescription},
      {"originator", originatorEdited(), cText(originator_).size(), BWFChunk::kOriginator},
      {"time reference", timeReferenceEdited(), 0, kTimeReference}};
  for (const auto& e : edits) {
    if (e.size > e.field.width) {
      return std::string("the ") + e.name + " is " + std::to_string(e.size) +
             " bytes long, and the field holds at most " + std::to_string(e.field.width);
    }
  }
  std::string why;
  if (!newTimeReference_ && timecodeEdited() && !timeReferenceFromTimecode(&why)) {
    return why + kNothingWritten;
  }
  if (!bwfChunk_) return std::string();
  // A chunk shorter than the record holds only the fields it reaches: an edit of a field beyond
  // it would be cut short, or lost.
  for (const auto& e : edits) {
    if (e.edited && e.field.end() > recordLength()) {
      return "the bext chunk holds " + std::to_string(imageChunkSize()) +
             " bytes, too few for the new " + e.name + kNothingWritten;
    }
  }
  for (const ChainChunk& chunk : chain_.chunks) {
    if (chunk.offset == bextChunkStart_ && chunk.truncated) {
      return truncatedReason(chunk);
    }
  }
  return std::string();
}

bool BWFParser::writeBExtHeaderToFile(const std::string& path) { return save(path, true); }

bool BWFParser::checkSave() { return save(path_, false); }

bool BWFParser::save(const std::string& path, bool write) {
  lastError_.clear();
  if (const std::string why = saveRefusal(); !why.empty()) return failSave(path, why);
  const std::vector<uint8_t> record = getBWFChunkData();
  const bool saved = (chunkFlags_ & kBWFFlagBext) ? rewriteChunk(path, record, write)
                                                  : insertChunk(path, record, write);
  // What a save to another path wrote says nothing of the parser's own file.
  if (saved && write && path == path_) adoptSaved(record);
  return saved;
}

void BWFParser::adoptSaved(const std::vector<uint8_t>& record) {
  std::copy(record.begin(), record.end(), bwfChunk_->bytes.begin());
  saved_ = {description_, originator_, {hh_, mm_, ss_, ff_}};
  newTimeReference_.reset();
  if (record.size() >= kTimeReference.end()) {
    sampSinceMidnightLow_ = bwfChunk_->load32(BWFChunk::kTimeReferenceLow, bigEndianRecord());
    sampSinceMidnightHigh_ = bwfChunk_->load32(BWFChunk::kTimeReferenceHigh, bigEndianRecord());
  }
}

bool BWFParser::rewriteChunk(const std::string& path, const std::vector<uint8_t>& record,
                             bool write) {
  std::string why;
  std::unique_ptr<FileHandle> file = FileHandle::openForSaving(path, &why);
  if (!file) return failSave(path, why);

  // Writing is safe only where a real chunk stands: the first bext chunk that the chain,
  // walked by its sizes in the form that was read, arrives at. A word inside the text of
  // another chunk never qualifies, nor does a file changed since it was read.
  const uint64_t target = bextChunkStart_;
  const uint64_t size = file->seekToEndOfFile();
  const ChunkChain chain = walkChunkChain(*file, size);
  const ChainChunk* bext = chain.first(chunkid::kBext);
  if (chain.container != chain_.container || !bext || bext->offset != target) {
    return failSave(path, "the bext chunk at offset " + std::to_string(target) +
                              " is not a chunk of the file's chunk list (its ID lies inside "
                              "another chunk's data)" +
                              kNothingWritten);
  }
  if (bext->truncated) return failSave(path, truncatedReason(*bext));
  // The bytes about to be replaced must be those that were read: otherwise another program has
  // saved the chunk since, and writing would undo its edits. They also undo a write that fails
  // part way.
  file->seekToFileOffset(target);
  const std::vector<uint8_t> previous = file->readDataOfLength(record.size());
  if (previous.size() != record.size() ||
      !std::equal(previous.begin(), previous.end(), bwfChunk_->bytes.begin())) {
    return failSave(
        path, std::string("the bext chunk changed since the file was read") + kNothingWritten);
  }
  if (!write) return true;
  file->seekToFileOffset(target);
  // Success is reported only once the chunk is on the disk.
  if (!file->write(record) || !file->synchronizeFile()) {
    const std::string reason = file->lastError();
    file->seekToFileOffset(target);
    const bool restored = file->write(previous) && file->synchronizeFile();
    return failSave(path, reason + (restored ? "; the chunk was restored"
                                             : "; the chunk could not be restored"));
  }
  if (!file->closeFile()) return failSave(path, file->lastError());
  return true;
}

bool BWFParser::insertChunk(const std::string& path, const std::vector<uint8_t>& record,
                            bool write) {
  std::string why;
  std::unique_ptr<FileReplacement> replacement = FileReplacement::begin(path, why);
  if (!replacement) return failSave(path, why);
  FileHandle* original = &replacement->original();
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
  if (chain.first(chunkid::kBext)) {
    return failSave(path,
                    "the file has a bext chunk now (another program added it since the "
                    "file was read); nothing was written");
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
  if (!write) return true;
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
  if (replacementCheck_ && !replacementCheck_(out, size + kInsertedBytes, why)) {
    return failSave(path, why);
  }
  if (!replacement->commit(why)) return failSave(path, why);

  // The file now holds the chunk: a later save rewrites it instead of inserting another one.
  bwfChunk_ = std::make_unique<BWFChunk>();
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
