// BWFParser: one Broadcast Wave file while a user looks at it and edits it. It scans the file's
// chunks once (parse), holds the audio format, the broadcast extension fields and the chunk
// directory, derives a timecode from the time reference, and writes the broadcast extension
// chunk back. Texts are the file's bytes unchanged. Nothing here throws: failures are results.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bwf/AudioFormat.h"
#include "bwf/BWFChunk.h"
#include "bwf/BextRecord.h"
#include "bwf/ChunkChain.h"
#include "bwf/Ixml.h"
#include "bwf/IxmlEdit.h"
#include "platform/FileHandle.h"

namespace bextkit {

// Bits of chunkFlags(): the chunks the scan met.
constexpr uint16_t kBWFFlagRIFF = 0x0001, kBWFFlagFmt = 0x0004, kBWFFlagIXML = 0x0800,
                   kBWFFlagData = 0x4000, kBWFFlagBext = 0x8000;

// One entry of the scan's chunk directory: a listed chunk ID, its place among the entries (an
// 8-bit counter shown signed: the 128th entry has the index -128), where the scan met it and how
// many bytes the scan crossed from there to the next listed ID.
struct DirectoryEntry {
  std::string id;
  int32_t index;
  uint32_t start;  // getChunkDictionary's text shows it as a signed number: past 2 GiB it wraps
  int64_t length;
};

class BWFParser {
 public:
  // Checks that `path` can be opened for reading; null when it cannot. The frame rate is 25
  // unless given.
  [[nodiscard]] static std::unique_ptr<BWFParser> initWithPath(const std::string& path);
  [[nodiscard]] static std::unique_ptr<BWFParser> initWithPath(const std::string& path, float fps);
  // As initWithPath, then parse, with the file opened once: for work over many files. Null, with
  // the reason in `error`, when the file cannot be opened. `listed`: the path was just seen to
  // name a regular file, so the open need not look first (FileHandle::openListedForReading).
  using WhileOpen =
      std::function<void(const ChunkReader& read, uint64_t fileSize, const ChunkChain& chain)>;
  [[nodiscard]] static std::unique_ptr<BWFParser> openAndParse(const std::string& path, float fps,
                                                               std::string& error,
                                                               const WhileOpen& whileOpen = {},
                                                               bool listed = false);

  BWFParser(const BWFParser&) = delete;
  BWFParser& operator=(const BWFParser&) = delete;
  ~BWFParser();

  // Opens the file, scans it once, filling the fields, flags and chunk directory, walks its chunk
  // chain, and closes the file. Always 0. A second call changes nothing; a file that can no
  // longer be opened is not scanned. A parser holds the file open only while it scans.
  // Where the chain reaches a "fmt " or "bext" chunk, the fields (and the chunk image a save
  // starts from) come from the first such chunk on it; where the chain runs to the end of the
  // file without one, the file has none, whatever the scan took for one; only where the chain
  // breaks before one do the scan's findings stand. The kBWFFlagFmt and kBWFFlagBext bits say
  // what the fields came from; the directory, the messages and the other bits are the scan's.
  int32_t parse();
  // As parse, and runs `whileOpen` (when the scan ran) before the file is closed, with a reader
  // of the file's bytes (from the blocks the scan read, where it can), the file's size and the
  // chain walked: a caller that reads more of the file needs no second open.
  int32_t parse(const WhileOpen& whileOpen);
  // True when the file begins with "FFIR": IDs stored byte-reversed, sizes big-endian.
  bool endianNess();
  // Writes the broadcast extension chunk back into the file at the parser's path. Only what was
  // edited changes: a text that differs from the one read (written with zeros to the end of its
  // field), and the time reference (both halves) when the stored timecode differs from the one
  // derived at the scan; every other byte of the chunk stays as it is.
  [[nodiscard]] bool saveFile();
  // Scans, then writes the timecode string to the system log.
  void info();

  const std::string& description() const { return description_; }
  void setDescription(const std::string& text) { description_ = text; }
  const std::string& originator() const { return originator_; }
  void setOriginator(const std::string& text) { originator_ = text; }
  const std::string& originatorReference() const { return originatorReference_; }
  void setOriginatorReference(const std::string& text) { originatorReference_ = text; }
  const std::string& creationdate() const { return creationdate_; }
  const std::string& creationtime() const { return creationtime_; }
  void setCreationtime(const std::string& text) { creationtime_ = text; }
  // The coding history, or "None" when the file's field starts with two 0x00 or two 0xFF bytes.
  const std::string& getCodingHistory() const { return codingHistory_; }
  // False where getCodingHistory gives "None" for a field without a history (not for the text).
  bool hasCodingHistory() const { return !codingHistoryNone_; }

