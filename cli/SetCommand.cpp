// set: edits the description, originator and timecode of Broadcast Wave files and writes the
// broadcast extension back, reporting what changed.
#include <CLI/CLI.hpp>
#include <cmath>
#include <memory>

#include "bwf/BWFChunk.h"
#include "bwf/BWFParser.h"
#include "bwf/SmpteTime.h"
#include "check/AudioDigest.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"
#include "platform/SystemLog.h"
#include "timecode/Smpte.h"
#include "timecode/TimeCode.h"

namespace bextkit::cli {

namespace {

struct Options {
  std::vector<std::string> files;
  std::optional<std::string> description;
  std::optional<std::string> originator;
  std::optional<std::string> timecode;
  std::string rate = "25";
  bool classic = false;
  bool dryRun = false;
  bool verifyAudio = false;
};

std::string quotedText(const std::string& bytes) { return "\"" + displayLines(bytes, "") + "\""; }

std::optional<std::array<int32_t, 4>> parseTimecodeFields(const std::string& text, float fps,
                                                          std::string& error) {
  const std::optional<std::string> normalised = parseTimeCode("--timecode", text, fps, error);
  if (!normalised) return std::nullopt;
  std::array<int32_t, 4> fields{};
  TimeCode::splitTimeCode(*normalised, fps, fields);
  const int32_t framesInSecond = static_cast<int32_t>(std::ceil(fps));
  if (std::count(normalised->begin(), normalised->end(), integralFPS(fps) ? ':' : ';') != 3 ||
      fields[0] < 0 || fields[1] < 0 || fields[1] > 59 || fields[2] < 0 || fields[2] > 59 ||
      fields[3] < 0 || fields[3] >= framesInSecond) {
    error = "--timecode: expected hh:mm:ss:ff with minutes and seconds below 60 and frames below " +
            std::to_string(framesInSecond) + ", got '" + text + "'";
    return std::nullopt;
  }
  return fields;
}

// A line on the terminal that follows an insertion's copy of a large file, percent by percent.
FileHandle::Progress progressLine(std::ostream& err) {
  constexpr uint64_t kWorthShowing = 64 << 20;
  return [&err, shown = -1](uint64_t copied, uint64_t total) mutable {
    if (total < kWorthShowing) return;
    const int percent = static_cast<int>(copied * 100 / total);
    if (percent == shown) return;
    shown = percent;
    err << "\r  copying the audio into the new file: " << percent << '%'
        << (copied == total ? "\n" : "") << std::flush;
  };
}

// With --verify-audio: the new file of an insertion replaces the original only when the MD5 of
// its audio is that of the original's, computed before the save.
bool installAudioCheck(BWFParser& parser, const std::string& path, std::string& why,
                       std::optional<check::Digest>& before) {
  before = check::audioDigest(path, why);
  if (!before) return false;
  parser.setReplacementCheck([was = *before](FileHandle& newFile, uint64_t newSize,
                                             std::string& reason) {
    const std::optional<check::Digest> now = check::audioDigest(newFile, newSize, reason);
    if (now && *now == was) return true;
    reason = now ? "the audio in the new file differs from the original (MD5 " + now->hex() +
                       ", was " + was.hex() + "); the original is kept"
                 : "cannot read the audio of the new file: " + reason + "; the original is kept";
    return false;
  });
  return true;
}

// The timecode a file shows: SMPTE's of its time reference, or the system's own.
std::string shownTimecode(BWFParser& parser, const FrameRate& rate) {
  if (!rate.smpte) return parser.timecodeString();
  const std::optional<SmpteTime> t = smpteTime(parser, *rate.smpte);
  return t ? t->label : smpte::format(*rate.smpte, {});
}

void setFile(Context& ctx, const Options& o, const std::string& path, const FrameRate& rate,
             const std::optional<std::array<int32_t, 4>>& timecode) {
  std::string why;
  std::unique_ptr<BWFParser> parser = scanFile(path, rate.fps, why);
  if (!parser) {
    ctx.err << "bextkit: " << path << ": " << why << '\n';
    ctx.status = 1;
    return;
  }

  std::vector<std::string> changes;
  const auto edit = [&changes](const char* name, const std::string& before,
                               const std::string& after) {
    if (before != after) {
      changes.push_back(std::string(name) + ": " + quotedText(before) + " -> " + quotedText(after));
    }
  };
  const std::string oldTimecode = shownTimecode(*parser, rate);
  const uint64_t oldReference = timeReference(*parser);
  const bool hadChunk = parser->chunkFlags() & kBWFFlagBext;
  if (o.description) {
    edit("description", parser->description(), *o.description);
    parser->setDescription(*o.description);
  }
  if (o.originator) {
    edit("originator", parser->originator(), *o.originator);
    parser->setOriginator(*o.originator);
  }
  if (timecode) {
    const auto& t = *timecode;
    if (rate.smpte) {
      const smpte::Label label{uint32_t(t[0]), uint32_t(t[1]), uint32_t(t[2]), uint32_t(t[3])};
      setSmpteTimecode(*parser, *rate.smpte, label);
      edit("timecode", oldTimecode, smpte::format(*rate.smpte, label));
    } else {
      parser->setTimeCodeHH(t[0], t[1], t[2], t[3], static_cast<int32_t>(std::lround(rate.fps)));
      edit("timecode", oldTimecode, parser->timecodeString());
    }
  }
  const uint64_t newReference = parser->timeReferenceToWrite().value_or(oldReference);
  if (hadChunk && newReference != oldReference) {
    changes.push_back("time reference: " + std::to_string(oldReference) + " -> " +
                      std::to_string(newReference) + " samples");
  }
  if (!hadChunk) {
    const ChunkChain& chain = parser->chunkChain();
    const char* form = containerName(chain.container);
    changes.push_back(chain.has64BitSizes() ? "a new bext chunk after the ds64 chunk"
                                            : "a new bext chunk after the " +
                                                  std::string(form ? form : "RIFF") + " header");
  }

  // The changes are told once the save has made them; a dry run makes every check of the save
  // and tells what it would change. A failure is told alone.
  if (ctx.showProgress && !o.dryRun) parser->setSaveProgress(progressLine(ctx.err));
  // Only an insertion copies the audio; a rewrite in place leaves it where it is.
  std::optional<check::Digest> audio;
  if (o.verifyAudio && !hadChunk && !installAudioCheck(*parser, path, why, audio)) {
    ctx.err << "bextkit: cannot save " << path << ": the audio cannot be verified: " << why
            << "; nothing was written\n";
    ctx.status = 1;
    return;
  }
  if (!(o.dryRun ? parser->checkSave() : parser->saveFile())) {
    ctx.err << "bextkit: " << parser->lastError() << '\n';
    ctx.status = 1;
    return;
  }
  ctx.out << displayUtf8(path) << (o.dryRun ? " (dry run, not written) would change:" : "") << '\n';
  for (const std::string& change : changes) ctx.out << "  " << change << '\n';
  if (audio && !o.dryRun) ctx.out << "  the audio is unchanged (MD5 " << audio->hex() << ")\n";
  if (changes.empty()) {
    ctx.out << (o.dryRun ? "  nothing\n"
                         : "  no change; the bext chunk was written again as it was\n");
  }
}

void runSet(Context& ctx, const Options& o) {
  std::string error;
  const std::optional<FrameRate> rate = parseRate("--rate", o.rate, o.classic, error);
  if (!rate) return ctx.usageError(error);
  if (!o.description && !o.originator && !o.timecode) {
    return ctx.usageError("set: nothing to set; give --description, --originator or --timecode");
  }
  const struct {
    const char* name;
    const std::optional<std::string>& text;
    size_t width;
  } texts[] = {{"--description", o.description, BWFChunk::kDescription.width},
               {"--originator", o.originator, BWFChunk::kOriginator.width}};
  for (const auto& t : texts) {
    if (t.text && t.text->size() > t.width) {
      return ctx.usageError(std::string(t.name) + ": " + std::to_string(t.text->size()) +
                            " bytes, and the field holds at most " + std::to_string(t.width));
    }
  }
  std::optional<std::array<int32_t, 4>> timecode;
  if (o.timecode) {
    if (rate->smpte) {
      const std::optional<smpte::Label> label = smpte::parseLabel(*rate->smpte, *o.timecode, error);
      if (!label) return ctx.usageError("--timecode: " + error);
      timecode = {int32_t(label->hours), int32_t(label->minutes), int32_t(label->seconds),
                  int32_t(label->frames)};
    } else {
      timecode = parseTimecodeFields(*o.timecode, rate->fps, error);
      if (!timecode) return ctx.usageError(error);
    }
  }
  const LogSink previous = setLogSink([](const std::string&) {});
  for (const std::string& path : o.files) setFile(ctx, o, path, *rate, timecode);
  setLogSink(previous);
}

}  // namespace

void addSetCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* set = app.add_subcommand("set",
                                     "Change the description, originator or timecode and write "
                                     "the bext chunk back (the audio is never touched)");
  set->add_option("FILE", o->files, "WAV files")->type_name("FILE")->required();
  set->add_option("--description", o->description, "New description (at most 256 bytes)")
      ->type_name("TEXT");
  set->add_option("--originator", o->originator, "New originator (at most 32 bytes)")
      ->type_name("TEXT");
  set->add_option(
         "--timecode", o->timecode,
         "New start timecode; the time reference becomes the sample where that frame begins")
      ->type_name("HH:MM:SS:FF");
  addFrameRateOption(set, o->rate, o->classic);
  set->add_flag("--dry-run", o->dryRun, "Show what would change without writing");
  set->add_flag("--verify-audio", o->verifyAudio,
                "When a new chunk is inserted, replace the file only if the MD5 of the new "
                "file's audio is the original's");
  set->callback([o, ctx] { runSet(*ctx, *o); });
}

}  // namespace bextkit::cli
