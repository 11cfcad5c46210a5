#include "check/Policy.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace bextkit::check {

namespace {

// clang-format off
constexpr std::array<Rule, 48> kRules = {{
    // The file's structure, always checked.
    {"no-wave-header", "error", "always", "RIFF/WAVE: a file begins with RIFF, RIFX, RF64 or BW64 and WAVE", "a text file named take.wav"},
    {"ds64-missing", "error", "always", "EBU Tech 3306 (RF64): the ds64 chunk comes first and holds the 64-bit sizes", "an RF64 header followed directly by fmt"},
    {"riff-size", "error or warning", "always", "RIFF: the form's size counts the bytes after its first 8", "error: a file cut short; warning: bytes after the form"},
    {"pad-byte-missing", "error or warning", "always", "RIFF: a chunk of odd size is followed by a pad byte", "error: the next chunk starts one byte early; warning: the last pad byte of the file"},
    {"duplicate-chunk", "error", "always", "EBU Tech 3285, RIFF/WAVE: one bext, fmt, data, ds64 and MD5 chunk", "two bext chunks whose fields differ"},
    {"fmt-missing", "error", "always", "RIFF/WAVE: the format chunk says how to read the audio", "a file with data and no fmt"},
    {"data-missing", "error", "always", "RIFF/WAVE: the data chunk holds the audio", "a header and bext written, the audio never"},
    {"data-before-fmt", "error", "always", "RIFF/WAVE: fmt precedes data, so that a reader knows the format first", "data at 12, fmt after it"},
    {"bext-after-data", "note", "always", "Practice: players and editors that stop at data never see a bext after it", "a bext appended after the audio"},
    {"data-not-whole-frames", "warning", "always", "RIFF/WAVE: data holds whole sample frames of fmt's block align", "23 bytes of 6-byte frames"},
    {"chunk-truncated", "error", "always", "RIFF: a chunk's payload lies within the file", "a data chunk declaring more bytes than remain"},
    {"too-many-chunks", "warning", "always", "bextkit's bound: the chain is followed for 100,000 chunks", "millions of empty chunks"},
    {"chain-broken", "error", "always", "RIFF: chunks follow one another by their sizes", "bytes that are no chunk header after fmt"},
    {"directory-not-chain", "note", "always", "bextkit: the scan's directory lists an ID the chain does not hold there", "the word iXML inside an INFO text"},
    // The broadcast extension's fields.
    {"bext-too-short", "error", "tech3285", "EBU Tech 3285: the bext chunk holds at least 602 bytes", "a bext chunk of 256 bytes"},
    {"version-unknown", "error", "tech3285", "EBU Tech 3285: Version is 0, 1 or 2", "Version 7"},
    {"text-not-ascii", "warning", "tech3285", "EBU Tech 3285: the text fields are ASCII", "an e with an acute accent in the Description"},
    {"bytes-after-nul", "warning", "tech3285", "EBU Tech 3285: a text shorter than its field ends with NUL bytes", "leftovers of an older, longer text after the NUL"},
    {"date-separator", "note", "tech3285", "EBU Tech 3285: yyyy-mm-dd; older files use other separators", "2024_02_29"},
    {"time-separator", "note", "tech3285", "EBU Tech 3285: hh:mm:ss; older files use other separators", "14.05.00"},
    {"date-form", "error", "tech3285", "EBU Tech 3285: OriginationDate is yyyy-mm-dd", "29/02/2024"},
    {"date-no-such-day", "error", "tech3285", "EBU Tech 3285: OriginationDate names a day of the calendar", "2023-02-29"},
    {"time-form", "error", "tech3285", "EBU Tech 3285: OriginationTime is hh:mm:ss", "2pm"},
    {"time-out-of-range", "error", "tech3285", "EBU Tech 3285: OriginationTime is a time of day", "14:05:60"},
    {"umid-in-version-0", "warning", "tech3285", "EBU Tech 3285: Version 0 reserves the UMID's bytes", "a UMID in a Version 0 chunk"},
    {"umid-label", "warning", "tech3285", "SMPTE 330M: a UMID begins with the SMPTE universal label 06 0A 2B 34; DAWs write identifiers of their own there", "a DAW's 32 bytes that begin with a random number"},
    {"umid-length", "error or warning", "tech3285", "SMPTE 330M: a basic UMID is 32 bytes, an extended one 64, as its length byte says", "error: length byte 20h; warning: bytes after a basic UMID"},
    {"loudness-in-old-version", "warning", "tech3285", "EBU Tech 3285: Versions 0 and 1 reserve the loudness bytes", "loudness values in a Version 1 chunk"},
    {"loudness-range", "warning", "tech3285", "EBU Tech 3285 version 2: each value from -99.99 to 99.99 (a range from 0.00), or 7FFFh when not measured", "the -120.00 dBTP some DAWs write for silence"},
    {"reserved-not-zero", "warning", "tech3285", "EBU Tech 3285: the reserved bytes are zero", "a byte 01h among the reserved 180"},
    {"coding-history", "error", "r98", "EBU R 98: lines of A=,F=,B=,W=,M=,T= in that order, each ended by CR LF", "A=PCM,F=48000 ended by LF alone"},
    {"coding-history-unusual", "warning", "r98", "EBU R 98 lists the keys A, F, B, W, M and T and keeps commas out of T=; field recorders add keys", "R=48000 after F=48000"},
    {"originator-reference-empty", "warning", "r99", "EBU R 99: the reference names the file's origin", "an empty OriginatorReference"},
    {"originator-reference", "warning", "r99", "EBU R 99 recommends country, organisation, serial number, time of origin, random number; EBU Tech 3285 leaves the field free", "a DAW's 12 random letters"},
    {"fadgi-date", "error", "fadgi", "FADGI: the date is yyyy, yyyy-mm or yyyy-mm-dd", "2024-2"},
    {"fadgi-originator", "warning", "fadgi", "FADGI: the Originator is a country code and an organisation, such as US, NARA", "National Archives"},
    {"info-not-ascii", "note", "tech3285", "RIFF INFO: the entries are text of the system's code page, usually ASCII", "a UTF-8 title in INAM"},
    {"fadgi-iarl", "warning", "fadgi", "FADGI: INFO IARL names the same archive as the Originator", "IARL US, LOC beside Originator US, NARA"},
    // iXML and the timecode, always checked.
    {"ixml-too-large", "warning", "always", "bextkit's bound: iXML is read up to 16 MiB, 50,000 elements, 64 levels", "an iXML chunk of 20 MiB"},
    {"ixml-not-well-formed", "error", "always", "iXML: the chunk holds a well-formed XML document", "an element never closed"},
    {"time-reference-beyond-day", "warning", "always", "EBU Tech 3285: the time reference counts samples since midnight", "a time reference of 25 hours"},
    {"time-reference-off-frame", "warning", "always", "Practice: a take starts on a frame at the rate the file states", "960 samples past 01:00:00:00 at 25 fps"},
    {"time-reference-near-frame", "note", "always", "Practice: jam-synced recorders stamp a take up to a millisecond past its frame's start", "7 samples past 01:00:00:00 at 25 fps, 48 kHz"},
    {"time-reference-off-every-rate", "note", "always", "Practice: a time reference lies on the frame grid of some SMPTE rate", "172800007 samples with no rate stated"},
    {"ixml-time-reference-differs", "warning", "always", "iXML: TIMESTAMP_SAMPLES_SINCE_MIDNIGHT and BWF_TIME_REFERENCE copy the bext chunk's", "an iXML time stamp of another take"},
    {"ixml-sample-rate-differs", "warning", "always", "iXML: SPEED/FILE_SAMPLE_RATE is the rate of the file's audio", "FILE_SAMPLE_RATE 44100 in a 48 kHz file"},
    {"ixml-track-count", "warning", "always", "iXML: TRACK_LIST lists each channel of the file", "one TRACK in a stereo file"},
    {"ixml-rate-differs", "warning", "always", "Practice: iXML's TIMECODE_RATE and the description's speed line state one rate", "25/1 in iXML, sSPEED=029.970-DF in the description"},
}};
// clang-format on

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool knownCode(std::string_view code, std::string& error) {
  if (std::any_of(kRules.begin(), kRules.end(), [code](const Rule& r) { return r.code == code; })) {
    return true;
  }
  error =
      code.empty() ? "expected a rule's code" : "no rule has the code '" + std::string(code) + "'";
  return false;
}

}  // namespace

