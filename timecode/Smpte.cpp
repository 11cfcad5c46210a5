// SMPTE timecode: the rates and their names, labels and frame counts, the legal test, label texts
// and the samples at which frames begin.
#include "timecode/Smpte.h"

#include "timecode/CNumbers.h"

#include <array>
#include <limits>

namespace bextkit::smpte {

namespace {

constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

constexpr std::array<Rate, 12> kRates = {{{24000, 1001, 24, false},
                                          {24, 1, 24, false},
                                          {25, 1, 25, false},
                                          {30000, 1001, 30, true},
                                          {30000, 1001, 30, false},
                                          {30, 1, 30, false},
                                          {48000, 1001, 48, false},
                                          {48, 1, 48, false},
                                          {50, 1, 50, false},
                                          {60000, 1001, 60, true},
                                          {60000, 1001, 60, false},
                                          {60, 1, 60, false}}};
constexpr std::array<std::string_view, 12> kNames = {
    "23.976", "24", "25", "29.97", "29.97nd", "30", "47.952", "48", "50", "59.94", "59.94nd", "60"};

// The other spellings parseRate reads, each standing for one entry of kRates. The fractions of
// the 1001 rates that have a drop-frame form read as drop-frame, since that is how they count in
// practice.
struct Spelling {
  std::string_view text;
  size_t index;
};
// Editors' spellings count too: "23.98", "29.97DF" and "29.97NDF", "25.0" (read without regard to
// case).
constexpr Spelling kSpellings[] = {
    {"24000/1001", 0}, {"23.98", 0},      {"24/1", 1},       {"24.0", 1},     {"25/1", 2},
    {"25.0", 2},       {"30000/1001", 3}, {"29.97df", 3},    {"29.97ndf", 4}, {"30/1", 5},
    {"30.0", 5},       {"48000/1001", 6}, {"47.95", 6},      {"48/1", 7},     {"48.0", 7},
    {"50/1", 8},       {"50.0", 8},       {"60000/1001", 9}, {"59.94df", 9},  {"59.94ndf", 10},
    {"60/1", 11},      {"60.0", 11}};

std::string twoDigits(uint32_t value) {
  char text[10];
  return std::string(text, cnum::putPadded(text, value, 2));
}

// The text as an error message quotes it: bytes outside printable ASCII escaped, long texts cut,
// so that whatever was read cannot garble the message.
std::string quoted(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string out = "'";
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back("0123456789abcdef"[c >> 4]);
      out.push_back("0123456789abcdef"[c & 15]);
    }
  }
  if (text.size() > kShown) out += "...";
  return out + "'";
}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What makes a label no label of the day, checked in the order whyIllegal reports it.
enum class Fault { kNone, kHours, kMinutes, kSeconds, kFrames, kSkipped };

Fault faultOf(const Rate& rate, const Label& label) {
  if (label.hours > 23) return Fault::kHours;
  if (label.minutes > 59) return Fault::kMinutes;
  if (label.seconds > 59) return Fault::kSeconds;
  if (label.frames >= rate.labelsPerSecond) return Fault::kFrames;
  const bool skipped =
      label.seconds == 0 && label.frames < droppedPerMinute(rate) && label.minutes % 10 != 0;
  return skipped ? Fault::kSkipped : Fault::kNone;
}

std::string outOfRange(const char* field, uint64_t value, uint32_t last) {
  return std::string(field) + " " + std::to_string(value) + " out of range 00-" + twoDigits(last);
}

}  // namespace

std::span<const Rate> rates() { return kRates; }

std::optional<Rate> parseRate(std::string_view text) {
  constexpr size_t kLongest = 10;  // "60000/1001"
  if (text.size() > kLongest) return std::nullopt;
  char lower[kLongest];
  for (size_t i = 0; i < text.size(); ++i) {
    lower[i] = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
  }
  const std::string_view name(lower, text.size());
  for (size_t i = 0; i < kRates.size(); ++i) {
    if (name == kNames[i]) return kRates[i];
  }
  for (const auto& [spelling, index] : kSpellings) {
    if (name == spelling) return kRates[index];
  }
  return std::nullopt;
}

