// codes: shows and sets the HFS type and creator codes by which Mac applications tell what a file
// is and which application made it, kept in the file's user.com.apple.FinderInfo attribute.
#include <sys/stat.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "platform/FileManager.h"

namespace bextkit::cli {

namespace {

struct Options : PathOptions {
  std::optional<std::string> type;
  std::optional<std::string> creator;
};

// A code as FileManager gives it ('WAVE', or '' for code 0) for a terminal: bytes outside
// printable ASCII, the backslash and the quote are shown as \xNN, so that every byte can be read.
std::string shownCode(const std::string& quoted) {
  std::string shown = "'";
  for (const char c : quoted.substr(1, quoted.size() - 2)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E || c == '\\' || c == '\'') {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown + "'";
}

// The code's four bytes from its quoted text.
std::string codeBytes(const std::string& quoted) {
  return quoted == "''" ? std::string(4, '\0') : quoted.substr(1, 4);
}

// Why a code could not be set: the kind of file at the path, or the error of the refusal.
std::string refusal(const std::string& path, int error) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    error = errno;
  } else if (S_ISLNK(st.st_mode)) {
    return "symbolic link";
  } else if (!S_ISREG(st.st_mode)) {
    return "not a regular file or missing";
  }
  if (error == ENOENT || error == ENOTDIR) return "not a regular file or missing";
  if (error == ENOTSUP) return "the file system keeps no extended attributes";
  return std::strerror(error);
}

// Both codes given are set or neither: when the creator is refused after the type was set, the
// type gets its old bytes back (a file without the attribute is left with one holding zeros,
// which reads the same).
bool setCodes(Context& ctx, const Options& o, const std::string& path) {
  const auto refuse = [&](const char* which, int error) {
    reportFailure(ctx, std::string("cannot set the ") + which + " code of " + displayName(path),
                  refusal(path, error));
    return false;
  };
  const std::string oldType = FileManager::typeCodeAtPath(path);
  if (o.type && !FileManager::setTypeCode(*o.type, path)) return refuse("type", errno);
  if (o.creator && !FileManager::setCreatorCode(*o.creator, path)) {
    const int error = errno;
    if (o.type) (void)FileManager::setTypeCode(codeBytes(oldType), path);
    return refuse("creator", error);
  }
  return true;
}

void showCodes(Context& ctx, const std::string& path) {
  // FileManager reads anything it cannot read as code 0; the tool tells a missing file apart.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return reportFailure(ctx, "cannot read the codes of " + displayName(path),
                         "not a regular file or missing");
  }
  ctx.out << displayName(path) << "  type " << shownCode(FileManager::typeCodeAtPath(path))
          << "  creator " << shownCode(FileManager::creatorCodeAtPath(path)) << '\n';
}

void runCodes(Context& ctx, const Options& given) {
  Options o = given;
  for (const auto& [name, code] : {std::pair{"--type", &o.type}, {"--creator", &o.creator}}) {
    if (*code && (*code)->empty()) *code = std::string(4, '\0');  // '' clears the code
    if (*code && (*code)->size() != 4) {
      return ctx.usageError(std::string(name) + ": a code is four bytes, got " +
                            std::to_string((*code)->size()));
    }
  }
  // A link's codes are not set through it: the link and its target are each handled.
  PathOptions paths = o;
  paths.followLinks = false;
  const PathList list = expandPaths(paths);
  reportPathList(ctx, list);
  forEachFile(ctx, list.files, [&](const std::string& path) {
    if ((o.type || o.creator) && !setCodes(ctx, o, path)) return;
    showCodes(ctx, path);
  });
}

}  // namespace

void addCodesCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* codes = app.add_subcommand(
      "codes",
      "Show the HFS type and creator codes, or set them with --type and --creator (kept in the "
      "extended attribute user.com.apple.FinderInfo; a symbolic link is refused, not followed)");
  addPathOptions(codes, *o, "Files");
  codes->add_option("--type", o->type, "New type code, four bytes (WAVE)")->type_name("CODE");
  codes->add_option("--creator", o->creator, "New creator code, four bytes")->type_name("CODE");
  codes->callback([o, ctx] { runCodes(*ctx, *o); });
}

}  // namespace bextkit::cli
