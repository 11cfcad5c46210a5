// The chunk scan: a typical Broadcast Wave file opened and parsed (time per file and read
// calls per parse, for growing amounts of audio), its chunk chain walked alone, and the
// crossing of one huge unlisted chunk (bytes per second; 256 MiB of it beside cat). Files are
// made in a temporary directory when the program starts.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "bwf/ChunkChain.h"
#include "platform/FileHandle.h"
#include "platform/FourCC.h"
#include "platform/SystemLog.h"

namespace {

using bextkit::BWFParser;
using namespace bextkit::testsupport;

const TempDir& benchDir() {
  static const TempDir dir;
  return dir;
}

// Counts the read calls that reach the system, through the replaceable file operations.
uint64_t gReads = 0;
void countReads() {
  static const bool installed = [] {
    bextkit::FileOperations ops = bextkit::posixFileOperations();
    ops.pread = [plain = ops.pread](int fd, void* buffer, size_t length, uint64_t offset) {
      ++gReads;
      return plain(fd, buffer, length, offset);
    };
    bextkit::setFileOperations(ops);
    bextkit::setLogSink([](const std::string&) {});
    return true;
  }();
  (void)installed;
}

// 48 kHz, 24-bit stereo with bext (and coding history), LIST/INFO and iXML, then `seconds` of
// audio: the layout recorders and DAWs write.
std::string typicalFile(int64_t seconds) {
  BextFields bext{"Scene 12 take 3",
                  "Recorder",
                  "USID1234567890",
                  "2024-05-06",
                  "07:08:09",
                  172801000,
                  "A=PCM,F=48000,W=24,M=stereo,T=field recorder\r\n"};
  std::string ixml = "<?xml version=\"1.0\"?><BWFXML><IXML_VERSION>2.10</IXML_VERSION>";
  while (ixml.size() < 2500)
    ixml += "<TRACK><NAME>Boom</NAME><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX></TRACK>";
  ixml += "</BWFXML>";
  const Bytes info = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 8,   0,
                      0,   0,   'R', 'e', 'c', ' ', '2', '.', '1', 0};
  const Bytes header = RiffBuilder()
                           .riffHeader()
                           .fmt(1, 2, 48000, 24)
                           .bext(bext)
                           .chunk("LIST", info)
                           .chunk("iXML", Bytes(ixml.begin(), ixml.end()))
                           .bytes();
  const uint64_t audio = uint64_t(seconds) * 48000 * 6;
  Bytes file = RiffBuilder().raw(header).chunkDeclaring("data", uint32_t(audio), {}).bytes();
  const uint32_t riffSize = uint32_t(file.size() + audio - 8);
  for (int i = 0; i < 4; ++i) file[4 + i] = uint8_t(riffSize >> (8 * i));
  const std::string path = benchDir().pathOf("typical-" + std::to_string(seconds) + "s.wav");
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (fd < 0 || ::write(fd, file.data(), file.size()) != ssize_t(file.size()) ||
      ::ftruncate(fd, off_t(file.size() + audio)) != 0) {
    std::abort();
  }
  ::close(fd);
  return path;
}

void BM_ParseTypicalBwf(benchmark::State& state) {
  countReads();
  const std::string path = typicalFile(state.range(0));
  gReads = 0;
  for (auto _ : state) {
    auto parser = BWFParser::initWithPath(path);
    parser->parse();
    benchmark::DoNotOptimize(parser->timecodeString());
  }
  state.counters["reads/parse"] = benchmark::Counter(double(gReads) / double(state.iterations()));
}
BENCHMARK(BM_ParseTypicalBwf)->ArgName("audio_seconds")->Arg(1)->Arg(60)->Arg(3600);

// The chunk chain of the same file walked on its own: what the walk adds to a parse.
void BM_WalkChunkChainTypical(benchmark::State& state) {
  countReads();
  const std::string path = typicalFile(state.range(0));
  auto file = bextkit::FileHandle::openForReading(path);
  const uint64_t size = file->seekToEndOfFile();
  gReads = 0;
  for (auto _ : state) benchmark::DoNotOptimize(bextkit::walkChunkChain(*file, size).chunks.size());
  state.counters["reads/walk"] = benchmark::Counter(double(gReads) / double(state.iterations()));
}
BENCHMARK(BM_WalkChunkChainTypical)->ArgName("audio_seconds")->Arg(1)->Arg(3600);

