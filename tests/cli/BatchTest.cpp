// Folders and batches: the files a folder gives, output in their order whatever thread read them,
// a failing file that does not stop the others; export's table as spreadsheets and scripts read it.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Support.h"
#include "Tool.h"
#include "cli/Cli.h"
#include "cli/Csv.h"
#include "cli/JsonWriter.h"
#include "cli/Paths.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {
namespace {

using testsupport::BextFields;
using testsupport::Bytes;
using testsupport::RiffBuilder;

using testsupport::bextkit;
using testsupport::Outcome;
using testsupport::recorderTake;

TEST(Batch, FoldersGiveTheirFilesInNameOrder) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.pathOf("b/c"));
  // Names alike in their first eight bytes, one that begins another, and one past ASCII.
  for (const char* name : {"b/2.wav", "b/1.WAV", "b/c/3.wav", "b/notes.txt", "b/x.bwf",
                           "b/take10001.wav", "b/take10000.wav", "b/take1.wav", "b/\xC3\xA9.wav"}) {
    dir.write(name, recorderTake({}));
  }
  const struct {
    bool recursive;
    std::string extensions;
    std::vector<std::string> files;
  } kCases[] = {
      {false,
       "bwf,rf64,wav",
       {"b/1.WAV", "b/2.wav", "b/take1.wav", "b/take10000.wav", "b/take10001.wav", "b/x.bwf",
        "b/\xC3\xA9.wav"}},
      {false,
       "*",
       {"b/1.WAV", "b/2.wav", "b/notes.txt", "b/take1.wav", "b/take10000.wav", "b/take10001.wav",
        "b/x.bwf", "b/\xC3\xA9.wav"}},
      {true,
       "wav",
       {"b/1.WAV", "b/2.wav", "b/take1.wav", "b/take10000.wav", "b/take10001.wav", "b/\xC3\xA9.wav",
        "b/c/3.wav"}},
      {false, "txt", {"b/notes.txt"}},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> want;
    for (const std::string& f : c.files) want.push_back(dir.pathOf(f));
    EXPECT_EQ(expandPaths({dir.pathOf("b")}, c.recursive, c.extensions).files, want)
        << c.extensions;
  }
}

// Each file once, whatever number of paths reach it, named by the first; a repeat is a note, and
// folders that loop through symbolic links end.
TEST(Batch, EachFileOnceHoweverManyPathsReachIt) {
  namespace fs = std::filesystem;
  testsupport::TempDir dir;
  fs::create_directories(dir.pathOf("d/e"));
  const std::string d = dir.pathOf("d"), a = dir.write("d/a.wav", recorderTake({})),
                    b = dir.write("d/e/b.wav", recorderTake({})), link = dir.pathOf("d/link.wav"),
                    missing = dir.pathOf("missing.wav");
  fs::create_symlink("a.wav", link);
  fs::create_directory_symlink(".", dir.pathOf("d/e/loop"));  // e/loop is e
  fs::create_directory_symlink("..", dir.pathOf("d/e/up"));   // e/up is d
  const auto same = [](const std::string& path, const std::string& first) {
    return path + ": the same file as " + first + "; handled once";
  };
  const auto folder = [&](const char* path, const std::string& first) {
    return dir.pathOf(path) + ": the same folder as " + first + "; entered once";
  };
  // clang-format off
  const struct {
    std::vector<std::string> paths;
    bool recursive;
    std::vector<std::string> files, notes;
  } kCases[] = {
      {{a, a}, false, {a}, {same(a, a)}},
      {{link, d}, false, {link}, {same(a, link), same(link, link)}},
      {{missing, missing}, false, {missing, missing}, {}},  // told by the command, twice
      {{d, b}, true, {a, b}, {same(link, a), folder("d/e/loop", dir.pathOf("d/e")), folder("d/e/up", d), same(b, b)}}};
  // clang-format on
  for (const auto& c : kCases) {
    const PathList list = expandPaths(c.paths, c.recursive);
    EXPECT_EQ(list.files, c.files) << c.paths[0];
    EXPECT_EQ(list.notes, c.notes) << c.paths[0];
  }
  // One edit per file, the repeats noted without failing; reading commands end.
  const Outcome r = bextkit({"set", "--append-coding-history", "T=once", "-r", d, link});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("bextkit: " + same(link, a) + "\n"), std::string::npos) << r.err;
  for (const std::string& file : {a, b}) {
    const std::string history = bextkit({"show", file}).out;
    EXPECT_TRUE(history.find("T=once") + 1 && history.find("T=once") == history.rfind("T=once"))
        << history;
  }
}

