// md5: the MD5 of each file's audio (the payload of its data chunk), one line per file as md5sum
// prints a file's; with --embed stored in the file's "MD5 " chunk, with --verify checked
// against it.
#include <CLI/CLI.hpp>
#include <memory>

#include "check/AudioDigest.h"
#include "cli/Commands.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {

namespace {

struct Options {
  std::vector<std::string> files;
  bool embed = false;
  bool verify = false;
  bool recursive = false;
};

const char* embeddingWord(check::Embedding done) {
  switch (done) {
    case check::Embedding::kAppended:
      return "embedded";
    case check::Embedding::kUpdated:
      return "updated";
    case check::Embedding::kAlreadyStored:
      break;
  }
  return "already stored";
}

// One file: its line on the output, or its error on the error stream and exit status 1. With
// --embed the file is opened for saving from the start, so that the digest stored is that of
// the audio read under the same lock.
void md5File(Context& ctx, const Options& o, const std::string& path) {
  const auto fail = [&ctx](const std::string& message) {
    ctx.err << "bextkit: " << message << '\n';
    ctx.status = 1;
  };
  std::string why;
  const std::unique_ptr<FileHandle> file =
      o.embed ? FileHandle::openForSaving(path, &why) : FileHandle::openForReading(path, &why);
  if (!file) return fail((o.embed ? "cannot save " : "") + path + ": " + why);
  const uint64_t size = file->seekToEndOfFile();
  const std::optional<check::Digest> audio = check::audioDigest(*file, size, why);
  if (!audio) return fail(path + ": " + why);
  const std::string shown = displayUtf8(path);

  if (o.verify) {
    const std::optional<check::Digest> stored = check::storedDigest(*file, size, why);
    if (!stored && !why.empty()) return fail(path + ": " + why);
    if (stored && *stored == *audio) {
      ctx.out << shown << ": OK\n";
      return;
    }
    ctx.status = 1;
    if (!stored) {
      ctx.out << shown << ": no MD5 chunk\n";
    } else {
      ctx.out << shown << ": FAILED (stored " << stored->hex() << ", audio " << audio->hex()
              << ")\n";
    }
    return;
  }
  if (o.embed) {
    const std::optional<check::Embedding> done = check::embedDigest(*file, *audio, why);
    if (!done || !file->closeFile()) {
      return fail("cannot save " + path + ": " + (done ? file->lastError() : why));
    }
    ctx.out << audio->hex() << "  " << shown << "  " << embeddingWord(*done) << '\n';
    return;
  }
  ctx.out << audio->hex() << "  " << shown << '\n';
}

}  // namespace

void addMd5Command(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* md5 = app.add_subcommand(
      "md5",
      "MD5 of the audio (the data chunk's payload) of WAV files, printed as md5sum prints it; "
      "stored in or checked against the file's MD5 chunk");
  md5->add_option("FILE", o->files, "WAV files, or folders of them")
      ->type_name("FILE|DIR")
      ->required();
  CLI::Option* embed = md5->add_flag(
      "--embed", o->embed,
      "Store the digest in the file's MD5 chunk: rewrite it, or append one after the last chunk");
  CLI::Option* verify = md5->add_flag(
      "--verify", o->verify,
      "Check the audio against the digest in the file's MD5 chunk (exit status 1 when any file "
      "fails or has none)");
  embed->excludes(verify);
  md5->add_flag("-r,--recursive", o->recursive, "Also the folders in folders");
  md5->callback([o, ctx] {
    const PathList list = expandPaths(o->files, o->recursive);
    for (const std::string& folderError : list.errors) {
      ctx->err << "bextkit: " << folderError << '\n';
      ctx->status = 1;
    }
    for (const std::string& path : list.files) md5File(*ctx, *o, path);
  });
}

}  // namespace bextkit::cli
