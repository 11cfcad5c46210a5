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
#include "cli/ExportTable.h"
#include "cli/FileRate.h"
#include "cli/FileScan.h"
#include "cli/JsonWriter.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "edit/FieldEdit.h"

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

// What a row is made from: the file, its decoded record (none without a bext chunk) and its
// timecode.
struct RowSource {
  const std::string& path;
  BWFParser& parser;  // timecodeString counts as it reads
  const BextRecord* bext;
  std::optional<SmpteTime> at;  // at the rate asked for or stated
  bool classic;                 // under --classic: the system's own label
};

std::string textOf(const std::optional<std::string>& text) {
  return text ? displayUtf8(*text) : std::string();
}

std::string loudnessOf(const RowSource& s, BextField field) {
  const std::optional<int16_t> value = s.bext ? s.bext->loudnessOf(field) : std::nullopt;
  return value ? loudnessText(*value, "") : std::string();
}

// The value of each column of csv::kBextColumns, in its order; an empty cell where the file has
// no bext chunk or the chunk ends before the field.
using ColumnValue = std::string (*)(const RowSource&);
constexpr std::array<ColumnValue, csv::kBextColumns.size()> kColumnValues = {
    [](const RowSource& s) { return s.path; },
    [](const RowSource& s) { return s.bext ? textOf(s.bext->description) : ""; },
    [](const RowSource& s) { return s.bext ? textOf(s.bext->originator) : ""; },
    [](const RowSource& s) { return s.bext ? textOf(s.bext->originatorReference) : ""; },
    [](const RowSource& s) { return s.bext ? textOf(s.bext->originationDate) : ""; },
    [](const RowSource& s) { return s.bext ? textOf(s.bext->originationTime) : ""; },
    [](const RowSource& s) -> std::string {
      if (!s.bext || !s.bext->timeReference) return "";
      if (s.at) return s.at->label;
      // Under --classic the system's own arithmetic gives the label, where it can count one.
      const bool counted = s.classic && s.parser.samplePerSeconds() != 0;
      return counted ? s.parser.timecodeString() : "";
    },
    [](const RowSource& s) {
      return s.bext && s.bext->timeReference ? std::to_string(*s.bext->timeReference) : "";
    },
    [](const RowSource& s) {
      return s.bext && s.bext->version ? std::to_string(*s.bext->version) : "";
    },
    [](const RowSource& s) -> std::string {
      const std::string umid = s.bext && s.bext->umid ? umidText(*s.bext->umid) : "0";
      return umid == "0" ? "" : umid;
    },
    [](const RowSource& s) { return loudnessOf(s, BextField::kLoudnessValue); },
    [](const RowSource& s) { return loudnessOf(s, BextField::kLoudnessRange); },
    [](const RowSource& s) { return loudnessOf(s, BextField::kMaxTruePeakLevel); },
    [](const RowSource& s) { return loudnessOf(s, BextField::kMaxMomentaryLoudness); },
    [](const RowSource& s) { return loudnessOf(s, BextField::kMaxShortTermLoudness); },
    [](const RowSource& s) { return s.bext ? textOf(s.bext->codingHistory) : ""; },
};

// One file's bext cells, empty where the file has no bext chunk.
std::vector<std::string> bextCells(const std::string& path, BWFParser& p,
                                   const std::optional<smpte::Rate>& rate) {
  const std::optional<BextRecord>& bext = p.bextRecord();
  const bool reference = bext && bext->timeReference;
  const RowSource source{path, p, bext ? &*bext : nullptr,
                         rate && reference ? smpteTime(p, *rate) : std::nullopt, !rate};
  std::vector<std::string> cells;
  for (const ColumnValue& value : kColumnValues) cells.push_back(value(source));
  return cells;
}

// A file's row at the rate given (none: the rate the file states).
std::optional<TableRow> rowOf(const BatchFile& file, const std::optional<FrameRate>& option,
                              bool classic, std::string& why) {
  const std::string& path = file.path;
  std::vector<check::InfoEntry> info;
  std::unique_ptr<BWFParser> parser =
      check::scanWithInfo(path, option ? option->fps : 25.0f, info, why, file.listed);
  if (!parser) return std::nullopt;
  // The iXML is read once, for its fields and for the rate it states.
  const XmlDocument document = check::ixmlOf(*parser);
  TableRow row{bextCells(path, *parser, rateOfFile(option, classic, *parser, &document).rate.smpte),
               std::move(info), decodeIxml(document)};
  for (const char* column : kInfoColumns) {
    const auto entry = std::find_if(row.info.begin(), row.info.end(),
                                    [&](const check::InfoEntry& e) { return e.id == column; });
    row.cells.push_back(entry == row.info.end() ? "" : displayUtf8(entry->value));
  }
  for (const std::string_view name : edit::kIxmlTableFields) {
    const IxmlField* field = row.ixml.find(name);
    row.cells.push_back(field ? displayUtf8(field->text) : "");
  }
  return row;
}

