// A private temporary directory, removed with everything in it when the object goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bextkit::testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string pathOf(const std::string& name) const { return path_ + "/" + name; }
  // Writes `bytes` to a file called `name` in the directory and returns its path.
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};

std::vector<uint8_t> readWholeFile(const std::string& path);

}  // namespace bextkit::testsupport
