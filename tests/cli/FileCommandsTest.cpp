// show and chunks on the bundled sample, on files that cannot be read, and the JSON contract.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "cli/Text.h"

namespace bextkit::cli {
namespace {

std::vector<nlohmann::json> jsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(FileCommands, ShowPrintsTheSamplesFields) {
  const CliRun r = runCli({"show", kSample});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* expected :
       {"48000 Hz, 24 bits, 2 channels", "Line-up tone, 1 kHz at -18 dBFS", "bextkit",
        "BXK0000000001", "2026-12-06", "10:00:00", "172800000", "01:00:00:00 at 25 fps",
        "A=PCM,F=48000,W=24,M=stereo,T=bextkit sample"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  EXPECT_EQ(r.err, "") << "scan messages appear only with --verbose";
  EXPECT_NE(runCli({"show", "--verbose", kSample}).err.find("***Have RIFF"), std::string::npos);
}

TEST(FileCommands, JsonHasExactlyTheDocumentedKeys) {
  const CliRun r = runCli({"show", "--json", "--fps", "29.97", kSample});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<nlohmann::json> lines = jsonLines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  const nlohmann::json& j = lines[0];
  const auto keysOf = [](const nlohmann::json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  EXPECT_EQ(keysOf(j),
            (std::vector<std::string>{"bext", "chunks", "file", "flags", "format", "timecode"}));
  EXPECT_EQ(keysOf(j["format"]),
            (std::vector<std::string>{"bitsPerSample", "channels", "sampleRate"}));
  EXPECT_EQ(keysOf(j["bext"]),
            (std::vector<std::string>{"codingHistory", "description", "originationDate",
                                      "originationTime", "originator", "originatorReference",
                                      "timeReference", "timeReferenceHigh", "timeReferenceLow"}));
  EXPECT_EQ(keysOf(j["timecode"]), (std::vector<std::string>{"fps", "ticks", "value"}));
  EXPECT_EQ(j["format"]["sampleRate"], 48000);
  EXPECT_EQ(j["bext"]["timeReference"], 172800000);
  EXPECT_EQ(j["timecode"]["value"], "01:00:00:00");
  EXPECT_DOUBLE_EQ(j["timecode"]["fps"].get<double>(), 29.97);
  EXPECT_EQ(j["flags"], (nlohmann::json{"RIFF", "fmt", "data", "bext"}));
  // The chunks in file order: each starts where the one before it ends (Length counts the bytes
  // the scan passed before meeting the next chunk).
  const nlohmann::json& chunks = j["chunks"];
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[0]["id"], "RIFF");
  EXPECT_EQ(chunks[3]["id"], "data");
  for (size_t i = 1; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i]["start"].get<int64_t>(),
              chunks[i - 1]["start"].get<int64_t>() + chunks[i - 1]["length"].get<int64_t>());
    EXPECT_EQ(chunks[i]["index"].get<int>(), chunks[i - 1]["index"].get<int>() + 1);
  }
}

TEST(FileCommands, UnreadableFilesAreReportedAndTheOthersStillShown) {
  const CliRun r = runCli({"show", "--json", "/nonexistent/take1.wav", kSample, "/"});
  EXPECT_EQ(r.status, 1);
  const std::vector<nlohmann::json> lines = jsonLines(r.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["file"], "/nonexistent/take1.wav");
  EXPECT_NE(lines[0]["error"].get<std::string>().find("No such file"), std::string::npos);
  EXPECT_FALSE(lines[0].contains("bext"));
  EXPECT_EQ(lines[1]["bext"]["originator"], "bextkit");
  EXPECT_NE(lines[2]["error"].get<std::string>().find("directory"), std::string::npos);

  const CliRun human = runCli({"chunks", "/nonexistent/take1.wav"});
  EXPECT_EQ(human.status, 1);
  EXPECT_NE(human.err.find("/nonexistent/take1.wav"), std::string::npos);
  EXPECT_NE(human.err.find("No such file"), std::string::npos);
}

TEST(FileCommands, ChunksListsTheDirectoryInFileOrder) {
  const CliRun r = runCli({"chunks", kSample});
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t riff = r.out.find("'RIFF'"), fmt = r.out.find("'fmt '"), bext = r.out.find("'bext'"),
               data = r.out.find("'data'");
  ASSERT_NE(data, std::string::npos) << r.out;
  EXPECT_LT(riff, fmt);
  EXPECT_LT(fmt, bext);
  EXPECT_LT(bext, data);
  EXPECT_EQ(runCli({"chunks", kSample, kSample}).status, 2) << "chunks takes one file";
}

TEST(Text, InvalidUtf8BytesAreShownAsLatin1) {
  struct Case {
    std::string bytes;
    std::string shown;
  };
  const Case kCases[] = {
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                // valid UTF-8 stays
      {"caf\xE9", "caf\xC3\xA9"},                    // Latin-1 e-acute
      {"\xC3", "\xC3\x83"},                          // truncated sequence
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},              // overlong form
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // surrogate
      {"\xF0\x9F\x8E\xAC", "\xF0\x9F\x8E\xAC"},      // four-byte sequence
      {"\xFF\xFE", "\xC3\xBF\xC3\xBE"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(displayUtf8(c.bytes), c.shown);
  }
  EXPECT_EQ(displayLines("A=PCM\r\nA=ANALOG\r\n", "  "), "A=PCM\n  A=ANALOG");
  EXPECT_EQ(displayLines("a\tb\x01", ""), "a\\x09b\\x01");
}

}  // namespace
}  // namespace bextkit::cli
