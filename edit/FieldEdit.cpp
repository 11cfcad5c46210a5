#include "edit/FieldEdit.h"

#include <algorithm>
#include <cstdlib>
#include <type_traits>

#include "check/BextRules.h"
#include "check/Finding.h"
#include "platform/Utf8.h"

namespace bextkit::edit {

namespace {

using F = BextField;

bool isText(F field) { return field <= F::kOriginationTime || field == F::kCodingHistory; }
bool isLoudness(F field) { return field >= F::kLoudnessValue && field <= F::kMaxShortTermLoudness; }
size_t index(F field) { return static_cast<size_t>(field); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal such as -23.00 or 5.3, rounded half away from zero to hundredths; the magnitude is
// kept below 10^8 hundredths, which no field holds.
std::optional<int32_t> parseHundredths(std::string_view text) {
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
  if (i != text.size() || digits + decimals == 0) return std::nullopt;
  const auto magnitude = static_cast<int32_t>(hundredths + (roundUp ? 1 : 0));
  return text[0] == '-' ? -magnitude : magnitude;
}

std::optional<Umid> parseUmid(std::string_view text, std::string& why) {
  if (text.empty() || text == "0") return Umid{};
  if (text.size() != 64 && text.size() != 128) {
    why = "expected 64 or 128 hexadecimal digits (a 32- or 64-byte UMID), or 0 for none, got " +
          std::to_string(text.size()) + " characters";
    return std::nullopt;
  }
  Umid umid{};
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const int digit = isDigit(c)             ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) {
      why = "character " + std::to_string(i + 1) + " is not a hexadecimal digit";
      return std::nullopt;
    }
    umid[i / 2] = static_cast<uint8_t>(umid[i / 2] | (digit << (i % 2 ? 0 : 4)));
  }
  return umid;
}

// The value a field holds where a new chunk or a short one has none.
Value emptyValue(F field) {
  if (isText(field)) return std::string();
  if (field == F::kVersion) return uint16_t{0};
  if (field == F::kUmid) return Umid{};
  return BextRecord::kNotMeasured;
}

bool isZero(const Umid& umid) {
  return std::all_of(umid.begin(), umid.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace

std::string withCrLf(std::string_view text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines += "\r\n";
    } else {
      lines += text[i];
    }
  }
  if (!lines.empty() && lines.back() != '\n') lines += "\r\n";
  return lines;
}

std::string loudnessText(int16_t hundredths, std::string_view notMeasured) {
  if (hundredths == BextRecord::kNotMeasured) return std::string(notMeasured);
  const int magnitude = std::abs(int{hundredths});
  const int cents = magnitude % 100;
  return (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100) + (cents < 10 ? ".0" : ".") +
         std::to_string(cents);
}

std::string valueText(const Value& value, std::string_view notMeasured) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* version = std::get_if<uint16_t>(&value)) return std::to_string(*version);
  if (const auto* umid = std::get_if<Umid>(&value)) return umidText(*umid);
  return loudnessText(std::get<int16_t>(value), notMeasured);
}

std::optional<Value> parseValue(BextField field, std::string_view text, std::string& why,
                                bool ranges) {
  if (isText(field)) {
    const size_t width = fieldInfo(field).place.width;
    if (text.find('\0') != std::string_view::npos) {
      why = "holds a NUL byte, which would end the text";
    } else if (width && text.size() > width) {
      why = std::to_string(text.size()) + " bytes, and the field holds at most " +
            std::to_string(width);
    } else if (std::optional<check::ValueError> error =
                   ranges ? check::valueError(field, text) : std::nullopt) {
      why = error->text;
    } else {
      return field == F::kCodingHistory ? withCrLf(text) : std::string(text);
    }
    return std::nullopt;
  }
  if (field == F::kVersion) {
    if (text != "0" && text != "1" && text != "2") {
      why = "expected 0, 1 or 2, got '" + std::string(text) + "'";
      return std::nullopt;
    }
    return static_cast<uint16_t>(text[0] - '0');
  }
  if (field == F::kUmid) {
    if (std::optional<Umid> umid = parseUmid(text, why)) return *umid;
    return std::nullopt;
  }
  if (isLoudness(field)) {
    if (text.empty() || text == "none") return BextRecord::kNotMeasured;
    const std::optional<int32_t> hundredths = parseHundredths(text);
    if (!hundredths) {
      why = "expected a number such as -23.00, or none, got '" + std::string(text) + "'";
      return std::nullopt;
    }
    // Any value the field's 16 bits hold is written: a check warns about one outside the
    // measurable range, such as the -120.00 dBTP some DAWs store for silence. 7FFFh is taken
    // by "not measured".
    if (*hundredths < -32768 || *hundredths >= BextRecord::kNotMeasured) {
      why = std::string(text) +
            " is outside -327.68 to 327.66, what the field holds (327.67, 7FFFh, means not "
            "measured: give none for that)";
      return std::nullopt;
    }
    return static_cast<int16_t>(*hundredths);
  }
  why = std::string("the ") + fieldName(field) + " is not edited as text";
  return std::nullopt;
}

