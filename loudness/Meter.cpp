// The meter: the data chunk read in large blocks, decoded to double-precision samples, and
// measured in tenths of a second, the momentary (400 ms) and short-term (3 s) loudness taken
// after each for their maxima, as EBU Tech 3341 updates them at 10 Hz.
#include "loudness/Meter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <numbers>
#include <numeric>

#include "bwf/ByteOrder.h"
#include "bwf/ChunkChain.h"

namespace bextkit::loudness {

namespace {

constexpr const char* kNoMd5 = "the system's cryptography library cannot compute MD5";
constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();
constexpr uint64_t kChunkHeaderSize = 8;
// Audio read from the file at a time.
constexpr size_t kReadBytes = size_t{1} << 20;
// The windows whose loudness is taken for the maxima, in tenths of a second.
constexpr uint64_t kMomentaryTenths = 4;
constexpr uint64_t kShortTermTenths = 30;

// The speaker positions of an extensible format's channel mask that count as surrounds: back
// left, right and centre, side left and right, and the top back three.
constexpr uint32_t kSurroundBits = 0x10 | 0x20 | 0x100 | 0x200 | 0x400 | 0x8000 | 0x10000 | 0x20000;
constexpr uint32_t kLfeBit = 0x8;

// The samples of one coding: how wide each is and how it reads as a value from -1 to 1.
struct SampleCoding {
  bool isFloat = false;
  unsigned bytes = 0;
  bool bigEndian = false;
};

double sampleAt(const uint8_t* p, const SampleCoding& c) {
  if (c.isFloat) {
    if (c.bytes == 4) {
      const uint32_t bits = c.bigEndian ? loadBE32(p, 0) : loadLE32(p, 0);
      float value;
      std::memcpy(&value, &bits, sizeof value);
      return double{value};
    }
    const uint64_t bits =
        c.bigEndian ? (uint64_t{loadBE32(p, 0)} << 32) | loadBE32(p, 4) : loadLE64(p, 0);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  if (c.bytes == 1) return (double(p[0]) - 128.0) / 128.0;  // 8-bit samples are unsigned
  // The bytes as an unsigned number, most significant first, moved to the top of 32 bits so
  // that the sign bit lands on bit 31; read back as signed without overflow.
  uint32_t bits = 0;
  for (unsigned i = 0; i < c.bytes; ++i) {
    const uint8_t byte = c.bigEndian ? p[i] : p[c.bytes - 1 - i];
    bits = (bits << 8) | byte;
  }
  bits <<= 8 * (4 - c.bytes);
  const auto value = static_cast<int32_t>(bits);
  return double(value) / 2147483648.0;
}

// The true peak: each channel oversampled by a polyphase interpolator (4 times below 96 kHz, twice
// below 192 kHz, as BS.1770 asks) and the largest magnitude kept. The interpolator is a
// Kaiser-windowed sinc of 16 taps a phase, flat to within a tenth of a dB up to 0.4 of the
// sample rate, each phase scaled to pass DC unchanged; single precision, the phases of one input
// sample computed side by side.
class TruePeak {
 public:
  static constexpr size_t kTaps = 16;
  using Floats4 = float __attribute__((vector_size(16)));
  using Bits4 = int32_t __attribute__((vector_size(16)));

  TruePeak(unsigned channels, uint32_t sampleRate)
      : phases_(sampleRate < 96000    ? 4
                : sampleRate < 192000 ? 2
                                      : 1),
        taps_(kTaps, Floats4{0, 0, 0, 0}),
        history_(channels, std::vector<float>(kTaps - 1, 0.0f)),
        peaks_(channels, 0.0f) {
    const size_t length = kTaps * phases_;
    const double centre = double(length - 1) / 2, beta = 4.0;
    const auto bessel = [](double x) {  // I0, by its series
      double sum = 1, term = 1;
      for (int k = 1; k < 32; ++k) sum += (term *= (x / (2 * k)) * (x / (2 * k)));
      return sum;
    };
    std::vector<double> taps(length);
    for (size_t i = 0; i < length; ++i) {
      const double t = (double(i) - centre) / double(phases_);
      const double sinc = t == 0 ? 1 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
      const double r = (double(i) - centre) / centre;
      taps[i] = sinc * bessel(beta * std::sqrt(std::max(0.0, 1 - r * r))) / bessel(beta);
    }
    // Phase p's taps, k = 0 for the newest sample, stored [k][p] four phases wide (zero past
    // this rate's phases). At one phase, the samples are their own peaks.
    for (size_t p = 0; phases_ > 1 && p < phases_; ++p) {
      double sum = 0;
      for (size_t k = 0; k < kTaps; ++k) sum += taps[k * phases_ + p];
      for (size_t k = 0; k < kTaps; ++k) {
        taps_[k][p] = static_cast<float>(taps[k * phases_ + p] / sum);
      }
    }
  }

  // Adds `frames` interleaved frames, of the channels from `first` up to `last`; runs on
  // disjoint channels may go side by side.
  void add(const double* samples, size_t frames, size_t first, size_t last) {
    const size_t channels = peaks_.size();
    std::vector<float> line(kTaps - 1 + frames);
    for (size_t c = first; c < last; ++c) {
      std::vector<float>& history = history_[c];
      std::copy(history.begin(), history.end(), line.begin());
      for (size_t n = 0; n < frames; ++n) {
        line[kTaps - 1 + n] = static_cast<float>(samples[n * channels + c]);
      }
      // The four phases of a sample side by side in one vector, summed in two halves that do not
      // wait on each other, each phase keeping its own peak; the samples' own peak beside them,
      // four samples a vector.
      Floats4 peak = {peaks_[c], peaks_[c], peaks_[c], peaks_[c]};
      for (size_t n = 0; n < frames; ++n) {
        const float* newest = line.data() + n + kTaps - 1;
        Floats4 even = {0, 0, 0, 0}, odd = {0, 0, 0, 0};
        for (size_t k = 0; k < kTaps; k += 2) {
          even += taps_[k] * newest[-static_cast<std::ptrdiff_t>(k)];
          odd += taps_[k + 1] * newest[-static_cast<std::ptrdiff_t>(k + 1)];
        }
        peak = larger(peak, even + odd);
      }
      for (size_t n = 0; n < frames; n += 4) {
        Floats4 four = {0, 0, 0, 0};
        std::memcpy(&four, line.data() + kTaps - 1 + n,
                    sizeof(float) * std::min<size_t>(4, frames - n));
        peak = larger(peak, four);
      }
      peaks_[c] = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
      std::copy(line.end() - static_cast<std::ptrdiff_t>(kTaps - 1), line.end(), history.begin());
    }
  }

  float peak() const { return *std::max_element(peaks_.begin(), peaks_.end()); }

 private:
  // Each lane of `peak`, or the magnitude of the lane of `values` where that is larger: the sign
  // bit cleared, the larger chosen by a compare mask.
  static Floats4 larger(Floats4 peak, Floats4 values) {
    const Floats4 magnitude = Floats4(Bits4(values) & 0x7FFFFFFF);
    const Bits4 more = magnitude > peak;
    return Floats4((Bits4(magnitude) & more) | (Bits4(peak) & ~more));
  }

  size_t phases_;
  std::vector<Floats4> taps_;  // tap k of the four phases (zero past this rate's phases)
  std::vector<std::vector<float>> history_;  // the last kTaps - 1 samples of each channel
  std::vector<float> peaks_;
};

// Loudness as BS.1770-4 weighs it: each channel through the K-weighting filter (a high shelf,
// then a high-pass, derived for the sample rate from their analogue prototypes), the squares
// summed per tenth of a second with the channel's weight. The momentary (400 ms) and short-term
// (3 s) windows slide over those tenths; the integrated loudness gates the 400 ms blocks at
// -70 LUFS and then 10 LU below their mean; the loudness range gates the 3 s blocks at -70 LUFS
// and 20 LU below their mean and spans their 10th to 95th percentile.
class GatedLoudness {
 public:
  GatedLoudness(const std::vector<Weight>& weights, uint32_t sampleRate)
      : tenth_(std::max<size_t>((sampleRate + 5) / 10, 1)) {
    const double rate = sampleRate;
    // The high shelf (+4 dB above about 1.5 kHz) and the high-pass (below about 38 Hz).
    const double k1 = std::tan(std::numbers::pi * 1681.974450955533 / rate),
                 q1 = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20), vb = std::pow(vh, 0.4996667741545416);
    const double d1 = 1 + k1 / q1 + k1 * k1;
    shelf_ = {(vh + vb * k1 / q1 + k1 * k1) / d1, 2 * (k1 * k1 - vh) / d1,
              (vh - vb * k1 / q1 + k1 * k1) / d1, 2 * (k1 * k1 - 1) / d1,
              (1 - k1 / q1 + k1 * k1) / d1};
    const double k2 = std::tan(std::numbers::pi * 38.13547087602444 / rate),
                 q2 = 0.5003270373238773;
    const double d2 = 1 + k2 / q2 + k2 * k2;
    // The high-pass's numerator is 1, -2, 1 at every rate.
    highPass_ = {1, -2, 1, 2 * (k2 * k2 - 1) / d2, (1 - k2 / q2 + k2 * k2) / d2};
    for (const Weight w : weights) {
      channels_.push_back({w == Weight::kNone ? 0.0 : w == Weight::kSurround ? 1.41 : 1.0, {}});
    }
  }

  // Adds `frames` interleaved frames.
  void add(const double* samples, size_t frames) {
    const size_t count = channels_.size();
    for (size_t first = 0; first < frames;) {
      const size_t length = std::min(frames - first, tenth_ - filled_);
      for (size_t c = 0; c < count; ++c) {
        Channel& ch = channels_[c];
        double* z = ch.state;  // x1 x2 y1 y2 of the shelf, then y1 y2 of the high-pass
        double squares = 0;
        for (size_t n = first; n < first + length; ++n) {
          const double x = samples[n * count + c];
          const double y = shelf_.b0 * x + shelf_.b1 * z[0] + shelf_.b2 * z[1] - shelf_.a1 * z[2] -
                           shelf_.a2 * z[3];
          const double h = highPass_.b0 * y + highPass_.b1 * z[2] + highPass_.b2 * z[3] -
                           highPass_.a1 * z[4] - highPass_.a2 * z[5];
          z[1] = z[0], z[0] = x, z[3] = z[2], z[2] = y, z[5] = z[4], z[4] = h;
          squares += h * h;
        }
        sum_ += ch.gain * squares;
      }
      first += length;
      if ((filled_ += length) == tenth_) {
        tenths_.push_back(sum_);
        sum_ = 0;
        filled_ = 0;
      }
    }
  }

  // The integrated loudness, the range and the two maxima of what was added.
  void measureInto(Measurement& m) const {
    const auto loudness = [](double meanSquare) {
      return meanSquare > 0 ? -0.691 + 10 * std::log10(meanSquare) : kMinusInfinity;
    };
    const auto windows = [&](size_t tenths) {  // the mean squares of each window, sliding by tenths
      std::vector<double> out;
      for (size_t k = tenths; k <= tenths_.size(); ++k) {
        double sum = 0;
        for (size_t i = k - tenths; i < k; ++i) sum += tenths_[i];
        out.push_back(sum / double(tenths * tenth_));
      }
      return out;
    };
    // Blocks above -70 LUFS, then those above `relative` LU below their mean.
    const auto gated = [&](const std::vector<double>& blocks, double relative) {
      const double absolute = std::pow(10.0, (-70 + 0.691) / 10);
      std::vector<double> kept;
      std::copy_if(blocks.begin(), blocks.end(), std::back_inserter(kept),
                   [&](double z) { return z > absolute; });
      if (kept.empty()) return kept;
      const double threshold = std::accumulate(kept.begin(), kept.end(), 0.0) /
                               double(kept.size()) * std::pow(10.0, relative / 10);
      std::erase_if(kept, [&](double z) { return z <= threshold; });
      return kept;
    };
    const std::vector<double> momentary = windows(kMomentaryTenths),
                              shortTerm = windows(kShortTermTenths);
    m.maxMomentary =
        loudness(momentary.empty() ? 0 : *std::max_element(momentary.begin(), momentary.end()));
    m.maxShortTerm =
        loudness(shortTerm.empty() ? 0 : *std::max_element(shortTerm.begin(), shortTerm.end()));
    const std::vector<double> blocks = gated(momentary, -10);
    m.integrated = loudness(blocks.empty() ? 0
                                           : std::accumulate(blocks.begin(), blocks.end(), 0.0) /
                                                 double(blocks.size()));
    std::vector<double> spread = gated(shortTerm, -20);
    std::sort(spread.begin(), spread.end());
    const auto percentile = [&](double p) {
      return loudness(spread[size_t(double(spread.size() - 1) * p + 0.5)]);
    };
    // A range needs gated blocks to spread over; silence has none.
    m.range = !std::isfinite(m.integrated) ? kMinusInfinity
              : spread.empty()             ? 0
                                           : percentile(0.95) - percentile(0.10);
  }

 private:
  struct Biquad {
    double b0, b1, b2, a1, a2;
  };
  struct Channel {
    double gain;
    double state[6];
  };
  Biquad shelf_{}, highPass_{};
  std::vector<Channel> channels_;
  size_t tenth_;       // frames in a tenth of a second
  size_t filled_ = 0;  // frames of the tenth under way
  double sum_ = 0;     // its weighted squares so far
  std::vector<double> tenths_;
};

double decibels(double linear) { return linear > 0 ? 20 * std::log10(linear) : kMinusInfinity; }

}  // namespace

double Measurement::of(BextField field) const {
  switch (field) {
    case BextField::kLoudnessValue:
      return integrated;
    case BextField::kLoudnessRange:
      return range;
    case BextField::kMaxTruePeakLevel:
      return truePeak;
    case BextField::kMaxMomentaryLoudness:
      return maxMomentary;
    default:
      return maxShortTerm;
  }
}

int16_t storedValue(double value) {
  if (!std::isfinite(value) && !(value > 0)) return BextRecord::kNotMeasured;
  const double hundredths = std::round(std::clamp(value * 100, -32768.0, 32766.0));
  return static_cast<int16_t>(hundredths);
}

std::vector<Weight> channelWeights(const AudioFormat& format) {
  std::vector<Weight> weights(format.channels, Weight::kNormal);
  const uint32_t mask = format.channelMask.value_or(0);
  if (mask != 0) {
    size_t channel = 0;
    for (uint32_t bit = 1; bit != 0 && channel < weights.size(); bit <<= 1) {
      if (!(mask & bit)) continue;
      weights[channel++] = bit == kLfeBit          ? Weight::kNone
                           : (bit & kSurroundBits) ? Weight::kSurround
                                                   : Weight::kNormal;
    }
    return weights;
  }
  const auto surrounds = [&weights](size_t first) {
    weights[first] = weights[first + 1] = Weight::kSurround;
  };
  switch (format.channels) {
    case 4:
      surrounds(2);
      break;
    case 5:
      surrounds(3);
      break;
    default:
      if (format.channels >= 6) {
        weights[3] = Weight::kNone;
        surrounds(4);
      }
  }
  return weights;
}

std::optional<std::string> whyNotMeasurable(const AudioFormat& format) {
  const uint16_t coding = codingOf(format);
  const unsigned bits = format.bitsPerSample;
  if (coding != formattag::kPcm && coding != formattag::kFloat) {
    return "its audio is " + formatName(format) +
           ", and loudness is measured of PCM and IEEE float audio only";
  }
  const bool widthKnown = coding == formattag::kPcm
                              ? bits == 8 || bits == 16 || bits == 24 || bits == 32
                              : bits == 32 || bits == 64;
  if (!widthKnown) {
    return "its " + formatName(format) + " samples are " + std::to_string(bits) +
           " bits wide, and " +
           (coding == formattag::kPcm ? "PCM of 8, 16, 24 or 32 bits" : "float of 32 or 64 bits") +
           " is measured";
  }
  if (format.channels == 0 || format.sampleRate == 0 ||
      format.blockAlign != format.channels * (bits / 8)) {
    return "its format chunk states " + std::to_string(format.channels) + " channels at " +
           std::to_string(format.sampleRate) + " Hz in blocks of " +
           std::to_string(format.blockAlign) + " bytes, which do not fit together";
  }
  return std::nullopt;
}

std::optional<Measurement> measure(FileHandle& file, uint64_t fileSize, const Options& options,
                                   std::string& why) {
  const ChunkChain chain = walkChunkChain(file, fileSize);
  if (chain.container == Container::kNone) {
    why = "not a WAV file: it begins with no RIFF, RIFX, FFIR, RF64 or BW64 header";
    return std::nullopt;
  }
  const ChainChunk* fmt = chain.first(chunkid::kFmt);
  const ChainChunk* data = chain.first(chunkid::kData);
  if (!fmt || !data) {
    why = std::string("the file has no ") + (fmt ? "data" : "fmt") + " chunk";
    return std::nullopt;
  }
  if (data->truncated) {
    // Loudness of part of the audio would pass for the loudness of all of it.
    why = "the data chunk declares " + std::to_string(data->size) +
          " bytes and runs past the end of the file";
    return std::nullopt;
  }
  std::vector<uint8_t> payload(static_cast<size_t>(std::min<uint64_t>(fmt->size, 64)));
  file.seekToFileOffset(fmt->offset + kChunkHeaderSize);
  std::optional<AudioFormat> format;
  if (file.read(payload.data(), payload.size()) == payload.size()) {
    format = decodeAudioFormat(payload, chain.bigEndianSizes());
  }
  if (!format) {
    why = "the fmt chunk cannot be read as a format";
    return std::nullopt;
  }
  if (std::optional<std::string> reason = whyNotMeasurable(*format)) {
    why = *reason;
    return std::nullopt;
  }

  const SampleCoding coding{codingOf(*format) == formattag::kFloat, format->bitsPerSample / 8u,
                            chain.bigEndianSizes()};
  const unsigned channels = format->channels;
  // Two meters, run side by side on each block: loudness, and the true peak, which counts every
  // channel, LFE included.
  GatedLoudness loudness(channelWeights(*format), format->sampleRate);
  TruePeak peaks(channels, format->sampleRate);

  // Reads of whole frames.
  const size_t frameBytes = format->blockAlign;
  const size_t framesPerRead = std::max<size_t>(kReadBytes / frameBytes, 1);
  std::vector<uint8_t> bytes(framesPerRead * frameBytes);
  std::vector<double> samples(framesPerRead * channels);
  std::optional<check::DigestStream> digest;
  if (options.digest) digest.emplace();

  Measurement m;
  file.seekToFileOffset(data->offset + kChunkHeaderSize);
  for (uint64_t done = 0; done < data->size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(data->size - done, bytes.size()));
    const size_t got = file.read(bytes.data(), want);
    if (got != want) {
      why = file.lastError().empty()
                ? "the file ends at offset " + std::to_string(data->offset + 8 + done + got) +
                      ", before the audio does"
                : file.lastError();
      return std::nullopt;
    }
    const size_t frames = got / frameBytes;  // a part of a frame at the end is no sample
    done += got;
    // The digest, from the bytes, on a thread of its own from the start; the true peak of the
    // first half of the channels on another once the samples are decoded; the loudness and the
    // other channels' true peak on this one. All finish with the block, before the buffers are
    // read into again.
    std::future<bool> digested;
    if (digest) {
      digested =
          std::async(std::launch::async, [&, got] { return digest->add(bytes.data(), got); });
    }
    for (size_t i = 0; i < frames * channels; ++i) {
      samples[i] = sampleAt(bytes.data() + i * coding.bytes, coding);
    }
    const size_t half = (channels + 1) / 2;
    std::future<void> peaked =
        std::async(std::launch::async, [&, frames] { peaks.add(samples.data(), frames, 0, half); });
    loudness.add(samples.data(), frames);
    peaks.add(samples.data(), frames, half, channels);
    peaked.get();
    if (digest && !digested.get()) {
      why = kNoMd5;
      return std::nullopt;
    }
    if (options.progress) options.progress(done, data->size);
  }

  loudness.measureInto(m);
  m.truePeak = decibels(peaks.peak());
  if (digest && !(m.digest = digest->finish())) {
    why = kNoMd5;
    return std::nullopt;
  }
  return m;
}

std::optional<Measurement> measure(const std::string& path, const Options& options,
                                   std::string& why) {
  const std::unique_ptr<FileHandle> file = FileHandle::openForReading(path, &why);
  if (!file) return std::nullopt;
  const uint64_t size = file->seekToEndOfFile();
  return measure(*file, size, options, why);
}

}  // namespace bextkit::loudness
