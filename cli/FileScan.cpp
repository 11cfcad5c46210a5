#include "cli/FileScan.h"

#include "bwf/SmpteTime.h"

namespace bextkit::cli {

std::optional<SmpteTime> smpteTime(const BWFParser& p, const smpte::Rate& rate) {
  const std::optional<smpte::Position> at = smptePosition(p, rate);
  if (!at) return std::nullopt;
  const smpte::Label label = smpte::labelFromFrames(rate, at->frame);
  return SmpteTime{*at, smpte::format(rate, label), label.hours >= 24};
}

}  // namespace bextkit::cli