std::optional<std::string> ixmlValue(std::string_view name, std::string_view text,
                                     std::string& why) {
  if (!isUtf8(text) || text.find('\0') != std::string_view::npos) {
    why = "holds a byte that is no UTF-8 character (iXML is UTF-8 text)";
    return std::nullopt;
  }
  const std::string value(text);
  if (name != "CIRCLED") return value;
  std::string lower = value;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (lower == "true" || lower == "yes") return "TRUE";
  if (lower == "false" || lower == "no") return "FALSE";
  why = "expected yes or no (TRUE or FALSE), got '" + value + "'";
  return std::nullopt;
}

Plan::Plan(const BWFParser& parser)
    : hasIxml_(parser.ixmlChunkSize().has_value()),
      ixmlText_(parser.ixmlText()),
      ixml_(parser.ixmlRecord()),
      wanted_(kBextFieldCount),
      asked_(kBextFieldCount) {
  if (parser.bextRecord()) {
    before_ = *parser.bextRecord();
  } else {
    // The record a new chunk starts from.
    std::vector<uint8_t> fresh = parser.getBWFChunkData();
    const uint64_t size = fresh.size() - BWFChunk::kHeaderSize;
    before_ = decodeBext(std::move(fresh), 0, size, parser.chunkChain().bigEndianRecord());
  }
}

std::optional<Value> Plan::current(BextField field) const {
  const BextRecord& r = before_;
  const auto held = [](const auto& value) {
    return value ? std::optional<Value>(*value) : std::nullopt;
  };
  switch (field) {
    case F::kDescription:
      return held(r.description);
    case F::kOriginator:
      return held(r.originator);
    case F::kOriginatorReference:
      return held(r.originatorReference);
    case F::kOriginationDate:
      return held(r.originationDate);
    case F::kOriginationTime:
      return held(r.originationTime);
    case F::kVersion:
      return held(r.version);
    case F::kUmid:
      return held(r.umid);
    case F::kCodingHistory:
      return r.holds(field) ? std::optional<Value>(r.codingHistory.value_or("")) : std::nullopt;
    default:
      return isLoudness(field) ? held(r.loudnessBytesOf(field)) : std::nullopt;
  }
}

void Plan::set(BextField field, Value value) {
  const Value was = current(field).value_or(emptyValue(field));
  // A text is the same when it shows as the same UTF-8, as a table or a window shows it.
  const auto* text = std::get_if<std::string>(&value);
  const bool same =
      value == was ||
      (text && (*text == displayUtf8(std::get<std::string>(was)) ||
                (field == F::kCodingHistory && *text == withCrLf(std::get<std::string>(was)))));
  wanted_[index(field)] = same ? std::nullopt : std::optional<Value>(std::move(value));
  asked_[index(field)] = true;
}

std::vector<Plan::Change> Plan::changes() const {
  const auto& version = wanted_[index(F::kVersion)];
  const uint16_t after = version ? std::get<uint16_t>(*version) : before_.version.value_or(0);
  std::vector<Change> out;
  for (size_t i = 0; i < kBextFieldCount; ++i) {
    const auto field = static_cast<F>(i);
    if (!wanted_[i]) continue;
    // Before version 2 the loudness fields do not exist: not measured is as clear as they get.
    if (isLoudness(field) && after < 2 && *wanted_[i] == Value(BextRecord::kNotMeasured)) continue;
    out.push_back({field, current(field).value_or(emptyValue(field)), *wanted_[i]});
  }
  return out;
}

