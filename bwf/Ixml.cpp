#include "bwf/Ixml.h"

#include <algorithm>
#include <array>
#include <functional>
#include <numeric>
#include <vector>

namespace bextkit {

namespace {

// The fields bextkit names, by their path below the root; BEXT/ and USER/ are known whole, and
// a track's fields below.
constexpr std::array<std::string_view, 22> kKnown = {"IXML_VERSION",
                                                     "PROJECT",
                                                     "SCENE",
                                                     "TAKE",
                                                     "TAPE",
                                                     "CIRCLED",
                                                     "NOTE",
                                                     "UBITS",
                                                     "FILE_UID",
                                                     "SPEED/NOTE",
                                                     "SPEED/MASTER_SPEED",
                                                     "SPEED/CURRENT_SPEED",
                                                     "SPEED/TIMECODE_RATE",
                                                     "SPEED/TIMECODE_FLAG",
                                                     "SPEED/FILE_SAMPLE_RATE",
                                                     "SPEED/AUDIO_BIT_DEPTH",
                                                     "SPEED/DIGITIZER_SAMPLE_RATE",
                                                     "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI",
                                                     "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO",
                                                     "SPEED/TIMESTAMP_SAMPLE_RATE",
                                                     "TRACK_LIST/TRACK_COUNT",
                                                     "USER"};
constexpr std::array<std::string_view, 4> kTrackFields = {"CHANNEL_INDEX", "INTERLEAVE_INDEX",
                                                          "NAME", "FUNCTION"};
constexpr std::string_view kTrack = "TRACK_LIST/TRACK/";

}  // namespace

const IxmlField* IxmlRecord::find(std::string_view name) const {
  const auto f = std::find_if(fields.begin(), fields.end(),
                              [name](const IxmlField& f) { return f.name == name; });
  return f == fields.end() ? nullptr : &*f;
}

IxmlRecord decodeIxml(const XmlDocument& document) { return decodeIxml(XmlDocument(document)); }

IxmlRecord decodeIxml(XmlDocument&& document) {
  IxmlRecord record;
  record.wellFormed = document.wellFormed;
  if (!document.wellFormed) {
    record.error = document.error;
    return record;
  }
  // Tracks are told apart by their TRACK element, which their leaves share as parent.
  uint64_t trackElement = 0;
  record.fields.reserve(document.leafList.size());
  for (XmlLeaf& leaf : document.leafList) {
    const size_t slash = leaf.path.find('/');
    if (record.root.empty()) record.root = leaf.path.substr(0, slash);
    leaf.path.erase(0, slash == std::string::npos ? 0 : slash + 1);
    IxmlField field{
        std::move(leaf.path), std::move(leaf.text), leaf.begin, leaf.end, leaf.emptyTag, false};
    if (record.root == "BWFXML") {
      const std::string& name = field.name;
      if (name.starts_with(kTrack)) {
        if (record.tracks == 0 || leaf.parent != trackElement) ++record.tracks;
        trackElement = leaf.parent;
        const std::string_view element = std::string_view(name).substr(kTrack.size());
        field.known =
            std::find(kTrackFields.begin(), kTrackFields.end(), element) != kTrackFields.end();
        field.name =
            "TRACK_LIST/TRACK[" + std::to_string(record.tracks) + "]/" + std::string(element);
      } else {
        field.known = std::find(kKnown.begin(), kKnown.end(), name) != kKnown.end() ||
                      name.starts_with("BEXT/") || name.starts_with("USER/");
      }
    }
    record.fields.push_back(std::move(field));
  }
  // A name that repeats (an element a vendor writes twice) is numbered from its second field
  // on, in document order, so that each names one field. Most documents repeat none, which
  // their names' hashes show without the names being sorted.
  std::vector<size_t> hashes;
  hashes.reserve(record.fields.size());
  for (const IxmlField& field : record.fields)
    hashes.push_back(std::hash<std::string>()(field.name));
  std::sort(hashes.begin(), hashes.end());
  if (std::adjacent_find(hashes.begin(), hashes.end()) == hashes.end()) return record;
  std::vector<size_t> byName(record.fields.size());
  std::iota(byName.begin(), byName.end(), size_t{0});
  std::stable_sort(byName.begin(), byName.end(), [&](size_t a, size_t b) {
    return record.fields[a].name < record.fields[b].name;
  });
  for (size_t i = 1, first = 0; i < byName.size(); ++i) {
    std::string& name = record.fields[byName[i]].name;
    if (name != record.fields[byName[first]].name) {
      first = i;
    } else {
      name += "[" + std::to_string(i - first + 1) + "]";
    }
  }
  return record;
}

}  // namespace bextkit
