// The operations that scripts call, by class, under the names scripts write. Each body unpacks
// the arguments that the bridge has checked against the kinds listed beside it.
#include "app/bridge/Bridge.h"
#include "bwf/AudioFormat.h"
#include "bwf/BWFParser.h"
#include "bwf/ChunkChain.h"
#include "bwf/SmpteTime.h"
#include "check/Conformance.h"
#include "platform/FileManager.h"
#include "timecode/Smpte.h"
#include "timecode/TimeCode.h"

namespace bextkit::bridge {

namespace {

using K = Kind;

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

// The conformance check of a file, for the window's panel of findings: one text per finding,
// "severity<TAB>code<TAB>offset<TAB>sentence", in file order; `rules` names the rule sets as the
// command line's --rules does.
void addConformanceOperations(std::vector<Operation>& operations) {
  Registry r{operations, "Conformance"};
  r.classOp("findingsAtPath:rules:", {K::kString, K::kString}, K::kStrings, [](Call& c) -> Value {
    const std::optional<unsigned> sets = check::parseRuleSets(c.string(1), c.error);
    check::Findings findings;
    if (!sets || !check::checkFile(c.string(0), *sets, findings, c.error)) return {};
    std::vector<std::string> texts;
    for (const check::Finding& f : findings) {
      texts.push_back(std::string(check::severityName(f.severity)) + "\t" + f.code + "\t" +
                      std::to_string(f.offset) + "\t" + f.text);
    }
    return texts;
  });
}

}  // namespace bextkit::bridge