// Breaks every listed ID in `block` by replacing its first byte with one that no ID holds.
void scrubIds(Bytes& block, uint8_t replacement) {
  for (size_t i = 0; i + 4 <= block.size(); ++i) {
    for (const bextkit::FourCC& id : bextkit::kListedChunkIDs) {
      if (bextkit::FourCC::fromBytes(&block[i]) == id) block[i] = replacement;
    }
  }
}

// A block of noise in which no four bytes spell a listed ID, starting with three zero bytes
// so that no ID forms across two copies of it either.
Bytes noiseWithoutIds(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes block(size);
  for (uint8_t& b : block) b = uint8_t(rng());
  block[0] = block[1] = block[2] = 0;
  scrubIds(block, 0);
  return block;
}

// RIFF header, then one unlisted chunk holding `size` bytes of repeated `block`.
std::string hugeUnlistedFile(const std::string& name, const Bytes& block, uint64_t size) {
  const std::string path = benchDir().pathOf(name);
  const Bytes header =
      RiffBuilder().riffHeader().chunkDeclaring("free", uint32_t(size), {}).bytes();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  bool ok = out && std::fwrite(header.data(), 1, header.size(), out) == header.size();
  for (uint64_t written = 0; ok && written < size; written += block.size()) {
    ok = std::fwrite(block.data(), 1, block.size(), out) == block.size();
  }
  if (!out || std::fclose(out) != 0 || !ok) std::abort();
  return path;
}

void crossing(benchmark::State& state, const std::string& path, uint64_t size) {
  countReads();
  for (auto _ : state) {
    auto parser = BWFParser::initWithPath(path);
    parser->parse();
    benchmark::DoNotOptimize(parser->getChunkDictionary().size());
  }
  state.SetBytesProcessed(int64_t(size) * state.iterations());
}

// Audio-like bytes: the scan skips three positions at a time nearly everywhere.
void BM_CrossUnlistedNoise1GiB(benchmark::State& state) {
  constexpr uint64_t kSize = uint64_t{1} << 30;
  static const std::string path = hugeUnlistedFile("noise.wav", noiseWithoutIds(1 << 20, 1), kSize);
  crossing(state, path, kSize);
}
BENCHMARK(BM_CrossUnlistedNoise1GiB)->Unit(benchmark::kMillisecond)->MinTime(3);

// 256 MiB of audio-like bytes crossed by the scan, beside cat reading the same file from the
// page cache into /dev/null (the time of cat is reported; both are timed in each iteration).
void BM_CrossUnlistedNoise256MiBVersusCat(benchmark::State& state) {
  constexpr uint64_t kSize = uint64_t{256} << 20;
  static const std::string path =
      hugeUnlistedFile("noise256.wav", noiseWithoutIds(1 << 20, 3), kSize);
  countReads();
  const std::string cat = "cat '" + path + "' > /dev/null";
  double scan = 0, read = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    auto parser = BWFParser::initWithPath(path);
    parser->parse();
    benchmark::DoNotOptimize(parser->chunkFlags());
    const double scanned =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    start = std::chrono::steady_clock::now();
    if (std::system(cat.c_str()) != 0) return state.SkipWithError("cat failed");
    read += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    scan += scanned;
    state.SetIterationTime(scanned);
  }
  state.SetBytesProcessed(int64_t(kSize) * state.iterations());
  state.counters["cat_ms"] = 1000 * read / double(state.iterations());
  state.counters["vs_cat"] = scan / read;
}
BENCHMARK(BM_CrossUnlistedNoise256MiBVersusCat)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// Text made of the letters of the listed IDs (an XMP or iXML packet at its worst): most pairs
// could belong to an ID, so nearly every position is checked in full.
void BM_CrossUnlistedIdLetters64MiB(benchmark::State& state) {
  constexpr uint64_t kSize = uint64_t{64} << 20;
  static const std::string path = [] {
    Bytes block = noiseWithoutIds(1 << 20, 2);
    const std::string letters = "adtlmfixnoJUKRIFWAVE ";
    for (uint8_t& b : block) {
      if (b != 0) b = uint8_t(letters[b % letters.size()]);
    }
    scrubIds(block, '.');
    return hugeUnlistedFile("letters.wav", block, kSize);
  }();
  crossing(state, path, kSize);
}
BENCHMARK(BM_CrossUnlistedIdLetters64MiB)->Unit(benchmark::kMillisecond);

}  // namespace
