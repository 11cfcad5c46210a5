// import: writes the broadcast extension fields of a CSV table (export's columns, as a
// spreadsheet saves them) into the files its rows name. Every row is checked, and every file
// read, before the first file is written, so that a table with a mistake changes nothing.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <thread>

#include "bwf/BWFChunk.h"
#include "bwf/BWFParser.h"
#include "bwf/SmpteTime.h"
#include "check/ValueRules.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Csv.h"
#include "cli/ExportTable.h"
#include "cli/FileRate.h"
#include "cli/FileScan.h"
#include "cli/Paths.h"
#include "cli/Text.h"
#include "edit/FieldEdit.h"
#include "platform/ExceptionReason.h"
#include "platform/FileHandle.h"
#include "timecode/CNumbers.h"
#include "timecode/Smpte.h"

namespace bextkit::cli {

namespace {

namespace fs = std::filesystem;

struct Options {
  std::string table;
  std::string rate;  // none: each file's own
  bool dryRun = false;
  bool continueErrors = false;
  bool verbose = false;
  bool allowOutside = false;
};

// The columns import writes, named as export's header names them.
enum Column : size_t {
  kFileName,
  kDescription,
  kOriginator,
  kOriginatorReference,
  kOriginationDate,
  kOriginationTime,
  kTimecode,
  kTimeReference,
  kVersion,
  kUmid,
  kLoudnessValue,
  kLoudnessRange,
  kMaxTruePeakLevel,
  kMaxMomentaryLoudness,
  kMaxShortTermLoudness,
  kCodingHistory,
  kColumnCount
};
constexpr const auto& kColumnNames = csv::kBextColumns;
static_assert(kColumnNames.size() == kColumnCount);

// A cell holding exactly this clears its field: an empty text, a zero UMID, time reference or
// version, a loudness value marked as not measured. An empty cell leaves the field as it is.
constexpr std::string_view kClear = "<clear>";

// The columns of the record's fields, which the edit layer reads.
constexpr std::pair<Column, BextField> kFieldColumns[] = {
    {kDescription, BextField::kDescription},
    {kOriginator, BextField::kOriginator},
    {kOriginatorReference, BextField::kOriginatorReference},
    {kOriginationDate, BextField::kOriginationDate},
    {kOriginationTime, BextField::kOriginationTime},
    {kVersion, BextField::kVersion},
    {kUmid, BextField::kUmid},
    {kLoudnessValue, BextField::kLoudnessValue},
    {kLoudnessRange, BextField::kLoudnessRange},
    {kMaxTruePeakLevel, BextField::kMaxTruePeakLevel},
    {kMaxMomentaryLoudness, BextField::kMaxMomentaryLoudness},
    {kMaxShortTermLoudness, BextField::kMaxShortTermLoudness},
    {kCodingHistory, BextField::kCodingHistory}};

// What a file holds now, for telling a cell that changes a field from one that repeats it.
struct Current {
  uint64_t timeReference = 0;
  std::optional<smpte::Label> label;  // of the time reference; none without a sample rate
};

Current currentFields(const BWFParser& parser, const smpte::Rate& rate) {
  Current c{timeReference(parser), std::nullopt};
  if (const auto position = smptePosition(parser, rate)) {
    c.label = smpte::labelFromFrames(rate, position->frame);
  } else if (!(parser.chunkFlags() & kBWFFlagBext) && timeReferenceRate(parser) != 0) {
    c.label = smpte::Label{};  // a new chunk starts at midnight
  }
  return c;
}

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The header: where each column is, and the names that import does not write.
struct Header {
  std::array<std::optional<size_t>, kColumnCount> index{};
  size_t width = 0;  // the number of cells in the header row
  std::vector<std::string> info, unknown;
  std::vector<std::pair<size_t, std::string>> ixml;  // a column's place and its iXML field
};

// INFO entries are four characters, 'I' and three capitals (IART, ICMT, ISFT ...).
bool isInfoId(std::string_view name) {
  return name.size() == 4 && name[0] == 'I' &&
         std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// One row of the table: its file, the edits made on the file's parser, and the changes as a
// verbose import lists them.
struct RowEdit {
  size_t row = 0;                  // the record's number in the table, the header being 1
  std::string path;                // the file the row's name resolves to, every link followed
  std::optional<FileStamp> stamp;  // the file as it stood before it was read
  std::unique_ptr<BWFParser> parser;
  std::vector<std::string> changes;
  std::vector<std::string> problems;  // "COLUMN: reason"
  smpte::Rate rate{};   // of the row's timecode: --rate, else the one its file states, else 25
  bool saved = false;   // saved, or in a dry run (and before saving) every check passed
  std::string failure;  // why the save failed before the parser ran it, or threw
};

constexpr size_t kSaveThreads = 8;

class Importer {
 public:
  Importer(Context& ctx, const Options& o, const std::optional<FrameRate>& rate)
      : ctx_(ctx), o_(o), option_(rate) {}

  void run() {
    std::vector<csv::Row> rows;
    if (!readTable(rows)) return fail();
    Header header;
    if (!readHeader(rows.front(), header)) return fail();
    if (!header.unknown.empty()) {
      ctx_.err << "bextkit: " << o_.table << ": note: columns ignored: " << joined(header.unknown)
               << '\n';
    }
    if (!header.info.empty()) {
      ctx_.err << "bextkit: " << o_.table
               << ": note: INFO fields are not written by import (columns " << joined(header.info)
               << ")\n";
    }

    std::error_code error;
    const fs::path table(o_.table);
    folder_ = fs::canonical(table.has_parent_path() ? table.parent_path() : fs::path("."), error);
    if (error) {
      ctx_.err << "bextkit: " << o_.table << ": its folder cannot be resolved: " << error.message()
               << '\n';
      return fail();
    }

    std::vector<RowEdit> edits;
    std::map<FileIdentity, size_t> seen;  // each file's first row
    size_t invalid = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
      const csv::Row& cells = rows[r];
      if (std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); })) {
        continue;  // a blank line
      }
      RowEdit edit;
      edit.row = r + 1;
      try {
        planRow(header, cells, edit);
      } catch (...) {
        // Reading the file threw: the row fails as a row whose file cannot be read does.
        edit.problems.push_back(std::string(kColumnNames[kFileName]) + ": " +
                                (edit.path.empty() ? "" : edit.path + ": ") +
                                currentExceptionReason());
        edit.parser.reset();
      }
      if (edit.parser && edit.stamp) {
        const auto [first, isNew] = seen.try_emplace(edit.stamp->identity, edit.row);
        if (!isNew) {
          edit.problems.push_back(std::string(kColumnNames[kFileName]) +
                                  ": the file is also named in row " +
                                  std::to_string(first->second));
        }
      }
      for (const std::string& problem : edit.problems) {
        ctx_.err << o_.table << ':' << edit.row << ": " << problem << '\n';
      }
      if (!edit.problems.empty()) {
        ++invalid;
        continue;
      }
      edits.push_back(std::move(edit));
    }
    if (invalid && !o_.continueErrors) {
      ctx_.err << "bextkit: " << o_.table << ": " << plural(invalid, "row has", "rows have")
               << " errors; nothing was written (--continue-errors writes the other rows)\n";
      return fail();
    }
    apply(edits, invalid);
  }

 private:
  void fail() { ctx_.status = 1; }

  bool readTable(std::vector<csv::Row>& rows) {
    std::string why;
    const std::unique_ptr<FileHandle> file = FileHandle::openForReading(o_.table, &why);
    if (!file) {
      ctx_.err << "bextkit: " << o_.table << ": " << why << '\n';
      return false;
    }
    const uint64_t size = file->seekToEndOfFile();
    file->seekToFileOffset(0);
    std::string text(static_cast<size_t>(size), '\0');
    text.resize(file->read(reinterpret_cast<uint8_t*>(text.data()), text.size()));
    std::optional<std::vector<csv::Row>> parsed = csv::parse(text, why);
    if (!parsed) {
      ctx_.err << "bextkit: " << o_.table << ": " << why << '\n';
      return false;
    }
    if (parsed->empty()) {
      ctx_.err << "bextkit: " << o_.table << ": the table is empty; its first row names the "
               << "columns\n";
      return false;
    }
    // A table cut short (a full disk while it was written) ends inside its last row: that row has
    // no line end and fewer cells than the header, and its last cell may be cut too.
    if (parsed->size() > 1 && !text.empty() && text.back() != '\n' &&
        parsed->back().size() < parsed->front().size()) {
      ctx_.err << "bextkit: " << o_.table << ": row " << parsed->size()
               << " ends without a line end and holds " << parsed->back().size() << " of the "
               << parsed->front().size()
               << " cells: the table was cut short; nothing was written\n";
      return false;
    }
    rows = std::move(*parsed);
    return true;
  }

  bool readHeader(const csv::Row& names, Header& header) {
    bool good = true;
    header.width = names.size();
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string_view name = trimmed(names[i]);
      // Names match whatever their case: "filename" and "FILENAME" are FileName.
      const auto sameName = [name](std::string_view column) {
        return std::equal(name.begin(), name.end(), column.begin(), column.end(),
                          [](char a, char b) { return std::tolower(a) == std::tolower(b); });
      };
      const auto known = std::find_if(kColumnNames.begin(), kColumnNames.end(), sameName);
      if (known != kColumnNames.end()) {
        std::optional<size_t>& at = header.index[static_cast<size_t>(known - kColumnNames.begin())];
        if (at) {
          ctx_.err << o_.table << ":1: " << name << ": the column appears twice\n";
          good = false;
        }
        at = i;
      } else if (isInfoId(name)) {
        header.info.emplace_back(name);
      } else if (name.starts_with(edit::kIxmlPrefix) && name.size() > edit::kIxmlPrefix.size()) {
        header.ixml.emplace_back(i, name.substr(edit::kIxmlPrefix.size()));
      } else if (!name.empty()) {
        header.unknown.emplace_back(name);
      }
    }
    if (!header.index[kFileName]) {
      ctx_.err << o_.table << ":1: FileName: the header has no FileName column, which names "
               << "each row's file\n";
      good = false;
    } else if (header.ixml.empty() &&
               std::none_of(header.index.begin() + 1, header.index.end(),
                            [](const std::optional<size_t>& at) { return at.has_value(); })) {
      ctx_.err << o_.table << ":1: the header names no column that import writes (Description, "
               << "Originator, ... as export names them)\n";
      good = false;
    }
    return good;
  }

  // A name is taken from the table's folder (an absolute name as it stands) with every symbolic
  // link in it followed, so that what a table names is the file beside it, wherever import runs.
  // A name that then lies outside the folder is refused unless --allow-outside, and so is a name
  // holding a NUL or another control byte (which a spreadsheet or a mail can hide).
  std::optional<std::string> resolve(std::string_view name, std::string& why) const {
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
      why = "the name holds a control byte; such names are refused";
      return std::nullopt;
    }
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(folder_ / fs::path(name), error);
    if (error) {
      why = error.message();
      return std::nullopt;
    }
    const fs::path within = resolved.lexically_relative(folder_);
    if (!o_.allowOutside && (within.empty() || *within.begin() == "..")) {
      why = "resolves to " + displayName(resolved.string()) + ", outside the table's folder " +
            displayName(folder_.string()) + " (--allow-outside writes it)";
      return std::nullopt;
    }
    return resolved.string();
  }

  // Checks each cell of a row, and makes its edits on the file's parser.
  void planRow(const Header& header, const csv::Row& cells, RowEdit& edit) const {
    std::array<std::string_view, kColumnCount> cell{};
    for (size_t c = 0; c < kColumnCount; ++c) {
      if (header.index[c] && *header.index[c] < cells.size()) cell[c] = cells[*header.index[c]];
      // A text cell may carry the quote that export puts before a formula-like text.
      if (csv::isTextColumn(kColumnNames[c])) cell[c] = csv::fromTextCell(cell[c]);
    }
    const auto problem = [&edit](Column column, const std::string& why) {
      edit.problems.push_back(std::string(kColumnNames[column]) + ": " + why);
    };
    const auto lastFilled =
        std::find_if(cells.rbegin(), cells.rend(), [](const std::string& c) { return !c.empty(); });
    if (const auto filled = static_cast<size_t>(cells.rend() - lastFilled); filled > header.width) {
      edit.problems.push_back("cell " + std::to_string(filled) + " lies past the header's " +
                              std::to_string(header.width) + " columns");
    }
    if (cell[kFileName].empty()) {
      problem(kFileName, "empty; each row names its file");
    } else {
      std::string why;
      if (std::optional<std::string> path = resolve(cell[kFileName], why)) {
        edit.path = std::move(*path);
        edit.stamp = fileStamp(edit.path);
        edit.parser = scanFile(edit.path, 25.0f, why);
        if (!edit.parser) problem(kFileName, edit.path + ": " + why);
      } else {
        problem(kFileName, displayName(std::string(cell[kFileName])) + ": " + why);
      }
    }
    // Without the file, the cells are still checked, each as a change.
    const bool known = edit.parser != nullptr;
    edit.rate = known     ? *rateOfFile(option_, false, *edit.parser).rate.smpte
                : option_ ? *option_->smpte
                          : defaultRate();
    const Current now = known ? currentFields(*edit.parser, edit.rate) : Current{};

    // The fields through the edit layer: a cell that shows what the file holds changes
    // nothing, and a plan refused names each field and why.
    std::optional<edit::Plan> plan;
    if (known) plan.emplace(*edit.parser);
    for (const auto& [column, field] : kFieldColumns) {
      const bool text = csv::isTextColumn(kColumnNames[column]);
      const std::string_view given = text ? cell[column] : trimmed(cell[column]);
      if (given.empty()) continue;
      const std::string_view value = given != kClear                ? given
                                     : field == BextField::kVersion ? "0"
                                                                    : "";
      // Without the file, the value is checked as set checks it.
      std::string why;
      if (plan ? !plan->take(field, value, why) : !edit::parseValue(field, value, why)) {
        problem(column, why);
      }
    }
    for (const auto& [at, name] : header.ixml) {
      const std::string_view given = at < cells.size() ? csv::fromTextCell(cells[at]) : "";
      if (given.empty()) continue;
      const std::string_view value = given != kClear ? given : "";
      std::string why;
      if (plan ? !plan->takeIxml(name, value, why) : !edit::ixmlValue(name, value, why)) {
        edit.problems.push_back(std::string(edit::kIxmlPrefix) + name + ": " + why);
      }
    }
    planTimeReference(cell[kTimecode], cell[kTimeReference], now, known, edit);

    if (!known || !edit.problems.empty()) return;
    const std::vector<std::string> refusals = plan->refusals();
    edit.problems.insert(edit.problems.end(), refusals.begin(), refusals.end());
    if (!edit.problems.empty()) return;
    for (const edit::Plan::Change& c : plan->changes()) {
      edit.changes.push_back(changeLine(c, "not measured"));
    }
    plan->applyTo(*edit.parser);
    for (const BWFParser::IxmlChange& c : edit.parser->ixmlChanges()) {
      edit.changes.push_back(changeLine(c));
    }
    if (edit.parser->bextEdited() && !(edit.parser->chunkFlags() & kBWFFlagBext)) {
      const ChunkChain& chain = edit.parser->chunkChain();
      const char* form = containerName(chain.container);
      edit.changes.push_back(chain.has64BitSizes()
                                 ? "a new bext chunk after the ds64 chunk"
                                 : "a new bext chunk after the " +
                                       std::string(form ? form : "RIFF") + " header");
    }
  }

  // The time reference in samples, or as timecode at --rate; both given, they must agree. The
  // samples are taken where they move the time reference, the timecode only where it changes
  // the frame (a recorder's stamp a few samples past its frame stays where it is).
  void planTimeReference(std::string_view timecodeCell, std::string_view samplesCell,
                         const Current& now, bool known, RowEdit& edit) const {
    const auto problem = [&edit](Column column, const std::string& why) {
      edit.problems.push_back(std::string(kColumnNames[column]) + ": " + why);
    };
    std::optional<uint64_t> samples;
    if (const std::string_view text = trimmed(samplesCell); !text.empty()) {
      samples = text == kClear ? 0 : cnum::wholeDecimal(text);
      if (!samples) {
        problem(kTimeReference,
                "expected a count of samples from 0 to 18446744073709551615, "
                "got '" +
                    std::string(text) + "'");
      }
    }
    std::optional<smpte::Label> label;
    if (const std::string_view text = trimmed(timecodeCell); !text.empty()) {
      std::string why;
      // The file's own label as export wrote it is no change, even one a day or more after
      // midnight, which no typed label may be.
      if (known && now.label && text == smpte::format(edit.rate, *now.label)) {
        label = now.label;
      } else {
        label = text == kClear ? smpte::Label{} : smpte::parseLabel(edit.rate, text, why);
      }
      if (!label) problem(kTimecode, why);
    }
    if (!known || !edit.problems.empty()) return;
    const bool samplesChange = samples && *samples != now.timeReference;
    if (!samplesChange && (!label || *label == now.label)) return;
    if (label && !now.label) {
      problem(kTimecode, "the file states no sample rate to place a timecode by");
      return;
    }
    const uint32_t sampleRate = timeReferenceRate(*edit.parser);
    const auto labelOf = [&](uint64_t sample) {
      return smpte::labelFromFrames(edit.rate,
                                    smpte::positionOfSample(edit.rate, sample, sampleRate).frame);
    };
    if (label && samples && labelOf(*samples) != *label) {
      problem(kTimecode, smpte::format(edit.rate, *label) + " is not the timecode of the " +
                             std::string(kColumnNames[kTimeReference]) + " " +
                             std::to_string(*samples) + " (" +
                             smpte::format(edit.rate, labelOf(*samples)) +
                             "); change one of them and leave the other empty");
      return;
    }
    if (samplesChange) {
      edit.parser->setTimeReference(*samples);
    } else {
      setSmpteTimecode(*edit.parser, edit.rate, *label);
    }
    const uint64_t after = edit.parser->timeReferenceToWrite().value_or(now.timeReference);
    if (now.label && labelOf(after) != *now.label) {
      edit.changes.push_back("timecode: \"" + smpte::format(edit.rate, *now.label) + "\" -> \"" +
                             smpte::format(edit.rate, labelOf(after)) + "\"");
    }
    edit.changes.push_back("time reference: " + std::to_string(now.timeReference) + " -> " +
                           std::to_string(after) + " samples");
  }

  // Makes every check of a save for each file that changes, all before the first write: the
  // file is still the one that was read, and the save would succeed. Then, unless this is a dry
  // run or a check failed (and --continue-errors was not given), writes them; and counts them,
  // listing what changed with --verbose (each row's file with a dry run), in the table's order.
  void apply(std::vector<RowEdit>& edits, size_t invalid) {
    std::vector<RowEdit*> changing;
    for (RowEdit& edit : edits) {
      if (!edit.changes.empty()) changing.push_back(&edit);
    }
    forEach(changing, [](RowEdit& edit) { return stillAsRead(edit) && edit.parser->checkSave(); });
    if (!o_.dryRun) {
      const size_t refused = static_cast<size_t>(
          std::count_if(changing.begin(), changing.end(), [](RowEdit* e) { return !e->saved; }));
      if (refused && !o_.continueErrors) {
        for (const RowEdit* edit : changing) {
          if (!edit->saved) reportFailure(*edit);
        }
        ctx_.err << "bextkit: " << o_.table << ": "
                 << plural(refused, "file cannot be saved", "files cannot be saved")
                 << "; nothing was written (--continue-errors writes the other rows)\n";
        return fail();
      }
      std::erase_if(changing, [](RowEdit* e) { return !e->saved; });
      // Just before its save, each file is looked at once more.
      forEach(changing, [](RowEdit& edit) { return stillAsRead(edit) && edit.parser->saveFile(); });
    }
    size_t changed = 0, unchanged = 0, failed = invalid;
    for (const RowEdit& edit : edits) {
      if (edit.changes.empty()) {
        ++unchanged;
      } else if (!edit.saved) {
        reportFailure(edit);
        ++failed;
        continue;
      } else {
        ++changed;
      }
      if (o_.dryRun) {
        ctx_.out << "row " << edit.row << ": " << displayName(edit.path) << ": "
                 << (edit.changes.empty() ? "unchanged" : "would change") << '\n';
      } else if (o_.verbose) {
        ctx_.out << displayName(edit.path) << (edit.changes.empty() ? "\n  unchanged" : "") << '\n';
      }
      if (!o_.verbose) continue;
      for (const std::string& change : edit.changes) ctx_.out << "  " << change << '\n';
    }
    ctx_.out << plural(changed, "file", "files") << (o_.dryRun ? " would change, " : " changed, ")
             << unchanged << " unchanged, " << failed << " failed\n";
    if (failed) fail();
  }

  void reportFailure(const RowEdit& edit) const {
    ctx_.err << o_.table << ':' << edit.row << ": "
             << (edit.failure.empty() ? edit.parser->lastError() : edit.failure) << '\n';
  }

  // False, with the reason, when the row's file is no longer the one that was read: replaced
  // (another file, a link swapped in), or written since.
  static bool stillAsRead(RowEdit& edit) {
    if (fileStamp(edit.path) == edit.stamp) return true;
    edit.failure = "cannot save " + displayName(edit.path) +
                   ": the file has changed since the table was read (replaced, moved or written "
                   "to); it is left as it is";
    return false;
  }

  // Runs `step` on each row, setting its `saved`. A save waits for the disk (a rewrite in place
  // is synced before it counts as done), and the file system syncs the files of saves that run
  // at the same time together: the steps run on several threads. Each row names another file,
  // and each parser is its row's own. A step that throws fails its row alone.
  void forEach(const std::vector<RowEdit*>& edits, bool (*step)(RowEdit&)) const {
    const auto run = [step](RowEdit& edit) {
      try {
        edit.saved = step(edit);
      } catch (...) {
        edit.saved = false;
        edit.failure = "cannot save " + edit.path + ": " + currentExceptionReason();
      }
    };
    const size_t threads = std::min(kSaveThreads, edits.size());
    if (threads <= 1) {
      for (RowEdit* edit : edits) run(*edit);
      return;
    }
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        for (size_t i; (i = next.fetch_add(1)) < edits.size();) run(*edits[i]);
      });
    }
    for (std::thread& thread : pool) thread.join();
  }

  Context& ctx_;
  const Options& o_;
  const std::optional<FrameRate> option_;
  fs::path folder_;  // the table's folder, every link followed
};

