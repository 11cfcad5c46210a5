// The floor of a batch read, the yardstick of show --json over a folder: lists the folder, and
// on N threads (-j, 2 unless given) opens each file, reads its first 64 KiB in one pread, closes
// it and prints one JSON line per file (its name, size read and first four bytes). It parses
// nothing and keeps no order: what any program that reads the folder's headers pays in system
// calls and output, and no more.
//
//   floor_reader [-j THREADS] FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  int threads = 2;
  if (argc == 4 && std::strcmp(argv[1], "-j") == 0) threads = std::max(1, std::atoi(argv[2]));
  if (argc != 2 && argc != 4) return std::fprintf(stderr, "usage: floor_reader [-j N] DIR\n"), 2;
  const std::string folder = argv[argc - 1];
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::perror(folder.c_str()), 1;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_type == DT_REG) names.push_back(folder + "/" + entry->d_name);
  }
  closedir(dir);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  const auto work = [&] {
    std::vector<char> block(64 * 1024);
    std::string out;
    char line[96];
    for (size_t i; (i = next.fetch_add(1)) < names.size();) {
      const int fd = open(names[i].c_str(), O_RDONLY | O_CLOEXEC);
      const ssize_t n = fd < 0 ? -1 : pread(fd, block.data(), block.size(), 0);
      if (fd >= 0) close(fd);
      std::snprintf(line, sizeof line, "\",\"read\":%zd,\"id\":\"%.4s\"}\n", n,
                    n >= 4 ? block.data() : "");
      out += "{\"file\":\"" + names[i] + line;
      if (out.size() >= 64 * 1024) {
        if (write(STDOUT_FILENO, out.data(), out.size()) != ssize_t(out.size())) failed = true;
        out.clear();
      }
    }
    if (!out.empty() && write(STDOUT_FILENO, out.data(), out.size()) != ssize_t(out.size())) {
      failed = true;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();
  return failed ? 1 : 0;
}