std::string rateName(const Rate& rate) {
  for (size_t i = 0; i < kRates.size(); ++i) {
    if (kRates[i] == rate) return std::string(kNames[i]);
  }
  return std::to_string(rate.numerator) + "/" + std::to_string(rate.denominator);
}

std::string rateWords(const Rate& rate) {
  const std::string name = rateName(rate);
  if (rate.dropFrame) return name + " drop-frame";
  if (name.ends_with("nd")) return name.substr(0, name.size() - 2) + " non-drop";
  return name + " fps";
}

uint32_t droppedPerMinute(const Rate& rate) {
  // Two labels of every thirty a second, in nine minutes of ten, keep the labels of the 1001 rates
  // within a tenth of a second a day of the clock.
  return rate.dropFrame ? rate.labelsPerSecond / 15 : 0;
}

uint64_t framesPerDay(const Rate& rate) {
  // 1440 minutes, 144 of them multiples of ten.
  return uint64_t{rate.labelsPerSecond} * 86400 - uint64_t{droppedPerMinute(rate)} * (1440 - 144);
}

bool isLegal(const Rate& rate, const Label& label) { return faultOf(rate, label) == Fault::kNone; }

std::string whyIllegal(const Rate& rate, const Label& label) {
  switch (faultOf(rate, label)) {
    case Fault::kNone:
      return {};
    case Fault::kHours:
      return outOfRange("hours", label.hours, 23);
    case Fault::kMinutes:
      return outOfRange("minutes", label.minutes, 59);
    case Fault::kSeconds:
      return outOfRange("seconds", label.seconds, 59);
    case Fault::kFrames:
      return outOfRange("frames", label.frames, rate.labelsPerSecond - 1) + " at " + rateName(rate);
    case Fault::kSkipped:
      break;
  }
  const uint32_t dropped = droppedPerMinute(rate);
  return format(rate, label) + " does not exist at " + rateName(rate) +
         " drop-frame: the labels ;00 " + (dropped == 2 ? "and ;" : "to ;") +
         twoDigits(dropped - 1) + " of every minute but every tenth are skipped";
}

uint64_t framesFromLabel(const Rate& rate, const Label& label) {
  // Below 2^51 for any fields: no step can overflow.
  const uint64_t totalMinutes = uint64_t{label.hours} * 60 + label.minutes;
  const uint64_t labels = (totalMinutes * 60 + label.seconds) * rate.labelsPerSecond + label.frames;
  return labels - droppedPerMinute(rate) * (totalMinutes - totalMinutes / 10);
}

Label labelFromFrames(const Rate& rate, uint64_t frames) {
  const uint32_t perSecond = rate.labelsPerSecond;
  const uint32_t dropped = droppedPerMinute(rate);
  const uint32_t fullMinute = perSecond * 60;
  const uint32_t perBlock = fullMinute * 10 - dropped * 9;
  // Every ten minutes hold the same frames: the first minute a full one, the nine after it each
  // short of the dropped labels. Adding those back within the block gives the label's place
  // among all the block's labels; the block count itself never needs adding back, so no count,
  // however large, overflows.
  const uint64_t blocks = frames / perBlock;
  uint32_t inBlock = static_cast<uint32_t>(frames % perBlock);
  if (inBlock >= fullMinute) {
    inBlock += dropped * (1 + (inBlock - fullMinute) / (fullMinute - dropped));
  }
  const uint64_t totalMinutes = blocks * 10 + inBlock / fullMinute;
  const uint32_t inMinute = inBlock % fullMinute;
  return {totalMinutes / 60, static_cast<uint32_t>(totalMinutes % 60), inMinute / perSecond,
          inMinute % perSecond};
}

