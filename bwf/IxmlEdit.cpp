#include "bwf/IxmlEdit.h"

#include <algorithm>
#include <array>

#include "bwf/Xml.h"
#include "platform/Utf8.h"

namespace bextkit {

namespace {

// The fields a document may lack that go straight under the root.
constexpr std::array<std::string_view, 8> kTopLevel = {"PROJECT", "SCENE", "TAKE",  "TAPE",
                                                       "CIRCLED", "NOTE",  "UBITS", "FILE_UID"};

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    // A carriage return is written as a reference, which a reader keeps (a raw one it reads as
    // a line feed).
    out += c == '&'    ? "&amp;"
           : c == '<'  ? "&lt;"
           : c == '>'  ? "&gt;"
           : c == '\r' ? "&#13;"
                       : std::string(1, c);
  }
  return out;
}

// The element's own name: the last part of the field's name, without a number in brackets.
std::string elementOf(std::string_view name) {
  std::string_view element = name.substr(name.rfind('/') + 1);
  return std::string(element.substr(0, element.find('[')));
}

// ASCII and UTF-8 text as the document holds its characters: UTF-8 as it is, or UTF-16 in the
// byte order of the document's mark.
class Encoding {
 public:
  explicit Encoding(std::string_view document)
      : utf16_(document.starts_with("\xFF\xFE") || document.starts_with("\xFE\xFF")),
        little_(document.starts_with("\xFF\xFE")) {}

  std::string operator()(std::string_view utf8) const {
    if (!utf16_) return std::string(utf8);
    std::string out;
    const auto unit = [&](uint32_t u) {
      const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
      out += little_ ? std::string{low, high} : std::string{high, low};
    };
    const std::string text(utf8);
    for (size_t i = 0; i < text.size();) {
      const size_t length = std::max<size_t>(utf8SequenceLength(text, i), 1);
      uint32_t code = static_cast<uint8_t>(text[i]);
      if (length > 1) {
        code &= 0x7Fu >> length;
        for (size_t k = 1; k < length; ++k)
          code = (code << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
      }
      if (code >= 0x10000) {
        code -= 0x10000;
        unit(0xD800 + (code >> 10));
        unit(0xDC00 + (code & 0x3FF));
      } else {
        unit(code);
      }
      i += length;
    }
    return out;
  }

 private:
  bool utf16_, little_;
};

}  // namespace

std::optional<std::string> editIxml(std::string_view document, const IxmlRecord& record,
                                    const std::vector<IxmlEdit>& edits, std::string& why) {
  if (!record.wellFormed) {
    why = "the iXML document cannot be read (" + record.error + "), so it is not edited";
    return std::nullopt;
  }
  const Encoding encode(document);
  // Replacements by where they begin, made from the end of the document back so that each
  // range still points where it did.
  struct Replacement {
    uint64_t begin, end;
    std::string bytes;
  };
  std::vector<Replacement> replacements;
  std::string added;  // elements the document lacks, before the root's end tag
  for (size_t i = 0; i < edits.size(); ++i) {
    const IxmlEdit& e = edits[i];
    // A field named again later takes the later text.
    if (std::any_of(edits.begin() + static_cast<std::ptrdiff_t>(i) + 1, edits.end(),
                    [&](const IxmlEdit& later) { return later.name == e.name; })) {
      continue;
    }
    const std::string text = escaped(e.text);
    if (const IxmlField* f = record.find(e.name)) {
      const std::string element = elementOf(e.name);
      replacements.push_back(
          {f->begin, f->end,
           encode(f->emptyTag ? "<" + element + ">" + text + "</" + element + ">" : text)});
    } else if (std::find(kTopLevel.begin(), kTopLevel.end(), e.name) != kTopLevel.end() &&
               record.root == "BWFXML") {
      added += "<" + e.name + ">" + text + "</" + e.name + ">";
    } else {
      why = "the iXML document has no " + e.name + " element to hold it";
      return std::nullopt;
    }
  }
  if (!added.empty()) {
    const std::string endTag = encode("</BWFXML>");
    const size_t at = document.rfind(endTag);
    if (at == std::string_view::npos) {
      why = "the iXML document's end tag cannot be found";
      return std::nullopt;
    }
    replacements.push_back({at, at, encode(added)});
  }
  std::sort(replacements.begin(), replacements.end(),
            [](const Replacement& a, const Replacement& b) { return a.begin > b.begin; });
  std::string out(document);
  for (const Replacement& r : replacements) {
    out.replace(static_cast<size_t>(r.begin), static_cast<size_t>(r.end - r.begin), r.bytes);
  }
  return out;
}

std::optional<std::string> newIxml(const std::vector<IxmlEdit>& edits, std::string& why) {
  std::string fields;
  for (const IxmlEdit& e : edits) {
    if (std::find(kTopLevel.begin(), kTopLevel.end(), e.name) == kTopLevel.end()) {
      why =
          "the file has no iXML document, and a new one holds only PROJECT, SCENE, TAKE, TAPE, "
          "CIRCLED, NOTE, UBITS and FILE_UID, not " +
          e.name;
      return std::nullopt;
    }
    fields += "<" + e.name + ">" + escaped(e.text) + "</" + e.name + ">";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><IXML_VERSION>2.10</IXML_VERSION>" +
         fields + "</BWFXML>\n";
}

std::optional<std::string> fittedIxml(std::string_view document, uint64_t size) {
  const bool utf16 = document.starts_with("\xFF\xFE") || document.starts_with("\xFE\xFF");
  const bool little = document.starts_with("\xFF\xFE");
  const size_t unit = utf16 ? 2 : 1;
  const size_t whole = document.size() - document.size() % unit;  // in whole characters
  const size_t body = withoutXmlPadding(document).size();
  if (size < body || (size - body) % unit != 0) return std::nullopt;
  std::string out(document.substr(0, static_cast<size_t>(std::min<uint64_t>(size, whole))));
  // More of the document's last padding character, or spaces.
  const std::string fill = body < whole ? std::string(document.substr(whole - unit, unit))
                           : !utf16     ? std::string(" ")
                           : little     ? std::string(" \0", 2)
                                        : std::string("\0 ", 2);
  while (out.size() < size) out += fill;
  return out;
}

}  // namespace bextkit
