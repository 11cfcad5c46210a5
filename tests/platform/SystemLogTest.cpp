// The system log and its replaceable sink.
#include "platform/SystemLog.h"

#include <gtest/gtest.h>

#include "LogCapture.h"

namespace bextkit {
namespace {

TEST(SystemLog, SinkReceivesMessagesUnchanged) {
  testsupport::LogCapture log;
  systemLog("***Have RIFF\n");
  systemLog("no newline");
  EXPECT_EQ(log.messages, (std::vector<std::string>{"***Have RIFF\n", "no newline"}));
}

TEST(SystemLog, SettingASinkReturnsThePreviousOne) {
  testsupport::LogCapture outer;
  {
    testsupport::LogCapture inner;
    systemLog("inner");
    EXPECT_EQ(inner.messages, std::vector<std::string>{"inner"});
  }
  systemLog("outer");
  EXPECT_EQ(outer.messages, std::vector<std::string>{"outer"});
}

TEST(SystemLog, DefaultSinkWritesLinesToStandardError) {
  const LogSink previous = setLogSink(nullptr);  // an empty sink means the default
  ::testing::internal::CaptureStderr();
  systemLog("iXML Chunk\n");
  systemLog("01:00:00:00");
  const std::string written = ::testing::internal::GetCapturedStderr();
  setLogSink(previous);
  EXPECT_EQ(written, "iXML Chunk\n01:00:00:00\n");
}

}  // namespace
}  // namespace bextkit
