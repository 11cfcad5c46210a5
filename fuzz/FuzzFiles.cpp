#include "fuzz/FuzzFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/SystemLog.h"

namespace bextkit::fuzz {

const std::string& folder() {
  static const std::string made = [] {
    std::string base = "/dev/shm";
    std::error_code error;
    if (!std::filesystem::is_directory(base, error) || ::access(base.c_str(), W_OK) != 0) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp && *tmp ? tmp : "/tmp";
    }
    std::string path = base + "/bextkit-fuzz-XXXXXX";
    if (!::mkdtemp(path.data())) std::abort();
    return path;
  }();
  static const bool removedAtExit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder(), ignored);
    });
    return true;
  }();
  (void)removedAtExit;
  return made;
}

std::string writeFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = folder() + "/" + name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return {};
  size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 && written == size ? path : std::string();
}

void quietLog() {
  static const bool quiet = [] {
    silenceLog();
    return true;
  }();
  (void)quiet;
}

}  // namespace bextkit::fuzz
