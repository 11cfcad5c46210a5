#include "check/FieldRules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "bwf/ByteOrder.h"

namespace bextkit::check {

namespace {

// The fields of a bext payload, at offsets from its first byte.
struct Field {
  const char* name;
  size_t offset;
  size_t width;
  constexpr size_t end() const { return offset + width; }
};

constexpr Field kDescription{"Description", 0, 256};
constexpr Field kOriginator{"Originator", 256, 32};
constexpr Field kOriginatorReference{"OriginatorReference", 288, 32};
constexpr Field kOriginationDate{"OriginationDate", 320, 10};
constexpr Field kOriginationTime{"OriginationTime", 330, 8};
constexpr Field kTimeReference{"TimeReference", 338, 8};
constexpr Field kVersion{"Version", 346, 2};
constexpr Field kUmid{"UMID", 348, 64};
constexpr Field kLoudnessValue{"LoudnessValue", 412, 2};
constexpr Field kLoudnessRange{"LoudnessRange", 414, 2};
constexpr Field kMaxTruePeakLevel{"MaxTruePeakLevel", 416, 2};
constexpr Field kMaxMomentaryLoudness{"MaxMomentaryLoudness", 418, 2};
constexpr Field kMaxShortTermLoudness{"MaxShortTermLoudness", 420, 2};
constexpr Field kReserved{"Reserved", 422, 180};
constexpr Field kLoudness{"loudness fields", 412, 10};    // LoudnessValue to MaxShortTermLoudness
constexpr Field kCodingHistory{"CodingHistory", 602, 0};  // to the end of the payload

constexpr std::array<Field, 14> kFixedFields = {kDescription,
                                                kOriginator,
                                                kOriginatorReference,
                                                kOriginationDate,
                                                kOriginationTime,
                                                kTimeReference,
                                                kVersion,
                                                kUmid,
                                                kLoudnessValue,
                                                kLoudnessRange,
                                                kMaxTruePeakLevel,
                                                kMaxMomentaryLoudness,
                                                kMaxShortTermLoudness,
                                                kReserved};

constexpr bool fixedFieldsTile() {
  size_t next = 0;
  for (const Field& field : kFixedFields) {
    if (field.offset != next) return false;
    next = field.end();
  }
  return next == kCodingHistory.offset;
}
static_assert(fixedFieldsTile(), "the fixed fields must follow one another up to CodingHistory");

constexpr uint16_t kLoudnessUnset = 0x7FFF;
constexpr uint8_t kUmidBasicLength = 0x13, kUmidExtendedLength = 0x33;
constexpr size_t kUmidLabelSize = 12, kUmidLengthByte = 12, kUmidBasicSize = 32;
// The UMID's universal label; bytes 7 (the label's version), 10 (the material type) and 11 (how
// the material and instance numbers were made) differ from writer to writer.
constexpr std::array<uint8_t, kUmidLabelSize> kUmidLabel = {0x06, 0x0A, 0x2B, 0x34, 0x01, 0x01,
                                                            0x01, 0x00, 0x01, 0x01, 0x00, 0x00};
constexpr std::array<bool, kUmidLabelSize> kUmidLabelFixed = {
    true, true, true, true, true, true, true, false, true, true, false, false};

// Coding history problems past this many are reported as one count, so that a chunk full of
// binary data does not bury the other findings.
constexpr size_t kMostHistoryFindings = 20;

// ISO 3166-1 alpha-2 country codes as assigned, two letters each.
constexpr std::string_view kCountries =
    "ADAEAFAGAIALAMAOAQARASATAUAWAXAZBABBBDBEBFBGBHBIBJBLBMBNBOBQBRBSBTBVBWBYBZCACCCDCFCGCHCI"
    "CKCLCMCNCOCRCUCVCWCXCYCZDEDJDKDMDODZECEEEGEHERESETFIFJFKFMFOFRGAGBGDGEGFGGGHGIGLGMGNGPGQ"
    "GRGSGTGUGWGYHKHMHNHRHTHUIDIEILIMINIOIQIRISITJEJMJOJPKEKGKHKIKMKNKPKRKWKYKZLALBLCLILKLRLS"
    "LTLULVLYMAMCMDMEMFMGMHMKMLMMMNMOMPMQMRMSMTMUMVMWMXMYMZNANCNENFNGNINLNONPNRNUNZOMPAPEPFPG"
    "PHPKPLPMPNPRPSPTPWPYQARERORSRURWSASBSCSDSESGSHSISJSKSLSMSNSOSRSSSTSVSXSYSZTCTDTFTGTHTJTK"
    "TLTMTNTOTRTTTVTWTZUAUGUMUSUYUZVAVCVEVGVIVNVUWFWSYEYTZAZMZW";
static_assert(kCountries.size() == 2 * 249, "249 country codes");

constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isAlnum(char c) { return isDigit(c) || isUpper(c) || (c >= 'a' && c <= 'z'); }
bool isPrintable(char c) { return c >= 0x20 && c <= 0x7E; }

bool isCountryCode(std::string_view code) {
  if (code.size() != 2) return false;
  for (size_t i = 0; i < kCountries.size(); i += 2) {
    if (kCountries.substr(i, 2) == code) return true;
  }
  return false;
}

std::string hexByte(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// A value in double quotes, with anything not printable spelt as an escape, cut after `limit`.
std::string shown(std::string_view text, size_t limit = 48) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    const char c = text[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (isPrintable(c)) {
      out += c;
    } else if (c == '\r' || c == '\n' || c == '\t') {
      out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
    } else {
      out += "\\x" + hexByte(static_cast<uint8_t>(c)).substr(2);
    }
  }
  if (text.size() > limit) out += "...";
  return out + "\"";
}

std::string shownChar(char c) {
  return isPrintable(c) ? std::string{'\'', c, '\''} : hexByte(static_cast<uint8_t>(c));
}

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

unsigned numberAt(std::string_view text, size_t at, size_t width) {
  unsigned value = 0;
  for (size_t i = at; i < at + width; ++i) value = value * 10 + unsigned(text[i] - '0');
  return value;
}

std::string twoDigits(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u", value);
  return text;
}

// Why `text` does not have the shape of `form`, whose letters stand for digits and whose other
// characters stand for themselves ("yyyy-mm-dd", "hhmmss").
std::optional<std::string> whyNotForm(std::string_view text, std::string_view form) {
  if (text.size() != form.size()) {
    return "it has " + std::to_string(text.size()) + " characters where " + std::string(form) +
           " has " + std::to_string(form.size());
  }
  for (size_t i = 0; i < form.size(); ++i) {
    const bool digit = form[i] >= 'a' && form[i] <= 'z';
    if (digit ? isDigit(text[i]) : text[i] == form[i]) continue;
    return "character " + std::to_string(i + 1) + " should be " +
           (digit ? std::string("a digit") : shownChar(form[i])) + ", not " + shownChar(text[i]);
  }
  return std::nullopt;
}

// A date or time that is not of its form, or of its form but naming no real day or moment.
enum class Fault { kForm, kRange };
struct Problem {
  Fault fault;
  std::string reason;
};

bool isLeapYear(unsigned year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

unsigned daysInMonth(unsigned year, unsigned month) {
  static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<std::string> whyNotMonth(unsigned month) {
  if (month >= 1 && month <= 12) return std::nullopt;
  return "month " + twoDigits(month) + " is not between 01 and 12";
}

std::optional<Problem> dateProblem(std::string_view text) {
  if (auto form = whyNotForm(text, "yyyy-mm-dd")) return Problem{Fault::kForm, *form};
  const unsigned year = numberAt(text, 0, 4), month = numberAt(text, 5, 2),
                 day = numberAt(text, 8, 2);
  if (auto bad = whyNotMonth(month)) return Problem{Fault::kRange, *bad};
  if (day >= 1 && day <= daysInMonth(year, month)) return std::nullopt;
  return Problem{Fault::kRange, "day " + twoDigits(day) + " does not exist in " +
                                    kMonths[month - 1] + " " + std::string(text.substr(0, 4))};
}

// A time of day as hh:mm:ss, or as hhmmss when `form` says so.
std::optional<Problem> timeProblem(std::string_view text, std::string_view form = "hh:mm:ss") {
  if (auto bad = whyNotForm(text, form)) return Problem{Fault::kForm, *bad};
  const size_t step = form.size() == 8 ? 3 : 2;
  static constexpr std::array<std::pair<const char*, unsigned>, 3> kLargest = {
      {{"hour", 23}, {"minute", 59}, {"second", 59}}};
  for (size_t i = 0; i < kLargest.size(); ++i) {
    const unsigned value = numberAt(text, i * step, 2);
    if (value > kLargest[i].second) {
      return Problem{Fault::kRange, std::string("the ") + kLargest[i].first + " " +
                                        twoDigits(value) + " is not between 00 and " +
                                        twoDigits(kLargest[i].second)};
    }
  }
  return std::nullopt;
}

// Older writers separate the numbers of a date or a time with another of '-', '_', ':', ' ' and
// '.', which readers accept. The value with `wanted` in those places when it differs from `text`.
std::optional<std::string> withSeparator(std::string_view text, std::array<size_t, 2> places,
                                         char wanted) {
  static constexpr std::string_view kSeparators = "-_: .";
  std::string fixed(text);
  for (size_t at : places) {
    if (at >= fixed.size() || kSeparators.find(fixed[at]) == std::string_view::npos) {
      return std::nullopt;
    }
    fixed[at] = wanted;
  }
  if (fixed == text) return std::nullopt;
  return fixed;
}

// The keys of a coding history line, in their order, and a bit for each.
constexpr std::string_view kHistoryKeys = "AFBWMT";
constexpr unsigned keyBit(char key) { return 1u << kHistoryKeys.find(key); }

std::vector<std::string> historyLineProblems(std::string_view line) {
  static constexpr std::array<std::string_view, 8> kAlgorithms = {
      "ANALOGUE", "PCM", "MPEG1L1", "MPEG1L2", "MPEG1L3", "MPEG2L1", "MPEG2L2", "MPEG2L3"};
  static constexpr std::array<std::string_view, 5> kModes = {"mono", "stereo", "dual-mono",
                                                             "joint-stereo", "multitrack"};
  std::vector<std::string> problems;
  if (line.empty()) return {"is empty"};
  if (line.find('\r') != std::string_view::npos) {
    return {"holds a CR that no LF follows; each line ends with CR LF"};
  }
  unsigned seen = 0;  // the keys met so far
  size_t last = 0;    // one past the latest key's place in the order
  std::string_view algorithm, bitRate;
  for (size_t start = 0; start <= line.size();) {
    if (seen & keyBit('T')) {
      problems.push_back("has a comma in its T= text, which starts another key; T comes last");
      break;
    }
    const size_t comma = std::min(line.find(',', start), line.size());
    const std::string_view item = line.substr(start, comma - start);
    start = comma + 1;
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      problems.push_back("holds " + shown(item) + ", which is not a key=value pair");
      continue;
    }
    const size_t place = equals == 1 ? kHistoryKeys.find(item[0]) : std::string_view::npos;
    if (place == std::string_view::npos) {
      problems.push_back("holds the key " + shown(item.substr(0, equals)) +
                         ", which is not one of A, F, B, W, M and T");
      continue;
    }
    const char key = item[0];
    const std::string_view value = item.substr(2);
    if (seen & (1u << place)) {
      problems.push_back("names the key " + std::string(1, key) + " twice");
    } else if (place + 1 < last) {
      problems.push_back("puts " + std::string(1, key) + " after " +
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
          problems.push_back("gives " + given +
                             ", which is not a coding algorithm (ANALOGUE, PCM, MPEG1L1 to "
                             "MPEG1L3 or MPEG2L1 to MPEG2L3)");
        }
        break;
      case 'F':
        if (!allDigits(value)) {
          problems.push_back("gives " + given + ", which is not a sampling frequency in Hz");
        }
        break;
      case 'B':
        bitRate = value;
        if (!allDigits(value)) {
          problems.push_back("gives " + given + ", which is not a bit rate in kbit/s");
        }
        break;
      case 'W':
        if (!allDigits(value)) {
          problems.push_back("gives " + given + ", which is not a word length in bits");
        }
        break;
      case 'M': {
        std::string lower(value);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; });
        if (std::find(kModes.begin(), kModes.end(), lower) == kModes.end()) {
          problems.push_back("gives " + given +
                             ", which is not a mode (mono, stereo, dual-mono, joint-stereo or "
                             "multitrack)");
        }
        break;
      }
      default:  // T: free text
        break;
    }
  }
  if (!(seen & keyBit('A'))) problems.push_back("has no A= (the coding algorithm)");
  if ((seen & keyBit('B')) && (algorithm == "PCM" || algorithm == "ANALOGUE")) {
    problems.push_back("gives a bit rate B=" + shown(bitRate) +
                       ", which only MPEG coding has, for A=" + std::string(algorithm));
  }
  return problems;
}

// The checks of one bext payload, each appending its findings.
class BextRules {
 public:
  BextRules(const BextView& bext, Findings& out) : bext_(bext), out_(out) {}

