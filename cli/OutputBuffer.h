// The command line's standard output: a stream buffer over a file descriptor that writes in large
// blocks and keeps the reason of the first write that failed, so that a command whose output did
// not reach its destination (a full disk, a closed pipe) can say why and fail. For the error
// stream it also shows control characters as \xNN (but for line ends, carriage returns and tabs),
// so that a message naming a file whose name holds an escape sequence never drives the terminal.
#pragma once

#include <array>
#include <streambuf>
#include <string>

namespace bextkit::cli {

class OutputBuffer : public std::streambuf {
 public:
  explicit OutputBuffer(int fd, bool showControls = false);
  ~OutputBuffer() override;
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Why a write failed ("No space left on device"); empty while none has.
  const std::string& error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool drain();
  int fd_;
  bool showControls_;
  std::array<char, 64 * 1024> buffer_{};
  std::string error_;
};

}  // namespace bextkit::cli
