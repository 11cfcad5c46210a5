// The C-number helpers against the C library itself: atoi and printf are the reference.
#include "timecode/CNumbers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>

namespace bextkit::cnum {
namespace {

TEST(CNumbers, AtoiAgreesWithTheCLibrary) {
  // glibc's atoi is strtol narrowed to int, so these include the overflowing cases.
  static const char* const kCases[] = {"0",
                                       "7",
                                       "-7",
                                       "+7",
                                       "  \t\n12",
                                       "12abc",
                                       "abc",
                                       "",
                                       "-",
                                       "+",
                                       "- 1",
                                       "0012",
                                       "1:2",
                                       "2147483647",
                                       "2147483648",
                                       "-2147483648",
                                       "-2147483649",
                                       "4294967296",
                                       "99999999999",
                                       "-99999999999",
                                       "9223372036854775807",
                                       "9223372036854775808",
                                       "-9223372036854775808",
                                       "-9223372036854775809",
                                       "99999999999999999999999",
                                       "-99999999999999999999999",
                                       "\v\f\r 5",
                                       "++5",
                                       "-+5"};
  for (const char* text : kCases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(atoi(text), std::atoi(text));
  }
}

TEST(CNumbers, AtoiAgreesWithTheCLibraryOnRandomText) {
  std::mt19937 rng(7);
  const std::string alphabet = "0123456789+- \t:;x";
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    const int length = static_cast<int>(rng() % 25);
    for (int i = 0; i < length; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    SCOPED_TRACE(text);
    ASSERT_EQ(atoi(text), std::atoi(text.c_str()));
  }
}

TEST(CNumbers, PaddedDecimalsMatchPrintf) {
  const int64_t values[] = {0,
                            1,
                            -1,
                            9,
                            10,
                            -10,
                            99,
                            -99,
                            123,
                            -123,
                            12345,
                            -2147483648LL,
                            2147483647LL,
                            4294967295LL,
                            std::numeric_limits<int64_t>::min(),
                            std::numeric_limits<int64_t>::max()};
  for (int width : {2, 4, 6}) {
    for (int64_t v : values) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "%0*lld", width, static_cast<long long>(v));
      std::string actual;
      appendPadded(actual, v, width);
      SCOPED_TRACE(expected);
      EXPECT_EQ(actual, expected);
    }
  }
}

TEST(CNumbers, FloatToInt32IsDefinedEverywhere) {
  struct Case {
    float value;
    int32_t trunc;
    int32_t rounded;
  };
  static const Case kCases[] = {
      {0.0f, 0, 0},
      {2.5f, 2, 3},
      {-2.5f, -2, -3},
      {29.97f, 29, 30},
      {2147483520.0f, 2147483520, 2147483520},            // the largest float below 2^31
      {2147483648.0f, -2147483647 - 1, -2147483647 - 1},  // 2^31 wraps
      {4294967296.0f, 0, 0},                              // 2^32 wraps to 0
      {-2147483648.0f, -2147483647 - 1, -2147483647 - 1},
      {-2147483904.0f, 2147483392, 2147483392},  // just below -2^31 wraps to the top
      {1e10f, 1410065408, 1410065408},           // 10^10 mod 2^32
      {std::numeric_limits<float>::infinity(), 0, 0},
      {-std::numeric_limits<float>::infinity(), 0, 0},
      {std::numeric_limits<float>::quiet_NaN(), 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(truncToInt32(c.value), c.trunc);
    EXPECT_EQ(lroundfToInt32(c.value), c.rounded);
  }
}

}  // namespace
}  // namespace bextkit::cnum