  bool has(const Field& field) const { return bext_.payload.size() >= field.end(); }
  std::string_view bytes(const Field& field) const {
    return {reinterpret_cast<const char*>(bext_.payload.data()) + field.offset, field.width};
  }
  // The field's text: its bytes up to the first NUL.
  std::string_view text(const Field& field) const {
    const std::string_view all = bytes(field);
    return all.substr(0, all.find('\0'));
  }
  uint16_t load16(const Field& field) const {
    return bext_.bigEndian ? loadBE16(bext_.payload.data(), field.offset)
                           : loadLE16(bext_.payload.data(), field.offset);
  }
  void add(const char* code, Severity severity, const Field& field, std::string text) {
    out_.push_back({code, severity, bext_.offset + field.offset, std::move(text)});
  }
  uint64_t fileOffset(size_t payloadOffset) const { return bext_.offset + payloadOffset; }

  void tech3285() {
    if (!has(kReserved)) {
      const Field* missing = std::find_if(kFixedFields.begin(), kFixedFields.end(),
                                          [&](const Field& field) { return !has(field); });
      add("bext-too-short", Severity::kError, *missing,
          "The bext chunk holds " + std::to_string(bext_.payload.size()) +
              " bytes where its fixed fields take 602, so the fields from the " + missing->name +
              " on are missing.");
    }
    for (const Field& field :
         {kDescription, kOriginator, kOriginatorReference, kOriginationDate, kOriginationTime}) {
      if (has(field)) textBytes(field, field.offset == kDescription.offset);
    }
    if (bext_.payload.size() > kCodingHistory.offset) {
      afterNul(Field{kCodingHistory.name, kCodingHistory.offset,
                     bext_.payload.size() - kCodingHistory.offset});
    }
    if (has(kOriginationDate)) dateOrTime(kOriginationDate, "yyyy-mm-dd", {4, 7}, '-');
    if (has(kOriginationTime)) dateOrTime(kOriginationTime, "hh:mm:ss", {2, 5}, ':');
    if (!has(kVersion)) return;
    const uint16_t version = load16(kVersion);
    if (version > 2) {
      add("version-unknown", Severity::kError, kVersion,
          "The Version is " + std::to_string(version) + "; it should be 0, 1 or 2.");
    }
    if (has(kUmid)) umid(version);
    if (has(kMaxShortTermLoudness)) loudness(version);
    if (has(kReserved)) {
      const std::string_view reserved = bytes(kReserved);
      const size_t at = reserved.find_first_not_of('\0');
      if (at != std::string_view::npos) {
        add("reserved-not-zero", Severity::kWarning, kReserved,
            "The Reserved bytes hold " + hexByte(static_cast<uint8_t>(reserved[at])) +
                " at offset " + std::to_string(fileOffset(kReserved.offset + at)) +
                "; they should all be zero.");
      }
    }
  }

