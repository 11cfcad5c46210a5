// import run in-process: a table as a spreadsheet saves it, rows that stop the whole import,
// --continue-errors and --dry-run, empty and <clear> cells, files left unwritten, failed saves,
// and a round trip through export on files FFmpeg writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Support.h"
#include "Tool.h"
#include "app/bridge/Bridge.h"
#include "bwf/BWFParser.h"
#include "bwf/SmpteTime.h"
#include "check/Conformance.h"
#include "cli/Cli.h"
#include "cli/Csv.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {
namespace {

using testsupport::readWholeFile;

const std::string kSample = testsupport::samplePath();
const std::string kSampleDescription = "Line-up tone, 1 kHz at -18 dBFS";

using Result = testsupport::Outcome;
using testsupport::bextkit;

std::string writeText(const testsupport::TempDir& dir, const std::string& name,
                      const std::string& text) {
  return dir.write(name, testsupport::Bytes(text.begin(), text.end()));
}

using testsupport::scanned;

using testsupport::WriteRefused;

TEST(Import, TableAsASpreadsheetSavesIt) {
  // A byte order mark, CR LF, the columns in another order, a quoted cell with a comma, a quote
  // and a line break, a history whose lines end in LF, a blank record, and columns import does
  // not write. The file is named relative to the table's folder.
  testsupport::TempDir dir;
  const std::string take = dir.write("take.wav", readWholeFile(kSample));
  const std::string umid = "060A2B340101010501010F20130000000123456789abcdef0123456789ABCDEF";
  const std::string table = writeText(
      dir, "t.csv",
      "\xEF\xBB\xBF\"CodingHistory\",Notes,FileName,Description,Originator,OriginatorReference,"
      "OriginationDate,OriginationTime,TimeReference (translated),BextVersion,UMID,LoudnessValue,"
      "LoudnessRange,MaxTruePeakLevel,MaxMomentaryLoudness,MaxShortTermLoudness,INAM\r\n"
      "\"A=PCM,F=48000\nA=ANALOG\",x,take.wav,\"Scene 4, take 1\r\nboom \"\"left\"\"\",Sound,"
      "GBBBCrec000000001,2024-02-29,23:59:59,10:00:00:01,2," +
          umid + ",-23.00,7.5,-1,<clear>,-22.25,Tone\r\n\r\n");
  Result r = bextkit({"import", table});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 file changed, 0 unchanged, 0 failed\n");
  EXPECT_NE(r.err.find("columns ignored: Notes\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("INFO fields are not written by import"), std::string::npos) << r.err;

  const auto parser = scanned(take);
  const BWFParser::FieldEdits f = parser->storedFields();
  EXPECT_EQ(parser->description(), "Scene 4, take 1\r\nboom \"left\"");
  EXPECT_EQ(parser->originator(), "Sound");
  EXPECT_EQ(*f.originatorReference + *f.originationDate + *f.originationTime,
            "GBBBCrec0000000012024-02-2923:59:59");
  EXPECT_EQ(timeReference(*parser), (uint64_t{36000} * 25 + 1) * 48000 / 25);
  EXPECT_EQ(*f.codingHistory, "A=PCM,F=48000\r\nA=ANALOG\r\n");
  EXPECT_EQ(*f.version, 2);
  std::string stored;  // the UMID read back as hex: the basic 32 bytes given, then zeros
  for (const uint8_t byte : *f.umid)
    stored += "0123456789ABCDEF"[byte >> 4], stored += "0123456789ABCDEF"[byte & 15];
  EXPECT_EQ(stored, "060A2B340101010501010F20130000000123456789ABCDEF0123456789ABCDEF" +
                        std::string(64, '0'));
  EXPECT_EQ(std::vector<int>({*f.loudnessValue, *f.loudnessRange, *f.maxTruePeakLevel,
                              *f.maxMomentaryLoudness, *f.maxShortTermLoudness}),
            std::vector<int>({-2300, 750, -100, 0x7FFF, -2225}));
  // The same table again changes nothing, and the file is not even opened for writing.
  const WriteRefused untouchable(take);
  r = bextkit({"import", table, "--verbose"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, take + "\n  unchanged\n0 files changed, 1 unchanged, 0 failed\n");
}

// A table whose first data row changes the description of a.wav, and whose second names `file`
// (b.wav unless given) followed by `cells`: the Description, then the columns `header`.
std::string twoRows(const testsupport::TempDir& dir, const std::string& header,
                    const std::string& cells, std::string file = "") {
  if (file.empty()) file = dir.pathOf("b.wav");
  return writeText(dir, "t.csv",
                   "FileName,Description" + header + "\r\n" + dir.pathOf("a.wav") +
                       ",Dialogue\r\n" + file + "," + cells + "\r\n");
}

TEST(Import, ABadRowStopsEverything) {
  testsupport::TempDir dir, elsewhere;
  const testsupport::Bytes sample = readWholeFile(kSample);
  // Names that leave the table's folder (by ../, as an absolute name, through a link), or that
  // hold a NUL or control byte.
  const std::string out = elsewhere.write("out.wav", sample);
  const std::string outside = ": resolves to " + out + ", outside the table's folder " + dir.path;
  ASSERT_EQ(::symlink(out.c_str(), dir.pathOf("link.wav").c_str()), 0);
  const std::string up = "../" + std::filesystem::path(elsewhere.path).filename().string();
  // clang-format off
  const struct { std::string header, cells, report, file = ""; } kCases[] = {
      {"", std::string(257, 'd'), "Description: 257 bytes, and the field holds at most 256"},
      {",CodingHistory", "," + std::string("A=PCM\0x", 7), "CodingHistory: holds a NUL byte"},
      {",TimeReference (translated)", ",01:00:00;00", "TimeReference (translated): expected hh:mm:ss:ff"},
      {",TimeReference,TimeReference (translated)", ",172800000,01:00:00:01",
       "TimeReference (translated): 01:00:00:01 is not the timecode of the TimeReference 172800000 (01:00:00:00)"},
      {",BextVersion", ",3", "BextVersion: expected 0, 1 or 2, got '3'"},
      {",UMID", "," + std::string(63, '0'), "UMID: expected 64 or 128 hexadecimal digits"},
      {",BextVersion,UMID", ",0," + std::string(63, '0') + "1", "UMID: a UMID needs Version 1 or 2, and the Version is 0"},
      {",LoudnessValue", ",-23.00", "LoudnessValue: loudness values need Version 2"},
      {",BextVersion,MaxTruePeakLevel", ",2,1.2.3", "MaxTruePeakLevel: expected a number such as -23.00"},
      {",Originator", ",x,y", "cell 4 lies past the header's 3 columns"},
      {",Originator", ",x", "FileName: " + dir.pathOf("missing.wav") + ": cannot open: No such file", dir.pathOf("missing.wav")},
      {",Originator", ",x", "FileName: the file is also named in row 2", dir.pathOf("a.wav")},
      {",Originator", ",x", "FileName: " + up + "/out.wav" + outside, up + "/out.wav"},
      {",Originator", ",x", "FileName: " + out + outside, out},
      {",Originator", ",x", "FileName: link.wav" + outside, "link.wav"},
      {",Originator", ",x", "FileName: a.wav\\x00.txt: the name holds a control byte", std::string("a.wav\0.txt", 10)},
      {",Originator", ",x", "FileName: a\\x1B]0;x\\x07.wav: the name holds a control byte", "a\x1B]0;x\x07.wav"},
  };
  // clang-format on
  for (const auto& [header, cells, report, file] : kCases) {
    SCOPED_TRACE(header + " " + cells);
    const std::string a = dir.write("a.wav", sample), b = dir.write("b.wav", sample);
    const std::string table = twoRows(dir, header, cells, file);
    for (const char* option : {"--verbose", "--dry-run"}) {
      const Result r = bextkit({"import", table, option});
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find(table + ":3: " + report), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("1 row has errors; nothing was written"), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find(table + ":2:"), std::string::npos) << r.err;
      EXPECT_EQ(readWholeFile(a), sample);
      EXPECT_EQ(readWholeFile(b), sample);
    }
  }
  // A table that names no files, or cannot be read, is reported with its name.
  const std::pair<std::string, std::string> kTables[] = {
      {"Description\r\nx\r\n", ":1: FileName: the header has no FileName column"},
      {"FileName,Description,Description\r\n", ":1: Description: the column appears twice"},
      {"FileName\r\n\"a.wav\r\n", ": line 2: "},
      {"FileName,Description\r\na.wav",
       ": row 2 ends without a line end and holds 1 of the 2 cells"},
      {"", ": the table is empty"}};
  for (const auto& [text, report] : kTables) {
    const std::string table = writeText(dir, "t.csv", text);
    const Result r = bextkit({"import", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(table + report), std::string::npos) << r.err;
  }
  EXPECT_EQ(bextkit({"import", dir.path}).err, "bextkit: " + dir.path + ": not a regular file\n");
  EXPECT_EQ(bextkit({"import", "t.csv", "--rate", "27"}).status, 2);
}

TEST(Import, ContinueErrorsDryRunAndFailedSaves) {
  testsupport::TempDir dir;
  const testsupport::Bytes sample = readWholeFile(kSample);
  const std::string a = dir.write("a.wav", sample), b = dir.write("b.wav", sample);
  const std::string bad = twoRows(dir, ",OriginationDate", ",2023-02-29");
  // The valid row is written, the invalid one is skipped and counted as failed.
  Result r = bextkit({"import", bad, "--continue-errors"});
  EXPECT_EQ(std::to_string(r.status) + r.out, "11 file changed, 0 unchanged, 1 failed\n");
  EXPECT_NE(r.err.find(bad + ":3: OriginationDate: "), std::string::npos) << r.err;
  EXPECT_EQ(scanned(a)->description() + "|" + scanned(b)->description(),
            "Dialogue|" + kSampleDescription);

  // A dry run writes nothing and lists each row's file. A save that would fail is found before
  // the first write: nothing is written, unless --continue-errors writes the other rows.
  const std::string good = twoRows(dir, ",Originator", ",Boom op");
  r = bextkit({"import", good, "--dry-run"});
  EXPECT_EQ(std::to_string(r.status) + r.out, "0row 2: " + a + ": unchanged\nrow 3: " + b +
                                                  ": would change\n1 file would change, 1 "
                                                  "unchanged, 0 failed\n");
  EXPECT_EQ(readWholeFile(b), sample);
  dir.write("a.wav", sample);
  for (const bool continueErrors : {false, true}) {
    {
      const WriteRefused refused(a);
      r = continueErrors ? bextkit({"import", good, "--continue-errors"})
                         : bextkit({"import", good});
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, continueErrors ? "1 file changed, 0 unchanged, 1 failed\n" : "");
    EXPECT_TRUE(r.err.starts_with(good + ":2: cannot save " + a +
                                  ": cannot open for writing: Permission denied\n"))
        << r.err;
    EXPECT_EQ(readWholeFile(a), sample);
    EXPECT_EQ(scanned(b)->originator(),
              continueErrors ? "Boom op" : scanned(kSample)->originator());
  }
}

// Outside the table's folder, --allow-outside writes a file; a link inside the folder to a file
// in it needs none. A file replaced or written between the reading of the table and its save is
// left alone.
TEST(Import, OutsideTheFolderAndFilesChangedSinceRead) {
  testsupport::TempDir dir, elsewhere;
  const testsupport::Bytes sample = readWholeFile(kSample);
  const std::string a = dir.write("a.wav", sample), out = elsewhere.write("out.wav", sample);
  ASSERT_EQ(::symlink("a.wav", dir.pathOf("inner.wav").c_str()), 0);
  for (const std::string& name : {out, std::string("inner.wav")}) {
    const std::string table = writeText(dir, "t.csv", "FileName,Originator\n" + name + ",x\n");
    const Result r = bextkit({"import", table, "--allow-outside"});
    EXPECT_EQ(std::to_string(r.status) + r.out, "01 file changed, 0 unchanged, 0 failed\n")
        << r.err;
    EXPECT_EQ(scanned(name == out ? out : a)->originator(), "x");
  }
  for (const bool replace : {true, false}) {
    const std::string table = writeText(dir, "t.csv", "FileName,Originator\na.wav,y\n");
    dir.write("a.wav", sample);
    FileOperations ops = posixFileOperations();
    ops.open = [real = ops.open, &a, &out, replace](const char* path, int flags, mode_t mode) {
      const int fd = real(path, flags, mode);
      if (path == a && (flags & O_ACCMODE) == O_RDONLY) {
        setFileOperations(posixFileOperations());
        if (replace) {
          EXPECT_EQ(::symlink(out.c_str(), (a + ".new").c_str()), 0);
          EXPECT_EQ(::rename((a + ".new").c_str(), a.c_str()), 0);
        } else {
          std::ofstream(a, std::ios::app) << "more";
        }
      }
      return fd;
    };
    setFileOperations(ops);
    const Result r = bextkit({"import", table});
    setFileOperations(posixFileOperations());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find(":2: cannot save " + a + ": the file has changed since the table was read"),
        std::string::npos)
        << r.err;
    EXPECT_EQ(scanned(out)->originator(), "x");
    ::unlink(a.c_str());
  }
}

// Tables as spreadsheets of every kind save them: CR alone between records, semicolons or tabs
// between cells, the header in any case. A header that names no column import writes is refused.
TEST(Import, SpreadsheetDialects) {
  testsupport::TempDir dir;
  const std::string take = dir.write("a.wav", readWholeFile(kSample));
  const std::pair<std::string, std::string> kTables[] = {
      {"FileName,Description\ra.wav,Mac\r", "Mac"},
      {"FileName;Description\r\na.wav;\"Semi; colon, too\"\r\n", "Semi; colon, too"},
      {"FileName\tDescription\na.wav\tTab\n", "Tab"},
      {"filename,DESCRIPTION\na.wav,Lower\n", "Lower"},
      {"FileName,Notes\na.wav,x\n", ":1: the header names no column that import writes"}};
  for (const auto& [text, result] : kTables) {
    const std::string table = writeText(dir, "t.csv", text);
    const Result r = bextkit({"import", table});
    if (result.starts_with(":1:")) {
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(table + result), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(std::to_string(r.status) + r.out, "01 file changed, 0 unchanged, 0 failed\n")
          << r.err;
      EXPECT_EQ(scanned(take)->description(), result);
    }
  }
}

// An untouched export imports as no change, whatever the files hold: hours past a day, loudness
// outside the range a table may set, a UMID in a version 0 chunk, a chunk cut short, big-endian
// numbers, mu-law audio, a rate stated in the description.
TEST(Import, AnUntouchedExportChangesNothing) {
  using testsupport::BextFields, testsupport::Bytes, testsupport::RiffBuilder;
  testsupport::TempDir dir;
  const auto file =
      [&](const std::string& name, BextFields f, std::vector<std::pair<size_t, uint8_t>> bytes = {},
          testsupport::ByteOrder order = testsupport::ByteOrder::kNormal, uint16_t coding = 1) {
        Bytes payload = testsupport::bextPayload(f, order == testsupport::ByteOrder::kBig);
        for (const auto& [at, value] : bytes) payload[at] = value;
        return dir.write(name, RiffBuilder(order)
                                   .riffHeader()
                                   .fmt(coding, 1, 48000, coding == 1 ? 16 : 8)
                                   .chunk("bext", payload)
                                   .chunk("data", Bytes(4, 0))
                                   .bytes());
      };
  std::vector<std::string> files = {
      dir.write("sample.wav", readWholeFile(kSample)),
      file("day.wav", {"Day two", "", "", "", "", uint64_t{28} * 3600 * 48000}),
      file("loud.wav", {"Loud"}, {{346, 2}, {412, 0x20}, {413, 0xD1}}),  // -120.00 LUFS, version 2
      file("umid.wav", {"UMID"}, {{348, 0x06}}),                         // in version 0
      file("short.wav", {"Short", "", "", "", "", 0, "", 340}),
      file("rifx.wav", {"Big", "", "", "2024-02-29", "23:59:59", 172800000}, {},
           testsupport::ByteOrder::kBig),
      file("mulaw.wav", {"sSPEED=029.970-DF", "", "", "", "", 172800000}, {},
           testsupport::ByteOrder::kNormal, 7)};
  std::vector<Bytes> before;
  for (const std::string& f : files) before.push_back(readWholeFile(f));
  std::vector<std::string> args = {"export", "--csv"};
  args.insert(args.end(), files.begin(), files.end());
  const Result exported = bextkit(args);
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.out.find(",28:00:00:00,"), std::string::npos) << exported.out;
  const Result r = bextkit({"import", writeText(dir, "t.csv", exported.out)});
  EXPECT_EQ(std::to_string(r.status) + r.out, "00 files changed, 7 unchanged, 0 failed\n") << r.err;
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(readWholeFile(files[i]), before[i]) << files[i];
}

TEST(Import, EmptyCellKeepsClearClears) {
  testsupport::TempDir dir;
  testsupport::BextFields fields{"Caf\xE9",  "Recorder", "REF",      "2024-05-01",
                                 "12:00:00", 480000,     "A=PCM\r\n"};
  const std::string take =
      dir.write("take.wav",
                testsupport::RiffBuilder().riffHeader().fmt(1, 1, 48000, 16).bext(fields).bytes());
  const auto table = [&](const std::string& description) {
    return writeText(dir, "t.csv",
                     "FileName,Description,Originator,OriginatorReference,TimeReference,"
                     "CodingHistory,UMID,LoudnessValue,OriginationDate\r\n" +
                         take + "," + description +
                         ",<clear>,<clear>,<clear>,<clear>,<clear>,<clear>,<clear>\r\n");
  };
  const Result r = bextkit({"import", table("")});
  EXPECT_EQ(std::to_string(r.status) + r.out, "01 file changed, 0 unchanged, 0 failed\n") << r.err;
  const auto parser = scanned(take);
  const BWFParser::FieldEdits f = parser->storedFields();
  EXPECT_EQ(parser->description() + "|" + parser->originator() + "|" + *f.originatorReference +
                "|" + *f.originationDate + "|" + *f.codingHistory,
            "Caf\xE9||||");
  EXPECT_EQ(timeReference(*parser), 0u);
  // Cleared again, nothing changes; nor does the Latin-1 description as export shows it, UTF-8.
  EXPECT_EQ(bextkit({"import", table("Caf\xC3\xA9")}).out,
            "0 files changed, 1 unchanged, 0 failed\n");
}

TEST(Import, RoundTripWithExportOnFfmpegFiles) {
  testsupport::TempDir dir;
  std::vector<std::string> files;
  for (const char* name : {"one.wav", "two.wav"}) {
    files.push_back(dir.pathOf(name));
    const auto [status, output] =
        testsupport::runProcess({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=0.2",
                                 "-write_bext", "1", "-metadata", "description=ffmpeg take",
                                 "-metadata", "time_reference=441000", "-y", files.back()});
    if (status != 0) GTEST_SKIP() << "ffmpeg cannot write the files: " << output;
  }
  Result r = bextkit({"export", "--csv", files[0], files[1]});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string error;
  std::vector<csv::Row> rows = *csv::parse(r.out, error);
  const auto column = [&](const char* name) {
    return static_cast<size_t>(std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin());
  };
  const auto joined = [&] {
    std::string text;
    for (const csv::Row& row : rows) text += csv::record(row);
    return text;
  };
  rows[1][column("Description")] = "Scene 7, take 2";
  rows[1][column("TimeReference")] = "";
  rows[1][column("TimeReference (translated)")] = "01:00:00:00";
  rows[1][column("OriginationDate")] = "2025-01-31";
  r = bextkit({"import", writeText(dir, "t.csv", joined())});
  EXPECT_EQ(std::to_string(r.status) + r.out, "01 file changed, 1 unchanged, 0 failed\n") << r.err;
  // Export now gives the edited table, the time reference in samples filled in.
  rows[1][column("TimeReference")] = std::to_string(3600 * 44100);
  EXPECT_EQ(bextkit({"export", "--csv", files[0], files[1]}).out, joined());
  // Texts a spreadsheet would run as formulas go out with a quote before them (a text that
  // begins with a quote too), numbers never, and the table comes back unchanged.
  const std::pair<const char*, const char*> kTexts[] = {{"--description", "=HYPERLINK(\"x\")"},
                                                        {"--originator", "'quoted"},
                                                        {"--originator-reference", "@ref"},
                                                        {"--coding-history", "-A=PCM\r\n"}};
  for (const auto& [option, text] : kTexts) {
    ASSERT_EQ(bextkit({"set", files[0], option, text}).status, 0) << option;
  }
  // And the values of DAWs that check only warns about: -120.00 dBTP for silence, a UMID of
  // their own.
  const std::string daw = "5A3F0C11" + std::string(56, '7');
  ASSERT_EQ(bextkit({"set", files[0], "--version", "2", "--loudness-value", "-23.00",
                     "--max-true-peak", "-120.00", "--umid", daw})
                .status,
            0);
  rows = *csv::parse(bextkit({"export", "--csv", files[0]}).out, error);
  EXPECT_EQ(rows[1][column("Description")], "'=HYPERLINK(\"x\")");
  EXPECT_EQ(rows[1][column("Originator")], "''quoted");
  EXPECT_EQ(rows[1][column("OriginatorReference")], "'@ref");
  EXPECT_EQ(rows[1][column("CodingHistory")], "'-A=PCM\r\n");
  EXPECT_EQ(rows[1][column("LoudnessValue")], "-23.00");
  EXPECT_EQ(rows[1][column("MaxTruePeakLevel")], "-120.00");
  EXPECT_EQ(rows[1][column("UMID")], daw);
  r = bextkit({"import", writeText(dir, "t.csv", joined())});
  EXPECT_EQ(std::to_string(r.status) + r.out, "00 files changed, 1 unchanged, 0 failed\n") << r.err;
}

// set, import, the bridge (as the desktop application and scripts edit) and check keep one line:
// a value that check calls an error in a file is refused by each in the same words, and one it
// accepts is taken by each. Each row names the
// field as set, import and the parser take it.
TEST(Import, EveryEntryPointKeepsTheRulesOfCheck) {
  using Edits = BWFParser::FieldEdits;
  const std::string label = "060A2B340101010501010F2013";
  // clang-format off
  const struct {
    const char* option; const char* column; std::string value; void (*write)(Edits&, const std::string&);
    const char* words;  // null: accepted
  } kRows[] = {
      {"--origination-date", "OriginationDate", "2023-02-29", [](Edits& e, const std::string& v) { e.originationDate = v; },
       "The OriginationDate \"2023-02-29\" is not a real date: day 29 does not exist in February 2023"},
      {"--origination-date", "OriginationDate", "2024.02.29", [](Edits& e, const std::string& v) { e.originationDate = v; }, nullptr},
      {"--origination-time", "OriginationTime", "24:00:00", [](Edits& e, const std::string& v) { e.originationTime = v; },
       "The OriginationTime \"24:00:00\" is not a time of day: the hour 24 is not between 00 and 23"},
      // Unusual but harmless, as DAWs write them: check warns, and every entry point takes them.
      {"--loudness-range", "LoudnessRange", "-1", [](Edits& e, const std::string&) { e.loudnessRange = -100; }, nullptr},
      {"--max-true-peak", "MaxTruePeakLevel", "-120.00", [](Edits& e, const std::string&) { e.maxTruePeakLevel = -12000; }, nullptr},
      {"--umid", "UMID", "5A3F0C11" + std::string(120, '0'),
       [](Edits& e, const std::string&) { e.umid = Umid{0x5A, 0x3F, 0x0C, 0x11}; }, nullptr},
      {"--umid", "UMID", label + std::string(38, '0'),
       [](Edits& e, const std::string&) { e.umid = Umid{0x06, 0x0A, 0x2B, 0x34, 1, 1, 1, 5, 1, 1, 0x0F, 0x20, 0x13}; }, nullptr},
      {"--umid", "UMID", "060A2B340101010501010F2014" + std::string(38, '0'),
       [](Edits& e, const std::string&) { e.umid = Umid{0x06, 0x0A, 0x2B, 0x34, 1, 1, 1, 5, 1, 1, 0x0F, 0x20, 0x14}; },
       "The UMID's length byte is 0x14"}};
  // clang-format on
  testsupport::TempDir dir;
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.column) + " " + row.value);
    const std::string path = dir.write("take.wav", readWholeFile(kSample));
    const Result set = bextkit({"set", "--version", "2", row.option, row.value, path});
    const std::string table = writeText(dir, "t.csv",
                                        "FileName,BextVersion," + std::string(row.column) + "\r\n" +
                                            path + ",2," + row.value + "\r\n");
    const Result import = bextkit({"import", "--dry-run", table});
    // The desktop application's and the scripts' way, through the bridge.
    bridge::Bridge scripts;
    std::string fault;
    std::vector<bridge::Value> args = {path};
    const auto made = scripts.call("BWFParser", "initWithPath:", 0, args, fault);
    ASSERT_TRUE(made) << fault;
    const bridge::Handle handle = std::get<bridge::ParserRef>(*made).handle;
    std::vector<bridge::Value> none;
    ASSERT_TRUE(scripts.call("BWFParser", "parse", handle, none, fault)) << fault;
    std::vector<bridge::Value> fields = {
        bridge::Record().add("Version", "2").add(row.column, row.value)};
    const auto refused = scripts.call("BWFParser", "setFields:", handle, fields, fault);
    ASSERT_TRUE(refused) << fault;
    const std::string& gui = std::get<std::string>(*refused);
    // The value as a writer that knows no rules leaves it, and what check says of it.
    auto parser = scanned(path);
    Edits edits;
    edits.version = 2;
    row.write(edits, row.value);
    parser->setFieldEdits(edits);
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    check::Findings found;
    std::string error;
    ASSERT_TRUE(check::checkFile(path, check::kTech3285, found, error)) << error;
    const auto checkError = std::find_if(found.begin(), found.end(), [](const check::Finding& f) {
      return f.severity == check::Severity::kError;
    });
    if (!row.words) {
      EXPECT_EQ(set.status, 0) << set.err;
      EXPECT_EQ(import.status, 0) << import.err;
      EXPECT_EQ(gui, "");
      EXPECT_TRUE(checkError == found.end()) << checkError->text;
      continue;
    }
    EXPECT_NE(set.status, 0);
    EXPECT_NE(set.err.find(row.words), std::string::npos) << set.err;
    EXPECT_EQ(import.status, 1);
    EXPECT_NE(import.err.find(row.words), std::string::npos) << import.err;
    EXPECT_NE(gui.find(row.words), std::string::npos) << gui;
    ASSERT_TRUE(checkError != found.end());
    EXPECT_NE(checkError->text.find(row.words), std::string::npos) << checkError->text;
  }
}

}  // namespace
}  // namespace bextkit::cli
