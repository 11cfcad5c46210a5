#include "bwf/SmpteTime.h"

namespace bextkit {

uint64_t timeReference(const BWFParser& parser) {
  return (uint64_t{parser.getSamplesSinceMidnightHigh()} << 32) |
         parser.getSamplesSinceMidnightLow();
}

std::optional<smpte::Position> smptePosition(const BWFParser& parser, const smpte::Rate& rate) {
  const uint16_t needed = kBWFFlagBext | kBWFFlagFmt;
  if ((parser.chunkFlags() & needed) != needed || parser.samplePerSeconds() == 0) {
    return std::nullopt;
  }
  return smpte::positionOfSample(rate, timeReference(parser), parser.samplePerSeconds());
}

void setSmpteTimecode(BWFParser& parser, const smpte::Rate& rate, const smpte::Label& label) {
  parser.setTimeCodeHH(static_cast<int32_t>(label.hours), static_cast<int32_t>(label.minutes),
                       static_cast<int32_t>(label.seconds), static_cast<int32_t>(label.frames), 0);
  if (parser.samplePerSeconds() != 0) {
    parser.setTimeReference(
        smpte::frameStart(rate, smpte::framesFromLabel(rate, label), parser.samplePerSeconds()));
  }
}

}  // namespace bextkit