  void r98() {
    if (bext_.payload.size() <= kCodingHistory.offset) return;
    std::string_view history(reinterpret_cast<const char*>(bext_.payload.data()),
                             bext_.payload.size());
    history.remove_prefix(kCodingHistory.offset);
    history = history.substr(0, history.find('\0'));
    const std::vector<LineProblem> problems = codingHistoryProblems(history);
    for (size_t i = 0; i < problems.size() && i < kMostHistoryFindings; ++i) {
      add("coding-history", Severity::kError, kCodingHistory,
          "Line " + std::to_string(problems[i].line) + " of the CodingHistory " +
              problems[i].reason + ".");
    }
    if (problems.size() > kMostHistoryFindings) {
      add("coding-history", Severity::kError, kCodingHistory,
          "The CodingHistory has " + std::to_string(problems.size() - kMostHistoryFindings) +
              " more problems, from line " + std::to_string(problems[kMostHistoryFindings].line) +
              " on.");
    }
  }

  void r99() {
    if (!has(kOriginatorReference)) return;
    const std::string_view reference = text(kOriginatorReference);
    if (reference.empty()) {
      add("originator-reference-empty", Severity::kWarning, kOriginatorReference,
          "The OriginatorReference is empty; EBU R 99 fills it with a country, an organisation, "
          "a serial number, a time of origin and a random number.");
    } else if (auto why = whyNotOriginatorReference(reference)) {
      add("originator-reference", Severity::kError, kOriginatorReference,
          "The OriginatorReference " + shown(reference) + " is not an EBU R 99 reference: " + *why +
              ".");
    }
  }

