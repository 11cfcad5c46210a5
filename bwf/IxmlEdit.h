// Edits of an iXML document as text: each field's content is replaced where the document holds
// it, and every other byte (vendor elements, white space, order, the declaration, padding)
// stays as it was. The document is never parsed into a tree and written out again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bwf/Ixml.h"

namespace bextkit {

// A field's new text, the field named as the iXML record names it ("SCENE",
// "TRACK_LIST/TRACK[2]/NAME").
struct IxmlEdit {
  std::string name;
  std::string text;
};

// The document with the edits made: the content of each field replaced (an empty-element tag
// becoming a start and end tag), the text escaped for XML and encoded as the document is (UTF-8,
// or UTF-16 in its byte order). A top-level field the document lacks (SCENE, TAKE ...) is added
// before the root's end tag. Nothing, with the reason in `why`, for a document that is not
// well-formed or a field it lacks that has no place of its own (a track it does not list).
std::optional<std::string> editIxml(std::string_view document, const IxmlRecord& record,
                                    const std::vector<IxmlEdit>& edits, std::string& why);

// A minimal document holding the fields given, for a file without iXML; nothing, with the reason
// in `why`, for a field that is not one of the top-level fields it can hold (SCENE, TAKE ...).
std::optional<std::string> newIxml(const std::vector<IxmlEdit>& edits, std::string& why);

// The document made exactly `size` bytes long by what follows its root element (white space or
// NULs, the room recorders leave for edits): shortened by that padding, or lengthened by more of
// it (spaces where the document has none). Nothing when its padding is too short.
std::optional<std::string> fittedIxml(std::string_view document, uint64_t size);

}  // namespace bextkit
