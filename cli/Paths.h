// The files a command works on: the paths given, with each folder replaced by the WAV files in
// it (and in its subfolders with `recursive`), sorted by name, so that a batch runs in an order
// that does not depend on the file system.
#pragma once

#include <string>
#include <vector>

namespace bextkit::cli {

struct PathList {
  std::vector<std::string> files;
  std::vector<std::string> errors;  // "FOLDER: reason" for each folder that could not be read
};

// Files are kept as given, whatever their names; a folder contributes its files named *.wav,
// *.bwf, *.rf64 and *.bw64 (in any case).
PathList expandPaths(const std::vector<std::string>& paths, bool recursive);

}  // namespace bextkit::cli
