#include "cli/Csv.h"

#include <algorithm>

namespace bextkit::cli::csv {

bool isTextColumn(std::string_view name) {
  static constexpr std::array<std::string_view, 8> kNumbers = {
      "TimeReference",        "BextVersion",         "UMID",
      "LoudnessValue",        "LoudnessRange",       "MaxTruePeakLevel",
      "MaxMomentaryLoudness", "MaxShortTermLoudness"};
  return std::find(kNumbers.begin(), kNumbers.end(), name) == kNumbers.end();
}

std::string textCell(std::string_view text) {
  const bool formula =
      !text.empty() && std::string_view("=+-@\t\r'").find(text[0]) != std::string_view::npos;
  return (formula ? "'" : "") + std::string(text);
}

std::string_view fromTextCell(std::string_view cell) {
  return !cell.empty() && cell[0] == '\'' ? cell.substr(1) : cell;
}

std::string field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

std::string record(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + field(fields[i]);
  return line + "\r\n";
}

char separatorOf(std::string_view text) {
  // The first line, outside quotes: the separator that splits it most, a comma on a tie.
  size_t counts[3] = {};
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\r' || c == '\n') break;
    if (c == ',') ++counts[0];
    if (c == ';') ++counts[1];
    if (c == '\t') ++counts[2];
  }
  const size_t most = static_cast<size_t>(std::max_element(counts, counts + 3) - counts);
  return counts[most] > counts[0] ? ";\t"[most - 1] : ',';
}

std::optional<std::vector<Row>> parse(std::string_view text, std::string& error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const char separator = separatorOf(text);
  std::vector<Row> rows;
  Row row;
  std::string value;
  size_t line = 1, quoteLine = 1;
  bool quoted = false, wasQuoted = false, any = false;
  const auto endField = [&] {
    row.push_back(std::move(value));
    value.clear();
    wasQuoted = false;
  };
  const auto endRecord = [&] {
    endField();
    rows.push_back(std::move(row));
    row.clear();
    any = false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        value += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        value += c;
      }
      continue;
    }
    any = true;
    if (c == separator) {
      endField();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      // CR LF ends the record at the LF.
    } else if (c == '\n' || c == '\r') {  // LF, or CR alone as old Mac spreadsheets save
      endRecord();
      ++line;
    } else if (wasQuoted) {
      error = "line " + std::to_string(line) + ": characters after a closing quote";
      return std::nullopt;
    } else if (c == '"' && value.empty()) {
      quoted = wasQuoted = true;
      quoteLine = line;
    } else {
      value += c;
    }
  }
  if (quoted) {
    error =
        "line " + std::to_string(quoteLine) + ": the quoted field that starts here is never closed";
    return std::nullopt;
  }
  if (any) endRecord();
  return rows;
}

}  // namespace bextkit::cli::csv
