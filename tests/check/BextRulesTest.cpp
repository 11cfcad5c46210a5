// Field rules: single values against tables drawn from the rules' text, then bext payloads built
// field by field and poked byte by byte, and the codes each draws.
#include "check/BextRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "Support.h"
#include "check/CodingHistory.h"
#include "check/ValueRules.h"

namespace bextkit::check {
namespace {

using testsupport::BextFields;
using testsupport::Bytes;
using namespace std::string_view_literals;

constexpr uint64_t kAt = 1000;  // the file offset the payloads are said to start at
const std::string kReference = "GBBBC0123456789AB123045123456789";  // R99: 2+3+12+6+9

// The record of a chunk with this payload, said to start at kAt.
BextRecord recordOf(const Bytes& payload, bool bigEndian = false) {
  Bytes bytes = {'b', 'e', 'x', 't', 0, 0, 0, 0};
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return decodeBext(bytes, kAt - 8, payload.size(), bigEndian);
}

std::vector<std::string> codesOf(const Findings& findings) {
  std::vector<std::string> codes;
  for (const Finding& f : findings) codes.push_back(severityName(f.severity) + (":" + f.code));
  std::sort(codes.begin(), codes.end());
  return codes;
}

TEST(FieldRules, SingleValues) {
  using Rule = std::optional<std::string> (*)(std::string_view);
  const Rule date = whyNotDate, time = whyNotTime, fadgiDate = whyNotFadgiDate,
             fadgiOrig = whyNotFadgiOriginator, r99 = whyNotOriginatorReference;
  const std::string ref = kReference;
  // clang-format off
  const struct { Rule rule; std::string value; const char* reason; } kCases[] = {  // null: kept
      {date, "2024-02-29", nullptr}, {date, "2000-02-29", nullptr}, {date, "2023-02-28", nullptr},
      {date, "1900-02-29", "day 29 does not exist in February 1900"},
      {date, "2023-02-29", "day 29 does not exist in February 2023"},
      {date, "2024-02-30", "day 30 does not exist in February 2024"},
      {date, "2024-04-31", "April"}, {date, "2024-01-00", "day 00"}, {date, "2024-13-01", "month 13"},
      {date, "2024-00-10", "month 00"}, {date, "2024/01/05", "character 5 should be '-', not '/'"},
      {date, "24-01-05", "8 characters"}, {date, "2024-1a-05", "character 7 should be a digit"},
      {time, "23:59:59", nullptr}, {time, "00:00:00", nullptr}, {time, "24:00:00", "hour 24"},
      {time, "12:60:00", "minute 60"}, {time, "12:00:60", "second 60"}, {time, "12-00-00", "':'"},
      {time, "1:00:00", "7 characters"},
      {fadgiDate, "2024", nullptr}, {fadgiDate, "2024-07", nullptr}, {fadgiDate, "2024-07-04", nullptr},
      {fadgiDate, "2024-13", "month 13"}, {fadgiDate, "2023-02-29", "February 2023"},
      {fadgiDate, "2024-7", "6 characters"}, {fadgiDate, "", "empty"}, {fadgiDate, "20x4", "digit"},
      {fadgiOrig, "US, NARA", nullptr}, {fadgiOrig, "US, LOC/RSS", nullptr}, {fadgiOrig, "GB, B.B.C. Arc-1", nullptr},
      {fadgiOrig, "us, NARA", "upper-case"}, {fadgiOrig, "USA, NARA", "comma"}, {fadgiOrig, "US,NARA", "comma"},
      {fadgiOrig, "XX, NARA", "\"XX\" is not an ISO 3166"}, {fadgiOrig, "US, ", "missing"},
      {fadgiOrig, "US, NARA;", "';'"}, {fadgiOrig, "", "empty"},
      {r99, ref, nullptr}, {r99, ref.substr(1), "31 characters"}, {r99, "gb" + ref.substr(2), "upper-case"},
      {r99, "UK" + ref.substr(2), "ISO 3166"}, {r99, ref.substr(0, 3) + "-" + ref.substr(4), "organisation"},
      {r99, ref.substr(0, 5) + " " + ref.substr(6), "characters 6 to 17"},
      {r99, ref.substr(0, 17) + "246000" + ref.substr(23), "hour 24"},
      {r99, ref.substr(0, 17) + "12a045" + ref.substr(23), "hhmmss"},
      {r99, ref.substr(0, 31) + "X", "random number"}};
  // clang-format on
  for (const auto& c : kCases) {
    const std::optional<std::string> why = c.rule(c.value);
    SCOPED_TRACE(c.value + " -> " + why.value_or("kept"));
    ASSERT_EQ(why.has_value(), c.reason != nullptr);
    if (c.reason) {
      EXPECT_NE(why->find(c.reason), std::string::npos);
    }
  }
}

TEST(FieldRules, CodingHistoryLines) {
  // clang-format off
  const struct { std::string_view text; std::vector<std::pair<size_t, const char*>> problems; } kCases[] = {
      {"", {}}, {"A=PCM,F=48000,W=24,M=stereo,T=original\r\n", {}},
      {"A=ANALOGUE,M=stereo,T=Studer A820\r\nA=PCM,F=48000,W=24,M=Stereo\r\n\0\0"sv, {}},
      {"A=MPEG1L2,F=48000,B=128,W=16,M=joint-stereo\r\n", {}},
      {"A=PCM,F=48000\n", {{1, "CR LF"}}}, {"A=PCM\r\nA=PCM", {{2, "CR LF"}}},
      {"A=PCM,W=24,F=48000\r\n", {{1, "puts F after W"}}},
      {"A=PCM,T=take 1, mic 2\r\n", {{1, "comma in its T= text"}}},
      {"F=48000,W=16\r\n", {{1, "has no A="}}}, {"A=PCM,B=128\r\n", {{1, "only MPEG"}}},
      {"A=PCM,F=48k\r\n", {{1, "sampling frequency"}}}, {"A=WAV\r\n", {{1, "coding algorithm"}}},
      {"A=PCM,M=quad\r\n", {{1, "not a mode"}}}, {"A=PCM,A=PCM\r\n", {{1, "A twice"}}},
      {"A=PCM,X=1\r\n", {{1, "\"X\""}}}, {"A=PCM,W\r\n", {{1, "key=value"}}},
      {"A=PCM\r\n\r\n", {{2, "is empty"}}}, {"A=PCM\rA=PCM\r\n", {{1, "CR that no LF"}}},
      {"W=16,A=PCM\n", {{1, "CR LF"}, {1, "puts A after W"}}}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.text));
    const std::vector<LineProblem> found = codingHistoryProblems(c.text);
    ASSERT_EQ(found.size(), c.problems.size()) << (found.empty() ? "" : found[0].reason);
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].line, c.problems[i].first);
      EXPECT_NE(found[i].reason.find(c.problems[i].second), std::string::npos) << found[i].reason;
    }
  }
}