BextRecord Plan::edited() const {
  std::vector<uint8_t> bytes = before_.bytes;
  BWFChunk image;
  const size_t imaged = std::min(bytes.size(), BWFChunk::kSize);
  std::copy_n(bytes.begin(), imaged, image.bytes.begin());
  for (const Change& c : changes()) {
    if (c.field == F::kCodingHistory) continue;
    if (const auto* text = std::get_if<std::string>(&c.after)) {
      encodeText(image, c.field, *text);
    } else if (const auto* version = std::get_if<uint16_t>(&c.after)) {
      encodeVersion(image, *version, before_.bigEndian);
    } else if (const auto* umid = std::get_if<Umid>(&c.after)) {
      encodeUmid(image, *umid);
    } else {
      encodeLoudness(image, c.field, std::get<int16_t>(c.after), before_.bigEndian);
    }
  }
  std::copy_n(image.bytes.begin(), imaged, bytes.begin());
  if (const auto& history = wanted_[index(F::kCodingHistory)]) {
    bytes.resize(BextRecord::kFixedSize);
    const std::string& text = std::get<std::string>(*history);
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  }
  const uint64_t size = std::max<uint64_t>(before_.declaredSize, bytes.size() - 8);
  return decodeBext(std::move(bytes), before_.offset, size, before_.bigEndian);
}

bool Plan::takeIxml(std::string_view name, std::string_view text, std::string& why) {
  std::optional<std::string> value = ixmlValue(name, text, why);
  if (value) ixmlEdits_.push_back({std::string(name), std::move(*value)});
  return value.has_value();
}

std::optional<std::string> Plan::descriptionInStep() const {
  static constexpr std::string_view kRepeated[] = {"SCENE",   "TAKE", "TAPE",
                                                   "PROJECT", "NOTE", "CIRCLED"};
  const std::optional<Value> held = current(F::kDescription);
  const std::string before = held ? std::get<std::string>(*held) : std::string();
  std::string out;
  for (size_t start = 0; start < before.size();) {
    const size_t end = std::min(before.find_first_of("\r\n", start), before.size());
    std::string line = before.substr(start, end - start);
    for (const IxmlEdit& e : ixmlEdits_) {
      // A track's name repeats as sTRK1=, by its place in the track list.
      std::string key = e.name;
      if (key.starts_with("TRACK_LIST/TRACK[") && key.ends_with("]/NAME")) {
        key = "TRK" + key.substr(17, key.size() - 17 - 6);
      } else if (std::find(std::begin(kRepeated), std::end(kRepeated), key) ==
                 std::end(kRepeated)) {
        continue;
      }
      if (line.starts_with("s" + key + "=")) line = "s" + key + "=" + e.text;
    }
    out += line;
    const size_t next = before.find_first_not_of("\r\n", end);
    out += before.substr(end, std::min(next, before.size()) - end);
    start = next == std::string::npos ? before.size() : next;
  }
  if (out == before) return std::nullopt;
  return out;
}

std::optional<std::string> Plan::currentIxml(std::string_view name) const {
  const IxmlField* field = ixml_.find(name);
  return field ? std::optional(field->text) : std::nullopt;
}

