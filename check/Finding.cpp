#include "check/Finding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace bextkit::check {

const char* severityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "error";
}

std::optional<unsigned> parseRuleSets(std::string_view list, std::string& error) {
  static constexpr std::array<std::pair<std::string_view, unsigned>, 4> kNames = {
      {{"tech3285", kTech3285}, {"r98", kR98}, {"r99", kR99}, {"fadgi", kFadgi}}};
  unsigned sets = 0;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    std::string name(list.substr(start, comma - start));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto known = std::find_if(kNames.begin(), kNames.end(),
                                    [&](const auto& entry) { return entry.first == name; });
    if (known == kNames.end()) {
      error = "no rule set '" + name + "' (the sets are tech3285, r98, r99 and fadgi)";
      return std::nullopt;
    }
    sets |= known->second;
    start = comma + 1;
  }
  return sets;
}

}  // namespace bextkit::check
