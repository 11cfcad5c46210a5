#include "bwf/FileScan.h"

namespace bextkit {

std::unique_ptr<BWFParser> scanFile(const std::string& path, float fps, std::string& error,
                                    const BWFParser::WhileOpen& whileOpen, bool listed) {
  std::unique_ptr<BWFParser> parser = BWFParser::openAndParse(path, fps, error, whileOpen, listed);
  if (!parser) return nullptr;
  // The scan finds chunk IDs in any bytes; a file is read as WAV only when it says it is one.
  if (parser->chunkChain().container == Container::kNone) {
    error = parser->scannedSize() == 0
                ? "not a WAV file: the file is empty"
                : "not a WAV file: it begins with no RIFF, RIFX, FFIR, RF64 or BW64 header";
    return nullptr;
  }
  return parser;
}

}  // namespace bextkit
