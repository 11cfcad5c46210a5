// The meter against the minimum requirements of EBU Tech 3341 (loudness, momentary, short-term,
// true peak) and Tech 3342 (loudness range), their test signals made from the published
// descriptions; every coding it reads giving one value; and `loudness --write` storing what it
// measured.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

#include "Support.h"
#include "Tool.h"
#include "bwf/BWFParser.h"
#include "loudness/Meter.h"

namespace bextkit::loudness {
namespace {

using testsupport::Bytes;
using testsupport::RiffBuilder;

constexpr uint32_t kRate = 48000;

// Levels in dBFS held for some seconds, a sine's peak at that level.
struct Segment {
  double dbfs, seconds;
};

// Interleaved samples of a sine at `hz` through the segments, channel c `offsets[c]` dB off.
std::vector<double> sine(const std::vector<Segment>& segments, std::vector<double> offsets,
                         double hz = 1000, double phaseDegrees = 0) {
  std::vector<double> out;
  size_t n = 0;
  for (const Segment& s : segments) {
    std::vector<double> gains;
    for (double offset : offsets) gains.push_back(std::pow(10, (s.dbfs + offset) / 20));
    for (size_t end = n + size_t(s.seconds * kRate + 0.5); n < end; ++n) {
      const double x = std::sin(2 * std::numbers::pi * hz * double(n) / kRate +
                                phaseDegrees * std::numbers::pi / 180);
      for (double gain : gains) out.push_back(gain * x);
    }
  }
  return out;
}

// The samples as a file of the coding: `bits` of PCM (tag 1), float (3) or extensible PCM
// (0xFFFE), in the byte order of `order`.
Bytes wave(const std::vector<double>& samples, uint16_t channels, uint16_t tag = 3,
           uint16_t bits = 32, testsupport::ByteOrder order = testsupport::ByteOrder::kNormal,
           const testsupport::BextFields* bext = nullptr) {
  const bool big = order == testsupport::ByteOrder::kBig;
  Bytes data;
  for (double v : samples) {
    uint64_t word;
    if (tag == 3 && bits == 64) {
      std::memcpy(&word, &v, 8);
    } else if (tag == 3) {
      const auto f = static_cast<float>(v);
      uint32_t w;
      std::memcpy(&w, &f, 4);
      word = w;
    } else {
      const double scale = std::ldexp(1.0, bits - 1);
      word = static_cast<uint64_t>(std::llround(std::clamp(v * scale, -scale, scale - 1)));
      if (bits == 8) word += 128;
    }
    for (int i = 0; i < bits / 8; ++i) {
      data.push_back(uint8_t(word >> (8 * (big ? bits / 8 - 1 - i : i))));
    }
  }
  RiffBuilder file(order);
  file.riffHeader();
  if (bext) file.bext(*bext);
  return file.fmt(tag, channels, kRate, bits, 1).chunk("data", data).bytes();
}

std::optional<Measurement> measured(const Bytes& file) {
  testsupport::TempDir dir;
  std::string why;
  auto m = measure(dir.write("t.wav", file), {}, why);
  EXPECT_TRUE(m) << why;
  return m;
}

TEST(Meter, MinimumRequirementsOfTech3341And3342) {
  const std::vector<double> stereo = {0, 0};
  // clang-format off
  const struct {
    const char* name; std::vector<double> samples; uint16_t channels; double Measurement::*value;
    double expected, below, above;
  } kCases[] = {
      {"3341 case 1", sine({{-23, 20}}, stereo), 2, &Measurement::integrated, -23, 0.1, 0.1},
      {"3341 case 2", sine({{-33, 20}}, stereo), 2, &Measurement::integrated, -33, 0.1, 0.1},
      {"3341 case 3", sine({{-36, 10}, {-23, 60}, {-36, 10}}, stereo), 2, &Measurement::integrated, -23, 0.1, 0.1},
      {"3341 case 4", sine({{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, stereo), 2, &Measurement::integrated, -23, 0.1, 0.1},
      {"3341 case 5", sine({{-26, 20}, {-20, 20.1}, {-26, 20}}, stereo), 2, &Measurement::integrated, -23, 0.1, 0.1},
      {"3341 case 6", sine({{0, 20}}, {-28, -28, -24, -30, -30}), 5, &Measurement::integrated, -23, 0.1, 0.1},
      {"3341 case 9", [] { std::vector<Segment> s; for (int i = 0; i < 20; ++i) s.push_back({-20, 1.34}), s.push_back({-30, 1.66}); return sine(s, {0, 0}); }(),
       2, &Measurement::maxShortTerm, -23, 0.1, 0.1},
      {"3341 case 12", [] { std::vector<Segment> s; for (int i = 0; i < 20; ++i) s.push_back({-20, 0.18}), s.push_back({-30, 0.22}); return sine(s, {0, 0}); }(),
       2, &Measurement::maxMomentary, -23, 0.1, 0.1},
      {"3341 case 15", sine({{-6, 1}}, stereo, kRate / 4.0, 0), 2, &Measurement::truePeak, -6, 0.4, 0.2},
      {"3341 case 16", sine({{-6, 1}}, stereo, kRate / 4.0, 45), 2, &Measurement::truePeak, -6, 0.4, 0.2},
      {"3341 case 17", sine({{-6, 1}}, stereo, kRate / 4.0, 60), 2, &Measurement::truePeak, -6, 0.4, 0.2},
      {"3341 case 18", sine({{-6, 1}}, stereo, kRate / 4.0, 67.5), 2, &Measurement::truePeak, -6, 0.4, 0.2},
      {"3342 case 1", sine({{-20, 20}, {-30, 20}}, stereo), 2, &Measurement::range, 10, 1, 1},
      {"3342 case 2", sine({{-20, 20}, {-15, 20}}, stereo), 2, &Measurement::range, 5, 1, 1},
      {"3342 case 3", sine({{-40, 20}, {-20, 20}}, stereo), 2, &Measurement::range, 20, 1, 1},
      {"3342 case 4", sine({{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, stereo), 2, &Measurement::range, 15, 1, 1}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::optional<Measurement> m = measured(wave(c.samples, c.channels));
    ASSERT_TRUE(m);
    EXPECT_GE((*m).*c.value, c.expected - c.below);
    EXPECT_LE((*m).*c.value, c.expected + c.above);
  }
}

// One signal in every coding the meter reads gives one loudness; what it cannot read is refused.
TEST(Meter, EveryCodingReadsAlike) {
  using testsupport::ByteOrder;
  const std::vector<double> samples = sine({{-20, 1}, {-30, 1}}, {0, -3});
  const Measurement reference = *measured(wave(samples, 2));
  const struct {
    uint16_t tag, bits;
    ByteOrder order;
    double within;
  } kCodings[] = {{1, 8, ByteOrder::kNormal, 0.5},       {1, 16, ByteOrder::kNormal, 0.01},
                  {1, 24, ByteOrder::kNormal, 0.01},     {1, 32, ByteOrder::kNormal, 0.01},
                  {3, 64, ByteOrder::kNormal, 0.01},     {1, 24, ByteOrder::kBig, 0.01},
                  {3, 32, ByteOrder::kBig, 0.01},        {3, 64, ByteOrder::kBig, 0.01},
                  {0xFFFE, 24, ByteOrder::kNormal, 0.01}};
  for (const auto& c : kCodings) {
    SCOPED_TRACE(std::to_string(c.tag) + "/" + std::to_string(c.bits));
    const std::optional<Measurement> m = measured(wave(samples, 2, c.tag, c.bits, c.order));
    ASSERT_TRUE(m);
    EXPECT_NEAR(m->integrated, reference.integrated, c.within);
    EXPECT_NEAR(m->truePeak, reference.truePeak, c.within);
    EXPECT_NEAR(m->maxMomentary, reference.maxMomentary, c.within);
  }
  testsupport::TempDir dir;
  std::string why;
  Bytes alaw = wave(samples, 2, 1, 16);
  alaw[20] = 6;  // the format tag
  EXPECT_FALSE(measure(dir.write("a.wav", alaw), {}, why));
  EXPECT_EQ(why, "its audio is A-law, and loudness is measured of PCM and IEEE float audio only");
}

TEST(Meter, ChannelWeights) {
  using W = Weight;
  const W n = W::kNormal, s = W::kSurround, x = W::kNone;
  const struct {
    uint16_t channels;
    std::optional<uint32_t> mask;
    std::vector<W> weights;
  } kCases[] = {{1, {}, {n}},
                {4, {}, {n, n, s, s}},
                {5, {}, {n, n, n, s, s}},
                {6, {}, {n, n, n, x, s, s}},
                {6, 0x60F, {n, n, n, x, s, s}},
                {3, 0x10B, {n, n, x}},
                {4, 0x103, {n, n, s, n}}};
  for (const auto& c : kCases) {
    AudioFormat format;
    format.channels = c.channels;
    format.channelMask = c.mask;
    EXPECT_EQ(channelWeights(format), c.weights) << c.channels << " " << c.mask.value_or(0);
  }
}

// --write stores what was measured, rounded to hundredths, the version raised to 2, silence's
// values as not measured, in every version and byte order; the audio stays as it was, and the
// MD5 from the same pass is the one md5 gives.
TEST(Meter, WrittenIntoTheChunk) {
  using testsupport::ByteOrder;
  testsupport::TempDir dir;
  const std::vector<double> tone = sine({{-20, 4}}, {0, -6}), silence(2 * kRate * 4, 0.0);
  const struct {
    const char* name;
    const std::vector<double>* samples;
    uint16_t version;
    ByteOrder order;
  } kFiles[] = {{"v0", &tone, 0, ByteOrder::kNormal},
                {"v1", &tone, 1, ByteOrder::kNormal},
                {"v2", &tone, 2, ByteOrder::kNormal},
                {"RIFX", &tone, 1, ByteOrder::kBig},
                {"silence", &silence, 2, ByteOrder::kNormal}};
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.name);
    const testsupport::BextFields take{"Take"};
    Bytes bytes = wave(*f.samples, 2, 1, 24, f.order, &take);
    bytes[12 + 8 + 346 + (f.order == ByteOrder::kBig)] = uint8_t(f.version);
    const std::string path = dir.write(std::string(f.name) + ".wav", bytes);
    std::string why;
    const std::optional<Measurement> m = measure(path, {.digest = true, .progress = {}}, why);
    ASSERT_TRUE(m) << why;
    const auto r = testsupport::bextkit({"loudness", "--write", "--embed-md5", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Version: " + std::to_string(f.version) + " -> 2") != std::string::npos,
              f.version < 2)
        << r.out;
    const auto parser = testsupport::scanned(path);
    const BextRecord& written = *parser->bextRecord();
    EXPECT_EQ(written.version, 2);
    for (BextField field : kLoudnessFields) {
      EXPECT_EQ(written.loudnessOf(field), storedValue(m->of(field))) << fieldName(field);
      if (f.samples == &silence) {
        EXPECT_EQ(written.loudnessOf(field), BextRecord::kNotMeasured) << fieldName(field);
      }
    }
    EXPECT_EQ(testsupport::bextkit({"md5", "--verify", path}).out, path + ": OK\n");
  }
  EXPECT_EQ(storedValue(-23.005), -2301);
  EXPECT_EQ(storedValue(-400), -32768);
}

// Files that FFmpeg, SoX and libsndfile write measure as FFmpeg's ebur128 filter measures them:
// integrated loudness within 0.1 LU of its figure (which it prints to a tenth).
TEST(Meter, AsFfmpegMeasuresProducersFiles) {
  testsupport::TempDir dir;
  const std::string ff = dir.pathOf("ffmpeg.wav"), sox = dir.pathOf("sox.wav"),
                    sndfile = dir.pathOf("sndfile.wav");
  const std::vector<std::vector<std::string>> kMakers = {
      {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "anoisesrc=d=8:c=pink:r=48000:a=0.2", "-ac",
       "2", "-c:a", "pcm_s24le", ff},
      {"sox",       "-n",  "-r",  "44100", "-b",    "16", "-c",   "2",   sox,   "synth", "8",
       "pinknoise", "vol", "0.3", ":",     "synth", "4",  "sine", "440", "vol", "0.1"},
      {"sndfile-convert", "-float32", ff, sndfile}};
  for (const auto& argv : kMakers) {
    const auto [status, output] = testsupport::runProcess(argv);
    if (status != 0) GTEST_SKIP() << argv[0] << " failed: " << output;
  }
  for (const std::string& path : {ff, sox, sndfile}) {
    SCOPED_TRACE(path);
    const auto [status, output] = testsupport::runProcess(
        {"ffmpeg", "-nostats", "-nostdin", "-i", path, "-af", "ebur128", "-f", "null", "-"});
    const size_t summary = output.rfind("Summary:");
    ASSERT_NE(summary, std::string::npos) << output;
    const double theirs = std::stod(output.substr(output.find("I:", summary) + 2));
    std::string why;
    const std::optional<Measurement> m = measure(path, {}, why);
    ASSERT_TRUE(m) << why;
    EXPECT_NEAR(m->integrated, theirs, 0.1 + 0.05);
  }
}

// The meter beside libebur128, the library of this field that measures exactly this, fed the same
// samples: a noise that swells and fades over 5.1 channels, each value within a hundredth (the
// range and the true peak, taken otherwise, within a tenth and a fifth).
TEST(Meter, AsLibebur128Measures) {
  constexpr unsigned kChannels = 6;
  std::mt19937 noise(7);
  std::normal_distribution<double> gauss(0, 0.05);
  std::vector<double> samples;
  for (size_t n = 0; n < size_t(kRate) * 12; ++n) {
    const double swell = 0.2 + std::sin(double(n) / kRate) * std::sin(double(n) / kRate);
    for (unsigned c = 0; c < kChannels; ++c) samples.push_back(swell * gauss(noise));
  }
  const Measurement ours = *measured(wave(samples, kChannels));
  ebur128_state* state =
      ebur128_init(kChannels, kRate, EBUR128_MODE_LRA | EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  double maxM = -HUGE_VAL, maxS = -HUGE_VAL, value = 0;
  for (size_t tenth = 0; tenth < 120; ++tenth) {
    ebur128_add_frames_double(state, samples.data() + tenth * 4800 * kChannels, 4800);
    if (tenth >= 3 && ebur128_loudness_momentary(state, &value) == EBUR128_SUCCESS)
      maxM = std::max(maxM, value);
    if (tenth >= 29 && ebur128_loudness_shortterm(state, &value) == EBUR128_SUCCESS)
      maxS = std::max(maxS, value);
  }
  double integrated = 0, range = 0, peak = 0;
  ebur128_loudness_global(state, &integrated);
  ebur128_loudness_range(state, &range);
  for (unsigned c = 0; c < kChannels; ++c) {
    ebur128_true_peak(state, c, &value);
    peak = std::max(peak, value);
  }
  ebur128_destroy(&state);
  EXPECT_NEAR(ours.integrated, integrated, 0.01);
  // libebur128 slides its 3 s blocks for the range by a second, the meter by a tenth.
  EXPECT_NEAR(ours.range, range, 0.1);
  EXPECT_NEAR(ours.maxMomentary, maxM, 0.01);
  EXPECT_NEAR(ours.maxShortTerm, maxS, 0.01);
  EXPECT_NEAR(ours.truePeak, 20 * std::log10(peak), 0.2);
}

}  // namespace
}  // namespace bextkit::loudness
