#include "cli/FileRate.h"

#include "check/Conformance.h"

namespace bextkit::cli {

FileRate rateOfFile(const std::optional<FrameRate>& option, bool classic, BWFParser& parser,
                    const XmlDocument* ixml) {
  FileRate chosen;
  if (option) {
    chosen.rate = *option;
    chosen.source = "option";
  } else {
    const check::RateChoice choice = check::chooseRate(check::statedRatesOf(parser, ixml));
    chosen.rate = frameRateOf(choice.rate ? *choice.rate : defaultRate());
    if (classic) chosen.rate.smpte.reset();
    chosen.source = choice.source;
    chosen.note = choice.note;
  }
  float counted = 0;
  parser.getfps(&counted);
  if (counted != chosen.rate.fps) parser.countFramesAt(chosen.rate.fps);
  return chosen;
}

std::string rateSourceText(const FileRate& rate) {
  // The system's arithmetic counts at any rate: "12.5 fps".
  const std::string words =
      rate.rate.smpte ? smpte::rateWords(*rate.rate.smpte) : shortestText(rate.rate.fps) + " fps";
  const std::string source = rate.source;
  if (source == "iXML") return "at " + words + ", stated in iXML";
  if (source == "description") return "at " + words + ", stated in the description";
  if (source == "default") return "at " + words + " (no rate stated; --rate to choose)";
  return "at " + words;
}

}  // namespace bextkit::cli
