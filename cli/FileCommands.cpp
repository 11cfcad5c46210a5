// show and chunks: what a Broadcast Wave file holds, for people or as JSON Lines for scripts.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "bwf/BWFParser.h"
#include "bwf/Ixml.h"
#include "bwf/SmpteTime.h"
#include "check/Conformance.h"
#include "cli/Arguments.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/FileRate.h"
#include "cli/FileScan.h"
#include "cli/JsonWriter.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "platform/FileHandle.h"
#include "platform/SystemLog.h"
#include "timecode/Smpte.h"

namespace bextkit::cli {

namespace {

struct Options : PathOptions {
  std::string rate;  // none: each file's own
  bool classic = false;
  bool json = false;
  bool verbose = false;
  bool directory = false;
};

// The bits of chunkFlags() and their names.
constexpr std::pair<uint16_t, const char*> kFlagNames[] = {{kBWFFlagRIFF, "RIFF"},
                                                           {kBWFFlagFmt, "fmt"},
                                                           {kBWFFlagIXML, "iXML"},
                                                           {kBWFFlagData, "data"},
                                                           {kBWFFlagBext, "bext"}};

bool hasBext(const BWFParser& p) { return (p.chunkFlags() & kBWFFlagBext) != 0; }
bool hasTimeReference(const BWFParser& p) {
  return p.bextRecord() && p.bextRecord()->timeReference;
}
// The scan derives a timecode when it met a bext chunk and a linear-audio format with a rate.
bool hasTimecode(const BWFParser& p) {
  return hasBext(p) && (p.chunkFlags() & kBWFFlagFmt) != 0 && p.samplePerSeconds() != 0;
}

std::optional<SmpteTime> smpteTimeAt(const BWFParser& p, const FrameRate& rate) {
  return rate.smpte ? cli::smpteTime(p, *rate.smpte) : std::nullopt;
}

// The iXML's fields by name, the other elements under "other"; null without iXML, the reason
// for a document that cannot be read.
void ixmlJson(JsonWriter& j, const BWFParser& p, const IxmlRecord& ixml) {
  j.key("iXML");
  if (!p.chunkChain().first(chunkid::kIXML)) {
    j.null();
    return;
  }
  j.beginObject();
  if (!ixml.wellFormed) {
    j.key("error").string(ixml.error).endObject();
    return;
  }
  for (const bool known : {true, false}) {
    if (!known) j.key("other").beginObject();
    for (const IxmlField& f : ixml.fields) {
      // The XML reader gives names and texts as UTF-8, whatever the document's encoding.
      if (f.known == known) j.key(f.name).string(f.text);
    }
    if (!known) j.endObject();
  }
  j.endObject();
}

// The iXML's fields, one a line, the other elements marked so.
void printIxml(std::ostream& out, const BWFParser& p, const IxmlRecord& ixml) {
  if (!p.chunkChain().first(chunkid::kIXML)) return;
  std::string lines;
  for (const IxmlField& f : ixml.fields) {
    lines += (lines.empty() ? "" : "\n" + std::string(24, ' ')) + f.name + ":" +
             (f.text.empty() ? "" : " " + f.text) + (f.known ? "" : " (other)");
  }
  char label[32];
  std::snprintf(label, sizeof label, "  %-22s", "iXML");
  out << label
      << (ixml.wellFormed ? (lines.empty() ? "no fields" : lines) : "not read: " + ixml.error)
      << '\n';
}

// One JSON Lines record, with its line feed; the file name comes first, written byte for byte
// (JsonWriter::fileName).
std::string jsonLine(const std::string& path, BWFParser* p, const std::string& error,
                     const FileRate* fileRate, const Options& o, const IxmlRecord* ixml) {
  JsonWriter j(2048);
  j.beginObject().key("file").fileName(path);
  if (!p) {
    j.key("error").string(error).endObject();
    return j.takeLine();
  }
  j.key("format");
  if (const std::optional<AudioFormat>& f = p->audioFormat()) {
    j.beginObject().key("tag").number(f->tag).key("name").string(formatName(*f));
    j.key("sampleRate").number(f->sampleRate).key("bitsPerSample").number(f->bitsPerSample);
    j.key("channels").number(f->channels).key("blockAlign").number(f->blockAlign);
    j.key("bytesPerSecond").number(f->bytesPerSecond);
    if (f->channelMask) {
      j.key("validBitsPerSample").number(*f->validBits).key("channelMask").number(*f->channelMask);
      j.key("subFormat").number(*f->subFormat);
    }
    j.endObject();
  } else {
    j.null();
  }
  j.key("audio");
  if (const std::optional<AudioLength> audio = audioLengthOf(*p)) {
    j.beginObject().key("dataSize").number(audio->bytes).key("sampleFrames");
    if (audio->frames) {
      j.number(*audio->frames);
    } else {
      j.null();
    }
    j.key("duration");
    if (audio->seconds) {
      j.number(*audio->seconds);
    } else {
      j.null();
    }
    j.endObject();
  } else {
    j.null();
  }
  j.key("bext");
  if (hasBext(*p)) {
    j.beginObject();
    // A field that a chunk cut short does not hold is null.
    const BextRecord& r = *p->bextRecord();
    const auto text = [&](std::string_view key, const std::optional<std::string>& value) {
      j.plainKey(key);
      if (value) {
        j.displayString(*value);
      } else {
        j.null();
      }
    };
    const auto number = [&](std::string_view key, std::optional<uint64_t> value) {
      j.plainKey(key);
      if (value) {
        j.number(*value);
      } else {
        j.null();
      }
    };
    text("description", r.description);
    text("originator", r.originator);
    text("originatorReference", r.originatorReference);
    text("originationDate", r.originationDate);
    text("originationTime", r.originationTime);
    const std::optional<uint64_t> reference = r.timeReference;
    number("timeReference", reference);
    number("timeReferenceLow",
           reference ? std::optional<uint64_t>(*reference & 0xFFFFFFFFu) : std::nullopt);
    number("timeReferenceHigh",
           reference ? std::optional<uint64_t>(*reference >> 32) : std::nullopt);
    number("version", r.version);
    j.key("umid");
    if (const std::string umid = r.umid ? umidText(*r.umid) : "0"; umid != "0") {
      j.string(umid);
    } else {
      j.null();
    }
    loudnessJson(j, "loudnessValue", r.loudnessOf(BextField::kLoudnessValue));
    loudnessJson(j, "loudnessRange", r.loudnessOf(BextField::kLoudnessRange));
    loudnessJson(j, "maxTruePeakLevel", r.loudnessOf(BextField::kMaxTruePeakLevel));
    loudnessJson(j, "maxMomentaryLoudness", r.loudnessOf(BextField::kMaxMomentaryLoudness));
    loudnessJson(j, "maxShortTermLoudness", r.loudnessOf(BextField::kMaxShortTermLoudness));
    text("codingHistory", r.codingHistory);
    j.endObject();
  } else {
    j.null();
  }
  ixmlJson(j, *p, *ixml);
  // SMPTE timecode at the file's rate; the system's own arithmetic beside it with --classic.
  const FrameRate& rate = fileRate->rate;
  j.key("timecode");
  if (const std::optional<SmpteTime> t =
          hasTimeReference(*p) ? smpteTimeAt(*p, rate) : std::nullopt) {
    j.beginObject().key("value").string(t->label).key("rate").string(smpte::rateName(*rate.smpte));
    j.key("dropFrame").boolean(rate.smpte->dropFrame);
    j.key("frame").number(t->position.frame);
    j.key("samplesPastFrame").number(t->position.samplesPastFrame);
    j.key("moreThanADay").boolean(t->beyondDay);
    j.key("rateSource").string(fileRate->source).endObject();
  } else {
    j.null();
  }
  if (o.classic) {
    j.key("classicTimecode");
    if (hasTimecode(*p)) {
      // The rate as its shortest text reads: 29.97 rather than the double nearest the float.
      j.beginObject().key("fps").number(std::strtod(shortestText(rate.fps).c_str(), nullptr));
      j.key("value").string(p->timecodeString()).key("ticks").number(p->getTicks());
      j.key("rateSource").string(fileRate->source).endObject();
    } else {
      j.null();
    }
  }
  j.key("flags").beginArray();
  for (const auto& [bit, name] : kFlagNames) {
    if (p->chunkFlags() & bit) j.string(name);
  }
  j.endArray().key("chunks").beginArray();
  for (const DirectoryEntry& e : chunkDirectory(*p)) {
    j.beginObject().key("id").displayString(e.id).key("index").number(e.index);
    j.key("start").number(e.start).key("length").number(e.length).endObject();
  }
  j.endArray().key("layout").beginArray();
  const ChunkChain& chain = p->chunkChain();
  for (const ChainChunk& c : chain.chunks) {
    j.beginObject().key("id").displayString(c.id.str());
    j.key("offset").number(c.offset).key("size").number(c.size);
    if (c.form != FourCC()) j.key("form").displayString(c.form.str());
    if (c.truncated) j.key("truncated").boolean(true);
    j.endObject();
  }
  j.endArray().key("container");
  if (const char* container = containerName(chain.container)) {
    j.string(container);
  } else {
    j.null();
  }
  j.endObject();
  return j.takeLine();
}

void printFields(std::ostream& out, BWFParser& p, const FileRate& fileRate) {
  const FrameRate& rate = fileRate.rate;
  const auto row = [&out](const char* label, const std::string& value) {
    char padded[32];
    std::snprintf(padded, sizeof padded, "  %-22s", label);
    out << padded << value << '\n';
  };
  const std::string indent(24, ' ');
  row("Format", formatSummaryOf(p));
  row("Duration", lengthSummaryOf(p));
  if (!hasBext(p)) {
    row("Broadcast extension", "none (no bext chunk)");
    return;
  }
  // A field that a chunk cut short does not hold is missing, not zero.
  const BextRecord& r = *p.bextRecord();
  const std::string missing = "missing (the chunk ends at byte " +
                              std::to_string(r.bytes.size() - BWFChunk::kHeaderSize) + ")";
  const auto field = [&](const char* label, const std::optional<std::string>& value) {
    row(label, value ? displayLines(*value, indent) : missing);
  };
  field("Description", r.description);
  field("Originator", r.originator);
  field("Originator reference", r.originatorReference);
  field("Origination date", r.originationDate);
  field("Origination time", r.originationTime);
  row("Version", r.version ? std::to_string(*r.version) : missing);
  if (!r.umid) {
    row("UMID", missing);
  } else if (const std::string umid = umidText(*r.umid); umid != "0") {
    row("UMID", umid);
  }
  if (r.version.value_or(0) >= 2) {
    std::array<std::optional<int16_t>, kLoudnessFields.size()> values;
    for (size_t i = 0; i < values.size(); ++i) values[i] = r.loudnessOf(kLoudnessFields[i]);
    row("Loudness", loudnessSummary(values));
  }
  row("Time reference",
      r.timeReference ? std::to_string(*r.timeReference) + " samples since midnight" : missing);
  if (!r.timeReference) {
    row("Timecode", "none (no time reference)");
  } else if (const std::optional<SmpteTime> t = smpteTimeAt(p, rate)) {
    const uint64_t past = t->position.samplesPastFrame;
    row("Timecode", t->label + (t->beyondDay ? " (more than a day after midnight)" : "") + " " +
                        rateSourceText(fileRate) + "; " + std::to_string(past) +
                        (past == 1 ? " sample" : " samples") + " past the frame's start");
  } else if (hasTimecode(p)) {
    row("Timecode", p.timecodeString() + " " + rateSourceText(fileRate) + "; " +
                        std::to_string(p.getTicks()) + " samples past the second");
  } else {
    row("Timecode", "none (no sample rate to count by)");
  }
  row("Coding history", r.bytes.size() >= BextRecord::kFixedSize
                            ? displayLines(r.codingHistory.value_or("None"), indent)
                            : missing);
}

// The chunk chain as walked: where each chunk starts, how long its payload is, a LIST chunk's
// form type, and which chunks the fields came from.
void printChain(std::ostream& out, const BWFParser& p) {
  const ChunkChain& chain = p.chunkChain();
  out << "  " << containerName(chain.container) << " form\n";
  char line[128];
  std::snprintf(line, sizeof line, "  %-6s %14s %14s  %s\n", "ID", "Offset", "Size", "Notes");
  // A chunk's notes: its LIST form type, where the fields come from, a truncated end.
  out << line;
  const ChainChunk* fmt = chain.first(chunkid::kFmt);
  const ChainChunk* bext = chain.first(chunkid::kBext);
  for (const ChainChunk& c : chain.chunks) {
    std::string notes = c.form == FourCC() ? "" : "form '" + displayUtf8(c.form.str()) + "'";
    const auto note = [&notes](const char* text) {
      notes += (notes.empty() ? "" : "; ") + std::string(text);
    };
    if (&c == fmt) note("the format comes from here");
    if (&c == bext) note("the bext fields come from here");
    if (c.truncated) note("truncated: runs past the end of the file");
    const std::string id = "'" + displayUtf8(c.id.str()) + "'";
    std::snprintf(line, sizeof line, "  %-6s %14llu %14llu", id.c_str(),
                  static_cast<unsigned long long>(c.offset),
                  static_cast<unsigned long long>(c.size));
    out << line << (notes.empty() ? "" : "  " + notes) << '\n';
  }
  if (chain.broken) {
    out << "  " << (chain.capped ? "stopped" : "broken") << " at offset " << chain.brokenAt
        << (chain.capped
                ? ": the walk ends after " + std::to_string(ChunkChain::kMostChunks) + " chunks"
                : std::string(": the bytes there are no chunk header"))
        << '\n';
    if ((p.chunkFlags() & kBWFFlagBext) && !bext) {
      out << "  the bext fields come from the chunk the scan found at offset " << p.bwfChunkOffset()
          << '\n';
    }
  }
}

void printChunks(std::ostream& out, const BWFParser& p) {
  char line[96];
  std::snprintf(line, sizeof line, "  %-6s %6s %12s %12s\n", "ID", "Index", "Start", "Length");
  out << line;
  for (const DirectoryEntry& e : chunkDirectory(p)) {
    const std::string id = e.id.empty() ? "(none)" : "'" + displayUtf8(e.id) + "'";
    std::snprintf(line, sizeof line, "  %-6s %6d %12u %12lld\n", id.c_str(), e.index, e.start,
                  static_cast<long long>(e.length));
    out << line;
  }
}

enum class View { kShow, kChunks };

void runFiles(Context& ctx, const Options& o, View view) {
  std::string error;
  std::optional<FrameRate> option;
  if (!o.rate.empty() && !(option = parseRate("--rate", o.rate, o.classic, error))) {
    return ctx.usageError(error);
  }
  const ScanMessages messages(o.verbose, ctx.err);
  const PathList list = expandPaths(o);
  reportPathList(ctx, list);
  // The scan's messages go to the error stream as they come, so only a quiet batch runs on
  // every core.
  const Spread spread = o.verbose ? Spread::kOneAtATime : Spread::kReadsInFlight;
  runBatch(ctx, list, spread, "read", [&](const BatchFile& file) {
    const std::string& path = file.path;
    FileOutput output;
    std::string why;
    std::unique_ptr<BWFParser> parser =
        scanFile(path, option ? option->fps : 25.0f, why, {}, file.listed);
    output.failed = !parser;
    if (!parser) {
      if (o.json) {
        output.out = jsonLine(path, nullptr, why, nullptr, o, nullptr);
      } else {
        output.err = failureLine(path, why);
      }
      return output;
    }
    // The iXML is read once, for the rate it states and for its fields.
    XmlDocument document = view == View::kShow || o.json ? check::ixmlOf(*parser) : XmlDocument();
    const FileRate rate = rateOfFile(option, o.classic, *parser, &document);
    const IxmlRecord ixml = decodeIxml(std::move(document));
    if (!rate.note.empty() && view == View::kShow) {
      output.err = "bextkit: " + displayName(path) + ": note: " + rate.note + '\n';
    }
    if (o.json) {
      output.out = jsonLine(path, parser.get(), "", &rate, o, &ixml);
      return output;
    }
    std::ostringstream text;
    text << displayName(path) << '\n';
    if (view == View::kShow) {
      printFields(text, *parser, rate);
      printIxml(text, *parser, ixml);
    } else if (o.directory) {
      printChunks(text, *parser);
    } else {
      printChain(text, *parser);
    }
    output.out = text.str();
    output.block = true;
    return output;
  });
}

void addCommonOptions(CLI::App* command, Options& o) {
  command->add_flag("--json", o.json,
                    "One JSON object per file on one line: file, format, bext, iXML, timecode, "
                    "flags, chunks, layout, container (or error)");
  command->add_flag("--verbose", o.verbose, "Also print the scan's progress messages");
  addFrameRateOption(command, o.rate, o.classic);
}

}  // namespace

void addFileCommands(CLI::App& app, Context& context) {
  auto show = std::make_shared<Options>();
  auto chunks = std::make_shared<Options>();
  Context* ctx = &context;

  CLI::App* showCommand = app.add_subcommand(
      "show", "Audio format, broadcast extension fields and timecode of Broadcast Wave files");
  addPathOptions(showCommand, *show, "WAV files");
  addCommonOptions(showCommand, *show);
  showCommand->callback([show, ctx] { runFiles(*ctx, *show, View::kShow); });

  CLI::App* chunksCommand = app.add_subcommand("chunks",
                                               "The chunks of a WAV file as its chunk sizes lay "
                                               "them out, where they start and how long they are");
  addPathOptions(chunksCommand, *chunks, "WAV files");
  addCommonOptions(chunksCommand, *chunks);
  chunksCommand->add_flag("--directory", chunks->directory,
                          "The scan's chunk directory instead (its Idx, StartPoint and Length)");
  chunksCommand->callback([chunks, ctx] { runFiles(*ctx, *chunks, View::kChunks); });
}

}  // namespace bextkit::cli
