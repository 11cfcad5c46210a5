// Writing the broadcast extension chunk back into the file. Not built yet: saving reports that.
#include "bwf/BWFParser.h"

namespace bextkit {

std::vector<uint8_t> BWFParser::getBWFChunkData() const { return {}; }

bool BWFParser::writeBExtHeaderToFile(const std::string& /*path*/) {
  lastError_ = "saving is not implemented yet";
  return false;
}

}  // namespace bextkit
