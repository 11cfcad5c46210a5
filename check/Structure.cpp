#include "check/Structure.h"

#include <algorithm>
#include <array>
#include <string>

#include "bwf/ByteOrder.h"

namespace bextkit::check {

namespace {

constexpr uint64_t kChunkHeader = 8;
constexpr uint64_t kFormHeader = 12;
constexpr size_t kBlockAlignOffset = 12;  // in the fmt payload
constexpr size_t kFormatTagOffset = 0;

std::string quoted(FourCC id) {
  std::string text = id.str();
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  }
  return "'" + text + "'";
}

std::string number(uint64_t value) { return std::to_string(value); }

void checkFormSize(const ChunkChain& chain, const ChunkReader& read, uint64_t fileSize,
                   Findings& out) {
  std::array<uint8_t, 8> header{};
  read(0, header.data(), header.size());
  uint64_t declared =
      chain.bigEndianSizes() ? loadBE32(header.data(), 4) : loadLE32(header.data(), 4);
  std::string where = "The form header";
  if (chain.has64BitSizes() && declared == 0xFFFFFFFFu) {
    const ChainChunk* ds64 = chain.first(chunkid::kDs64);
    std::array<uint8_t, 8> size{};
    if (!ds64 || ds64->offset != kFormHeader || ds64->size < 8 ||
        read(ds64->offset + kChunkHeader, size.data(), size.size()) != size.size()) {
      out.push_back({"ds64-missing", Severity::kError, kFormHeader,
                     "The " + std::string(containerName(chain.container)) +
                         " form keeps its sizes in a ds64 chunk, but none follows the header."});
      return;
    }
    declared = loadLE64(size.data(), 0);
    where = "The ds64 chunk";
  }
  const uint64_t actual = fileSize - kChunkHeader;
  if (declared > actual) {
    out.push_back({"riff-size", Severity::kError, 4,
                   where + " declares " + number(declared) + " bytes after the first 8, but the " +
                       "file holds " + number(actual) +
                       ": it was cut short, or the size was never updated."});
  } else if (declared < actual) {
    out.push_back({"riff-size", Severity::kWarning, 4,
                   where + " declares " + number(declared) + " bytes after the first 8, but the " +
                       "file holds " + number(actual) + ": " + number(actual - declared) +
                       " bytes at the end lie outside the form, and many readers ignore them."});
  }
}

// Odd-sized chunks whose writer left out the pad byte: the chain found the next chunk right
// after the payload, where readers that step over the pad miss it.
void checkPadBytes(const ChunkChain& chain, uint64_t fileSize, Findings& out) {
  for (const ChainChunk& c : chain.chunks) {
    const uint64_t end = c.offset + kChunkHeader + c.size;
    const auto name = [&] {  // only for a finding: most chunks give none
      return "The " + quoted(c.id) + " chunk at " + number(c.offset) + " has an odd size (" +
             number(c.size) + ")";
    };
    if (c.padMissing) {
      out.push_back({"pad-byte-missing", Severity::kError, end,
                     name() + " and no pad byte after it: the next chunk starts at " + number(end) +
                         ", one byte early, and readers that step over the pad lose it and "
                         "every chunk after it."});
    } else if (&c == &chain.chunks.back() && (c.size & 1) && !c.truncated && !chain.broken &&
               end == fileSize) {
      out.push_back({"pad-byte-missing", Severity::kWarning, end,
                     name() + " and the file ends without the pad byte that should follow it."});
    }
  }
}

void checkOnce(const ChunkChain& chain, Findings& out) {
  static constexpr std::array<FourCC, 5> kOnce = {chunkid::kBext, chunkid::kFmt, chunkid::kData,
                                                  chunkid::kDs64, FourCC("MD5 ")};
  for (const FourCC id : kOnce) {
    const ChainChunk* first = chain.first(id);
    for (const ChainChunk& c : chain.chunks) {
      if (c.id != id || &c == first) continue;
      out.push_back({"duplicate-chunk", Severity::kError, c.offset,
                     "A second " + quoted(id) + " chunk starts at " + number(c.offset) +
                         " (the first is at " + number(first->offset) +
                         "): a file may hold one, and readers differ on which they take."});
    }
  }
}

void checkOrder(const ChunkChain& chain, const ChunkReader& read, Findings& out) {
  const ChainChunk* fmt = chain.first(chunkid::kFmt);
  const ChainChunk* data = chain.first(chunkid::kData);
  const ChainChunk* bext = chain.first(chunkid::kBext);
  if (chain.complete()) {
    if (!fmt) {
      out.push_back({"fmt-missing", Severity::kError, kFormHeader,
                     "The file has no 'fmt ' chunk: nothing says how to play its audio."});
    }
    if (!data) {
      out.push_back({"data-missing", Severity::kError, kFormHeader,
                     "The file has no 'data' chunk: it holds no audio."});
    }
  }
  if (fmt && data && data->offset < fmt->offset) {
    out.push_back({"data-before-fmt", Severity::kError, data->offset,
                   "The 'data' chunk at " + number(data->offset) + " comes before the 'fmt ' " +
                       "chunk at " + number(fmt->offset) +
                       ": a reader that plays as it reads does not yet know the format."});
  }
  if (bext && data && bext->offset > data->offset) {
    out.push_back({"bext-after-data", Severity::kNote, bext->offset,
                   "The 'bext' chunk at " + number(bext->offset) + " follows the audio: " +
                       "many players and some editors stop reading at the 'data' chunk and "
                       "never see it."});
  }
  if (!fmt || !data || fmt->size < kBlockAlignOffset + 2) return;
  std::array<uint8_t, kBlockAlignOffset + 2> format{};
  if (read(fmt->offset + kChunkHeader, format.data(), format.size()) != format.size()) return;
  const bool big = chain.bigEndianSizes();
  const uint16_t tag =
      big ? loadBE16(format.data(), kFormatTagOffset) : loadLE16(format.data(), kFormatTagOffset);
  const uint16_t blockAlign =
      big ? loadBE16(format.data(), kBlockAlignOffset) : loadLE16(format.data(), kBlockAlignOffset);
  // Integer and float PCM, A-law, mu-law, and the extensible form whose sub-format names them:
  // formats whose data is a whole number of fixed-size sample frames.
  const bool framed = tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE;
  if (framed && blockAlign != 0 && !data->truncated && data->size % blockAlign != 0) {
    out.push_back({"data-not-whole-frames", Severity::kWarning, data->offset,
                   "The 'data' chunk holds " + number(data->size) + " bytes, which is not a " +
                       "whole number of " + number(blockAlign) + "-byte sample frames: the " +
                       "last " + number(data->size % blockAlign) + " bytes are part of a frame."});
  }
}

}  // namespace

