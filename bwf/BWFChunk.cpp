#include "bwf/BWFChunk.h"

#include <algorithm>

namespace bextkit {

std::string BWFChunk::text(Field field) const {
  const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(field.offset);
  const auto last = first + static_cast<std::ptrdiff_t>(field.width);
  return std::string(first, std::find(first, last, uint8_t{0}));
}

}  // namespace bextkit
