// Building the record a save writes to the broadcast extension chunk: from defaults, the
// current date, the chunk image and the edited fields, in the file's byte order; and the
// refusal of edits that the record cannot hold whole.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

#include "bwf/BWFParser.h"
#include "bwf/BWFParserSaving.h"
#include "bwf/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/FourCC.h"
#include "timecode/CNumbers.h"

namespace bextkit {

namespace {

using detail::kFixedPayload;
using detail::kFixedRecord;
using detail::kNothingWritten;
using detail::kTimeReference;
using detail::truncatedReason;

constexpr uint32_t kNewChunkSize = 858;  // declared by a new chunk: two bytes past the record
constexpr std::string_view kNewCodingHistory = "A=PCM\r\n";

// The text as C would hold it: up to its first NUL.
std::string_view cText(const std::string& text) { return cnum::cStringView(text); }

// Whether `text` has the form of `pattern`: a digit where it holds 'd', elsewhere its byte or
// another of the separators older writers use ('-', '_', ':', ' ', '.'), which readers accept.
bool hasForm(std::string_view text, std::string_view pattern) {
  constexpr std::string_view kSeparators = "-_: .";
  return text.size() == pattern.size() &&
         std::equal(text.begin(), text.end(), pattern.begin(), [&](char c, char p) {
           return p == 'd' ? c >= '0' && c <= '9'
                           : c == p || kSeparators.find(c) != std::string_view::npos;
         });
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

BWFChunk BWFParser::editedRecord(size_t keep, bool withFieldEdits) const {
  BWFChunk record;
  const auto [date, time] = dateAndTime();
  const FourCC id = reversedIds() ? chunkid::kBext.reversed() : chunkid::kBext;
  for (size_t i = 0; i < 4; ++i) record.bytes[i] = id[i];
  storeSize(record.bytes.data(), BWFChunk::kCkSize.offset, kNewChunkSize);
  // A new chunk holds nothing after a text's NUL, and its one coding-history line ends with
  // CR LF, as every line of a history does.
  encodeText(record, BextField::kCodingHistory, kNewCodingHistory);
  // Date and time fill their fields exactly, with no NUL.
  std::copy_n(date.begin(), std::min(date.size(), BWFChunk::kOriginationDate.width),
              record.bytes.begin() + BWFChunk::kOriginationDate.offset);
  std::copy_n(time.begin(), std::min(time.size(), BWFChunk::kOriginationTime.width),
              record.bytes.begin() + BWFChunk::kOriginationTime.offset);

  // An existing chunk keeps every byte but those of the edited fields, as far as it reaches; a
  // new record takes the texts whether edited or not.
  if (bwfChunk_) {
    std::copy_n(bwfChunk_->bytes.begin(), std::min(keep, BWFChunk::kSize), record.bytes.begin());
  }
  const bool fresh = !bwfChunk_;
  if (fresh || descriptionEdited()) {
    encodeText(record, BextField::kDescription, cText(description_));
  }
  if (fresh || originatorEdited()) {
    encodeText(record, BextField::kOriginator, cText(originator_));
  }
  // The time reference is sample-accurate: only a changed timecode, or a time reference set
  // as such, replaces it.
  if (const std::optional<uint64_t> samples = timeReferenceToWrite()) {
    encodeTimeReference(record, *samples, bigEndianRecord());
  }
  if (withFieldEdits) applyFieldEdits(record);
  return record;
}

void BWFParser::applyFieldEdits(BWFChunk& record) const {
  const FieldEdits& e = fieldEdits_;
  const std::pair<const std::optional<std::string>&, BextField> texts[] = {
      {e.originatorReference, BextField::kOriginatorReference},
      {e.originationDate, BextField::kOriginationDate},
      {e.originationTime, BextField::kOriginationTime}};
  for (const auto& [text, field] : texts) {
    if (text) encodeText(record, field, *text);
  }
  if (e.umid) encodeUmid(record, *e.umid);
  if (e.version) encodeVersion(record, *e.version, bigEndianRecord());
  const std::optional<int16_t>* loudness[] = {&e.loudnessValue, &e.loudnessRange,
                                              &e.maxTruePeakLevel, &e.maxMomentaryLoudness,
                                              &e.maxShortTermLoudness};
  for (size_t i = 0; i < kLoudnessFields.size(); ++i) {
    if (*loudness[i]) encodeLoudness(record, kLoudnessFields[i], **loudness[i], bigEndianRecord());
  }
}

uint64_t BWFParser::chunkSizeToWrite() const {
  const uint64_t own = bwfChunk_ ? imageChunkSize() : kNewChunkSize;
  if (!fieldEdits_.codingHistory) return own;
  // A chunk that must grow ends on an even size, with a NUL after a history of odd length.
  const uint64_t needed = kFixedPayload + cText(*fieldEdits_.codingHistory).size();
  return needed <= own ? own : needed + (needed & 1);
}

std::vector<uint8_t> BWFParser::chunkToWrite() const {
  if (bwfChunk_ && !fieldEdits_.codingHistory) {
    const BWFChunk record = editedRecord(recordLength());
    return std::vector<uint8_t>(record.bytes.begin(),
                                record.bytes.begin() + static_cast<std::ptrdiff_t>(recordLength()));
  }
  // The whole chunk: the fields before the coding history, then the history and zeros to the
  // chunk's end. The chunk's own bytes count up to its end, at most up to the history.
  const uint64_t size = chunkSizeToWrite();
  const BWFChunk record =
      editedRecord(std::min<uint64_t>(BWFChunk::kHeaderSize + imageChunkSize(), kFixedRecord));
  std::vector<uint8_t> chunk(static_cast<size_t>(BWFChunk::kHeaderSize + size), 0);
  std::copy_n(record.bytes.begin(), kFixedRecord, chunk.begin());
  storeSize(chunk.data(), BWFChunk::kCkSize.offset, static_cast<uint32_t>(size));
  const std::string_view history =
      fieldEdits_.codingHistory ? cText(*fieldEdits_.codingHistory) : kNewCodingHistory;
  std::copy_n(history.begin(), std::min<uint64_t>(history.size(), size - kFixedPayload),
              chunk.begin() + kFixedRecord);
  return chunk;
}

std::vector<uint8_t> BWFParser::getBWFChunkData() const {
  std::vector<uint8_t> chunk = chunkToWrite();
  chunk.resize(std::min(chunk.size(), BWFChunk::kSize));
  return chunk;
}

BWFParser::FieldEdits BWFParser::storedFields() const {
  // The chunk as a scan reads it, or the record a new chunk starts from.
  BWFChunk record = bwfChunk_ ? *bwfChunk_ : editedRecord(0, false);
  const uint64_t end = BWFChunk::kHeaderSize + imageChunkSize();
  if (bwfChunk_ && end < BWFChunk::kSize) {
    std::fill(record.bytes.begin() + static_cast<std::ptrdiff_t>(end), record.bytes.end(), 0);
  }
  const bool big = bigEndianRecord();
  const auto signedAt = [&](BWFChunk::Field field) {
    return static_cast<int16_t>(record.load16(field, big));
  };
  FieldEdits stored;
  stored.originatorReference = record.text(BWFChunk::kOriginatorReference);
  stored.originationDate = record.text(BWFChunk::kOriginationDate);
  stored.originationTime = record.text(BWFChunk::kOriginationTime);
  stored.codingHistory = !bwfChunk_           ? record.text(BWFChunk::kCodingHistory)
                         : hasCodingHistory() ? fullCodingHistory_
                                              : std::string();
  stored.umid.emplace();
  std::copy_n(record.bytes.begin() + BWFChunk::kUMID.offset, BWFChunk::kUMID.width,
              stored.umid->begin());
  stored.version = record.load16(BWFChunk::kVersion, big);
  stored.loudnessValue = signedAt(BWFChunk::kLoudnessValue);
  stored.loudnessRange = signedAt(BWFChunk::kLoudnessRange);
  stored.maxTruePeakLevel = signedAt(BWFChunk::kMaxTruePeakLevel);
  stored.maxMomentaryLoudness = signedAt(BWFChunk::kMaxMomentaryLoudness);
  stored.maxShortTermLoudness = signedAt(BWFChunk::kMaxShortTermLoudness);
  return stored;
}

std::string BWFParser::fieldEditRefusal() const {
  const FieldEdits& f = fieldEdits_;
  const struct {
    const std::optional<std::string>& text;
    const char* name;
    const char* pattern;  // 'd' for a digit
    const char* form;
  } forms[] = {{f.originationDate, "date", "dddd-dd-dd", "yyyy-mm-dd"},
               {f.originationTime, "time", "dd:dd:dd", "hh:mm:ss"}};
  // An empty text clears the field; any other takes the field's whole form.
  for (const auto& t : forms) {
    if (t.text && !t.text->empty() && !hasForm(*t.text, t.pattern)) {
      return std::string("the origination ") + t.name + " \"" + *t.text + "\" is not " + t.form;
    }
  }
  if (f.codingHistory && cText(*f.codingHistory).size() > kLongestCodingHistory) {
    return "the coding history is " + std::to_string(cText(*f.codingHistory).size()) +
           " bytes long, more than the " + std::to_string(kLongestCodingHistory) +
           " that are read back";
  }
  // Version 1 and earlier reserve the bytes of the loudness values.
  const bool loudness = f.loudnessValue || f.loudnessRange || f.maxTruePeakLevel ||
                        f.maxMomentaryLoudness || f.maxShortTermLoudness;
  const uint16_t version = f.version ? *f.version : *storedFields().version;
  if (loudness && version < 2) {
    return "loudness fields need version 2, and the version would be " + std::to_string(version) +
           ": set the version to 2 as well" + kNothingWritten;
  }
  return std::string();
}

std::string BWFParser::saveRefusal() const {
  if (!scanned_) return "the file has not been scanned";
  if (!(chunkFlags_ & (kBWFFlagRIFF | kBWFFlagBext)) && chain_.container == Container::kNone) {
    return "not a RIFF file: the scan found neither a RIFF header nor a bext chunk";
  }
  // A text that does not fit is refused rather than cut short.
  const FieldEdits& f = fieldEdits_;
  const struct {
    BextField id;
    bool edited;
    size_t size;
  } edits[] = {{BextField::kDescription, descriptionEdited(), cText(description_).size()},
               {BextField::kOriginator, originatorEdited(), cText(originator_).size()},
               {BextField::kOriginatorReference, f.originatorReference.has_value(),
                f.originatorReference ? cText(*f.originatorReference).size() : 0},
               {BextField::kOriginationDate, f.originationDate.has_value(), 0},
               {BextField::kOriginationTime, f.originationTime.has_value(), 0},
               {BextField::kTimeReference, timeReferenceEdited(), 0},
               {BextField::kVersion, f.version.has_value(), 0},
               {BextField::kUmid, f.umid.has_value(), 0},
               {BextField::kLoudnessValue, f.loudnessValue.has_value(), 0},
               {BextField::kLoudnessRange, f.loudnessRange.has_value(), 0},
               {BextField::kMaxTruePeakLevel, f.maxTruePeakLevel.has_value(), 0},
               {BextField::kMaxMomentaryLoudness, f.maxMomentaryLoudness.has_value(), 0},
               {BextField::kMaxShortTermLoudness, f.maxShortTermLoudness.has_value(), 0}};
  for (const auto& e : edits) {
    const BWFChunk::Field& place = fieldInfo(e.id).place;
    if (e.size > place.width) {
      return std::string("the ") + fieldName(e.id) + " is " + std::to_string(e.size) +
             " bytes long, and the field holds at most " + std::to_string(place.width);
    }
  }
  if (const std::string why = fieldEditRefusal(); !why.empty()) return why;
  std::string why;
  if (!newTimeReference_ && timecodeEdited() && !timeReferenceFromTimecode(&why)) {
    return why + kNothingWritten;
  }
  if (!bwfChunk_) return std::string();
  // A chunk shorter than the record holds only the fields it reaches: an edit of a field beyond
  // it would be cut short, or lost. A coding history follows all of them.
  for (const auto& e : edits) {
    if (e.edited && fieldInfo(e.id).place.end() > recordLength()) {
      return "the bext chunk holds " + std::to_string(imageChunkSize()) +
             " bytes, too few for the new " + fieldName(e.id) + kNothingWritten;
    }
  }
  if (f.codingHistory && imageChunkSize() < kFixedPayload) {
    return "the bext chunk holds " + std::to_string(imageChunkSize()) +
           " bytes, too few for the fields before a coding history (" +
           std::to_string(kFixedPayload) + ")" + kNothingWritten;
  }
  // A history written in place is followed by zeros to the chunk's end, all of it in memory.
  if (f.codingHistory && imageChunkSize() > kFixedPayload + kLongestCodingHistory) {
    return "the bext chunk declares " + std::to_string(imageChunkSize()) +
           " bytes; a new coding history is written into a chunk of at most " +
           std::to_string(kFixedPayload + kLongestCodingHistory) + kNothingWritten;
  }
  for (const ChainChunk& chunk : chain_.chunks) {
    if (chunk.offset == bextChunkStart_ && chunk.truncated) {
      return truncatedReason(chunk) + kNothingWritten;
    }
  }
  return std::string();
}

}  // namespace bextkit
