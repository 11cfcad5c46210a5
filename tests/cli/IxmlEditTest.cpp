// iXML documents as recorders write them, edited and kept in step with the bext chunk through
// the command line: the elements asked for (and the copies of the time reference) change, every
// other byte of the document and of the file stays, the audio decodes as before in FFmpeg, and
// a check finds the bext chunk and the iXML agreeing afterwards.
#include <gtest/gtest.h>

#include "Support.h"
#include "Tool.h"
#include "bwf/BWFParser.h"

namespace bextkit::testsupport {
namespace {

std::string utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// The payload of the file's iXML chunk, and where it starts.
std::pair<std::string, uint64_t> ixmlOf(const std::string& path) {
  const auto parser = scanned(path);
  const ChainChunk* chunk = parser->chunkChain().first(chunkid::kIXML);
  const Bytes file = readWholeFile(path);
  if (!chunk) return {"", 0};
  return {std::string(file.begin() + long(chunk->offset + 8),
                      file.begin() + long(chunk->offset + 8 + chunk->size)),
          chunk->offset};
}

std::string audioMd5(const std::string& path) {
  return runProcess({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "md5", "-"}).second;
}

TEST(IxmlEdit, RecorderDocumentsEditedWhereTheyLie) {
  // A time reference of 01:00:00:00 at 48 kHz; the takes are moved to 10:00:00:00.
  const std::string was = "172800000", now = "1728000000";
  // One recorder indents, states a declaration, counts its time stamp at 48048 Hz (a pulled-down
  // take) and leaves spaces after the document; another writes one line, mirrors bext and pads
  // with NULs; a third writes UTF-16.
  const std::string pulled = "172972800", pulledNow = "1729728000";
  const std::string indented =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BWFXML>\r\n\t<PROJECT>Harbour</PROJECT>\r\n"
      "\t<SCENE>12A</SCENE>\r\n\t<TAKE>3</TAKE>\r\n\t<SPEED>\r\n\t\t<TIMECODE_RATE>25/1"
      "</TIMECODE_RATE>\r\n\t\t<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0"
      "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>\r\n\t\t<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>" +
      pulled +
      "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>\r\n\t\t<TIMESTAMP_SAMPLE_RATE>48048"
      "</TIMESTAMP_SAMPLE_RATE>\r\n\t</SPEED>\r\n\t<TRACK_LIST><TRACK>"
      "<CHANNEL_INDEX>1</CHANNEL_INDEX><NAME>Boom</NAME></TRACK><TRACK><CHANNEL_INDEX>2"
      "</CHANNEL_INDEX><NAME/></TRACK></TRACK_LIST>\r\n\t<SD_VENDOR a=\"1\">x</SD_VENDOR>"
      "\r\n</BWFXML>\r\n";
  const std::string oneLine =
      "<BWFXML><SCENE>7</SCENE><NOTE/><BEXT><BWF_TIME_REFERENCE_LOW>" + was +
      "</BWF_TIME_REFERENCE_LOW><BWF_TIME_REFERENCE_HIGH>0</BWF_TIME_REFERENCE_HIGH></BEXT>"
      "<TRACK_LIST><TRACK><NAME>A</NAME></TRACK><TRACK><NAME>B</NAME></TRACK></TRACK_LIST>"
      "<ZAXCOM><MARK>1</MARK></ZAXCOM></BWFXML>";
  const std::string wide = utf16("<BWFXML><SCENE>9</SCENE><TAKE>1</TAKE></BWFXML>");
  const auto replaced = [](std::string text,
                           const std::vector<std::pair<std::string, std::string>>& swaps) {
    for (const auto& [from, to] : swaps) text.replace(text.find(from), from.size(), to);
    return text;
  };
  // clang-format off
  const struct { const char* name; std::string document; size_t padding; char pad; std::vector<std::string> args; std::string expected; bool inPlace; } kCases[] = {
      {"indented, padded", indented, 64, ' ', {"--scene", "14B", "--track-name", "2=Lav 1"},
       replaced(indented, {{"12A", "14B"}, {"<NAME/>", "<NAME>Lav 1</NAME>"}, {">" + pulled + "<", ">" + pulledNow + "<"}}), true},
      {"indented, no room", indented.substr(0, indented.size() - 2), 0, ' ', {"--scene", "14B"},
       replaced(indented.substr(0, indented.size() - 2), {{"12A", "14B"}, {">" + pulled + "<", ">" + pulledNow + "<"}}), false},
      {"one line, NULs", oneLine, 80, '\0', {"--note", "wind & rain", "--circled", "yes", "--take", "2"},
       replaced(oneLine, {{"<NOTE/>", "<NOTE>wind &amp; rain</NOTE>"}, {">" + was + "<", ">" + now + "<"},
                          {"</BWFXML>", "<TAKE>2</TAKE><CIRCLED>TRUE</CIRCLED></BWFXML>"}}), true},
      {"UTF-16, padded", wide + utf16("    ").substr(2), 0, ' ', {"--scene", "10"},
       replaced(wide, {{std::string("9\0", 2), std::string("1\0" "0\0", 4)}}), true},
      {"malformed", "<BWFXML><SCENE>1</BWFXML>", 0, ' ', {"--scene", "2"}, "", true}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const Bytes audio{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::string document = c.document + std::string(c.padding, c.pad);
    const std::string path = dir.write(
        "take.wav", recorderTake({"sSCENE=12A\r\nsTAKE=3\r\n", "Rec", "", "", "", 172800000},
                                 {{"iXML", Bytes(document.begin(), document.end())}}, audio));
    const Bytes before = readWholeFile(path);
    const std::string md5 = audioMd5(path);
    std::vector<std::string> args = {"set", "--timecode", "10:00:00:00", "--rate", "25"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(path);
    const Outcome set = bextkit(args);
    if (c.expected.empty()) {
      EXPECT_EQ(set.status, 1);
      EXPECT_NE(set.err.find("the iXML document cannot be read (mismatched tag)"),
                std::string::npos)
          << set.err;
      EXPECT_EQ(readWholeFile(path), before);
      continue;
    }
    ASSERT_EQ(set.status, 0) << set.err;
    const auto [after, offset] = ixmlOf(path);
    // The edited document, its padding taking up the difference where there is room.
    EXPECT_EQ(after.substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(after.find_first_not_of(std::string(" \0", 2), c.expected.size()), std::string::npos);
    const Bytes file = readWholeFile(path);
    if (c.inPlace) {
      // Nothing else moved: the file differs only in the time reference and the document.
      ASSERT_EQ(file.size(), before.size());
      EXPECT_EQ(after.size(), document.size());
      for (size_t i = 0; i < file.size(); ++i) {
        const bool reference = i >= 36 + 8 + 338 && i < 36 + 8 + 346;
        const bool ixml = i >= offset + 8 && i < offset + 8 + after.size();
        if (!reference && !ixml) {
          ASSERT_EQ(file[i], before[i]) << "byte " << i;
        }
      }
    }
    EXPECT_EQ(audioMd5(path), md5);
    // The copies agree with the bext chunk: the check finds nothing of iXML.
    const Outcome check = bextkit({"check", path});
    EXPECT_EQ(check.out.find("ixml-"), std::string::npos) << check.out;
  }
}

// A description's lines that repeat iXML fields follow them with --sync-ixml and are pointed out
// without; a file without iXML gets a document only when a field of it is asked for.
TEST(IxmlEdit, DescriptionLinesAndNewDocuments) {
  const TempDir dir;
  const std::string doc = "<BWFXML><SCENE>12A</SCENE><TAKE>3</TAKE></BWFXML>";
  const std::string path = dir.write(
      "take.wav", recorderTake({"sSCENE=12A\r\nsTAKE=3\r\nsNOTE=\r\n", "Rec", "", "", "", 0},
                               {{"iXML", Bytes(doc.begin(), doc.end())}}));
  Outcome set = bextkit({"set", "--scene", "14", path});
  EXPECT_NE(set.out.find("note: the description repeats iXML fields"), std::string::npos);
  set = bextkit({"set", "--scene", "15", "--take", "4", "--sync-ixml", path});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(scanned(path)->description(), "sSCENE=15\r\nsTAKE=4\r\nsNOTE=\r\n");

  const std::string plain = dir.write("plain.wav", recorderTake({"", "Rec"}));
  const Bytes was = readWholeFile(plain);
  ASSERT_EQ(bextkit({"set", "--originator", "Other", plain}).status, 0);
  EXPECT_EQ(ixmlOf(plain).first, "");
  set = bextkit({"set", "--track-name", "1=Boom", plain});
  EXPECT_EQ(set.status, 1);
  EXPECT_NE(set.err.find("a new one holds only PROJECT"), std::string::npos) << set.err;
  set = bextkit({"set", "--scene", "1", "--dry-run", plain});
  EXPECT_NE(set.out.find("a new iXML chunk after the header, with a 1024-byte JUNK reserve after "
                         "it: the file is written anew, and the audio moves"),
            std::string::npos)
      << set.out;
  ASSERT_EQ(bextkit({"set", "--scene", "1", "--circled", "no", plain}).status, 0);
  const Outcome shown = bextkit({"show", "--json", plain});
  EXPECT_NE(shown.out.find("\"SCENE\":\"1\",\"CIRCLED\":\"FALSE\""), std::string::npos)
      << shown.out;
  EXPECT_EQ(audioMd5(plain), [&] { return audioMd5(dir.write("copy.wav", was)); }());
}

}  // namespace
}  // namespace bextkit::testsupport
