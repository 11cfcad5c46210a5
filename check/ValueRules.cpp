#include "check/ValueRules.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace bextkit::check {

namespace {

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

}  // namespace

bool isUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool isPrintable(char c) { return c >= 0x20 && c <= 0x7E; }

namespace {

bool isAlnum(char c) { return isDigit(c) || isUpperLetter(c) || (c >= 'a' && c <= 'z'); }

bool isCountryCode(std::string_view code) {
  if (code.size() != 2) return false;
  for (size_t i = 0; i < kCountries.size(); i += 2) {
    if (kCountries.substr(i, 2) == code) return true;
  }
  return false;
}

}  // namespace

std::string hexByte(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string shown(std::string_view text, size_t limit) {
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

namespace {

unsigned numberAt(std::string_view text, size_t at, size_t width) {
  unsigned value = 0;
  for (size_t i = at; i < at + width; ++i) value = value * 10 + unsigned(text[i] - '0');
  return value;
}

}  // namespace

std::string twoDigits(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u", value);
  return text;
}

namespace {

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

}  // namespace

namespace {

bool isLeapYear(unsigned year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

}  // namespace

namespace {

unsigned daysInMonth(unsigned year, unsigned month) {
  static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

namespace {

std::optional<std::string> whyNotMonth(unsigned month) {
  if (month >= 1 && month <= 12) return std::nullopt;
  return "month " + twoDigits(month) + " is not between 01 and 12";
}

}  // namespace

std::optional<ValueProblem> dateProblem(std::string_view text) {
  if (auto form = whyNotForm(text, "yyyy-mm-dd")) return ValueProblem{true, *form};
  const unsigned year = numberAt(text, 0, 4), month = numberAt(text, 5, 2),
                 day = numberAt(text, 8, 2);
  if (auto bad = whyNotMonth(month)) return ValueProblem{false, *bad};
  if (day >= 1 && day <= daysInMonth(year, month)) return std::nullopt;
  return ValueProblem{false, "day " + twoDigits(day) + " does not exist in " + kMonths[month - 1] +
                                 " " + std::string(text.substr(0, 4))};
}

std::optional<ValueProblem> timeProblem(std::string_view text, std::string_view form) {
  if (auto bad = whyNotForm(text, form)) return ValueProblem{true, *bad};
  const size_t step = form.size() == 8 ? 3 : 2;
  static constexpr std::array<std::pair<const char*, unsigned>, 3> kLargest = {
      {{"hour", 23}, {"minute", 59}, {"second", 59}}};
  for (size_t i = 0; i < kLargest.size(); ++i) {
    const unsigned value = numberAt(text, i * step, 2);
    if (value > kLargest[i].second) {
      return ValueProblem{false, std::string("the ") + kLargest[i].first + " " + twoDigits(value) +
                                     " is not between 00 and " + twoDigits(kLargest[i].second)};
    }
  }
  return std::nullopt;
}

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
  if (text.size() < 2 || !isUpperLetter(text[0]) || !isUpperLetter(text[1])) {
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
  if (!all(0, 2, isUpperLetter))
    return chars(0, 2) + " should be a country code in upper-case letters";
  if (!isCountryCode(text.substr(0, 2))) return chars(0, 2) + " are not an ISO 3166 country code";
  if (!all(2, 3, isAlnum))
    return chars(2, 3) + " should be an organisation code of letters or digits";
  if (!all(5, 12, isAlnum)) return chars(5, 12) + " should be a serial number of letters or digits";
  if (auto problem = timeProblem(text.substr(17, 6), "hhmmss")) {
    return chars(17, 6) + (problem->form ? " should be a time of origin hhmmss in digits"
                                         : " are not a time of origin, as " + problem->reason);
  }
  if (!all(23, 9, isDigit)) return chars(23, 9) + " should be a random number of 9 digits";
  return std::nullopt;
}

}  // namespace bextkit::check
