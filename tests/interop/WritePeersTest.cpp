// Files that bextkit has written, read back by FFmpeg (ffprobe), MediaInfo and libsndfile: a chunk
// inserted into files that FFmpeg and libsndfile wrote without one, and a chunk rewritten where
// FFmpeg (after fmt) and libsndfile put it. Every peer reads the new description, originator and
// time reference, the fields that were not edited stay, and the decoded audio does not change.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <fstream>

#include "LogCapture.h"
#include "Peers.h"
#include "TempDir.h"
#include "bwf/BWFParser.h"

namespace bextkit::interop {
namespace {

enum class Producer { kFfmpeg, kSndfile };

struct Case {
  Producer producer;
  bool producerWritesBext;  // true: bextkit rewrites the peer's chunk; false: it inserts one
  const char* codec;        // FFmpeg encoder
  int sndfileFormat;        // libsndfile format
  int sampleRate;
  float fps;
  int32_t hh, mm, ss, ff;  // the timecode
  uint64_t timeReference;  // what the timecode comes to at the sample rate
  const char* description;
  const char* originator;
};

// UTF-8 text with a character beyond Latin-1, so that a reader's decoding shows.
constexpr const char* kUtf8 = "Sc\xC3\xA8ne 4 \xE2\x80\x93 prise 2";
// Fields filled to the last byte, so no NUL ends them in the file.
const std::string kFullDescription(256, 'D');
const std::string kFullOriginator = "Originator of exactly 32 bytes.!";

// FFmpeg writes WAVE_FORMAT_EXTENSIBLE for 24 bits in two channels.
const Case kCases[] = {
    {Producer::kFfmpeg, false, "pcm_s16le", 0, 44100, 25.0f, 10, 0, 0, 0, 1587600000, kUtf8,
     "bextkit"},
    {Producer::kFfmpeg, false, "pcm_s24le", 0, 48000, 25.0f, 1, 0, 0, 0, 172800000,
     "Ambience, roof", kFullOriginator.c_str()},
    {Producer::kFfmpeg, false, "pcm_f32le", 0, 96000, 25.0f, 12, 25, 39, 0, 4294944000,
     kFullDescription.c_str(), "bextkit"},
    {Producer::kFfmpeg, true, "pcm_s16le", 0, 48000, 29.97f, 1, 0, 0, 15, 172824025, kUtf8,
     "Edit suite 3"},
    {Producer::kFfmpeg, true, "pcm_s24le", 0, 96000, 25.0f, 0, 0, 0, 1, 3840, "Short",
     kFullOriginator.c_str()},
    {Producer::kFfmpeg, true, "pcm_f32le", 0, 44100, 24.0f, 0, 10, 0, 12, 26482050,
     kFullDescription.c_str(), "bextkit"},
    {Producer::kSndfile, false, "", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 25.0f, 23, 59, 59, 24,
     4147198081, kUtf8, "bextkit"},
    {Producer::kSndfile, false, "", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 96000, 25.0f, 2, 0, 0, 0,
     691200000, "Dialogue, take 9", kFullOriginator.c_str()},
    {Producer::kSndfile, false, "", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 25.0f, 1, 0, 0, 0,
     158760000, kFullDescription.c_str(), "bextkit"},
    {Producer::kSndfile, true, "", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 25.0f, 0, 0, 20, 21,
     1000320, kUtf8, "Edit suite 3"},
    {Producer::kSndfile, true, "", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 25.0f, 0, 0, 0, 1, 1764,
     "Short", kFullOriginator.c_str()},
    {Producer::kSndfile, true, "", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, 25.0f, 10, 0, 0, 0,
     3456000000, kFullDescription.c_str(), "bextkit"},
};

const struct {
  const char* name;
  PeerReading (*read)(const std::string& path);
} kReaders[] = {
    {"ffprobe", readWithFfprobe},
    {"mediainfo", readWithMediaInfo},
    {"libsndfile", readWithSndfile},
};

uint64_t fileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// The RIFF size field of a normal file.
uint32_t riffSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[8] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return header[4] | header[5] << 8 | header[6] << 16 | uint32_t{header[7]} << 24;
}

TEST(WritePeers, PeersReadBackWhatBextkitWrote) {
  const testsupport::LogCapture quietScan;
  testsupport::TempDir dir;
  int n = 0;
  for (const Case& c : kCases) {
    const bool ffmpeg = c.producer == Producer::kFfmpeg;
    SCOPED_TRACE(std::string(ffmpeg ? "ffmpeg " : "libsndfile ") + c.codec + " " +
                 std::to_string(c.sampleRate) + " Hz, " +
                 (c.producerWritesBext ? "rewrite" : "insertion"));
    // The producer's own chunk carries a longer description than the new one, so a rewrite
    // leaves its tail behind the new text's NUL for the readers to ignore.
    std::optional<PeerBext> producerBext;
    if (c.producerWritesBext) {
      producerBext = PeerBext{"The recorder's own description of this take, much longer",
                              "Field recorder",
                              "REF-" + std::to_string(n),
                              "2025-03-14",
                              "09:26:53",
                              123456789,
                              "A=PCM,F=" + std::to_string(c.sampleRate) + ",T=recorder\r\n"};
    }
    const std::string path = dir.pathOf("take" + std::to_string(++n) + ".wav");
    ASSERT_EQ(ffmpeg ? writeWithFfmpeg(path, c.sampleRate, 2, c.codec, producerBext)
                     : writeWithSndfile(path, c.sampleRate, 2, c.sndfileFormat, producerBext),
              "");
    std::string error;
    const std::string md5Before = decodedAudioMd5(path, error);
    ASSERT_EQ(error, "");
    const SndfileAudio audioBefore = decodeWithSndfile(path);
    ASSERT_EQ(audioBefore.error, "");
    ASSERT_EQ(audioBefore.samples.size(), static_cast<size_t>(c.sampleRate / 10 * 2));
    const uint64_t sizeBefore = fileSize(path);
    const uint32_t riffBefore = riffSize(path);

    {
      std::unique_ptr<BWFParser> parser = BWFParser::initWithPath(path, c.fps);
      ASSERT_TRUE(parser);
      (void)parser->parse();
      ASSERT_EQ((parser->chunkFlags() & kBWFFlagBext) != 0, c.producerWritesBext);
      if (c.producerWritesBext && ffmpeg) {
        // FFmpeg puts its chunk after fmt: the rewrite must happen where the chunk lies.
        EXPECT_EQ(parser->getChunkDictionary().at("bext").find("StartPoint: 12 "),
                  std::string::npos);
      }
      parser->setDescription(c.description);
      parser->setOriginator(c.originator);
      parser->setTimeCodeHH(c.hh, c.mm, c.ss, c.ff, static_cast<int32_t>(c.fps));
      ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    }

    const uint64_t growth = c.producerWritesBext ? 0 : 866;
    EXPECT_EQ(fileSize(path), sizeBefore + growth);
    EXPECT_EQ(riffSize(path), riffBefore + growth);

    std::unique_ptr<BWFParser> fresh = BWFParser::initWithPath(path, c.fps);
    ASSERT_TRUE(fresh);
    (void)fresh->parse();
    EXPECT_EQ(fresh->description(), c.description);
    EXPECT_EQ(fresh->originator(), c.originator);
    EXPECT_EQ(fresh->getSamplesSinceMidnightLow(), static_cast<uint32_t>(c.timeReference));

    // A rewrite changes only the edited fields: the producer's reference and the high half of
    // its time reference (0 here) stay.
    const std::string reference = producerBext ? producerBext->originatorReference : "";
    for (const auto& reader : kReaders) {
      SCOPED_TRACE(reader.name);
      const PeerReading r = reader.read(path);
      ASSERT_EQ(r.error, "");
      EXPECT_EQ(r.description, c.description);
      EXPECT_EQ(r.originator, c.originator);
      EXPECT_EQ(r.originatorReference, reference);
      ASSERT_TRUE(r.timeReference.has_value());
      const uint64_t got = *r.timeReference;
      EXPECT_LE(got > c.timeReference ? got - c.timeReference : c.timeReference - got,
                r.timeReferenceSlack)
          << "read " << got << ", wrote " << c.timeReference;
    }

    EXPECT_EQ(decodedAudioMd5(path, error), md5Before);
    EXPECT_EQ(error, "");
    const SndfileAudio audioAfter = decodeWithSndfile(path);
    EXPECT_EQ(audioAfter.error, "");
    EXPECT_EQ(audioAfter.sampleRate, c.sampleRate);
    EXPECT_EQ(audioAfter.channels, 2);
    EXPECT_TRUE(audioAfter.samples == audioBefore.samples)
        << "libsndfile decodes different audio after the save";
  }
}

}  // namespace
}  // namespace bextkit::interop
