// loudness: measures the audio of WAV files to EBU R 128 and prints the five values version 2 of
// the broadcast extension holds; with --write stores them there through the edit layer, and
// with --md5 or --embed-md5 gives the audio's MD5 from the same pass.
#include <CLI/CLI.hpp>
#include <memory>
#include <sstream>

#include "check/AudioDigest.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/DigestEmbedding.h"
#include "cli/JsonWriter.h"
#include "cli/Paths.h"
#include "cli/SetFields.h"
#include "cli/Text.h"
#include "loudness/Meter.h"
#include "platform/FileHandle.h"
#include "platform/SystemLog.h"

namespace bextkit::cli {

namespace {

struct Options : PathOptions {
  bool write = false;
  bool dryRun = false;
  bool json = false;
  bool md5 = false;
  bool embedMd5 = false;
};

// The values as the fields store them: hundredths, or "not measured".
std::array<std::optional<int16_t>, kLoudnessFields.size()> storedValues(
    const loudness::Measurement& m) {
  std::array<std::optional<int16_t>, kLoudnessFields.size()> values;
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = loudness::storedValue(m.of(kLoudnessFields[i]));
  }
  return values;
}

std::string jsonLine(const std::string& path, const loudness::Measurement& m) {
  JsonWriter json;
  json.beginObject().key("file").fileName(path);
  const auto values = storedValues(m);
  for (size_t i = 0; i < values.size(); ++i) {
    loudnessJson(json, fieldName(kLoudnessFields[i]), values[i]);
  }
  if (m.digest) json.key("md5").string(m.digest->hex());
  json.endObject();
  return json.takeLine();
}

FileOutput loudnessOfFile(const Options& o, const std::string& path) {
  FileOutput output;
  std::string why;
  const std::optional<loudness::Measurement> m =
      loudness::measure(path, {.digest = o.md5 || o.embedMd5, .progress = {}}, why);
  if (!m) {
    output.err = failureLine(path, "cannot measure the loudness: " + why);
    output.failed = true;
    return output;
  }
  const std::string shown = displayName(path);
  output.out = o.json ? jsonLine(path, *m)
                      : shown + ": " + loudnessSummary(storedValues(*m)) +
                            (m->digest ? ", MD5 " + m->digest->hex() : "") + '\n';
  if (o.write) {
    // Through the edit layer and the save `set` makes, with its words for what changed (a
    // version raised to 2 among them; one of 2 stays). Silence's values go in as not measured.
    FieldValues values;
    values.emplace_back(BextField::kVersion, uint16_t{2});
    const auto stored = storedValues(*m);
    for (size_t i = 0; i < stored.size(); ++i) values.emplace_back(kLoudnessFields[i], *stored[i]);
    std::ostringstream out, err;
    Context file{out, err};
    setFieldsOfFile(file, path, values, o.dryRun);
    (o.json ? output.err : output.out) += out.str();
    output.err += err.str();
    output.failed = file.status != 0;
  }
  if (o.embedMd5 && o.dryRun && !o.json) output.out += "  MD5 not embedded (dry run)\n";
  if (o.embedMd5 && !output.failed && !o.dryRun) {
    std::string words;
    const std::unique_ptr<FileHandle> file = FileHandle::openForSaving(path, &why);
    std::optional<std::string> failed =
        !file ? std::optional(failureLine("cannot save " + path, why))
              : embedAudioDigest(*file, path, *m->digest, false, "md5 --embed --force", words);
    if (failed) {
      output.err += *failed;
      output.failed = true;
    } else if (!o.json) {
      output.out += "  MD5 " + words + '\n';
    }
  }
  return output;
}

}  // namespace

void addLoudnessCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* command = app.add_subcommand(
      "loudness",
      "Measure the loudness of WAV files to EBU R 128 (integrated loudness, loudness range, "
      "maximum true peak, momentary and short-term loudness) and store it in the bext chunk");
  addPathOptions(command, *o, "WAV files");
  CLI::Option* write = command->add_flag(
      "--write", o->write,
      "Store the five values in the bext chunk, as set does, raising its version to 2; a value "
      "that cannot be measured (the loudness of silence) is stored as not measured (7FFFh)");
  command->add_flag("--dry-run", o->dryRun, "With --write, show what would change without writing")
      ->needs(write);
  command->add_flag("--json", o->json,
                    "One JSON object per file on one line, the values by their field names "
                    "(null: not measured); with --write the changes go to the error stream");
  command->add_flag("--md5", o->md5, "Also the MD5 of the audio, from the same pass");
  command->add_flag("--embed-md5", o->embedMd5,
                    "Also store the audio's MD5 in the file's MD5 chunk, as md5 --embed does, "
                    "from the same pass");
  command->callback([o, ctx] {
    const PathList list = expandPaths(*o);
    reportPathList(*ctx, list);
    const LogSink previous = silenceLog();
    // Every file on every core: measuring is the long part, and each file's save is its own.
    runBatch(*ctx, list, Spread::kCores, o->write ? "measured and saved" : "measured",
             [&o](const BatchFile& file) { return loudnessOfFile(*o, file.path); });
    setLogSink(previous);
  });
}

}  // namespace bextkit::cli
