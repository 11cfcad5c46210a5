// Large files for the benchmarks that read or copy a whole file.
#pragma once

#include <cstdint>
#include <string>

namespace bextkit::bench {

// A stereo 48 kHz file of `bits` bits (16 or 24) without bext, written in blocks, holding
// `audioBytes` of noise in which every MiB is numbered. Empty on success, else why not.
std::string writeLargeWave(const std::string& path, uint64_t audioBytes, uint16_t bits = 16);

}  // namespace bextkit::bench
