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
#include "cli/SetFields.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"
#include "platform/SystemLog.h"
#include "timecode/Smpte.h"
#include "timecode/TimeCode.h"

namespace bextkit::cli {

namespace {

// The options that set a field of the record, with the field each sets.
struct FieldOption {
  const char* option;
  BextField field;
  const char* type;
  const char* help;
};
constexpr FieldOption kFieldOptions[] = {
    {"--description", BextField::kDescription, "TEXT", "New description (at most 256 bytes)"},
    {"--originator", BextField::kOriginator, "TEXT", "New originator (at most 32 bytes)"},
    {"--originator-reference", BextField::kOriginatorReference, "TEXT",
     "New originator reference (at most 32 bytes)"},
    {"--origination-date", BextField::kOriginationDate, "YYYY-MM-DD", "New origination date"},
    {"--origination-time", BextField::kOriginationTime, "HH:MM:SS", "New origination time"},
    {"--coding-history", BextField::kCodingHistory, "TEXT",
     "The whole coding history, replacing the old one; each line is written ending with CR LF, "
     "whatever line ends it is given with"},
    {"--umid", BextField::kUmid, "HEX",
     "New UMID: 64 hex digits (a basic UMID), 128 (an extended one), or 0 to clear"},
    {"--version", BextField::kVersion, "N", "New version of the bext chunk: 0, 1 or 2"},
    {"--loudness-value", BextField::kLoudnessValue, "DECIMAL",
     "Integrated loudness in LUFS, such as -23.00, or none; needs version 2"},
    {"--loudness-range", BextField::kLoudnessRange, "DECIMAL",
     "Loudness range in LU, such as 7.50, or none; needs version 2"},
    {"--max-true-peak", BextField::kMaxTruePeakLevel, "DECIMAL",
     "Highest true peak level in dBTP, such as -1.00, or none; needs version 2"},
    {"--max-momentary-loudness", BextField::kMaxMomentaryLoudness, "DECIMAL",
     "Highest momentary loudness in LUFS, such as -18.00, or none; needs version 2"},
    {"--max-short-term-loudness", BextField::kMaxShortTermLoudness, "DECIMAL",
     "Highest short-term loudness in LUFS, such as -20.00, or none; needs version 2"}};
constexpr size_t kFieldOptionCount = std::size(kFieldOptions);
constexpr size_t kHistoryOption = 5;
static_assert(kFieldOptions[kHistoryOption].field == BextField::kCodingHistory);

// The options that set a field of the iXML document, with the field each sets.
struct IxmlOption {
  const char* option;
  const char* field;
  const char* type;
  const char* help;
};
constexpr IxmlOption kIxmlOptions[] = {
    {"--project", "PROJECT", "TEXT", "New iXML project"},
    {"--scene", "SCENE", "TEXT", "New iXML scene"},
    {"--take", "TAKE", "TEXT", "New iXML take"},
    {"--tape", "TAPE", "TEXT", "New iXML tape (the recorder's roll or card)"},
    {"--circled", "CIRCLED", "yes|no", "Whether the take is circled in iXML"},
    {"--note", "NOTE", "TEXT", "New iXML note"}};
constexpr size_t kIxmlOptionCount = std::size(kIxmlOptions);

struct Options : PathOptions {
  std::array<std::optional<std::string>, kFieldOptionCount> fields;  // by kFieldOptions
  std::array<std::optional<std::string>, kIxmlOptionCount> ixml;     // by kIxmlOptions
  std::vector<std::string> trackNames;                               // "N=NAME"
  bool syncIxml = false;
  std::optional<std::string> timecode;
  std::optional<std::string> appendCodingHistory;
  std::string rate;  // none: each file's own
  bool classic = false;
  bool dryRun = false;
  bool verifyAudio = false;
  bool leaveUnchanged = false;  // no save at all when nothing changes
};

// The history with one more line, ended by CR LF; a last line without its line break gets CR LF
// first, so that the new line stands on its own.
std::string appendedHistory(const std::string& history, const std::string& line) {
  std::string out = history;
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  const size_t end = line.find_last_not_of("\r\n");
  return out + (end == std::string::npos ? std::string() : line.substr(0, end + 1)) + "\r\n";
}

// The values that the options give (the appended line is added per file); a usage error in
// `error` when one is no value of its field.
std::optional<FieldValues> parseFieldValues(const Options& o, std::string& error) {
  FieldValues values;
  const bool history = o.fields[kHistoryOption].has_value();
  if (history && o.appendCodingHistory) {
    error =
        "--append-coding-history: adds to the coding history, which --coding-history replaces; "
        "give one of them";
    return std::nullopt;
  }
  for (size_t i = 0; i < kFieldOptionCount; ++i) {
    if (!o.fields[i]) continue;
    std::string why;
    std::optional<edit::Value> value = edit::parseValue(kFieldOptions[i].field, *o.fields[i], why);
    if (!value) {
      error = std::string(kFieldOptions[i].option) + ": " + why;
      return std::nullopt;
    }
    values.emplace_back(kFieldOptions[i].field, std::move(*value));
  }
  return values;
}

// The iXML edits that the options give; a usage error in `error` when one is no value of its
// field.
std::optional<std::vector<IxmlEdit>> parseIxmlEdits(const Options& o, std::string& error) {
  std::vector<IxmlEdit> edits;
  std::vector<const char*> options;  // the option of each edit
  for (size_t i = 0; i < kIxmlOptionCount; ++i) {
    if (!o.ixml[i]) continue;
    edits.push_back({kIxmlOptions[i].field, *o.ixml[i]});
    options.push_back(kIxmlOptions[i].option);
  }
  for (const std::string& given : o.trackNames) {
    const size_t equals = given.find('=');
    const std::string number = given.substr(0, equals);
    const bool counted = !number.empty() && number.size() <= 4 &&
                         number.find_first_not_of("0123456789") == std::string::npos &&
                         std::stoi(number) > 0;
    if (equals == std::string::npos || !counted) {
      error =
          "--track-name: expected N=NAME, N the track's place in the iXML track list from 1, "
          "got '" +
          given + "'";
      return std::nullopt;
    }
    edits.push_back({"TRACK_LIST/TRACK[" + std::to_string(std::stoi(number)) + "]/NAME",
                     given.substr(equals + 1)});
    options.push_back("--track-name");
  }
  for (size_t i = 0; i < edits.size(); ++i) {
    std::string why;
    std::optional<std::string> value = edit::ixmlValue(edits[i].name, edits[i].text, why);
    if (!value) {
      error = std::string(options[i]) + ": " + why;
      return std::nullopt;
    }
    edits[i].text = std::move(*value);
  }
  return edits;
}

// How a save writes the iXML document, told where it moves anything or, in a dry run, always.
std::optional<std::string> ixmlSaveLine(const BWFParser& parser, bool dryRun) {
  const std::optional<uint64_t> size = parser.ixmlChunkSize();
  std::string why;
  const std::optional<std::string> document = parser.ixmlToWrite(why);
  if (!document) return std::nullopt;
  const std::string reserve =
      ", with a " + std::to_string(BWFParser::kJunkReserve) + "-byte JUNK reserve after it";
  // A new file moves the audio where the chunk comes before it.
  const ChainChunk* data = parser.chunkChain().first(chunkid::kData);
  const ChainChunk* ixml = parser.chunkChain().first(chunkid::kIXML);
  const std::string moves = !data || (ixml && ixml->offset > data->offset)
                                ? std::string(": the file is written anew")
                                : std::string(": the file is written anew, and the audio moves");
  switch (parser.ixmlSaveWay()) {
    case BWFParser::SaveWay::kRewrite:
      if (!dryRun) return std::nullopt;
      return "the iXML chunk is rewritten in place (" + std::to_string(size.value_or(0)) +
             " bytes, the document's padding taking the difference)";
    case BWFParser::SaveWay::kGrowInPlace:
      return "the iXML chunk grows from " + std::to_string(size.value_or(0)) + " to " +
             std::to_string(document->size()) + " bytes in place, into the room after it";
    case BWFParser::SaveWay::kWriteAnew:
      break;
  }
  if (!size) return "a new iXML chunk after the header" + reserve + moves;
  return "the iXML chunk grows from " + std::to_string(*size) + " to " +
         std::to_string(document->size()) + " bytes" + reserve + moves;
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
             const FieldValues& values, const std::vector<IxmlEdit>& ixmlEdits = {}) {
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

  // The fields first: a plan refused tells why, and nothing is written.
  edit::Plan plan(*parser);
  for (const auto& [field, value] : values) plan.set(field, value);
  if (o.appendCodingHistory) {
    const std::optional<edit::Value> history = plan.current(BextField::kCodingHistory);
    plan.set(BextField::kCodingHistory,
             appendedHistory(history ? std::get<std::string>(*history) : std::string(),
                             *o.appendCodingHistory));
  }
  for (const IxmlEdit& e : ixmlEdits) plan.takeIxml(e.name, e.text, why);
  // The description's lines that repeat iXML fields (sSCENE=12) follow them when asked, and are
  // pointed out otherwise.
  std::vector<std::string> notes;
  if (const std::optional<std::string> synced = plan.descriptionInStep()) {
    if (o.syncIxml) {
      plan.set(BextField::kDescription, *synced);
    } else {
      notes.push_back(
          "the description repeats iXML fields in lines such as sSCENE=, which "
          "still give the old values; --sync-ixml rewrites them");
    }
  }
  if (const std::vector<std::string> refusals = plan.refusals(); !refusals.empty()) {
    for (const std::string& refusal : refusals) {
      reportFailure(ctx, "cannot save " + path, refusal + "; nothing was written");
    }
    return;
  }
  std::vector<std::string> changes;
  for (const edit::Plan::Change& c : plan.changes()) {
    changes.push_back(changeLine(c));
  }
  const auto edit = [&changes](const std::string& name, const std::string& before,
                               const std::string& after) {
    if (before != after) {
      changes.push_back(name + ": " + quotedText(before) + " -> " + quotedText(after));
    }
  };
  const std::string oldTimecode = shownTimecode(*parser, rate);
  const uint64_t oldReference = timeReference(*parser);
  const bool hadChunk = parser->chunkFlags() & kBWFFlagBext;
  if (timecode) {
    const auto& t = *timecode;
    if (rate.smpte) {
      const smpte::Label label{uint32_t(t[0]), uint32_t(t[1]), uint32_t(t[2]), uint32_t(t[3])};
      setSmpteTimecode(*parser, *rate.smpte, label);
      edit(option ? "timecode" : "timecode " + rateSourceText(fileRate), oldTimecode,
           smpte::format(*rate.smpte, label));
    } else {
      parser->setTimeCodeHH(t[0], t[1], t[2], t[3], static_cast<int32_t>(std::lround(rate.fps)));
      edit("timecode", oldTimecode, parser->timecodeString());
    }
  }
  const uint64_t newReference = parser->timeReferenceToWrite().value_or(oldReference);
  if (hadChunk && newReference != oldReference) {
    changes.push_back("TimeReference: " + std::to_string(oldReference) + " -> " +
                      std::to_string(newReference) + " samples");
  }
  plan.applyTo(*parser);
  const std::vector<BWFParser::IxmlChange> ixmlChanges = parser->ixmlChanges();
  // Only iXML fields asked for, the bext chunk stays as it is.
  const bool bextSaved = ixmlChanges.empty() || parser->bextEdited();
  for (const BWFParser::IxmlChange& c : ixmlChanges) {
    changes.push_back(changeLine(c));
  }
  if (o.fields[kHistoryOption] &&
      *o.fields[kHistoryOption] != withCrLf(*o.fields[kHistoryOption])) {
    changes.push_back("the coding history's lines are written ending with CR LF");
  }
  const BWFParser::SaveWay way = parser->saveWay();
  const bool newFile =
      (bextSaved && way == BWFParser::SaveWay::kWriteAnew) ||
      (!ixmlChanges.empty() && parser->ixmlSaveWay() == BWFParser::SaveWay::kWriteAnew);
  if (bextSaved && hadChunk && way != BWFParser::SaveWay::kRewrite) {
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
  if (o.dryRun && bextSaved && hadChunk && way == BWFParser::SaveWay::kRewrite &&
      !changes.empty()) {
    changes.push_back("the bext chunk is rewritten in place");
  }
  if (const std::optional<std::string> line = ixmlSaveLine(*parser, o.dryRun)) {
    changes.push_back(*line);
  }
  if (bextSaved && !hadChunk) {
    // Every value the new chunk carries that no edit named: the defaults it is made with, as
    // the parser gives the record a new chunk starts from.
    const auto listed = [&changes](const std::string& name) {
      return std::any_of(changes.begin(), changes.end(),
                         [&](const std::string& c) { return c.starts_with(name + ":"); });
    };
    const auto made = [&plan](BextField field) { return valueShown(field, *plan.current(field)); };
    const std::pair<std::string, std::string> defaults[] = {
        {fieldName(BextField::kOriginationDate), made(BextField::kOriginationDate)},
        {fieldName(BextField::kOriginationTime), made(BextField::kOriginationTime)},
        {fieldName(BextField::kTimeReference),
         std::to_string(parser->timeReferenceToWrite().value_or(0)) + " samples"},
        {fieldName(BextField::kVersion), made(BextField::kVersion)},
        {fieldName(BextField::kCodingHistory), made(BextField::kCodingHistory)}};
    for (const auto& [name, value] : defaults) {
      if (!listed(name)) changes.push_back(name + ": " + value + " (new chunk)");
    }
    const ChunkChain& chain = parser->chunkChain();
    const char* form = containerName(chain.container);
    changes.push_back((chain.has64BitSizes() ? "a new bext chunk after the ds64 chunk"
                                             : "a new bext chunk after the " +
                                                   std::string(form ? form : "RIFF") + " header") +
                      std::string(o.dryRun ? ": the file is written anew" : ""));
  }

  // A file that holds the values already is left untouched where the caller computed them
  // (loudness --write run twice), rather than written again as it was.
  if (o.leaveUnchanged && changes.empty()) {
    ctx.out << displayName(path) << "\n  unchanged\n";
    return;
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
  for (const std::string& note : notes) ctx.out << "  note: " << note << '\n';
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
  const bool field = std::any_of(o.fields.begin(), o.fields.end(),
                                 [](const auto& value) { return value.has_value(); });
  const std::optional<std::vector<IxmlEdit>> ixml = parseIxmlEdits(o, error);
  if (!ixml) return ctx.usageError(error);
  if (!field && !o.timecode && !o.appendCodingHistory && ixml->empty()) {
    return ctx.usageError(
        "set: nothing to set; give --description, --originator, --timecode, --scene or another "
        "field (see set --help)");
  }
  if (o.syncIxml && ixml->empty()) {
    return ctx.usageError(
        "--sync-ixml: rewrites the description's lines that repeat the iXML "
        "fields set; give --scene, --take or another iXML field");
  }
  const std::optional<FieldValues> values = parseFieldValues(o, error);
  if (!values) return ctx.usageError(error);
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
  forEachFile(ctx, list.files, [&](const std::string& path) {
    setFile(ctx, o, path, rate, timecode, *values, *ixml);
  });
  setLogSink(previous);
}

}  // namespace

void setFieldsOfFile(Context& ctx, const std::string& path, const FieldValues& values,
                     bool dryRun) {
  Options o;
  o.dryRun = dryRun;
  o.leaveUnchanged = true;
  setFile(ctx, o, path, std::nullopt, std::nullopt, values);
}

void addSetCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* set = app.add_subcommand("set",
                                     "Change the broadcast extension fields, the timecode or the "
                                     "iXML fields and write the chunks back (the audio is never "
                                     "touched)");
  addPathOptions(set, *o, "WAV files");
  for (size_t i = 0; i < kFieldOptionCount; ++i) {
    const FieldOption& f = kFieldOptions[i];
    set->add_option(f.option, o->fields[i], f.help)->type_name(f.type);
    if (f.field == BextField::kOriginator) {
      set->add_option(
             "--timecode", o->timecode,
             "New start timecode; the time reference becomes the sample where that frame begins")
          ->type_name("HH:MM:SS:FF");
    } else if (f.field == BextField::kCodingHistory) {
      set->add_option("--append-coding-history", o->appendCodingHistory,
                      "Add one line, ended with CR LF, to the coding history")
          ->type_name("LINE");
    }
  }
  for (size_t i = 0; i < kIxmlOptionCount; ++i) {
    const IxmlOption& f = kIxmlOptions[i];
    set->add_option(f.option, o->ixml[i], f.help)->type_name(f.type);
  }
  set->add_option("--track-name", o->trackNames,
                  "New name of the Nth track of the iXML track list, counted from 1 (may be "
                  "repeated)")
      ->type_name("N=NAME");
  set->add_flag("--sync-ixml", o->syncIxml,
                "Also rewrite the description's lines that repeat the iXML fields set "
                "(sSCENE=, sTAKE=, sTAPE=, sPROJECT=, sNOTE=, sCIRCLED=)");
  addFrameRateOption(set, o->rate, o->classic);
  set->add_flag("--dry-run", o->dryRun, "Show what would change without writing");
  set->add_flag("--verify-audio", o->verifyAudio,
                "When the save writes a new file (a new chunk, or a larger one for a longer "
                "coding history), replace the original only if the MD5 of the new file's audio "
                "is the original's");
  set->callback([o, ctx] { runSet(*ctx, *o); });
}

}  // namespace bextkit::cli