// The CSV header: the broadcast extension's columns, then the INFO fields.
std::string csvHeader() { return csv::record(tableColumns()); }

// A file's CSV record: a text that a spreadsheet would run as a formula goes with a quote before
// it.
std::string csvRecordOf(const TableRow& row) {
  static const std::vector<std::string> columns = tableColumns();
  std::vector<std::string> fields;
  for (size_t i = 0; i < columns.size(); ++i) {
    fields.push_back(csv::isTextColumn(columns[i]) ? csv::textCell(row.cells[i]) : row.cells[i]);
  }
  return csv::record(fields);
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
  if (o.csv) ctx.out << csvHeader();
  runBatch(ctx, list, Spread::kReadsInFlight, "exported", [&](const BatchFile& file) {
    FileOutput output;
    std::string why;
    const std::optional<TableRow> row = rowOf(file, option, o.classic, why);
    if (!row) {
      output.err = failureLine(file.path, why);
      output.failed = true;
      return output;
    }
    if (o.csv) {
      output.out = csvRecordOf(*row);
      return output;
    }
    // Written as show --json writes: the file name byte for byte, the texts as UTF-8; each
    // INFO field once, the first of its ID.
    JsonWriter j;
    j.beginObject();
    for (size_t i = 0; i < csv::kBextColumns.size(); ++i) {
      j.key(csv::kBextColumns[i]);
      if (i == 0) {
        j.fileName(row->cells[i]);
      } else {
        j.string(row->cells[i]);
      }
    }
    j.key("INFO").beginObject();
    std::set<std::string> ids;
    for (const check::InfoEntry& e : row->info) {
      if (ids.insert(displayUtf8(e.id)).second) j.key(displayUtf8(e.id)).displayString(e.value);
    }
    j.endObject().key("iXML").beginObject();
    for (const IxmlField& f : row->ixml.fields) {
      j.key(displayUtf8(f.name)).displayString(f.text);
    }
    j.endObject().endObject();
    output.out = j.takeLine();
    return output;
  });
}

}  // namespace

std::vector<std::string> tableColumns() {
  std::vector<std::string> columns(csv::kBextColumns.begin(), csv::kBextColumns.end());
  columns.insert(columns.end(), kInfoColumns.begin(), kInfoColumns.end());
  for (const std::string_view name : edit::kIxmlTableFields) {
    columns.push_back(std::string(edit::kIxmlPrefix) + std::string(name));
  }
  return columns;
}

std::optional<TableRow> tableRow(const std::string& path, const std::string& rateName,
                                 std::string& why) {
  std::optional<FrameRate> option;
  if (!rateName.empty() && !(option = parseRate("rate", rateName, false, why))) {
    return std::nullopt;
  }
  return rowOf({path}, option, false, why);
}

bool writeCsvTable(const std::vector<std::pair<std::string, std::string>>& files, std::ostream& out,
                   std::ostream& err) {
  const ScanMessages quiet(false, err);
  bool good = true;
  out << csvHeader();
  for (const auto& [path, rateName] : files) {
    std::string why;
    if (const std::optional<TableRow> row = tableRow(path, rateName, why)) {
      out << csvRecordOf(*row);
    } else {
      err << failureLine(path, why);
      good = false;
    }
  }
  return good;
}

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
                    "CodingHistory, the INFO fields IARL to ITCH and iXML:PROJECT to "
                    "iXML:SPEED/TIMECODE_FLAG");
  command->add_flag("--json", o->json,
                    "One JSON object per file on one line, with the same names, an INFO object "
                    "of every INFO field present and an iXML object of every iXML field");
  addFrameRateOption(command, o->rate, o->classic);
  command->callback([o, ctx] { run(*ctx, *o); });
}

}  // namespace bextkit::cli
