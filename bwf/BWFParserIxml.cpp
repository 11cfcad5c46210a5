// Edits of the iXML document: the fields asked for and the copies of the bext chunk's fields
// that follow its edits, made as text where the document holds them, and the chunk written back
// as the bext chunk is: in place where it fits (recorders leave padding for this), grown into the
// room after it, or in a new file.
#include "bwf/BWFParser.h"
#include "bwf/BWFParserSaving.h"
#include "bwf/Ixml.h"
#include "timecode/CNumbers.h"

namespace bextkit {

namespace {

// A count of samples at `from` samples a second as a count at `to`, rounded down; nothing
// where it does not fit 64 bits.
std::optional<uint64_t> rescaled(uint64_t samples, uint64_t from, uint64_t to) {
  const uint64_t seconds = samples / from, rest = samples % from;
  if (to != 0 && seconds > UINT64_MAX / to) return std::nullopt;
  // rest * to fits: rest < from, both 32-bit rates.
  return seconds * to + rest * to / from;
}

}  // namespace

const IxmlRecord& BWFParser::ixmlRecord() const {
  if (!ixmlRecord_) ixmlRecord_ = decodeIxml(parseXml(ixmlText_));
  return *ixmlRecord_;
}

bool BWFParser::bextEdited() const {
  return descriptionEdited() || originatorEdited() || timeReferenceEdited() ||
         fieldEdits_ != FieldEdits();
}

std::optional<uint64_t> BWFParser::ixmlChunkSize() const {
  const ChainChunk* chunk = chain_.first(chunkid::kIXML);
  return chunk ? std::optional(chunk->size) : std::nullopt;
}

std::vector<BWFParser::IxmlChange> BWFParser::ixmlChanges() const {
  std::vector<IxmlChange> changes;
  if (ixmlEdits_.empty() && !bextEdited()) return changes;
  const IxmlRecord& record = ixmlRecord();
  // The copies first, so that a field asked for by name wins over its copy.
  std::vector<IxmlEdit> wanted;
  const auto copy = [&](const char* name, std::string text) {
    if (record.find(name)) wanted.push_back({name, std::move(text)});
  };
  const auto text = [](const std::string& t) { return std::string(cnum::cStringView(t)); };
  const FieldEdits& f = fieldEdits_;
  if (descriptionEdited()) copy("BEXT/BWF_DESCRIPTION", text(description_));
  if (originatorEdited()) copy("BEXT/BWF_ORIGINATOR", text(originator_));
  if (f.originatorReference) copy("BEXT/BWF_ORIGINATOR_REFERENCE", text(*f.originatorReference));
  if (f.originationDate) copy("BEXT/BWF_ORIGINATION_DATE", *f.originationDate);
  if (f.originationTime) copy("BEXT/BWF_ORIGINATION_TIME", *f.originationTime);
  if (f.version) copy("BEXT/BWF_VERSION", std::to_string(*f.version));
  if (f.codingHistory) copy("BEXT/BWF_CODING_HISTORY", text(*f.codingHistory));
  if (const std::optional<uint64_t> reference = timeReferenceToWrite()) {
    copy("BEXT/BWF_TIME_REFERENCE_HIGH", std::to_string(*reference >> 32));
    copy("BEXT/BWF_TIME_REFERENCE_LOW", std::to_string(*reference & 0xFFFFFFFFu));
    // The time stamp counts samples at its own rate, where the document states one.
    std::optional<uint64_t> stamp = reference;
    const IxmlField* rate = record.find("SPEED/TIMESTAMP_SAMPLE_RATE");
    const std::optional<uint64_t> stampRate = rate ? cnum::wholeDecimal(rate->text) : std::nullopt;
    if (stampRate && *stampRate != 0 && *stampRate <= UINT32_MAX && samplePerSeconds_ != 0) {
      stamp = rescaled(*reference, samplePerSeconds_, *stampRate);
    }
    if (stamp) {
      copy("SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", std::to_string(*stamp >> 32));
      copy("SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", std::to_string(*stamp & 0xFFFFFFFFu));
    }
  }
  wanted.insert(wanted.end(), ixmlEdits_.begin(), ixmlEdits_.end());
  for (const IxmlEdit& e : wanted) {
    const IxmlField* field = record.find(e.name);
    const std::string before = field ? field->text : std::string();
    const auto same = std::find_if(changes.begin(), changes.end(),
                                   [&](const IxmlChange& c) { return c.name == e.name; });
    if (same != changes.end()) {
      same->after = e.text;
    } else {
      changes.push_back({e.name, before, e.text});
    }
  }
  std::erase_if(changes, [](const IxmlChange& c) { return c.before == c.after; });
  return changes;
}

std::optional<std::string> BWFParser::ixmlToWrite(std::string& why) const {
  why.clear();
  const std::vector<IxmlChange> changes = ixmlChanges();
  if (changes.empty()) return std::nullopt;
  std::vector<IxmlEdit> edits;
  for (const IxmlChange& c : changes) edits.push_back({c.name, c.after});
  const ChainChunk* chunk = chain_.first(chunkid::kIXML);
  std::optional<std::string> document;
  if (!chunk) {
    if (!(document = newIxml(edits, why))) return std::nullopt;
  } else if (chunk->truncated) {
    why = detail::truncatedReason(*chunk);
    return std::nullopt;
  } else if (chunk->size > kLongestIxml) {
    why = "the iXML chunk is " + std::to_string(chunk->size) + " bytes long, more than the " +
          std::to_string(kLongestIxml) + " that are edited";
    return std::nullopt;
  } else {
    document = editIxml(ixmlText_, ixmlRecord(), edits, why);
    if (!document) return std::nullopt;
    if (std::optional<std::string> fitted = fittedIxml(*document, chunk->size)) return fitted;
  }
  // A chunk that grows or is new ends on an even offset.
  if (document->size() % 2 != 0) document = fittedIxml(*document, document->size() + 1);
  return document;
}

BWFParser::SaveWay BWFParser::ixmlSaveWay() const {
  std::string why;
  const std::optional<std::string> document = ixmlToWrite(why);
  return document ? ixmlSaveWay(document->size()) : SaveWay::kRewrite;
}

}  // namespace bextkit
