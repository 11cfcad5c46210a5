#include "cli/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace bextkit::cli {

void appendShown(std::string& out, uint8_t c) {
  static const char kHex[] = "0123456789ABCDEF";
  if (c >= 0x20 && c != 0x7F) {
    out.push_back(static_cast<char>(c));
    return;
  }
  out += "\\x";
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 0xF]);
}

std::string displayLines(const std::string& bytes, const std::string& indent) {
  const std::string text = displayUtf8(bytes);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (i + 1 < text.size()) out += "\n" + indent;
    } else {
      appendShown(out, c);
    }
  }
  return out;
}

std::string quotedText(const std::string& bytes) { return "\"" + displayLines(bytes, "") + "\""; }

std::string displayName(const std::string& bytes) {
  std::string out;
  for (const char c : displayUtf8(bytes)) appendShown(out, static_cast<uint8_t>(c));
  return out;
}

std::string valueShown(BextField field, const edit::Value& value, std::string_view notMeasured) {
  if (field == BextField::kCodingHistory) {
    std::string escaped;
    for (const char c : std::get<std::string>(value)) {
      escaped += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return quotedText(escaped);
  }
  if (const auto* text = std::get_if<std::string>(&value)) return quotedText(*text);
  return edit::valueText(value, notMeasured);
}

std::string changeLine(const edit::Plan::Change& change, std::string_view notMeasured) {
  return std::string(fieldName(change.field)) + ": " +
         valueShown(change.field, change.before, notMeasured) + " -> " +
         valueShown(change.field, change.after, notMeasured);
}

std::string changeLine(const BWFParser::IxmlChange& change) {
  return "iXML " + change.name + ": " + quotedText(change.before) + " -> " +
         quotedText(change.after);
}

std::string loudnessSummary(const std::array<std::optional<int16_t>, 5>& values) {
  static constexpr std::array<const char*, kLoudnessFields.size()> kLabels = {
      "", ", range ", ", true peak ", ", momentary max ", ", short-term max "};
  std::string line;
  for (size_t i = 0; i < kLoudnessFields.size(); ++i) {
    const std::optional<int16_t>& value = values[i];
    line += kLabels[i];
    line += !value ? "missing"
            : *value == BextRecord::kNotMeasured
                ? "none"
                : edit::loudnessText(*value) + " " + loudnessUnit(kLoudnessFields[i]);
  }
  return line;
}

}  // namespace bextkit::cli
