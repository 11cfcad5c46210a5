// bextkit among its peers: FFmpeg and libsndfile (through its programs) write Broadcast Wave
// files, with and without a bext chunk; bextkit reads what they wrote, then edits the file;
// FFmpeg (ffprobe), MediaInfo and libsndfile read back what bextkit wrote, and the audio
// decodes as before.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"

namespace bextkit::testsupport {
namespace {

// The value after `key` up to the end of its line in a peer's output.
std::string after(const std::string& output, const std::string& key) {
  const size_t at = output.find(key);
  return at == std::string::npos
             ? ""
             : output.substr(at + key.size(), output.find('\n', at) - at - key.size());
}

// What a peer reads: "description|originator|reference|time reference", with the time
// reference rounded to the precision the peer reports it in.
using Reader = std::string (*)(const std::string& path, uint64_t expectedReference);

std::string readWithFfprobe(const std::string& path, uint64_t) {
  const std::string out = runProcess({"ffprobe", "-v", "error", "-show_entries", "format_tags",
                                      "-of", "default=nw=1", path})
                              .second;
  return after(out, "TAG:comment=") + "|" + after(out, "TAG:encoded_by=") + "|" +
         after(out, "TAG:originator_reference=") + "|" + after(out, "TAG:time_reference=");
}

// MediaInfo decodes the texts as Latin-1 (turned back into bytes here) and gives the time
// reference as a delay in milliseconds.
std::string readWithMediaInfo(const std::string& path, uint64_t expected) {
  const std::string general =
      runProcess(
          {"mediainfo", "--Inform=General;%Description%|%Producer%|%Producer_Reference%|", path})
          .second;
  const std::string audio =
      runProcess({"mediainfo", "--Inform=Audio;%Delay%|%SamplingRate%", path}).second;
  std::string texts;
  for (size_t i = 0; i < general.size() && general[i] != '\n'; ++i) {
    const auto c = uint8_t(general[i]);
    texts.push_back(c < 0x80 ? char(c) : char(((c & 3) << 6) | (uint8_t(general[++i]) & 0x3F)));
  }
  const double rate = std::stod("0" + after(audio, "|")), delay = std::stod("0" + audio) / 1000;
  return texts + (std::abs(delay - double(expected) / rate) < 0.0005 ? std::to_string(expected)
                                                                     : std::to_string(delay));
}

// libsndfile gives the time reference in hexadecimal.
std::string readWithSndfile(const std::string& path, uint64_t) {
  const std::string out = runProcess({"sndfile-info", "--broadcast", path}).second;
  return after(out, "Description              : ") + "|" +
         after(out, "Originator               : ") + "|" +
         after(out, "Origination ref          : ") + "|" +
         std::to_string(
             std::stoull("0" + after(out, "Time ref                 : 0x"), nullptr, 16));
}

std::string md5OfAudio(const std::string& path) {
  return runProcess({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c:a", "pcm_f64le", "-f",
                     "md5", "-"})
      .second;
}

TEST(Interop, PeersAndBextkitReadWhatTheOtherWrote) {
  const std::string kUtf8 = "Sc\xC3\xA8ne 4 \xE2\x80\x93 prise 2", kFull(256, 'D'),
                    kFull32(32, 'O');
  // A writer is an FFmpeg encoder, or libsndfile's sample format (sndfile-convert -pcm24 ...),
  // in a RIFF, RF64 or RIFX form. The timecode is the peer's time reference at the row's rate.
  // clang-format off
  const struct { const char* writer; const char* form; int rate, bits; uint64_t peerReference; const char* timecode;
                 float fps; int32_t hh, mm, ss, ff; uint64_t reference; std::string description, originator; } kCases[] = {
      {"pcm_s16le", "RIFF", 44100, 16, 0, "", 25, 10, 0, 0, 0, 1587600000, kUtf8, "bextkit"},
      {"pcm_s24le", "RIFF", 48000, 24, 172819200, "01:00:00:12", 29.97f, 1, 0, 0, 15, 172824025, kUtf8, kFull32},
      {"pcm_f32le", "RIFF", 96000, 32, 4492800000, "13:00:00:00", 25, 20, 0, 0, 0, 6912000000, kFull, "x"},
      {"pcm_s24le", "RF64", 48000, 24, 172819200, "01:00:00:10", 25, 1, 0, 0, 0, 172800000, kUtf8, "bextkit"},
      {"pcm_s16le", "RF64", 48000, 16, 0, "", 25, 0, 0, 0, 1, 1920, "Short", kFull32},
      {"-pcm16", "RIFF", 48000, 16, 0, "", 25, 23, 59, 59, 24, 4147198081, "Take 9", kFull32},
      {"-pcm24", "RIFF", 96000, 24, 96000 * 3600 * 14ull, "14:00:00:00", 24, 0, 10, 0, 12, 57648000, kFull, "x"},
      {"-float32", "RIFF", 44100, 32, 1000, "00:00:00:01", 25, 0, 0, 20, 21, 919044, kUtf8, "Edit"},
      {"-pcm24", "RF64", 48000, 24, 172819200, "01:00:00:10", 25, 10, 0, 0, 0, 1728000000, "RF64", "x"},
      {"-pcm24", "RIFX", 48000, 24, 172819200, "01:00:00:10", 25, 10, 0, 0, 0, 1728000000, "RIFX", "x"},
      {"-pcm16", "RIFX", 44100, 16, 0, "", 25, 0, 0, 1, 0, 44100, "RIFX new", "x"}};
  // clang-format on
  TempDir dir;
  const LogCapture quiet;
  int n = 0;
  for (const auto& c : kCases) {
    const std::string form = c.form,
                      path = dir.pathOf(std::to_string(++n) + (form == "RF64" ? ".rf64" : ".wav"));
    const std::string before = dir.pathOf(std::to_string(n) + "-before.wav"),
                      reference = "REF-" + std::to_string(n);
    const std::string description = "The recorder's own, longer \xC3\xA8",
                      time = std::to_string(c.peerReference);
    SCOPED_TRACE(path + " by " + c.writer + " " + form);
    const bool sndfile = c.writer[0] == '-', peerBext = c.peerReference != 0;
    // clang-format off
    std::vector<std::string> ffmpeg = {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=997:sample_rate=" +
        std::to_string(c.rate) + ":duration=0.1", "-ac", "2", "-c:a", sndfile ? "pcm_s24le" : c.writer};
    for (const std::string& tag : {"description=" + description, "originator_reference=" + reference,
                                   "time_reference=" + time, std::string("originator=Field recorder")}) {
      if (peerBext) ffmpeg.insert(ffmpeg.end(), {"-write_bext", "1", "-metadata", tag});
    }
    if (form == "RF64" && !sndfile) ffmpeg.insert(ffmpeg.end(), {"-rf64", "always"});
    ffmpeg.insert(ffmpeg.end(), {"-f", "wav"});
    ffmpeg.push_back(sndfile ? before : path);
    ASSERT_EQ(runProcess(ffmpeg).first, 0);
    // libsndfile writes its file anew from FFmpeg's, bext chunk included.
    ASSERT_EQ(sndfile ? runProcess({"sndfile-convert", c.writer, form == "RIFX" ? "-endian=big" : "-endian=file", before, path}).first : 0, 0);
    // clang-format on
    std::filesystem::copy_file(path, before, std::filesystem::copy_options::overwrite_existing);

    auto parser = BWFParser::initWithPath(path, c.fps);
    parser->parse();
    EXPECT_EQ(containerName(parser->chunkChain().container), form);
    const uint64_t timeReference = parser->getSamplesSinceMidnightLow() +
                                   (uint64_t{parser->getSamplesSinceMidnightHigh()} << 32);
    EXPECT_EQ(
        std::to_string(parser->samplePerSeconds()) + "/" + std::to_string(parser->bitsPerSample()) +
            "/" + std::to_string(parser->channels()) + "|" + parser->description() + "|" +
            parser->originator() + "|" + parser->originatorReference() + "|" +
            std::to_string(timeReference) + "|" + parser->timecodeString(),
        std::to_string(c.rate) + "/" + std::to_string(c.bits) + "/2|" +
            (peerBext ? description + "|Field recorder|" + reference + "|" + time + "|" + c.timecode
                      : "|||0|00:00:00:00"));
    parser->setDescription(c.description);
    parser->setOriginator(c.originator);
    parser->setTimeCodeHH(c.hh, c.mm, c.ss, c.ff, 25);
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    const Bytes file = readWholeFile(path);
    EXPECT_EQ(file.size(), std::filesystem::file_size(before) + (peerBext ? 0 : 866));
    auto reread = BWFParser::initWithPath(path);
    reread->parse();
    const auto& chunks = reread->chunkChain().chunks;
    EXPECT_EQ(std::count_if(chunks.begin(), chunks.end(),
                            [](const auto& k) { return k.id == chunkid::kBext; }),
              1);
    const std::string expected =
        c.description + "|" + c.originator + "|" + (peerBext ? reference : "") + "|";
    // A RIFX file is read by FFmpeg and MediaInfo as libsndfile converts it to RIFF.
    const std::string riff = dir.pathOf(std::to_string(n) + "-riff.wav");
    ASSERT_EQ(
        form == "RIFX" ? runProcess({"sndfile-convert", "-endian=little", path, riff}).first : 0,
        0);
    for (const Reader read : {readWithFfprobe, readWithMediaInfo, readWithSndfile}) {
      EXPECT_EQ(read(form == "RIFX" && read != readWithSndfile ? riff : path, c.reference),
                expected + std::to_string(c.reference));
    }
    EXPECT_EQ(md5OfAudio(path), md5OfAudio(before));
    EXPECT_EQ(md5OfAudio(path).rfind("MD5=", 0), 0u);
    EXPECT_EQ(runProcess({"sndfile-cmp", before, path}).first, 0)
        << "libsndfile decodes other audio";
  }
}

}  // namespace
}  // namespace bextkit::testsupport