  const std::string& path() const { return path_; }

  // The broadcast extension chunk the fields came from, decoded as the scan read it (or as the
  // last save wrote it); none in a file without one.
  const std::optional<BextRecord>& bextRecord() const { return record_; }

  // The format the chain's "fmt " chunk states, for every coding; none without one (or with
  // one shorter than 16 bytes).
  const std::optional<AudioFormat>& audioFormat() const { return audioFormat_; }
  // The payload size of the chain's data chunk (from ds64 in RF64 and BW64); none without one.
  std::optional<uint64_t> dataSize() const { return dataSize_; }
  // The sample frames a fact chunk counts (compressed codings); none without one.
  std::optional<uint32_t> factSamples() const { return factSamples_; }
  // The payload of the chain's iXML chunk as the scan read it; empty without one, or for one
  // longer than kLongestIxml, which a reader reads from the file itself.
  const std::string& ixmlText() const { return ixmlText_; }
  // That text's iXML record, read once for the edits, their changes and the save that ask for it.
  const IxmlRecord& ixmlRecord() const;
  static constexpr uint64_t kLongestIxml = 1 << 20;

  // Linear audio only (PCM, float, extensible of those); 0 for other codings.
  uint32_t samplePerSeconds() const { return samplePerSeconds_; }
  int32_t bitsPerSample() const { return bitsPerSample_; }
  int32_t channels() const { return channels_; }
  uint32_t getSamplesSinceMidnightLow() const { return sampSinceMidnightLow_; }
  uint32_t getSamplesSinceMidnightHigh() const { return sampSinceMidnightHigh_; }

  // Chunk ID -> "Idx: %d StartPoint: %d Length: %lld": the directory's entries as text; the same
  // object for the parser's life. Made from the directory when first asked for after the scan:
  // most readers of many files never ask.
  const std::map<std::string, std::string>& getChunkDictionary() const;
  // The scan's chunk directory in file order, one entry for each ID (the last the scan met).
  friend const std::vector<DirectoryEntry>& chunkDirectory(const BWFParser& parser) {
    return parser.directory_;
  }
  uint16_t chunkFlags() const { return chunkFlags_; }
  // The 864 bytes from the start of the bext chunk the fields came from; null when none.
  const BWFChunk* bwfChunk() const { return bwfChunk_.get(); }
  // The chunk chain as parse walked it, and the bext chunk's whole coding history (the record's
  // field holds at most 254 bytes of it; getCodingHistory keeps that view).
  const ChunkChain& chunkChain() const { return chain_; }
  // Where the chunk that bwfChunk() copies starts in the file.
  uint64_t bwfChunkOffset() const { return bextChunkStart_; }
  // The file's size when it was scanned.
  uint64_t scannedSize() const { return scannedSize_; }
  const std::string& fullCodingHistory() const { return fullCodingHistory_; }
  // The up to 512 bytes that the scan's last step read.
  const std::vector<uint8_t>& scanWindow() const { return data_; }

  void getfps(float* fps) const { *fps = framesPerSecond_; }
  // Counts the timecode at `fps` from now on: a scanned file's timecode is derived again from
  // its time reference (before any edit of it, which this would undo).
  void countFramesAt(float fps);
  int32_t getTicks() const { return ticks_; }
  void setTicks(int32_t ticks) { ticks_ = ticks; }

  // "hh:mm:ss:ff" of the stored timecode, each field unsigned and at least two digits.
  std::string timecodeString();
  // Stores the timecode; `fps` is accepted and not used.
  void setTimeCodeHH(int32_t hh, int32_t mm, int32_t ss, int32_t ff, int32_t fps);
  // The time reference a save writes, in samples since midnight, in place of the one the stored
  // timecode gives: for callers that place frames on samples themselves.
  void setTimeReference(uint64_t samples) { newTimeReference_ = samples; }
  // The time reference a save would write in place of the file's: the one set, or the stored
  // timecode's once it was changed; nothing while the file's own stays.
  std::optional<uint64_t> timeReferenceToWrite() const;
  // "hh:mm:ss:ff,tttttt" of a sample count at `fps` frames and `sps` samples per second; the
  // ticks are the frame fraction scaled by sps times the parser's own rate, and replace ticks.
  std::string hex2timecode(int32_t count, float fps, int32_t sps);
  // The same with the count in hexadecimal, the rate as a decimal and sps as a C integer
  // literal; writes "sps: N" to standard output first.
  std::string hexStr2timecode(const std::string& count, const std::string& fps,
                              const std::string& sps);

