// The structure of a WAVE file as its chunk chain shows it: the form header and its size, chunks
// cut off by the end of the file, missing pad bytes, chunks that may appear once, their order,
// the audio's length in whole sample frames, and where the scan's directory lists a chunk that
// the chain does not hold.
#pragma once

#include <cstdint>
#include <vector>

#include "bwf/BWFParser.h"
#include "bwf/ChunkChain.h"
#include "check/Finding.h"

namespace bextkit::check {

// Appends the findings about the chain of a file of `fileSize` bytes read through `read`.
void checkStructure(const ChunkChain& chain, const ChunkReader& read, uint64_t fileSize,
                    Findings& out);

// Appends a note for each entry of the scan's directory that starts no chunk of the chain:
// the scan found the chunk's ID in the bytes of another chunk (a word in a text, say).
void checkDirectory(const ChunkChain& chain, const std::vector<DirectoryEntry>& directory,
                    Findings& out);

}  // namespace bextkit::check
