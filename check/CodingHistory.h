// The grammar of a coding history: lines ended by CR LF, each a comma-separated list of keys
// A, F, B, W, M and T in that order, with the values each key takes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace bextkit::check {

// Each problem as its 1-based line and the reason; `unusual` for what readers pass over (a key
// beside the six, as field recorders add, or a comma in the T= text), the rest breaks the grammar.
struct LineProblem {
  size_t line;
  std::string reason;
  bool unusual = false;
};
std::vector<LineProblem> codingHistoryProblems(std::string_view text);

}  // namespace bextkit::check
