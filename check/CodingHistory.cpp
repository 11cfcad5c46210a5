#include "check/CodingHistory.h"

#include <algorithm>
#include <array>

#include "check/ValueRules.h"

namespace bextkit::check {

namespace {

// The keys of a coding history line, in their order, and a bit for each.
constexpr std::string_view kHistoryKeys = "AFBWMT";
constexpr unsigned keyBit(char key) { return 1u << kHistoryKeys.find(key); }

// The grammar problems of a line, and what readers pass over.
struct Problems {
  std::vector<std::string> broken, unusual;
};

Problems historyLineProblems(std::string_view line) {
  static constexpr std::array<std::string_view, 8> kAlgorithms = {
      "ANALOGUE", "PCM", "MPEG1L1", "MPEG1L2", "MPEG1L3", "MPEG2L1", "MPEG2L2", "MPEG2L3"};
  static constexpr std::array<std::string_view, 5> kModes = {"mono", "stereo", "dual-mono",
                                                             "joint-stereo", "multitrack"};
  Problems problems;
  if (line.empty()) return {{"is empty"}, {}};
  if (line.find('\r') != std::string_view::npos) {
    return {{"holds a CR that no LF follows; each line ends with CR LF"}, {}};
  }
  unsigned seen = 0;  // the keys met so far
  size_t last = 0;    // one past the latest key's place in the order
  std::string_view algorithm, bitRate;
  for (size_t start = 0; start <= line.size();) {
    if (seen & keyBit('T')) {
      problems.unusual.push_back(
          "has a comma in its T= text, which reads as the start of another key");
      break;
    }
    const size_t comma = std::min(line.find(',', start), line.size());
    const std::string_view item = line.substr(start, comma - start);
    start = comma + 1;
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      problems.broken.push_back("holds " + shown(item) + ", which is not a key=value pair");
      continue;
    }
    const size_t place = equals == 1 ? kHistoryKeys.find(item[0]) : std::string_view::npos;
    if (place == std::string_view::npos) {
      problems.unusual.push_back("holds the key " + shown(item.substr(0, equals)) +
                                 ", which is not one of A, F, B, W, M and T");
      continue;
    }
    const char key = item[0];
    const std::string_view value = item.substr(2);
    if (seen & (1u << place)) {
      problems.broken.push_back("names the key " + std::string(1, key) + " twice");
    } else if (place + 1 < last) {
      problems.broken.push_back("puts " + std::string(1, key) + " after " +
                                std::string(1, kHistoryKeys[last - 1]) +
                                "; the keys go in the order A, F, B, W, M, T");
    }
    seen |= 1u << place;
    last = std::max(last, place + 1);
    const auto in = [&](const auto& list) {
      return std::find(list.begin(), list.end(), value) != list.end();
    };
    const std::string given = std::string(1, key) + "=" + shown(value);
    switch (key) {
      case 'A':
        algorithm = value;
        if (!in(kAlgorithms)) {
          problems.broken.push_back("gives " + given +
                                    ", which is not a coding algorithm (ANALOGUE, PCM, MPEG1L1 to "
                                    "MPEG1L3 or MPEG2L1 to MPEG2L3)");
        }
        break;
      case 'F':
        if (!allDigits(value)) {
          problems.broken.push_back("gives " + given + ", which is not a sampling frequency in Hz");
        }
        break;
      case 'B':
        bitRate = value;
        if (!allDigits(value)) {
          problems.broken.push_back("gives " + given + ", which is not a bit rate in kbit/s");
        }
        break;
      case 'W':
        if (!allDigits(value)) {
          problems.broken.push_back("gives " + given + ", which is not a word length in bits");
        }
        break;
      case 'M': {
        std::string lower(value);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
          return isUpperLetter(c) ? static_cast<char>(c - 'A' + 'a') : c;
        });
        if (std::find(kModes.begin(), kModes.end(), lower) == kModes.end()) {
          problems.broken.push_back(
              "gives " + given +
              ", which is not a mode (mono, stereo, dual-mono, joint-stereo or "
              "multitrack)");
        }
        break;
      }
      default:  // T: free text
        break;
    }
  }
  if (!(seen & keyBit('A'))) problems.broken.push_back("has no A= (the coding algorithm)");
  if ((seen & keyBit('B')) && (algorithm == "PCM" || algorithm == "ANALOGUE")) {
    problems.broken.push_back("gives a bit rate B=" + shown(bitRate) +
                              ", which only MPEG coding has, for A=" + std::string(algorithm));
  }
  return problems;
}
}  // namespace

std::vector<LineProblem> codingHistoryProblems(std::string_view text) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  std::vector<LineProblem> problems;
  size_t line = 0;
  for (size_t start = 0; start < text.size();) {
    ++line;
    const size_t feed = text.find('\n', start);
    std::string_view content =
        text.substr(start, feed == std::string_view::npos ? std::string_view::npos : feed - start);
    start = feed == std::string_view::npos ? text.size() : feed + 1;
    const bool ended = feed != std::string_view::npos && content.ends_with('\r');
    if (!ended) problems.push_back({line, "ends without CR LF"});
    if (content.ends_with('\r')) content.remove_suffix(1);
    Problems found = historyLineProblems(content);
    for (std::string& reason : found.broken) problems.push_back({line, std::move(reason)});
    for (std::string& reason : found.unusual) problems.push_back({line, std::move(reason), true});
  }
  return problems;
}

}  // namespace bextkit::check
