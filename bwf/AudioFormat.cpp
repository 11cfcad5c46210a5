#include "bwf/AudioFormat.h"

#include <cstdio>

#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"

namespace bextkit {

std::optional<AudioFormat> decodeAudioFormat(std::span<const uint8_t> payload, bool bigEndian) {
  constexpr size_t kBasic = 16, kExtensible = 40;
  if (payload.size() < kBasic) return std::nullopt;
  const auto u16 = [&](size_t at) {
    return bigEndian ? loadBE16(payload.data(), at) : loadLE16(payload.data(), at);
  };
  const auto u32 = [&](size_t at) {
    return bigEndian ? loadBE32(payload.data(), at) : loadLE32(payload.data(), at);
  };
  AudioFormat format{u16(0), u16(2), u32(4), u32(8), u16(12), u16(14), {}, {}, {}};
  if (format.tag == formattag::kExtensible && payload.size() >= kExtensible) {
    format.validBits = u16(18);
    format.channelMask = u32(20);
    format.subFormat = u16(24);
  }
  return format;
}

uint16_t codingOf(const AudioFormat& format) {
  return format.tag == formattag::kExtensible && format.subFormat ? *format.subFormat : format.tag;
}

std::string formatName(const AudioFormat& format) {
  const auto nameOf = [](uint16_t tag) -> std::string {
    switch (tag) {
      case formattag::kPcm:
        return "PCM";
      case formattag::kMsAdpcm:
        return "Microsoft ADPCM";
      case formattag::kFloat:
        return "IEEE float";
      case formattag::kALaw:
        return "A-law";
      case formattag::kMuLaw:
        return "mu-law";
      case formattag::kImaAdpcm:
        return "IMA ADPCM";
      case formattag::kMpeg:
        return "MPEG";
      case formattag::kMpegLayer3:
        return "MPEG Layer 3";
      default:
        char text[16];
        std::snprintf(text, sizeof text, "format 0x%04X", tag);
        return text;
    }
  };
  if (format.tag != formattag::kExtensible) return nameOf(format.tag);
  return "extensible (" + (format.subFormat ? nameOf(*format.subFormat) : "no sub-format") + ")";
}

std::optional<uint64_t> sampleFrames(const AudioFormat& format, uint64_t dataSize,
                                     std::optional<uint32_t> factSamples) {
  switch (codingOf(format)) {
    case formattag::kPcm:
    case formattag::kFloat:
    case formattag::kALaw:
    case formattag::kMuLaw:
      if (format.blockAlign != 0) return dataSize / format.blockAlign;
      break;
    default:
      break;
  }
  if (factSamples) return *factSamples;
  return std::nullopt;
}

AudioLength audioLength(const std::optional<AudioFormat>& format, uint64_t dataSize,
                        std::optional<uint32_t> factSamples) {
  AudioLength length{dataSize, std::nullopt, std::nullopt};
  if (format) {
    length.frames = sampleFrames(*format, dataSize, factSamples);
    if (length.frames && format->sampleRate != 0) {
      length.seconds = static_cast<double>(*length.frames) / format->sampleRate;
    }
  }
  return length;
}

std::string formatSummary(const AudioFormat& f) {
  char mask[32] = "";
  if (f.channelMask) std::snprintf(mask, sizeof mask, ", channel mask 0x%08X", *f.channelMask);
  return formatName(f) + ", " + std::to_string(f.sampleRate) + " Hz, " +
         std::to_string(f.bitsPerSample) + " bits, " + std::to_string(f.channels) +
         (f.channels == 1 ? " channel" : " channels") + mask + " (blocks of " +
         std::to_string(f.blockAlign) + (f.blockAlign == 1 ? " byte)" : " bytes)");
}

std::string lengthSummary(const AudioLength& length) {
  char seconds[32] = "unknown";
  if (length.seconds) std::snprintf(seconds, sizeof seconds, "%.3f s", *length.seconds);
  return std::string(seconds) + " (" +
         (length.frames ? std::to_string(*length.frames) + " sample frames, "
                        : std::string("no count of sample frames, ")) +
         std::to_string(length.bytes) + " bytes of audio)";
}

std::string formatSummaryOf(const BWFParser& parser) {
  const std::optional<AudioFormat>& format = parser.audioFormat();
  return format ? formatSummary(*format) : "none (no usable fmt chunk)";
}

std::optional<AudioLength> audioLengthOf(const BWFParser& parser) {
  if (!parser.dataSize()) return std::nullopt;
  return audioLength(parser.audioFormat(), *parser.dataSize(), parser.factSamples());
}

std::string lengthSummaryOf(const BWFParser& parser) {
  const std::optional<AudioLength> length = audioLengthOf(parser);
  return length ? lengthSummary(*length) : "none (no data chunk)";
}

}  // namespace bextkit
