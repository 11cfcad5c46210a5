// Reading one file as every part of bextkit that opens files reads it: the scan, and a refusal
// of what is no WAV file (an empty file, one that begins with no RIFF header), with the reason.
#pragma once

#include <memory>
#include <string>

#include "bwf/BWFParser.h"

namespace bextkit {

// Opens and scans one file; null with the reason in `error` when it cannot be read. `listed`:
// the path was just seen to name a regular file (BWFParser::openAndParse).
std::unique_ptr<BWFParser> scanFile(const std::string& path, float fps, std::string& error,
                                    const BWFParser::WhileOpen& whileOpen = {},
                                    bool listed = false);

}  // namespace bextkit
