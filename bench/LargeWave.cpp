#include "LargeWave.h"

#include <algorithm>
#include <fstream>
#include <random>

#include "Support.h"

namespace bextkit::bench {

using testsupport::Bytes;
using testsupport::RiffBuilder;

std::string writeLargeWave(const std::string& path, uint64_t audioBytes, uint16_t bits) {
  if (audioBytes % (bits / 4) || audioBytes > UINT32_MAX - 36) {
    return "the data does not fit a RIFF file of whole frames";
  }
  Bytes block = RiffBuilder()
                    .chunkDeclaring("RIFF", uint32_t(audioBytes + 36), {})
                    .id("WAVE")
                    .fmt(1, 2, 48000, bits)
                    .chunkDeclaring("data", uint32_t(audioBytes), {})
                    .bytes();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size()));
  std::mt19937 noise(20240506);
  block.resize(1 << 20);
  for (uint8_t& b : block) b = uint8_t(noise());
  for (uint64_t done = 0; out && done < audioBytes; done += block.size()) {
    for (size_t page = 0; page < block.size(); page += 4096) block[page] = uint8_t(done >> 20);
    out.write(reinterpret_cast<const char*>(block.data()),
              std::streamsize(std::min<uint64_t>(block.size(), audioBytes - done)));
  }
  out.close();
  return out ? "" : "cannot write " + path;
}

}  // namespace bextkit::bench
