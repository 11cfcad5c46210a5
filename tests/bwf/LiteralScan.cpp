#include "LiteralScan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace bextkit::testsupport {

namespace {

enum class Length { kSet, kAdd };
struct Row {
  const char* id;
  uint16_t flag;
  const char* message;
  Length length;
};
// Rows whose advance is the chunk size; RIFF, fmt, data and adtl are handled apart.
constexpr Row kSizedRows[] = {{"WAVE", 0, nullptr, Length::kSet},
                              {"bext", 0x8000, nullptr, Length::kSet},
                              {"iXML", 0x0800, "iXML Chunk\n", Length::kAdd},
                              {"slnt", 0, "***SilenceID\n", Length::kSet},
                              {"cue ", 0, "***CueID\n", Length::kSet},
                              {"JUNK", 0, nullptr, Length::kSet},
                              {"aton", 0, nullptr, Length::kSet},
                              {"fact", 0, nullptr, Length::kSet},
                              {"file", 0, nullptr, Length::kSet},
                              {"fill", 0, nullptr, Length::kSet},
                              {"film", 0, nullptr, Length::kSet},
                              {"labl", 0, nullptr, Length::kSet},
                              {"ltxt", 0, nullptr, Length::kSet},
                              {"minf", 0, nullptr, Length::kSet},
                              {"note", 0, nullptr, Length::kSet},
                              {"omfi", 0, nullptr, Length::kSet},
                              {"plst", 0, nullptr, Length::kSet},
                              {"umid", 0, nullptr, Length::kSet},
                              {"wavl", 0, nullptr, Length::kSet},
                              {"zfil", 0, nullptr, Length::kSet}};

struct File {
  const std::vector<uint8_t>& bytes;
  // The byte at `offset`, zero beyond the end.
  uint8_t at(uint64_t offset) const { return offset < bytes.size() ? bytes[offset] : 0; }
  uint64_t number(uint64_t offset, int width, bool bigEndian) const {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
      value |= uint64_t{at(offset + i)} << shift;
    }
    return value;
  }
};

std::string entry(int index, uint32_t start, int64_t length) {
  char text[100];
  std::snprintf(text, sizeof text, "Idx: %d StartPoint: %d Length: %lld", index,
                static_cast<int>(static_cast<int32_t>(start)), static_cast<long long>(length));
  return text;
}

// Bytes of `record` from `offset` up to the first NUL within `width`.
std::string text(const std::array<uint8_t, 864>& record, size_t offset, size_t width) {
  std::string out;
  for (size_t i = offset; i < offset + width && record[i] != 0; ++i) out.push_back(record[i]);
  return out;
}

void derive(LiteralScanResult& r, float fps) {
  const uint32_t perHour = r.sampleRate * 3600u;
  if (perHour == 0) return;
  double t = double(r.timeReferenceLow) / double(perHour);
  uint32_t hours = uint32_t(std::floor(t));
  t = (t - std::floor(t)) * 60;
  uint32_t minutes = uint32_t(std::floor(t));
  t = (t - std::floor(t)) * 60;
  uint32_t seconds = uint32_t(std::floor(t));
  const long frames = std::lround((t - std::floor(t)) * double(fps));
  uint32_t shownFrames = uint32_t(frames);
  if (float(frames) == fps) {
    shownFrames = 0;
    seconds += 1;
    if (seconds == 60) minutes += 1, seconds = 0;
    if (minutes == 60) hours += 1, minutes = 0;
  }
  char out[64];
  std::snprintf(out, sizeof out, "%02u:%02u:%02u:%02u", hours, minutes, seconds, shownFrames);
  r.timecode = out;
  r.ticks = int32_t(r.timeReferenceLow % r.sampleRate);
}

}  // namespace

