// The frame rate a file's timecode is counted at: the one given with --rate, else the one the
// file states (its iXML, else a recorder's speed line in the description), else 25; and where
// it came from, for people and for JSON.
#pragma once

#include <optional>
#include <string>

#include "bwf/BWFParser.h"
#include "bwf/Xml.h"
#include "cli/Arguments.h"

namespace bextkit::cli {

struct FileRate {
  FrameRate rate;
  const char* source = "default";  // "option", "iXML", "description" or "default"
  // Where iXML and the description state different rates: a note naming both (iXML's is used).
  std::string note;
};

// `option` is the rate given with --rate (none when not given); `classic` counts with the
// system's own arithmetic. The parser's own timecode is counted at the chosen rate. `ixml`, the
// file's iXML document where the caller read it already, spares a second reading.
FileRate rateOfFile(const std::optional<FrameRate>& option, bool classic, BWFParser& parser,
                    const XmlDocument* ixml = nullptr);

// "at 29.97 drop-frame, stated in iXML", "at 25 fps (no rate stated; --rate to choose)".
std::string rateSourceText(const FileRate& rate);

}  // namespace bextkit::cli