std::span<const Rule> rules() { return kRules; }

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

bool Policy::weigh(std::string_view weighting, std::string& error) {
  const size_t equals = weighting.find('=');
  const std::string_view code = trimmed(weighting.substr(0, equals));
  if (equals == std::string_view::npos) {
    error = "expected CODE=error, CODE=warning or CODE=note, got '" + std::string(weighting) + "'";
    return false;
  }
  if (!knownCode(code, error)) return false;
  const std::string_view level = trimmed(weighting.substr(equals + 1));
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

bool readPolicyFile(const std::string& path, Policy& policy, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (!file || !(text << file.rdbuf())) {
    error = path + ": cannot be read";
    return false;
  }
  if (policy.read(text.str(), error)) return true;
  error = path + ": " + error;
  return false;
}

std::optional<Policy> houseRulesOf(const std::string& file, std::string& error) {
  Policy policy;
  std::error_code ignored;
  if (const std::string user = userPolicyFile();
      std::filesystem::exists(user, ignored) && !readPolicyFile(user, policy, error)) {
    return std::nullopt;
  }
  if (const std::optional<std::string> nearest = policyFileFor(file)) {
    Policy folder;
    if (!readPolicyFile(*nearest, folder, error)) return std::nullopt;
    policy.add(folder);
  }
  return policy;
}

}  // namespace bextkit::check
