// Saving the broadcast extension chunk and the iXML chunk: rewriting the chain's chunk in place,
// growing it into the room after it, or writing a new file that inserts a new chunk after the
// form header (after ds64 in RF64 and BW64) or replaces the chunk with a larger one (a longer
// coding history, a longer document). A save changes only what was edited, and refuses, with
// nothing written, what it cannot write whole.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <array>
#include <optional>

#include "bwf/BWFParser.h"
#include "bwf/BWFParserSaving.h"
#include "bwf/ByteOrder.h"
#include "bwf/ChainComparison.h"
#include "platform/ExceptionReason.h"
#include "platform/FileReplacement.h"
#include "platform/FourCC.h"
#include "platform/SoleWriter.h"

namespace bextkit {

namespace {

using detail::kFixedRecord;
using detail::kNothingWritten;
using detail::kTimeReference;
using detail::truncatedReason;

constexpr uint64_t kRiffHeaderSize = 12;
constexpr uint64_t kLargestRiffFile = uint64_t{1} << 32;  // its size field counts 32 bits
// A ds64 chunk: its fixed fields and a table far longer than any writer makes.
constexpr uint64_t kLargestDs64 = 64 * 1024;
std::string changedSinceRead(FourCC id) {
  return "the " + id.str() + " chunk changed since the file was read; nothing was written";
}

bool isFiller(const ChainChunk& chunk) {
  return chunk.id == FourCC("JUNK") || chunk.id == FourCC("PAD ") || chunk.id == FourCC("FLLR");
}

// How a chunk grows where it stands: into the filler chunk right after it, or, when it (or
// that filler) is the file's last chunk, into a JUNK chunk first appended at the end. Its new
// payload ends on an even offset; what is left of the room stays a filler chunk of its own ID,
// or the chunk takes it as zeros when it is too little for a chunk header.
struct Growth {
  size_t index = 0;       // the chunk's place in the chain
  uint64_t offset = 0;    // of the chunk
  uint64_t newSize = 0;   // its new payload size
  bool filler = false;    // the growth consumes the filler after it
  uint64_t appendAt = 0;  // where the appended JUNK chunk starts (after a pad byte)...
  uint64_t junk = 0;      // ...its payload; no JUNK is appended when appendAt is 0
  FourCC leftId;          // the filler left after the chunk, if any
  uint64_t leftSize = 0;
  bool left = false;
  uint64_t appended(uint64_t fileSize) const {
    return appendAt ? appendAt + 8 + junk - fileSize : 0;
  }
};

std::optional<Growth> planGrowth(const ChunkChain& chain, uint64_t fileSize, FourCC id,
                                 uint64_t offset, uint64_t size) {
  const auto it = std::find_if(chain.chunks.begin(), chain.chunks.end(),
                               [&](const auto& c) { return c.offset == offset && c.id == id; });
  if (it == chain.chunks.end() || it->truncated || (offset & 1) || (size & 1)) return std::nullopt;
  Growth g;
  g.index = static_cast<size_t>(it - chain.chunks.begin());
  g.offset = offset;
  g.newSize = size;
  const ChainChunk* next = it + 1 == chain.chunks.end() ? nullptr : &*(it + 1);
  g.filler = next && isFiller(*next) && !next->truncated;
  const ChainChunk& last = g.filler ? *next : *it;
  const uint64_t runEnd = last.end();
  const bool atEnd = &last == &chain.chunks.back() && !chain.broken && runEnd >= fileSize;
  if (!g.filler && !atEnd) return std::nullopt;
  g.leftId = g.filler ? next->id : FourCC("JUNK");
  // The first filler header the chain passes through while the growth is under way: the
  // filler's own, or the appended JUNK's. A filler header left behind must lie past it, so that
  // writing one never breaks the chain before the chunk's new size is written.
  uint64_t firstFiller = it->end();
  uint64_t room = std::min(runEnd, fileSize) - offset;
  if (room < 8 + size) {
    if (!atEnd) return std::nullopt;
    g.appendAt = fileSize + (fileSize & 1);
    g.junk = offset + size > g.appendAt ? offset + size - g.appendAt : 0;
    g.junk += g.junk & 1;
    room = g.appendAt + 8 + g.junk - offset;
    if (!g.filler) firstFiller = g.appendAt;
  }
  if (room & 1) return std::nullopt;  // a pad byte is missing somewhere: write the file anew
  uint64_t left = room - 8 - size;
  if (left >= 8 && offset + 8 + size < firstFiller + 8) {
    g.newSize = firstFiller - offset;  // grow past the old filler header
    g.newSize += g.newSize & 1;
    left = room - 8 - g.newSize;
  }
  if (left >= 8) {
    g.left = true;
    g.leftSize = left - 8;
  } else {
    g.newSize = room - 8;  // too little for a chunk: the chunk takes it as zeros
  }
  return g;
}

}  // namespace

BWFParser::SaveWay BWFParser::saveWay() const {
  if (!(chunkFlags_ & kBWFFlagBext)) return SaveWay::kWriteAnew;
  const uint64_t size = chunkSizeToWrite();
  if (size <= imageChunkSize()) return SaveWay::kRewrite;
  return planGrowth(chain_, scannedSize_, chunkid::kBext, bextChunkStart_, size)
             ? SaveWay::kGrowInPlace
             : SaveWay::kWriteAnew;
}

std::vector<uint8_t> BWFParser::chunkHeader(FourCC id, uint64_t payload) const {
  std::vector<uint8_t> bytes(8);
  const FourCC stored = reversedIds() ? id.reversed() : id;
  for (size_t i = 0; i < 4; ++i) bytes[i] = stored[i];
  storeSize(bytes.data(), 4, static_cast<uint32_t>(payload));
  return bytes;
}

std::string BWFParser::notInChain(const SaveTarget& target) {
  return "the " + target.id.str() + " chunk at offset " + std::to_string(target.offset) +
         " is not a chunk of the file's chunk list (its ID lies inside another chunk's data)" +
         kNothingWritten;
}

BWFParser::SaveWay BWFParser::ixmlSaveWay(uint64_t size) const {
  const ChainChunk* chunk = chain_.first(chunkid::kIXML);
  if (!chunk) return SaveWay::kWriteAnew;
  if (size == chunk->size) return SaveWay::kRewrite;
  return planGrowth(chain_, scannedSize_, chunkid::kIXML, chunk->offset, size)
             ? SaveWay::kGrowInPlace
             : SaveWay::kWriteAnew;
}

bool BWFParser::saveIxml(const std::string& path, const std::string& document, bool write) {
  const ChainChunk* chunk = chain_.first(chunkid::kIXML);
  std::vector<uint8_t> asRead;
  SaveTarget target{chunkid::kIXML, chunk != nullptr, 0, 0, &asRead, true};
  if (chunk) {
    target.offset = chunk->offset;
    target.size = chunk->size;
    asRead = chunkHeader(chunkid::kIXML, chunk->size);
    asRead.insert(asRead.end(), ixmlText_.begin(), ixmlText_.end());
  }
  const SaveWay way = ixmlSaveWay(document.size());
  std::string payload = document;
  // A growth that takes the whole room after the chunk fills it with the document's padding.
  if (way == SaveWay::kGrowInPlace) {
    const std::optional<Growth> g =
        planGrowth(chain_, scannedSize_, chunkid::kIXML, target.offset, payload.size());
    if (g) payload = fittedIxml(payload, g->newSize).value_or(payload);
  }
  std::vector<uint8_t> bytes = chunkHeader(chunkid::kIXML, payload.size());
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  if (!writeChunk(path, target, way, bytes, write)) return false;
  if (write && path == path_) {
    ixmlText_ = std::move(payload);
    ixmlRecord_.reset();
    ixmlEdits_.clear();
  }
  return true;
}

bool BWFParser::failSave(const std::string& path, const std::string& reason) {
  lastError_ = "cannot save " + path + ": " + reason;
  return false;
}

bool BWFParser::writeBExtHeaderToFile(const std::string& path) {
  // Whatever goes wrong inside a save (memory, above all) fails that save and nothing more.
  try {
    return save(path, true);
  } catch (...) {
    return failSave(path, currentExceptionReason());
  }
}

bool BWFParser::checkSave() {
  try {
    return save(path_, false);
  } catch (...) {
    return failSave(path_, currentExceptionReason());
  }
}

BWFParser::SaveTarget BWFParser::bextTarget() const {
  return {chunkid::kBext,  (chunkFlags_ & kBWFFlagBext) != 0,
          bextChunkStart_, imageChunkSize(),
          &bextAsRead_,    false};
}

bool BWFParser::writeChunk(const std::string& path, const SaveTarget& target, SaveWay way,
                           const std::vector<uint8_t>& chunk, bool write) {
  switch (way) {
    case SaveWay::kRewrite:
      return rewriteChunk(path, target, chunk, write);
    case SaveWay::kGrowInPlace:
      return growInPlace(path, target, chunk, write);
    case SaveWay::kWriteAnew:
      break;
  }
  return writeNewFile(path, target, chunk, write);
}

bool BWFParser::save(const std::string& path, bool write) {
  lastError_.clear();
  // The iXML document follows the bext fields as they are before the save, which takes the
  // edits; both are checked before either is written.
  std::string why;
  const std::optional<std::string> ixml = ixmlToWrite(why);
  if (!why.empty()) return failSave(path, why + kNothingWritten);
  const bool bext = !ixml || bextEdited();
  if (bext) {
    if (const std::string refusal = saveRefusal(); !refusal.empty()) {
      return failSave(path, refusal);
    }
  }
  if (ixml && !saveIxml(path, *ixml, false)) return false;
  if (bext && !saveBext(path, write)) return false;
  return !ixml || !write || saveIxml(path, *ixml, true);
}

bool BWFParser::saveBext(const std::string& path, bool write) {
  const std::vector<uint8_t> chunk = chunkToWrite();
  const SaveWay way = saveWay();
  const bool saved = writeChunk(path, bextTarget(), way, chunk, write);
  // What a save to another path wrote says nothing of the parser's own file.
  if (saved && write && path == path_) {
    // A rewrite changed the first bytes of the chunk as read; a save that moved chunks has
    // taken the whole new chunk already.
    if (way == SaveWay::kRewrite) {
      std::copy_n(chunk.begin(), std::min(chunk.size(), bextAsRead_.size()), bextAsRead_.begin());
    }
    adoptSaved(bextAsRead_);
  }
  return saved;
}

void BWFParser::adoptSaved(const std::vector<uint8_t>& chunk) {
  std::copy_n(chunk.begin(), std::min(chunk.size(), BWFChunk::kSize), bwfChunk_->bytes.begin());
  saved_ = {description_, originator_, {hh_, mm_, ss_, ff_}};
  newTimeReference_.reset();
  if (chunk.size() >= kTimeReference.end()) {
    sampSinceMidnightLow_ = bwfChunk_->load32(BWFChunk::kTimeReferenceLow, bigEndianRecord());
    sampSinceMidnightHigh_ = bwfChunk_->load32(BWFChunk::kTimeReferenceHigh, bigEndianRecord());
  }
  // The edited texts as written; the coding history as the chunk now holds it.
  const FieldEdits& f = fieldEdits_;
  if (f.originatorReference) {
    originatorReference_ = bwfChunk_->text(BWFChunk::kOriginatorReference);
  }
  if (f.originationDate) creationdate_ = bwfChunk_->text(BWFChunk::kOriginationDate);
  if (f.originationTime) creationtime_ = bwfChunk_->text(BWFChunk::kOriginationTime);
  // Only a whole chunk (a new one, or one with a new history) holds the whole history.
  if (chunk.size() >= kFixedRecord + 2 &&
      chunk.size() == BWFChunk::kHeaderSize + loadSize(chunk.data(), BWFChunk::kCkSize.offset)) {
    const auto history = chunk.begin() + kFixedRecord;
    const auto field = history + static_cast<std::ptrdiff_t>(std::min<size_t>(
                                     chunk.size() - kFixedRecord, BWFChunk::kCodingHistory.width));
    codingHistoryNone_ =
        (history[0] == 0x00 && history[1] == 0x00) || (history[0] == 0xFF && history[1] == 0xFF);
    codingHistory_ =
        codingHistoryNone_ ? "None" : std::string(history, std::find(history, field, 0));
    fullCodingHistory_ = codingHistoryNone_
                             ? codingHistory_
                             : std::string(history, std::find(history, chunk.end(), 0));
  }
  fieldEdits_ = FieldEdits();
  record_ = decodeBext(bextAsRead_, bextChunkStart_, imageChunkSize(), bigEndianRecord());
}

bool BWFParser::chunkAsRead(FileHandle& file, const SaveTarget& target) const {
  std::vector<uint8_t> now(target.asRead->size());
  file.seekToFileOffset(target.offset);
  return file.read(now.data(), now.size()) == now.size() && now == *target.asRead;
}

bool BWFParser::rewriteChunk(const std::string& path, const SaveTarget& target,
                             const std::vector<uint8_t>& record, bool write) {
  std::string why;
  std::unique_ptr<FileHandle> file = FileHandle::openForSaving(path, &why);
  if (!file) return failSave(path, why);

  // Writing is safe only where a real chunk stands: the first chunk of its ID that the chain,
  // walked by its sizes in the form that was read, arrives at. A word inside the text of
  // another chunk never qualifies, nor does a file changed since it was read.
  const uint64_t size = file->seekToEndOfFile();
  const ChunkChain chain = walkChunkChain(*file, size);
  const ChainChunk* found = chain.first(target.id);
  if (chain.container != chain_.container || !found || found->offset != target.offset) {
    return failSave(path, notInChain(target));
  }
  if (found->truncated) return failSave(path, truncatedReason(*found) + kNothingWritten);
  // The bytes about to be replaced must be those that were read: otherwise another program has
  // saved the chunk since, and writing would undo its edits. They also undo a write that fails
  // part way.
  if (found->size != target.size || !chunkAsRead(*file, target)) {
    return failSave(path, changedSinceRead(target.id));
  }
  if (!write) return true;
  file->seekToFileOffset(target.offset);
  const std::vector<uint8_t> previous = file->readDataOfLength(record.size());
  file->seekToFileOffset(target.offset);
  // Success is reported only once the chunk is on the disk.
  if (!file->write(record) || !file->synchronizeFile()) {
    const std::string reason = file->lastError();
    file->seekToFileOffset(target.offset);
    const bool restored = file->write(previous) && file->synchronizeFile();
    return failSave(path, reason + (restored ? "; the chunk was restored"
                                             : "; the chunk could not be restored"));
  }
  if (!file->closeFile()) return failSave(path, file->lastError());
  return true;
}

namespace {

// Room on the file system of `path` for `bytes` more; the reason when there is not.
std::string freeSpaceRefusal(const std::string& path, uint64_t bytes) {
  struct statvfs info {};
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (::statvfs(folder.c_str(), &info) != 0) return std::string();  // the writes will tell
  const uint64_t free = uint64_t{info.f_bavail} * info.f_frsize;
  if (bytes <= free) return std::string();
  return "the save needs " + std::to_string(bytes) + " bytes, " + std::to_string(free) +
         " free on the file system" + kNothingWritten;
}

}  // namespace

std::string BWFParser::headerRefusal(const ChunkChain& chain, uint64_t size,
                                     uint64_t& headerEnd) const {
  if (chain.container == Container::kNone) {
    return "the file does not begin with a RIFF header; nothing was written";
  }
  if (chain.container != chain_.container) {
    return "the file's header changed since it was read; nothing was written";
  }
  headerEnd = kRiffHeaderSize;
  if (!chain.has64BitSizes()) return std::string();
  // The ds64 chunk is copied as the header: it must be a real one, of a size the file holds.
  const ChainChunk* ds64 = chain.chunks.empty() ? nullptr : &chain.chunks[0];
  if (!ds64 || ds64->id != chunkid::kDs64 || ds64->size < 28) {
    return std::string("the ") + containerName(chain.container) +
           " file has no ds64 chunk after its header; nothing was written";
  }
  if (ds64->truncated || ds64->size > kLargestDs64) {
    return "the ds64 chunk declares " + std::to_string(ds64->size) + " bytes, " +
           (ds64->truncated ? "more than the file holds (" + std::to_string(size) + ")"
                            : "more than a ds64 chunk can hold") +
           kNothingWritten;
  }
  headerEnd = ds64->end();
  return std::string();
}

bool BWFParser::writeNewFile(const std::string& path, const SaveTarget& target,
                             const std::vector<uint8_t>& chunk, bool write) {
  const bool replacing = target.present;
  std::string why;
  std::unique_ptr<FileReplacement> replacement = FileReplacement::begin(path, why);
  if (!replacement) return failSave(path, why);
  FileHandle* original = &replacement->original();
  const uint64_t size = original->seekToEndOfFile();

  // A new chunk goes after the form header; in RF64 and BW64 after ds64, which must stay the
  // first chunk. A larger chunk takes the place of the old one, which must be the one that was
  // read, and leaves a JUNK reserve after it. The form header (with ds64) is copied with its
  // sizes grown, every other chunk from where the chain finds it, as it is.
  const ChunkChain chain = walkChunkChain(*original, size);
  uint64_t headerEnd = 0;
  if (const std::string refusal = headerRefusal(chain, size, headerEnd); !refusal.empty()) {
    return failSave(path, refusal);
  }
  const ChainChunk* old = chain.first(target.id);
  if (old && !replacing) {
    return failSave(path, "the file has a" + std::string(target.id == chunkid::kIXML ? "n " : " ") +
                              target.id.str() +
                              " chunk now (another program added it since the file was read); "
                              "nothing was written");
  }
  // The bytes [from, to) of the original give way to the chunk.
  uint64_t from = headerEnd, to = headerEnd;
  ChainEdit edit;
  edit.at = chain.has64BitSizes() ? 1 : 0;
  std::vector<uint8_t> reserve;
  if (replacing) {
    if (!old || old->offset != target.offset || old->offset < headerEnd) {
      return failSave(path, notInChain(target));
    }
    if (old->truncated) return failSave(path, truncatedReason(*old) + kNothingWritten);
    if (old->size != target.size || !chunkAsRead(*original, target)) {
      return failSave(path, changedSinceRead(target.id));
    }
    from = old->offset;
    to = std::min(size, old->end());
    edit.at = static_cast<size_t>(old - chain.chunks.data());
    edit.removed = 1;
  }
  if (replacing || target.reserve) {
    reserve = chunkHeader(FourCC("JUNK"), kJunkReserve);
    reserve.resize(8 + kJunkReserve, 0);
  }
  edit.added.emplace_back(target.id, chunk.size() - 8);
  if (!reserve.empty()) edit.added.emplace_back(FourCC("JUNK"), kJunkReserve);
  const uint64_t grown = chunk.size() + reserve.size() - (to - from);
  if (!chain.has64BitSizes() && size + grown > kLargestRiffFile) {
    return failSave(path, std::string(replacing ? "the larger chunk" : "a new chunk") +
                              " would take the file past 4 GiB, the most a RIFF size can "
                              "describe; nothing was written");
  }
  if (const std::string refusal = freeSpaceRefusal(replacement->targetPath(), size + grown);
      !refusal.empty()) {
    return failSave(path, refusal);
  }
  if (!write) return true;

  // The new file: the head with its size grown, what lies before the old chunk, the chunk (the
  // bytes that its size declares past the record are zero) and the reserve, then what follows
  // the old chunk. The progress counts both copies as one.
  const uint64_t before = from - headerEnd, total = before + (size - to);
  const auto share = [this, total](uint64_t done) -> FileHandle::Progress {
    if (!saveProgress_) return {};
    return [this, total, done](uint64_t copied, uint64_t) { saveProgress_(done + copied, total); };
  };
  FileHandle& out = replacement->output();
  if (!out.copyFrom(*original, 0, headerEnd) ||
      !out.copyFrom(*original, headerEnd, before, share(0)) || !out.write(chunk) ||
      !out.write(reserve) || !out.copyFrom(*original, to, size - to, share(before))) {
    return failSave(path, out.lastError());
  }
  // The form's size: in the header, or ds64's 64-bit RIFF size, its first payload field.
  std::array<uint8_t, 8> field{};
  const uint64_t fieldAt = chain.has64BitSizes() ? kRiffHeaderSize + 8 : 4;
  original->seekToFileOffset(fieldAt);
  if (original->read(field.data(), field.size()) != field.size()) {
    return failSave(path, "cannot read the file's header: " + original->lastError());
  }
  if (chain.has64BitSizes()) {
    storeLE64(field.data(), 0, loadLE64(field.data(), 0) + grown);
  } else {
    storeSize(field.data(), 0, static_cast<uint32_t>(size + grown - 8));
  }
  out.seekToFileOffset(fieldAt);
  if (!out.write(field.data(), chain.has64BitSizes() ? 8 : 4)) {
    return failSave(path, out.lastError());
  }
  // Nothing but the saved chunk may differ: the new file's chain against the original's.
  const ChunkChain saved = walkChunkChain(out, size + grown);
  if (const std::string difference = compareChains(chain, chunkReaderOf(*original), size, saved,
                                                   chunkReaderOf(out), size + grown, edit);
      !difference.empty()) {
    return failSave(path, "the new file would not keep the original's chunks (" + difference +
                              "); nothing was written");
  }
  if (replacementCheck_ && !replacementCheck_(out, size + grown, why)) {
    return failSave(path, why);
  }
  if (!replacement->commit(why)) return failSave(path, why);
  if (path == path_) adoptLayout(target, saved, size + grown, from, chunk);
  return true;
}

void BWFParser::adoptLayout(const SaveTarget& target, const ChunkChain& chain, uint64_t size,
                            uint64_t offset, const std::vector<uint8_t>& chunk) {
  // The chunks after the one saved may have moved; the iXML chunk is found by the chain.
  if (target.id != chunkid::kBext) {
    const uint64_t was = target.present ? target.offset + 8 + target.size : 0;
    if (chunkFlags_ & kBWFFlagBext && bextChunkStart_ >= was) {
      const ChainChunk* bext = chain.first(chunkid::kBext);
      if (bext) bextChunkStart_ = bext->offset;
    }
    chain_ = chain;
    scannedSize_ = size;
    return;
  }
  // The file now holds the chunk: a later save compares with it and rewrites it in place.
  if (!bwfChunk_) bwfChunk_ = std::make_unique<BWFChunk>();
  bextChunkStart_ = offset;
  chunkFlags_ |= kBWFFlagBext;
  chain_ = chain;
  const ChainChunk* bext = chain_.first(chunkid::kBext);
  scannedSize_ = size;
  bextAsRead_.assign(chunk.begin(), chunk.end());
  bextAsRead_.resize(static_cast<size_t>(std::min<uint64_t>(
      8 + (bext ? bext->size : chunk.size() - 8), kFixedRecord + kLongestCodingHistory)));
}

bool BWFParser::growInPlace(const std::string& path, const SaveTarget& target,
                            const std::vector<uint8_t>& chunk, bool write) {
  std::string why;
  std::unique_ptr<FileHandle> file = FileHandle::openForSaving(path, &why);
  if (!file) return failSave(path, why);
  const uint64_t size = file->seekToEndOfFile();
  const ChunkChain chain = walkChunkChain(*file, size);
  uint64_t headerEnd = 0;
  if (const std::string refusal = headerRefusal(chain, size, headerEnd); !refusal.empty()) {
    return failSave(path, refusal);
  }
  const ChainChunk* old = chain.first(target.id);
  const std::optional<Growth> g =
      planGrowth(chain, size, target.id, target.offset, chunk.size() - 8);
  if (!old || old->offset != target.offset || old->size != target.size || !g ||
      !chunkAsRead(*file, target)) {
    return failSave(path, changedSinceRead(target.id));
  }
  // A recorder still appending audio would write over what the growth appends, or past it.
  struct stat info {};
  if (::fstat(file->descriptor(), &info) != 0 ||
      openForWritingElsewhere(info.st_dev, info.st_ino)) {
    return failSave(path, std::string(SoleWriter::kOpenForWriting) + kNothingWritten);
  }
  const uint64_t appended = g->appended(size);
  if (!chain.has64BitSizes() && size + appended > kLargestRiffFile) {
    return failSave(path,
                    "the larger chunk would take the file past 4 GiB, the most a RIFF size can "
                    "describe; nothing was written");
  }
  if (const std::string refusal = freeSpaceRefusal(path, appended); !refusal.empty()) {
    return failSave(path, refusal);
  }
  if (!write) return true;

  // What the growth overwrites, to put back if a write fails: the chunk and the room after it,
  // and the form's size.
  const uint64_t runEnd = g->offset + 8 + g->newSize + (g->left ? 8 + g->leftSize : 0);
  const uint64_t fieldAt = chain.has64BitSizes() ? kRiffHeaderSize + 8 : 4;
  file->seekToFileOffset(g->offset);
  const std::vector<uint8_t> previous =
      file->readDataOfLength(static_cast<size_t>(std::min(runEnd, size) - g->offset));
  file->seekToFileOffset(fieldAt);
  const std::vector<uint8_t> field = file->readDataOfLength(chain.has64BitSizes() ? 8 : 4);
  // Each step leaves a whole chain, should the process die between two of them: a JUNK chunk
  // appended at the end (the form's size then counting it); the filler header that stays after
  // the chunk, written where the old filler's payload lay; then the chunk with its new size in
  // one write, over the old filler's header.
  const auto writeAt = [&](uint64_t offset, const std::vector<uint8_t>& bytes) {
    file->seekToFileOffset(offset);
    return file->write(bytes);
  };
  bool ok = true;
  if (g->appendAt) {
    std::vector<uint8_t> junk(static_cast<size_t>(g->appendAt - size), 0);
    const std::vector<uint8_t> head = chunkHeader(FourCC("JUNK"), g->junk);
    junk.insert(junk.end(), head.begin(), head.end());
    junk.resize(junk.size() + static_cast<size_t>(g->junk), 0);
    std::vector<uint8_t> grownField = field;
    if (chain.has64BitSizes()) {
      storeLE64(grownField.data(), 0, loadLE64(field.data(), 0) + appended);
    } else {
      storeSize(grownField.data(), 0, loadSize(field.data(), 0) + static_cast<uint32_t>(appended));
    }
    ok = writeAt(size, junk) && writeAt(fieldAt, grownField);
  }
  if (ok && g->left) ok = writeAt(g->offset + 8 + g->newSize, chunkHeader(g->leftId, g->leftSize));
  std::vector<uint8_t> grown = chunk;
  grown.resize(static_cast<size_t>(8 + g->newSize), 0);
  storeSize(grown.data(), 4, static_cast<uint32_t>(g->newSize));
  ok = ok && writeAt(g->offset, grown) && file->synchronizeFile();

  // The chain as it now stands: the chunk and what is left of the filler in place of the chunk
  // and its filler, nothing else moved.
  std::string difference;
  ChunkChain after;
  if (ok) {
    after = walkChunkChain(*file, size + appended);
    ChainEdit edit{g->index, g->filler ? size_t{2} : size_t{1}, {{target.id, g->newSize}}};
    if (g->left) edit.added.emplace_back(g->leftId, g->leftSize);
    // Nothing moves, so one reader serves both sides; the appended JUNK is part of the run.
    const ChunkReader read = chunkReaderOf(*file);
    difference = compareChains(chain, read, size + appended, after, read, size + appended, edit);
  }
  if (!ok || !difference.empty()) {
    const std::string reason =
        ok ? "the grown chunk would not keep the file's other chunks (" + difference + ")"
           : file->lastError();
    const bool restored = writeAt(g->offset, previous) && writeAt(fieldAt, field) &&
                          file->truncateFile(size) && file->synchronizeFile();
    return failSave(
        path, reason + (restored ? "; the file was restored" : "; the file could not be restored"));
  }
  if (!file->closeFile()) return failSave(path, file->lastError());
  if (path == path_) adoptLayout(target, after, size + appended, g->offset, grown);
  return true;
}

}  // namespace bextkit