std::string format(const Rate& rate, const Label& label) {
  char text[20 + 3 * 10 + 3];  // hours of up to 20 digits
  char* end = cnum::putPadded(text, static_cast<int64_t>(label.hours), 2);
  *end++ = ':';
  end = cnum::putPadded(end, label.minutes, 2);
  *end++ = ':';
  end = cnum::putPadded(end, label.seconds, 2);
  *end++ = rate.dropFrame ? ';' : ':';
  end = cnum::putPadded(end, label.frames, 2);
  return std::string(text, end);
}

std::optional<Label> parseLabel(const Rate& rate, std::string_view text, std::string& error,
                                bool requireLegal) {
  uint32_t fields[4] = {};
  char separators[3] = {};
  size_t at = 0;
  bool shaped = true;
  for (size_t field = 0; field < 4 && shaped; ++field) {
    const size_t start = at;
    for (; at < text.size() && at - start < 2 && isDigit(text[at]); ++at) {
      fields[field] = fields[field] * 10 + static_cast<uint32_t>(text[at] - '0');
    }
    shaped = at > start;
    if (shaped && field < 3) {
      shaped = at < text.size();
      if (shaped) separators[field] = text[at++];
    }
  }
  const char beforeFrames = separators[2];
  shaped = shaped && at == text.size() &&
           (rate.dropFrame ? beforeFrames == ';' || beforeFrames == '.' : beforeFrames == ':') &&
           (separators[0] == ':' || separators[0] == beforeFrames) &&
           (separators[1] == ':' || separators[1] == beforeFrames);
  if (!shaped) {
    error = "expected ";
    if (rate.dropFrame) {
      error += "hh:mm:ss;ff (';' or '.' before the frames at " + rateName(rate) + " drop-frame";
    } else {
      error += "hh:mm:ss:ff (':' between the fields at " + rateName(rate);
    }
    error += ", one or two digits each), got " + quoted(text);
    return std::nullopt;
  }
  const Label label{fields[0], fields[1], fields[2], fields[3]};
  if (requireLegal && !isLegal(rate, label)) {
    error = whyIllegal(rate, label);
    return std::nullopt;
  }
  return label;
}

uint64_t frameStart(const Rate& rate, uint64_t frame, uint32_t sampleRate) {
  // `numerator` frames last exactly `sampleRate` x `denominator` samples, so only the frames past
  // the last whole group need dividing; their samples times two stay below 2^60.
  const uint64_t numerator = rate.numerator;
  const uint64_t perGroup = uint64_t{sampleRate} * rate.denominator;
  const uint64_t rest = frame % numerator;
  const uint64_t restSamples = (2 * rest * perGroup + numerator) / (2 * numerator);
  uint64_t samples;
  if (__builtin_mul_overflow(frame / numerator, perGroup, &samples) ||
      __builtin_add_overflow(samples, restSamples, &samples)) {
    return kMax64;
  }
  return samples;
}

Position positionOfSample(const Rate& rate, uint64_t sample, uint32_t sampleRate) {
  const uint64_t numerator = rate.numerator;
  const uint64_t perGroup = uint64_t{sampleRate} * rate.denominator;
  const uint64_t rest = sample % perGroup;
  // Frame k of a group begins floor((2 k perGroup + numerator) / (2 numerator)) samples into it,
  // which is at or before `rest` exactly when 2 k perGroup <= (2 rest + 1) numerator - 1: the
  // last such k is found by one division, no estimate to correct. k stays below `numerator`.
  const uint64_t k = ((2 * rest + 1) * numerator - 1) / (2 * perGroup);
  const uint64_t kStart = (2 * k * perGroup + numerator) / (2 * numerator);
  uint64_t frame;
  if (__builtin_mul_overflow(sample / perGroup, numerator, &frame) ||
      __builtin_add_overflow(frame, k, &frame)) {
    // More frames than 64 bits count, possible only at sample rates below the frame rate.
    return {kMax64, sample - frameStart(rate, kMax64, sampleRate)};
  }
  return {frame, rest - kStart};
}

}  // namespace bextkit::smpte
