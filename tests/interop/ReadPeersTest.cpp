// Files written by FFmpeg's WAV muxer and by libsndfile: bextkit reads back every value they were
// asked to write, the audio format included, and derives the timecode from the time reference.
#include <gtest/gtest.h>
#include <sndfile.h>

#include "Peers.h"
#include "TempDir.h"
#include "bwf/BWFParser.h"

namespace bextkit::interop {
namespace {

enum class Producer { kFfmpeg, kSndfile };

struct Case {
  Producer producer;
  const char* codec;  // FFmpeg encoder
  int sndfileFormat;  // libsndfile format
  int sampleRate;
  int bits;
  uint64_t timeReference;
  const char* timecode;  // at 25 fps
  int32_t ticks;
};

constexpr uint64_t at(int rate, int h, int m, int s, double fraction) {
  return static_cast<uint64_t>(rate) * (h * 3600u + m * 60u + s) +
         static_cast<uint64_t>(rate * fraction);
}

// 01:00:05 and 0.4 s is frame 10 at 25 fps; 13:00:00 at 96 kHz needs the high half, of which
// the timecode takes no part (the low half alone is 00:34:20:19).
const Case kCases[] = {
    {Producer::kFfmpeg, "pcm_s16le", 0, 44100, 16, at(44100, 1, 0, 5, 0.4), "01:00:05:10", 17640},
    {Producer::kFfmpeg, "pcm_s16le", 0, 48000, 16, at(48000, 1, 0, 5, 0.4), "01:00:05:10", 19200},
    {Producer::kFfmpeg, "pcm_s24le", 0, 48000, 24, at(48000, 1, 0, 5, 0.4), "01:00:05:10", 19200},
    {Producer::kFfmpeg, "pcm_s24le", 0, 96000, 24, at(96000, 13, 0, 0, 0), "00:34:20:19", 72704},
    {Producer::kFfmpeg, "pcm_s32le", 0, 96000, 32, at(96000, 1, 0, 5, 0.4), "01:00:05:10", 38400},
    {Producer::kFfmpeg, "pcm_f32le", 0, 44100, 32, at(44100, 1, 0, 5, 0.4), "01:00:05:10", 17640},
    {Producer::kSndfile, "", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 16, at(44100, 1, 0, 5, 0.4),
     "01:00:05:10", 17640},
    {Producer::kSndfile, "", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 24, at(48000, 1, 0, 5, 0.4),
     "01:00:05:10", 19200},
    {Producer::kSndfile, "", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 96000, 24, at(96000, 13, 0, 0, 0),
     "00:34:20:19", 72704},
    {Producer::kSndfile, "", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 32, at(48000, 1, 0, 5, 0.4),
     "01:00:05:10", 19200},
};

TEST(ReadPeers, EveryWrittenValueReadsBack) {
  testsupport::TempDir dir;
  int n = 0;
  for (const Case& c : kCases) {
    const bool ffmpeg = c.producer == Producer::kFfmpeg;
    SCOPED_TRACE(std::string(ffmpeg ? "ffmpeg " : "libsndfile ") + c.codec + " " +
                 std::to_string(c.sampleRate) + " Hz");
    PeerBext bext;
    bext.description = "Sc\xC3\xA8ne 12, prise 3 \xE2\x80\x93 ambiance";  // UTF-8 bytes
    bext.originator = "bextkit interop";
    bext.originatorReference = "BXK-INTEROP-" + std::to_string(++n);
    bext.originationDate = "2026-12-06";
    bext.originationTime = "14:30:15";
    bext.timeReference = c.timeReference;
    bext.codingHistory = "A=PCM,F=" + std::to_string(c.sampleRate) +
                         ",W=" + std::to_string(c.bits) + ",M=stereo,T=interop\r\n";

    const std::string path = dir.pathOf("take" + std::to_string(n) + ".wav");
    const std::string error = ffmpeg
                                  ? writeWithFfmpeg(path, c.sampleRate, 2, c.codec, bext)
                                  : writeWithSndfile(path, c.sampleRate, 2, c.sndfileFormat, bext);
    ASSERT_EQ(error, "");

    std::unique_ptr<BWFParser> parser = BWFParser::initWithPath(path, 25.0f);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->parse(), 0);
    EXPECT_EQ(parser->chunkFlags() & (kBWFFlagRIFF | kBWFFlagFmt | kBWFFlagBext | kBWFFlagData),
              kBWFFlagRIFF | kBWFFlagFmt | kBWFFlagBext | kBWFFlagData);
    EXPECT_EQ(parser->samplePerSeconds(), static_cast<uint32_t>(c.sampleRate));
    EXPECT_EQ(parser->bitsPerSample(), c.bits);
    EXPECT_EQ(parser->channels(), 2);
    EXPECT_EQ(parser->description(), bext.description);
    EXPECT_EQ(parser->originator(), bext.originator);
    EXPECT_EQ(parser->originatorReference(), bext.originatorReference);
    EXPECT_EQ(parser->creationdate(), bext.originationDate);
    EXPECT_EQ(parser->creationtime(), bext.originationTime);
    EXPECT_EQ(parser->getSamplesSinceMidnightLow(), static_cast<uint32_t>(c.timeReference));
    EXPECT_EQ(parser->getSamplesSinceMidnightHigh(), static_cast<uint32_t>(c.timeReference >> 32));
    EXPECT_EQ(parser->getCodingHistory().rfind(bext.codingHistory, 0), 0u)
        << parser->getCodingHistory();
    EXPECT_EQ(parser->timecodeString(), c.timecode);
    EXPECT_EQ(parser->getTicks(), c.ticks);
  }
}

}  // namespace
}  // namespace bextkit::interop
