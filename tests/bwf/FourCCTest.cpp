// Four-character codes and the list of chunk IDs the scan recognises.
#include "bwf/FourCC.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace bextkit {
namespace {

TEST(FourCC, HoldsItsBytesInFileOrder) {
  const uint8_t bytes[] = {'f', 'm', 't', ' '};
  EXPECT_EQ(FourCC::fromBytes(bytes), chunkid::kFmt);
  EXPECT_EQ(chunkid::kFmt.str(), "fmt ");
  EXPECT_EQ(chunkid::kRIFF.reversed().str(), "FFIR");
  EXPECT_EQ(chunkid::kRIFF.word(), 0x46464952u);
  EXPECT_NE(chunkid::kRIFF, chunkid::kRIFF.reversed());
  EXPECT_EQ(FourCC().str(), std::string(4, '\0'));
}

TEST(FourCC, ListedIdsAreTheTwentyFourInAsciiOrder) {
  std::vector<std::string> ids;
  for (const FourCC& id : kListedChunkIDs) ids.push_back(id.str());
  const std::vector<std::string> expected = {"JUNK", "RIFF", "WAVE", "adtl", "aton", "bext",
                                             "cue ", "data", "fact", "file", "fill", "film",
                                             "fmt ", "iXML", "labl", "ltxt", "minf", "note",
                                             "omfi", "plst", "slnt", "umid", "wavl", "zfil"};
  EXPECT_EQ(ids, expected);
}

TEST(FourCC, NoListedIdHoldsAZeroByte) {
  // The scan reads bytes beyond the end of a file as zero and relies on that never completing
  // an ID.
  for (const FourCC& id : kListedChunkIDs) {
    for (size_t i = 0; i < 4; ++i) EXPECT_NE(id[i], 0) << id.str();
  }
}

}  // namespace
}  // namespace bextkit
