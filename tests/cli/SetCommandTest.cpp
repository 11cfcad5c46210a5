// bextkit set on good and bad input: what it reports, what reaches the file, and that a failure
// leaves the file as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "CliRun.h"
#include "LogCapture.h"
#include "RiffBuilder.h"
#include "TempDir.h"
#include "bwf/BWFParser.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {
namespace {

using testsupport::readWholeFile;
using testsupport::TempDir;

std::string copyOfSample(const TempDir& dir, const std::string& name) {
  return dir.write(name, readWholeFile(kSample));
}

std::unique_ptr<BWFParser> scan(const std::string& path, float fps = 25.0f) {
  auto parser = BWFParser::initWithPath(path, fps);
  testsupport::LogCapture quiet;
  if (parser) parser->parse();
  return parser;
}

TEST(SetCommand, RewritesTheChunkAndSaysWhatChanged) {
  TempDir dir;
  const std::string path = copyOfSample(dir, "take.wav");
  const CliRun r = runCli({"set", path, "--description", "Dialogue, scene 4", "--originator",
                           "Sound dept", "--timecode", "10:00:00:00", "--verbose"});
  // --verbose is not an option of set: nothing may be written on a usage error.
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(readWholeFile(path), readWholeFile(kSample));

  const CliRun ok = runCli({"set", path, "--description", "Dialogue, scene 4", "--originator",
                            "Sound dept", "--timecode", "10:00:00;00", "--fps", "29.97"});
  ASSERT_EQ(ok.status, 0) << ok.err;
  for (const char* change :
       {"description: \"Line-up tone, 1 kHz at -18 dBFS\" -> \"Dialogue, scene 4\"",
        "originator: \"bextkit\" -> \"Sound dept\"", "time reference: 172800000 -> 1728000000"}) {
    EXPECT_NE(ok.out.find(change), std::string::npos) << change << "\n" << ok.out;
  }
  auto parser = scan(path, 29.97f);
  EXPECT_EQ(parser->description(), "Dialogue, scene 4");
  EXPECT_EQ(parser->originator(), "Sound dept");
  EXPECT_EQ(parser->getSamplesSinceMidnightLow(), 1728000000u);
  EXPECT_EQ(readWholeFile(path).size(), readWholeFile(kSample).size());
}

TEST(SetCommand, InsertsAChunkIntoAFileWithoutOne) {
  TempDir dir;
  const std::string path = dir.write("plain.wav", testsupport::RiffBuilder()
                                                      .riffHeader()
                                                      .fmt(1, 1, 48000, 16)
                                                      .chunk("data", testsupport::Bytes(960, 0x11))
                                                      .bytes());
  const size_t before = readWholeFile(path).size();
  const CliRun r = runCli({"set", path, "--originator", "Field recorder"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("a new bext chunk"), std::string::npos) << r.out;
  EXPECT_EQ(readWholeFile(path).size(), before + 866);
  EXPECT_EQ(scan(path)->originator(), "Field recorder");
}

TEST(SetCommand, DryRunWritesNothing) {
  TempDir dir;
  const std::string path = copyOfSample(dir, "take.wav");
  const CliRun r = runCli({"set", path, "--description", "not yet", "--dry-run"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("dry run"), std::string::npos);
  EXPECT_NE(r.out.find("\"not yet\""), std::string::npos);
  EXPECT_EQ(readWholeFile(path), readWholeFile(kSample));
}

TEST(SetCommand, BadArgumentsAreUsageErrorsAndTouchNoFile) {
  TempDir dir;
  const std::string path = copyOfSample(dir, "take.wav");
  const struct {
    std::vector<std::string> args;
    const char* names;
  } kCases[] = {
      {{"set", path}, "nothing to set"},
      {{"set", path, "--description", std::string(257, 'd')}, "--description"},
      {{"set", path, "--originator", std::string(33, 'o')}, "--originator"},
      {{"set", path, "--timecode", "01:61:00:00"}, "--timecode"},
      {{"set", path, "--timecode", "01:00:00:25"}, "--timecode"},
      {{"set", path, "--timecode", "01:00:00"}, "--timecode"},
      {{"set", path, "--timecode", "ten o'clock"}, "--timecode"},
      {{"set", path, "--description", "x", "--fps", "0"}, "--fps"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.names);
    const CliRun r = runCli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
  }
  EXPECT_EQ(readWholeFile(path), readWholeFile(kSample));
}

TEST(SetCommand, AFileThatCannotBeSavedIsReportedAndTheOthersSaved) {
  TempDir dir;
  const std::string good = copyOfSample(dir, "good.wav");
  const std::string locked = copyOfSample(dir, "locked.wav");
  // Opening for writing fails as it does for a read-only file (root ignores permission bits).
  FileOperations ops = posixFileOperations();
  const FileOperations real = ops;
  ops.open = [real, locked](const char* p, int flags, mode_t mode) {
    if ((flags & O_ACCMODE) != O_RDONLY && locked == p) {
      errno = EACCES;
      return -1;
    }
    return real.open(p, flags, mode);
  };
  const FileOperations previous = setFileOperations(ops);
  const CliRun r = runCli(
      {"set", good, locked, dir.pathOf("missing.wav"), dir.path(), "--description", "batch"});
  setFileOperations(previous);

  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(scan(good)->description(), "batch");
  EXPECT_EQ(readWholeFile(locked), readWholeFile(kSample));
  for (const std::string& reported : {"cannot save " + locked, std::string(std::strerror(EACCES)),
                                      dir.pathOf("missing.wav"), dir.path() + ": "}) {
    EXPECT_NE(r.err.find(reported), std::string::npos) << reported << "\n" << r.err;
  }
}

TEST(SetCommand, ShowsProgressOfALargeInsertionOnATerminal) {
  TempDir dir;
  // 70 MiB, mostly a hole: large enough to be worth a progress line, cheap to copy.
  testsupport::Bytes start = testsupport::RiffBuilder().riffHeader().fmt(1, 2, 48000, 16).bytes();
  const uint32_t dataSize = 70u << 20;
  for (char c : std::string("data")) start.push_back(static_cast<uint8_t>(c));
  for (int i = 0; i < 4; ++i) start.push_back(static_cast<uint8_t>(dataSize >> (8 * i)));
  for (bool terminal : {false, true}) {
    const std::string path = dir.write("long.wav", start);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(start.size() + dataSize)), 0);
    std::ostringstream out, err;
    ASSERT_EQ(run({"set", path, "--description", "long"}, out, err, terminal), 0) << err.str();
    EXPECT_EQ(err.str().find("100%") != std::string::npos, terminal) << err.str();
  }
}

}  // namespace
}  // namespace bextkit::cli
