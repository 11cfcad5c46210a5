// bextkit among its peers: FFmpeg and libsndfile (its command-line programs) write Broadcast
// Wave files, with and without a bext chunk; bextkit reads what they wrote, then edits the
// file; FFmpeg (ffprobe), MediaInfo and libsndfile read back what bextkit wrote, and the audio
// decodes as before.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"

namespace bextkit::testsupport {
namespace {

// What a peer reads: "description|originator|reference", the time reference, and how far a
// rounded report of it may lie.
struct Reading {
  std::string error, texts;
  uint64_t timeReference = 0, slack = 0;
};

// The value after `key` up to the end of its line in a peer's output.
std::string after(const std::string& output, const std::string& key) {
  const size_t at = output.find(key);
  return at == std::string::npos
             ? ""
             : output.substr(at + key.size(), output.find('\n', at) - at - key.size());
}

Reading readWithFfprobe(const std::string& path) {
  const ProcessResult r = runProcess(
      {"ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "default=nw=1", path});
  return {r.status ? r.output : "",
          after(r.output, "TAG:comment=") + "|" + after(r.output, "TAG:encoded_by=") + "|" +
              after(r.output, "TAG:originator_reference="),
          std::stoull("0" + after(r.output, "TAG:time_reference="))};
}

// MediaInfo decodes the texts as Latin-1 (turned back into bytes here) and gives the time
// reference as a delay in milliseconds.
Reading readWithMediaInfo(const std::string& path) {
  const std::string general =
      runProcess({"mediainfo",
                  "--Inform=General;%bext_Present%|%Description%|%Producer%|%Producer_Reference%",
                  path})
          .output;
  const std::string audio =
      runProcess({"mediainfo", "--Inform=Audio;%Delay%|%SamplingRate%", path}).output;
  std::string texts;
  for (size_t i = general.find('|') + 1; i < general.size() && general[i] != '\n'; ++i) {
    const auto c = uint8_t(general[i]);
    texts.push_back(c < 0x80 ? char(c) : char(((c & 3) << 6) | (uint8_t(general[++i]) & 0x3F)));
  }
  const double milliseconds = std::stod("0" + audio), rate = std::stod("0" + after(audio, "|"));
  return {general.rfind("Yes|", 0) ? "no bext: " + general : "", texts,
          uint64_t(std::llround(milliseconds * rate / 1000)), uint64_t(rate / 2000) + 1};
}

Reading readWithSndfile(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  SF_BROADCAST_INFO bi{};
  const bool read = file && sf_command(file, SFC_GET_BROADCAST_INFO, &bi, sizeof bi) == SF_TRUE;
  if (file) sf_close(file);
  const auto field = [](const char* text, size_t width) {
    return std::string(text, strnlen(text, width));
  };
  return {read ? "" : "libsndfile reads no bext",
          field(bi.description, 256) + "|" + field(bi.originator, 32) + "|" +
              field(bi.originator_reference, 32),
          (uint64_t{bi.time_reference_high} << 32) | bi.time_reference_low};
}

TEST(Interop, PeersAndBextkitReadWhatTheOtherWrote) {
  const std::string kUtf8 = "Sc\xC3\xA8ne 4 \xE2\x80\x93 prise 2", kFull(256, 'D'),
                    kFull32(32, 'O');
  // A writer is an FFmpeg encoder, or a libsndfile sample format (sndfile-convert -pcm24 ...).
  // clang-format off
  const struct { const char* writer; int rate, bits; uint64_t peerReference; const char* timecode; float fps;
                 int32_t hh, mm, ss, ff; uint64_t reference; std::string description, originator; } kCases[] = {
      {"pcm_s16le", 44100, 16, 0, "", 25, 10, 0, 0, 0, 1587600000, kUtf8, "bextkit"},
      {"pcm_s24le", 48000, 24, 172819200, "01:00:00:10", 29.97f, 1, 0, 0, 15, 172824025, kUtf8, kFull32},
      {"pcm_f32le", 96000, 32, 96000 * 3605 + 38400, "01:00:05:10", 25, 12, 25, 39, 0, 4294944000, kFull, "x"},
      {"-pcm16", 48000, 16, 0, "", 25, 23, 59, 59, 24, 4147198081, "Take 9", kFull32},
      {"-pcm24", 96000, 24, 96000 * 3600, "01:00:00:00", 24, 0, 10, 0, 12, 57648000, kFull, "x"},
      {"-float32", 44100, 32, 1000, "00:00:00:01", 25, 0, 0, 20, 21, 919044, kUtf8, "Edit"}};
  // clang-format on
  TempDir dir;
  const LogCapture quiet;
  int n = 0;
  for (const auto& c : kCases) {
    const std::string path = dir.pathOf(std::to_string(++n) + ".wav"),
                      before = path + ".before.wav";
    const std::string description = "The recorder's own, longer than the new one \xC3\xA8",
                      reference = "REF-" + std::to_string(n);
    SCOPED_TRACE(path + " by " + c.writer);
    const bool sndfile = c.writer[0] == '-', peerBext = c.peerReference != 0;
    std::vector<std::string> ffmpeg = {
        "ffmpeg",
        "-v",
        "error",
        "-f",
        "lavfi",
        "-i",
        "sine=997:sample_rate=" + std::to_string(c.rate) + ":duration=0.1",
        "-ac",
        "2",
        "-c:a",
        sndfile ? "pcm_s16le" : c.writer};
    const std::vector<std::string> bext = {
        "description=" + description, "originator=Field recorder",
        "originator_reference=" + reference, "origination_date=2025-03-14",
        "time_reference=" + std::to_string(c.peerReference)};
    for (size_t i = 0; peerBext && !sndfile && i < bext.size(); ++i)
      ffmpeg.insert(ffmpeg.end(), {"-write_bext", "1", "-metadata", bext[i]});
    ffmpeg.push_back(sndfile ? before : path);
    ASSERT_EQ(runProcess(ffmpeg).status, 0);
    const std::string converted = peerBext ? path + ".converted.wav" : path;
    ASSERT_EQ(sndfile ? runProcess({"sndfile-convert", c.writer, before, converted}).status : 0, 0);
    if (sndfile && peerBext) {
      ASSERT_EQ(runProcess({"sndfile-metadata-set", "--bext-description", description,
                            "--bext-originator", "Field recorder", "--bext-orig-ref", reference,
                            "--bext-orig-date", "2025-03-14", "--bext-time-ref",
                            std::to_string(c.peerReference), converted, path})
                    .status,
                0);
    }
    std::filesystem::copy_file(path, before, std::filesystem::copy_options::overwrite_existing);

    auto parser = BWFParser::initWithPath(path, c.fps);
    parser->parse();
    EXPECT_EQ(parser->samplePerSeconds() * 100 + parser->bitsPerSample() +
                  parser->channels() * 1000000000ull,
              c.rate * 100 + c.bits + 2000000000ull);
    ASSERT_EQ((parser->chunkFlags() & kBWFFlagBext) != 0, peerBext);
    if (peerBext) {
      EXPECT_EQ(parser->description() + "|" + parser->originator() + "|" +
                    parser->originatorReference() + "|" + parser->creationdate(),
                description + "|Field recorder|" + reference + "|2025-03-14");
      EXPECT_EQ(parser->getSamplesSinceMidnightLow() +
                    (uint64_t{parser->getSamplesSinceMidnightHigh()} << 32),
                c.peerReference);
      auto at25 = BWFParser::initWithPath(path);
      at25->parse();
      EXPECT_EQ(at25->timecodeString(), c.timecode);
    }
    parser->setDescription(c.description);
    parser->setOriginator(c.originator);
    parser->setTimeCodeHH(c.hh, c.mm, c.ss, c.ff, 25);
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    const Bytes file = readWholeFile(path);
    EXPECT_EQ(file.size(), std::filesystem::file_size(before) + (peerBext ? 0 : 866));
    EXPECT_EQ(loadLE32(file.data(), 4), file.size() - 8);
    for (const auto read : {readWithFfprobe, readWithMediaInfo, readWithSndfile}) {
      const Reading r = read(path);
      ASSERT_EQ(r.error, "");
      EXPECT_EQ(r.texts, c.description + "|" + c.originator + "|" + (peerBext ? reference : ""));
      EXPECT_LE(std::max(r.timeReference, c.reference) - std::min(r.timeReference, c.reference),
                r.slack)
          << r.timeReference;
    }
    const auto md5 = [](const std::string& p) {
      return runProcess({"ffmpeg", "-v", "error", "-i", p, "-map", "0:a", "-c:a", "pcm_f64le", "-f",
                         "md5", "-"})
          .output;
    };
    EXPECT_EQ(md5(path), md5(before));
    EXPECT_EQ(md5(path).rfind("MD5=", 0), 0u);
    EXPECT_EQ(runProcess({"sndfile-cmp", before, path}).status, 0)
        << "libsndfile decodes other audio";
  }
}

}  // namespace
}  // namespace bextkit::testsupport
