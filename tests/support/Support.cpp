#include "Support.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/FileHandle.h"

namespace bextkit::testsupport {

Bytes bextPayload(const BextFields& f, bool bigEndian) {
  Bytes out;
  for (const auto& [text, width] : {std::pair{&f.description, 256},
                                    {&f.originator, 32},
                                    {&f.reference, 32},
                                    {&f.date, 10},
                                    {&f.time, 8}}) {
    for (int i = 0; i < width; ++i) out.push_back(size_t(i) < text->size() ? (*text)[i] : 0);
  }
  for (int i = 0; i < 8; ++i) {  // the low half, then the high half
    out.push_back(uint8_t(f.timeReference >> (bigEndian ? 8 * (i < 4 ? 3 - i : 11 - i) : 8 * i)));
  }
  out.resize(out.size() + 2 + 64 + 190, 0);
  out.insert(out.end(), f.codingHistory.begin(), f.codingHistory.end());
  out.resize(f.payloadSize, 0);
  return out;
}

RiffBuilder& RiffBuilder::put(uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    bytes_.push_back(uint8_t(value >> 8 * (order_ == ByteOrder::kNormal ? i : width - 1 - i)));
  }
  return *this;
}

RiffBuilder& RiffBuilder::riffHeader() {
  patchRiffSize_ = true;
  return id(order_ == ByteOrder::kBig ? "RIFX" : "RIFF").put(0, 4).id("WAVE");
}

RiffBuilder& RiffBuilder::chunk(std::string_view id, const Bytes& payload, bool pad) {
  chunkDeclaring(id, uint32_t(payload.size()), payload);
  return pad && payload.size() % 2 ? raw({0}) : *this;
}

RiffBuilder& RiffBuilder::chunkDeclaring(std::string_view id, uint32_t size, const Bytes& payload) {
  return this->id(id).put(size, 4).raw(payload);
}

RiffBuilder& RiffBuilder::fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                              uint16_t subFormat) {
  const uint16_t align = uint16_t(channels * ((bits + 7) / 8));
  RiffBuilder p(order_);
  p.put(tag, 2).put(channels, 2).put(rate, 4).put(rate * align, 4).put(align, 2).put(bits, 2);
  if (tag == 0xFFFE) {  // cbSize, valid bits, channel mask, the SubFormat GUID
    p.put(22, 2).put(bits, 2).put(0, 4).put(subFormat, 2);
    p.raw({0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
  }
  return chunk("fmt ", p.bytes_);
}

RiffBuilder& RiffBuilder::raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

RiffBuilder& RiffBuilder::id(std::string_view fourChars) {
  Bytes four(fourChars.begin(), fourChars.end());
  if (order_ == ByteOrder::kReversed) std::reverse(four.begin(), four.end());
  return raw(four);
}

Bytes RiffBuilder::bytes() const {
  if (!patchRiffSize_) return bytes_;
  RiffBuilder out(order_);
  out.raw({bytes_.begin(), bytes_.begin() + 4}).put(bytes_.size() - 8, 4);
  return out.raw({bytes_.begin() + 8, bytes_.end()}).bytes_;
}

Bytes recorderTake(const BextFields& fields,
                   const std::vector<std::pair<std::string, Bytes>>& extra, const Bytes& audio) {
  RiffBuilder b;
  b.riffHeader().fmt(1, 2, 48000, 24).bext(fields);
  for (const auto& [id, payload] : extra) b.chunk(id, payload);
  return b.chunk("data", audio).bytes();
}

std::string samplePath() { return BEXTKIT_SOURCE_DIR "/samples/tone-48k-24bit-bext.wav"; }
std::string sourcePath(const std::string& relative) { return BEXTKIT_SOURCE_DIR "/" + relative; }

TempDir::TempDir() : path((std::filesystem::temp_directory_path() / "bextkit-XXXXXX").string()) {
  if (!::mkdtemp(path.data())) std::abort();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
  ::unlink(pathOf(name).c_str());  // a new file: ext4 flushes a truncated one on its close
  std::ofstream(pathOf(name), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return pathOf(name);
}

Bytes readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

WriteRefused::WriteRefused(const std::string& path) {
  FileOperations ops = posixFileOperations();
  ops.open = [real = ops.open, path](const char* p, int flags, mode_t mode) {
    return (flags & O_ACCMODE) != O_RDONLY && path == p ? (errno = EACCES, -1)
                                                        : real(p, flags, mode);
  };
  setFileOperations(ops);
}

WriteRefused::~WriteRefused() { setFileOperations(posixFileOperations()); }

std::pair<int, std::string> runProcess(const std::vector<std::string>& argv) {
  std::string command = "exec";  // every argument quoted for the shell
  for (const std::string& arg : argv) {
    command += " '";
    for (const char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  FILE* pipe = ::popen((command + " </dev/null 2>&1").c_str(), "r");
  std::string output;
  for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) output.push_back(char(c));
  return {pipe ? ::pclose(pipe) : -1, output};
}

}  // namespace bextkit::testsupport
