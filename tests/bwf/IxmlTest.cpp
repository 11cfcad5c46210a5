// The iXML record over documents as recorders write them: each field by its name with its text
// where the document holds it, tracks numbered by their TRACK element, vendor elements kept as
// "other", UTF-16 read as UTF-8, and a document that cannot be read told so.
#include <gtest/gtest.h>

#include "bwf/Ixml.h"
#include "bwf/IxmlEdit.h"
#include "edit/FieldEdit.h"

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

// An edit changes the text of its element and no other byte: an empty-element tag opened and
// closed, a missing top-level field added before the root's end, the text escaped, UTF-16 kept;
// a field without a place, or a document that cannot be read, refused.
TEST(Ixml, EditsChangeTheirElementsOnly) {
  const std::string doc =
      "<?xml version=\"1.0\"?>\n<BWFXML>\n  <SCENE>12A</SCENE><NOTE/>\n"
      "  <TRACK_LIST><TRACK><NAME>Boom</NAME></TRACK><TRACK><NAME>Lav 1</NAME>"
      "</TRACK></TRACK_LIST><VENDOR a='1'> x </VENDOR>\n</BWFXML>\n   ";
  const auto replaced = [&](std::string text,
                            const std::vector<std::pair<std::string, std::string>>& swaps) {
    for (const auto& [from, to] : swaps) text.replace(text.find(from), from.size(), to);
    return text;
  };
  // clang-format off
  const struct { std::string document; std::vector<IxmlEdit> edits; std::string expected; } kCases[] = {
      {doc, {{"SCENE", "13B"}, {"NOTE", "a & <b>"}, {"TRACK_LIST/TRACK[2]/NAME", "Lav 2"}, {"TAPE", "T1"}, {"SCENE", "14"}},
       replaced(doc, {{"12A", "14"}, {"<NOTE/>", "<NOTE>a &amp; &lt;b&gt;</NOTE>"}, {"Lav 1", "Lav 2"},
                      {"\n</BWFXML>", "\n<TAPE>T1</TAPE></BWFXML>"}})},
      {utf16("<BWFXML><SCENE>7</SCENE></BWFXML>"), {{"SCENE", "8\xC3\xA9"}, {"TAKE", "2"}},
       utf16("<BWFXML><SCENE>8\xE9</SCENE><TAKE>2</TAKE></BWFXML>")},
      {doc, {{"TRACK_LIST/TRACK[3]/NAME", "Lav 3"}}, "the iXML document has no TRACK_LIST/TRACK[3]/NAME element to hold it"},
      {"<BWFXML><SCENE>", {{"SCENE", "1"}}, "the iXML document cannot be read (no element found), so it is not edited"}};
  // clang-format on
  for (const auto& c : kCases) {
    std::string why;
    const std::optional<std::string> out =
        editIxml(c.document, decodeIxml(parseXml(c.document)), c.edits, why);
    EXPECT_EQ(out.value_or(why), c.expected);
  }
  // A new document holds what it was given.
  std::string why;
  const IxmlRecord made =
      decodeIxml(parseXml(newIxml({{"SCENE", "1"}, {"CIRCLED", "TRUE"}}, why).value_or(why)));
  ASSERT_TRUE(made.find("CIRCLED"));
  EXPECT_EQ(made.find("SCENE")->text + made.find("CIRCLED")->text, "1TRUE");
  EXPECT_EQ(edit::ixmlValue("CIRCLED", "Yes", why).value_or(why), "TRUE");
  EXPECT_EQ(edit::ixmlValue("CIRCLED", "maybe", why).value_or(why),
            "expected yes or no (TRUE or FALSE), got 'maybe'");
  EXPECT_EQ(edit::ixmlValue("SCENE", "\xE9", why).value_or(why),
            "holds a byte that is no UTF-8 character (iXML is UTF-8 text)");
}

// Documents as recorders write them are read by the quick reader, leaf for leaf as expat reads
// them; anything else is left to expat.
TEST(Ixml, QuickReaderReadsRecorderDocumentsAsExpatDoes) {
  const auto leaves = [](const XmlDocument& d) {
    std::string out = d.wellFormed ? "" : "not well-formed";
    for (const XmlLeaf& l : d.leafList) {
      out += l.path + "=" + l.text + "@" + std::to_string(l.begin) + "-" + std::to_string(l.end) +
             (l.emptyTag ? "/" : "") + "^" + std::to_string(l.parent) + " ";
    }
    return out;
  };
  static constexpr char kIndented[] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BWFXML>\r\n\t<NOTE>a\r\nb\rc &lt;x&gt; &amp; "
      "&quot;&apos;</NOTE>\r\n\t<E />\r\n\t<F></F>\r\n</BWFXML >\r\n  \0\0";
  for (const std::string& document :
       {std::string(kIndented, sizeof kIndented - 1),
        std::string("<BWFXML><TRACK_LIST><TRACK><NAME>A</NAME></TRACK><TRACK><NAME>B</NAME>"
                    "</TRACK></TRACK_LIST><Z><M>1</M><M>2</M></Z></BWFXML>"),
        // Every kind of name byte, and padding of spaces, a line end and NULs.
        "<BWFXML><A-1.b:c_2> x </A-1.b:c_2></BWFXML>" + std::string(20, ' ') + "\n" +
            std::string(16, '\0')}) {
    const std::optional<XmlDocument> quick = detail::readPlainXml(document);
    ASSERT_TRUE(quick) << document;
    EXPECT_EQ(leaves(*quick), leaves(detail::readXmlWithExpat(document)));
  }
  for (const char* other :
       {"<BWFXML><A x=\"1\">2</A></BWFXML>", "<BWFXML><!-- c --><A>1</A></BWFXML>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><A>1</A>", "<A>&#233;</A>",
        "<A>\xC3\xA9</A>", "<A><![CDATA[x]]></A>", "<A>1</B>", "<A>1</A><A>2</A>",
        " <?xml version=\"1.0\"?><A/>"}) {
    EXPECT_FALSE(detail::readPlainXml(other)) << other;
  }
}

}  // namespace
}  // namespace bextkit
