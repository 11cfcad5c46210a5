#include "check/Conformance.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"
#include "bwf/FileScan.h"
#include "bwf/Ixml.h"
#include "bwf/SmpteTime.h"
#include "bwf/Xml.h"
#include "check/BextRules.h"
#include "check/Structure.h"
#include "check/TimecodeRules.h"
#include "platform/FileHandle.h"

namespace bextkit::check {

namespace {

constexpr uint64_t kChunkHeader = 8;
// The most of a text chunk that a check reads: a larger bext or iXML chunk is read in part.
constexpr uint64_t kLargestText = 16u << 20;

std::vector<uint8_t> payloadOf(const ChunkReader& read, uint64_t fileSize, uint64_t chunkOffset,
                               uint64_t size) {
  const uint64_t start = chunkOffset + kChunkHeader;
  if (start >= fileSize) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min({size, fileSize - start, kLargestText})));
  bytes.resize(read(start, bytes.data(), bytes.size()));
  return bytes;
}

// The entries of a LIST chunk of form INFO: an ID, a size in the file's order, a text.
std::vector<InfoEntry> infoEntries(const std::vector<uint8_t>& payload, uint64_t payloadOffset,
                                   bool bigEndian) {
  std::vector<InfoEntry> entries;
  for (size_t at = 4; at + kChunkHeader <= payload.size();) {
    const uint32_t size =
        bigEndian ? loadBE32(payload.data(), at + 4) : loadLE32(payload.data(), at + 4);
    const size_t start = at + kChunkHeader;
    const size_t length = static_cast<size_t>(std::min<uint64_t>(size, payload.size() - start));
    const auto text = payload.begin() + static_cast<std::ptrdiff_t>(start);
    const auto end = std::find(text, text + static_cast<std::ptrdiff_t>(length), uint8_t{0});
    entries.push_back({std::string(payload.begin() + static_cast<std::ptrdiff_t>(at),
                                   payload.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                       std::string(text, end), payloadOffset + at});
    at = start + length + (length & 1);
  }
  return entries;
}

}  // namespace

std::vector<InfoEntry> readInfoEntries(const ChunkReader& read, uint64_t fileSize,
                                       const ChunkChain& chain) {
  std::vector<InfoEntry> info;
  for (const ChainChunk& c : chain.chunks) {
    if (c.id != chunkid::kList || c.form != FourCC("INFO")) continue;
    const std::vector<uint8_t> payload = payloadOf(read, fileSize, c.offset, c.size);
    const auto entries = infoEntries(payload, c.offset + kChunkHeader, chain.bigEndianSizes());
    info.insert(info.end(), entries.begin(), entries.end());
  }
  return info;
}

std::unique_ptr<BWFParser> scanWithInfo(const std::string& path, float fps,
                                        std::vector<InfoEntry>& info, std::string& error,
                                        bool listed) {
  return scanFile(
      path, fps, error,
      [&info](const ChunkReader& read, uint64_t size, const ChunkChain& chain) {
        info = readInfoEntries(read, size, chain);
      },
      listed);
}

namespace {

// The iXML beside the rest of the file: its sample rate and its tracks beside the format's, its
// timecode rate beside the description's speed line.
void checkIxmlAgainstFile(const XmlDocument& document, uint64_t at, const BWFParser& parser,
                          Findings& found) {
  const IxmlRecord ixml = decodeIxml(document);
  const std::optional<AudioFormat>& format = parser.audioFormat();
  if (const IxmlField* rate = ixml.find("SPEED/FILE_SAMPLE_RATE");
      rate && format && rate->text != std::to_string(format->sampleRate)) {
    found.push_back({"ixml-sample-rate-differs", Severity::kWarning, at,
                     "The iXML's FILE_SAMPLE_RATE is " + rate->text + " where the format chunk " +
                         "states " + std::to_string(format->sampleRate) + " Hz."});
  }
  const size_t tracks = ixml.tracks;
  if (tracks > 0 && format && tracks != format->channels) {
    found.push_back({"ixml-track-count", Severity::kWarning, at,
                     "The iXML's TRACK_LIST lists " + std::to_string(tracks) + " track" +
                         (tracks == 1 ? "" : "s") + " for the file's " +
                         std::to_string(format->channels) + " channels."});
  }
  TimecodeFacts facts;
  facts.description = parser.description();
  facts.ixml = &document;
  const StatedRates stated = statedRates(facts);
  if (stated.ixml && stated.description && *stated.ixml != *stated.description) {
    found.push_back({"ixml-rate-differs", Severity::kWarning, at,
                     "The iXML states " + smpte::rateWords(*stated.ixml) + " and the description " +
                         smpte::rateWords(*stated.description) +
                         ": applications that read one or the other count other timecodes."});
  }
}

}  // namespace

