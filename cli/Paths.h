// The files a command works on: the paths given as -r and --ext ask, expanded by
// expandPaths (platform/FilePaths.h).
#pragma once

#include <string>
#include <vector>

#include "platform/FilePaths.h"

namespace CLI {
class App;
}

namespace bextkit::cli {

struct Context;

// -r and --ext, as every command that takes files offers them.
struct PathOptions {
  std::vector<std::string> paths;
  bool recursive = false;
  std::string extensions = "wav,bwf,rf64";
  // False for a command that works on a symbolic link itself, not its target (codes refuses to
  // set a link's codes): a link and its target are then two files, each handled.
  bool followLinks = true;
};
// Adds FILE|DIR... (required), -r,--recursive and --ext to `command`.
void addPathOptions(CLI::App* command, PathOptions& options, const std::string& what);

// The files of the options, as the list of paths expands them.
using bextkit::expandPaths;
PathList expandPaths(const PathOptions& options);

// Writes the list's errors (exit status 1) and notes on the error stream, each after "bextkit: ".
void reportPathList(Context& ctx, const PathList& list);

}  // namespace bextkit::cli
