// Large RIFF/WAVE files for the reliability tests and the write benchmarks: the RIFF header, a
// 16-bit stereo 48 kHz format chunk and a data chunk of the requested size, without a bext
// chunk. The data is not real audio but noise that differs from block to block, so that a block
// moved to the wrong place shows; it is written in blocks, so memory stays small.
#pragma once

#include <cstdint>
#include <string>

namespace bextkit::reliability {

// Offset of the data chunk's first byte in such a file.
constexpr uint64_t kLargeWaveHeaderSize = 44;

// Writes the file; empty on success, else why it could not.
std::string writeLargeWave(const std::string& path, uint64_t audioBytes);

}  // namespace bextkit::reliability
