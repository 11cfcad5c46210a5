// Fuzz target: any bytes as the text of an iXML chunk, read by the conformance check's XML
// reader. A document is either read to its end (well-formed or not) or stopped at a limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bwf/Xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bextkit::XmlDocument document =
      bextkit::parseXml(std::string_view(reinterpret_cast<const char*>(data), size));
  if (document.capped && document.wellFormed) std::abort();
  if (document.leafList.size() > bextkit::kMostXmlElements) std::abort();
  return 0;
}
