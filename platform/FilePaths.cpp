#include "platform/FilePaths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

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
  // A name's extension as std::filesystem gives it: from its last dot, none for a name that
  // begins with its only dot.
  bool take(std::string_view name) const {
    const size_t dot = name.rfind('.');
    const std::string ext =
        lowerCase(std::string(dot == std::string_view::npos || dot == 0 ? "" : name.substr(dot)));
    return all || std::find(names.begin(), names.end(), ext) != names.end();
  }
};

// What has been taken, by identity: where its first path stands in `paths` (the list's files,
// or the folders entered).
struct IdentityHash {
  size_t operator()(const FileIdentity& id) const {
    return std::hash<uint64_t>()(static_cast<uint64_t>(id.inode) * 0x9E3779B97F4A7C15u ^
                                 static_cast<uint64_t>(id.device));
  }
};
struct Taken {
  std::unordered_map<FileIdentity, size_t, IdentityHash> first;
  const std::vector<std::string>& paths;
};

// One expansion: the files and folders taken so far, by identity, with the path that took each.
class Walk {
 public:
  Walk(const Extensions& extensions, bool recursive, bool followLinks, PathList& list)
      : extensions_(extensions), recursive_(recursive), followLinks_(followLinks), list_(list) {}

  void addPath(const std::string& path) {
    struct stat info {};
    const bool known = ::stat(path.c_str(), &info) == 0;
    if (known && S_ISDIR(info.st_mode)) {
      addFolder(path);
    } else {
      addFile(path, known && S_ISREG(info.st_mode));
    }
  }

 private:
  void addFile(const std::string& path, bool regular) {
    std::optional<FileIdentity> identity;
    if (!isNew(files_, path, followLinks_, "file", "handled once", identity)) return;
    take(path, identity, regular);
  }

  void take(std::string path, const std::optional<FileIdentity>& identity, bool regular) {
    list_.files.push_back(std::move(path));
    list_.identities.push_back(identity);
    list_.regular.push_back(regular);
  }

  void addFolder(const fs::path& folder) {
    // Folders are told apart through links always: a link into a folder is a way into it.
    std::optional<FileIdentity> identity;
    if (!isNew(folders_, folder.string(), true, "folder", "entered once", identity)) return;
    folderPaths_.push_back(folder.string());
    // The entries' types and inodes come with the listing: only a link, or an entry of a file
    // system that gives no type, is looked at.
    std::vector<std::pair<std::string, ino_t>> files;  // regular files, by name and inode
    std::vector<std::string> others, folders;
    DIR* dir = ::opendir(folder.c_str());
    int error = dir ? 0 : errno;
    while (dir) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (!entry) {
        error = errno;
        break;
      }
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      bool isFolder = entry->d_type == DT_DIR;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        struct stat info {};
        isFolder = ::stat((folder / name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
      }
      if (isFolder) {
        if (recursive_) folders.emplace_back(name);
      } else if (extensions_.take(name)) {
        if (entry->d_type == DT_REG) {
          files.emplace_back(name, entry->d_ino);
        } else {
          others.emplace_back(name);
        }
      }
    }
    if (dir) ::closedir(dir);
    if (error != 0) {
      list_.errors.push_back(folder.string() + ": " + std::generic_category().message(error));
      return;
    }
    // A name in the folder, as std::filesystem joins them.
    const std::string prefix =
        folder.empty() || folder.native().ends_with('/') ? folder.native() : folder.native() + '/';
    // Files before subfolders, each by name, byte for byte. The regular files are sorted by
    // their names' first sixteen bytes as two numbers first, which most often settles the order
    // without comparing the names themselves (no name holds a NUL, so a shorter name's zeros
    // sort it before the longer names it begins).
    const auto word = [](const std::string& name, size_t from) {
      uint64_t bytes = 0;
      for (size_t i = from; i < std::min(from + 8, name.size()); ++i) {
        bytes |= uint64_t{static_cast<uint8_t>(name[i])} << (56 - 8 * (i - from));
      }
      return bytes;
    };
    struct Key {
      uint64_t first, second;
      size_t index;
    };
    std::vector<Key> order(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      order[i] = {word(files[i].first, 0), word(files[i].first, 8), i};
    }
    std::sort(order.begin(), order.end(), [&files](const Key& a, const Key& b) {
      if (a.first != b.first) return a.first < b.first;
      if (a.second != b.second) return a.second < b.second;
      return files[a.index] < files[b.index];
    });
    std::sort(others.begin(), others.end());
    std::sort(folders.begin(), folders.end());
    size_t other = 0;
    const auto takeOthersBefore = [&](const std::string* name) {
      for (; other < others.size() && (!name || others[other] < *name); ++other) {
        addFile(prefix + others[other], false);
      }
    };
    files_.first.reserve(files_.first.size() + files.size());
    list_.files.reserve(list_.files.size() + files.size());
    list_.identities.reserve(list_.files.size() + files.size());
    list_.regular.reserve(list_.files.size() + files.size());
    for (const Key& key : order) {
      const auto& [name, inode] = files[key.index];
      takeOthersBefore(&name);
      std::string path = prefix + name;
      // A regular file is what a look would find: its inode on its folder's device.
      const FileIdentity file{identity ? identity->device : dev_t{0}, inode};
      if (firstTime(files_, file, path, "file", "handled once")) take(std::move(path), file, true);
    }
    takeOthersBefore(nullptr);
    for (const std::string& sub : folders) addFolder(folder / sub);
  }

  // False, with a note, when a path taken before reaches what `path` reaches. A path that cannot
  // be stat'ed is new: the command reports why it cannot be read.
  // `identity` gets what the path reaches.
  bool isNew(Taken& taken, const std::string& path, bool followLinks, const char* what,
             const char* outcome, std::optional<FileIdentity>& identity) {
    identity = fileIdentity(path, followLinks);
    return !identity || firstTime(taken, *identity, path, what, outcome);
  }
  // False, with a note, when a path taken before reaches `identity`; else takes it.
  bool firstTime(Taken& taken, const FileIdentity& identity, const std::string& path,
                 const char* what, const char* outcome) {
    const auto [first, added] = taken.first.try_emplace(identity, taken.paths.size());
    if (!added) {
      list_.notes.push_back(path + ": the same " + what + " as " + taken.paths[first->second] +
                            "; " + outcome);
    }
    return added;
  }

  const Extensions& extensions_;
  const bool recursive_;
  const bool followLinks_;
  PathList& list_;
  std::vector<std::string> folderPaths_;
  Taken files_{{}, list_.files}, folders_{{}, folderPaths_};
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
