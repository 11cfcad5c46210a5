#include "check/BextRules.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "check/CodingHistory.h"
#include "check/ValueRules.h"

namespace bextkit::check {

namespace {

using F = BextField;

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

// The loudness values a field may hold, in hundredths: the loudness range is never negative.
constexpr int kLoudnessHighest = 9999;
int lowestLoudness(BextField field) { return field == F::kLoudnessRange ? 0 : -9999; }

// Why a loudness value (hundredths of its unit) lies outside its field's range, or nothing.
std::optional<std::string> loudnessOutsideRange(BextField field, int32_t hundredths) {
  if (hundredths == BextRecord::kNotMeasured) return std::nullopt;
  const int lowest = lowestLoudness(field);
  if (hundredths >= lowest && hundredths <= kLoudnessHighest) return std::nullopt;
  const auto magnitude = static_cast<unsigned>(hundredths < 0 ? -hundredths : hundredths);
  return std::string("The ") + fieldName(field) + " is " + (hundredths < 0 ? "-" : "") +
         std::to_string(magnitude / 100) + "." + twoDigits(magnitude % 100) + " " +
         loudnessUnit(field) + ", outside " + (lowest ? "-99.99" : "0.00") +
         " to 99.99; it should be in that range, or 0x7FFF when not measured";
}

std::string_view textOf(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

// The checks of one record, each appending its findings.
class BextRules {
 public:
  BextRules(const BextRecord& bext, unsigned sets, Findings& out)
      : bext_(bext), sets_(sets), out_(out) {}

  void tooShort() {
    if (!(sets_ & kTech3285) || bext_.holds(F::kReserved)) return;
    F missing = F::kDescription;
    while (bext_.holds(missing)) missing = static_cast<F>(static_cast<size_t>(missing) + 1);
    const size_t payload = bext_.bytes.size() - std::min(bext_.bytes.size(), BWFChunk::kHeaderSize);
    add("bext-too-short", Severity::kError, missing,
        "The bext chunk holds " + std::to_string(payload) + " bytes where its fixed fields take " +
            std::to_string(BextRecord::kFixedSize - BWFChunk::kHeaderSize) +
            ", so the fields from the " + fieldName(missing) + " on are missing.");
  }

  void field(F f) {
    if (!bext_.holds(f)) return;
    const bool tech = sets_ & kTech3285;
    switch (f) {
      case F::kDescription:
        if (tech) textBytes(f, true);
        break;
      case F::kOriginator:
        if (tech) textBytes(f, false);
        if (sets_ & kFadgi) fadgiOriginator();
        break;
      case F::kOriginatorReference:
        if (tech) textBytes(f, false);
        if (sets_ & kR99) r99();
        break;
      case F::kOriginationDate:
      case F::kOriginationTime:
        if (tech) {
          textBytes(f, false);
          dateOrTime(f);
        }
        if (f == F::kOriginationDate && (sets_ & kFadgi)) fadgiDate();
        break;
      case F::kVersion:
        if (tech && *bext_.version > 2) {
          add("version-unknown", Severity::kError, f,
              "The Version is " + std::to_string(*bext_.version) + "; it should be 0, 1 or 2.");
        }
        break;
      case F::kUmid:
        if (tech) umid();
        break;
      case F::kLoudnessValue:
      case F::kLoudnessRange:
      case F::kMaxTruePeakLevel:
      case F::kMaxMomentaryLoudness:
      case F::kMaxShortTermLoudness:
        if (tech) loudness(f);
        break;
      case F::kReserved:
        if (tech) reserved();
        break;
      case F::kCodingHistory:
        if (tech) afterNul(f);
        if (sets_ & kR98) r98();
        break;
      case F::kTimeReference:
        break;
    }
  }

  std::string_view text(F f) const { return textOf(bext_.fieldBytes(f)); }

 private:
  void add(const char* code, Severity severity, F f, std::string text) {
    out_.push_back({code, severity, bext_.fileOffset(f), std::move(text)});
  }

  void textBytes(F f, bool controlsAllowed) {
    const std::string_view value = text(f);
    const auto bad = std::find_if(value.begin(), value.end(), [&](char c) {
      return !isPrintable(c) && !(controlsAllowed && (c == '\r' || c == '\n' || c == '\t'));
    });
    if (bad != value.end()) {
      const auto at = static_cast<uint64_t>(bad - value.begin());
      add("text-not-ascii", Severity::kWarning, f,
          std::string("The ") + fieldName(f) + " holds byte " +
              hexByte(static_cast<uint8_t>(*bad)) + " at offset " +
              std::to_string(bext_.fileOffset(f) + at) +
              ", which is not printable ASCII; other programs may show it as another character.");
    }
    afterNul(f);
  }

  // Bytes left behind a text's terminating NUL: most readers stop at the NUL and never show
  // them, yet they travel with the file.
  void afterNul(F f) {
    const std::string_view all = bext_.fieldBytes(f);
    const size_t nul = all.find('\0');
    if (nul == std::string_view::npos) return;
    const size_t first = all.find_first_not_of('\0', nul);
    if (first == std::string_view::npos) return;
    const auto count = std::count_if(all.begin() + static_cast<std::ptrdiff_t>(first), all.end(),
                                     [](char c) { return c != '\0'; });
    add("bytes-after-nul", Severity::kWarning, f,
        std::string("The ") + fieldName(f) + " holds " + std::to_string(count) + " non-NUL byte" +
            (count == 1 ? "" : "s") + " after its terminating NUL, the first at offset " +
            std::to_string(bext_.fileOffset(f) + first) +
            "; most readers stop at the NUL and never show what follows, yet it stays in the "
            "file.");
  }

  void dateOrTime(F f) {
    const std::string_view value = text(f);
    if (value.empty()) return;
    const bool isDate = f == F::kOriginationDate;
    const std::string_view form = isDate ? "yyyy-mm-dd" : "hh:mm:ss";
    const std::array<size_t, 2> separators =
        isDate ? std::array<size_t, 2>{4, 7} : std::array<size_t, 2>{2, 5};
    const char separator = isDate ? '-' : ':';
    const std::optional<std::string> fixed = withSeparator(value, separators, separator);
    if (fixed) {
      const char used = value[value[separators[0]] != separator ? separators[0] : separators[1]];
      add(isDate ? "date-separator" : "time-separator", Severity::kNote, f,
          std::string("The ") + fieldName(f) + " " + shown(value) + " separates its fields with " +
              shownChar(used) + " where " + std::string(form) + " has " + shownChar(separator) +
              "; most readers accept it.");
    }
    if (std::optional<ValueError> error = valueError(f, value)) {
      add(error->code, Severity::kError, f, error->text + ".");
    }
  }

  void umid() {
    const Umid& umid = *bext_.umid;
    if (std::all_of(umid.begin(), umid.end(), [](uint8_t b) { return b == 0; })) return;
    const uint16_t version = bext_.version.value_or(0);
    if (version == 0) {
      add("umid-in-version-0", Severity::kWarning, F::kUmid,
          "The UMID bytes are not zero, but Version 0 reserves them; a UMID needs Version 1 or "
          "2.");
      return;
    }
    std::string begins;
    bool labelled = true;
    for (size_t i = 0; i < kUmidLabelSize; ++i) {
      labelled = labelled && (!kUmidLabelFixed[i] || umid[i] == kUmidLabel[i]);
      begins += (i ? " " : "") + hexByte(umid[i]).substr(2);
    }
    if (!labelled) {
      add("umid-label", Severity::kWarning, F::kUmid,
          "The UMID begins " + begins +
              " where a UMID begins with the universal label 06 0A 2B 34 01 01 01 xx 01 01 xx "
              "xx.");
      return;
    }
    const uint8_t length = umid[kUmidLengthByte];
    if (length == kUmidBasicLength) {
      const auto extra =
          std::find_if(umid.begin() + kUmidBasicSize, umid.end(), [](uint8_t b) { return b != 0; });
      if (extra != umid.end()) {
        const auto at = static_cast<uint64_t>(extra - umid.begin());
        // The UMID reads whole by its length byte; what follows it is only untidy.
        add("umid-length", Severity::kWarning, F::kUmid,
            "The UMID's length byte 0x13 makes it a basic 32-byte UMID, but its byte " +
                std::to_string(at) + " (offset " + std::to_string(bext_.fileOffset(F::kUmid) + at) +
                ") is not zero; the 32 bytes after a basic UMID should be zero.");
      }
    } else if (length != kUmidExtendedLength) {
      add("umid-length", Severity::kError, F::kUmid,
          "The UMID's length byte is " + hexByte(length) +
              "; it should be 0x13 for a basic 32-byte UMID or 0x33 for an extended 64-byte "
              "one.");
    }
  }

  void loudness(F f) {
    const uint16_t version = bext_.version.value_or(0);
    if (version < 2) {
      // Before version 2 the loudness fields are reserved bytes: one finding for all five.
      if (f != F::kLoudnessValue) return;
      const bool used = std::any_of(kLoudnessFields.begin(), kLoudnessFields.end(), [&](F l) {
        const std::string_view bytes = bext_.fieldBytes(l);
        return bytes.find_first_not_of('\0') != std::string_view::npos;
      });
      if (used) {
        add("loudness-in-old-version", Severity::kWarning, f,
            "The loudness fields are not zero, but Version " + std::to_string(version) +
                " reserves those bytes; loudness values need Version 2.");
      }
      return;
    }
    const std::optional<int16_t>& raw = bext_.loudnessOf(f);
    if (!raw) return;
    if (std::optional<std::string> why = loudnessOutsideRange(f, *raw)) {
      add("loudness-range", Severity::kWarning, f, *why + ".");
    }
  }

  void reserved() {
    const std::string_view reserved = bext_.fieldBytes(F::kReserved);
    const size_t at = reserved.find_first_not_of('\0');
    if (at == std::string_view::npos) return;
    add("reserved-not-zero", Severity::kWarning, F::kReserved,
        "The Reserved bytes hold " + hexByte(static_cast<uint8_t>(reserved[at])) + " at offset " +
            std::to_string(bext_.fileOffset(F::kReserved) + at) + "; they should all be zero.");
  }

  void r98() {
    const std::vector<LineProblem> problems = codingHistoryProblems(text(F::kCodingHistory));
    const auto weigh = [](bool unusual) {
      return unusual ? std::pair("coding-history-unusual", Severity::kWarning)
                     : std::pair("coding-history", Severity::kError);
    };
    for (size_t i = 0; i < problems.size() && i < kMostHistoryFindings; ++i) {
      const auto [code, severity] = weigh(problems[i].unusual);
      add(code, severity, F::kCodingHistory,
          "Line " + std::to_string(problems[i].line) + " of the CodingHistory " +
              problems[i].reason + ".");
    }
    if (problems.size() > kMostHistoryFindings) {
      const bool unusual = std::all_of(problems.begin() + kMostHistoryFindings, problems.end(),
                                       [](const LineProblem& p) { return p.unusual; });
      const auto [code, severity] = weigh(unusual);
      add(code, severity, F::kCodingHistory,
          "The CodingHistory has " + std::to_string(problems.size() - kMostHistoryFindings) +
              " more problems, from line " + std::to_string(problems[kMostHistoryFindings].line) +
              " on.");
    }
  }

  void r99() {
    const std::string_view reference = text(F::kOriginatorReference);
    if (reference.empty()) {
      add("originator-reference-empty", Severity::kWarning, F::kOriginatorReference,
          "The OriginatorReference is empty; EBU R 99 fills it with a country, an organisation, "
          "a serial number, a time of origin and a random number.");
    } else if (auto why = whyNotOriginatorReference(reference)) {
      add("originator-reference", Severity::kWarning, F::kOriginatorReference,
          "The OriginatorReference " + shown(reference) + " is not an EBU R 99 reference: " + *why +
              ".");
    }
  }

  void fadgiDate() {
    if (auto why = whyNotFadgiDate(text(F::kOriginationDate))) {
      add("fadgi-date", Severity::kError, F::kOriginationDate,
          "The OriginationDate " + shown(text(F::kOriginationDate)) +
              " is not a FADGI date (yyyy, yyyy-mm or yyyy-mm-dd): " + *why + ".");
    }
  }

  void fadgiOriginator() {
    if (auto why = whyNotFadgiOriginator(text(F::kOriginator))) {
      add("fadgi-originator", Severity::kWarning, F::kOriginator,
          "The Originator " + shown(text(F::kOriginator)) +
              " is not in the FADGI form \"US, NARA\" (country code, comma, space, "
              "organisation): " +
              *why + ".");
    }
  }

  const BextRecord& bext_;
  unsigned sets_;
  Findings& out_;
};

}  // namespace

std::optional<ValueError> valueError(BextField field, std::string_view value) {
  if (value.empty() || (field != F::kOriginationDate && field != F::kOriginationTime)) {
    return std::nullopt;
  }
  const bool isDate = field == F::kOriginationDate;
  const std::string_view form = isDate ? "yyyy-mm-dd" : "hh:mm:ss";
  const std::optional<std::string> fixed =
      withSeparator(value, isDate ? std::array<size_t, 2>{4, 7} : std::array<size_t, 2>{2, 5},
                    isDate ? '-' : ':');
  const std::string_view checked = fixed ? std::string_view(*fixed) : value;
  const std::optional<ValueProblem> problem = isDate ? dateProblem(checked) : timeProblem(checked);
  if (!problem) return std::nullopt;
  return ValueError{
      isDate ? (problem->form ? "date-form" : "date-no-such-day")
             : (problem->form ? "time-form" : "time-out-of-range"),
      std::string("The ") + fieldName(field) + " " + shown(value) +
          (problem->form ? " is not in the form " + std::string(form)
                         : std::string(isDate ? " is not a real date" : " is not a time of day")) +
          ": " + problem->reason};
}

void checkBext(const BextRecord& bext, unsigned ruleSets, Findings& out) {
  BextRules rules(bext, ruleSets, out);
  rules.tooShort();
  for (size_t i = 0; i < kBextFieldCount; ++i) rules.field(static_cast<BextField>(i));
}

void checkField(const BextRecord& bext, BextField field, unsigned ruleSets, Findings& out) {
  BextRules(bext, ruleSets, out).field(field);
}

void checkInfo(const std::vector<InfoEntry>& info, const BextRecord* bext, unsigned ruleSets,
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
      const std::string_view originator = textOf(bext->fieldBytes(BextField::kOriginator));
      if (entry.value != originator) {
        out.push_back({"fadgi-iarl", Severity::kWarning, entry.offset,
                       "The INFO IARL " + shown(entry.value) + " differs from the Originator " +
                           shown(originator) +
                           "; FADGI asks for the same archival location in both."});
      }
    }
  }
}

}  // namespace bextkit::check
