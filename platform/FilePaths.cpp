#include "platform/FilePaths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>

namespace bextkit {

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

// One expansion: the files and folders taken so far, by identity, with the path that took each.
class Walk {
 public:
  Walk(const Extensions& extensions, bool recursive, bool followLinks, PathList& list)
      : extensions_(extensions), recursive_(recursive), followLinks_(followLinks), list_(list) {}

  void addPath(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      addFolder(path);
    } else {
      addFile(path);
    }
  }

 private:
  void addFile(const std::string& path) {
    std::optional<FileIdentity> identity;
    if (!isNew(files_, path, followLinks_, "file", "handled once", identity)) return;
    list_.files.push_back(path);
    list_.identities.push_back(identity);
  }

  void addFolder(const fs::path& folder) {
    // Folders are told apart through links always: a link into a folder is a way into it.
    std::optional<FileIdentity> identity;
    if (!isNew(folders_, folder.string(), true, "folder", "entered once", identity)) return;
    std::error_code error;
    std::vector<fs::path> files, folders;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      std::error_code typeError;
      if (it->is_directory(typeError)) {
        if (recursive_) folders.push_back(it->path());
      } else if (extensions_.take(it->path())) {
        files.push_back(it->path());
      }
    }
    if (error) {
      list_.errors.push_back(folder.string() + ": " + error.message());
      return;
    }
    // Files before subfolders, each by name, byte for byte.
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const fs::path& file : files) addFile(file.string());
    for (const fs::path& sub : folders) addFolder(sub);
  }

  // False, with a note, when a path taken before reaches what `path` reaches. A path that cannot
  // be stat'ed is new: the command reports why it cannot be read.
  // `identity` gets what the path reaches.
  bool isNew(std::map<FileIdentity, std::string>& taken, const std::string& path, bool followLinks,
             const char* what, const char* outcome, std::optional<FileIdentity>& identity) {
    identity = fileIdentity(path, followLinks);
    if (!identity) return true;
    const auto [first, added] = taken.try_emplace(*identity, path);
    if (!added) {
      list_.notes.push_back(path + ": the same " + what + " as " + first->second + "; " + outcome);
    }
    return added;
  }

  const Extensions& extensions_;
  const bool recursive_;
  const bool followLinks_;
  PathList& list_;
  std::map<FileIdentity, std::string> files_, folders_;
};

}  // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path, bool followLinks) {
  struct stat st {};
  if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
    return std::nullopt;
  }
  return FileIdentity{st.st_dev, st.st_ino};
}

std::optional<FileStamp> fileStamp(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{{st.st_dev, st.st_ino},
                   st.st_size,
                   static_cast<int64_t>(st.st_mtim.tv_sec),
                   static_cast<int64_t>(st.st_mtim.tv_nsec),
                   S_ISREG(st.st_mode)};
}

PathList expandPaths(const std::vector<std::string>& paths, bool recursive,
                     const std::string& extensions, bool followLinks) {
  const Extensions wanted(extensions);
  PathList list;
  Walk walk(wanted, recursive, followLinks, list);
  for (const std::string& path : paths) walk.addPath(path);
  return list;
}

}  // namespace bextkit
