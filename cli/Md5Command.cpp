// md5: the MD5 of each file's audio (the payload of its data chunk), one line per file as md5sum
// prints a file's; with --embed stored in the file's "MD5 " chunk, with --verify checked
// against it.
#include <CLI/CLI.hpp>
#include <memory>

#include "check/AudioDigest.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/DigestEmbedding.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {

namespace {

struct Options : PathOptions {
  bool embed = false;
  bool force = false;
  bool verify = false;
};

// What --embed did to a file, as its line ends.
std::string embeddingWords(const check::Embedded& done) {
  std::string words = "already stored";
  if (done.embedding == check::Embedding::kAppended) words = "embedded";
  if (done.embedding == check::Embedding::kUpdated) {
    words = "replaced " + done.stored.hex() + ", which differed from the audio";
  }
  switch (done.repair) {
    case check::Repair::kCountedIn:
      return words +
             "; repaired: the form's size now counts the MD5 chunk that an interrupted "
             "embedding left past its end";
    case check::Repair::kRewritten:
      return words +
             "; repaired: the MD5 chunk that an interrupted embedding left cut short is "
             "written anew";
    case check::Repair::kNone:
      break;
  }
  return words;
}

// One file: its line on the output, or its error. With --embed the file is opened for saving
// from the start, so that the digest stored is that of the audio read under the same lock.
FileOutput md5File(const Options& o, const BatchFile& batchFile) {
  const std::string& path = batchFile.path;
  FileOutput output;
  const auto fail = [&output](const std::string& name, const std::string& why) {
    output.err = failureLine(name, why);
    output.failed = true;
    return output;
  };
  std::string why;
  const std::unique_ptr<FileHandle> file = o.embed ? FileHandle::openForSaving(path, &why)
                                           : batchFile.listed
                                               ? FileHandle::openListedForReading(path, &why)
                                               : FileHandle::openForReading(path, &why);
  if (!file) return fail((o.embed ? "cannot save " : "") + path, why);
  const uint64_t size = o.embed ? file->seekToEndOfFile() : file->sizeAtOpen();
  const std::optional<check::Digest> audio = check::audioDigest(*file, size, why);
  if (!audio) return fail(path, why);
  const std::string shown = displayName(path);

  if (o.verify) {
    const std::optional<check::Digest> stored = check::storedDigest(*file, size, why);
    if (!stored && !why.empty()) return fail(path, why);
    output.failed = !stored || *stored != *audio;
    output.out = shown + (!stored             ? ": no MD5 chunk\n"
                          : *stored == *audio ? ": OK\n"
                                              : ": FAILED (stored " + stored->hex() + ", audio " +
                                                    audio->hex() + ")\n");
    return output;
  }
  if (o.embed) {
    std::string words;
    if (std::optional<std::string> failed =
            embedAudioDigest(*file, path, *audio, o.force, "--force", words)) {
      output.err = std::move(*failed);
      output.failed = true;
      return output;
    }
    output.out = audio->hex() + "  " + shown + "  " + words + '\n';
    return output;
  }
  output.out = audio->hex() + "  " + shown + '\n';
  return output;
}

}  // namespace

std::optional<std::string> embedAudioDigest(FileHandle& file, const std::string& path,
                                            const check::Digest& digest, bool force,
                                            std::string_view forceOption, std::string& words) {
  std::string why;
  const std::optional<check::Embedded> done = check::embedDigest(file, digest, force, why);
  if (done && done->embedding == check::Embedding::kDiffers) {
    return failureLine(path, "the MD5 chunk holds " + done->stored.hex() +
                                 ", but the audio's MD5 is " + digest.hex() +
                                 ": the audio has changed since the digest was stored; nothing "
                                 "was written (" +
                                 std::string(forceOption) + " replaces it)");
  }
  if (!done || !file.closeFile()) {
    return failureLine("cannot save " + path, done ? file.lastError() : why);
  }
  words = embeddingWords(*done);
  return std::nullopt;
}

void addMd5Command(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* md5 = app.add_subcommand(
      "md5",
      "MD5 of the audio (the data chunk's payload) of WAV files, printed as md5sum prints it; "
      "stored in or checked against the file's MD5 chunk");
  addPathOptions(md5, *o, "WAV files");
  CLI::Option* embed = md5->add_flag(
      "--embed", o->embed,
      "Store the digest in the file's MD5 chunk, appended after the last chunk; a chunk that an "
      "interrupted embedding left is repaired");
  CLI::Option* verify = md5->add_flag(
      "--verify", o->verify,
      "Check the audio against the digest in the file's MD5 chunk (exit status 1 when any file "
      "fails or has none)");
  md5->add_flag("--force", o->force,
                "With --embed, replace a stored digest that differs from the audio (without it, "
                "such a file is refused: the difference shows that the audio changed)")
      ->needs(embed);
  embed->excludes(verify);
  md5->callback([o, ctx] {
    const PathList list = expandPaths(*o);
    reportPathList(*ctx, list);
    // Digests of files read run on every core; files written by --embed one at a time.
    runBatch(*ctx, list, o->embed ? Spread::kOneAtATime : Spread::kReadsInFlight,
             o->embed ? "embedded" : "read",
             [&o](const BatchFile& file) { return md5File(*o, file); });
  });
}

}  // namespace bextkit::cli
