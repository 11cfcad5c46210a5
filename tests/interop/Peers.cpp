#include "Peers.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

namespace bextkit::interop {

std::string writeWithFfmpeg(const std::string& path, int sampleRate, int channels,
                            const std::string& codec, const std::optional<PeerBext>& bext) {
  const std::string rate = std::to_string(sampleRate);
  std::vector<std::string> argv = {"ffmpeg",
                                   "-nostdin",
                                   "-loglevel",
                                   "error",
                                   "-y",
                                   "-f",
                                   "lavfi",
                                   "-i",
                                   "sine=frequency=997:sample_rate=" + rate + ":duration=0.1",
                                   "-ac",
                                   std::to_string(channels),
                                   "-c:a",
                                   codec};
  if (bext) {
    const std::pair<const char*, std::string> tags[] = {
        {"description", bext->description},
        {"originator", bext->originator},
        {"originator_reference", bext->originatorReference},
        {"origination_date", bext->originationDate},
        {"origination_time", bext->originationTime},
        {"time_reference", std::to_string(bext->timeReference)},
        {"coding_history", bext->codingHistory}};
    argv.insert(argv.end(), {"-write_bext", "1"});
    for (const auto& [key, value] : tags)
      argv.insert(argv.end(), {"-metadata", key + ("=" + value)});
  }
  argv.push_back(path);
  const ProcessResult r = runProcess(argv);
  return r.exitStatus == 0 ? std::string() : "ffmpeg failed: " + r.output;
}

namespace {
template <size_t N>
void copyField(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(N, text.size()));
}
}  // namespace

std::string writeWithSndfile(const std::string& path, int sampleRate, int channels, int format,
                             const std::optional<PeerBext>& bext) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return std::string("libsndfile cannot create the file: ") + sf_strerror(nullptr);

  SF_BROADCAST_INFO bi{};
  if (bext) {
    copyField(bi.description, bext->description);
    copyField(bi.originator, bext->originator);
    copyField(bi.originator_reference, bext->originatorReference);
    copyField(bi.origination_date, bext->originationDate);
    copyField(bi.origination_time, bext->originationTime);
    bi.time_reference_low = static_cast<uint32_t>(bext->timeReference);
    bi.time_reference_high = static_cast<uint32_t>(bext->timeReference >> 32);
    bi.version = 1;
    copyField(bi.coding_history, bext->codingHistory);
    bi.coding_history_size =
        static_cast<uint32_t>(std::min<size_t>(256, bext->codingHistory.size()));
  }
  std::string error;
  if (bext && sf_command(file, SFC_SET_BROADCAST_INFO, &bi, sizeof bi) != SF_TRUE) {
    error = std::string("libsndfile refused the broadcast info: ") + sf_strerror(file);
  } else {
    const int frames = sampleRate / 10;
    std::vector<float> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i) {
      const float v = 0.25f * std::sin(2.0f * 3.14159265f * 997.0f * static_cast<float>(i) /
                                       static_cast<float>(sampleRate));
      std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(i) * channels, channels, v);
    }
    if (sf_writef_float(file, samples.data(), frames) != frames) {
      error = std::string("libsndfile could not write the audio: ") + sf_strerror(file);
    }
  }
  sf_close(file);
  return error;
}

namespace {

// A field of libsndfile's broadcast info: its bytes up to the first NUL.
template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// The bytes whose Latin-1 reading is `utf8`, or `utf8` itself when it holds a character that
// Latin-1 does not have (a reader that decoded the bytes as UTF-8).
std::string latin1Bytes(const std::string& utf8) {
  std::string bytes;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      const auto next = static_cast<unsigned char>(utf8[++i]);
      bytes.push_back(static_cast<char>(((c & 0x03) << 6) | (next & 0x3F)));
    } else {
      return utf8;
    }
  }
  return bytes;
}

std::optional<nlohmann::json> parseJson(const ProcessResult& r, const char* tool,
                                        std::string& error) {
  if (r.exitStatus != 0) {
    error = std::string(tool) + " failed: " + r.output;
    return std::nullopt;
  }
  nlohmann::json json = nlohmann::json::parse(r.output, nullptr, false);
  if (json.is_discarded()) {
    error = std::string(tool) + " printed no JSON: " + r.output;
    return std::nullopt;
  }
  return json;
}

