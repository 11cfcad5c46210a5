// The audio format a WAV file states in its "fmt " chunk, whatever the coding: PCM, IEEE float,
// A-law, mu-law, MPEG, ADPCM, extensible with its sub-format. What people and programs are shown
// of a file's audio comes from here; the time reference counts samples at its sample rate.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace bextkit {

namespace formattag {
constexpr uint16_t kPcm = 0x0001, kMsAdpcm = 0x0002, kFloat = 0x0003, kALaw = 0x0006,
                   kMuLaw = 0x0007, kImaAdpcm = 0x0011, kMpeg = 0x0050, kMpegLayer3 = 0x0055,
                   kExtensible = 0xFFFE;
}

struct AudioFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t bytesPerSecond = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  // Of the extensible format (a chunk of 40 bytes): the valid bits per sample, the speakers the
  // channels feed, and the coding (the first two bytes of the sub-format GUID, a format tag).
  std::optional<uint16_t> validBits;
  std::optional<uint32_t> channelMask;
  std::optional<uint16_t> subFormat;
  friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// The format of a "fmt " chunk's payload (numbers big-endian in a RIFX file); nothing for a
// payload shorter than the 16 bytes every format has.
std::optional<AudioFormat> decodeAudioFormat(std::span<const uint8_t> payload, bool bigEndian);

// The coding a format stands for: its tag, or the sub-format's for extensible.
uint16_t codingOf(const AudioFormat& format);
// "PCM", "IEEE float", "A-law", "mu-law", "MPEG", "MPEG Layer 3", "Microsoft ADPCM", "IMA ADPCM",
// "extensible (PCM)", "format 0x1234".
std::string formatName(const AudioFormat& format);

// The number of sample frames of `dataSize` bytes of audio: whole blocks for codings stored a
// frame to a block (PCM, float, A-law, mu-law), else the fact chunk's count; nothing where
// neither tells.
std::optional<uint64_t> sampleFrames(const AudioFormat& format, uint64_t dataSize,
                                     std::optional<uint32_t> factSamples);

// The audio a data chunk holds: its size, its sample frames and how long they play (where the
// format tells them).
struct AudioLength {
  uint64_t bytes = 0;
  std::optional<uint64_t> frames;
  std::optional<double> seconds;
};
AudioLength audioLength(const std::optional<AudioFormat>& format, uint64_t dataSize,
                        std::optional<uint32_t> factSamples);

// What people are shown: "PCM, 48000 Hz, 24 bits, 2 channels (blocks of 6 bytes)", with an
// extensible format's channel mask; "1.500 s (72000 sample frames, 288000 bytes of audio)".
std::string formatSummary(const AudioFormat& format);
std::string lengthSummary(const AudioLength& length);

class BWFParser;
// The audio of a scanned file's data chunk; none without one.
std::optional<AudioLength> audioLengthOf(const BWFParser& parser);
// The same of a scanned file, or why it has none ("none (no usable fmt chunk)").
std::string formatSummaryOf(const BWFParser& parser);
std::string lengthSummaryOf(const BWFParser& parser);

}  // namespace bextkit
