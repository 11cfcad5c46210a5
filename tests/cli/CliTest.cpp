// The bextkit tool run in-process as a user types it: the arithmetic commands, show and chunks
// on the bundled sample, set on copies of it, and the errors for bad input and bad files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Support.h"
#include "Tool.h"
#include "bwf/BWFParser.h"
#include "cli/Cli.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {
namespace {

const std::string kSample = testsupport::samplePath();

using Result = testsupport::Outcome;
using testsupport::scanned;

// Runs bextkit with the words of `line` (none holds a space) after `first`.
Result bextkit(const std::string& line, std::vector<std::string> first = {},
               bool terminal = false) {
  std::istringstream words(line);
  for (std::string word; words >> word;) first.push_back(word);
  return testsupport::bextkit(first, terminal);
}

TEST(Cli, Arithmetic) {
  // SMPTE by default, the system's own arithmetic with --classic; `legal` says no with status 1.
  // clang-format off
  const struct { const char* line; const char* out; int status; } kCases[] = {
      {"timecode 107892 --rate 29.97", "01:00:00;00", 0}, {"timecode -1 --absolute", "23:59:59:24", 0},
      {"timecode 3600 --fps 59.94", "00:01:00;04", 0}, {"timecode 2160001", "00:00:00:01", 0}, {"timecode +25", "00:00:01:00", 0},
      {"frames 00:01:00;02 --rate 29.97", "1800", 0}, {"frames 01:00:00.00 --rate 60000/1001", "215784", 0},
      {"frames 01:00:00:00 --rate 23.976", "86400", 0}, {"frames-per-day --rate 59.94", "5178816", 0},
      {"frames-per-day --rate 29.97nd", "2592000", 0}, {"feet 30849 --type 40 --delimiter -", "0771-09", 0},
      {"footage 12ft05 --delimiter ft", "197", 0}, {"footage 0771+09 --to timecode", "00:08:13:20", 0},
      {"footage 99999+00 --to parts", "0009,9999,00", 0}, {"footage 0771+09 --to timecode --classic", "00:08:13:20", 0}, {"legal 00:01:00:00", "yes", 0},
      {"legal 00:10:00;00 --rate 29.97", "yes", 0}, {"legal 00:01:00;01 --rate 29.97", "no: ", 1},
      {"timecode -1 --classic", "00:00:00:01", 0}, {"frames 1 --classic", "90000", 0},
      {"frames-per-day --fps 23.976 --classic", "2072447", 0}, {"frames -1:00:00:00 --classic", "-90000", 0},
      {"timecode 1 --fps 0.5 --classic", "00:00:01;00", 0}, {"legal 00:01:00:00 --classic", "no", 1}};
  // A usage error names the argument on a line, points to the command's help, status 2.
  const std::pair<const char*, const char*> kErrors[] = {
      {"timecode 12x", "FRAMES"}, {"timecode 99999999999", "FRAMES"}, {"timecode -1", "FRAMES: expected a frame count from 0"},
      {"timecode -2147483648 --classic", "FRAMES"}, {"feet -- -1", "FRAMES"}, {"timecode 1 --fps 0.4 --classic", "--rate"},
      {"timecode 1 --rate 29.970", "--rate"}, {"timecode 1 --rate 27", "--rate"}, {"timecode 1 --fps nan --classic", "--rate"},
      {"frames 1", "TIMECODE"}, {"frames 1:2:3:4:5", "TIMECODE"}, {"frames 01:00:00:00 --rate 29.97", "TIMECODE"},
      {"frames 00:01:00;00 --rate 29.97", "TIMECODE"}, {"frames 24:00:00:00", "TIMECODE"}, {"frames 00:00:00:25", "TIMECODE"},
      {"frames 01;00;00;00", "TIMECODE"}, {"frames :1 --classic", "TIMECODE"}, {"legal x", "TIMECODE"},
      {"feet 1 --type 0", "--type"}, {"footage 0771", "FOOTAGE"}, {"footage 99999999999+00", "FOOTAGE: at most"},
      {"footage 1+16", "FOOTAGE: the frames must be below"}, {"rewind", "unknown command rewind"},
      {"footage 1+2 --to metres", "metres"}};
  // clang-format on
  for (const auto& [line, out, status] : kCases) {
    const Result r = bextkit(line);
    EXPECT_EQ(r.out.substr(0, std::string(out).size()) + r.err, out) << line;
    EXPECT_EQ(r.status, status) << line;
  }
  for (const auto& [line, names] : kErrors) {
    const Result r = bextkit(line);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.rfind("bextkit: ", 0) == 0 && r.err.find(names) != std::string::npos &&
                r.err.find(" --help' for ") != std::string::npos)
        << r.err;
  }
  EXPECT_EQ(bextkit("--fps", {"footage", "1+2"}).status +
                bextkit("", {"footage", "1+2", "--delimiter", ""}).status,
            4);
  EXPECT_NE(bextkit("footage --help").out.find("--delimiter"), std::string::npos);
  EXPECT_EQ(bextkit("--version").out.rfind("bextkit 0.", 0), 0u);
}

