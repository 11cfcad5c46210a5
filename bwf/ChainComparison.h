// Comparing a file's chunk chain before and after a save. A save changes one run of chunks (the
// bext chunk, and the filler it grows into or the JUNK reserve it leaves behind); every other
// chunk must come out with the same ID, size, form type and pad as before, in the same order, and
// (the audio aside, whose copy --verify-audio checks) with the same bytes. The comparison reads
// chunk headers and metadata only, so it is cheap enough to run before every save is accepted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bwf/ChunkChain.h"

namespace bextkit {

// What a save does to the chain: the chunks [at, at + removed) of the original give way to
// `added`, each an ID and payload size; the chunks after them may move, all by the same amount.
struct ChainEdit {
  size_t at = 0;
  size_t removed = 0;
  std::vector<std::pair<FourCC, uint64_t>> added;
};

// Empty when `after` (the saved file, `afterSize` bytes) is `before` (the original,
// `beforeSize` bytes) with `edit` applied, and the bytes of every kept chunk but 'data' are
// equal; the ds64 chunk's RIFF size (its first 8 payload bytes) may differ. Otherwise the first
// difference, as a sentence.
std::string compareChains(const ChunkChain& before, const ChunkReader& readBefore,
                          uint64_t beforeSize, const ChunkChain& after,
                          const ChunkReader& readAfter, uint64_t afterSize, const ChainEdit& edit);

}  // namespace bextkit
