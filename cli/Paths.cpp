#include "cli/Paths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace bextkit::cli {

namespace {

namespace fs = std::filesystem;

bool isWavName(const fs::path& path) {
  static constexpr std::array<std::string_view, 4> kExtensions = {".wav", ".bwf", ".rf64", ".bw64"};
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(kExtensions.begin(), kExtensions.end(), ext) != kExtensions.end();
}

void addFolder(const fs::path& folder, bool recursive, PathList& list) {
  std::error_code error;
  std::vector<fs::path> files, folders;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) {
      if (recursive) folders.push_back(it->path());
    } else if (isWavName(it->path())) {
      files.push_back(it->path());
    }
  }
  if (error) {
    list.errors.push_back(folder.string() + ": " + error.message());
    return;
  }
  // Files before subfolders, each by name, byte for byte.
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& file : files) list.files.push_back(file.string());
  for (const fs::path& sub : folders) addFolder(sub, recursive, list);
}

}  // namespace

PathList expandPaths(const std::vector<std::string>& paths, bool recursive) {
  PathList list;
  for (const std::string& path : paths) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      addFolder(path, recursive, list);
    } else {
      list.files.push_back(path);
    }
  }
  return list;
}

}  // namespace bextkit::cli
