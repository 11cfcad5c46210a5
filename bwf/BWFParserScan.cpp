// The chunk scan. It walks the file position by position looking for listed chunk IDs: at a
// listed ID it records the previous listed chunk in the directory, acts on this one and jumps
// ahead by an amount fixed for the ID; anywhere else it moves on by one byte. The walk runs on
// blocks of the file in memory, and runs of unlisted positions are crossed by a search that
// gives the same position, and the same byte count, as stepping through them one at a time.
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bwf/BWFParser.h"
#include "bwf/BlockReader.h"
#include "bwf/ByteOrder.h"
#include "bwf/ChunkSearch.h"
#include "platform/FourCC.h"
#include "platform/SystemLog.h"

namespace bextkit {

namespace {

constexpr size_t kWindowSize = 512;
// Scan positions are 32-bit: a jump that reaches 2^32 would wrap back to a position already
// passed, so it ends the scan instead.
constexpr uint64_t kPositionLimit = uint64_t{1} << 32;

// Format tags and SubFormat codes of linear audio.
constexpr uint16_t kFormatPCM = 1, kFormatFloat = 3, kFormatMuLaw = 7, kFormatIBMMuLaw = 257,
                   kFormatExtensible = 0xFFFE;
constexpr size_t kFmtBytesRead = 34;  // up to the SubFormat code at offset 32
constexpr uint32_t kMisreadSampleRate = 30464, kSampleRate96k = 96000;

struct Found {
  uint64_t position;
  int listedIndex;  // -1 when no listed ID lies before the limit
};

// The first position in [from, limit) holding a listed ID. Bytes beyond the end of the file
// read as zero, and no listed ID contains a zero byte.
Found findListed(detail::BlockReader& reader, const detail::ChunkSearch& search, uint64_t from,
                 uint64_t limit) {
  while (from < limit) {
    size_t available = 0;
    const uint8_t* bytes = reader.at(from, 4, available);
    if (available == 0) break;
    if (available < 4) {
      ++from;
      continue;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(available - 3, limit - from));
    const size_t p = search.find(bytes, 0, n);
    if (p < n) return {from + p, search.listedIndex(bytes + p)};
    from += n;
  }
  return {limit, -1};
}

// An entry as getChunkDictionary shows it.
std::string entryText(const DirectoryEntry& entry) {
  char text[80];
  std::snprintf(text, sizeof text, "Idx: %d StartPoint: %d Length: %lld", entry.index,
                static_cast<int32_t>(entry.start), static_cast<long long>(entry.length));
  return text;
}

// Records the chunk the scan met at `start`, in place of an earlier one with its ID.
void addEntry(std::vector<DirectoryEntry>& directory, std::string id, uint8_t counter,
              uint32_t start, int64_t length) {
  std::erase_if(directory, [&id](const DirectoryEntry& e) { return e.id == id; });
  directory.push_back({std::move(id), static_cast<int8_t>(counter), start, length});
}

// The format fields of a "fmt " chunk, when its tag declares linear audio.
struct Format {
  bool linear = false;
  int32_t channels = 0;
  uint32_t sampleRate = 0;
  int32_t bitsPerSample = 0;
};

Format readFormat(const uint8_t* chunk, bool reversedFile, uint16_t tag) {
  Format format;
  const auto load16 = [&](size_t offset) {
    return reversedFile ? loadBE16(chunk, offset) : loadLE16(chunk, offset);
  };
  const uint16_t subFormat = load16(32);
  format.linear =
      tag == kFormatPCM || tag == kFormatFloat ||
      (tag == kFormatExtensible && (subFormat == kFormatPCM || subFormat == kFormatFloat));
  if (!format.linear) return format;
  // A normal file's 16-bit counts are read as signed, a reversed file's as unsigned.
  format.channels = reversedFile ? load16(10) : static_cast<int16_t>(load16(10));
  format.bitsPerSample = reversedFile ? load16(22) : static_cast<int16_t>(load16(22));
  format.sampleRate = reversedFile ? loadBE32(chunk, 12) : loadLE32(chunk, 12);
  if (format.sampleRate == kMisreadSampleRate) format.sampleRate = kSampleRate96k;
  return format;
}

}  // namespace

void BWFParser::readBextRecord(const BWFChunk& image, uint64_t chunkSize, bool bigEndianIntegers) {
  // The system's own fields: the image with every byte past the chunk's end taken as zero, so
  // that a chunk cut short inside a text shows the part it holds, and a short chunk (602 bytes,
  // without coding history, as some writers make it) does not show the next chunk's header as
  // its coding history.
  const uint64_t chunkEnd = BWFChunk::kHeaderSize + chunkSize;
  std::optional<BWFChunk> cut;  // the image of a chunk shorter than it, zeros past its end
  if (chunkEnd < BWFChunk::kSize) {
    cut = image;
    std::fill(cut->bytes.begin() + static_cast<std::ptrdiff_t>(chunkEnd), cut->bytes.end(),
              uint8_t{0});
  }
  const BWFChunk& record = cut ? *cut : image;
  sampSinceMidnightLow_ = record.load32(BWFChunk::kTimeReferenceLow, bigEndianIntegers);
  sampSinceMidnightHigh_ = record.load32(BWFChunk::kTimeReferenceHigh, bigEndianIntegers);
  description_ = record.text(BWFChunk::kDescription);
  originator_ = record.text(BWFChunk::kOriginator);
  originatorReference_ = record.text(BWFChunk::kOriginatorReference);
  creationdate_ = record.text(BWFChunk::kOriginationDate);
  creationtime_ = record.text(BWFChunk::kOriginationTime);
  const uint8_t first = record.bytes[BWFChunk::kCodingHistory.offset];
  const uint8_t second = record.bytes[BWFChunk::kCodingHistory.offset + 1];
  const bool none = (first == 0x00 && second == 0x00) || (first == 0xFF && second == 0xFF);
  codingHistoryNone_ = none;
  codingHistory_ = none ? "None" : record.text(BWFChunk::kCodingHistory);
  // The whole coding history, as the decoded record holds it.
  fullCodingHistory_ = none ? codingHistory_ : record_->codingHistory.value_or("");
}

int32_t BWFParser::parse() { return parse(WhileOpen()); }

int32_t BWFParser::parse(const WhileOpen& whileOpen) {
  if (scanned_) return 0;  // scanned before
  std::unique_ptr<FileHandle> file = FileHandle::openForReading(path_);
  if (!file) return 0;  // gone since the parser was made: nothing is scanned
  scan(std::move(file), whileOpen);
  return 0;
}

std::unique_ptr<BWFParser> BWFParser::openAndParse(const std::string& path, float fps,
                                                   std::string& error, const WhileOpen& whileOpen,
                                                   bool listed) {
  std::unique_ptr<FileHandle> file = listed ? FileHandle::openListedForReading(path, &error)
                                            : FileHandle::openForReading(path, &error);
  if (!file) {
    if (error.empty()) error = "cannot be opened";
    return nullptr;
  }
  std::unique_ptr<BWFParser> parser(new BWFParser(path, nullptr));
  parser->framesPerSecond_ = fps;
  parser->scan(std::move(file), whileOpen);
  return parser;
}

void BWFParser::scan(std::unique_ptr<FileHandle> file, const WhileOpen& whileOpen) {
  inFileHandel_ = std::move(file);
  // The size the open found, and the first block read at once: a typical file's header and
  // metadata come with the same read as its first bytes.
  const uint64_t fileSize = inFileHandel_->sizeAtOpen();
  detail::BlockReader reader(*inFileHandel_, fileSize);
  // Missing bytes of a short file count as zero, which never spells "FFIR".
  std::array<uint8_t, 4> first{};
  reader.copy(0, first.data(), first.size());
  const bool reversedFile = FourCC::fromBytes(first.data()) == chunkid::kRIFF.reversed();
  std::array<uint8_t, 8> header{};
  const detail::ChunkSearch& search = detail::ChunkSearch::forByteOrder(reversedFile);
  const uint32_t fileLength = static_cast<uint32_t>(fileSize);

  uint64_t position = 0;  // always below 2^32
  uint64_t lastStep = 0;
  int lastListed = -1;
  uint32_t chunkStart = 0;
  int64_t length = 0;
  uint8_t counter = 0;     // shown as signed 8-bit: the 128th entry has the index -128
  directory_.reserve(16);  // room for a typical file's entries, made once
  std::optional<ChainChunk> scannedBext;  // the first "bext" the scan met

  do {
    // The first step runs even in an empty file.
    const uint64_t limit = std::max<uint64_t>(fileLength, position + 1);
    const Found found = findListed(reader, search, position, limit);
    length += static_cast<int64_t>(found.position - position);
    if (found.listedIndex < 0) {
      lastStep = limit - 1;
      break;
    }
    position = lastStep = found.position;

    if (lastListed >= 0) {
      ++counter;
      addEntry(directory_, kListedChunkIDs[lastListed].str(), counter, chunkStart, length);
      length = 0;
    }
    lastListed = found.listedIndex;
    chunkStart = static_cast<uint32_t>(position);

    reader.copy(position, header.data(), header.size());
    const uint32_t size = reversedFile ? loadBE32(header.data(), 4) : loadLE32(header.data(), 4);
    const FourCC id = kListedChunkIDs[found.listedIndex];
    uint64_t advance = size;
    if (id == chunkid::kRIFF) {
      chunkFlags_ |= kBWFFlagRIFF;
      systemLog("***Have RIFF\n");
      advance = 12;
      length = 12;
    } else if (id == chunkid::kFmt) {
      chunkFlags_ |= kBWFFlagFmt;
      std::array<uint8_t, kFmtBytesRead> chunk{};
      reader.copy(position, chunk.data(), chunk.size());
      const uint16_t tag = reversedFile ? loadBE16(chunk.data(), 8) : loadLE16(chunk.data(), 8);
      if (tag == kFormatPCM) systemLog("***WAVE_FORMAT_PCM\n");
      if (tag == kFormatMuLaw) systemLog("***WAVE_FORMAT_MULAW\n");
      if (tag == kFormatMuLaw || tag == kFormatIBMMuLaw) systemLog("***IBM_FORMAT_MULAW\n");
      const Format format = readFormat(chunk.data(), reversedFile, tag);
      if (format.linear) {
        channels_ = format.channels;
        samplePerSeconds_ = format.sampleRate;
        bitsPerSample_ = format.bitsPerSample;
      }
      advance = (tag == kFormatMuLaw || tag == kFormatIBMMuLaw) ? 26 : 24;
      length += static_cast<int64_t>(advance);
    } else if (id == chunkid::kData) {
      chunkFlags_ |= kBWFFlagData;
      advance = uint64_t{size} + 8;  // the one jump that covers its header too
      length += static_cast<int64_t>(advance);
    } else if (id == chunkid::kBext) {
      // Its record is read after the chain walk, and only when the chain leaves it standing.
      if (!scannedBext) scannedBext = ChainChunk{chunkid::kBext, position, size, FourCC(), false};
      chunkFlags_ |= kBWFFlagBext;
      length = size;
    } else if (id == chunkid::kIXML) {
      chunkFlags_ |= kBWFFlagIXML;
      systemLog("iXML Chunk\n");
      length += size;
    } else if (id == chunkid::kAdtl) {
      advance = 32;
      length += 32;
    } else {
      if (id == chunkid::kSlnt) systemLog("***SilenceID\n");
      if (id == chunkid::kCue) systemLog("***CueID\n");
      length = size;
    }

    // A zero-sized chunk would hold the scan in place: move on by one byte, counted like a
    // byte stepped over, so that Length stays the distance to the next chunk.
    if (advance == 0) {
      advance = 1;
      length += 1;
    }
    if (position + advance >= kPositionLimit) break;
    position += advance;
  } while (position < fileLength);

  size_t available = 0;
  const uint8_t* window = reader.at(lastStep, kWindowSize, available);
  data_.assign(window, window + std::min(available, kWindowSize));

  const std::string key = lastListed >= 0 ? kListedChunkIDs[lastListed].str() : std::string();
  addEntry(directory_, key, static_cast<uint8_t>(counter + 1), chunkStart, length);

  reversedFile_ = reversedFile;
  // The chain's headers, and the chunks the fields come from, mostly lie in the blocks the scan
  // has read already.
  const ChunkReader read = [&reader, fileSize](uint64_t offset, uint8_t* destination,
                                               size_t length) {
    reader.copy(offset, destination, length);
    return offset < fileSize ? static_cast<size_t>(std::min<uint64_t>(length, fileSize - offset))
                             : 0;
  };
  chain_ = walkChunkChain(read, fileSize);
  scannedSize_ = fileSize;
  adoptChain(read, scannedBext);
  if ((chunkFlags_ & kBWFFlagBext) && (chunkFlags_ & kBWFFlagFmt)) deriveTimecode();
  saved_ = {description_, originator_, {hh_, mm_, ss_, ff_}};
  if (whileOpen) whileOpen(read, fileSize, chain_);
  inFileHandel_->closeFile();
  scanned_ = true;
}

const std::map<std::string, std::string>& BWFParser::getChunkDictionary() const {
  if (scanned_ && !chunkDetailsMade_) {
    for (const DirectoryEntry& entry : directory_) chunkDetails_[entry.id] = entryText(entry);
    chunkDetailsMade_ = true;
  }
  return chunkDetails_;
}

bool BWFParser::reversedIds() const {
  return chain_.container == Container::kNone ? reversedFile_ : chain_.reversedIds();
}

bool BWFParser::bigEndianSizes() const {
  return chain_.container == Container::kNone ? reversedFile_ : chain_.bigEndianSizes();
}

void BWFParser::adoptChain(const ChunkReader& read, const std::optional<ChainChunk>& scannedBext) {
  // The audio as the chain states it, whatever its coding: the format, the data chunk's size
  // (from ds64 in RF64 and BW64) and the fact chunk's count of sample frames.
  audioFormat_.reset();
  dataSize_.reset();
  factSamples_.reset();
  if (const ChainChunk* fmt = chain_.first(chunkid::kFmt)) {
    std::array<uint8_t, 8 + 40> chunk{};
    const size_t got = read(fmt->offset, chunk.data(),
                            static_cast<size_t>(std::min<uint64_t>(chunk.size(), 8 + fmt->size)));
    if (got > 8) {
      audioFormat_ = decodeAudioFormat(std::span(chunk).subspan(8, got - 8), bigEndianSizes());
    }
  }
  if (const ChainChunk* data = chain_.first(chunkid::kData)) dataSize_ = data->size;
  // The iXML text, for the rate and the time stamp it states, read while the file is open.
  ixmlText_.clear();
  ixmlRecord_.reset();
  if (const ChainChunk* ixml = chain_.first(chunkid::kIXML); ixml && ixml->size <= kLongestIxml) {
    ixmlText_.resize(static_cast<size_t>(ixml->size));
    ixmlText_.resize(
        read(ixml->offset + 8, reinterpret_cast<uint8_t*>(ixmlText_.data()), ixmlText_.size()));
  }
  if (const ChainChunk* fact = chain_.first(chunkid::kFact); fact && fact->size >= 4) {
    std::array<uint8_t, 12> chunk{};
    if (read(fact->offset, chunk.data(), chunk.size()) == chunk.size()) {
      factSamples_ = bigEndianSizes() ? loadBE32(chunk.data(), 8) : loadLE32(chunk.data(), 8);
    }
  }
  if (const ChainChunk* fmt = chain_.first(chunkid::kFmt)) {
    // The chunk's own bytes only: a 16-byte chunk must not take the next chunk's bytes as its
    // SubFormat code.
    std::array<uint8_t, kFmtBytesRead> chunk{};
    read(fmt->offset, chunk.data(),
         static_cast<size_t>(std::min<uint64_t>(chunk.size(), 8 + fmt->size)));
    const bool bigEndian = bigEndianSizes();
    const Format format = readFormat(
        chunk.data(), bigEndian, bigEndian ? loadBE16(chunk.data(), 8) : loadLE16(chunk.data(), 8));
    channels_ = format.channels;
    samplePerSeconds_ = format.sampleRate;
    bitsPerSample_ = format.bitsPerSample;
    chunkFlags_ |= kBWFFlagFmt;
  } else if (chain_.complete()) {
    chunkFlags_ &= static_cast<uint16_t>(~kBWFFlagFmt);
    channels_ = bitsPerSample_ = 0;
    samplePerSeconds_ = 0;
  }

  // The bext fields come from the chain's first bext chunk; only where the chain breaks before
  // one does the first the scan met stand.
  const ChainChunk* bext = chain_.first(chunkid::kBext);
  if (!bext && !chain_.complete() && scannedBext) bext = &*scannedBext;
  if (!bext) {
    chunkFlags_ &= static_cast<uint16_t>(~kBWFFlagBext);
    return;
  }
  // The whole chunk, up to the fixed fields and the longest coding history that is read: a save
  // compares all of it with the file before it writes, so that no edit made meanwhile is undone.
  const uint64_t fixed = BWFChunk::kCodingHistory.offset;
  bextAsRead_.resize(static_cast<size_t>(
      std::min<uint64_t>(BWFChunk::kHeaderSize + bext->size, fixed + kLongestCodingHistory)));
  bextAsRead_.resize(read(bext->offset, bextAsRead_.data(), bextAsRead_.size()));
  bwfChunk_ = std::make_unique<BWFChunk>();
  read(bext->offset, bwfChunk_->bytes.data(), BWFChunk::kSize);
  bextChunkStart_ = bext->offset;
  record_ = decodeBext(bextAsRead_, bext->offset, bext->size, bigEndianRecord());
  readBextRecord(*bwfChunk_, bext->size, bigEndianRecord());
  chunkFlags_ |= kBWFFlagBext;
}

}  // namespace bextkit