  void fadgi() {
    if (has(kOriginationDate)) {
      if (auto why = whyNotFadgiDate(text(kOriginationDate))) {
        add("fadgi-date", Severity::kError, kOriginationDate,
            "The OriginationDate " + shown(text(kOriginationDate)) +
                " is not a FADGI date (yyyy, yyyy-mm or yyyy-mm-dd): " + *why + ".");
      }
    }
    if (has(kOriginator)) {
      if (auto why = whyNotFadgiOriginator(text(kOriginator))) {
        add("fadgi-originator", Severity::kWarning, kOriginator,
            "The Originator " + shown(text(kOriginator)) +
                " is not in the FADGI form \"US, NARA\" (country code, comma, space, "
                "organisation): " +
                *why + ".");
      }
    }
  }

 private:
  void textBytes(const Field& field, bool controlsAllowed) {
    const std::string_view value = text(field);
    const auto bad = std::find_if(value.begin(), value.end(), [&](char c) {
      return !isPrintable(c) && !(controlsAllowed && (c == '\r' || c == '\n' || c == '\t'));
    });
    if (bad != value.end()) {
      const size_t at = field.offset + static_cast<size_t>(bad - value.begin());
      add("text-not-ascii", Severity::kWarning, field,
          std::string("The ") + field.name + " holds byte " + hexByte(static_cast<uint8_t>(*bad)) +
              " at offset " + std::to_string(fileOffset(at)) +
              ", which is not printable ASCII; other programs may show it as another character.");
    }
    afterNul(field);
  }