  // Edits of the fields a save leaves as they are unless asked: each one set is written into the
  // record after it is built; every other byte stays as the chunk holds it.
  struct FieldEdits {
    std::optional<std::string> originatorReference;  // at most 32 bytes
    std::optional<std::string> originationDate;      // yyyy-mm-dd (10 bytes)
    std::optional<std::string> originationTime;      // hh:mm:ss (8 bytes)
    std::optional<std::string> codingHistory;        // the whole history, replacing the old
    std::optional<std::array<uint8_t, 64>> umid;
    std::optional<uint16_t> version;
    std::optional<int16_t> loudnessValue, loudnessRange, maxTruePeakLevel, maxMomentaryLoudness,
        maxShortTermLoudness;  // hundredths (-2300 is -23.00 LUFS), 0x7FFF when unused
    bool operator==(const FieldEdits&) const = default;
  };
  // Texts are written up to their first NUL and followed by zeros to the end of their field. A
  // coding history that does not fit the chunk makes the save write a new file with a larger
  // chunk (as an insertion does: progress and the replacement check apply); one that fits is
  // followed by zeros to the end of the chunk. A successful save clears the edits.
  void setFieldEdits(FieldEdits edits) { fieldEdits_ = std::move(edits); }
  const FieldEdits& fieldEdits() const { return fieldEdits_; }
  // Every field of FieldEdits as the chunk holds it (bytes past the end of a short chunk count
  // as zero), or, in a file without one, as a new chunk would hold it; the coding history is
  // the whole of it, empty where the chunk holds none.
  FieldEdits storedFields() const;
  // The chunk size (of the payload) that a save writes: the chunk's own, 858 for a new chunk,
  // or more where the new coding history needs it.
  uint64_t chunkSizeToWrite() const;
  // How a save goes: the chunk rewritten where it stands; a larger chunk grown in place, into a
  // JUNK, PAD or FLLR chunk that follows it or at the end of the file when it is the last chunk
  // (the form size grown to match), nothing else moving; or a new file written in place of the
  // original, for a new chunk or a larger one with no room after it.
  enum class SaveWay { kRewrite, kGrowInPlace, kWriteAnew };
  SaveWay saveWay() const;
  // True when a save writes a new file in place of the original (SaveWay::kWriteAnew).
  bool saveWritesNewFile() const { return saveWay() == SaveWay::kWriteAnew; }
  // The payload of the JUNK chunk that a larger chunk written into a new file leaves after it,
  // so that the next growth finds room in place.
  static constexpr uint64_t kJunkReserve = 1024;
  // The most of a coding history that a scan reads, and a save writes.
  static constexpr size_t kLongestCodingHistory = 1 << 20;

  // The broadcast extension record to write (at most 864 bytes): fresh, or the chunk image with
  // the edits.
  std::vector<uint8_t> getBWFChunkData() const;
  [[nodiscard]] bool writeBExtHeaderToFile(const std::string& path);
  // Edits of the iXML document's fields, by the names of its record ("SCENE",
  // "TRACK_LIST/TRACK[2]/NAME"), the later of two edits of a field winning; a save writes them,
  // with the copies of the bext chunk's fields that the document holds, and clears them.
  void setIxmlEdits(std::vector<IxmlEdit> edits) { ixmlEdits_ = std::move(edits); }
  const std::vector<IxmlEdit>& ixmlEdits() const { return ixmlEdits_; }
  // A field of the iXML document that a save changes, with its text before (empty where the
  // document lacks it) and after.
  struct IxmlChange {
    std::string name, before, after;
  };
  // What a save changes in the iXML document: the fields asked for, and, where the document
  // holds them, the copies of the bext fields that the save changes: the time stamp in samples
  // (SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI and _LO, at the document's TIMESTAMP_SAMPLE_RATE)
  // and the BEXT element's BWF_DESCRIPTION, BWF_ORIGINATOR, BWF_ORIGINATOR_REFERENCE,
  // BWF_ORIGINATION_DATE, BWF_ORIGINATION_TIME, BWF_TIME_REFERENCE_HIGH and _LOW, BWF_VERSION
  // and BWF_CODING_HISTORY. Only fields whose text changes, in the order first asked.
  std::vector<IxmlChange> ixmlChanges() const;
  // The iXML payload a save writes: the file's document with the changes made, or, in a file
  // without one, a new document holding the fields asked for; fitted to the chunk where the
  // document's padding allows, and of an even size otherwise. Nothing when nothing changes, or,
  // with the reason in `why`, when the document cannot be edited (it is not well-formed, longer
  // than kLongestIxml, cut off by the end of the file, or lacks an element asked for).
  std::optional<std::string> ixmlToWrite(std::string& why) const;
  // How a save writes the iXML chunk (kRewrite also when nothing changes in it): where it
  // stands, grown into a filler after it or at the end of the file, or in a new file that
  // holds it in place of the old one, or, for a file without one, after the form header, with
  // a JUNK reserve after it.
  SaveWay ixmlSaveWay() const;
  // Whether a save changes any field of the bext chunk; a save with iXML changes alone leaves
  // the bext chunk (or the lack of one) as it is.
  bool bextEdited() const;
  // The payload size of the chain's iXML chunk; none without one.
  std::optional<uint64_t> ixmlChunkSize() const;

