// Fuzz target: any bytes as a table for import, beside two WAV files that its rows may name.
// The table is read, every row checked and every save checked (a dry run), then imported with
// --continue-errors; the files are written afresh for each input, so that every run starts
// from the same files.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "bwf/BextRecord.h"
#include "cli/Cli.h"
#include "fuzz/FuzzFiles.h"

namespace {

struct NullBuffer : std::streambuf {
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void put(std::vector<uint8_t>& bytes, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void chunk(std::vector<uint8_t>& bytes, const char* id, const std::vector<uint8_t>& payload) {
  bytes.insert(bytes.end(), id, id + 4);
  put(bytes, static_cast<uint32_t>(payload.size()), 4);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  if (payload.size() % 2) bytes.push_back(0);
}

// A stereo 24-bit file at 48 kHz with a version 1 broadcast extension (or none) and 100
// frames of silence.
std::vector<uint8_t> take(bool withBext) {
  std::vector<uint8_t> fmt;
  for (const auto& [value, width] : std::vector<std::pair<uint32_t, int>>{
           {1, 2}, {2, 2}, {48000, 4}, {288000, 4}, {6, 2}, {24, 2}}) {
    put(fmt, value, width);
  }
  std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
  chunk(body, "fmt ", fmt);
  if (withBext) {
    // A version-1 record without coding history, made by the record's own encoder.
    bextkit::BWFChunk image;
    bextkit::encodeText(image, bextkit::BextField::kDescription, "Scene 1");
    bextkit::encodeVersion(image, 1, false);
    chunk(body, "bext",
          std::vector<uint8_t>(image.bytes.begin() + bextkit::BWFChunk::kHeaderSize,
                               image.bytes.begin() + bextkit::BextRecord::kFixedSize));
  }
  chunk(body, "data", std::vector<uint8_t>(600, 0));
  std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
  put(file, static_cast<uint32_t>(body.size()), 4);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using bextkit::fuzz::writeFile;
  bextkit::fuzz::quietLog();
  static const std::vector<uint8_t> a = take(true), b = take(false);
  if (writeFile("a.wav", a.data(), a.size()).empty() ||
      writeFile("b.wav", b.data(), b.size()).empty()) {
    return 0;
  }
  const std::string table = writeFile("t.csv", data, size);
  if (table.empty()) return 0;
  NullBuffer sink;
  std::ostream out(&sink), err(&sink);
  (void)bextkit::cli::run({"import", table, "--dry-run", "--verbose"}, out, err);
  (void)bextkit::cli::run({"import", table, "--continue-errors"}, out, err);
  return 0;
}
