// SMPTE timecode as the industry counts it, beside TimeCode (which keeps its own arithmetic):
// frame rates as exact fractions with their counting mode, labels to frame counts and back,
// frames per day, the legal test, and where frames begin in samples at any sample rate. Integer
// arithmetic only, so every result is exact; only the texts allocate.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace bextkit::smpte {

// One of rates(); the functions below take no other.
struct Rate {
  uint32_t numerator;        // frames per second = numerator / denominator (30000/1001)
  uint32_t denominator;      // 1 or 1001
  uint32_t labelsPerSecond;  // frame labels in a second: 24, 25, 30, 48, 50 or 60
  bool dropFrame;            // skips 2 labels a minute (4 at 59.94), except in every tenth minute
  friend bool operator==(const Rate&, const Rate&) = default;
};

// Every rate, in the order help texts list them: 23.976, 24, 25, 29.97 (drop-frame), 29.97nd,
// 30, 47.952, 48, 50, 59.94 (drop-frame), 59.94nd, 60.
std::span<const Rate> rates();
// Reads a rate by its name ("29.97", "29.97nd", "25") or as a fraction ("30000/1001", which
// counts drop-frame, as 60000/1001 does; "24000/1001"; "25/1"), or as editors write it ("23.98",
// "29.97DF", "29.97NDF", "59.94NDF", "25.0"), in any case. Nothing for anything else.
std::optional<Rate> parseRate(std::string_view text);
// The name that parseRate reads back: "23.976", "29.97", "29.97nd", "25".
std::string rateName(const Rate& rate);
// The rate in words: "25 fps", "29.97 drop-frame", "29.97 non-drop".
std::string rateWords(const Rate& rate);

// Labels skipped at the start of every minute that is not a multiple of ten: 0, 2 or 4.
uint32_t droppedPerMinute(const Rate& rate);
// Frames from 00:00:00:00 to 24:00:00:00: 2589408 at 29.97 drop-frame, 5178816 at 59.94.
uint64_t framesPerDay(const Rate& rate);

struct Label {
  // Hours count on past a day: a time reference may lie days after midnight.
  uint64_t hours = 0;
  uint32_t minutes = 0, seconds = 0, frames = 0;
  friend bool operator==(const Label&, const Label&) = default;
};

// Why `label` is no label of the day at `rate` (hours above 23, minutes or seconds above 59,
// frames at or above the labels per second, a label that drop-frame skips), in a phrase that
// names the field and the range; empty when it is one.
std::string whyIllegal(const Rate& rate, const Label& label);
// Whether whyIllegal is empty, without making its text.
bool isLegal(const Rate& rate, const Label& label);

// Frames since midnight of a label (legal, or one with hours past 23, which counts on).
uint64_t framesFromLabel(const Rate& rate, const Label& label);
// The label of a frame count since midnight; beyond a day the hours run on past 23, and a count
// past the last label of hour 4294967295 gives that label.
Label labelFromFrames(const Rate& rate, uint64_t frames);

// "hh:mm:ss:ff", or "hh:mm:ss;ff" at a drop-frame rate; each field two digits or more.
std::string format(const Rate& rate, const Label& label);
// Reads a label strictly: four fields of one or two digits; the separator before the frames is
// ':' at a non-drop rate and ';' or '.' at a drop-frame rate, the other two ':' (or the same
// character as the frame separator); unless `requireLegal` is false, the label must be legal.
// Nothing, with the reason in `error`, otherwise.
std::optional<Label> parseLabel(const Rate& rate, std::string_view text, std::string& error,
                                bool requireLegal = true);

// The sample at which frame `frame` begins: frame x sampleRate / frame rate, rounded half up.
// `sampleRate` is above 0; a start beyond 64 bits gives the largest count.
uint64_t frameStart(const Rate& rate, uint64_t frame, uint32_t sampleRate);

// A sample position as the last frame that begins at or before it, and the samples past that
// frame's start. A frame's start and the sample after it both map to the frame, so a recorder
// that rounded the start up where frameStart rounds it down still finds its frame.
struct Position {
  uint64_t frame;
  uint64_t samplesPastFrame;
  friend bool operator==(const Position&, const Position&) = default;
};
Position positionOfSample(const Rate& rate, uint64_t sample, uint32_t sampleRate);

}  // namespace bextkit::smpte
