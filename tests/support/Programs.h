// Large RIFF/WAVE files and child processes, for the tests and benchmarks that run real programs
// (bextkit itself and its peers).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bextkit::testsupport {

// A large file: the RIFF header, a 16-bit stereo 48 kHz format chunk and a data chunk of the
// requested size, without a bext chunk. The data is not real audio but noise that differs from
// block to block, so that a block moved to the wrong place shows; it is written in blocks, so
// memory stays small.

// Offset of the data chunk's first byte in such a file.
constexpr uint64_t kLargeWaveHeaderSize = 44;

// Writes the file; empty on success, else why it could not.
std::string writeLargeWave(const std::string& path, uint64_t audioBytes);

// Starts the program (a path, or a name looked up on PATH) with these arguments, standard input
// from /dev/null and standard output and error into the file at `output` (truncated). The
// child's id, or -1 when it could not be started.
pid_t spawnProgram(const std::vector<std::string>& argv, const std::string& output);

struct ProcessResult {
  int exitStatus;      // the program's exit status, or -1 when it could not be run
  std::string output;  // standard output and standard error, interleaved
};

// Runs the program to its end and collects its output.
ProcessResult runProcess(const std::vector<std::string>& argv);

}  // namespace bextkit::testsupport
