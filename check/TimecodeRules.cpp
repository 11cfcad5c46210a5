#include "check/TimecodeRules.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "timecode/CNumbers.h"

namespace bextkit::check {

namespace {

__extension__ using Wide = unsigned __int128;

// The text of the iXML's first leaf at BWFXML/`path`, or null.
const std::string* leaf(const TimecodeFacts& facts, std::string_view path) {
  return facts.ixml ? facts.ixml->leaf("BWFXML", path) : nullptr;
}

// The rate of `framesPerSecond` (a fraction or a decimal), counting drop-frame where `drop`
// says so and such a rate exists, the other count of the same speed otherwise.
std::optional<smpte::Rate> rateOf(double framesPerSecond, bool drop) {
  std::optional<smpte::Rate> found;
  for (const smpte::Rate& rate : smpte::rates()) {
    const double speed = static_cast<double>(rate.numerator) / rate.denominator;
    if (std::fabs(speed - framesPerSecond) > 0.005) continue;
    if (!found || rate.dropFrame == drop) found = rate;
  }
  return found;
}

// "25/1", "30000/1001", "25", "29.97".
std::optional<double> speedOf(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash != std::string_view::npos) {
    const auto numerator = cnum::wholeDecimal(text.substr(0, slash));
    const auto denominator = cnum::wholeDecimal(text.substr(slash + 1));
    if (!numerator || !denominator || *denominator == 0) return {};
    return static_cast<double>(*numerator) / static_cast<double>(*denominator);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || text.empty()) return {};
  (void)end;
  return value;
}

// A recorder's speed line in the description: "sSPEED=023.976-ND", "zSPEED=29.970DF".
std::optional<smpte::Rate> descriptionRate(std::string_view description) {
  for (const char* key : {"sSPEED=", "zSPEED="}) {
    const size_t at = description.find(key);
    if (at == std::string_view::npos) continue;
    std::string_view rest = description.substr(at + 7);
    rest = rest.substr(0, rest.find_first_of("\r\n"));
    const size_t digits = rest.find_first_not_of("0123456789.");
    const std::optional<double> speed = speedOf(rest.substr(0, digits));
    if (!speed) continue;
    const std::string_view flag = digits == std::string_view::npos ? "" : rest.substr(digits);
    const bool drop =
        flag.find("DF") != std::string_view::npos && flag.find("NDF") == std::string_view::npos;
    if (auto rate = rateOf(*speed, drop)) return rate;
  }
  return {};
}

std::string samples(uint64_t count) { return std::to_string(count) + " samples"; }

std::string labelAt(const smpte::Rate& rate, uint64_t frame) {
  return smpte::format(rate, smpte::labelFromFrames(rate, frame)) + " at " + smpte::rateName(rate) +
         " fps";
}

}  // namespace

StatedRates statedRates(const TimecodeFacts& facts) {
  StatedRates stated{std::nullopt, descriptionRate(facts.description)};
  if (const std::string* text = leaf(facts, "SPEED/TIMECODE_RATE")) {
    const std::string* flag = leaf(facts, "SPEED/TIMECODE_FLAG");
    if (const std::optional<double> speed = speedOf(*text)) {
      stated.ixml = rateOf(*speed, flag && *flag == "DF");
    }
  }
  return stated;
}

std::optional<smpte::Rate> statedRate(const TimecodeFacts& facts) {
  const StatedRates stated = statedRates(facts);
  return stated.ixml ? stated.ixml : stated.description;
}

RateChoice chooseRate(const StatedRates& stated) {
  RateChoice choice;
  if (stated.ixml && stated.description && *stated.ixml != *stated.description) {
    choice.note = "iXML states " + smpte::rateWords(*stated.ixml) + " and the description " +
                  smpte::rateWords(*stated.description) + "; the timecode is counted at iXML's";
  }
  choice.rate = stated.ixml ? stated.ixml : stated.description;
  choice.source = stated.ixml ? "iXML" : stated.description ? "description" : "default";
  return choice;
}

bool onFrameBoundary(const smpte::Rate& rate, uint64_t sample, uint32_t sampleRate) {
  // Frame f starts at f x sampleRate x denominator / numerator samples: the sample lies within
  // one sample of a start when sample x numerator is within numerator of a multiple of
  // sampleRate x denominator.
  const Wide scaled = Wide{sample} * rate.numerator;
  const Wide period = Wide{sampleRate} * rate.denominator;
  const Wide past = scaled % period;
  return past < rate.numerator || period - past < rate.numerator;
}

