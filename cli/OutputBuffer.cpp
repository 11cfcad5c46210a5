#include "cli/OutputBuffer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bextkit::cli {

OutputBuffer::OutputBuffer(int fd) : fd_(fd) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

OutputBuffer::~OutputBuffer() { drain(); }

bool OutputBuffer::drain() {
  const char* at = pbase();
  while (error_.empty() && at < pptr()) {
    const ssize_t n = ::write(fd_, at, static_cast<size_t>(pptr() - at));
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
