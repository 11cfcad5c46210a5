#include "cli/FileRate.h"

#include "check/Conformance.h"

namespace bextkit::cli {

FileRate rateOfFile(const std::optional<FrameRate>& option, bool classic, const std::string& path,
                    BWFParser& parser) {
  FileRate chosen;
  if (option) {
    chosen.rate = *option;
    chosen.source = "option";
  } else {
    const check::RateChoice choice = check::chooseRate(check::statedRatesOf(path, parser));
    chosen.rate = frameRateOf(choice.rate ? *choice.rate : *smpte::parseRate("25"));
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
  std::string words;
  if (rate.rate.smpte) {
    words = smpte::rateWords(*rate.rate.smpte);
  } else {  // the system's arithmetic counts at any rate: "12.5 fps"
    words = std::to_string(rate.rate.fps);
    words.erase(words.find_last_not_of('0') + 1);
    if (words.back() == '.') words.pop_back();
    words += " fps";
  }
  const std::string source = rate.source;
  if (source == "iXML") return "at " + words + ", stated in iXML";
  if (source == "description") return "at " + words + ", stated in the description";
  if (source == "default") return "at " + words + " (no rate stated; --rate to choose)";
  return "at " + words;
}

}  // namespace bextkit::cli
