// The bridge: every registered operation driven once by its name and compared with the direct
// call of the class (a mis-wired entry gives another answer), the parser object table, and
// calls that do not fit.
#include "app/bridge/Bridge.h"

#include <gtest/gtest.h>

#include <new>
#include <set>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "platform/FileHandle.h"
#include "platform/FileManager.h"
#include "timecode/TimeCode.h"

namespace bextkit::bridge {
namespace {

using testsupport::BextFields;
using testsupport::RiffBuilder;
using S = std::string;
using Strings = std::vector<std::string>;
using Records = std::vector<Record>;

TEST(Bridge, EveryOperationAnswersAsItsClassDoes) {
  testsupport::TempDir dir;
  const testsupport::LogCapture quiet;
  // Version 2, with a basic UMID and loudness values, one of them not measured.
  testsupport::Bytes bext = testsupport::bextPayload(
      {"Desc", "Orig", "Ref", "2026-01-02", "03:04:05", 172810000, "A=PCM"});
  bext[346] = 2;
  const uint8_t umid[] = {0x06, 0x0A, 0x2B, 0x34, 0x01, 0x01, 0x01,
                          0x05, 0x01, 0x01, 0x0D, 0x20, 0x13};
  std::copy(std::begin(umid), std::end(umid), bext.begin() + 348);
  const int16_t loudness[] = {-2300, 0x7FFF, -150, -1800, 0};
  for (size_t i = 0; i < 5; ++i) {
    bext[412 + 2 * i] = static_cast<uint8_t>(loudness[i]);
    bext[413 + 2 * i] = static_cast<uint8_t>(loudness[i] >> 8);
  }
  const testsupport::Bytes file =
      RiffBuilder().riffHeader().fmt(1, 2, 48000, 24).chunk("bext", bext).bytes();
  const S path = dir.write("take.wav", file), other = dir.write("other.wav", file);
  const S copy = dir.write("copy.wav", file), marked = dir.write("marked.wav", file);
  const S table = dir.pathOf("table.csv");
  // The archive's house rules hold for the window's checks as for bextkit check.
  const S rules = "severity data-missing=note\n";
  dir.write(".bextkit-check", testsupport::Bytes(rules.begin(), rules.end()));
  Bridge bridge;
  S error;
  std::vector<Value> open = {path, 29.97f};
  const Handle self =
      std::get<ParserRef>(*bridge.call("BWFParser", "initWithPath:FPS:", 0, open, error)).handle;
  auto direct = BWFParser::initWithPath(path, 29.97f);
  std::vector<Value> none;
  ASSERT_TRUE(bridge.call("BWFParser", "parse", self, none, error)) << error;
  direct->parse();
  direct->setDescription("New");  // the edits the table makes through the bridge
  direct->setOriginator("Op");
  direct->setOriginatorReference("R2");
  direct->setCreationtime("11:12:13");
  direct->setTicks(7);
  direct->setTimeCodeHH(1, 2, 3, 4, 25);
  const auto hex = direct->hex2timecode(172801000, 25, 48000);
  float fps = 0;
  direct->getfps(&fps);
  std::array<int32_t, 4> split = {9, 9, 9, 9};
  TimeCode::splitTimeCode("01:02", 25, split);
  const auto& d = direct->getChunkDictionary();
  using I = int64_t;
  const auto chain = [](const char* kind, const char* id, uint64_t offset, FieldValue size,
                        FieldValue fields) {
    return Record()
        .add("kind", kind)
        .add("id", id)
        .add("offset", offset)
        .add("size", size)
        .add("form", {})
        .add("truncated", false)
        .add("fields", fields);
  };
  const auto entry = [](const char* id, I index, I start, I length) {
    return Record().add("id", id).add("index", index).add("start", start).add("length", length);
  };
  // clang-format off
  const struct { const char *cls, *name; std::vector<Value> args; Value expected; } kCalls[] = {
      // As the file was read, before the edits below.
      {"BWFParser", "fieldTexts", {}, Record().add("Description", "Desc").add("Originator", "Orig").add("OriginatorReference", "Ref").add("OriginationDate", "2026-01-02").add("OriginationTime", "03:04:05").add("Version", "2").add("UMID", "060A2B340101010501010D2013" + S(38, '0'))
                                        .add("LoudnessValue", "-23.00").add("LoudnessRange", "none").add("MaxTruePeakLevel", "-1.50").add("MaxMomentaryLoudness", "-18.00").add("MaxShortTermLoudness", "0.00").add("CodingHistory", "A=PCM")
                                        .add("iXML:PROJECT", {}).add("iXML:SCENE", {}).add("iXML:TAKE", {}).add("iXML:TAPE", {}).add("iXML:CIRCLED", {}).add("iXML:NOTE", {}).add("iXML:UBITS", {})
                                        .add("iXML:FILE_UID", {}).add("iXML:SPEED/TIMECODE_RATE", {}).add("iXML:SPEED/TIMECODE_FLAG", {})},
      {"BWFParser", "refusalsOfFields:", {Record().add("Version", "3").add("Originator", "Changed")}, S("Version: expected 0, 1 or 2, got '3'")},
      {"BWFParser", "refusalsOfFields:", {Record().add("iXML:CIRCLED", "maybe").add("iXML:TRACK_LIST/TRACK[1]/NAME", "Boom")},
       S("iXML:CIRCLED: expected yes or no (TRUE or FALSE), got 'maybe'\niXML: the file has no iXML document, and a new one holds only PROJECT, SCENE, TAKE, TAPE, CIRCLED, NOTE, UBITS and FILE_UID, not TRACK_LIST/TRACK[1]/NAME")},
      {"Smpte", "timeRecordOfParser:rate:", {ParserRef{self}, S("25")}, Record().add("timeReference", uint64_t{172810000}).add("label", "01:00:00:05").add("samplesPastFrame", uint64_t{400})},
      {"Smpte", "timeReferenceOfParser:label:rate:", {ParserRef{self}, S("01:00:00:05"), S("25")}, Record().add("timeReference", uint64_t{172809600})},
      {"Smpte", "labelOfParser:label:rate:atRate:", {ParserRef{self}, S("00:00:00:10"), S("25"), S("30")}, S("00:00:00:12")},
      {"Conformance", "textsAtPath:", {path}, Records{}},
      {"Loudness", "measureAtPath:", {testsupport::samplePath()}, Record().add("LoudnessValue", "none").add("LoudnessRange", "none").add("MaxTruePeakLevel", "-21.07").add("MaxMomentaryLoudness", "none").add("MaxShortTermLoudness", "none")},
      // The table as export writes it, read back by import without a change.
      {"Table", "writeCsvOfPaths:rates:toPath:", {Strings{path}, Strings{""}, table}, S("")},
      {"Table", "importTableAtPath:dryRun:", {table, true}, Record().add("status", I(0)).add("report", "row 2: " + path + ": unchanged\n0 files would change, 1 unchanged, 0 failed\nbextkit: " + table +
                                                                 ": note: INFO fields are not written by import (columns IARL, IART, ICMS, ICMT, ICOP, ICRD, IENG, IGNR, IKEY, IMED, INAM, IPRD, ISBJ, ISFT, ISRC, ISRF, ITCH)\n")},
      {"BWFParser", "chunkChain", {}, Strings{"'RIFF' 0", "'fmt ' 12 16", "'bext' 36 858"}},
      {"Conformance", "findingsAtPath:rules:", {path, S("tech3285")}, Strings{"note\tdata-missing\t12\tThe file has no 'data' chunk: it holds no audio."}},
      {"Conformance", "findingRecordsAtPath:rules:", {path, S("tech3285")}, Records{Record().add("severity", "note").add("code", "data-missing").add("offset", uint64_t{12}).add("text", "The file has no 'data' chunk: it holds no audio.")}},
      {"BWFParser", "chunkRecords", {}, Records{chain("form", "RIFF", 0, uint64_t{file.size() - 8}, {}), chain("chunk", "fmt ", 12, uint64_t{16}, "format"), chain("chunk", "bext", 36, uint64_t{858}, "bext")}},
      {"BWFParser", "directoryRecords", {}, Records{entry("RIFF", 1, 0, 12), entry("fmt ", 2, 12, 24), entry("bext", 3, 36, 866)}},
      {"BWFParser", "formatRecord", {}, Record().add("coding", "PCM").add("tag", I(1)).add("channels", I(2)).add("sampleRate", I(48000)).add("bitsPerSample", I(24)).add("blockAlign", I(6)).add("bytesPerSecond", I(288000)).add("validBits", {}).add("channelMask", {}).add("bytes", {}).add("frames", {}).add("seconds", {}).add("summary", "PCM, 48000 Hz, 24 bits, 2 channels (blocks of 6 bytes)").add("duration", "none (no data chunk)")},
      {"BWFParser", "bextRecord", {}, Record().add("Description", "Desc").add("Originator", "Orig").add("OriginatorReference", "Ref").add("OriginationDate", "2026-01-02").add("OriginationTime", "03:04:05").add("TimeReference", uint64_t{172810000}).add("Version", I(2)).add("UMID", "060A2B340101010501010D2013" + S(38, '0'))
                                        .add("LoudnessValue", -23.0).add("LoudnessRange", "not measured").add("MaxTruePeakLevel", -1.5).add("MaxMomentaryLoudness", -18.0).add("MaxShortTermLoudness", 0.0).add("Reserved", std::vector<uint8_t>(180)).add("CodingHistory", "A=PCM")
                                        .add("Units", Record().add("LoudnessValue", "LUFS").add("LoudnessRange", "LU").add("MaxTruePeakLevel", "dBTP").add("MaxMomentaryLoudness", "LUFS").add("MaxShortTermLoudness", "LUFS"))},
      // Edits through the edit layer: refused with every reason and nothing set, or all set.
      {"BWFParser", "setFields:", {Record().add("Version", "3").add("LoudnessRange", "400").add("Originator", "Orig")},
       S("Version: expected 0, 1 or 2, got '3'\nLoudnessRange: 400 is outside -327.68 to 327.66, what the field holds (327.67, 7FFFh, means not measured: give none for that)")},
      {"BWFParser", "setFields:", {Record().add("Originator", "Orig")}, S("")},
      {"BWFParser", "setDescription:", {S("New")}, {}}, {"BWFParser", "setOriginator:", {S("Op")}, {}},
      {"BWFParser", "setOriginatorReference:", {S("R2")}, {}}, {"BWFParser", "setCreationtime:", {S("11:12:13")}, {}},
      {"BWFParser", "setTicks:", {7}, {}}, {"BWFParser", "setTimeCodeHH:MM:SS:FF:FPS:", {1, 2, 3, 4, 25}, {}},
      {"BWFParser", "hex2timecode:FPS:SPS:", {172801000, 25.0f, 48000}, hex},
      {"BWFParser", "description", {}, direct->description()}, {"BWFParser", "originator", {}, direct->originator()},
      {"BWFParser", "originatorReference", {}, direct->originatorReference()},
      {"BWFParser", "creationdate", {}, direct->creationdate()}, {"BWFParser", "creationtime", {}, direct->creationtime()},
      {"BWFParser", "getCodingHistory", {}, direct->getCodingHistory()}, {"BWFParser", "samplePerSeconds", {}, 48000u},
      {"BWFParser", "bitsPerSample", {}, 24}, {"BWFParser", "channels", {}, 2},
      {"BWFParser", "getSamplesSinceMidnightLow", {}, 172810000u}, {"BWFParser", "getSamplesSinceMidnightHigh", {}, 0u},
      {"BWFParser", "getChunkDictionary", {}, std::map<S, S>(d.begin(), d.end())},
      {"BWFParser", "audioSummary", {}, std::map<S, S>{{"format", "PCM, 48000 Hz, 24 bits, 2 channels (blocks of 6 bytes)"}, {"duration", "none (no data chunk)"}}},
      {"Smpte", "statedRateOfParser:", {ParserRef{self}}, std::map<S, S>{{"rate", ""}, {"source", "default"}, {"note", ""}}},
      {"BWFParser", "chunkFlags", {}, uint32_t{direct->chunkFlags()}}, {"BWFParser", "getTicks", {}, direct->getTicks()},
      {"BWFParser", "timecodeString", {}, direct->timecodeString()}, {"BWFParser", "endianNess", {}, false},
      {"BWFParser", "getBWFChunkData", {}, direct->getBWFChunkData()},
      {"BWFParser", "getfps:", {std::array<float, 1>{}}, {}}, {"BWFParser", "lastError", {}, S()},
      {"BWFParser", "hexStr2timecode:FPS:SPS:", {S("A4CBBE8"), S("25"), S("48000")}, direct->hexStr2timecode("A4CBBE8", "25", "48000")},
      {"BWFParser", "writeBExtHeaderToFile:", {copy}, true}, {"BWFParser", "saveFile", {}, true},
      {"BWFParser", "info", {}, {}}, {"BWFParser", "initWithPath:", {S("/nonexistent.wav")}, {}},
      {"TimeCode", "splitTimeCode:fps:intoVector:", {S("01:02"), 25.0f, std::array<int32_t, 4>{9, 9, 9, 9}}, {}},
      {"TimeCode", "isLegalTimeCode:fps:", {S("00;01;00;00"), 29.97f}, false},
      {"TimeCode", "framesFromTimeCode:fps:", {S("01;00;00;00"), 29.97f}, TimeCode::framesFromTimeCode("01;00;00;00", 29.97f)},
      {"TimeCode", "maxFramesForFPS:", {23.976f}, TimeCode::maxFramesForFPS(23.976f)},
      {"TimeCode", "timeCodeFromFrames:fps:absoluteMode:", {-1, 30.0f, true}, S("23:59:59:29")},
      {"TimeCode", "framesToFeetFrames:type:delimiter:", {30849, 40, S("-")}, S("0771-09")},
      {"TimeCode", "feetFramesToFrames:type:delimiter:", {S("0771+09"), 16, S("+")}, 12345},
      {"TimeCode", "feetFramesToTimeCode:type:delimiter:fps:", {S("0771+09"), 16, S("+"), 24.0f}, TimeCode::feetFramesToTimeCode("0771+09", 16, "+", 24.0f)},
      {"TimeCode", "feetFramesToDelimitedList:type:delimiter:fps:", {S("99999+00"), 16, S("+"), 25.0f}, S("0009,9999,00")},
      {"TimeCode", "feetFramesToArray:type:delimiter:fps:", {S("99999+00"), 16, S("+"), 25.0f}, Strings{"0009", "9999", "00"}},
      {"FileManager", "setTypeCode:atPath:", {S("WAVE"), marked}, true}, {"FileManager", "setCreatorCode:atPath:", {S("bext"), marked}, true},
      {"FileManager", "typeCodeAtPath:", {marked}, S("'WAVE'")}, {"FileManager", "codesAtPath:", {marked}, Record().add("type", "WAVE").add("creator", "bext")}, {"FileManager", "codesAtPath:", {path}, Record().add("type", {}).add("creator", {})}, {"FileManager", "creatorCodeAtPath:", {marked}, S("'bext'")},
      {"Smpte", "framesPerDay:", {S("59.94")}, 5178816u}, {"Smpte", "framesFromLabel:rate:", {S("00:01:00;04"), S("59.94")}, 3600u},
      {"Smpte", "labelFromFrames:rate:", {86400u, S("23.976")}, S("01:00:00:00")},
      {"Smpte", "whyIllegal:rate:", {S("00:01:00:00"), S("29.97nd")}, S()},
      {"Smpte", "timecodeOfParser:rate:", {ParserRef{self}, S("25")}, S("01:02:03:03")},  // as saved
      {"Smpte", "setTimecodeOfParser:label:rate:", {ParserRef{self}, S("10:00:00:00"), S("25")}, {}}};
  // clang-format on
  std::set<S> called;
  for (const auto& c : kCalls) {
    SCOPED_TRACE(S(c.cls) + " " + c.name);
    std::vector<Value> args = c.args;
    const bool classOperation = bridge.find(c.cls, c.name)->classOperation;
    const auto got = bridge.call(c.cls, c.name, classOperation ? 0 : self, args, error);
    ASSERT_TRUE(got) << error;
    EXPECT_TRUE(*got == c.expected);
    called.insert(S(c.cls) + " " + c.name);
    // Caller storage comes back filled.
    using Float1 = std::array<float, 1>;
    using Int4 = std::array<int32_t, 4>;
    const bool storage = S(c.name) == "getfps:" || S(c.name) == "splitTimeCode:fps:intoVector:";
    EXPECT_TRUE(!storage || (S(c.name) == "getfps:" ? std::get<Float1>(args[0])[0] == fps
                                                    : std::get<Int4>(args[2]) == split));
  }
  std::vector<Value> names;
  EXPECT_EQ(std::get<Strings>(*bridge.call("Smpte", "rates", 0, names, error)).size(), 12u);
  called.insert("Smpte rates");
  called.insert("BWFParser initWithPath:FPS:");
  called.insert("BWFParser parse");
  for (const Operation& op : bridge.operations())
    EXPECT_EQ(called.count(op.className + " " + op.name), 1u) << describe(op);
  // The saves wrote the edits and the SMPTE time reference (10 hours at 48 kHz).
  auto saved = BWFParser::initWithPath(path);
  saved->parse();
  EXPECT_EQ(saved->description() + saved->originator(), "NewOp");
  auto written = BWFParser::initWithPath(copy);
  written->parse();
  // 01:02:03:04 at 29.97: 3723 s and 4 / 29.97 s, 178710406.4 samples, rounded up.
  EXPECT_EQ(written->getSamplesSinceMidnightLow(), 178710407u);
  std::vector<Value> again;
  ASSERT_TRUE(bridge.call("BWFParser", "saveFile", self, again, error)) << error;
  saved = BWFParser::initWithPath(path);
  saved->parse();
  EXPECT_EQ(saved->getSamplesSinceMidnightLow(), 1728000000u);
}

TEST(Bridge, CallsThatDoNotFitFailWithTheOperationNamed) {
  Bridge bridge;
  S error;
  std::vector<Value> open = {testsupport::samplePath()};
  const Handle self =
      std::get<ParserRef>(*bridge.call("BWFParser", "initWithPath:", 0, open, error)).handle;
  // clang-format off
  const struct { const char *cls, *name; Handle self; std::vector<Value> args; const char* error; } kCases[] = {
      {"TimeCode", "framesFromTimeCode:", 0, {S("x")}, "TimeCode has no operation framesFromTimeCode:"},
      {"TimeCode", "maxFramesForFPS:", 0, {}, "TimeCode['maxFramesForFPS:']: expected 1 arguments"},
      {"TimeCode", "maxFramesForFPS:", 0, {25}, "argument 1 must be a 32-bit float, got a 32-bit integer"},
      {"BWFParser", "description", 999, {}, "the parser object is unknown or was released"},
      {"Smpte", "timecodeOfParser:rate:", 0, {ParserRef{999}, S("25")}, "argument 1 is a parser object that is unknown"},
      {"Smpte", "framesPerDay:", 0, {S("27")}, "no SMPTE rate '27'"},
      {"Smpte", "framesFromLabel:rate:", 0, {S("00:01:00;00"), S("29.97")}, "does not exist at 29.97 drop-frame"},
      {"BWFParser", "initWithPath:", 0, {S("/any.wav")}, "BWFParser['initWithPath:']: out of memory"}};
  // clang-format on
  // No file is opened but the last row's, where the library throws.
  FileOperations ops = posixFileOperations();
  ops.open = [](const char*, int, mode_t) -> int { throw std::bad_alloc(); };
  setFileOperations(ops);
  for (const auto& c : kCases) {
    std::vector<Value> args = c.args;
    S reason;
    EXPECT_FALSE(bridge.call(c.cls, c.name, c.self, args, error, &reason));
    EXPECT_NE(error.find(c.error), S::npos) << error;
    // The reason is the message without the operation's name.
    EXPECT_TRUE(error.ends_with(reason) && reason.find("['") == S::npos) << reason;
  }
  setFileOperations(posixFileOperations());
  // A parser lent to a save answers no call, as object or argument, and stays until given back.
  ASSERT_TRUE(bridge.lend(self) && !bridge.lend(self));
  std::vector<Value> none, withLent = {ParserRef{self}, S("25")};
  EXPECT_FALSE(bridge.call("BWFParser", "description", self, none, error) ||
               bridge.call("Smpte", "timecodeOfParser:rate:", 0, withLent, error) ||
               bridge.release(self));
  EXPECT_NE(error.find("busy saving"), S::npos) << error;
  bridge.giveBack(self);
  EXPECT_EQ(bridge.liveObjects(), 1u);
  EXPECT_TRUE(bridge.release(self) && !bridge.release(self) && bridge.liveObjects() == 0);
  EXPECT_FALSE(bridge.call("BWFParser", "parse", self, none, error));
}

}  // namespace
}  // namespace bextkit::bridge
