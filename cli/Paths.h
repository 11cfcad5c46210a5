// The files a command works on: the paths given, with each folder replaced by the WAV files in
// it (and in its subfolders with -r), sorted by name, so that a batch runs in an order that does
// not depend on the file system.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace bextkit::cli {

struct PathList {
  std::vector<std::string> files;
  std::vector<std::string> errors;  // "FOLDER: reason" for each folder that could not be read
};

// -r and --ext, as every command that takes files offers them.
struct PathOptions {
  std::vector<std::string> paths;
  bool recursive = false;
  std::string extensions = "wav,bwf,rf64";
};
// Adds FILE|DIR... (required), -r,--recursive and --ext to `command`.
void addPathOptions(CLI::App* command, PathOptions& options, const std::string& what);

// Files are kept as given, whatever their names; a folder contributes its files whose names end
// in one of the comma-separated `extensions` (any case; "*" takes every file).
PathList expandPaths(const std::vector<std::string>& paths, bool recursive,
                     const std::string& extensions = "wav,bwf,rf64");
PathList expandPaths(const PathOptions& options);

}  // namespace bextkit::cli
