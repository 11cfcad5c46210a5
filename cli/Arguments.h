// Strict parsing of the numbers and texts that the commands take. Each reader reports a one-line
// error naming the argument and returns nullopt when the text is not acceptable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "timecode/Smpte.h"

namespace bextkit::cli {

// A frame rate in frames per second, 0.5 to 10000 ("25", "29.97", "23.976").
std::optional<float> parseFrameRate(const std::string& name, const std::string& text,
                                    std::string& error);

// The rate a command counts frames at: an SMPTE rate, or under --classic any rate that the
// system's own arithmetic takes (then `smpte` is empty). `fps` is the rate as that arithmetic
// takes it (29.97 for 29.97, 29.97nd and 30000/1001).
struct FrameRate {
  std::optional<smpte::Rate> smpte;
  float fps = 25.0f;
};
std::optional<FrameRate> parseRate(const std::string& name, const std::string& text, bool classic,
                                   std::string& error);
// An SMPTE rate as a command counts at it.
FrameRate frameRateOf(const smpte::Rate& rate);
// The rate a file that states none is counted at: 25.
smpte::Rate defaultRate();
// A rate as its shortest decimal reads back to the same float: "29.97", "12.5", "25".
std::string shortestText(float fps);
// The rates that parseRate takes without --classic, for help texts and errors.
extern const char* const kRateList;
// A whole number in the signed 32-bit range.
std::optional<int32_t> parseInt32(const std::string& name, const std::string& text,
                                  std::string& error);
// Frames per foot: a whole number of at least 1.
std::optional<int32_t> parseFramesPerFoot(const std::string& name, const std::string& text,
                                          std::string& error);
// A timecode of one to four fields separated by ':' or ';' ("01:00:00:00", "01:00:00;00"),
// rewritten with the separator that the rate reads: ';' at a non-integral rate, ':' otherwise.
std::optional<std::string> parseTimeCode(const std::string& name, const std::string& text,
                                         float fps, std::string& error);

}  // namespace bextkit::cli
