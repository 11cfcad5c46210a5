// The operations that scripts call, by class, under the names scripts write. Each body unpacks
// the arguments that the bridge has checked against the kinds listed beside it.
#include <sstream>

#include "app/bridge/Bridge.h"
#include "bwf/AudioFormat.h"
#include "bwf/BWFParser.h"
#include "bwf/ChunkChain.h"
#include "bwf/Ixml.h"
#include "bwf/SmpteTime.h"
#include "check/Conformance.h"
#include "check/Policy.h"
#include "cli/Cli.h"
#include "cli/ExportTable.h"
#include "edit/FieldEdit.h"
#include "loudness/Meter.h"
#include "platform/FileManager.h"
#include "platform/FileReplacement.h"
#include "timecode/Smpte.h"
#include "timecode/TimeCode.h"

namespace bextkit::bridge {

namespace {

using K = Kind;
const char* const kNotMeasured = "not measured";

struct Registry {
  std::vector<Operation>& operations;
  std::string className;
  void object(const char* name, std::vector<Kind> arguments, Kind result,
              std::function<Value(Call&)> body) {
    operations.push_back({className, name, false, std::move(arguments), result, std::move(body)});
  }
  void classOp(const char* name, std::vector<Kind> arguments, Kind result,
               std::function<Value(Call&)> body) {
    operations.push_back({className, name, true, std::move(arguments), result, std::move(body)});
  }
};

// A text field of the parser, and its setter.
using Getter = const std::string& (BWFParser::*)() const;
using Setter = void (BWFParser::*)(const std::string&);
void field(Registry& r, const char* name, Getter get) {
  r.object(name, {}, K::kString, [get](Call& c) -> Value { return (c.self->*get)(); });
}
void field(Registry& r, const char* name, Getter get, const char* setter, Setter set) {
  field(r, name, get);
  r.object(setter, {K::kString}, K::kVoid, [set](Call& c) -> Value {
    (c.self->*set)(c.string(0));
    return {};
  });
}

// An SMPTE rate by its name; reports the rates it takes otherwise.
std::optional<smpte::Rate> rateOf(Call& c, size_t i) {
  const std::optional<smpte::Rate> rate = smpte::parseRate(c.string(i));
  if (!rate) c.error = "no SMPTE rate '" + c.string(i) + "' (rates lists them)";
  return rate;
}

// A field that may have no value: its value as `As`, or null.
template <typename As, typename T>
FieldValue orNull(const std::optional<T>& value) {
  return value ? FieldValue(As(*value)) : FieldValue();
}

// A field of the decoded bext chunk: null where the chunk does not hold it; the UMID as hex
// digits (null for a field of zeros); a loudness value as a number in its unit, or "not measured"
// for the value that says so; the reserved bytes as bytes.
FieldValue bextField(const BextRecord& bext, BextField field) {
  const auto text = orNull<std::string, std::string>;
  switch (field) {
    case BextField::kDescription:
      return text(bext.description);
    case BextField::kOriginator:
      return text(bext.originator);
    case BextField::kOriginatorReference:
      return text(bext.originatorReference);
    case BextField::kOriginationDate:
      return text(bext.originationDate);
    case BextField::kOriginationTime:
      return text(bext.originationTime);
    case BextField::kTimeReference:
      return orNull<uint64_t>(bext.timeReference);
    case BextField::kVersion:
      return orNull<int64_t>(bext.version);
    case BextField::kUmid: {
      const std::string hex = bext.umid ? umidText(*bext.umid) : "0";
      return hex != "0" ? FieldValue(hex) : FieldValue();
    }
    case BextField::kReserved: {
      if (!bext.holds(field)) return {};
      const std::string_view bytes = bext.fieldBytes(field);
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    case BextField::kCodingHistory:
      return text(bext.codingHistory);
    default: {
      const std::optional<int16_t>& hundredths = bext.loudnessOf(field);
      if (!hundredths) return {};
      if (*hundredths == BextRecord::kNotMeasured) return kNotMeasured;
      return *hundredths / 100.0;
    }
  }
}

Record bextRecordOf(const BextRecord& bext) {
  Record record, units;
  for (size_t i = 0; i < kBextFieldCount; ++i) {
    const auto field = static_cast<BextField>(i);
    record.add(fieldName(field), bextField(bext, field));
  }
  for (const BextField field : kLoudnessFields) units.add(fieldName(field), loudnessUnit(field));
  return record.add("Units", std::move(units));
}

Record formatRecordOf(const BWFParser& parser) {
  const std::optional<AudioFormat>& format = parser.audioFormat();
  const auto number = [&format](auto member) {
    return format ? FieldValue(int64_t{(*format).*member}) : FieldValue();
  };
  const std::optional<AudioLength> length = audioLengthOf(parser);
  Record record;
  record.add("coding", format ? FieldValue(formatName(*format)) : FieldValue())
      .add("tag", number(&AudioFormat::tag))
      .add("channels", number(&AudioFormat::channels))
      .add("sampleRate", number(&AudioFormat::sampleRate))
      .add("bitsPerSample", number(&AudioFormat::bitsPerSample))
      .add("blockAlign", number(&AudioFormat::blockAlign))
      .add("bytesPerSecond", number(&AudioFormat::bytesPerSecond))
      .add("validBits", orNull<int64_t>(format ? format->validBits : std::nullopt))
      .add("channelMask", orNull<int64_t>(format ? format->channelMask : std::nullopt))
      .add("bytes", orNull<uint64_t>(length ? std::optional(length->bytes) : std::nullopt))
      .add("frames", orNull<uint64_t>(length ? length->frames : std::nullopt))
      .add("seconds", orNull<double>(length ? length->seconds : std::nullopt))
      .add("summary", formatSummaryOf(parser))
      .add("duration", lengthSummaryOf(parser));
  return record;
}

// Asks `plan` for the edits of a record of texts by field names; the reasons of a refusal, one
// per line, or "" when the plan can be written.
std::string planFields(edit::Plan& plan, const Record& edits) {
  std::string refusals;
  for (const Field& f : edits.fields) {
    const std::optional<BextField> field = fieldNamed(f.name);
    std::string why, text;
    if (f.name.starts_with(edit::kIxmlPrefix)) {
      const auto* given = std::get_if<std::string>(&f.value);
      if (!given) {
        why = "expected text";
      } else if (plan.takeIxml(f.name.substr(edit::kIxmlPrefix.size()), *given, why)) {
        continue;
      }
      refusals += (refusals.empty() ? "" : "\n") + f.name + ": " + why;
      continue;
    }
    if (const auto* given = std::get_if<std::string>(&f.value)) {
      text = *given;
    } else if (const auto* whole = std::get_if<int64_t>(&f.value)) {
      text = std::to_string(*whole);
    } else {
      why = "expected text";
    }
    if (!field || *field == BextField::kTimeReference || *field == BextField::kReserved) {
      why = "no field that is edited as text";
    } else if (why.empty() && plan.take(*field, text, why)) {
      continue;
    }
    refusals += (refusals.empty() ? "" : "\n") + f.name + ": " + why;
  }
  for (const std::string& refusal : plan.refusals()) {
    refusals += (refusals.empty() ? "" : "\n") + refusal;
  }
  return refusals;
}

// The chain as records alike: "kind" says what each is ("form" for the form header with the
// size it declares, "chunk", "break" where the walk met bytes that are no chunk header), and
// "fields" which chunk the parser's fields come from ("format", "bext"), as bextkit chunks
// marks them; a field that does not apply to its kind is null.
std::vector<Record> chainRecordsOf(const ChunkChain& chain) {
  const ChainChunk* fmt = chain.first(chunkid::kFmt);
  const ChainChunk* bext = chain.first(chunkid::kBext);
  const auto entry = [&](const char* kind, FieldValue id, uint64_t offset, FieldValue size,
                         FieldValue form, const ChainChunk* chunk) {
    return Record()
        .add("kind", kind)
        .add("id", std::move(id))
        .add("offset", offset)
        .add("size", std::move(size))
        .add("form", std::move(form))
        .add("truncated", chunk && chunk->truncated)
        .add("fields", chunk && chunk == fmt    ? FieldValue("format")
                       : chunk && chunk == bext ? FieldValue("bext")
                                                : FieldValue());
  };
  std::vector<Record> records;
  if (const char* form = containerName(chain.container)) {
    records.push_back(entry("form", form, 0, chain.formSize, {}, nullptr));
  }
  for (const ChainChunk& chunk : chain.chunks) {
    const FieldValue form = chunk.form != FourCC() ? FieldValue(chunk.form.str()) : FieldValue();
    records.push_back(entry("chunk", chunk.id.str(), chunk.offset, chunk.size, form, &chunk));
  }
  if (chain.broken) records.push_back(entry("break", {}, chain.brokenAt, {}, {}, nullptr));
  return records;
}

// The conformance check of the file at the first argument under the rule sets named by the
// second; none, with the reason, when the file cannot be read or a rule set is unknown.
std::optional<check::Findings> findingsOf(Call& c) {
  const std::optional<unsigned> sets = check::parseRuleSets(c.string(1), c.error);
  check::Findings findings;
  if (!sets || !check::checkFile(c.string(0), *sets, findings, c.error)) return std::nullopt;
  // The archive's house rules hold here as they do for bextkit check.
  std::string why;
  const std::optional<check::Policy> rules = check::houseRulesOf(c.string(0), why);
  if (!rules) {
    c.error = "its house rules: " + why;
    return std::nullopt;
  }
  rules->applyTo(findings);
  return findings;
}

}  // namespace

void addParserOperations(std::vector<Operation>& operations) {
  Registry r{operations, "BWFParser"};
  r.classOp("initWithPath:", {K::kString}, K::kParser,
            [](Call& c) { return c.bridge.adopt(BWFParser::initWithPath(c.string(0))); });
  r.classOp("initWithPath:FPS:", {K::kString, K::kFloat}, K::kParser, [](Call& c) {
    return c.bridge.adopt(BWFParser::initWithPath(c.string(0), c.real(1)));
  });
  r.object("parse", {}, K::kInt32, [](Call& c) -> Value { return c.self->parse(); });
  r.object("endianNess", {}, K::kBool, [](Call& c) -> Value { return c.self->endianNess(); });
  r.object("saveFile", {}, K::kBool, [](Call& c) -> Value { return c.self->saveFile(); });
  r.object("info", {}, K::kVoid, [](Call& c) -> Value {
    c.self->info();
    return {};
  });
  field(r, "description", &BWFParser::description, "setDescription:", &BWFParser::setDescription);
  field(r, "originator", &BWFParser::originator, "setOriginator:", &BWFParser::setOriginator);
  field(r, "originatorReference", &BWFParser::originatorReference,
        "setOriginatorReference:", &BWFParser::setOriginatorReference);
  field(r, "creationdate", &BWFParser::creationdate);
  field(r, "creationtime", &BWFParser::creationtime,
        "setCreationtime:", &BWFParser::setCreationtime);
  field(r, "getCodingHistory", &BWFParser::getCodingHistory);
  field(r, "lastError", &BWFParser::lastError);
  // The audio as bextkit show words it, for every coding: "format" and "duration".
  r.object("audioSummary", {}, K::kDictionary, [](Call& c) -> Value {
    return std::map<std::string, std::string>{{"format", formatSummaryOf(*c.self)},
                                              {"duration", lengthSummaryOf(*c.self)}};
  });
  r.object("samplePerSeconds", {}, K::kUInt32,
           [](Call& c) -> Value { return c.self->samplePerSeconds(); });
  r.object("bitsPerSample", {}, K::kInt32,
           [](Call& c) -> Value { return c.self->bitsPerSample(); });
  r.object("channels", {}, K::kInt32, [](Call& c) -> Value { return c.self->channels(); });
  r.object("getSamplesSinceMidnightLow", {}, K::kUInt32,
           [](Call& c) -> Value { return c.self->getSamplesSinceMidnightLow(); });
  r.object("getSamplesSinceMidnightHigh", {}, K::kUInt32,
           [](Call& c) -> Value { return c.self->getSamplesSinceMidnightHigh(); });
  r.object("getChunkDictionary", {}, K::kDictionary, [](Call& c) -> Value {
    const auto& d = c.self->getChunkDictionary();
    return std::map<std::string, std::string>(d.begin(), d.end());
  });
  // The chunk chain as the file lays it out, one text per chunk: "'fmt ' 12 40" (ID, offset of
  // its header, payload size), with " form 'INFO'" for a LIST chunk and " truncated" for one that
  // runs past the end; first the form header ("'RIFF' 0"), last "broken OFFSET" where the walk met
  // bytes that are no chunk header.
  r.object("chunkChain", {}, K::kStrings, [](Call& c) -> Value {
    const ChunkChain& chain = c.self->chunkChain();
    std::vector<std::string> texts;
    if (const char* form = containerName(chain.container))
      texts.push_back("'" + std::string(form) + "' 0");
    for (const ChainChunk& chunk : chain.chunks) {
      std::string text = "'" + chunk.id.str() + "' " + std::to_string(chunk.offset) + " " +
                         std::to_string(chunk.size);
      if (chunk.form != FourCC()) text += " form '" + chunk.form.str() + "'";
      if (chunk.truncated) text += " truncated";
      texts.push_back(std::move(text));
    }
    if (chain.broken) texts.push_back("broken " + std::to_string(chain.brokenAt));
    return texts;
  });
  // Edits of fields by their names ("Description", "Version", "UMID" ..., "iXML:SCENE" and any
  // other iXML field), a record of texts, as set and import take them: through the one edit layer,
  // which refuses what a check calls an error. The reasons of a refusal, one per line, and nothing
  // set; "" when every edit is set on the parser, which a save then writes.
  r.object("setFields:", {K::kRecord}, K::kString, [](Call& c) -> Value {
    edit::Plan plan(*c.self);
    std::string refusals = planFields(plan, std::get<Record>(c.args[0]));
    if (refusals.empty()) plan.applyTo(*c.self);
    return refusals;
  });
  // The texts of the fields that setFields: takes, by name, as it reads them back (a loudness
  // value "-23.00" or "none", a UMID as hex digits or "" for none), then the iXML fields of
  // tables ("iXML:SCENE" ...); null for a field the chunk ends before or the iXML lacks. For a file
  // without a bext chunk, the values a save would give a new one.
  r.object("fieldTexts", {}, K::kRecord, [](Call& c) -> Value {
    const edit::Plan plan(*c.self);
    Record texts;
    for (size_t i = 0; i < kBextFieldCount; ++i) {
      const auto field = static_cast<BextField>(i);
      if (field == BextField::kTimeReference || field == BextField::kReserved) continue;
      const std::optional<edit::Value> value = plan.current(field);
      std::string text = value ? edit::valueText(*value) : std::string();
      // A field that holds no UMID shows empty, which the edit layer reads as none too.
      if (field == BextField::kUmid && text == "0") text.clear();
      texts.add(fieldName(field), value ? FieldValue(text) : FieldValue());
    }
    for (const std::string_view name : edit::kIxmlTableFields) {
      const std::optional<std::string> text = plan.currentIxml(name);
      texts.add(std::string(edit::kIxmlPrefix) + std::string(name),
                text ? FieldValue(*text) : FieldValue());
    }
    return texts;
  });
  // As setFields:, and sets nothing: what a save of these edits would refuse, for a window that
  // tells a refused value as it is typed.
  r.object("refusalsOfFields:", {K::kRecord}, K::kString, [](Call& c) -> Value {
    edit::Plan plan(*c.self);
    return planFields(plan, std::get<Record>(c.args[0]));
  });
  // The same as records: the decoded bext chunk (null without one), the audio format, the
  // chain, and the scan's directory ("id", "index", "start", "length" of each entry).
  r.object("bextRecord", {}, K::kRecord, [](Call& c) -> Value {
    const std::optional<BextRecord>& bext = c.self->bextRecord();
    return bext ? Value(bextRecordOf(*bext)) : Value();
  });
  r.object("formatRecord", {}, K::kRecord,
           [](Call& c) -> Value { return formatRecordOf(*c.self); });
  r.object("chunkRecords", {}, K::kRecords,
           [](Call& c) -> Value { return chainRecordsOf(c.self->chunkChain()); });
  r.object("directoryRecords", {}, K::kRecords, [](Call& c) -> Value {
    std::vector<Record> records;
    for (const DirectoryEntry& e : chunkDirectory(*c.self)) {
      records.push_back(Record()
                            .add("id", e.id)
                            .add("index", int64_t{e.index})
                            .add("start", int64_t{e.start})
                            .add("length", e.length));
    }
    return records;
  });
  r.object("chunkFlags", {}, K::kUInt32,
           [](Call& c) -> Value { return uint32_t{c.self->chunkFlags()}; });
  r.object("getfps:", {K::kFloatStorage}, K::kVoid, [](Call& c) -> Value {
    c.self->getfps(&std::get<std::array<float, 1>>(c.args[0])[0]);
    return {};
  });
  r.object("getTicks", {}, K::kInt32, [](Call& c) -> Value { return c.self->getTicks(); });
  r.object("setTicks:", {K::kInt32}, K::kVoid, [](Call& c) -> Value {
    c.self->setTicks(c.int32(0));
    return {};
  });
  r.object("timecodeString", {}, K::kString,
           [](Call& c) -> Value { return c.self->timecodeString(); });
  r.object("setTimeCodeHH:MM:SS:FF:FPS:", {K::kInt32, K::kInt32, K::kInt32, K::kInt32, K::kInt32},
           K::kVoid, [](Call& c) -> Value {
             c.self->setTimeCodeHH(c.int32(0), c.int32(1), c.int32(2), c.int32(3), c.int32(4));
             return {};
           });
  r.object(
      "hex2timecode:FPS:SPS:", {K::kInt32, K::kFloat, K::kInt32}, K::kString,
      [](Call& c) -> Value { return c.self->hex2timecode(c.int32(0), c.real(1), c.int32(2)); });
  r.object("hexStr2timecode:FPS:SPS:", {K::kString, K::kString, K::kString}, K::kString,
           [](Call& c) -> Value {
             return c.self->hexStr2timecode(c.string(0), c.string(1), c.string(2));
           });
  r.object("getBWFChunkData", {}, K::kBytes,
           [](Call& c) -> Value { return c.self->getBWFChunkData(); });
  r.object("writeBExtHeaderToFile:", {K::kString}, K::kBool,
           [](Call& c) -> Value { return c.self->writeBExtHeaderToFile(c.string(0)); });
}

void addTimeCodeOperations(std::vector<Operation>& operations) {
  Registry r{operations, "TimeCode"};
  r.classOp("splitTimeCode:fps:intoVector:", {K::kString, K::kFloat, K::kIntStorage}, K::kVoid,
            [](Call& c) -> Value {
              TimeCode::splitTimeCode(c.string(0), c.real(1),
                                      std::get<std::array<int32_t, 4>>(c.args[2]));
              return {};
            });
  r.classOp("isLegalTimeCode:fps:", {K::kString, K::kFloat}, K::kBool,
            [](Call& c) -> Value { return TimeCode::isLegalTimeCode(c.string(0), c.real(1)); });
  r.classOp("framesFromTimeCode:fps:", {K::kString, K::kFloat}, K::kInt32,
            [](Call& c) -> Value { return TimeCode::framesFromTimeCode(c.string(0), c.real(1)); });
  r.classOp("maxFramesForFPS:", {K::kFloat}, K::kInt32,
            [](Call& c) -> Value { return TimeCode::maxFramesForFPS(c.real(0)); });
  r.classOp("timeCodeFromFrames:fps:absoluteMode:", {K::kInt32, K::kFloat, K::kBool}, K::kString,
            [](Call& c) -> Value {
              return TimeCode::timeCodeFromFrames(c.int32(0), c.real(1), c.boolean(2));
            });
  r.classOp("framesToFeetFrames:type:delimiter:", {K::kInt32, K::kInt32, K::kString}, K::kString,
            [](Call& c) -> Value {
              return TimeCode::framesToFeetFrames(c.int32(0), c.int32(1), c.string(2));
            });
  r.classOp("feetFramesToFrames:type:delimiter:", {K::kString, K::kInt32, K::kString}, K::kInt32,
            [](Call& c) -> Value {
              return TimeCode::feetFramesToFrames(c.string(0), c.int32(1), c.string(2));
            });
  const std::vector<Kind> footage = {K::kString, K::kInt32, K::kString, K::kFloat};
  r.classOp("feetFramesToTimeCode:type:delimiter:fps:", footage, K::kString, [](Call& c) -> Value {
    return TimeCode::feetFramesToTimeCode(c.string(0), c.int32(1), c.string(2), c.real(3));
  });
  r.classOp(
      "feetFramesToDelimitedList:type:delimiter:fps:", footage, K::kString, [](Call& c) -> Value {
        return TimeCode::feetFramesToDelimitedList(c.string(0), c.int32(1), c.string(2), c.real(3));
      });
  r.classOp("feetFramesToArray:type:delimiter:fps:", footage, K::kStrings, [](Call& c) -> Value {
    return TimeCode::feetFramesToArray(c.string(0), c.int32(1), c.string(2), c.real(3));
  });
}

void addFileManagerOperations(std::vector<Operation>& operations) {
  Registry r{operations, "FileManager"};
  r.classOp("setCreatorCode:atPath:", {K::kString, K::kString}, K::kBool,
            [](Call& c) -> Value { return FileManager::setCreatorCode(c.string(0), c.string(1)); });
  r.classOp("creatorCodeAtPath:", {K::kString}, K::kString,
            [](Call& c) -> Value { return FileManager::creatorCodeAtPath(c.string(0)); });
  r.classOp("typeCodeAtPath:", {K::kString}, K::kString,
            [](Call& c) -> Value { return FileManager::typeCodeAtPath(c.string(0)); });
  r.classOp("setTypeCode:atPath:", {K::kString, K::kString}, K::kBool,
            [](Call& c) -> Value { return FileManager::setTypeCode(c.string(0), c.string(1)); });
  // Both codes as a record: "type" and "creator", each its four bytes or null for code 0.
  r.classOp("codesAtPath:", {K::kString}, K::kRecord, [](Call& c) -> Value {
    return Record()
        .add("type", orNull<std::string>(FileManager::typeCode(c.string(0))))
        .add("creator", orNull<std::string>(FileManager::creatorCode(c.string(0))));
  });
}

// SMPTE timecode, for scripts and the window to show timecode as the industry counts it. Rates
// are named as the command line names them ("29.97", "29.97nd", "23.976").
void addSmpteOperations(std::vector<Operation>& operations) {
  Registry r{operations, "Smpte"};
  r.classOp("rates", {}, K::kStrings, [](Call&) -> Value {
    std::vector<std::string> names;
    for (const smpte::Rate& rate : smpte::rates()) names.push_back(smpte::rateName(rate));
    return names;
  });
  r.classOp("framesPerDay:", {K::kString}, K::kUInt32, [](Call& c) -> Value {
    const auto rate = rateOf(c, 0);
    return rate ? Value(static_cast<uint32_t>(smpte::framesPerDay(*rate))) : Value();
  });
  r.classOp("framesFromLabel:rate:", {K::kString, K::kString}, K::kUInt32, [](Call& c) -> Value {
    const auto rate = rateOf(c, 1);
    const auto label = rate ? smpte::parseLabel(*rate, c.string(0), c.error) : std::nullopt;
    return label ? Value(static_cast<uint32_t>(smpte::framesFromLabel(*rate, *label))) : Value();
  });
  r.classOp("labelFromFrames:rate:", {K::kUInt32, K::kString}, K::kString, [](Call& c) -> Value {
    const auto rate = rateOf(c, 1);
    if (!rate) return {};
    return smpte::format(*rate, smpte::labelFromFrames(*rate, std::get<uint32_t>(c.args[0])));
  });
  r.classOp("whyIllegal:rate:", {K::kString, K::kString}, K::kString, [](Call& c) -> Value {
    const auto rate = rateOf(c, 1);
    const auto label = rate ? smpte::parseLabel(*rate, c.string(0), c.error, false) : std::nullopt;
    return label ? Value(smpte::whyIllegal(*rate, *label)) : Value();
  });
  // The label of a parser's time reference at a rate; "" when the file has no time reference
  // to count (no bext chunk or no sample rate).
  r.classOp("timecodeOfParser:rate:", {K::kParser, K::kString}, K::kString, [](Call& c) -> Value {
    const auto rate = rateOf(c, 1);
    const auto at = rate ? smptePosition(*c.parser(0), *rate) : std::nullopt;
    return at ? smpte::format(*rate, smpte::labelFromFrames(*rate, at->frame)) : "";
  });
  // The parser's time reference at a rate, as the window's detail shows it: "timeReference"
  // (samples since midnight), "label", and "samplesPastFrame" (how far the time reference lies
  // past its frame's start); label and samples past null where the file has no time reference
  // to count.
  r.classOp("timeRecordOfParser:rate:", {K::kParser, K::kString}, K::kRecord, [](Call& c) -> Value {
    const auto rate = rateOf(c, 1);
    if (!rate) return {};
    const BWFParser& parser = *c.parser(0);
    const auto at = smptePosition(parser, *rate);
    return Record()
        .add("timeReference", timeReference(parser))
        .add("label",
             at ? FieldValue(smpte::format(*rate, smpte::labelFromFrames(*rate, at->frame)))
                : FieldValue())
        .add("samplesPastFrame", at ? FieldValue(at->samplesPastFrame) : FieldValue());
  });
  // The time reference a label at a rate gives the parser's file (the sample its frame begins
  // at), before it is set; null where the file states no sample rate.
  r.classOp("timeReferenceOfParser:label:rate:", {K::kParser, K::kString, K::kString}, K::kRecord,
            [](Call& c) -> Value {
              const auto rate = rateOf(c, 2);
              const auto label =
                  rate ? smpte::parseLabel(*rate, c.string(1), c.error) : std::nullopt;
              if (!label) return {};
              const uint32_t sampleRate = timeReferenceRate(*c.parser(0));
              return Record().add(
                  "timeReference",
                  sampleRate == 0 ? FieldValue()
                                  : FieldValue(smpte::frameStart(
                                        *rate, smpte::framesFromLabel(*rate, *label), sampleRate)));
            });
  // A label typed at one rate as another rate counts the same moment of the parser's file: the
  // label, at `atRate`, of the frame in which the typed label's frame begins; "" where the file
  // states no sample rate.
  r.classOp("labelOfParser:label:rate:atRate:", {K::kParser, K::kString, K::kString, K::kString},
            K::kString, [](Call& c) -> Value {
              const auto from = rateOf(c, 2), to = rateOf(c, 3);
              const auto label =
                  from && to ? smpte::parseLabel(*from, c.string(1), c.error) : std::nullopt;
              if (!label) return {};
              const uint32_t sampleRate = timeReferenceRate(*c.parser(0));
              if (sampleRate == 0) return std::string();
              const uint64_t sample =
                  smpte::frameStart(*from, smpte::framesFromLabel(*from, *label), sampleRate);
              const smpte::Position at = smpte::positionOfSample(*to, sample, sampleRate);
              return smpte::format(*to, smpte::labelFromFrames(*to, at.frame));
            });
  // The frame rate the parser's file states, as show counts at it without --rate: "rate" (its
  // name, as these operations take it, or "" where none is stated), "source" ("iXML",
  // "description" or "default") and "note" (where iXML and the description disagree).
  r.classOp("statedRateOfParser:", {K::kParser}, K::kDictionary, [](Call& c) -> Value {
    const BWFParser& parser = *c.parser(0);
    const check::RateChoice choice = check::chooseRate(check::statedRatesOf(parser));
    return std::map<std::string, std::string>{
        {"rate", choice.rate ? smpte::rateName(*choice.rate) : ""},
        {"source", choice.source},
        {"note", choice.note}};
  });
  r.classOp("setTimecodeOfParser:label:rate:", {K::kParser, K::kString, K::kString}, K::kVoid,
            [](Call& c) -> Value {
              const auto rate = rateOf(c, 2);
              const auto label =
                  rate ? smpte::parseLabel(*rate, c.string(1), c.error) : std::nullopt;
              if (label) setSmpteTimecode(*c.parser(0), *rate, *label);
              return {};
            });
}

// The conformance check of a file, for the window's panel of findings, in file order; `rules`
// names the rule sets as the command line's --rules does. One text per finding,
// "severity<TAB>code<TAB>offset<TAB>sentence", or one record ("severity", "code", "offset",
// "text").
void addConformanceOperations(std::vector<Operation>& operations) {
  Registry r{operations, "Conformance"};
  r.classOp("findingRecordsAtPath:rules:", {K::kString, K::kString}, K::kRecords,
            [](Call& c) -> Value {
              const std::optional<check::Findings> findings = findingsOf(c);
              if (!findings) return {};
              std::vector<Record> records;
              for (const check::Finding& f : *findings) {
                records.push_back(Record()
                                      .add("severity", check::severityName(f.severity))
                                      .add("code", f.code)
                                      .add("offset", f.offset)
                                      .add("text", f.text));
              }
              return records;
            });
  // The texts of a file that the window shows as they stand: each INFO entry ("chunk" "INFO",
  // "id" such as "INAM", "text"), each iXML field ("chunk" "iXML", "id" its name as show names
  // it) and the iXML document ("id" null), in file order; an iXML document too long to keep is
  // named by its size.
  r.classOp("textsAtPath:", {K::kString}, K::kRecords, [](Call& c) -> Value {
    std::vector<check::InfoEntry> entries;
    const std::unique_ptr<BWFParser> parser =
        check::scanWithInfo(c.string(0), 25.0F, entries, c.error);
    if (!parser) return {};
    std::vector<Record> texts;
    for (const check::InfoEntry& entry : entries) {
      texts.push_back(Record().add("chunk", "INFO").add("id", entry.id).add("text", entry.value));
    }
    if (const ChainChunk* ixml = parser->chunkChain().first(chunkid::kIXML)) {
      for (const IxmlField& f : decodeIxml(check::ixmlOf(*parser)).fields) {
        texts.push_back(Record().add("chunk", "iXML").add("id", f.name).add("text", f.text));
      }
      texts.push_back(Record()
                          .add("chunk", "iXML")
                          .add("id", FieldValue())
                          .add("text", ixml->size <= BWFParser::kLongestIxml
                                           ? parser->ixmlText()
                                           : "(" + std::to_string(ixml->size) +
                                                 " bytes, too long to show here)"));
    }
    return texts;
  });
  r.classOp("findingsAtPath:rules:", {K::kString, K::kString}, K::kStrings, [](Call& c) -> Value {
    const std::optional<check::Findings> findings = findingsOf(c);
    if (!findings) return {};
    std::vector<std::string> texts;
    for (const check::Finding& f : *findings) {
      texts.push_back(std::string(check::severityName(f.severity)) + "\t" + f.code + "\t" +
                      std::to_string(f.offset) + "\t" + f.text);
    }
    return texts;
  });
}

// The metadata table as export --csv writes it and import reads it, for the window's Export
// CSV and Import CSV: the same columns and the same rules as the command line's.
void addTableOperations(std::vector<Operation>& operations) {
  Registry r{operations, "Table"};
  // Writes the table of the files given, each counted at the rate named beside it ("" for the
  // rate it states), to `path`, which appears complete or not at all. "" when every file has
  // its row; else the reasons, one per line (the files that can be read have their rows).
  r.classOp("writeCsvOfPaths:rates:toPath:", {K::kStrings, K::kStrings, K::kString}, K::kString,
            [](Call& c) -> Value {
              const auto& paths = std::get<std::vector<std::string>>(c.args[0]);
              const auto& rates = std::get<std::vector<std::string>>(c.args[1]);
              if (paths.size() != rates.size()) {
                c.error = "expected a rate for each path";
                return {};
              }
              std::vector<std::pair<std::string, std::string>> files;
              for (size_t i = 0; i < paths.size(); ++i) files.emplace_back(paths[i], rates[i]);
              std::ostringstream table, failures;
              cli::writeCsvTable(files, table, failures);
              std::string why;
              if (!writeWholeFile(c.string(2), table.str(), why)) {
                failures << "bextkit: " << c.string(2) << ": " << why << '\n';
              }
              std::string reasons = failures.str();
              if (!reasons.empty() && reasons.back() == '\n') reasons.pop_back();
              return reasons;
            });
  // Imports the table at `path` into the files its rows name, as bextkit import --verbose does
  // (every row checked, and every file read, before the first file is written), or, with
  // `dryRun`, tells what it would change and writes nothing: "status" (import's exit status, 0
  // when every row was or would be written) and "report" (what it tells, for the user to read).
  r.classOp("importTableAtPath:dryRun:", {K::kString, K::kBool}, K::kRecord, [](Call& c) -> Value {
    std::vector<std::string> args = {"import", "--verbose", c.string(0)};
    if (c.boolean(1)) args.insert(args.begin() + 1, "--dry-run");
    std::ostringstream out, err;
    const int status = cli::run(args, out, err);
    return Record().add("status", int64_t{status}).add("report", out.str() + err.str());
  });
}

// Loudness measured to EBU R 128, for the window's Measure loudness.
void addLoudnessOperations(std::vector<Operation>& operations) {
  Registry r{operations, "Loudness"};
  // The five loudness fields of the file's audio as the edit layer reads and writes them
  // ("-23.01", or "none" for a value that cannot be measured), by their field names; a file
  // whose audio cannot be measured fails with the reason.
  r.classOp("measureAtPath:", {K::kString}, K::kRecord, [](Call& c) -> Value {
    const std::optional<loudness::Measurement> m =
        loudness::measure(c.string(0), {.digest = false, .progress = {}}, c.error);
    if (!m) return {};
    Record values;
    for (BextField field : kLoudnessFields) {
      values.add(fieldName(field), edit::loudnessText(loudness::storedValue(m->of(field))));
    }
    return values;
  });
}

}  // namespace bextkit::bridge
