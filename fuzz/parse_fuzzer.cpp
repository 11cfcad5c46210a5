// Fuzz target: any bytes as a WAV file on disk, checked under every rule set, opened, scanned
// (its chunk chain walked) and then saved every way a save goes: a field rewritten in place, a
// coding history that grows the chunk (into the JUNK after it, or by writing a new file), a new
// chunk inserted, the audio's MD5 embedded. Whatever a save does, the audio must come out as it
// went in: a save that changes it aborts the run. Built with clang's libFuzzer, or with any
// compiler as a replayer of corpus files (replay_main.cpp).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bwf/BWFParser.h"
#include "check/AudioDigest.h"
#include "check/Conformance.h"
#include "fuzz/FuzzFiles.h"

namespace {

using bextkit::BWFParser;

std::optional<bextkit::check::Digest> audioOf(const std::string& path) {
  std::string why;
  return bextkit::check::audioDigest(path, why);
}

// Saves `path` with the edits `edit` makes; a save that reports success must leave the audio
// as it was.
template <typename Edit>
void saveWith(const std::string& path, float fps, Edit edit) {
  const auto before = audioOf(path);
  std::unique_ptr<BWFParser> parser = BWFParser::initWithPath(path, fps);
  if (!parser) return;
  (void)parser->parse();
  (void)parser->timecodeString();
  (void)parser->getBWFChunkData();
  edit(*parser);
  if (parser->saveFile() && before && audioOf(path) != before) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bextkit::fuzz::quietLog();
  const std::string path = bextkit::fuzz::writeFile("input.wav", data, size);
  if (path.empty()) return 0;
  bextkit::check::Findings findings;
  std::string error;
  (void)bextkit::check::checkFile(path, ~0u, findings, error);

  // A short text fits the chunk as it is: rewritten in place (or a new chunk inserted).
  saveWith(path, 25.0f, [](BWFParser& p) { p.setDescription("fuzz"); });
  // A longer coding history grows the chunk, its length taken from the input so that growth
  // meets every size of the room after the chunk.
  const size_t history = 40 + (size ? data[size - 1] : 0) * 8;
  saveWith(path, 29.97f, [history](BWFParser& p) {
    p.setTimeReference(172800000);
    BWFParser::FieldEdits edits;
    edits.codingHistory = std::string(history, 'A') + "\r\n";
    p.setFieldEdits(std::move(edits));
  });
  // The audio's digest, stored in an MD5 chunk (replacing one that differs).
  if (const auto digest = audioOf(path)) {
    (void)bextkit::check::embedDigest(path, *digest, true, error);
    if (audioOf(path) != digest) std::abort();
  }
  return 0;
}