TEST(FieldRules, BextPayloads) {
  const BextFields kClean{
      "Interview\r\nTake 2",          "US, NARA", kReference, "2024-02-29", "23:59:59", 0,
      "A=PCM,F=48000,W=24,M=mono\r\n"};
  const auto with = [&](auto change) {
    BextFields fields = kClean;
    change(fields);
    return fields;
  };
  const std::vector<std::pair<size_t, uint8_t>> kUmid = {
      {346, 1}, {348, 0x06}, {349, 0x0A}, {350, 0x2B}, {351, 0x34}, {352, 1},    {353, 1},
      {354, 1}, {355, 5},    {356, 1},    {357, 1},    {358, 0x0D}, {359, 0x43}, {360, 0x13}};
  const auto umidWith = [&](std::vector<std::pair<size_t, uint8_t>> more) {
    more.insert(more.begin(), kUmid.begin(), kUmid.end());
    return more;
  };
  const unsigned kAll = kTech3285 | kR98 | kR99 | kFadgi;
  // clang-format off
  const struct {
    const char* name; BextFields fields; std::vector<std::pair<size_t, uint8_t>> poke;
    std::vector<std::string> codes; unsigned sets = kAll; bool bigEndian = false; int64_t at = -1;
  } kCases[] = {
      {"clean", kClean, {{346, 2}, {412, 0xF1}, {413, 0xD8}, {414, 0xFF}, {415, 0x7F}}, {}},
      {"short", with([](auto& f) { f.payloadSize = 300; }), {}, {"error:bext-too-short"}, kTech3285, false, 288},
      {"not ascii", with([](auto& f) { f.description = "Caf\xC3\xA9"; }), {}, {"warning:text-not-ascii"}, kTech3285, false, 0},
      {"after nul", with([](auto& f) { f.description = "Take"; }), {{10, 'x'}}, {"warning:bytes-after-nul"}},
      {"no such day", with([](auto& f) { f.date = "2023-02-29"; }), {}, {"error:date-no-such-day", "error:fadgi-date"}, kAll, false, 320},
      {"date colons", with([](auto& f) { f.date = "2024:02:29"; }), {}, {"note:date-separator", "error:fadgi-date"}},
      {"no date", with([](auto& f) { f.date = ""; f.time = ""; }), {}, {}, kTech3285},
      {"fadgi year", with([](auto& f) { f.date = "2024"; }), {}, {}, kFadgi},
      {"midnight", with([](auto& f) { f.time = "24:00:00"; }), {}, {"error:time-out-of-range"}, kAll, false, 330},
      {"time stops", with([](auto& f) { f.time = "23.59.59"; }), {}, {"note:time-separator"}},
      {"version 3", kClean, {{346, 3}}, {"error:version-unknown"}},
      {"big-endian 2", kClean, {{347, 2}}, {}, kTech3285, true},
      {"little-endian 512", kClean, {{347, 2}}, {"error:version-unknown"}, kTech3285},
      {"basic umid", kClean, umidWith({}), {}},
      {"umid label", kClean, umidWith({{350, 0x2C}}), {"warning:umid-label"}},
      {"umid length", kClean, umidWith({{360, 0x20}}), {"error:umid-length"}},
      {"basic umid tail", kClean, umidWith({{348 + 40, 1}}), {"warning:umid-length"}},
      {"extended umid", kClean, umidWith({{360, 0x33}, {348 + 40, 1}}), {}},
      {"umid in version 0", kClean, umidWith({{346, 0}}), {"warning:umid-in-version-0"}},
      {"loudness -100.00", kClean, {{346, 2}, {412, 0xF0}, {413, 0xD8}}, {"warning:loudness-range"}, kAll, false, 412},
      {"loudness in version 1", kClean, {{346, 1}, {420, 1}}, {"warning:loudness-in-old-version"}},
      {"reserved", kClean, {{601, 1}}, {"warning:reserved-not-zero"}, kAll, false, 422},
      {"history", with([](auto& f) { f.codingHistory = "A=PCM\n"; }), {}, {"error:coding-history"}, kAll, false, 602},
      {"recorder's history", with([](auto& f) { f.codingHistory = "A=PCM,F=48000,R=48000,T=788T, v2\r\n"; }), {}, {"warning:coding-history-unusual", "warning:coding-history-unusual"}, kR98},
      {"empty reference", with([](auto& f) { f.reference = ""; }), {}, {"warning:originator-reference-empty"}},
      {"DAW's reference", with([](auto& f) { f.reference = "aaOXhYDEzCYk"; }), {}, {"warning:originator-reference"}, kR99},
      {"other rule sets", with([](auto& f) { f.date = "2023-02-29"; }), {{346, 9}}, {}, kR98 | kR99}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Bytes payload = testsupport::bextPayload(c.fields);
    for (const auto& [at, byte] : c.poke) payload[at] = byte;
    Findings found;
    checkBext(recordOf(payload, c.bigEndian), c.sets, found);
    std::vector<std::string> expected = c.codes;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(codesOf(found), expected) << (found.empty() ? "" : found[0].text);
    if (c.at >= 0 && !found.empty()) {
      EXPECT_EQ(found[0].offset, kAt + uint64_t(c.at));
    }
    for (const Finding& f : found) {
      EXPECT_TRUE(f.offset >= kAt && f.offset < kAt + payload.size()) << f.offset;
      EXPECT_TRUE(!f.text.empty() && std::isupper(static_cast<unsigned char>(f.text[0])) &&
                  f.text.back() == '.')
          << f.text;
    }
  }
}

