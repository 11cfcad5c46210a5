#include "cli/OutputBuffer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/Text.h"

namespace bextkit::cli {

OutputBuffer::OutputBuffer(int fd, bool showControls) : fd_(fd), showControls_(showControls) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

OutputBuffer::~OutputBuffer() { drain(); }

bool OutputBuffer::drain() {
  std::string shown;
  if (showControls_) {
    for (const char* c = pbase(); c < pptr(); ++c) {
      if (*c == '\n' || *c == '\r' || *c == '\t') {
        shown.push_back(*c);
      } else {
        appendShown(shown, static_cast<uint8_t>(*c));
      }
    }
  }
  const char* at = showControls_ ? shown.data() : pbase();
  const char* const end = showControls_ ? shown.data() + shown.size() : pptr();
  while (error_.empty() && at < end) {
    const ssize_t n = ::write(fd_, at, static_cast<size_t>(end - at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? std::strerror(errno) : "nothing could be written";
      break;
    }
    at += n;
  }
  // After a failure the rest is dropped: the command fails, and nothing later is written.
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return error_.empty();
}

OutputBuffer::int_type OutputBuffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int OutputBuffer::sync() { return drain() ? 0 : -1; }

}  // namespace bextkit::cli
