// Checks of the time reference a file claims: that it lies within one day, that it falls on a
// frame boundary at the frame rate the file states (in its iXML or in the "sSPEED=" and
// "zSPEED=" lines recorders put in the description) or, where it states none, at some common
// rate, and that the iXML's copy of it agrees with the bext chunk's.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "bwf/Xml.h"
#include "check/Finding.h"
#include "timecode/Smpte.h"

namespace bextkit::check {

struct TimecodeFacts {
  uint64_t timeReference = 0;        // the bext chunk's, in samples since midnight
  uint64_t timeReferenceOffset = 0;  // the file offset of the bext chunk's TimeReference
  uint32_t sampleRate = 0;           // 0: the file has no linear audio format
  std::string_view description;
  // The iXML leaf texts by path (null without iXML) and the iXML payload's file offset.
  const XmlDocument* ixml = nullptr;
  uint64_t ixmlOffset = 0;
};

// The rates a file states: the iXML's TIMECODE_RATE with TIMECODE_FLAG, and the description's
// speed line; each none where it states none or one this tool does not know.
struct StatedRates {
  std::optional<smpte::Rate> ixml, description;
};
StatedRates statedRates(const TimecodeFacts& facts);
// The rate a file states: iXML's, else the description's.
std::optional<smpte::Rate> statedRate(const TimecodeFacts& facts);

// The rate a file's timecode is counted at when none is asked for: iXML's, else the
// description's, else none (a default). `source` says which ("iXML", "description", "default");
// `note` names both where they differ.
struct RateChoice {
  std::optional<smpte::Rate> rate;
  const char* source = "default";
  std::string note;
};
RateChoice chooseRate(const StatedRates& stated);

// Whether `sample` lies within a sample of the exact start of a frame at `rate`. Recorders round
// a frame's start to a whole sample either way, so both neighbours of a fractional start count.
bool onFrameBoundary(const smpte::Rate& rate, uint64_t sample, uint32_t sampleRate);

void checkTimecode(const TimecodeFacts& facts, Findings& out);

}  // namespace bextkit::check