  // Bytes left behind a text's terminating NUL: most readers stop at the NUL and never show
  // them, yet they travel with the file.
  void afterNul(const Field& field) {
    const std::string_view all = bytes(field);
    const size_t nul = all.find('\0');
    if (nul == std::string_view::npos) return;
    const size_t first = all.find_first_not_of('\0', nul);
    if (first == std::string_view::npos) return;
    const auto count = std::count_if(all.begin() + static_cast<std::ptrdiff_t>(first), all.end(),
                                     [](char c) { return c != '\0'; });
    add("bytes-after-nul", Severity::kWarning, field,
        std::string("The ") + field.name + " holds " + std::to_string(count) + " non-NUL byte" +
            (count == 1 ? "" : "s") + " after its terminating NUL, the first at offset " +
            std::to_string(fileOffset(field.offset + first)) +
            "; most readers stop at the NUL and never show what follows, yet it stays in the "
            "file.");
  }

  void dateOrTime(const Field& field, std::string_view form, std::array<size_t, 2> separators,
                  char separator) {
    const std::string_view value = text(field);
    if (value.empty()) return;
    const bool isDate = field.offset == kOriginationDate.offset;
    const std::optional<std::string> fixed = withSeparator(value, separators, separator);
    if (fixed) {
      const char used = value[value[separators[0]] != separator ? separators[0] : separators[1]];
      add(isDate ? "date-separator" : "time-separator", Severity::kNote, field,
          std::string("The ") + field.name + " " + shown(value) + " separates its fields with " +
              shownChar(used) + " where " + std::string(form) + " has " + shownChar(separator) +
              "; most readers accept it.");
    }
    const std::string_view checked = fixed ? std::string_view(*fixed) : value;
    const std::optional<Problem> problem = isDate ? dateProblem(checked) : timeProblem(checked);
    if (!problem) return;
    const bool form_ = problem->fault == Fault::kForm;
    const char* code = isDate ? (form_ ? "date-form" : "date-no-such-day")
                              : (form_ ? "time-form" : "time-out-of-range");
    add(code, Severity::kError, field,
        std::string("The ") + field.name + " " + shown(value) +
            (form_ ? " is not in the form " + std::string(form)
                   : std::string(isDate ? " is not a real date" : " is not a time of day")) +
            ": " + problem->reason + ".");
  }