  // Runs every check that a save of the parser's file makes, opening and locking the file as a
  // save does, and writes nothing; false, with lastError set, when the save would fail.
  [[nodiscard]] bool checkSave();
  // Why a save would be refused before the file is opened (a text too long, a date or time not
  // in its form, loudness values in a chunk that is not version 2, a timecode without a time
  // reference, an edited field beyond the end of a short chunk, a chunk cut off by the end of
  // the file); empty when nothing known so far stands in its way.
  std::string saveRefusal() const;
  // Why the last save failed; empty after a success.
  const std::string& lastError() const { return lastError_; }
  // Hears how far an insertion has copied the file's content (bytes so far, bytes in all), for
  // callers that show progress on large files.
  void setSaveProgress(FileHandle::Progress progress) { saveProgress_ = std::move(progress); }
  // Runs on the complete new file of an insertion (readable, `newSize` bytes) before it
  // replaces the original; returning false, with the reason in `why`, keeps the original and
  // fails the save with that reason. A rewrite in place, which moves no audio, does not run it.
  using ReplacementCheck =
      std::function<bool(FileHandle& newFile, uint64_t newSize, std::string& why)>;
  void setReplacementCheck(ReplacementCheck check) { replacementCheck_ = std::move(check); }

 private:
  BWFParser(std::string path, std::unique_ptr<FileHandle> file);
  // The scan of parse, over the file opened for it; closes the file.
  void scan(std::unique_ptr<FileHandle> file, const WhileOpen& whileOpen);
  void readBextRecord(const BWFChunk& image, uint64_t chunkSize, bool bigEndianIntegers);
  void adoptChain(const ChunkReader& read, const std::optional<ChainChunk>& scannedBext);
  // How the file stores chunk IDs, sizes and the record's integers: by its container, or by
  // the scan's byte order where no container header was found.
  bool reversedIds() const;
  bool bigEndianSizes() const;
  bool bigEndianRecord() const { return chain_.bigEndianRecord(); }
  void deriveTimecode();
  // The size that the chunk image's header declares, read in the file's byte order, and the
  // number of record bytes a save writes: that size, at most 864, or 864 for a new chunk.
  uint32_t imageChunkSize() const;
  size_t recordLength() const;
  bool descriptionEdited() const;
  bool originatorEdited() const;
  bool timecodeEdited() const;
  bool timeReferenceEdited() const { return newTimeReference_ || timecodeEdited(); }
  // The 64-bit sample count of the stored timecode; nothing, with the reason in `why`, when it
  // has none (no sample rate, a negative or oversized count).
  std::optional<uint64_t> timeReferenceFromTimecode(std::string* why) const;
  // The record with the edits (those of FieldEdits only when asked), starting from the chunk
  // image's first `keep` bytes (a new chunk's defaults elsewhere).
  BWFChunk editedRecord(size_t keep, bool withFieldEdits = true) const;
  void applyFieldEdits(BWFChunk& record) const;
  // The bytes a save writes where the chunk starts: the record (recordLength bytes) when the
  // coding history stays, else the whole chunk, header included.
  std::vector<uint8_t> chunkToWrite() const;
  std::string fieldEditRefusal() const;
  // After a save: what was written becomes what a later save compares its edits with.
  void adoptSaved(const std::vector<uint8_t>& chunk);
  bool failSave(const std::string& path, const std::string& reason);
  // A save, or with `write` false only its checks: the bext chunk where its fields change (or no
  // iXML field does), then the iXML chunk where its document changes, each checked before
  // either is written.
  bool save(const std::string& path, bool write);
  bool saveBext(const std::string& path, bool write);
  bool saveIxml(const std::string& path, const std::string& document, bool write);
  SaveWay ixmlSaveWay(uint64_t size) const;
  // The chunk a save writes: its ID; whether the file holds it, where it starts and its payload
  // size as read; its first bytes as read, header included, which the file must still hold; and
  // whether a new file leaves a JUNK reserve after it even when the chunk is new (a replaced
  // chunk always gets one).
  struct SaveTarget {
    FourCC id;
    bool present = false;
    uint64_t offset = 0, size = 0;
    const std::vector<uint8_t>* asRead = nullptr;
    bool reserve = false;
  };
  SaveTarget bextTarget() const;
  static std::string notInChain(const SaveTarget& target);
  // A chunk header in the file's byte order.
  std::vector<uint8_t> chunkHeader(FourCC id, uint64_t payload) const;
  bool writeChunk(const std::string& path, const SaveTarget& target, SaveWay way,
                  const std::vector<uint8_t>& chunk, bool write);
  bool rewriteChunk(const std::string& path, const SaveTarget& target,
                    const std::vector<uint8_t>& record, bool write);
  // Why the file's form header (with ds64) cannot be copied into or kept by a save; its end in
  // `headerEnd` otherwise.
  std::string headerRefusal(const ChunkChain& chain, uint64_t size, uint64_t& headerEnd) const;
  // After a save that moved chunks: the chain, the chunk and where it starts, as now on disk.
  void adoptLayout(const SaveTarget& target, const ChunkChain& chain, uint64_t size,
                   uint64_t offset, const std::vector<uint8_t>& chunk);
  // Grows the chunk where it stands, into the filler after it or at the end of the file.
  bool growInPlace(const std::string& path, const SaveTarget& target,
                   const std::vector<uint8_t>& chunk, bool write);
  // Writes a new file: the chunk inserted after the form header, or in place of a smaller one.
  bool writeNewFile(const std::string& path, const SaveTarget& target,
                    const std::vector<uint8_t>& chunk, bool write);
  // Whether the file holds, where the target starts, the bytes of it that were read.
  bool chunkAsRead(FileHandle& file, const SaveTarget& target) const;
  uint32_t loadSize(const uint8_t* bytes, size_t offset) const;
  void storeSize(uint8_t* bytes, size_t offset, uint32_t value) const;