// A history of nothing but bad lines: the first twenty problems are told, the rest counted.
TEST(FieldRules, BadHistoryLinesPastTwentyAreCounted) {
  Findings found;
  std::string history;
  for (int i = 0; i < 30; ++i) history += "x\r\n";
  checkBext(recordOf(testsupport::bextPayload({.codingHistory = history})), kR98, found);
  ASSERT_EQ(found.size(), 21u);
  EXPECT_EQ(found.back().text, "The CodingHistory has 40 more problems, from line 11 on.");
}

TEST(FieldRules, InfoEntries) {
  const BextRecord bext = recordOf(testsupport::bextPayload({.originator = "US, NARA"}));
  // clang-format off
  const struct { InfoEntry entry; const BextRecord* bext; std::vector<std::string> codes; } kCases[] = {
      {{"IARL", "US, NARA", 40}, &bext, {}}, {{"IARL", "US, LOC", 40}, &bext, {"warning:fadgi-iarl"}},
      {{"IARL", "US, LOC", 40}, nullptr, {}}, {{"ICMT", "caf\xE9", 40}, &bext, {"note:info-not-ascii"}},
      {{"ICMT", "line\r\nline", 40}, &bext, {}}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.entry.id + " " + c.entry.value);
    Findings found;
    checkInfo({c.entry}, c.bext, kTech3285 | kFadgi, found);
    EXPECT_EQ(codesOf(found), c.codes);
    for (const Finding& f : found) EXPECT_EQ(f.offset, 40u);
  }
}

}  // namespace
}  // namespace bextkit::check
