// set: edits the broadcast extension fields and the timecode of Broadcast Wave files and writes
// the chunk back, reporting what changed.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <memory>

#include "bwf/BWFChunk.h"
#include "bwf/BWFParser.h"
#include "bwf/SmpteTime.h"
#include "check/AudioDigest.h"
#include "check/ValueRules.h"
#include "cli/Arguments.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/FileRate.h"
#include "cli/FileScan.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"
#include "platform/SystemLog.h"
#include "timecode/Smpte.h"
#include "timecode/TimeCode.h"

namespace bextkit::cli {

namespace {

using FieldEdits = BWFParser::FieldEdits;

// The loudness options: the option, the name a change is shown by, the member it sets.
struct LoudnessOption {
  const char* option;
  const char* name;
  std::optional<int16_t> FieldEdits::*field;
  const char* help;
};
constexpr LoudnessOption kLoudness[] = {
    {"--loudness-value", "loudness value", &FieldEdits::loudnessValue,
     "Integrated loudness in LUFS"},
    {"--loudness-range", "loudness range", &FieldEdits::loudnessRange, "Loudness range in LU"},
    {"--max-true-peak", "max true peak", &FieldEdits::maxTruePeakLevel,
     "Highest true peak level in dBTP"},
    {"--max-momentary-loudness", "max momentary loudness", &FieldEdits::maxMomentaryLoudness,
     "Highest momentary loudness in LUFS"},
    {"--max-short-term-loudness", "max short-term loudness", &FieldEdits::maxShortTermLoudness,
     "Highest short-term loudness in LUFS"}};
constexpr size_t kLoudnessOptions = std::size(kLoudness);
constexpr int16_t kLoudnessUnused = 0x7FFF;

struct Options : PathOptions {
  std::optional<std::string> description;
  std::optional<std::string> originator;
  std::optional<std::string> timecode;
  std::optional<std::string> originatorReference, originationDate, originationTime, codingHistory,
      appendCodingHistory, umid, version;
  std::array<std::optional<std::string>, kLoudnessOptions> loudness;
  std::string rate;  // none: each file's own
  bool classic = false;
  bool dryRun = false;
  bool verifyAudio = false;
};

// A coding history on one line, its CR and LF shown as \r and \n.
std::string historyText(const std::string& bytes) {
  std::string escaped;
  for (const char c : bytes) {
    escaped += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  }
  return quotedText(escaped);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal such as -23.00 or 5.3, rounded half away from zero to hundredths, from -327.67 to
// 327.67; or "none", the value of a field that holds no measurement.
std::optional<int16_t> parseLoudness(const std::string& name, const std::string& text,
                                     std::string& error) {
  if (text == "none") return kLoudnessUnused;
  size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
  uint64_t hundredths = 0;
  size_t digits = 0, decimals = 0;
  for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
    hundredths = std::min<uint64_t>(hundredths * 10 + uint64_t(text[i] - '0'), 1000000);
  }
  hundredths *= 100;
  bool roundUp = false;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && isDigit(text[i]); ++i, ++decimals) {
      const auto digit = uint64_t(text[i] - '0');
      if (decimals < 2) hundredths += digit * (decimals == 0 ? 10 : 1);
      if (decimals == 2) roundUp = digit >= 5;
    }
  }
  if (i != text.size() || digits + decimals == 0) {
    error = name + ": expected a number such as -23.00, or none, got '" + text + "'";
    return std::nullopt;
  }
  hundredths += roundUp ? 1 : 0;
  if (hundredths > 32767) {
    error = name + ": " + text + " is out of range: from -327.67 to 327.67, or none";
    return std::nullopt;
  }
  const auto magnitude = static_cast<int16_t>(hundredths);
  return static_cast<int16_t>(text[0] == '-' ? -magnitude : magnitude);
}

// The history with one more line, ended by CR LF; a last line without its line break gets CR LF
// first, so that the new line stands on its own.
std::string appendedHistory(const std::string& history, const std::string& line) {
  std::string out = history;
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  const size_t end = line.find_last_not_of("\r\n");
  return out + (end == std::string::npos ? std::string() : line.substr(0, end + 1)) + "\r\n";
}

