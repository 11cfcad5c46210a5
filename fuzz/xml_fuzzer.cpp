// Fuzz target: any bytes as the text of an iXML chunk, read by the conformance check's XML
// reader. A document is either read to its end (well-formed or not) or stopped at a limit; and
// whatever the quick reader takes, it reads as expat does, leaf by leaf.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bwf/Xml.h"

namespace {

bool sameLeaves(const bextkit::XmlDocument& a, const bextkit::XmlDocument& b) {
  if (a.wellFormed != b.wellFormed || a.capped != b.capped ||
      a.leafList.size() != b.leafList.size()) {
    return false;
  }
  for (size_t i = 0; i < a.leafList.size(); ++i) {
    const bextkit::XmlLeaf &x = a.leafList[i], &y = b.leafList[i];
    if (x.path != y.path || x.text != y.text || x.begin != y.begin || x.end != y.end ||
        x.emptyTag != y.emptyTag || x.parent != y.parent) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bextkit::XmlDocument document = bextkit::parseXml(text);
  if (document.capped && document.wellFormed) std::abort();
  if (document.leafList.size() > bextkit::kMostXmlElements) std::abort();
  if (const auto plain = bextkit::detail::readPlainXml(text);
      plain && !sameLeaves(*plain, bextkit::detail::readXmlWithExpat(text))) {
    std::abort();
  }
  return 0;
}
