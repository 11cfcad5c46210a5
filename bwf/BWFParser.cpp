// The parser object: creation, the byte-order probe and the small operations around the scan.
#include "bwf/BWFParser.h"

#include <array>
#include <utility>

#include "platform/FourCC.h"
#include "platform/SystemLog.h"

namespace bextkit {

BWFParser::BWFParser(std::string path, std::unique_ptr<FileHandle> file)
    : path_(std::move(path)), inFileHandel_(std::move(file)) {}

BWFParser::~BWFParser() = default;

std::unique_ptr<BWFParser> BWFParser::initWithPath(const std::string& path) {
  std::unique_ptr<FileHandle> file = FileHandle::openForReading(path);
  if (!file) return nullptr;
  // The scan opens the file again: a parser that is made and never scanned holds no descriptor,
  // however many of them a script makes.
  file->closeFile();
  return std::unique_ptr<BWFParser>(new BWFParser(path, std::move(file)));
}

std::unique_ptr<BWFParser> BWFParser::initWithPath(const std::string& path, float fps) {
  std::unique_ptr<BWFParser> parser = initWithPath(path);
  if (parser) parser->framesPerSecond_ = fps;
  return parser;
}

bool BWFParser::endianNess() {
  // Missing bytes of a short file count as zero, which never spells "FFIR".
  // Before the scan the file is opened for the look; after it, the file is closed and reads as
  // nothing.
  std::array<uint8_t, 4> first{};
  std::unique_ptr<FileHandle> look;
  FileHandle* file = inFileHandel_.get();
  if (!file->isOpen() && !scanned_ && (look = FileHandle::openForReading(path_))) file = look.get();
  file->seekToFileOffset(0);
  file->read(first.data(), first.size());
  return FourCC::fromBytes(first.data()) == chunkid::kRIFF.reversed();
}

bool BWFParser::saveFile() { return writeBExtHeaderToFile(path_); }

void BWFParser::info() {
  parse();
  systemLog(timecodeString());
}

}  // namespace bextkit