// The edits that the options give (the appended line is added per file); a usage error in
// `error` when a value is invalid.
std::optional<FieldEdits> parseFieldEdits(const Options& o, std::string& error) {
  FieldEdits edits;
  if (o.originatorReference) {
    const size_t width = BWFChunk::kOriginatorReference.width;
    if (o.originatorReference->size() > width) {
      error = "--originator-reference: " + std::to_string(o.originatorReference->size()) +
              " bytes, and the field holds at most " + std::to_string(width);
      return std::nullopt;
    }
    edits.originatorReference = o.originatorReference;
  }
  if (o.originationDate) {
    if (const auto why = check::whyNotDate(*o.originationDate)) {
      error = "--origination-date: " + *why;
      return std::nullopt;
    }
    edits.originationDate = o.originationDate;
  }
  if (o.originationTime) {
    if (const auto why = check::whyNotTime(*o.originationTime)) {
      error = "--origination-time: " + *why;
      return std::nullopt;
    }
    edits.originationTime = o.originationTime;
  }
  if (o.codingHistory && o.appendCodingHistory) {
    error =
        "--append-coding-history: adds to the coding history, which --coding-history replaces; "
        "give one of them";
    return std::nullopt;
  }
  if (o.codingHistory) edits.codingHistory = withCrLf(*o.codingHistory);
  if (o.umid) {
    // "0" clears the field.
    edits.umid = *o.umid == "0" ? std::array<uint8_t, 64>{} : parseUmid(*o.umid, error);
    if (!edits.umid) {
      error = "--umid: " + error + ", or 0 to clear the field";
      return std::nullopt;
    }
  }
  if (o.version) {
    if (*o.version != "0" && *o.version != "1" && *o.version != "2") {
      error = "--version: expected 0, 1 or 2, got '" + *o.version + "'";
      return std::nullopt;
    }
    edits.version = static_cast<uint16_t>(o.version->front() - '0');
  }
  for (size_t i = 0; i < kLoudnessOptions; ++i) {
    if (!o.loudness[i]) continue;
    edits.*kLoudness[i].field = parseLoudness(kLoudness[i].option, *o.loudness[i], error);
    if (!(edits.*kLoudness[i].field)) return std::nullopt;
  }
  return edits;
}

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

// Sets the edits on the parser and lists each change in `changes`, in the order of the fields.
void setFieldEdits(BWFParser& parser, FieldEdits edits, const Options& o,
                   std::vector<std::string>& changes) {
  const FieldEdits was = parser.storedFields();
  if (o.appendCodingHistory) {
    edits.codingHistory = appendedHistory(*was.codingHistory, *o.appendCodingHistory);
  }
  const auto note = [&changes](const std::string& name, const std::string& before,
                               const std::string& after) {
    if (before != after) changes.push_back(name + ": " + before + " -> " + after);
  };
  const std::pair<const char*, std::optional<std::string> FieldEdits::*> texts[] = {
      {"originator reference", &FieldEdits::originatorReference},
      {"origination date", &FieldEdits::originationDate},
      {"origination time", &FieldEdits::originationTime}};
  for (const auto& [name, field] : texts) {
    if (edits.*field) note(name, quotedText(*(was.*field)), quotedText(*(edits.*field)));
  }
  if (edits.version) note("version", std::to_string(*was.version), std::to_string(*edits.version));
  if (edits.umid) note("UMID", umidText(*was.umid), umidText(*edits.umid));
  for (const LoudnessOption& l : kLoudness) {
    if (edits.*l.field) {
      note(l.name, loudnessText(*(was.*l.field)), loudnessText(*(edits.*l.field)));
    }
  }
  if (edits.codingHistory) {
    note("coding history", historyText(*was.codingHistory), historyText(*edits.codingHistory));
  }
  parser.setFieldEdits(std::move(edits));
}

// The fields of a timecode as the rate reads it: SMPTE's label, or the system's own fields.
std::optional<std::array<int32_t, 4>> timecodeAt(const FrameRate& rate, const std::string& text,
                                                 std::string& error) {
  if (!rate.smpte) return parseTimecodeFields(text, rate.fps, error);
  const std::optional<smpte::Label> label = smpte::parseLabel(*rate.smpte, text, error);
  if (!label) {
    error = "--timecode: " + error;
    return std::nullopt;
  }
  return std::array<int32_t, 4>{int32_t(label->hours), int32_t(label->minutes),
                                int32_t(label->seconds), int32_t(label->frames)};
}

