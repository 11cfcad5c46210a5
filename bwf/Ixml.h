// The iXML document that field recorders write beside the bext chunk, as production sound uses
// it: project, scene, take, tape, circled, note, user bits and file identity; the speed and
// timecode (rate, flag, time stamp in samples); the track list; the mirror of the bext chunk;
// the vendor's USER data; and every other element, kept as it is. Each field keeps where its text
// lies in the document, so that an edit can change that text and no other byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bwf/Xml.h"

namespace bextkit {

struct IxmlField {
  // The element's path below the root, a repeated track numbered from 1: "SCENE",
  // "SPEED/TIMECODE_RATE", "TRACK_LIST/TRACK[2]/NAME", "BEXT/BWF_TIME_REFERENCE_LOW".
  std::string name;
  std::string text;
  uint64_t begin = 0, end = 0;  // the content's bytes in the document (XmlLeaf)
  bool emptyTag = false;
  bool known = false;  // one of the fields named above; else another element, shown as "other"
};

struct IxmlRecord {
  bool wellFormed = false;
  std::string error;  // why the document could not be read, for one that is not well-formed
  std::string root;   // "BWFXML" in an iXML document
  std::vector<IxmlField> fields;  // in document order
  size_t tracks = 0;              // the TRACK elements of its TRACK_LIST

  // The field of that name, or null.
  const IxmlField* find(std::string_view name) const;
};

// The record of a parsed document; its fields only when the document is well-formed.
IxmlRecord decodeIxml(const XmlDocument& document);
// The same, taking the document's texts rather than copying them.
IxmlRecord decodeIxml(XmlDocument&& document);

}  // namespace bextkit
