// The iXML record over documents as recorders write them: each field by its name with its text
// where the document holds it, tracks numbered by their TRACK element, vendor elements kept as
// "other", UTF-16 read as UTF-8, and a document that cannot be read told so.
#include <gtest/gtest.h>

#include "bwf/Ixml.h"

namespace bextkit {
namespace {

std::string utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

TEST(Ixml, FieldsOfRecorderDocuments) {
  // Two tracks, the first without a channel index; a vendor's element twice; an empty NOTE.
  const std::string zaxcom =
      "<?xml version=\"1.0\"?>\n<BWFXML><PROJECT>Harbour</PROJECT><SCENE>12A</SCENE>"
      "<TAKE>3</TAKE><NOTE/><SPEED><TIMECODE_RATE>30000/1001</TIMECODE_RATE>"
      "<TIMECODE_FLAG>DF</TIMECODE_FLAG></SPEED><TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT>"
      "<TRACK><NAME>Boom</NAME></TRACK><TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><NAME>Lav 1</NAME>"
      "</TRACK></TRACK_LIST><ZAXCOM><MARK>1</MARK><MARK>2</MARK></ZAXCOM>"
      "<USER>ZAX=1</USER></BWFXML>\n";
  // clang-format off
  const struct { std::string document; std::vector<std::tuple<std::string, std::string, bool>> fields; } kCases[] = {
      {zaxcom, {{"PROJECT", "Harbour", true}, {"SCENE", "12A", true}, {"NOTE", "", true},
                {"SPEED/TIMECODE_RATE", "30000/1001", true}, {"TRACK_LIST/TRACK[1]/NAME", "Boom", true},
                {"TRACK_LIST/TRACK[2]/CHANNEL_INDEX", "2", true}, {"TRACK_LIST/TRACK[2]/NAME", "Lav 1", true},
                {"ZAXCOM/MARK", "1", false}, {"ZAXCOM/MARK[2]", "2", false}, {"USER", "ZAX=1", true}}},
      {utf16("<BWFXML><SCENE>7</SCENE><BEXT><BWF_TIME_REFERENCE_LOW>48000</BWF_TIME_REFERENCE_LOW></BEXT></BWFXML>"),
       {{"SCENE", "7", true}, {"BEXT/BWF_TIME_REFERENCE_LOW", "48000", true}}},
      {"<OTHER><SCENE>7</SCENE></OTHER>", {{"SCENE", "7", false}}}};
  // clang-format on
  for (const auto& c : kCases) {
    const IxmlRecord record = decodeIxml(parseXml(c.document));
    ASSERT_TRUE(record.wellFormed) << record.error;
    for (const auto& [name, text, known] : c.fields) {
      SCOPED_TRACE(name);
      const IxmlField* f = record.find(name);
      ASSERT_TRUE(f);
      EXPECT_EQ(f->text, text);
      EXPECT_EQ(f->known, known);
      // Where the document holds it: the text (in UTF-16, its first character), or the tag.
      const std::string held = c.document.substr(f->begin, f->end - f->begin);
      EXPECT_EQ(held.substr(0, 1), f->emptyTag ? "<" : text.substr(0, 1));
    }
  }
  const IxmlRecord broken = decodeIxml(parseXml("<BWFXML><SCENE>7</BWFXML>"));
  EXPECT_FALSE(broken.wellFormed);
  EXPECT_EQ(broken.error, "mismatched tag");
  EXPECT_TRUE(broken.fields.empty());
}

}  // namespace
}  // namespace bextkit
