#include "bwf/BWFChunk.h"

#include <cstring>

namespace bextkit {

std::string BWFChunk::text(Field field) const {
  const auto* first = reinterpret_cast<const char*>(bytes.data() + field.offset);
  const void* nul = std::memchr(first, 0, field.width);
  return std::string(first, nul ? static_cast<const char*>(nul) - first : field.width);
}

}  // namespace bextkit
