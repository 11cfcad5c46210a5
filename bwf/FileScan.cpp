#include "bwf/FileScan.h"

#include <filesystem>

#include "platform/FileHandle.h"

namespace bextkit {

std::unique_ptr<BWFParser> scanFile(const std::string& path, float fps, std::string& error,
                                    const BWFParser::WhileOpen& whileOpen) {
  std::unique_ptr<BWFParser> parser = BWFParser::initWithPath(path, fps);
  if (!parser) {
    // Ask the file layer again, for the reason.
    if (FileHandle::openForReading(path, &error) || error.empty()) error = "cannot be opened";
    return nullptr;
  }
  (void)parser->parse(whileOpen);
  // The scan finds chunk IDs in any bytes; a file is read as WAV only when it says it is one.
  if (parser->chunkChain().container == Container::kNone) {
    std::error_code ignored;
    error = std::filesystem::file_size(path, ignored) == 0
                ? "not a WAV file: the file is empty"
                : "not a WAV file: it begins with no RIFF, RIFX, FFIR, RF64 or BW64 header";
    return nullptr;
  }
  return parser;
}

}  // namespace bextkit
