// Fuzz target: any bytes as a file, checked under every rule set, then opened, scanned (its
// chunk chain walked) and saved by BWFParser. The file lives in memory (memfd), so the run
// touches no disk. Built with clang's libFuzzer, or with any compiler as a replayer of corpus
// files (replay_main.cpp).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "bwf/BWFParser.h"
#include "check/Conformance.h"
#include "platform/SystemLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    bextkit::setLogSink([](const std::string&) {});
    return true;
  }();
  (void)quiet;

  const int fd = memfd_create("bextkit-fuzz", 0);
  if (fd < 0) return 0;
  size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  if (written == size) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    bextkit::check::Findings findings;
    std::string error;
    (void)bextkit::check::checkFile(path, ~0u, findings, error);
    for (float fps : {25.0f, 29.97f}) {
      std::unique_ptr<bextkit::BWFParser> parser = bextkit::BWFParser::initWithPath(path, fps);
      if (!parser) break;
      (void)parser->parse();
      (void)parser->timecodeString();
      (void)parser->getBWFChunkData();
      // A save rewrites the chain's bext chunk in the memory file, or fails to insert one (the
      // file has no directory to put a temporary file in); either way it must not crash.
      parser->setDescription("fuzz");
      (void)parser->saveFile();
    }
  }
  close(fd);
  return 0;
}
