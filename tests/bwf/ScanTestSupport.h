// Shared by the scan tests: parsing a file built in memory, and comparing a parser with the
// literal reference scan.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LiteralScan.h"
#include "LogCapture.h"
#include "RiffBuilder.h"
#include "TempDir.h"
#include "bwf/BWFParser.h"

namespace bextkit::testsupport {

struct Parsed {
  std::unique_ptr<BWFParser> parser;
  std::vector<std::string> messages;
};

// Writes `bytes` to a file in `dir`, opens it at `fps` and parses it, capturing the log.
inline Parsed parseBytes(const TempDir& dir, const Bytes& bytes, float fps = 25.0f) {
  Parsed parsed;
  parsed.parser = BWFParser::initWithPath(dir.write("scan.wav", bytes), fps);
  if (!parsed.parser) return parsed;
  LogCapture log;
  parsed.parser->parse();
  parsed.messages = log.messages;
  return parsed;
}

// Every result of the scan agrees with the reference.
inline void expectSameAsLiteral(Parsed& parsed, const LiteralScanResult& expected) {
  BWFParser& p = *parsed.parser;
  EXPECT_EQ(p.getChunkDictionary(), expected.directory);
  EXPECT_EQ(p.chunkFlags(), expected.flags);
  EXPECT_EQ(parsed.messages, expected.messages);
  EXPECT_EQ(p.samplePerSeconds(), expected.sampleRate);
  EXPECT_EQ(p.bitsPerSample(), expected.bitsPerSample);
  EXPECT_EQ(p.channels(), expected.channels);
  EXPECT_EQ(p.description(), expected.description);
  EXPECT_EQ(p.originator(), expected.originator);
  EXPECT_EQ(p.originatorReference(), expected.originatorReference);
  EXPECT_EQ(p.creationdate(), expected.originationDate);
  EXPECT_EQ(p.creationtime(), expected.originationTime);
  EXPECT_EQ(p.getCodingHistory(), expected.codingHistory);
  EXPECT_EQ(p.getSamplesSinceMidnightLow(), expected.timeReferenceLow);
  EXPECT_EQ(p.getSamplesSinceMidnightHigh(), expected.timeReferenceHigh);
  ASSERT_EQ(p.bwfChunk() != nullptr, expected.chunkImage.has_value());
  if (p.bwfChunk()) {
    EXPECT_EQ(p.bwfChunk()->bytes, *expected.chunkImage);
  }
  EXPECT_EQ(p.scanWindow(), expected.window);
  EXPECT_EQ(p.timecodeString(), expected.timecode);
  EXPECT_EQ(p.getTicks(), expected.ticks);
}

}  // namespace bextkit::testsupport
