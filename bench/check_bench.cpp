// The conformance check of a folder of 1000 small recorder files in one call, side by side with
// show --json over the same files, both run in-process as the bextkit program runs them.
#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "Support.h"
#include "cli/Cli.h"

namespace {

using bextkit::testsupport::Bytes;
using bextkit::testsupport::RiffBuilder;

// A folder of files as a field recorder writes them: fmt, bext with a coding history, iXML with
// the speed and the time reference again, a LIST INFO, and a little audio.
const std::vector<std::string>& recorderFiles() {
  static const bextkit::testsupport::TempDir dir;
  static std::vector<std::string> paths;
  if (!paths.empty()) return paths;
  const std::string xml =
      "<?xml version=\"1.0\"?><BWFXML><SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE>"
      "<TIMECODE_FLAG>NDF</TIMECODE_FLAG><TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0"
      "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI><TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>172800000"
      "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO></SPEED></BWFXML>";
  const std::string info = std::string("INFOIARL\x08\0\0\0US, NARA", 20);
  for (int i = 0; i < 1000; ++i) {
    const Bytes file =
        RiffBuilder()
            .riffHeader()
            .fmt(1, 2, 48000, 24)
            .bext({"sSPEED=025.000-ND\r\nTAKE=" + std::to_string(i), "US, NARA", "", "2024-02-29",
                   "10:00:00", 172800000, "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"})
            .chunk("iXML", Bytes(xml.begin(), xml.end()))
            .chunk("LIST", Bytes(info.begin(), info.end()))
            .chunk("data", Bytes(6 * 400, 0))
            .bytes();
    paths.push_back(dir.write("take" + std::to_string(1000 + i) + ".wav", file));
  }
  return paths;
}

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void runOverFiles(benchmark::State& state, std::vector<std::string> args) {
  const auto& files = recorderFiles();
  args.insert(args.end(), files.begin(), files.end());
  NullBuffer sink;
  std::ostream out(&sink), err(&sink);
  for (auto _ : state) {
    if (bextkit::cli::run(args, out, err, false) > 1) state.SkipWithError("the command failed");
  }
  state.counters["files/s"] =
      benchmark::Counter(double(files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ShowJson(benchmark::State& state) { runOverFiles(state, {"show", "--json"}); }
void BM_CheckAllRules(benchmark::State& state) {
  runOverFiles(state, {"check", "--rules", "tech3285,r98,r99,fadgi"});
}
void BM_CheckJson(benchmark::State& state) { runOverFiles(state, {"check", "--json"}); }

// One file with a hostile iXML of about 4 MB: elements nested `depth` deep, each level holding
// leaves, as many as fit. Its check stays linear in the document's size (or stops at a limit).
void BM_CheckHostileIxml(benchmark::State& state) {
  const auto depth = static_cast<size_t>(state.range(0));
  std::string xml;
  for (size_t level = 0; level < depth; ++level) xml += "<LEVEL_OF_NESTING>";
  while (xml.size() < (4u << 20)) xml += "<LEAF>text</LEAF>";
  for (size_t level = 0; level < depth; ++level) xml += "</LEVEL_OF_NESTING>";
  static const bextkit::testsupport::TempDir dir;
  const std::string path =
      dir.write("hostile.wav", RiffBuilder()
                                   .riffHeader()
                                   .fmt(1, 2, 48000, 24)
                                   .chunk("iXML", Bytes(xml.begin(), xml.end()))
                                   .chunk("data", Bytes(6 * 400, 0))
                                   .bytes());
  NullBuffer sink;
  std::ostream out(&sink), err(&sink);
  for (auto _ : state) {
    if (bextkit::cli::run({"check", path}, out, err, false) > 1) {
      state.SkipWithError("the command failed");
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(xml.size()));
}

BENCHMARK(BM_ShowJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckHostileIxml)->Arg(4)->Arg(60)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckAllRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckJson)->Unit(benchmark::kMillisecond);

}  // namespace
