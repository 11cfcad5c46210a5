#include "cli/Paths.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace bextkit::cli {

namespace {

namespace fs = std::filesystem;

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct Extensions {
  std::vector<std::string> names;  // ".wav", lower-case
  bool all = false;

  explicit Extensions(const std::string& list) {
    for (size_t start = 0; start <= list.size();) {
      const size_t comma = std::min(list.find(',', start), list.size());
      std::string name = lowerCase(list.substr(start, comma - start));
      if (name == "*") all = true;
      if (!name.empty() && name[0] == '.') name.erase(0, 1);
      if (!name.empty()) names.push_back("." + name);
      start = comma + 1;
    }
  }
  bool take(const fs::path& path) const {
    const std::string ext = lowerCase(path.extension().string());
    return all || std::find(names.begin(), names.end(), ext) != names.end();
  }
};

void addFolder(const fs::path& folder, bool recursive, const Extensions& extensions,
               PathList& list) {
  std::error_code error;
  std::vector<fs::path> files, folders;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) {
      if (recursive) folders.push_back(it->path());
    } else if (extensions.take(it->path())) {
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
  for (const fs::path& sub : folders) addFolder(sub, recursive, extensions, list);
}

}  // namespace

void addPathOptions(CLI::App* command, PathOptions& options, const std::string& what) {
  command->add_option("FILE", options.paths, what + ", or folders of them")
      ->type_name("FILE|DIR")
      ->required();
  command->add_flag("-r,--recursive", options.recursive, "Also the folders in folders");
  command
      ->add_option("--ext", options.extensions,
                   "The files a folder gives, by the ends of their names (comma-separated; * "
                   "for every file)")
      ->type_name("LIST")
      ->capture_default_str();
}

PathList expandPaths(const std::vector<std::string>& paths, bool recursive,
                     const std::string& extensions) {
  const Extensions wanted(extensions);
  PathList list;
  for (const std::string& path : paths) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      addFolder(path, recursive, wanted, list);
    } else {
      list.files.push_back(path);
    }
  }
  return list;
}

PathList expandPaths(const PathOptions& options) {
  return expandPaths(options.paths, options.recursive, options.extensions);
}

}  // namespace bextkit::cli
