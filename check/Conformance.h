// The conformance check of one file: its structure, the chosen rule sets' field rules, the
// iXML's form and the timecode, as findings in file order.
#pragma once

#include <memory>
#include <string>

#include "bwf/BWFParser.h"
#include "bwf/ChunkChain.h"
#include "bwf/Xml.h"
#include "check/BextRules.h"
#include "check/Finding.h"
#include "check/TimecodeRules.h"
#include "platform/FileHandle.h"

namespace bextkit::check {

// Checks the file at `path` under the rule sets `ruleSets` (RuleSet bits) and appends the
// findings to `out`, sorted by offset. False, with the reason in `error`, when the file cannot be
// read at all; a file that is no WAV file is read, and gives the finding that says so.
// The scan that lists the chunks reports through the system log as it always does.
// `listed`: the path was just seen to name a regular file (BWFParser::openAndParse).
bool checkFile(const std::string& path, unsigned ruleSets, Findings& out, std::string& error,
               bool listed = false);

// The entries of the file's LIST chunks of form INFO, in file order, each text up to its NUL.
std::vector<InfoEntry> readInfoEntries(const ChunkReader& read, uint64_t fileSize,
                                       const ChunkChain& chain);
// Scans a file (scanFile) and reads its INFO entries while the scan has it open, from the blocks
// it read; null, with the reason in `error`, when it cannot be read.
std::unique_ptr<BWFParser> scanWithInfo(const std::string& path, float fps,
                                        std::vector<InfoEntry>& info, std::string& error,
                                        bool listed = false);

// The iXML document of the file that `parser` scanned: its chain's first iXML chunk (none past
// 16 MiB, which the check reports unread).
XmlDocument ixmlOf(const BWFParser& parser);
// The frame rates that file states, in its iXML chunk (`ixml` where the caller read it already)
// and in its description's speed line.
StatedRates statedRatesOf(const BWFParser& parser, const XmlDocument* ixml = nullptr);

// How many findings of `severity` there are.
size_t countOf(const Findings& findings, Severity severity);

}  // namespace bextkit::check