LiteralScanResult literalScan(const std::vector<uint8_t>& bytes, float fps) {
  LiteralScanResult r;
  const File file{bytes};
  const bool reversed = bytes.size() >= 4 && std::memcmp(bytes.data(), "FFIR", 4) == 0;
  const uint32_t fileLength = uint32_t(bytes.size());

  uint32_t position = 0;
  std::string lastId;  // empty: none yet
  uint32_t chunkStart = 0;
  int64_t length = 0;
  int8_t counter = 0;
  bool stop = false;
  uint32_t windowAt = 0;
  do {
    ++r.steps;
    windowAt = position;  // each step reads the window here; the last one is kept
    char id[4];
    for (int i = 0; i < 4; ++i) id[i] = char(file.at(position + (reversed ? 3 - i : i)));
    const auto is = [&id](const char* name) { return std::memcmp(id, name, 4) == 0; };
    const auto sized = std::find_if(std::begin(kSizedRows), std::end(kSizedRows),
                                    [&](const Row& row) { return is(row.id); });
    const bool listed =
        sized != std::end(kSizedRows) || is("RIFF") || is("fmt ") || is("data") || is("adtl");
    if (!listed) {
      position += 1;
      length += 1;
      continue;
    }
    ++r.listedChunks;
    if (!lastId.empty()) {
      counter = int8_t(uint8_t(counter) + 1);
      r.directory[lastId] = entry(counter, chunkStart, length);
      length = 0;
    }
    lastId.assign(id, 4);
    chunkStart = position;
    const uint32_t size = uint32_t(file.number(position + 4, 4, reversed));
    uint64_t advance = size;
    if (is("RIFF")) {
      r.flags |= 0x0001;
      r.messages.push_back("***Have RIFF\n");
      advance = 12;
      length = 12;
    } else if (is("fmt ")) {
      r.flags |= 0x0004;
      const uint64_t tag = file.number(position + 8, 2, reversed);
      const uint64_t sub = file.number(position + 32, 2, reversed);
      if (tag == 1) r.messages.push_back("***WAVE_FORMAT_PCM\n");
      if (tag == 7) r.messages.push_back("***WAVE_FORMAT_MULAW\n");
      if (tag == 7 || tag == 257) r.messages.push_back("***IBM_FORMAT_MULAW\n");
      if (tag == 1 || tag == 3 || (tag == 0xFFFE && (sub == 1 || sub == 3))) {
        const uint64_t channels = file.number(position + 10, 2, reversed);
        const uint64_t bits = file.number(position + 22, 2, reversed);
        r.channels = reversed ? int32_t(channels) : int32_t(int16_t(uint16_t(channels)));
        r.bitsPerSample = reversed ? int32_t(bits) : int32_t(int16_t(uint16_t(bits)));
        r.sampleRate = uint32_t(file.number(position + 12, 4, reversed));
        if (r.sampleRate == 30464) r.sampleRate = 96000;
      }
      advance = (tag == 7 || tag == 257) ? 26 : 24;
      length += int64_t(advance);
    } else if (is("data")) {
      r.flags |= 0x4000;
      advance = uint64_t{size} + 8;
      length += int64_t(advance);
    } else if (is("adtl")) {
      advance = 32;
      length += 32;
    } else {
      if (is("bext") && !(r.flags & 0x8000)) {
        std::array<uint8_t, 864> image{}, inside{};
        for (size_t i = 0; i < 864; ++i) {
          image[i] = file.at(position + i);
          inside[i] = i < 8 + uint64_t{size} ? image[i] : 0;
        }
        r.chunkImage = image;
        r.description = text(inside, 8, 256);
        r.originator = text(inside, 264, 32);
        r.originatorReference = text(inside, 296, 32);
        r.originationDate = text(inside, 328, 10);
        r.originationTime = text(inside, 338, 8);
        r.timeReferenceLow = uint32_t(inside[346] | inside[347] << 8 | inside[348] << 16 |
                                      uint32_t(inside[349]) << 24);
        r.timeReferenceHigh = uint32_t(inside[350] | inside[351] << 8 | inside[352] << 16 |
                                       uint32_t(inside[353]) << 24);
        const bool none =
            (inside[610] == 0 && inside[611] == 0) || (inside[610] == 0xFF && inside[611] == 0xFF);
        r.codingHistory = none ? "None" : text(inside, 610, 254);
      }
      r.flags |= sized->flag;
      if (sized->message) r.messages.push_back(sized->message);
      if (sized->length == Length::kSet) length = size;
      if (sized->length == Length::kAdd) length += size;
    }
    if (advance == 0) {
      advance = 1;
      length += 1;
    }
    if (position + advance >= (uint64_t{1} << 32)) stop = true;
    position = uint32_t(position + advance);
  } while (!stop && position < fileLength);

  const size_t windowBegin = std::min<uint64_t>(windowAt, bytes.size());
  const size_t windowEnd = std::min<uint64_t>(uint64_t{windowAt} + 512, bytes.size());
  r.window.assign(bytes.begin() + windowBegin, bytes.begin() + windowEnd);
  r.directory[lastId] = entry(int8_t(uint8_t(counter) + 1), chunkStart, length);
  if ((r.flags & 0x8000) && (r.flags & 0x0004)) derive(r, fps);
  return r;
}

}  // namespace bextkit::testsupport
