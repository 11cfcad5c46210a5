// iXML in whole folders and in large files, each run as the bextkit program:
// - show --json over 10,000 recorder takes holding a recorder's iXML document (speed, time stamp,
//   two tracks, the BEXT copy, vendor data), beside the same takes with that chunk renamed JUNK,
//   so that the same bytes are read and no document is parsed;
// - an iXML edit (set --scene) of a 1 GiB take whose document has room to spare, rewritten
//   where it lies.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "LargeWave.h"
#include "Support.h"

namespace {

using bextkit::testsupport::Bytes;
using bextkit::testsupport::RiffBuilder;

constexpr int kFiles = 10000;
const std::string kBextkit = BEXTKIT_CLI;

std::string recorderDocument(int take) {
  const std::string stamp = std::to_string(172800000 + 1920 * take);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n  <IXML_VERSION>2.10</IXML_VERSION>"
         "\n  <PROJECT>Harbour</PROJECT>\n  <SCENE>12A</SCENE>\n  <TAKE>" +
         std::to_string(take) +
         "</TAKE>\n  <TAPE>241208</TAPE>\n  <CIRCLED>FALSE</CIRCLED>\n  <NOTE></NOTE>\n"
         "  <UBITS>00000000</UBITS>\n  <SPEED>\n    <MASTER_SPEED>25/1</MASTER_SPEED>\n"
         "    <CURRENT_SPEED>25/1</CURRENT_SPEED>\n    <TIMECODE_RATE>25/1</TIMECODE_RATE>\n"
         "    <TIMECODE_FLAG>NDF</TIMECODE_FLAG>\n    <FILE_SAMPLE_RATE>48000</FILE_SAMPLE_RATE>\n"
         "    <AUDIO_BIT_DEPTH>24</AUDIO_BIT_DEPTH>\n"
         "    <TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>\n"
         "    <TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>" +
         stamp +
         "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>\n"
         "    <TIMESTAMP_SAMPLE_RATE>48000</TIMESTAMP_SAMPLE_RATE>\n  </SPEED>\n"
         "  <TRACK_LIST>\n    <TRACK_COUNT>2</TRACK_COUNT>\n"
         "    <TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX>"
         "<NAME>Boom</NAME><FUNCTION></FUNCTION></TRACK>\n"
         "    <TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX>"
         "<NAME>Lav 1</NAME><FUNCTION></FUNCTION></TRACK>\n  </TRACK_LIST>\n"
         "  <BEXT>\n    <BWF_ORIGINATOR>Recorder</BWF_ORIGINATOR>\n"
         "    <BWF_TIME_REFERENCE_LOW>" +
         stamp +
         "</BWF_TIME_REFERENCE_LOW>\n    <BWF_TIME_REFERENCE_HIGH>0</BWF_TIME_REFERENCE_HIGH>\n"
         "  </BEXT>\n  <USER>VENDOR_DATA=0x17</USER>\n</BWFXML>\n" +
         std::string(256, ' ');
}

// The folder of takes, their document in a chunk named `id`.
const std::string& folder(const std::string& id) {
  static const bextkit::testsupport::TempDir withIxml, withoutIxml;
  const bextkit::testsupport::TempDir& dir = id == "iXML" ? withIxml : withoutIxml;
  static bool made[2] = {false, false};
  if (!made[id == "iXML"]) {
    for (int i = 0; i < kFiles; ++i) {
      const std::string xml = recorderDocument(i);
      dir.write("take" + std::to_string(10000 + i) + ".wav",
                RiffBuilder()
                    .riffHeader()
                    .fmt(1, 2, 48000, 24)
                    .bext({"sSPEED=025.000-ND\r\nsTAKE=" + std::to_string(i), "Recorder", "",
                           "2024-02-29", "10:00:00", 172800000 + 1920u * i,
                           "A=PCM,F=48000,W=24,M=stereo,T=recorder\r\n"})
                    .chunk(id, Bytes(xml.begin(), xml.end()))
                    .chunk("data", Bytes(6 * 400, 0))
                    .bytes());
    }
    made[id == "iXML"] = true;
  }
  return dir.path;
}

// Runs `command` once per iteration, timing the whole run.
void timeRuns(benchmark::State& state, const std::string& command) {
  // One untimed run first: the system may have put the new files out of its cache.
  if (std::system(command.c_str()) != 0) return state.SkipWithError(("failed: " + command).c_str());
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (status != 0) state.SkipWithError(("failed: " + command).c_str());
  }
}

void BM_ShowJsonWithIxml(benchmark::State& state) {
  timeRuns(state, "exec " + kBextkit + " show --json '" + folder("iXML") + "' >/dev/null");
  state.counters["files/s"] =
      benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ShowJsonIxmlAsJunk(benchmark::State& state) {
  timeRuns(state, "exec " + kBextkit + " show --json '" + folder("JUNK") + "' >/dev/null");
  state.counters["files/s"] =
      benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

// A 1 GiB take with its document after the audio, and room in its padding.
void BM_IxmlEditInPlace1GiB(benchmark::State& state) {
  static const bextkit::testsupport::TempDir dir;
  const std::string path = dir.pathOf("large.wav");
  if (const std::string why = bextkit::bench::writeLargeWave(path, uint64_t{1} << 30);
      !why.empty()) {
    return state.SkipWithError(why.c_str());
  }
  const std::string xml = recorderDocument(1);
  const Bytes chunk = RiffBuilder().chunk("iXML", Bytes(xml.begin(), xml.end())).bytes();
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::ate);
    const uint64_t end = static_cast<uint64_t>(file.tellp());
    file.write(reinterpret_cast<const char*>(chunk.data()),
               static_cast<std::streamsize>(chunk.size()));
    const uint64_t riff = end + chunk.size() - 8;
    const unsigned char size[4] = {
        static_cast<unsigned char>(riff), static_cast<unsigned char>(riff >> 8),
        static_cast<unsigned char>(riff >> 16), static_cast<unsigned char>(riff >> 24)};
    file.seekp(4);
    file.write(reinterpret_cast<const char*>(size), 4);
    if (!file) return state.SkipWithError("cannot append the iXML chunk");
  }
  // The file on the disk first: the edit's own sync then waits for its own page alone.
  if (std::system(("exec sync '" + path + "'").c_str()) != 0) {
    return state.SkipWithError("cannot sync the file");
  }
  int scene = 0;
  for (auto _ : state) {
    const std::string command = "exec " + kBextkit + " set --scene " +
                                std::to_string(++scene % 2 ? 100 : 2000) + " '" + path +
                                "' >/dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (status != 0) state.SkipWithError("set failed");
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_ShowJsonWithIxml)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ShowJsonIxmlAsJunk)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_IxmlEditInPlace1GiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
