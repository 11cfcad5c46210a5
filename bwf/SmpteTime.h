// A parser's time reference as SMPTE timecode counts it, and an SMPTE timecode set as the sample
// at which its frame begins: what the command line, scripts and the window show and write.
#pragma once

#include <cstdint>
#include <optional>

#include "bwf/BWFParser.h"
#include "timecode/Smpte.h"

namespace bextkit {

// Both halves of the time reference: samples since midnight.
uint64_t timeReference(const BWFParser& parser);
// The sample rate the time reference counts at: the one the "fmt " chunk states, whatever the
// coding; 0 without one.
uint32_t timeReferenceRate(const BWFParser& parser);
// The frame the time reference lies in, and the samples past that frame's start; nothing
// without a bext chunk and a sample rate.
std::optional<smpte::Position> smptePosition(const BWFParser& parser, const smpte::Rate& rate);
// Stores the label as the parser's timecode and, where the file states a sample rate, the
// sample at which the label's frame begins as the time reference a save writes (without one,
// the save refuses the edit with its reason).
void setSmpteTimecode(BWFParser& parser, const smpte::Rate& rate, const smpte::Label& label);

}  // namespace bextkit
