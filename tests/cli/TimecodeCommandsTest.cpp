// The arithmetic commands of the bextkit tool, run in-process as a user would type them.
#include <gtest/gtest.h>

#include "CliRun.h"

namespace bextkit::cli {
namespace {

TEST(TimecodeCommands, PrintTheResultOnOneLine) {
  struct Case {
    std::vector<std::string> args;
    const char* out;
  };
  static const Case kCases[] = {
      {{"timecode", "107892", "--fps", "29.97"}, "01:00:00;00\n"},
      {{"timecode", "90000"}, "01:00:00:00\n"},  // 25 fps unless told
      {{"timecode", "-1", "--absolute"}, "23:59:59:24\n"},
      {{"timecode", "-1"}, "00:00:00:01\n"},
      {{"timecode", "+25", "--fps", "25"}, "00:00:01:00\n"},
      {{"frames", "01:00:00;00", "--fps", "29.97"}, "107892\n"},
      {{"frames", "01;00;00;00", "--fps", "29.97"}, "107892\n"},
      {{"frames", "00:01:00:02", "--fps", "29.97"}, "1800\n"},  // ':' accepted at drop-frame
      {{"frames", "01;00;00;00", "--fps", "25"}, "90000\n"},
      {{"frames", "-01:00:00:00"}, "-90000\n"},
      {{"frames-per-day", "--fps", "23.976"}, "2072447\n"},
      {{"frames-per-day"}, "2160000\n"},
      {{"feet", "12345"}, "0771+09\n"},
      {{"feet", "123456789", "--delimiter", "-"}, "7716049-05\n"},
      {{"feet", "30849", "--type", "40"}, "0771+09\n"},
      {{"footage", "0771+09"}, "12345\n"},
      {{"footage", "0771+09", "--to", "timecode", "--fps", "29.97"}, "00:06:51;27\n"},
      {{"footage", "99999+00", "--to", "parts"}, "0009,9999,00\n"},
      {{"footage", "12ft05", "--delimiter", "ft"}, "197\n"},
      {{"legal", "00;01;00;00", "--fps", "29.97"}, "no\n"},
      {{"legal", "00:10:00:00", "--fps", "29.97"}, "yes\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CliRun r = runCli(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

TEST(TimecodeCommands, BadInputIsAOneLineErrorNamingTheArgument) {
  struct Case {
    std::vector<std::string> args;
    const char* names;  // the argument the message must name
  };
  static const Case kCases[] = {
      {{"timecode", "12x"}, "FRAMES"},
      {{"timecode", "99999999999"}, "FRAMES"},
      {{"timecode", "1", "--fps", "abc"}, "--fps"},
      {{"timecode", "1", "--fps", "0.4"}, "--fps"},
      {{"timecode", "1", "--fps", "nan"}, "--fps"},
      {{"timecode", "1", "--fps", "inf"}, "--fps"},
      {{"timecode", "1", "--fps", "25fps"}, "--fps"},
      {{"frames", "1:2:3:4:5"}, "TIMECODE"},
      {{"frames", "aa:bb:cc:dd"}, "TIMECODE"},
      {{"frames", ""}, "TIMECODE"},
      {{"frames", "01:00:00:00", "--fps", ""}, "--fps"},
      {{"frames-per-day", "--fps", "-25"}, "--fps"},
      {{"feet", "100", "--type", "0"}, "--type"},
      {{"feet", "100", "--type", "sixteen"}, "--type"},
      {{"footage", "0771"}, "FOOTAGE"},
      {{"footage", "0771+09", "--delimiter", ""}, "FOOTAGE"},
      {{"legal", "x", "--fps", "29.97"}, "TIMECODE"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CliRun r = runCli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
}

TEST(TimecodeCommands, UnknownCommandsAndOptionsAreUsageErrors) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"rewind"},
                                               {"timecode"},
                                               {"timecode", "1", "--speed", "2"},
                                               {"footage", "0771+09", "--to", "metres"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    const CliRun r = runCli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err, "");
  }
}

TEST(TimecodeCommands, HelpListsTheCommands) {
  const CliRun r = runCli({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* command : {"timecode", "frames", "frames-per-day", "feet", "footage"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
  const CliRun sub = runCli({"footage", "--help"});
  EXPECT_EQ(sub.status, 0);
  EXPECT_NE(sub.out.find("--delimiter"), std::string::npos);
}

}  // namespace
}  // namespace bextkit::cli