// A file whose work throws (here where the library opens it) fails alone: the others are still
// read and written, on one thread or on every core, and import counts every row.
TEST(Batch, AFileThatThrowsFailsAloneAndTheOthersGoOn) {
  testsupport::TempDir dir;
  std::string table = "FileName,Description\r\n";
  for (int i = 10; i < 27; ++i) {  // 17 files: show reads them on every core
    table += dir.write("f" + std::to_string(i) + ".wav", recorderTake({"Take"})) + ",Scene\r\n";
  }
  const std::string poison = dir.pathOf("f18.wav"), oom = poison + ": out of memory\n";
  const std::string csv = dir.write("t.csv", Bytes(table.begin(), table.end()));
  // clang-format off
  const struct {
    std::vector<std::string> args;
    bool onWrite;  // throws when the file is opened for writing only, not for reading
    std::string summary, err;
  } kCases[] = {
      {{"show", dir.path}, false, "", "bextkit: " + oom},
      {{"set", "--description", "x", dir.path}, false, "", "bextkit: " + oom},
      {{"import", csv, "--verbose", "--continue-errors", "--dry-run"}, false, "16 files would change, 0 unchanged, 1 failed\n", csv + ":10: FileName: " + oom},
      {{"import", csv, "--verbose", "--continue-errors"}, true, "16 files changed, 0 unchanged, 1 failed\n", csv + ":10: cannot save " + oom}};
  // clang-format on
  for (const auto& c : kCases) {
    FileOperations ops = posixFileOperations();
    ops.open = [real = ops.open, &poison, &c](const char* path, int flags, mode_t mode) {
      if (path == poison && (!c.onWrite || (flags & O_ACCMODE) != O_RDONLY)) {
        throw std::bad_alloc();
      }
      return real(path, flags, mode);
    };
    setFileOperations(ops);
    const Outcome r = bextkit(c.args);
    setFileOperations(posixFileOperations());
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_EQ(r.err, c.err);
    size_t named = 0;  // the other 16 files, each once
    for (size_t at = 0; (at = r.out.find(dir.pathOf("f"), at)) != std::string::npos; ++at) ++named;
    EXPECT_EQ(named, 16u) << r.out;
    EXPECT_TRUE(r.out.ends_with(c.summary)) << r.out;
  }
}

// Many files read by the pool come out in the order of their names, as one at a time would,
// whatever runs of neighbours the threads took; a file that cannot be read, and one that
// vanishes between the listing and its opening, are told in their places without stopping the
// others.
TEST(Batch, OutputKeepsTheOrderOfTheFiles) {
  testsupport::TempDir dir;
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {  // enough for runs of more than one file
    names.push_back("t" + std::to_string(1000 + i) + ".wav");
    if (i == 17 || i == 151) {  // each the second of a run of two, its line joined to the first's
      dir.write(names.back(), Bytes{'J', 'U', 'N', 'K'});
    } else {
      dir.write(names.back(),
                recorderTake({"Take " + std::to_string(i), "", "", "", "", uint64_t(i) * 1920}));
    }
  }
  const Outcome text = bextkit({"show", dir.path});
  EXPECT_NE(text.err.find("t1017.wav: not a WAV file"), std::string::npos);
  EXPECT_LT(text.out.find("Take 16"), text.out.find("Take 18"));
  EXPECT_LT(text.out.find("Take 150"), text.out.find("Take 152"));
  EXPECT_EQ(bextkit({"show", "--json", dir.path}).status, 1);

  const std::string vanishing = dir.pathOf("t1200.wav");
  FileOperations ops = posixFileOperations();
  ops.open = [real = ops.open, &vanishing](const char* path, int flags, mode_t mode) {
    if (path == vanishing) std::filesystem::remove(vanishing);
    return real(path, flags, mode);
  };
  setFileOperations(ops);
  const Outcome all = bextkit({"show", "--json", dir.path});
  setFileOperations(posixFileOperations());
  std::string oneByOne;
  for (const std::string& name : names)
    oneByOne += bextkit({"show", "--json", dir.pathOf(name)}).out;
  EXPECT_EQ(all.status, 1);
  EXPECT_EQ(all.out, oneByOne);
  EXPECT_NE(all.out.find("{\"file\":\"" + vanishing +
                         "\",\"error\":\"cannot open: No such file or directory\"}\n"),
            std::string::npos);
}

// A file that vanishes between the listing and its opening fails alone in every command that
// reads a folder on the pool: told on the error stream, the others in order on the output.
TEST(Batch, AFileThatVanishesAfterTheListingFailsAlone) {
  testsupport::TempDir dir;
  for (int i = 0; i < 20; ++i) dir.write("v" + std::to_string(10 + i) + ".wav", recorderTake({}));
  const std::string vanishing = dir.pathOf("v19.wav");
  const std::vector<std::vector<std::string>> kCommands = {
      {"show"}, {"chunks"}, {"check"}, {"export", "--csv"}, {"md5"}};
  for (std::vector<std::string> args : kCommands) {
    SCOPED_TRACE(args[0]);
    dir.write("v19.wav", recorderTake({}));
    FileOperations ops = posixFileOperations();
    ops.open = [real = ops.open, &vanishing](const char* path, int flags, mode_t mode) {
      if (path == vanishing) std::filesystem::remove(vanishing);
      return real(path, flags, mode);
    };
    setFileOperations(ops);
    args.push_back(dir.path);
    const Outcome r = bextkit(args);
    setFileOperations(posixFileOperations());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "bextkit: " + vanishing + ": cannot open: No such file or directory\n");
    size_t at = 0;
    for (int i = 0; i < 20; ++i) {
      if (i == 9) continue;
      const size_t next = r.out.find(dir.pathOf("v" + std::to_string(10 + i) + ".wav"), at);
      EXPECT_NE(next, std::string::npos) << i << "\n" << r.out;
      at = next == std::string::npos ? at : next;
    }
  }
}