XmlDocument ixmlOf(const BWFParser& parser) {
  const ChainChunk* chunk = parser.chunkChain().first(chunkid::kIXML);
  if (!chunk || chunk->size > kLargestText) return {};
  // The scan keeps a text of up to kLongestIxml bytes; only a longer one is read again.
  if (chunk->size <= BWFParser::kLongestIxml) return parseXml(parser.ixmlText());
  std::unique_ptr<FileHandle> file = FileHandle::openForReading(parser.path());
  if (!file) return {};
  const ChunkReader read = [&file](uint64_t offset, uint8_t* destination, size_t length) {
    file->seekToFileOffset(offset);
    return file->read(destination, length);
  };
  const std::vector<uint8_t> payload =
      payloadOf(read, file->seekToEndOfFile(), chunk->offset, chunk->size);
  return parseXml(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
}

StatedRates statedRatesOf(const BWFParser& parser, const XmlDocument* ixml) {
  TimecodeFacts facts;
  facts.description = parser.description();
  const XmlDocument read = ixml ? XmlDocument() : ixmlOf(parser);
  if (!ixml) ixml = &read;
  if (ixml->wellFormed) facts.ixml = ixml;
  return statedRates(facts);
}

size_t countOf(const Findings& findings, Severity severity) {
  return static_cast<size_t>(std::count_if(
      findings.begin(), findings.end(), [&](const Finding& f) { return f.severity == severity; }));
}

bool checkFile(const std::string& path, unsigned ruleSets, Findings& out, std::string& error,
               bool listed) {
  // The structure and the INFO list are read while the scan has the file open, mostly from the
  // blocks it read already.
  Findings found;
  std::vector<InfoEntry> info;
  const std::unique_ptr<BWFParser> parser = BWFParser::openAndParse(
      path, 25.0f, error,
      [&](const ChunkReader& read, uint64_t fileSize, const ChunkChain& chain) {
        checkStructure(chain, read, fileSize, found);
        if (chain.container != Container::kNone) info = readInfoEntries(read, fileSize, chain);
      },
      listed);
  if (!parser) return false;
  const ChunkChain& chain = parser->chunkChain();
  if (chain.container != Container::kNone) {
    checkDirectory(chain, chunkDirectory(*parser), found);

    // The bext chunk the fields come from: the chain's, or where the chain broke before one,
    // the one the scan found.
    const std::optional<BextRecord>& bext = parser->bextRecord();
    if (bext) checkBext(*bext, ruleSets, found);

    checkInfo(info, bext ? &*bext : nullptr, ruleSets, found);

    const XmlDocument ixml = ixmlOf(*parser);
    const ChainChunk* ixmlChunk = chain.first(chunkid::kIXML);
    if (ixmlChunk) {
      if (ixmlChunk->size > kLargestText || ixml.capped) {
        found.push_back(
            {"ixml-too-large", Severity::kWarning, ixmlChunk->offset,
             "The 'iXML' chunk at " + std::to_string(ixmlChunk->offset) + " holds " +
                 (ixml.capped ? ixml.error
                              : "more than " + std::to_string(kLargestText >> 20) + " MiB") +
                 ", more than an iXML document holds; it is read no further."});
      } else if (!ixml.wellFormed) {
        found.push_back({"ixml-not-well-formed", Severity::kError,
                         ixmlChunk->offset + kChunkHeader + ixml.byte,
                         "The 'iXML' chunk at " + std::to_string(ixmlChunk->offset) +
                             " is not well-formed XML (" + ixml.error + " at line " +
                             std::to_string(ixml.line) + ", column " + std::to_string(ixml.column) +
                             "): applications that read it take nothing from it."});
      }
    }

    if (ixml.wellFormed) {
      checkIxmlAgainstFile(ixml, ixmlChunk->offset + kChunkHeader, *parser, found);
    }
    if (bext && bext->timeReference) {
      TimecodeFacts facts;
      facts.timeReference = *bext->timeReference;
      facts.timeReferenceOffset = bext->fileOffset(BextField::kTimeReference);
      facts.sampleRate = timeReferenceRate(*parser);
      facts.description = parser->description();
      if (ixml.wellFormed) {
        facts.ixml = &ixml;
        facts.ixmlOffset = ixmlChunk->offset + kChunkHeader;
      }
      checkTimecode(facts, found);
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
  out.insert(out.end(), found.begin(), found.end());
  return true;
}

}  // namespace bextkit::check
