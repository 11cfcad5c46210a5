// The one place where text that users give becomes edits of the broadcast extension: the command
// line's options, an imported table's cells, the desktop application's fields and the scripts'
// calls all come through here. A field's text is read into its value (parseValue), the values
// asked for one file are planned against what the file holds (Plan), and a plan is refused,
// field by field, for anything a check of the file written would call an error. Nothing here
// writes: a plan is put on a parser, which saves it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bwf/BWFParser.h"
#include "bwf/BextRecord.h"
#include "bwf/Ixml.h"
#include "bwf/IxmlEdit.h"

namespace bextkit::edit {

// A field's value: the bytes of a text (the coding history whole), a version, a UMID or a
// loudness value in hundredths (BextRecord::kNotMeasured when not measured).
using Value = std::variant<std::string, uint16_t, Umid, int16_t>;

// Reads the text of one field (not the time reference): a text as it stands; a coding history
// with each line ended by CR LF; a version 0, 1 or 2; a UMID as 64 or 128 hexadecimal digits,
// or 0 or nothing for none; a loudness value as a decimal such as -23 or -23.00, rounded half
// away from zero to hundredths, within what 16 bits hold, or "none" or nothing for not measured.
// Nothing, with the reason in `why`, for a text that is no value of the field. With `ranges`,
// also for a date or time that names no real moment; without, those are left to the plan, which
// takes them where the file holds them already (a table read back unchanged).
std::optional<Value> parseValue(BextField field, std::string_view text, std::string& why,
                                bool ranges = true);

// The value as parseValue reads it and as changes show it: a text as its bytes, a version as
// its number, a UMID as hex digits ("0" for none), a loudness value with two decimals, or
// `notMeasured`.
std::string valueText(const Value& value, std::string_view notMeasured = "none");

// The text a loudness value is shown by.
std::string loudnessText(int16_t hundredths, std::string_view notMeasured = "none");

// A coding history with each line ended by CR LF, whatever line ends it came with (LF alone, as a
// shell or a spreadsheet cell gives them, or CR alone), the last line included.
std::string withCrLf(std::string_view text);

// The iXML fields that production sound fills, by their names below BWFXML, as tables show and
// edit them: export's columns, the desktop application's cells, each named with kIxmlPrefix
// ("iXML:SCENE") where they stand beside the broadcast extension's fields.
inline constexpr std::array<std::string_view, 10> kIxmlTableFields = {"PROJECT",
                                                                      "SCENE",
                                                                      "TAKE",
                                                                      "TAPE",
                                                                      "CIRCLED",
                                                                      "NOTE",
                                                                      "UBITS",
                                                                      "FILE_UID",
                                                                      "SPEED/TIMECODE_RATE",
                                                                      "SPEED/TIMECODE_FLAG"};
inline constexpr std::string_view kIxmlPrefix = "iXML:";

// The text of an iXML field (named as the iXML record names it: "SCENE",
// "TRACK_LIST/TRACK[2]/NAME") as the document holds it: CIRCLED as TRUE or FALSE (from true,
// false, yes or no in any case); any field as UTF-8 without NUL. Nothing, with the reason in
// `why`, for a text that is no value of the field.
std::optional<std::string> ixmlValue(std::string_view name, std::string_view text,
                                     std::string& why);

// The edits of one file.
class Plan {
 public:
  // Plans edits of the file `parser` scanned: of its bext chunk, or of the one a save would add.
  explicit Plan(const BWFParser& parser);

  // The field as the file holds it (as a new chunk would hold it, in a file without one); none
  // where the chunk ends before it.
  std::optional<Value> current(BextField field) const;
  // Asks for a value. A value the field holds already is no change, and is never refused.
  void set(BextField field, Value value);
  // Reads a field's text (parseValue, the ranges left to refusals, so that a value the file holds
  // is taken whatever it is) and asks for it; false, with the reason in `why`, when the text is
  // no value of the field.
  bool take(BextField field, std::string_view text, std::string& why);
  // Reads an iXML field's text (ixmlValue) and asks for it; false, with the reason in `why`,
  // when the text is no value of the field. The parser tells what changes (ixmlChanges) once
  // the plan is put on it.
  bool takeIxml(std::string_view name, std::string_view text, std::string& why);
  // The description with each of its lines that repeat an iXML field asked for (sSCENE=12,
  // sTAKE=, sTAPE=, sPROJECT=, sNOTE=, sCIRCLED=, sTRK2= for the second track's name, as field
  // recorders write them) giving the new text; none where no such line changes.
  std::optional<std::string> descriptionInStep() const;
  // The iXML field as the file's document holds it; none where it lacks the field.
  std::optional<std::string> currentIxml(std::string_view name) const;

  struct Change {
    BextField field;
    Value before, after;
  };
  // The fields that change, in the order of the record.
  std::vector<Change> changes() const;
  // Why the plan cannot be written, one sentence per field ("UMID: a UMID needs Version 1 or 2,
  // and the Version is 0; set the Version as well"): a text too long for its field or holding a
  // NUL, a UMID or loudness value in a version that has none, and whatever a check of the
  // written chunk calls an error about a changed field; for iXML fields ("iXML: ..."), a
  // document that cannot be edited or lacks the element asked for. Empty when nothing stands
  // in the way.
  std::vector<std::string> refusals() const;
  // Puts the edits on the parser, which writes them when it saves.
  void applyTo(BWFParser& parser) const;

 private:
  // The record with the edits made.
  BextRecord edited() const;

  BextRecord before_;
  bool hasIxml_ = false;
  std::string ixmlText_;
  IxmlRecord ixml_;
  std::vector<IxmlEdit> ixmlEdits_;
  std::vector<std::optional<Value>> wanted_;  // by BextField
  std::vector<bool> asked_;                   // by BextField, changed or not
};

}  // namespace bextkit::edit
