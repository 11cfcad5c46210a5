// An archive's house rules for the conformance check: the codes whose findings it does not want
// reported, and the codes whose findings it weighs otherwise ("umid-label" a note where its
// DAWs write UMIDs of their own). Stated once in a file, `.bextkit-check`, in the archive's
// folder (it holds for every file below it) or in the user's configuration folder, and on the
// command line for one run.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "check/Finding.h"

namespace bextkit::check {

// A rule a check applies, as the documentation lists it: its code, the severity of what it
// finds, the rule set that holds it ("always" for the structure and the timecode), the clause or
// practice it comes from, and an example of what breaks it.
struct Rule {
  std::string_view code, severity, ruleSet, source, example;
};
// Every rule, in the order of the documentation: the structure, the fields, iXML and timecode.
std::span<const Rule> rules();

struct Policy {
  std::set<std::string> ignored;
  std::map<std::string, Severity> severities;

  // Takes on the rules of `over`, which win where the two differ.
  void add(const Policy& over);
  // Drops the findings of ignored codes and gives the others their house severity.
  void applyTo(Findings& findings) const;

  // "CODE[,CODE]": codes to ignore. False, with the reason in `error`, for a code that no rule
  // reports (a typing mistake would otherwise silence nothing).
  bool ignore(std::string_view codes, std::string& error);
  // "CODE=error|warning|note".
  bool weigh(std::string_view weighting, std::string& error);
  // A policy file's lines, each "ignore CODE[,CODE]" or "severity CODE=LEVEL", blank lines and
  // lines beginning with # skipped; later lines win. False, with "line N: reason", for a line
  // that is none of these.
  bool read(std::string_view text, std::string& error);
};

// The name of the house rules file of a folder.
inline constexpr std::string_view kPolicyFileName = ".bextkit-check";

// The house rules file that holds for `file`: the nearest `.bextkit-check` in its folder or a
// folder above it; none where there is none.
std::optional<std::string> policyFileFor(const std::string& file);
// The user's own house rules file: $XDG_CONFIG_HOME/bextkit/check (~/.config/bextkit/check).
std::string userPolicyFile();

// Reads a house rules file into `policy`; false, with "FILE: line N: reason" or "FILE: cannot be
// read", when it cannot be read or holds a line that is no rule.
bool readPolicyFile(const std::string& path, Policy& policy, std::string& error);

// The house rules that hold for `file`: the user's own, then the nearest .bextkit-check above it
// over them. None, with the reason, when one of them cannot be read.
std::optional<Policy> houseRulesOf(const std::string& file, std::string& error);

}  // namespace bextkit::check