void checkTimecode(const TimecodeFacts& facts, Findings& out) {
  if (facts.sampleRate == 0) return;
  const uint64_t reference = facts.timeReference;
  const std::optional<smpte::Rate> rate = statedRate(facts);
  if (rate) {
    const smpte::Position at = smpte::positionOfSample(*rate, reference, facts.sampleRate);
    if (at.frame >= smpte::framesPerDay(*rate)) {
      out.push_back({"time-reference-beyond-day", Severity::kWarning, facts.timeReferenceOffset,
                     "The time reference (" + samples(reference) + ") lies at " +
                         labelAt(*rate, at.frame) + ", past the 24 hours of a day: " +
                         "timecode counts from midnight and most editors wrap or refuse it."});
    }
    if (!onFrameBoundary(*rate, reference, facts.sampleRate)) {
      const std::string where = "The time reference (" + samples(reference) + ") falls " +
                                samples(at.samplesPastFrame) + " after the start of frame " +
                                labelAt(*rate, at.frame) + ", the rate the file states";
      // Jam-synced recorders stamp a take a little after its frame starts: less than a
      // millisecond past is what they routinely do, not a take placed off the grid.
      if (at.samplesPastFrame * 1000 < facts.sampleRate) {
        out.push_back({"time-reference-near-frame", Severity::kNote, facts.timeReferenceOffset,
                       where + ": less than a millisecond, as jam-synced recorders routinely "
                               "stamp takes."});
      } else {
        out.push_back({"time-reference-off-frame", Severity::kWarning, facts.timeReferenceOffset,
                       where + ": an editor that places the file by its timecode moves it."});
      }
    }
  } else {
    if (Wide{reference} >= Wide{86400} * facts.sampleRate) {
      out.push_back({"time-reference-beyond-day", Severity::kWarning, facts.timeReferenceOffset,
                     "The time reference (" + samples(reference) + ") is more than 24 hours " +
                         "at " + std::to_string(facts.sampleRate) + " Hz after midnight: " +
                         "timecode counts from midnight and most editors wrap or refuse it."});
    }
    bool onAny = false;
    for (const smpte::Rate& r : smpte::rates()) {
      onAny = onAny || onFrameBoundary(r, reference, facts.sampleRate);
    }
    if (!onAny) {
      out.push_back({"time-reference-off-every-rate", Severity::kNote, facts.timeReferenceOffset,
                     "The time reference (" + samples(reference) + ") falls on no frame " +
                         "boundary at any common rate, and the file states no rate: it will " +
                         "not line up with picture without a slip."});
    }
  }
  // The iXML repeats the time reference in two places; where the bext chunk was edited without
  // it, applications that read the iXML first place the file elsewhere.
  static const std::pair<const char*, const char*> kCopies[] = {
      {"SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO"},
      {"BEXT/BWF_TIME_REFERENCE_HIGH", "BEXT/BWF_TIME_REFERENCE_LOW"}};
  const std::string* ixmlRate = leaf(facts, "SPEED/TIMESTAMP_SAMPLE_RATE");
  if (ixmlRate && cnum::wholeDecimal(*ixmlRate) != facts.sampleRate) return;
  for (const auto& [high, low] : kCopies) {
    const std::string* highText = leaf(facts, high);
    const std::string* lowText = leaf(facts, low);
    if (!highText || !lowText) continue;
    const auto h = cnum::wholeDecimal(*highText), l = cnum::wholeDecimal(*lowText);
    if (!h || !l || *h > 0xFFFFFFFFu || *l > 0xFFFFFFFFu) continue;
    const uint64_t copy = (*h << 32) | *l;
    if (copy == reference) continue;
    const std::string where = std::string(high).substr(0, std::string(high).rfind('_'));
    out.push_back({"ixml-time-reference-differs", Severity::kWarning, facts.ixmlOffset,
                   "The iXML's " + where + " gives " + samples(copy) + ", the bext chunk's " +
                       "time reference " + samples(reference) + ": applications that read " +
                       "one or the other place the file at different times."});
  }
}

}  // namespace bextkit::check