TEST(Cli, ShowAndChunks) {
  Result r = bextkit("show --verbose " + kSample);
  for (const char* expected :
       {"48000 Hz, 24 bits, 2 channels", "Line-up tone, 1 kHz at -18 dBFS", "BXK0000000001",
        "2026-12-06", "10:00:00", "172800000 samples",
        "01:00:00:00 at 25 fps (no rate stated; --rate to choose); 0 samples past",
        "T=bextkit sample"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  EXPECT_EQ(r.err.find("***Have RIFF"), 0u) << "scan messages only with --verbose";
  EXPECT_EQ(bextkit("show " + kSample).err, "");
  testsupport::TempDir dir;  // a copy: the same file named twice is shown once
  const std::string copy = dir.write("copy.wav", testsupport::readWholeFile(kSample));
  EXPECT_NE(
      bextkit("show --rate 29.97nd " + kSample + " " + copy)
          .out.find("00:59:56:12 at 29.97 non-drop; 173 samples past the frame's start\n"
                    "  Coding history        A=PCM,F=48000,W=24,M=stereo,T=bextkit sample\n\n" +
                    copy),
      std::string::npos);
  // JSON Lines: the documented keys in order; a file that cannot be read gives its error.
  r = bextkit("show --json /nonexistent/a.wav " + kSample + " /dev/null");
  EXPECT_EQ(r.status, 1);
  // clang-format off
  EXPECT_EQ(r.out, R"({"file":"/nonexistent/a.wav","error":"cannot open: No such file or directory"})" "\n"
                   R"({"file":")" + kSample + R"x(","format":{"tag":65534,"name":"extensible (PCM)","sampleRate":48000,"bitsPerSample":24,"channels":2,)x"
                   R"("blockAlign":6,"bytesPerSecond":288000,"validBitsPerSample":24,"channelMask":3,"subFormat":1},)"
                   R"("audio":{"dataSize":72000,"sampleFrames":12000,"duration":0.25},)"
                   R"("bext":{"description":"Line-up tone, 1 kHz at -18 dBFS","originator":"bextkit",)"
                   R"("originatorReference":"BXK0000000001","originationDate":"2026-12-06","originationTime":"10:00:00",)"
                   R"("timeReference":172800000,"timeReferenceLow":172800000,"timeReferenceHigh":0,"version":1,"umid":null,)"
                   R"("loudnessValue":null,"loudnessRange":null,"maxTruePeakLevel":null,"maxMomentaryLoudness":null,"maxShortTermLoudness":null,)"
                   R"("codingHistory":"A=PCM,F=48000,W=24,M=stereo,T=bextkit sample\r\n"},"iXML":null,)"
                   R"("timecode":{"value":"01:00:00:00","rate":"25","dropFrame":false,"frame":90000,"samplesPastFrame":0,"moreThanADay":false,"rateSource":"default"},)"
                   R"("flags":["RIFF","fmt","data","bext"],)"
                   R"("chunks":[{"id":"RIFF","index":1,"start":0,"length":12},{"id":"fmt ","index":2,"start":12,"length":48},)"
                   R"({"id":"bext","index":3,"start":60,"length":690},{"id":"data","index":4,"start":750,"length":72008}],)"
                   R"("layout":[{"id":"fmt ","offset":12,"size":40},{"id":"bext","offset":60,"size":649},)"
                   R"({"id":"LIST","offset":718,"size":24,"form":"INFO"},{"id":"data","offset":750,"size":72000}],"container":"RIFF"})" "\n"
                   R"({"file":"/dev/null","error":"not a regular file"})" "\n");
  // clang-format on
  EXPECT_NE(
      bextkit("chunks " + kSample)
          .out.find("  'bext'             60            649  the bext fields come from here\n"),
      std::string::npos);
  EXPECT_NE(bextkit("chunks --directory " + kSample)
                .out.find("  'bext'      3           60          690\n"),
            std::string::npos);
  // A chunk cut short before its time reference: missing, not a number made of part of it. A
  // time reference a day or more after midnight: its hours count on, and show says so.
  testsupport::BextFields cut{"Cut"}, late{"Late", "", "", "", "", uint64_t{28} * 3600 * 48000};
  cut.payloadSize = 340;
  for (const auto& [fields, text, json] :
       {std::tuple{cut, "Time reference        missing (the chunk ends at byte 340)\n",
                   "\"timeReference\":null,"},
        {late, "Timecode              28:00:00:00 (more than a day after midnight) at 25",
         "\"moreThanADay\":true"}}) {
    const std::string file = dir.write(
        "odd.wav",
        testsupport::RiffBuilder().riffHeader().fmt(1, 1, 48000, 16).bext(fields).bytes());
    EXPECT_NE(bextkit("show " + file).out.find(text), std::string::npos) << text;
    EXPECT_NE(bextkit("show --json " + file).out.find(json), std::string::npos) << json;
  }
  // MPEG audio without a fact chunk tells no count of sample frames; --classic counts at any rate.
  const std::string mpeg = dir.write(
      "mpeg.wav",
      testsupport::RiffBuilder().riffHeader().fmt(0x55, 1, 48000, 0).chunk("data", {1, 2}).bytes());
  EXPECT_NE(bextkit("show " + mpeg).out.find("unknown (no count of sample frames, 2 bytes"),
            std::string::npos);
  EXPECT_NE(bextkit("show --classic --rate 12.5 " + kSample).out.find("00 at 12.5 fps; 0 samples"),
            std::string::npos);
  testsupport::RiffBuilder b;  // a chain truncated by the end of the file, and one that breaks
  const std::string odd =
      dir.write("odd.wav", b.riffHeader().chunkDeclaring("data", 99, {}).bytes());
  EXPECT_NE(bextkit("chunks " + odd)
                .out.find("  'data'             12             99  truncated: runs past"),
            std::string::npos);
  const std::string broken = dir.write(
      "broken.wav", testsupport::RiffBuilder().riffHeader().raw(testsupport::Bytes(8)).bytes());
  EXPECT_NE(bextkit("chunks " + broken)
                .out.find("  broken at offset 12: the bytes there are no chunk header\n"),
            std::string::npos);
  // Files that are not WAV files, in every command that reads files; the others are still read.
  ASSERT_EQ(::mkfifo(dir.pathOf("fifo").c_str(), 0600), 0);
  // clang-format off
  const std::pair<std::string, std::string> kNotWav[] = {
      {dir.write("image\xE9.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}), "not a WAV file"},
      {dir.write("notes.txt", {'R', 'I', 'F', 'F', ' ', 'i', 's', ' ', 'a', ' ', 'w', 'o', 'r', 'd'}), "not a WAV file"},
      {dir.write("empty.wav", {}), "not a WAV file: the file is empty"}, {"/dev/zero", "not a regular file"},
      {dir.pathOf("fifo"), "not a regular file"}, {"/nonexistent/a.wav", "cannot open: No such file or directory"}};
  // clang-format on
  // A file name that is not UTF-8 keeps its bytes in JSON, as surrogate escapes, in every
  // command that writes JSON, its quotes and backslashes escaped; a WAV file of that name is
  // read like any other.
  const std::string oddWav = dir.write("take\xE9\"5\"\\.wav", testsupport::readWholeFile(kSample));
  for (const char* command : {"show --json", "check --json", "export --json"}) {
    for (const auto& [path, name] : {std::pair{kNotWav[0].first, "/image\\udce9.png\","},
                                     {oddWav, "/take\\udce9\\\"5\\\"\\\\.wav\","}}) {
      const bool exported = command[0] == 'e';  // export tells a file it cannot read on stderr
      if (exported && path != oddWav) continue;
      const Result j = bextkit(std::string(command) + " " + path);
      const std::string key = exported ? "FileName" : "file";
      EXPECT_EQ(j.out.rfind("{\"" + key + "\":\"" + dir.path + name, 0), 0u) << j.out << j.err;
    }
  }
  EXPECT_NE(bextkit("show --json " + kNotWav[0].first).out.find("\"error\":\"not a WAV file"),
            std::string::npos);
  for (const auto& [path, why] : kNotWav) {
    for (const char* command : {"show", "chunks", "set --description x"}) {
      r = bextkit(std::string(command) + " " + path + " " + odd);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err.rfind("bextkit: " + path + ": " + why, 0), 0u) << command << " " << r.err;
      EXPECT_NE(r.out.find(odd), std::string::npos) << command;
    }
  }
  // Texts: valid UTF-8 stays, any other byte is taken as Latin-1; control bytes are escaped.
  // clang-format off
  const std::pair<std::string, std::string> kTexts[] = {
      {"caf\xC3\xA9", "caf\xC3\xA9"}, {"caf\xE9", "caf\xC3\xA9"}, {"\xE3\x81\x82", "\xE3\x81\x82"},
      {"\xC3", "\xC3\x83"}, {"\xC0\xAF", "\xC3\x80\xC2\xAF"}, {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
      {"\xF0\x9F\x8E\xAC", "\xF0\x9F\x8E\xAC"}, {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
      {"Studio 4, caf\xE9", "Studio 4, caf\xC3\xA9"}, {"Studio 4, caf\xC3\xA9", "Studio 4, caf\xC3\xA9"}};
  // clang-format on
  for (const auto& [bytes, shown] : kTexts) {
    EXPECT_EQ(displayUtf8(bytes), shown);
    EXPECT_EQ(isUtf8(bytes), bytes == shown) << bytes;
  }
  EXPECT_EQ(displayLines("\r\nA=PCM\r\nA=ANALOG\rT=x\n", "  "), "\n  A=PCM\n  A=ANALOG\n  T=x");
  EXPECT_EQ(displayLines("a\tb\x7F", ""), "a\\x09b\\x7F");
}

// Every coding FFmpeg and sox write, read as ffprobe reads it: the rate and channels from the
// fmt chunk, the duration from the data and fact chunks, and a time reference that counts samples
// at that rate, shown and set as timecode.
TEST(Cli, EveryCodingAsFfprobeReadsIt) {
  testsupport::TempDir dir;
  const std::pair<std::string, std::string> kCodings[] = {{"pcm_s16le", "PCM"},
                                                          {"pcm_s24le", "extensible (PCM)"},
                                                          {"pcm_f32le", "extensible (IEEE float)"},
                                                          {"pcm_mulaw", "mu-law"},
                                                          {"pcm_alaw", "A-law"},
                                                          {"mp2", "MPEG"},
                                                          {"adpcm_ms", "Microsoft ADPCM"},
                                                          {"adpcm_ima_wav", "IMA ADPCM"},
                                                          {"sox", "extensible (PCM)"}};
  for (const auto& [coding, name] : kCodings) {
    SCOPED_TRACE(coding);
    const std::string path = dir.pathOf(coding + ".wav");
    const auto [status, output] =
        coding == "sox" ? testsupport::runProcess({"sox", "-n", "-r", "44100", "-b", "24", "-c",
                                                   "6", path, "synth", "0.25", "sine", "440"})
                        : testsupport::runProcess({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                                   "sine=d=0.5:sample_rate=48000", "-ac", "2",
                                                   "-c:a", coding, "-write_bext", "1", "-metadata",
                                                   "time_reference=172800000", path});
    if (status != 0) GTEST_SKIP() << output;
    const std::string probe =
        testsupport::runProcess({"ffprobe", "-v", "error", "-show_entries",
                                 "stream=sample_rate,channels,duration", "-of", "csv=p=0", path})
            .second;
    auto json = nlohmann::json::parse(bextkit("show --json " + path).out);
    const auto& format = json["format"];
    EXPECT_EQ(std::string(format["name"]) + " " + std::to_string(int(format["sampleRate"])) + "," +
                  std::to_string(int(format["channels"])),
              name + " " + probe.substr(0, probe.rfind(',')));
    EXPECT_NEAR(double(json["audio"]["duration"]), std::stod(probe.substr(probe.rfind(',') + 1)),
                1e-6);
    if (coding == "sox") continue;  // no bext chunk
    EXPECT_EQ(json["timecode"]["value"], "01:00:00:00");
    EXPECT_EQ(bextkit("--timecode 02:00:00:00 --rate 25", {"set", path}).status, 0);
    EXPECT_EQ(scanned(path)->getSamplesSinceMidnightLow(), 2u * 172800000);
  }
}

// A file counts at the rate it states, says where that came from, and --rate overrides it.
TEST(Cli, TheFilesOwnRate) {
  testsupport::TempDir dir;
  const auto file = [&dir](const std::string& description, const std::string& ixml) {
    std::vector<std::pair<std::string, testsupport::Bytes>> extra;
    if (!ixml.empty()) {
      const std::string text = "<BWFXML><SPEED>" + ixml + "</SPEED></BWFXML>";
      extra.emplace_back("iXML", testsupport::Bytes(text.begin(), text.end()));
    }
    return dir.write("take.wav", testsupport::recorderTake({description, "", "", "", "", 172800000},
                                                           extra, testsupport::Bytes(6, 0)));
  };
  const std::string kDf =
      "<TIMECODE_RATE>30000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>";
  // clang-format off
  const struct { std::string description, ixml, rate, source, label, shown; } kCases[] = {
      {"", kDf, "", "iXML", "01:00:00;00", "at 29.97 drop-frame, stated in iXML"},
      {"sSPEED=023.976-ND\r\n", "", "", "description", "00:59:56:09", "at 23.976 fps, stated in the description"},
      {"sSPEED=025.000-ND", kDf, "", "iXML", "01:00:00;00", "at 29.97 drop-frame, stated in iXML"},
      {"", "", "", "default", "01:00:00:00", "at 25 fps (no rate stated; --rate to choose)"},
      {"sSPEED=025.000-ND", kDf, "29.97nd", "option", "00:59:56:12", "at 29.97 non-drop;"}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.source + " " + c.description);
    const std::string path = file(c.description, c.ixml);
    const std::string rate = c.rate.empty() ? "" : " --rate " + c.rate;
    const Result shown = bextkit("show" + rate + " " + path);
    EXPECT_NE(shown.out.find(c.label + " " + c.shown), std::string::npos) << shown.out;
    EXPECT_EQ(shown.err.find("iXML states 29.97 drop-frame and the description 25 fps") !=
                  std::string::npos,
              c.description.starts_with("sSPEED=025") && c.rate.empty())
        << shown.err;
    auto json = nlohmann::json::parse(bextkit("show --json" + rate + " " + path).out);
    EXPECT_EQ(
        std::string(json["timecode"]["rateSource"]) + " " + std::string(json["timecode"]["value"]),
        c.source + " " + c.label);
    EXPECT_NE(bextkit("export --csv" + rate + " " + path).out.find("," + c.label + ",172800000,"),
              std::string::npos);
    // set reads a timecode at the same rate: ";" before the frames only at a drop-frame one.
    EXPECT_EQ(bextkit("--timecode " + c.label + rate, {"set", path}).status, 0) << c.label;
  }
  // Under --classic the system's own arithmetic translates the time reference.
  EXPECT_NE(bextkit("export --json --classic " + kSample)
                .out.find("\"TimeReference (translated)\":\"01:00:00:00\""),
            std::string::npos);
}

TEST(Cli, Set) {
  testsupport::TempDir dir;
  const std::string path = dir.write("take.wav", testsupport::readWholeFile(kSample));
  // Bad arguments touch no file.
  // clang-format off
  const std::string kBad[] = {
      "", "--timecode 01:60:00:00 --classic", "--timecode 01:00:00:25 --rate 25", "--timecode 01:00:00",
      "--rate 0 --description x", "--timecode 00:01:00;00 --rate 29.97",
      "--timecode 01:00:00:00 --rate 29.97", "--verbose --description x",
      "--description " + std::string(257, 'd'), "--originator-reference " + std::string(33, 'r'),
      "--origination-date 2023-02-29", "--origination-time 24:00:00", "--umid 0123", "--version 3",
      "--loudness-value 1.2.3", "--max-true-peak -327.685", "--loudness-range 327.67", "--loudness-range -",
      "--coding-history x --append-coding-history y"};
  // clang-format on
  for (const std::string& options : kBad) {
    const Result r = bextkit(options, {"set", path});
    EXPECT_EQ(r.status, 2) << options;
    EXPECT_NE(r.err.find(options.empty() ? "nothing to set" : options.substr(0, options.find(' '))),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(testsupport::readWholeFile(path), testsupport::readWholeFile(kSample));
  // Frame 1185075 at 29.97 drop-frame begins at sample 1185075 x 48000 x 1001 / 30000.
  Result r =
      bextkit("--description Dialogue --originator Sound --timecode 10:59:02;03 --rate 29.97",
              {"set", path});
  EXPECT_EQ(
      r.out,
      path +
          "\n  Description: \"Line-up tone, 1 kHz at -18 dBFS\" -> \"Dialogue\"\n"
          "  Originator: \"bextkit\" -> \"Sound\"\n  timecode: \"01:00:00;00\" -> \"10:59:02;03\"\n"
          "  TimeReference: 172800000 -> 1898016120 samples\n");
  // The system's arithmetic: the time as a fraction of a second, rounded up.
  EXPECT_EQ(bextkit("--timecode 10:59:02;03 --rate 29.97 --classic", {"set", path}).status, 0);
  EXPECT_EQ(scanned(path)->getSamplesSinceMidnightLow(), 1898020805u);
  // A RIFX file's time reference is big-endian: a text edit reports no change of it.
  const std::string rifx =
      dir.write("rifx.wav", testsupport::RiffBuilder(testsupport::ByteOrder::kBig)
                                .riffHeader()
                                .fmt(1, 1, 48000, 16)
                                .bext({"Take", "", "", "", "", 172800000})
                                .bytes());
  EXPECT_EQ(bextkit("--description x", {"set", rifx}).out,
            rifx + "\n  Description: \"Take\" -> \"x\"\n");
  // A batch: a file without a chunk gets one; a file that cannot be saved is reported, and one
  // whose save would be refused lists no change.
  const std::string plain = dir.write("plain.wav", testsupport::RiffBuilder()
                                                       .riffHeader()
                                                       .fmt(1, 1, 48000, 16)
                                                       .chunk("data", testsupport::Bytes(2, 0))
                                                       .bytes());
  testsupport::BextFields tiny;
  tiny.payloadSize = 10;
  const std::string short10 =
      dir.write("short.wav", testsupport::RiffBuilder().riffHeader().bext(tiny).bytes());
  {
    const testsupport::WriteRefused refused(path);
    r = bextkit("--originator Field", {"set", plain, short10, path});
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("  CodingHistory: \"A=PCM\\r\\n\" (new chunk)\n  a new bext chunk after "
                       "the RIFF header"),
            std::string::npos)
      << r.out;
  // The new chunk keeps the archive's rules: nothing after a text's NUL, a history line in CR LF.
  EXPECT_EQ(bextkit("check --rules tech3285,r98 " + plain).out, plain + ": OK\n");
  EXPECT_TRUE(r.out.find(short10) == std::string::npos && r.out.find(path) == std::string::npos)
      << "a failed save lists no change: " << r.out;
  EXPECT_EQ(bextkit("--originator x --dry-run", {"set", short10}).status, 1);
  EXPECT_EQ(scanned(plain)->originator() + scanned(path)->originator(), "FieldSound");
  EXPECT_EQ(r.err, "bextkit: cannot save " + short10 +
                       ": the bext chunk holds 10 bytes, too few for the new Originator; nothing "
                       "was written\nbextkit: cannot save " +
                       path + ": cannot open for writing: Permission denied\n");
  // A long insertion shows its progress on a terminal, and only there (70 MiB, mostly a hole).
  for (bool terminal : {false, true}) {
    dir.write("take.wav",
              testsupport::RiffBuilder().riffHeader().chunkDeclaring("data", 70 << 20, {}).bytes());
    ASSERT_EQ(::truncate(path.c_str(), 20 + (70 << 20)), 0);
    r = bextkit("--description long", {"set", path}, terminal);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("100%\n") != std::string::npos, terminal) << r.err;
  }
}

TEST(Cli, AsAProcess) {
  // Under a file-size limit (ulimit -f) smaller than the new file, the write fails rather than
  // the program being killed by SIGXFSZ: status 1, the reason, the file as it was, no leftover.
  const testsupport::TempDir dir;
  const testsupport::Bytes before = testsupport::RiffBuilder()
                                        .riffHeader()
                                        .fmt(1, 2, 48000, 16)
                                        .chunk("data", testsupport::Bytes(300000, 0x11))
                                        .bytes();
  const std::string path = dir.write("long.wav", before);
  auto [status, output] = testsupport::runProcess(
      {"prlimit", "--fsize=200000", BEXTKIT_PROGRAM, "set", path, "--description", "x"});
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1 &&
              output.find("File too large") != std::string::npos)
      << output;
  EXPECT_EQ(testsupport::readWholeFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
  // Output that goes to a full disk fails every reading command, which says why.
  for (const char* command : {"show", "chunks", "check", "md5", "export --csv", "export --json"}) {
    std::tie(status, output) = testsupport::runProcess(
        {"sh", "-c", std::string("\"$0\" ") + command + " \"$1\" >/dev/full", BEXTKIT_PROGRAM,
         kSample});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1 &&
                output.find("bextkit: cannot write the output: No space left on device") !=
                    std::string::npos)
        << command << ": " << output;
  }
  // An escape sequence in a file name is shown as \xNN, on the output and in an error alike.
  const std::string named =
      dir.write("take\x1B]0;title\x07.wav", testsupport::readWholeFile(kSample));
  output = testsupport::runProcess({BEXTKIT_PROGRAM, "show", named, dir.pathOf("gone\x1B[2J.wav")})
               .second;
  EXPECT_NE(output.find("/take\\x1B]0;title\\x07.wav\n"), std::string::npos) << output;
  EXPECT_NE(output.find("/gone\\x1B[2J.wav: cannot open"), std::string::npos) << output;
  EXPECT_EQ(output.find('\x1B'), std::string::npos);
}

TEST(Cli, SetFields) {
  using testsupport::RiffBuilder, testsupport::readWholeFile;
  testsupport::TempDir dir;
  // Each change is listed; the coding history on one line. The sample's chunk holds 47 bytes of
  // history: with one more line the file is written anew.
  const std::string path = dir.write("take.wav", readWholeFile(kSample)),
                    umid = "060A2B340101010501010D43130000001122334455667788AABBCCDDEEFF0011";
  const std::string options =
      "--originator-reference GB-ABC --origination-date 2025-03-04 --origination-time 05:06:07 "
      "--version 2 --loudness-value -23.005 --max-true-peak none --append-coding-history "
      "A=PCM,T=edit --umid " +
      umid;
  const std::string changes =
      "\n  OriginatorReference: \"BXK0000000001\" -> \"GB-ABC\"\n"
      "  OriginationDate: \"2026-12-06\" -> \"2025-03-04\"\n"
      "  OriginationTime: \"10:00:00\" -> \"05:06:07\"\n  Version: 1 -> 2\n  UMID: 0 -> " +
      umid +
      "\n  LoudnessValue: 0.00 -> -23.01\n  MaxTruePeakLevel: 0.00 -> none\n"
      "  CodingHistory: \"A=PCM,F=48000,W=24,M=stereo,T=bextkit sample\\r\\n\" -> "
      "\"A=PCM,F=48000,W=24,M=stereo,T=bextkit sample\\r\\nA=PCM,T=edit\\r\\n\"\n"
      "  the bext chunk grows from 649 to 662 bytes: the file is written anew, with a 1024-byte "
      "JUNK reserve after it\n";
  Result r = bextkit(options + " --dry-run", {"set", path});
  EXPECT_EQ(r.out, path + " (dry run, not written) would change:" + changes);
  EXPECT_EQ(readWholeFile(path), readWholeFile(kSample));
  r = bextkit(options, {"set", path});
  EXPECT_EQ(r.out, path + changes);
  EXPECT_NE(bextkit("show " + path)
                .out.find("Loudness              -23.01 LUFS, range 0.00 LU, "
                          "true peak none, momentary max 0.00 LUFS, "
                          "short-term max 0.00 LUFS\n"),
            std::string::npos);
  // Loudness values are rounded half away from zero to hundredths.
  // clang-format off
  const std::pair<const char*, int16_t> kLoudness[] = {
      {"-23.005", -2301}, {"-23.0049", -2300}, {"5.3", 530}, {"+.5", 50}, {"-0.004", 0},
      {"12.", 1200}, {"99.994", 9999}, {"-99.985", -9999}, {"none", 0x7FFF}};
  // clang-format on
  for (const auto& [text, hundredths] : kLoudness) {
    EXPECT_EQ(bextkit("", {"set", path, "--loudness-value", text}).status, 0) << text;
    EXPECT_EQ(scanned(path)->storedFields().loudnessValue, hundredths) << text;
  }
  // One more line of coding history: after a last line without its CR LF; in a RIFX file
  // without a history; in a new chunk, after its "A=PCM".
  testsupport::BextFields take{"Take"};
  // clang-format off
  const std::pair<testsupport::Bytes, std::string> kAppend[] = {
      {RiffBuilder(testsupport::ByteOrder::kBig).riffHeader().fmt(1, 1, 48000, 16).bext(take).bytes(), "A=PCM,T=new\r\n"},
      {RiffBuilder().riffHeader().bext({"Take", "", "", "", "", 0, "A=PCM"}).bytes(), "A=PCM\r\nA=PCM,T=new\r\n"},
      {RiffBuilder().riffHeader().fmt(1, 1, 48000, 16).bytes(), "A=PCM\r\nA=PCM,T=new\r\n"}};
  // clang-format on
  for (const auto& [bytes, expected] : kAppend) {
    const std::string file = dir.write("append.wav", bytes);
    r = bextkit("--append-coding-history A=PCM,T=new", {"set", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(scanned(file)->fullCodingHistory(), expected);
  }
  // A whole history given with LF alone is written with CR LF, and set says so.
  r = bextkit("", {"set", path, "--coding-history", "A=PCM\nA=ANALOG"});
  EXPECT_NE(r.out.find("lines are written ending with CR LF"), std::string::npos) << r.out;
  EXPECT_EQ(scanned(path)->fullCodingHistory(), "A=PCM\r\nA=ANALOG\r\n");
}

TEST(Cli, Codes) {
  testsupport::TempDir dir;
  const std::string path = dir.write("take.wav", {}), link = dir.pathOf("link.wav");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  Result r = bextkit("codes --type WAVE --creator bext " + link + " " + path);
  if (r.err.find("keeps no extended attributes") != std::string::npos) GTEST_SKIP() << r.err;
  EXPECT_EQ(std::to_string(r.status) + r.err,
            "1bextkit: cannot set the type code of " + link + ": symbolic link\n");
  EXPECT_EQ(r.out, path + "  type 'WAVE'  creator 'bext'\n") << "a refused file is not shown";
  EXPECT_EQ(bextkit("codes --creator TEXT " + path).out, path + "  type 'WAVE'  creator 'TEXT'\n");
  EXPECT_EQ(bextkit("codes " + link).out, link + "  type 'WAVE'  creator 'TEXT'\n");
  EXPECT_EQ(bextkit("codes /nonexistent.wav").status, 1);
  EXPECT_EQ(bextkit("", {"codes", "--creator", "", path}).out,
            path + "  type 'WAVE'  creator ''\n");
  r = bextkit("codes --creator ABC " + path);
  EXPECT_EQ(std::to_string(r.status) + r.err.substr(0, r.err.find('\n')),
            "2bextkit: --creator: a code is four bytes, got 3");
}

}  // namespace
}  // namespace bextkit::cli