void runImport(Context& ctx, const Options& o) {
  std::string error;
  std::optional<FrameRate> rate;
  if (!o.rate.empty() && !(rate = parseRate("--rate", o.rate, false, error))) {
    return ctx.usageError(error);
  }
  const ScanMessages quiet(false, ctx.err);
  Importer(ctx, o, rate).run();
}

}  // namespace

void addImportCommand(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  CLI::App* command = app.add_subcommand(
      "import",
      "Write the bext fields of a CSV table (as export writes it) into the files its rows name; "
      "every row is checked before any file is written");
  command
      ->add_option("FILE", o->table,
                   "CSV table: a header row naming the columns as export names them (FileName, "
                   "Description, ...), then one row per file; an empty cell leaves its field "
                   "as it is, a cell holding <clear> empties it")
      ->type_name("FILE.csv")
      ->required();
  command
      ->add_option(
          "--rate,--fps", o->rate,
          std::string("Frame rate of the 'TimeReference (translated)' column: ") + kRateList +
              ". Without it, each row's at the rate its file states (as export wrote it), else "
              "25")
      ->type_name("RATE");
  command->add_flag("--dry-run", o->dryRun,
                    "Check every row and every save, and count what would change, writing nothing");
  command->add_flag("--continue-errors", o->continueErrors,
                    "Write the rows without errors even when other rows have some");
  command->add_flag("--verbose", o->verbose, "List what changed in each file");
  command->add_flag("--allow-outside", o->allowOutside,
                    "Also write files whose names lead outside the table's folder (../, absolute "
                    "names, symbolic links)");
  command->callback([o, ctx] { runImport(*ctx, *o); });
}

}  // namespace bextkit::cli