TEST(Batch, ExportAsSpreadsheetsAndScriptsReadIt) {
  testsupport::TempDir dir;
  Bytes payload =
      testsupport::bextPayload({"Scene 4, take 1\r\n\"wild\"", "Caf\xE9", "", "2024-02-29",
                                "23:59:59", 172800000, "A=PCM,F=48000,W=24,M=stereo\r\n"});
  payload[346] = 2;                          // version 2
  payload[348] = 0x06;                       // a UMID's first byte; the rest zero: 32 bytes
  payload[412] = 0x04, payload[413] = 0xF7;  // loudness value -23.00 (0xF704)
  payload[414] = 0xFF, payload[415] = 0x7F;  // loudness range unused
  const Bytes info = {'I', 'N', 'F', 'O', 'I', 'A', 'R', 'L', 9,   0, 0,
                      0,   'U', 'S', ',', ' ', 'N', 'A', 'R', 'A', 0, 0};
  RiffBuilder a;
  a.riffHeader().fmt(1, 2, 48000, 24).chunk("bext", payload).chunk("LIST", info);
  const std::string path = dir.write("a.wav", a.chunk("data", Bytes(12, 0)).bytes());
  const std::string bare = dir.write(
      "b.wav", RiffBuilder().riffHeader().fmt(1, 1, 44100, 16).chunk("data", Bytes(4, 0)).bytes());

  const Outcome table = bextkit({"export", "--csv", "--rate", "25", path, bare});
  ASSERT_EQ(table.status, 0) << table.err;
  std::string error;
  const auto rows = csv::parse(table.out, error);
  ASSERT_TRUE(rows) << error;
  ASSERT_EQ(rows->size(), 3u);
  const auto cell = [&](size_t row, const std::string& column) {
    const auto& header = (*rows)[0];
    const size_t at = size_t(std::find(header.begin(), header.end(), column) - header.begin());
    return at < header.size() ? (*rows)[row].at(at) : "no column " + column;
  };
  EXPECT_EQ(cell(1, "Description"), "Scene 4, take 1\r\n\"wild\"");
  EXPECT_EQ(cell(1, "Originator"), "Caf\xC3\xA9");  // Latin-1 shown as UTF-8
  EXPECT_EQ(cell(1, "TimeReference (translated)") + " " + cell(1, "TimeReference"),
            "01:00:00:00 172800000");
  EXPECT_EQ(cell(1, "BextVersion") + " " + cell(1, "LoudnessValue") + "|" +
                cell(1, "LoudnessRange") + "|" + cell(1, "IARL"),
            "2 -23.00||US, NARA");
  EXPECT_EQ(cell(1, "UMID"), "06" + std::string(62, '0'));
  EXPECT_EQ(cell(1, "CodingHistory"), "A=PCM,F=48000,W=24,M=stereo\r\n");
  EXPECT_EQ(cell(2, "Description") + cell(2, "TimeReference") + cell(2, "BextVersion"), "");

  const auto object = nlohmann::json::parse(bextkit({"export", "--json", path}).out);
  EXPECT_EQ(object["FileName"], path);
  EXPECT_EQ(object["INFO"]["IARL"], "US, NARA");
  EXPECT_EQ(bextkit({"export", path}).status, 2);  // neither --csv nor --json
}

// show --json is written as it goes; its text must be what a JSON library's dump gives.
TEST(Batch, JsonWriterWritesWhatALibraryDumps) {
  // A long text, past the writer's first buffer, with escapes among runs of eight plain bytes.
  const std::string longText = std::string(37, 'x') + "\"" + std::string(200, 'y') + "\x1f\\z";
  JsonWriter j;
  j.beginObject().key("t").string("a\b\f\x01\"\\/\r\n\t").key("n").number(29.97).key("w");
  j.number(25.0).key("a").beginArray().null().boolean(true).number(-7).endArray();
  j.key("long").string(longText);
  // Texts from files: ASCII, UTF-8, and Latin-1 bytes shown as their characters.
  j.key("ids").beginArray().displayString("fmt ").displayString("Studio 4, caf\xC3\xA9");
  j.displayString("Studio 4, caf\xE9\r\n").endArray().endObject();
  const nlohmann::ordered_json same = {
      {"t", "a\b\f\x01\"\\/\r\n\t"},
      {"n", 29.97},
      {"w", 25.0},
      {"a", {nullptr, true, -7}},
      {"long", longText},
      {"ids", {"fmt ", "Studio 4, caf\xC3\xA9", "Studio 4, caf\xC3\xA9\r\n"}}};
  EXPECT_EQ(j.takeLine(), same.dump() + '\n');
}

}  // namespace
}  // namespace bextkit::cli