std::vector<std::string> Plan::refusals() const {
  std::vector<std::string> out;
  if (!ixmlEdits_.empty()) {
    // The document is edited as a save edits it; only whether that can be done counts here.
    std::string why;
    if (hasIxml_ && ixml_.fields.empty() && ixmlText_.empty()) {
      out.push_back("iXML: the iXML chunk is too long or cut off, and is not edited");
    } else if (!(hasIxml_ ? editIxml(ixmlText_, ixml_, ixmlEdits_, why)
                          : newIxml(ixmlEdits_, why))) {
      out.push_back("iXML: " + why);
    }
  }
  const std::vector<Change> changed = changes();
  if (changed.empty()) return out;
  const auto refuse = [&out](F field, const std::string& why) {
    out.push_back(std::string(fieldName(field)) + ": " + why);
  };
  const BextRecord after = edited();
  const uint16_t version = after.version.value_or(0);
  bool versionChanged = false;
  for (const Change& c : changed) {
    versionChanged = versionChanged || c.field == F::kVersion;
    if (std::holds_alternative<std::string>(c.after)) {
      continue;  // read whole by parseValue
    } else if (c.field == F::kUmid && version == 0 && !isZero(std::get<Umid>(c.after))) {
      refuse(c.field, "a UMID needs Version 1 or 2, and the Version is 0; set the Version as well");
    } else if (isLoudness(c.field) && version < 2) {
      refuse(c.field, "loudness values need Version 2, and the Version is " +
                          std::to_string(version) + "; set the Version as well");
    }
  }
  if (!out.empty()) return out;
  // What a check of the written chunk would call an error about a changed field; a new version
  // changes what the UMID and the loudness fields mean.
  check::Findings found;
  for (size_t i = 0; i < kBextFieldCount; ++i) {
    const auto field = static_cast<F>(i);
    const bool byVersion = versionChanged && (field == F::kUmid || isLoudness(field));
    if (wanted_[i] || byVersion) check::checkField(after, field, check::kTech3285, found);
  }
  for (const check::Finding& f : found) {
    if (f.severity != check::Severity::kError) continue;
    const auto field = std::find_if(changed.begin(), changed.end(), [&](const Change& c) {
      return after.fileOffset(c.field) == f.offset;
    });
    const F named = field != changed.end() ? field->field : changed.front().field;
    refuse(named, f.text.ends_with('.') ? f.text.substr(0, f.text.size() - 1) : f.text);
  }
  return out;
}

namespace {

// Keeps a field's edit in the parser's FieldEdits, or drops it for none.
void putEdit(BWFParser::FieldEdits& e, F field, const std::optional<Value>& value) {
  const auto put = [&value](auto& member) {
    using T = typename std::remove_reference_t<decltype(member)>::value_type;
    member = value ? std::optional<T>(std::get<T>(*value)) : std::nullopt;
  };
  switch (field) {
    case F::kOriginatorReference:
      return put(e.originatorReference);
    case F::kOriginationDate:
      return put(e.originationDate);
    case F::kOriginationTime:
      return put(e.originationTime);
    case F::kCodingHistory:
      return put(e.codingHistory);
    case F::kVersion:
      return put(e.version);
    case F::kUmid:
      return put(e.umid);
    case F::kLoudnessValue:
      return put(e.loudnessValue);
    case F::kLoudnessRange:
      return put(e.loudnessRange);
    case F::kMaxTruePeakLevel:
      return put(e.maxTruePeakLevel);
    case F::kMaxMomentaryLoudness:
      return put(e.maxMomentaryLoudness);
    case F::kMaxShortTermLoudness:
      return put(e.maxShortTermLoudness);
    default:
      return;  // the parser's own texts, and fields not edited as text
  }
}

}  // namespace

void Plan::applyTo(BWFParser& parser) const {
  std::vector<std::optional<Value>> after(kBextFieldCount);
  for (Change& c : changes()) after[index(c.field)] = std::move(c.after);
  BWFParser::FieldEdits edits = parser.fieldEdits();
  // A field asked for with the value the file holds keeps that value, whatever was set on the
  // parser before.
  for (size_t i = 0; i < kBextFieldCount; ++i) {
    if (!asked_[i]) continue;
    const auto field = static_cast<F>(i);
    const auto text = [&](const std::optional<std::string>& held) {
      return after[i] ? std::get<std::string>(*after[i]) : held.value_or("");
    };
    if (field == F::kDescription) {
      parser.setDescription(text(before_.description));
    } else if (field == F::kOriginator) {
      parser.setOriginator(text(before_.originator));
    } else {
      putEdit(edits, field, after[i]);
    }
  }
  parser.setFieldEdits(std::move(edits));
  if (!ixmlEdits_.empty()) parser.setIxmlEdits(ixmlEdits_);
}

bool Plan::take(BextField field, std::string_view text, std::string& why) {
  std::optional<Value> value = parseValue(field, text, why, false);
  if (value) set(field, std::move(*value));
  return value.has_value();
}

}  // namespace bextkit::edit
