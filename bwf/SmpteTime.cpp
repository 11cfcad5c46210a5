#include "bwf/SmpteTime.h"

namespace bextkit {

uint64_t timeReference(const BWFParser& parser) {
  return (uint64_t{parser.getSamplesSinceMidnightHigh()} << 32) |
         parser.getSamplesSinceMidnightLow();
}

uint32_t timeReferenceRate(const BWFParser& parser) {
  return parser.audioFormat() ? parser.audioFormat()->sampleRate : 0;
}

std::optional<smpte::Position> smptePosition(const BWFParser& parser, const smpte::Rate& rate) {
  const uint32_t sampleRate = timeReferenceRate(parser);
  if (!(parser.chunkFlags() & kBWFFlagBext) || sampleRate == 0) return std::nullopt;
  return smpte::positionOfSample(rate, timeReference(parser), sampleRate);
}

void setSmpteTimecode(BWFParser& parser, const smpte::Rate& rate, const smpte::Label& label) {
  parser.setTimeCodeHH(static_cast<int32_t>(label.hours), static_cast<int32_t>(label.minutes),
                       static_cast<int32_t>(label.seconds), static_cast<int32_t>(label.frames), 0);
  if (const uint32_t sampleRate = timeReferenceRate(parser); sampleRate != 0) {
    parser.setTimeReference(
        smpte::frameStart(rate, smpte::framesFromLabel(rate, label), sampleRate));
  }
}

}  // namespace bextkit