  void umid(uint16_t version) {
    const std::string_view umid = bytes(kUmid);
    if (umid.find_first_not_of('\0') == std::string_view::npos) return;
    if (version == 0) {
      add("umid-in-version-0", Severity::kWarning, kUmid,
          "The UMID bytes are not zero, but Version 0 reserves them; a UMID needs Version 1 or "
          "2.");
      return;
    }
    std::string begins;
    bool labelled = true;
    for (size_t i = 0; i < kUmidLabelSize; ++i) {
      const auto byte = static_cast<uint8_t>(umid[i]);
      labelled = labelled && (!kUmidLabelFixed[i] || byte == kUmidLabel[i]);
      begins += (i ? " " : "") + hexByte(byte).substr(2);
    }
    if (!labelled) {
      add("umid-label", Severity::kError, kUmid,
          "The UMID begins " + begins +
              " where a UMID begins with the universal label 06 0A 2B 34 01 01 01 xx 01 01 xx "
              "xx.");
      return;
    }
    const auto length = static_cast<uint8_t>(umid[kUmidLengthByte]);
    if (length == kUmidBasicLength) {
      const size_t extra = umid.find_first_not_of('\0', kUmidBasicSize);
      if (extra != std::string_view::npos) {
        add("umid-length", Severity::kError, kUmid,
            "The UMID's length byte 0x13 makes it a basic 32-byte UMID, but its byte " +
                std::to_string(extra) + " (offset " +
                std::to_string(fileOffset(kUmid.offset + extra)) +
                ") is not zero; the 32 bytes after a basic UMID should be zero.");
      }
    } else if (length != kUmidExtendedLength) {
      add("umid-length", Severity::kError, kUmid,
          "The UMID's length byte is " + hexByte(length) +
              "; it should be 0x13 for a basic 32-byte UMID or 0x33 for an extended 64-byte "
              "one.");
    }
  }

  void loudness(uint16_t version) {
    if (version < 2) {
      if (bytes(kLoudness).find_first_not_of('\0') != std::string_view::npos) {
        add("loudness-in-old-version", Severity::kWarning, kLoudnessValue,
            "The loudness fields are not zero, but Version " + std::to_string(version) +
                " reserves those bytes; loudness values need Version 2.");
      }
      return;
    }
    static constexpr std::array<std::pair<Field, const char*>, 5> kUnits = {
        {{kLoudnessValue, "LUFS"},
         {kLoudnessRange, "LU"},
         {kMaxTruePeakLevel, "dBTP"},
         {kMaxMomentaryLoudness, "LUFS"},
         {kMaxShortTermLoudness, "LUFS"}}};
    for (const auto& [field, unit] : kUnits) {
      const uint16_t raw = load16(field);
      if (raw == kLoudnessUnset) continue;
      const int value = raw < 0x8000 ? int{raw} : int{raw} - 0x10000;
      const int lowest = field.offset == kLoudnessRange.offset ? 0 : -9999;
      if (value >= lowest && value <= 9999) continue;
      const unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
      add("loudness-range", Severity::kError, field,
          std::string("The ") + field.name + " is " + (value < 0 ? "-" : "") +
              std::to_string(magnitude / 100) + "." + twoDigits(magnitude % 100) + " " + unit +
              ", outside " + (lowest ? "-99.99" : "0.00") +
              " to 99.99; it should be in that range, or 0x7FFF when not measured.");
    }
  }

  const BextView& bext_;
  Findings& out_;
};

}  // namespace

void checkBext(const BextView& bext, unsigned ruleSets, Findings& out) {
  BextRules rules(bext, out);
  if (ruleSets & kTech3285) rules.tech3285();
  if (ruleSets & kR98) rules.r98();
  if (ruleSets & kR99) rules.r99();
  if (ruleSets & kFadgi) rules.fadgi();
}