  uint16_t chunkFlags_ = 0;
  std::unique_ptr<BWFChunk> bwfChunk_;
  std::string path_;
  std::unique_ptr<FileHandle> inFileHandel_;
  std::vector<uint8_t> data_;
  float framesPerSecond_ = 25.0f;
  uint32_t samplePerSeconds_ = 0;
  std::optional<AudioFormat> audioFormat_;
  std::optional<uint64_t> dataSize_;
  std::optional<uint32_t> factSamples_;
  std::string ixmlText_;
  mutable std::optional<IxmlRecord> ixmlRecord_;  // of ixmlText_, once asked for
  std::vector<IxmlEdit> ixmlEdits_;
  int32_t bitsPerSample_ = 0;
  int32_t channels_ = 0;
  std::string timecodeStr_;
  std::string description_;
  std::string originator_;
  std::string originatorReference_;
  std::string creationtime_;
  std::string creationdate_;
  std::string codingHistory_;
  bool codingHistoryNone_ = false;
  std::string fullCodingHistory_;
  std::vector<DirectoryEntry> directory_;
  mutable std::map<std::string, std::string> chunkDetails_;
  mutable bool chunkDetailsMade_ = false;
  uint32_t sampSinceMidnightLow_ = 0;
  uint32_t sampSinceMidnightHigh_ = 0;
  int32_t hh_ = 0, mm_ = 0, ss_ = 0, ff_ = 0;
  int32_t ticks_ = 0;
  std::optional<uint64_t> newTimeReference_;
  FieldEdits fieldEdits_;
  std::string lastError_;

  // What the write-back needs to know of the scan: that it ran, the file's byte order and
  // chain, and where the chunk image's chunk starts.
  FileHandle::Progress saveProgress_;
  ReplacementCheck replacementCheck_;
  bool scanned_ = false;
  // The editable fields as the scan read them, or as the last save wrote them.
  struct {
    std::string description, originator;
    std::array<int32_t, 4> timecode{};
  } saved_;
  bool reversedFile_ = false;
  ChunkChain chain_;
  uint64_t bextChunkStart_ = 0;
  uint64_t scannedSize_ = 0;
  // The bext chunk as the scan read it, header included: the whole of it, up to the fixed
  // fields and the longest coding history that is read.
  std::vector<uint8_t> bextAsRead_;
  std::optional<BextRecord> record_;
};

}  // namespace bextkit
