#include "cli/FileRate.h"

#include "check/Conformance.h"

namespace bextkit::cli {

namespace {

// "25 fps", "29.97 drop-frame", "29.97 non-drop".
std::string rateWords(const smpte::Rate& rate) {
  std::string name = smpte::rateName(rate);
  if (rate.dropFrame) return name + " drop-frame";
  if (name.ends_with("nd")) return name.substr(0, name.size() - 2) + " non-drop";
  return name + " fps";
}

}  // namespace

FileRate rateOfFile(const std::optional<FrameRate>& option, bool classic, const std::string& path,
                    BWFParser& parser) {
  FileRate chosen;
  if (option) {
    chosen.rate = *option;
    chosen.source = "option";
  } else {
    const check::StatedRates stated = check::statedRatesOf(path, parser);
    if (stated.ixml && stated.description && *stated.ixml != *stated.description) {
      chosen.note = "iXML states " + rateWords(*stated.ixml) + " and the description " +
                    rateWords(*stated.description) + "; the timecode is counted at iXML's";
    }
    const std::optional<smpte::Rate>& rate = stated.ixml ? stated.ixml : stated.description;
    chosen.rate = frameRateOf(rate ? *rate : *smpte::parseRate("25"));
    if (classic) chosen.rate.smpte.reset();
    chosen.source = stated.ixml ? "iXML" : stated.description ? "description" : "default";
  }
  float counted = 0;
  parser.getfps(&counted);
  if (counted != chosen.rate.fps) parser.countFramesAt(chosen.rate.fps);
  return chosen;
}

std::string rateSourceText(const FileRate& rate) {
  std::string words;
  if (rate.rate.smpte) {
    words = rateWords(*rate.rate.smpte);
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
