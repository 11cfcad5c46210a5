// What building the record a save writes and the save itself both need: the extent of the
// fields before the coding history, the time reference as one field, and the words that end a
// refusal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bwf/BWFChunk.h"
#include "bwf/ChunkChain.h"

namespace bextkit::detail {

// The fields before the coding history: the record up to it, and the payload's share of them.
inline constexpr size_t kFixedRecord = BWFChunk::kCodingHistory.offset;          // 610
inline constexpr uint64_t kFixedPayload = kFixedRecord - BWFChunk::kHeaderSize;  // 602
// Both halves of the time reference, written together.
inline constexpr BWFChunk::Field kTimeReference{BWFChunk::kTimeReferenceLow.offset, 8};
inline constexpr const char* kNothingWritten = "; nothing was written";

// Writing into a chunk cut off by the end of the file would make the file longer than its
// chunk sizes say.
inline std::string truncatedReason(const ChainChunk& chunk) {
  return "the " + chunk.id.str() + " chunk declares " + std::to_string(chunk.size) +
         " bytes and runs past the end of the file";
}

}  // namespace bextkit::detail