std::string jsonText(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

PeerReading readWithFfprobe(const std::string& path) {
  PeerReading reading;
  const std::optional<nlohmann::json> json = parseJson(
      runProcess({"ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path}),
      "ffprobe", reading.error);
  if (!json) return reading;
  const nlohmann::json tags =
      json->value("format", nlohmann::json::object()).value("tags", nlohmann::json::object());
  reading.description = jsonText(tags, "comment");
  reading.originator = jsonText(tags, "encoded_by");
  reading.originatorReference = jsonText(tags, "originator_reference");
  const std::string reference = jsonText(tags, "time_reference");
  if (!reference.empty()) reading.timeReference = std::stoull(reference);
  return reading;
}

PeerReading readWithMediaInfo(const std::string& path) {
  PeerReading reading;
  const std::optional<nlohmann::json> json =
      parseJson(runProcess({"mediainfo", "--Output=JSON", path}), "mediainfo", reading.error);
  if (!json) return reading;
  nlohmann::json general, audio;
  for (const nlohmann::json& track :
       json->value("media", nlohmann::json::object()).value("track", nlohmann::json::array())) {
    const std::string type = jsonText(track, "@type");
    if (type == "General") general = track;
    if (type == "Audio" && audio.is_null()) audio = track;
  }
  const nlohmann::json extra = general.value("extra", nlohmann::json::object());
  if (jsonText(extra, "bext_Present") != "Yes") {
    reading.error = "mediainfo reports no bext chunk: " + json->dump();
    return reading;
  }
  reading.description = latin1Bytes(jsonText(general, "Description"));
  reading.originator = latin1Bytes(jsonText(general, "Producer"));
  reading.originatorReference = latin1Bytes(jsonText(extra, "Producer_Reference"));
  const std::string delay = jsonText(audio, "Delay");
  const std::string rate = jsonText(audio, "SamplingRate");
  if (!delay.empty() && !rate.empty() &&
      jsonText(audio, "Delay_Source").find("bext") != std::string::npos) {
    const double samplesPerSecond = std::stod(rate);
    reading.timeReference =
        static_cast<uint64_t>(std::llround(std::stod(delay) * samplesPerSecond));
    const size_t point = delay.find('.');
    const size_t decimals = point == std::string::npos ? 0 : delay.size() - point - 1;
    reading.timeReferenceSlack = static_cast<uint64_t>(
        0.5 * std::pow(10.0, -static_cast<double>(decimals)) * samplesPerSecond);
  }
  return reading;
}

namespace {

using SndfileHandle = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

// The file opened for reading by libsndfile; null, with the reason in `error`, when it cannot be.
SndfileHandle openWithSndfile(const std::string& path, SF_INFO& info, std::string& error) {
  SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
  if (!file) error = std::string("libsndfile cannot open the file: ") + sf_strerror(nullptr);
  return file;
}

}  // namespace

PeerReading readWithSndfile(const std::string& path) {
  PeerReading reading;
  SF_INFO info{};
  const SndfileHandle file = openWithSndfile(path, info, reading.error);
  if (!file) return reading;
  SF_BROADCAST_INFO bi{};
  if (sf_command(file.get(), SFC_GET_BROADCAST_INFO, &bi, sizeof bi) != SF_TRUE) {
    reading.error = "libsndfile finds no broadcast info";
  } else {
    reading.description = fieldText(bi.description);
    reading.originator = fieldText(bi.originator);
    reading.originatorReference = fieldText(bi.originator_reference);
    reading.timeReference = (uint64_t{bi.time_reference_high} << 32) | bi.time_reference_low;
  }
  return reading;
}

std::string decodedAudioMd5(const std::string& path, std::string& error) {
  const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                                      "0:a", "-c:a", "pcm_f64le", "-f", "md5", "-"});
  const size_t at = r.output.find("MD5=");
  if (r.exitStatus != 0 || at == std::string::npos || r.output.size() < at + 4 + 32) {
    error = "ffmpeg cannot decode the audio: " + r.output;
    return std::string();
  }
  return r.output.substr(at + 4, 32);
}

SndfileAudio decodeWithSndfile(const std::string& path) {
  SndfileAudio audio;
  SF_INFO info{};
  const SndfileHandle file = openWithSndfile(path, info, audio.error);
  if (!file) return audio;
  audio.sampleRate = info.samplerate;
  audio.channels = info.channels;
  audio.samples.resize(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  if (sf_readf_double(file.get(), audio.samples.data(), info.frames) != info.frames) {
    audio.error =
        std::string("libsndfile could not decode every frame: ") + sf_strerror(file.get());
  }
  return audio;
}

}  // namespace bextkit::interop
