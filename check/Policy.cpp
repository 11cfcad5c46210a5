#include "check/Policy.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace bextkit::check {

namespace {

constexpr std::array<std::string_view, 43> kCodes = {
    // The file's structure.
    "no-wave-header", "ds64-missing", "riff-size", "pad-byte-missing", "duplicate-chunk",
    "fmt-missing", "data-missing", "data-before-fmt", "bext-after-data", "data-not-whole-frames",
    "chunk-truncated", "too-many-chunks", "chain-broken", "directory-not-chain",
    // The broadcast extension's fields.
    "bext-too-short", "version-unknown", "text-not-ascii", "bytes-after-nul", "date-separator",
    "time-separator", "date-form", "date-no-such-day", "time-form", "time-out-of-range",
    "umid-in-version-0", "umid-label", "umid-length", "loudness-in-old-version", "loudness-range",
    "reserved-not-zero", "coding-history", "originator-reference-empty", "originator-reference",
    "fadgi-date", "fadgi-originator", "info-not-ascii", "fadgi-iarl",
    // iXML and the timecode.
    "ixml-too-large", "ixml-not-well-formed", "time-reference-beyond-day",
    "time-reference-off-frame", "time-reference-off-every-rate", "ixml-time-reference-differs"};

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool knownCode(std::string_view code, std::string& error) {
  if (std::find(kCodes.begin(), kCodes.end(), code) != kCodes.end()) return true;
  error =
      code.empty() ? "expected a rule's code" : "no rule has the code '" + std::string(code) + "'";
  return false;
}

}  // namespace

std::span<const std::string_view> ruleCodes() { return kCodes; }

void Policy::add(const Policy& over) {
  for (const std::string& code : over.ignored) {
    ignored.insert(code);
    severities.erase(code);
  }
  for (const auto& [code, severity] : over.severities) {
    severities[code] = severity;
    ignored.erase(code);
  }
}

void Policy::applyTo(Findings& findings) const {
  std::erase_if(findings, [this](const Finding& f) { return ignored.count(f.code) > 0; });
  for (Finding& f : findings) {
    if (const auto weight = severities.find(f.code); weight != severities.end()) {
      f.severity = weight->second;
    }
  }
}

bool Policy::ignore(std::string_view codes, std::string& error) {
  for (size_t start = 0; start <= codes.size();) {
    const size_t comma = std::min(codes.find(',', start), codes.size());
    const std::string_view code = trimmed(codes.substr(start, comma - start));
    if (!knownCode(code, error)) return false;
    ignored.emplace(code);
    start = comma + 1;
  }
  return true;
}

bool Policy::weigh(std::string_view spec, std::string& error) {
  const size_t equals = spec.find('=');
  const std::string_view code = trimmed(spec.substr(0, equals));
  if (equals == std::string_view::npos) {
    error = "expected CODE=error, CODE=warning or CODE=note, got '" + std::string(spec) + "'";
    return false;
  }
  if (!knownCode(code, error)) return false;
  const std::string_view level = trimmed(spec.substr(equals + 1));
  for (const Severity severity : {Severity::kError, Severity::kWarning, Severity::kNote}) {
    if (level == severityName(severity)) {
      severities[std::string(code)] = severity;
      ignored.erase(std::string(code));
      return true;
    }
  }
  error = "expected error, warning or note after " + std::string(code) + "=, got '" +
          std::string(level) + "'";
  return false;
}

bool Policy::read(std::string_view text, std::string& error) {
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = trimmed(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line.front() == '#') continue;
    const size_t space = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view word = line.substr(0, space), rest = trimmed(line.substr(space));
    std::string why;
    bool good = false;
    if (word == "ignore") {
      good = ignore(rest, why);
    } else if (word == "severity") {
      good = weigh(rest, why);
    } else {
      why =
          "expected 'ignore CODE[,CODE]' or 'severity CODE=LEVEL', got '" + std::string(line) + "'";
    }
    if (!good) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

std::optional<std::string> policyFileFor(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  fs::path folder = fs::absolute(fs::path(file), ignored).parent_path();
  for (;;) {
    const fs::path candidate = folder / kPolicyFileName;
    if (fs::is_regular_file(candidate, ignored)) return candidate.string();
    if (!folder.has_relative_path()) return std::nullopt;  // the root
    folder = folder.parent_path();
  }
}

std::string userPolicyFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string base = config && *config ? config : std::string(home ? home : "") + "/.config";
  return base + "/bextkit/check";
}

}  // namespace bextkit::check
