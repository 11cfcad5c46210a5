// The conformance check: one hand-built file per finding, each giving exactly its findings; the
// check command's output, exit status and JSON; real producers' files, which give no errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "Support.h"
#include "Tool.h"
#include "bwf/Xml.h"
#include "check/Conformance.h"
#include "check/Policy.h"
#include "check/TimecodeRules.h"
#include "cli/Cli.h"

namespace bextkit::check {
namespace {

using testsupport::BextFields;
using testsupport::Bytes;
using testsupport::RiffBuilder;

constexpr uint32_t kHour = 48000u * 3600u;

Bytes audio(size_t frames) { return Bytes(frames * 6, 0x11); }  // 2 channels of 24 bits

// A recorder's take with `extra` chunks before four frames of audio.
Bytes wave(const BextFields& fields, const std::vector<std::pair<std::string, Bytes>>& extra = {}) {
  return testsupport::recorderTake(fields, extra, audio(4));
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// `depth` elements, one inside the other, around an empty one.
std::string nested(size_t depth) {
  std::string open, close;
  for (size_t i = 0; i < depth; ++i) open += "<E>", close += "</E>";
  return open + "<F/>" + close;
}

Bytes ixml(const std::string& speed) {
  return text("<?xml version=\"1.0\"?><BWFXML><SPEED>" + speed + "</SPEED></BWFXML>");
}

std::string codesOf(const testsupport::TempDir& dir, const Bytes& bytes, unsigned sets) {
  const std::string path = dir.write("f.wav", bytes);
  Findings findings;
  std::string error;
  EXPECT_TRUE(checkFile(path, sets, findings, error)) << error;
  std::string codes;
  for (const Finding& f : findings) {
    codes += (codes.empty() ? "" : " ") + std::string(severityName(f.severity)) + ":" + f.code;
    // Every finding is of a rule the documentation lists, at a severity it states.
    const auto known = rules();
    const auto rule =
        std::find_if(known.begin(), known.end(), [&f](const Rule& r) { return r.code == f.code; });
    EXPECT_TRUE(rule != known.end() &&
                rule->severity.find(severityName(f.severity)) != std::string_view::npos)
        << f.code;
  }
  return codes;
}

TEST(Conformance, EachFindingFromItsFile) {
  testsupport::LogCapture quiet;
  const BextFields plain{"Take 1", "bextkit", "", "2024-02-29", "23:59:59", kHour};
  const Bytes good = wave(plain);
  auto patched = [](Bytes bytes, size_t at, std::initializer_list<uint8_t> values) {
    std::copy(values.begin(), values.end(), bytes.begin() + long(at));
    return bytes;
  };
  auto cut = [](Bytes bytes, size_t drop) {
    return Bytes(bytes.begin(), bytes.end() - long(drop));
  };
  Bytes trailing = good;
  trailing.insert(trailing.end(), {0, 0, 0, 0});
  BextFields offFrame = plain, nearFrame = plain, speed = plain, noRate = plain, dayLong = plain;
  offFrame.timeReference = kHour + 48;  // a millisecond past the frame's start
  nearFrame.timeReference = kHour + 47;
  speed.description = "sSPEED=029.970-DF\r\nTAKE=1";
  speed.timeReference = 8108;  // frame 5 starts at 8008 samples at 29.97
  noRate.timeReference = 1;
  dayLong.timeReference = 24ull * kHour;

  // A RIFF file of these chunks, in order; an "odd " chunk without its pad byte.
  const Bytes fmtChunk = RiffBuilder().fmt(1, 2, 48000, 24).bytes(),
              fmt(fmtChunk.begin() + 8, fmtChunk.end());
  const auto riff = [](std::vector<std::pair<std::string, Bytes>> chunks) {
    RiffBuilder b;
    b.riffHeader();
    for (const auto& [id, payload] : chunks) b.chunk(id, payload, id != "odd ");
    return b.bytes();
  };
  const struct {
    const char* name;
    Bytes bytes;
    const char* codes;
  } kCases[] = {
      // clang-format off
      {"clean", good, ""},
      {"clean, big-endian", RiffBuilder(testsupport::ByteOrder::kBig).riffHeader().fmt(1, 2, 48000, 24).bext(plain).chunk("data", audio(2)).bytes(), ""},
      {"no header", text("JUNK\4\0\0\0abcd"), "error:no-wave-header"},
      {"form size too large", patched(good, 4, {0xFF, 0xFF, 0, 0}), "error:riff-size"},
      {"bytes after the form", trailing, "warning:riff-size"},
      {"cut short", cut(good, 5), "error:riff-size error:chunk-truncated"},
      {"odd chunk without pad", riff({{"fmt ", fmt}, {"odd ", {1, 2, 3}}, {"data", audio(1)}}), "error:pad-byte-missing"},
      {"odd last chunk without pad", riff({{"fmt ", fmt}, {"data", audio(1)}, {"odd ", {1, 2, 3}}}), "warning:pad-byte-missing"},
      {"chain broken",
       RiffBuilder().riffHeader().fmt(1, 2, 48000, 24).raw({0, 1, 2, 3, 4, 5, 6, 7}).bytes(),
       "error:chain-broken"},
      {"two fmt", riff({{"fmt ", fmt}, {"fmt ", fmt}, {"data", audio(1)}}), "error:duplicate-chunk"},
      {"no fmt, no data", riff({{"JUNK", {0, 0}}}), "error:fmt-missing error:data-missing"},
      {"data before fmt", riff({{"data", audio(1)}, {"fmt ", fmt}}), "error:data-before-fmt"},
      {"bext after data", riff({{"fmt ", fmt}, {"data", audio(1)}, {"bext", testsupport::bextPayload(plain)}}), "note:bext-after-data"},
      {"part of a frame", riff({{"fmt ", fmt}, {"data", Bytes(13, 0)}}), "warning:data-not-whole-frames"},
      {"iXML broken", wave(plain, {{"iXML", text("<BWFXML><SPEED></BWFXML>")}}),
       "error:ixml-not-well-formed"},
      {"iXML too deep", wave(plain, {{"iXML", text(nested(kDeepestXml))}}),
       "warning:ixml-too-large"},
      {"word in a text chunk",
       wave(plain, {{"LIST", text(std::string("INFOICMT\6\0\0\0iXML!\0", 18))}}),
       "note:directory-not-chain"},
      {"on the stated grid", wave(plain, {{"iXML", ixml("<TIMECODE_RATE>25/1</TIMECODE_RATE>")}}),
       ""},
      {"off the iXML's grid",
       wave(offFrame, {{"iXML", ixml("<TIMECODE_RATE>25/1</TIMECODE_RATE>")}}),
       "warning:time-reference-off-frame"},
      {"just past the iXML's grid",
       wave(nearFrame, {{"iXML", ixml("<TIMECODE_RATE>25/1</TIMECODE_RATE>")}}),
       "note:time-reference-near-frame"},
      {"off the description's grid", wave(speed), "warning:time-reference-off-frame"},
      {"off every grid", wave(noRate), "note:time-reference-off-every-rate"},
      {"iXML beside the format",
       wave(plain, {{"iXML", ixml("<FILE_SAMPLE_RATE>48000</FILE_SAMPLE_RATE></SPEED><TRACK_LIST>"
                                  "<TRACK><NAME>L</NAME></TRACK><TRACK><NAME>R</NAME></TRACK>"
                                  "</TRACK_LIST><SPEED>")}}),
       ""},
      {"iXML not beside the format",
       wave(speed, {{"iXML", ixml("<FILE_SAMPLE_RATE>44100</FILE_SAMPLE_RATE><TIMECODE_RATE>25/1"
                                  "</TIMECODE_RATE></SPEED><TRACK_LIST><TRACK><NAME>L</NAME>"
                                  "</TRACK></TRACK_LIST><SPEED>")}}),
       "warning:time-reference-off-frame warning:ixml-sample-rate-differs "
       "warning:ixml-track-count warning:ixml-rate-differs"},
      {"a day or more", wave(dayLong), "warning:time-reference-beyond-day"},
      {"iXML copy differs",
       wave(plain, {{"iXML", ixml("<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0"
                                  "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>"
                                  "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>5"
                                  "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>")}}),
       "warning:ixml-time-reference-differs"},
      // clang-format on
  };
  testsupport::TempDir dir;
  for (const auto& c : kCases) {
    EXPECT_EQ(codesOf(dir, c.bytes, kTech3285), c.codes) << c.name;
  }
  // More chunks than the walk follows: it stops there, memory bounded, and the check says so
  // rather than calling the chunks after it missing.
  RiffBuilder many;
  many.riffHeader().fmt(1, 2, 48000, 24);
  for (size_t i = 0; i < ChunkChain::kMostChunks; ++i) many.chunk("JUNK", {});
  EXPECT_EQ(codesOf(dir, many.chunk("data", audio(1)).bytes(), kTech3285),
            "warning:too-many-chunks");
}

TEST(Conformance, XmlLeavesAndErrors) {
  const XmlDocument padded = parseXml(std::string("<A>\n<B> 25/1 </B><C/></A>\0\0 \n", 30));
  EXPECT_TRUE(padded.wellFormed) << padded.error;
  ASSERT_EQ(padded.leafList.size(), 2u);
  EXPECT_EQ(*padded.leaf("A/B") + "|" + *padded.leaf("A/C"), "25/1|");
  // Each leaf's content where the document holds it, an empty-element tag as itself; in UTF-16
  // (its padding cut by whole characters, a stray last byte dropped) the same leaves at twice
  // the offsets after the mark.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<A>\n<B> 25/1 </B><C/></A>\n")) utf16 += std::string{c, '\0'};
  for (const auto& [document, scale, start] :
       {std::tuple(padded, 1, 0), std::tuple(parseXml(utf16 + std::string(5, '\0')), 2, 2)}) {
    ASSERT_EQ(document.leafList.size(), 2u) << document.error;
    EXPECT_EQ(document.leafList[0].text, "25/1");
    EXPECT_EQ(std::vector<uint64_t>({document.leafList[0].begin, document.leafList[0].end,
                                     document.leafList[1].begin, document.leafList[1].end,
                                     document.leafList[1].emptyTag}),
              std::vector<uint64_t>({7u * scale + start, 13u * scale + start, 17u * scale + start,
                                     21u * scale + start, 1}));
  }
  EXPECT_FALSE(parseXml("<A><B/>").wellFormed) << "an element left open";
  const XmlDocument broken = parseXml("<A>\n<B></A>");
  EXPECT_FALSE(broken.wellFormed);
  EXPECT_EQ(std::vector<uint64_t>({broken.line, broken.column, broken.byte}),
            std::vector<uint64_t>({2, 6, 9}));
  EXPECT_EQ(broken.error, "mismatched tag");

  // At each limit the document is read; past it the reader stops there, keeping what it read.
  const auto wide = [](size_t elements) {
    std::string text = "<A><B>x</B>";
    for (size_t i = 2; i < elements; ++i) text += "<C/>";
    return text + "</A>";
  };
  const auto path = [](size_t bytes) { return "<A><" + std::string(bytes - 2, 'N') + "/></A>"; };
  const std::pair<std::string, bool> kLimits[] = {
      {nested(kDeepestXml - 1), false}, {nested(kDeepestXml), true},
      {wide(kMostXmlElements), false},  {wide(kMostXmlElements + 1), true},
      {path(kLongestXmlPath), false},   {path(kLongestXmlPath + 1), true}};
  for (const auto& [text, capped] : kLimits) {
    const XmlDocument document = parseXml(text);
    EXPECT_EQ(document.capped, capped) << text.size();
    EXPECT_EQ(document.wellFormed, !capped) << document.error;
  }
  EXPECT_EQ(*parseXml(wide(kMostXmlElements + 1)).leaf("A/B"), "x");
}

TEST(Conformance, FrameBoundaries) {
  // At 29.97 and 48 kHz a frame lasts 1601.6 samples: recorders start frame 1 at 1601 or 1602.
  const smpte::Rate ntsc = *smpte::parseRate("29.97"), pal = *smpte::parseRate("25");
  const std::tuple<smpte::Rate, uint64_t, bool> kCases[] = {
      {pal, 1920, true},  {pal, 1919, false},  {pal, 1921, false},  {ntsc, 1601, true},
      {ntsc, 1602, true}, {ntsc, 1600, false}, {ntsc, 8009, false}, {pal, 1920ull << 40, true}};
  for (const auto& [rate, sample, on] : kCases) {
    EXPECT_EQ(onFrameBoundary(rate, sample, 48000), on) << sample;
  }
}

using testsupport::bextkit;
using testsupport::Outcome;

TEST(Conformance, CheckCommand) {
  testsupport::TempDir dir;
  const BextFields fields{"Take 1", "bextkit", "", "2024-02-30", "", 0};
  const std::string bad = dir.write("bad.wav", wave(fields));
  const std::string good = dir.write("good.WAV", wave({}));

  Outcome r = bextkit({"check", dir.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.out.find(bad + ":" + std::to_string(12 + 8 + 16 + 8 + 320) + ": error [date-no-such-day] "),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(good + ": OK\n"), std::string::npos);
  EXPECT_NE(r.out.find("2 files checked: 1 with errors"), std::string::npos);

  r = bextkit({"check", "--json", good, bad, dir.pathOf("missing.wav")});
  EXPECT_EQ(r.status, 1);
  std::istringstream lines(r.out);  // JSON Lines, each a valid object
  for (std::string line; std::getline(lines, line);) EXPECT_NO_THROW(nlohmann::json::parse(line));
  EXPECT_NE(
      r.out.find(R"("findings":[{"code":"date-no-such-day","severity":"error","offset":364,)"),
      std::string::npos);
  EXPECT_NE(r.out.find(R"({"file":")" + dir.pathOf("missing.wav") + R"(","error":)"),
            std::string::npos);
  EXPECT_EQ(bextkit({"check", good}).status, 0);
  EXPECT_EQ(bextkit({"check", "--rules", "tech3285,ebu", good}).status, 2);

  // House rules: the options of a run over a .bextkit-check in a folder above the file, over the
  // user's own (none here: the configuration folder is empty).
  testsupport::TempDir config;
  ::setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
  const struct {
    const char* houseRules;  // in the folder above, or none
    std::vector<std::string> options;
    int status;
    const char* shown;  // in the output, or "" for nothing reported of the bad file
  } kPolicies[] = {
      {nullptr, {"--ignore", "umid-label,date-no-such-day,riff-size"}, 0, ""},
      {nullptr, {"--ignore", "date-no-such-day,"}, 2, "expected a rule's code"},
      {nullptr, {"--severity", "date-no-such-day=note"}, 0, "note [date-no-such-day]"},
      {"# the archive's\nseverity date-no-such-day=warning\n", {}, 0, "warning [date-no-such-day]"},
      {"ignore date-no-such-day\n",
       {"--severity", "date-no-such-day=error"},
       1,
       "error [date-no-such-day]"},
      {"severity date-no-such-day=fatal\n", {}, 1, "line 1: expected error, warning or note"},
      {nullptr, {"--ignore", "date-no-such-dya"}, 2, "no rule has the code 'date-no-such-dya'"},
  };
  const std::string above = dir.pathOf(".bextkit-check");
  std::filesystem::create_directory(dir.pathOf("day"));
  const std::string take = dir.write("day/take.wav", wave(fields));
  for (const auto& c : kPolicies) {
    SCOPED_TRACE(c.options.empty() ? c.houseRules : c.options.back());
    std::remove(above.c_str());
    if (c.houseRules)
      dir.write(".bextkit-check", Bytes(c.houseRules, c.houseRules + std::strlen(c.houseRules)));
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(take);
    r = bextkit(args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    const std::string wanted = *c.shown ? c.shown : take + ": OK";
    EXPECT_NE((r.out + r.err).find(wanted), std::string::npos) << r.out << r.err;
  }
  ::unsetenv("XDG_CONFIG_HOME");

  // The rules as the documentation lists them, each with its source and an example.
  r = bextkit({"check", "--list-rules", "--json"});
  std::istringstream listed(r.out);
  size_t count = 0;
  for (std::string line; std::getline(listed, line); ++count) {
    const nlohmann::json rule = nlohmann::json::parse(line);
    EXPECT_FALSE(rule.at("source").get<std::string>().empty() ||
                 rule.at("example").get<std::string>().empty())
        << line;
  }
  EXPECT_EQ(count, rules().size());
  EXPECT_NE(bextkit({"check", "--list-rules"})
                .out.find("umid-label                     warning           tech3285  SMPTE 330M"),
            std::string::npos);
}

// The yardstick, files as FFmpeg, libsndfile and SoX write them and as a field recorder and a DAW
// lay them out (a 32-byte UMID of the DAW's own, -120.00 dBTP, JUNK after bext, bext before fmt,
// INFO after the audio, a take stamped just past its frame): no errors under every rule set, and
// export and import carry every value through unchanged.
TEST(Conformance, RealFilesGiveNoErrors) {
  testsupport::TempDir dir;
  std::filesystem::copy(testsupport::sourcePath("tests/data/yardstick"), dir.path);
  Outcome r = bextkit({"check", "--rules", "tech3285,r98,r99,fadgi", dir.path});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("6 files checked: 0 with errors"), std::string::npos) << r.out;
  r = bextkit({"export", "--csv", dir.path});
  ASSERT_EQ(r.status, 0) << r.err;
  r = bextkit({"import", "--dry-run", dir.write("table.csv", Bytes(r.out.begin(), r.out.end()))});
  EXPECT_NE(r.out.find("0 files would change, 6 unchanged, 0 failed"), std::string::npos)
      << r.out << r.err;
}

}  // namespace
}  // namespace bextkit::check