void setFile(Context& ctx, const Options& o, const std::string& path,
             const std::optional<FrameRate>& option, std::optional<std::array<int32_t, 4>> timecode,
             const FieldEdits& fieldEdits) {
  std::string why;
  std::unique_ptr<BWFParser> parser = scanFile(path, option ? option->fps : 25.0f, why);
  if (!parser) return reportFailure(ctx, path, why);
  // Without --rate, a timecode is read at the rate the file states.
  const FileRate fileRate = rateOfFile(option, o.classic, *parser);
  const FrameRate& rate = fileRate.rate;
  if (o.timecode && !option && !(timecode = timecodeAt(rate, *o.timecode, why))) {
    return reportFailure(ctx, "cannot save " + path,
                         why + " (" + rateSourceText(fileRate) + "); nothing was written");
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
      edit(option ? "timecode" : ("timecode " + rateSourceText(fileRate)).c_str(), oldTimecode,
           smpte::format(*rate.smpte, label));
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
  setFieldEdits(*parser, fieldEdits, o, changes);
  if (o.codingHistory && *o.codingHistory != withCrLf(*o.codingHistory)) {
    changes.push_back("the coding history's lines are written ending with CR LF");
  }
  const BWFParser::SaveWay way = parser->saveWay();
  const bool newFile = way == BWFParser::SaveWay::kWriteAnew;
  if (hadChunk && way != BWFParser::SaveWay::kRewrite) {
    const ChunkChain& chain = parser->chunkChain();
    const auto bext = std::find_if(chain.chunks.begin(), chain.chunks.end(), [&](const auto& c) {
      return c.offset == parser->bwfChunkOffset();
    });
    changes.push_back(
        "the bext chunk grows" +
        (bext == chain.chunks.end() ? std::string() : " from " + std::to_string(bext->size)) +
        " to " + std::to_string(parser->chunkSizeToWrite()) + " bytes" +
        (newFile ? ": the file is written anew, with a " + std::to_string(BWFParser::kJunkReserve) +
                       "-byte JUNK reserve after it"
                 : " in place, into the room after it"));
  }
  // A dry run also tells how the save goes.
  if (o.dryRun && hadChunk && way == BWFParser::SaveWay::kRewrite && !changes.empty()) {
    changes.push_back("the bext chunk is rewritten in place");
  }
  if (!hadChunk) {
    // Every value the new chunk carries that no edit named: the defaults it is made with, as
    // the parser gives the record a new chunk starts from.
    const FieldEdits made = parser->storedFields();
    const auto listed = [&changes](const std::string& name) {
      return std::any_of(changes.begin(), changes.end(),
                         [&](const std::string& c) { return c.starts_with(name + ":"); });
    };
    const std::pair<const char*, std::string> defaults[] = {
        {"origination date", quotedText(*made.originationDate)},
        {"origination time", quotedText(*made.originationTime)},
        {"time reference", std::to_string(parser->timeReferenceToWrite().value_or(0)) + " samples"},
        {"version", std::to_string(*made.version)},
        {"coding history", historyText(*made.codingHistory)}};
    for (const auto& [name, value] : defaults) {
      if (!listed(name)) changes.push_back(std::string(name) + ": " + value + " (new chunk)");
    }
    const ChunkChain& chain = parser->chunkChain();
    const char* form = containerName(chain.container);
    changes.push_back((chain.has64BitSizes() ? "a new bext chunk after the ds64 chunk"
                                             : "a new bext chunk after the " +
                                                   std::string(form ? form : "RIFF") + " header") +
                      std::string(o.dryRun ? ": the file is written anew" : ""));
  }

  // The changes are told once the save has made them; a dry run makes every check of the save
  // and tells what it would change. A failure is told alone.
  if (ctx.showProgress && !o.dryRun) parser->setSaveProgress(progressLine(ctx.err));
  // Only a new file (an insertion, a larger chunk) copies the audio; a rewrite in place leaves
  // it where it is.
  std::optional<check::Digest> audio;
  if (o.verifyAudio && newFile && !installAudioCheck(*parser, path, why, audio)) {
    return reportFailure(ctx, "cannot save " + path,
                         "the audio cannot be verified: " + why + "; nothing was written");
  }
  if (!(o.dryRun ? parser->checkSave() : parser->saveFile())) {
    ctx.err << "bextkit: " << parser->lastError() << '\n';
    ctx.status = 1;
    return;
  }
  ctx.out << displayName(path) << (o.dryRun ? " (dry run, not written) would change:" : "") << '\n';
  for (const std::string& change : changes) ctx.out << "  " << change << '\n';
  if (audio && !o.dryRun) ctx.out << "  the audio is unchanged (MD5 " << audio->hex() << ")\n";
  if (changes.empty()) {
    ctx.out << (o.dryRun ? "  nothing\n"
                         : "  no change; the bext chunk was written again as it was\n");
  }
}

void runSet(Context& ctx, const Options& o) {
  std::string error;
  std::optional<FrameRate> rate;
  if (!o.rate.empty() && !(rate = parseRate("--rate", o.rate, o.classic, error))) {
    return ctx.usageError(error);
  }
  const bool loudness = std::any_of(o.loudness.begin(), o.loudness.end(),
                                    [](const auto& value) { return value.has_value(); });
  if (!o.description && !o.originator && !o.timecode && !o.originatorReference &&
      !o.originationDate && !o.originationTime && !o.codingHistory && !o.appendCodingHistory &&
      !o.umid && !o.version && !loudness) {
    return ctx.usageError(
        "set: nothing to set; give --description, --originator, --timecode or another field "
        "(see set --help)");
  }
  const std::optional<FieldEdits> fieldEdits = parseFieldEdits(o, error);
  if (!fieldEdits) return ctx.usageError(error);
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
  // A timecode given with --rate is read once; without, at each file's rate, and here only
  // refused when no rate reads it.
  std::optional<std::array<int32_t, 4>> timecode;
  if (o.timecode && rate) {
    if (!(timecode = timecodeAt(*rate, *o.timecode, error))) return ctx.usageError(error);
  } else if (o.timecode) {
    const auto readsAt = [&o](const FrameRate& rate) {
      std::string why;
      return timecodeAt(rate, *o.timecode, why).has_value();
    };
    const FrameRate at25 = o.classic ? FrameRate{std::nullopt, 25.0f} : frameRateOf(defaultRate());
    const auto rates = smpte::rates();
    if (o.classic ? !readsAt(at25) : std::none_of(rates.begin(), rates.end(), [&](auto& r) {
          return readsAt(frameRateOf(r));
        })) {
      (void)timecodeAt(at25, *o.timecode, error);  // the reason, as 25 gives it
      return ctx.usageError(error);
    }
  }
  const LogSink previous = setLogSink([](const std::string&) {});
  const PathList list = expandPaths(o);
  reportPathList(ctx, list);
  forEachFile(ctx, list.files,
              [&](const std::string& path) { setFile(ctx, o, path, rate, timecode, *fieldEdits); });
  setLogSink(previous);
}

}  // namespace

void addSetCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* set = app.add_subcommand("set",
                                     "Change the broadcast extension fields or the timecode and "
                                     "write the bext chunk back (the audio is never touched)");
  addPathOptions(set, *o, "WAV files");
  set->add_option("--description", o->description, "New description (at most 256 bytes)")
      ->type_name("TEXT");
  set->add_option("--originator", o->originator, "New originator (at most 32 bytes)")
      ->type_name("TEXT");
  set->add_option(
         "--timecode", o->timecode,
         "New start timecode; the time reference becomes the sample where that frame begins")
      ->type_name("HH:MM:SS:FF");
  set->add_option("--originator-reference", o->originatorReference,
                  "New originator reference (at most 32 bytes)")
      ->type_name("TEXT");
  set->add_option("--origination-date", o->originationDate, "New origination date")
      ->type_name("YYYY-MM-DD");
  set->add_option("--origination-time", o->originationTime, "New origination time")
      ->type_name("HH:MM:SS");
  set->add_option("--coding-history", o->codingHistory,
                  "The whole coding history, replacing the old one; each line is written ending "
                  "with CR LF, whatever line ends it is given with")
      ->type_name("TEXT");
  set->add_option("--append-coding-history", o->appendCodingHistory,
                  "Add one line, ended with CR LF, to the coding history")
      ->type_name("LINE");
  set->add_option("--umid", o->umid,
                  "New UMID: 64 hex digits (a basic UMID), 128 (an extended one), or 0 to clear")
      ->type_name("HEX");
  set->add_option("--version", o->version, "New version of the bext chunk: 0, 1 or 2")
      ->type_name("N");
  for (size_t i = 0; i < kLoudnessOptions; ++i) {
    set->add_option(kLoudness[i].option, o->loudness[i],
                    std::string(kLoudness[i].help) +
                        ", to hundredths (-327.67 to 327.67), or none; needs version 2")
        ->type_name("DECIMAL");
  }
  addFrameRateOption(set, o->rate, o->classic);
  set->add_flag("--dry-run", o->dryRun, "Show what would change without writing");
  set->add_flag("--verify-audio", o->verifyAudio,
                "When the save writes a new file (a new chunk, or a larger one for a longer "
                "coding history), replace the original only if the MD5 of the new file's audio "
                "is the original's");
  set->callback([o, ctx] { runSet(*ctx, *o); });
}

}  // namespace bextkit::cli
