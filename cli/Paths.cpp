#include "cli/Paths.h"

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace bextkit::cli {

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

PathList expandPaths(const PathOptions& options) {
  return expandPaths(options.paths, options.recursive, options.extensions, options.followLinks);
}

void reportPathList(Context& ctx, const PathList& list) {
  for (const std::string& error : list.errors) {
    ctx.err << "bextkit: " << error << '\n';
    ctx.status = 1;
  }
  for (const std::string& note : list.notes) ctx.err << "bextkit: " << note << '\n';
}

}  // namespace bextkit::cli