void checkStructure(const ChunkChain& chain, const ChunkReader& read, uint64_t fileSize,
                    Findings& out) {
  if (chain.container == Container::kNone) {
    out.push_back({"no-wave-header", Severity::kError, 0,
                   "The file does not begin with a RIFF, RF64, BW64, RIFX or FFIR header of "
                   "form WAVE, so it is no WAV file."});
    return;
  }
  checkFormSize(chain, read, fileSize, out);
  for (const ChainChunk& c : chain.chunks) {
    if (!c.truncated) continue;
    out.push_back({"chunk-truncated", Severity::kError, c.offset,
                   "The " + quoted(c.id) + " chunk at " + number(c.offset) + " declares " +
                       number(c.size) + " bytes, but the file ends after " +
                       number(fileSize - c.offset - std::min(fileSize - c.offset, kChunkHeader)) +
                       " of them."});
  }
  checkPadBytes(chain, fileSize, out);
  if (chain.capped) {
    out.push_back({"too-many-chunks", Severity::kWarning, chain.brokenAt,
                   "The file holds more than " + number(ChunkChain::kMostChunks) +
                       " chunks; they are followed to " + number(chain.brokenAt) +
                       " and the rest is not checked."});
  } else if (chain.broken) {
    out.push_back({"chain-broken", Severity::kError, chain.brokenAt,
                   "The bytes at " + number(chain.brokenAt) + " are no chunk header, so the " +
                       "chunks after them cannot be found by their sizes."});
  }
  checkOnce(chain, out);
  checkOrder(chain, read, out);
}

void checkDirectory(const ChunkChain& chain, const std::vector<DirectoryEntry>& directory,
                    Findings& out) {
  for (const DirectoryEntry& entry : directory) {
    if (entry.id.size() != 4 || entry.id == "RIFF" || entry.id == "WAVE") continue;
    if (chain.capped && entry.start >= chain.brokenAt) continue;  // where the walk did not go
    const FourCC id = FourCC::fromBytes(reinterpret_cast<const uint8_t*>(entry.id.data()));
    const auto same = [&](const ChainChunk& c) { return c.id == id && c.offset == entry.start; };
    if (std::any_of(chain.chunks.begin(), chain.chunks.end(), same)) continue;
    const auto around = std::find_if(chain.chunks.begin(), chain.chunks.end(), [&](const auto& c) {
      return entry.start > c.offset && entry.start - c.offset < kChunkHeader + c.size;
    });
    std::string text = "The scan lists " + quoted(id) + " at " + number(entry.start) +
                       " as a chunk, but no chunk starts there";
    text += around == chain.chunks.end() ? ": the chain of chunks does not reach it."
                                         : ": the word lies inside the " + quoted(around->id) +
                                               " chunk at " + number(around->offset) +
                                               ", and readers that search for it may take it "
                                               "for a chunk.";
    out.push_back({"directory-not-chain", Severity::kNote, entry.start, text});
  }
}

}  // namespace bextkit::check
