// export: the metadata of many files as one table, a row per file, for a spreadsheet (CSV) or
// for scripts (JSON Lines), with the column names archives already exchange.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include "bwf/BWFChunk.h"
#include "bwf/BextRecord.h"
#include "bwf/ByteOrder.h"
#include "bwf/SmpteTime.h"
#include "check/Conformance.h"
#include "cli/Arguments.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/Csv.h"
#include "cli/FileRate.h"
#include "cli/FileScan.h"
#include "cli/JsonWriter.h"
#include "cli/Paths.h"
#include "cli/Text.h"

namespace bextkit::cli {

namespace {

struct Options : PathOptions {
  bool csv = false;
  bool json = false;
  std::string rate;  // none: each file's own
  bool classic = false;
};

// After the broadcast extension's columns, the INFO fields archives use most.
constexpr std::array<const char*, 17> kInfoColumns = {
    "IARL", "IART", "ICMS", "ICMT", "ICOP", "ICRD", "IENG", "IGNR", "IKEY",
    "IMED", "INAM", "IPRD", "ISBJ", "ISFT", "ISRC", "ISRF", "ITCH"};

using Row = std::vector<std::pair<std::string, std::string>>;  // column, value

// The fields the parser does not keep, from the chunk image: only those the chunk holds.
void addRecordFields(Row& row, const BWFParser& p) {
  const BWFChunk* image = p.bwfChunk();
  const ChunkChain& chain = p.chunkChain();
  const uint8_t* bytes = image->bytes.data();
  const uint64_t size = chain.bigEndianSizes() ? loadBE32(bytes, BWFChunk::kCkSize.offset)
                                               : loadLE32(bytes, BWFChunk::kCkSize.offset);
  const auto holds = [&](const BWFChunk::Field& f) {
    return f.end() <= BWFChunk::kHeaderSize + size;
  };
  const auto load16 = [&](const BWFChunk::Field& f) {
    return chain.bigEndianRecord() ? loadBE16(bytes, f.offset) : loadLE16(bytes, f.offset);
  };
  const uint16_t version = holds(BWFChunk::kVersion) ? load16(BWFChunk::kVersion) : 0;
  row.emplace_back("BextVersion", holds(BWFChunk::kVersion) ? std::to_string(version) : "");
  std::string umid;
  if (holds(BWFChunk::kUMID)) {
    std::array<uint8_t, BWFChunk::kUMID.width> field{};
    std::copy_n(bytes + BWFChunk::kUMID.offset, field.size(), field.begin());
    umid = umidText(field);
    if (umid == "0") umid.clear();
  }
  row.emplace_back("UMID", umid);
  for (const auto& [name, field] : {std::pair{"LoudnessValue", BWFChunk::kLoudnessValue},
                                    {"LoudnessRange", BWFChunk::kLoudnessRange},
                                    {"MaxTruePeakLevel", BWFChunk::kMaxTruePeakLevel},
                                    {"MaxMomentaryLoudness", BWFChunk::kMaxMomentaryLoudness},
                                    {"MaxShortTermLoudness", BWFChunk::kMaxShortTermLoudness}}) {
    std::string value;
    // Version 2 keeps loudness here; earlier versions reserve the bytes.
    if (version >= 2 && holds(field)) {
      value = loudnessText(static_cast<int16_t>(load16(field)), "");
    }
    row.emplace_back(name, value);
  }
}

// One file's row, the bext columns empty where the file has no bext chunk.
Row rowOf(const std::string& path, BWFParser& p, const std::optional<smpte::Rate>& rate) {
  Row row = {{"FileName", path}};
  const bool bext = (p.chunkFlags() & kBWFFlagBext) != 0;
  // A field that a chunk cut short does not hold has an empty cell, as one of no chunk.
  const auto held = [&](const BWFChunk::Field& f) { return bext && p.chunkHolds(f); };
  const auto text = [&](const BWFChunk::Field& f, const std::string& bytes) {
    return held(f) ? displayUtf8(bytes) : "";
  };
  row.emplace_back("Description", text(BWFChunk::kDescription, p.description()));
  row.emplace_back("Originator", text(BWFChunk::kOriginator, p.originator()));
  row.emplace_back("OriginatorReference",
                   text(BWFChunk::kOriginatorReference, p.originatorReference()));
  row.emplace_back("OriginationDate", text(BWFChunk::kOriginationDate, p.creationdate()));
  row.emplace_back("OriginationTime", text(BWFChunk::kOriginationTime, p.creationtime()));
  const bool reference = held(BWFChunk::kTimeReferenceHigh);
  const std::optional<SmpteTime> at = rate && reference ? smpteTime(p, *rate) : std::nullopt;
  // Under --classic the system's own arithmetic gives the label, where it can count one.
  const bool classic = !rate && reference && p.samplePerSeconds() != 0;
  row.emplace_back("TimeReference (translated)", at        ? at->label
                                                 : classic ? p.timecodeString()
                                                           : "");
  row.emplace_back("TimeReference", reference ? std::to_string(timeReference(p)) : "");
  if (bext) {
    addRecordFields(row, p);
  } else {
    for (const char* name : {"BextVersion", "UMID", "LoudnessValue", "LoudnessRange",
                             "MaxTruePeakLevel", "MaxMomentaryLoudness", "MaxShortTermLoudness"}) {
      row.emplace_back(name, "");
    }
  }
  row.emplace_back("CodingHistory",
                   p.hasCodingHistory()
                       ? text({BWFChunk::kCodingHistory.offset, 0}, p.fullCodingHistory())
                       : "");
  return row;
}

std::vector<check::InfoEntry> infoOf(const std::string& path, const BWFParser& p) {
  std::unique_ptr<FileHandle> file = FileHandle::openForReading(path);
  if (!file) return {};
  const uint64_t size = file->seekToEndOfFile();
  return check::readInfoEntries(*file, size, p.chunkChain());
}

void run(Context& ctx, const Options& o) {
  if (o.csv == o.json) return ctx.usageError("give one of --csv and --json");
  std::string error;
  std::optional<FrameRate> option;
  if (!o.rate.empty() && !(option = parseRate("--rate", o.rate, o.classic, error))) {
    return ctx.usageError(error);
  }
  const PathList list = expandPaths(o);
  reportPathList(ctx, list);
  const ScanMessages quiet(false, ctx.err);
  if (o.csv) {
    std::vector<std::string> header(csv::kBextColumns.begin(), csv::kBextColumns.end());
    header.insert(header.end(), kInfoColumns.begin(), kInfoColumns.end());
    ctx.out << csv::record(header);
  }
  runBatch(ctx, list.files, true, "exported", [&](const std::string& path) {
    FileOutput output;
    std::string why;
    std::unique_ptr<BWFParser> parser = scanFile(path, option ? option->fps : 25.0f, why);
    if (!parser) {
      output.err = failureLine(path, why);
      output.failed = true;
      return output;
    }
    Row row = rowOf(path, *parser, rateOfFile(option, o.classic, *parser).rate.smpte);
    const std::vector<check::InfoEntry> info = infoOf(path, *parser);
    if (o.csv) {
      std::vector<std::string> fields;
      // A text that a spreadsheet would run as a formula goes with a quote before it.
      for (auto& [column, value] : row) {
        fields.push_back(csv::isTextColumn(column) ? csv::textCell(value) : std::move(value));
      }
      for (const char* column : kInfoColumns) {
        const auto entry = std::find_if(info.begin(), info.end(),
                                        [&](const check::InfoEntry& e) { return e.id == column; });
        fields.push_back(entry == info.end() ? "" : csv::textCell(displayUtf8(entry->value)));
      }
      output.out = csv::record(fields);
      return output;
    }
    // Written as show --json writes: the file name byte for byte, the texts as UTF-8; each
    // INFO field once, the first of its ID.
    JsonWriter j;
    j.beginObject();
    for (const auto& [column, value] : row) {
      j.key(column);
      if (column == "FileName") {
        j.fileName(value);
      } else {
        j.string(displayUtf8(value));
      }
    }
    j.key("INFO").beginObject();
    std::set<std::string> ids;
    for (const check::InfoEntry& e : info) {
      if (ids.insert(displayUtf8(e.id)).second)
        j.key(displayUtf8(e.id)).string(displayUtf8(e.value));
    }
    j.endObject().endObject();
    output.out = j.text() + '\n';
    return output;
  });
}

}  // namespace

void addExportCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* command = app.add_subcommand(
      "export",
      "The metadata of WAV files as a table, one row per file: CSV for a spreadsheet (import "
      "reads it back) or JSON Lines");
  addPathOptions(command, *o, "WAV files");
  command->add_flag("--csv", o->csv,
                    "RFC 4180 CSV in UTF-8: a header row, then FileName, Description, ..., "
                    "CodingHistory and the INFO fields IARL to ITCH");
  command->add_flag("--json", o->json,
                    "One JSON object per file on one line, with the same names and an INFO "
                    "object of every INFO field present");
  addFrameRateOption(command, o->rate, o->classic);
  command->callback([o, ctx] { run(*ctx, *o); });
}

}  // namespace bextkit::cli