void checkInfo(const std::vector<InfoEntry>& info, const BextView* bext, unsigned ruleSets,
               Findings& out) {
  for (const InfoEntry& entry : info) {
    const auto bad = std::find_if(entry.value.begin(), entry.value.end(), [](char c) {
      return !isPrintable(c) && c != '\r' && c != '\n' && c != '\t';
    });
    if ((ruleSets & kTech3285) && bad != entry.value.end()) {
      out.push_back({"info-not-ascii", Severity::kNote, entry.offset,
                     "The INFO entry " + shown(entry.id) + " holds byte " +
                         hexByte(static_cast<uint8_t>(*bad)) + " at position " +
                         std::to_string(bad - entry.value.begin() + 1) +
                         " of its text, which is not printable ASCII; other programs may show it "
                         "as another character."});
    }
    if ((ruleSets & kFadgi) && entry.id == "IARL" && bext) {
      const BextRules rules(*bext, out);
      const std::string_view originator = rules.has(kOriginator) ? rules.text(kOriginator) : "";
      if (entry.value != originator) {
        out.push_back({"fadgi-iarl", Severity::kWarning, entry.offset,
                       "The INFO IARL " + shown(entry.value) + " differs from the Originator " +
                           shown(originator) +
                           "; FADGI asks for the same archival location in "
                           "both."});
      }
    }
  }
}

std::optional<std::string> whyNotDate(std::string_view text) {
  if (auto problem = dateProblem(text)) return problem->reason;
  return std::nullopt;
}

std::optional<std::string> whyNotTime(std::string_view text) {
  if (auto problem = timeProblem(text)) return problem->reason;
  return std::nullopt;
}

std::optional<std::string> whyNotFadgiDate(std::string_view text) {
  switch (text.size()) {
    case 0:
      return "it is empty";
    case 4:
      return whyNotForm(text, "yyyy");
    case 7:
      if (auto bad = whyNotForm(text, "yyyy-mm")) return bad;
      return whyNotMonth(numberAt(text, 5, 2));
    case 10:
      return whyNotDate(text);
    default:
      return "it has " + std::to_string(text.size()) +
             " characters where yyyy, yyyy-mm and yyyy-mm-dd have 4, 7 and 10";
  }
}

std::optional<std::string> whyNotFadgiOriginator(std::string_view text) {
  if (text.empty()) return "it is empty";
  if (text.size() < 2 || !isUpper(text[0]) || !isUpper(text[1])) {
    return "it does not begin with a country code of two upper-case letters";
  }
  if (!isCountryCode(text.substr(0, 2))) {
    return shown(text.substr(0, 2)) + " is not an ISO 3166 country code";
  }
  if (text.size() < 4 || text.substr(2, 2) != ", ") {
    return "the country code should be followed by a comma and a space";
  }
  const std::string_view organisation = text.substr(4);
  if (organisation.empty()) return "the organisation after the comma is missing";
  const auto bad = std::find_if(organisation.begin(), organisation.end(), [](char c) {
    return !isAlnum(c) && c != ' ' && c != '-' && c != '.' && c != '/';
  });
  if (bad == organisation.end()) return std::nullopt;
  return "the organisation holds " + shownChar(*bad) +
         " where it has letters, digits, spaces, hyphens, periods and slashes";
}

std::optional<std::string> whyNotOriginatorReference(std::string_view text) {
  constexpr size_t kLength = 32;
  if (text.size() != kLength) {
    return "it has " + std::to_string(text.size()) + " characters where a reference has 32";
  }
  const auto chars = [&](size_t at, size_t width) {
    return "characters " + std::to_string(at + 1) + " to " + std::to_string(at + width) + ", " +
           shown(text.substr(at, width)) + ",";
  };
  const auto all = [&](size_t at, size_t width, bool (*test)(char)) {
    const std::string_view value = text.substr(at, width);
    return std::all_of(value.begin(), value.end(), test);
  };
  if (!all(0, 2, isUpper)) return chars(0, 2) + " should be a country code in upper-case letters";
  if (!isCountryCode(text.substr(0, 2))) return chars(0, 2) + " are not an ISO 3166 country code";
  if (!all(2, 3, isAlnum))
    return chars(2, 3) + " should be an organisation code of letters or digits";
  if (!all(5, 12, isAlnum)) return chars(5, 12) + " should be a serial number of letters or digits";
  if (auto problem = timeProblem(text.substr(17, 6), "hhmmss")) {
    return chars(17, 6) + (problem->fault == Fault::kForm
                               ? " should be a time of origin hhmmss in digits"
                               : " are not a time of origin, as " + problem->reason);
  }
  if (!all(23, 9, isDigit)) return chars(23, 9) + " should be a random number of 9 digits";
  return std::nullopt;
}

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
    for (std::string& reason : historyLineProblems(content)) {
      problems.push_back({line, std::move(reason)});
    }
  }
  return problems;
}

}  // namespace bextkit::check
