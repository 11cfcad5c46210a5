// The rules for single values of the broadcast extension, each answering with the reason a value
// breaks its rule, in one plain sentence, or with nothing when it keeps it; and how a value is
// shown in such a sentence. The field rules of a check and the edits of every entry point read
// the same functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bextkit::check {

// OriginationDate: yyyy-mm-dd, a month 01-12 and a day that exists in it (leap years counted).
std::optional<std::string> whyNotDate(std::string_view text);
// OriginationTime: hh:mm:ss, 00:00:00 to 23:59:59.
std::optional<std::string> whyNotTime(std::string_view text);
// FADGI dates: yyyy, yyyy-mm or yyyy-mm-dd.
std::optional<std::string> whyNotFadgiDate(std::string_view text);
// FADGI originators: "US, NARA": a country code, a comma, a space, an organisation.
std::optional<std::string> whyNotFadgiOriginator(std::string_view text);
// R99 originator references: 32 characters, country (2 letters), organisation (3 letters or
// digits), serial (12), time of origin hhmmss (6 digits, a real time), random (9 digits).
std::optional<std::string> whyNotOriginatorReference(std::string_view text);

// A date or time that is not of its form, or of its form but naming no real day or moment.
struct ValueProblem {
  bool form;  // the shape is wrong (else the value names no real day or moment)
  std::string reason;
};
std::optional<ValueProblem> dateProblem(std::string_view text);
// A time of day as hh:mm:ss, or as hhmmss when `form` says so.
std::optional<ValueProblem> timeProblem(std::string_view text, std::string_view form = "hh:mm:ss");
// Older writers separate the numbers of a date or a time with another of '-', '_', ':', ' ' and
// '.', which readers accept. The value with `wanted` in those places when it differs from `text`.
std::optional<std::string> withSeparator(std::string_view text, std::array<size_t, 2> places,
                                         char wanted);

bool isPrintable(char c);
bool isUpperLetter(char c);
bool allDigits(std::string_view text);
// A value in double quotes, with anything not printable spelt as an escape, cut after `limit`.
std::string shown(std::string_view text, size_t limit = 48);
// 'c', or 0x1B for a byte that is not printable.
std::string shownChar(char c);
// "0x1B".
std::string hexByte(uint8_t byte);
// "07".
std::string twoDigits(unsigned value);

}  // namespace bextkit::check
