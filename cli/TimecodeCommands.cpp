// Timecode and footage arithmetic on the command line: each command prints its result on one
// line. Timecode is counted as SMPTE counts it, or with --classic by the system's own arithmetic.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "timecode/Smpte.h"
#include "timecode/TimeCode.h"

namespace bextkit::cli {

namespace {

struct Options {
  std::string value;
  std::string rate = "25";
  std::string type = "16";
  std::string delimiter = "+";
  std::string to = "frames";
  bool absolute = false;
  bool classic = false;
};

void addFootageOptions(CLI::App* command, Options& o) {
  command
      ->add_option("--type", o.type,
                   "Frames in one foot of film: 16 for 35 mm 4-perf, 40 for 16 mm")
      ->type_name("N")
      ->capture_default_str();
  command->add_option("--delimiter", o.delimiter, "Text between feet and frames")
      ->type_name("TEXT")
      ->capture_default_str();
}

// Footage "feet<delimiter>frames" as a frame count: digits on both sides, frames below one
// foot, and a count that fits 32 bits.
std::optional<int32_t> parseFootage(const Options& o, int32_t type, std::string& error) {
  const size_t at = o.delimiter.empty() ? std::string::npos : o.value.find(o.delimiter);
  const auto digits = [](const std::string& text) {
    return !text.empty() && text.size() <= 18 &&
           text.find_first_not_of("0123456789") == std::string::npos;
  };
  const std::string feet = at == std::string::npos ? "" : o.value.substr(0, at);
  const std::string frames = at == std::string::npos ? "" : o.value.substr(at + o.delimiter.size());
  if (!digits(feet) || !digits(frames)) {
    error = "FOOTAGE: expected feet" + o.delimiter + "frames in digits (0771" + o.delimiter +
            "09), got '" + o.value + "' (set the delimiter with --delimiter)";
    return std::nullopt;
  }
  const uint64_t f = std::stoull(frames), count = std::stoull(feet) * uint64_t(type) + f;
  if (f >= uint64_t(type)) {
    error = "FOOTAGE: the frames must be below the " + std::to_string(type) +
            " frames of one foot, got '" + o.value + "'";
    return std::nullopt;
  }
  if (count > 2147483647u) {
    error = "FOOTAGE: at most 2147483647 frames (" +
            TimeCode::framesToFeetFrames(2147483647, type, o.delimiter) + "), got '" + o.value +
            "'";
    return std::nullopt;
  }
  return static_cast<int32_t>(count);
}

// A frame count of at least 0 (FRAMES of feet, and of timecode without --absolute).
std::optional<int32_t> parseCount(const std::string& text, bool negativeAllowed, std::string& error,
                                  const char* hint = "") {
  const std::optional<int32_t> count = parseInt32("FRAMES", text, error);
  if (count && *count < 0 && !negativeAllowed) {
    error = "FRAMES: expected a frame count from 0 to 2147483647, got '" + text + "'" + hint;
    return std::nullopt;
  }
  return count;
}

}  // namespace

void addTimecodeCommands(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;
  // Each command reads its rate when it runs, so that a bad rate is reported like any argument.
  const auto rate = [o, ctx]() -> std::optional<FrameRate> {
    std::string error;
    std::optional<FrameRate> r = parseRate("--rate", o->rate, o->classic, error);
    if (!r) ctx->usageError(error);
    return r;
  };

  // A command that reads one timecode at a rate.
  const auto timecodeCommand = [&app, o](const char* name, const char* description) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("TIMECODE", o->value, "hh:mm:ss:ff (hh:mm:ss;ff at drop-frame rates)")
        ->type_name("HH:MM:SS:FF")
        ->required();
    addFrameRateOption(command, o->rate, o->classic);
    return command;
  };

  CLI::App* frames = timecodeCommand("frames", "Timecode to frame count, counted from 00:00:00:00");
  frames->callback([o, ctx, rate] {
    const auto r = rate();
    if (!r) return;
    std::string error;
    if (r->smpte) {
      const auto label = smpte::parseLabel(*r->smpte, o->value, error);
      if (!label) return ctx->usageError("TIMECODE: " + error);
      ctx->out << smpte::framesFromLabel(*r->smpte, *label) << '\n';
      return;
    }
    const auto tc = parseTimeCode("TIMECODE", o->value, r->fps, error);
    if (!tc) return ctx->usageError(error);
    ctx->out << TimeCode::framesFromTimeCode(*tc, r->fps) << '\n';
  });

  CLI::App* timecode = app.add_subcommand("timecode", "Frame count to timecode");
  timecode
      ->add_option("FRAMES", o->value,
                   "Frame count from 0; with --absolute a negative count counts back from the end "
                   "of the day; with --classic alone a negative count is read by its size (-1 "
                   "as 1), as the system's own arithmetic reads it")
      ->type_name("N")
      ->required();
  addFrameRateOption(timecode, o->rate, o->classic);
  timecode->add_flag("--absolute", o->absolute,
                     "Read a negative count from the end of the day (-1 is the last frame)");
  timecode->callback([o, ctx, rate] {
    const auto r = rate();
    if (!r) return;
    std::string error;
    // The system's arithmetic reads a negative count by its size, which -2^31 has none of.
    const auto count = parseCount(o->value, o->absolute || o->classic, error,
                                  " (--absolute counts back from the end of the day)");
    if (count && *count == INT32_MIN && !o->absolute) {
      return ctx->usageError("FRAMES: expected a frame count from -2147483647 to 2147483647");
    }
    if (!count) return ctx->usageError(error);
    if (!r->smpte) {
      ctx->out << TimeCode::timeCodeFromFrames(*count, r->fps, o->absolute) << '\n';
      return;
    }
    // A count past the day wraps to the next, as the labels do at midnight.
    const auto day = static_cast<int64_t>(smpte::framesPerDay(*r->smpte));
    const auto frame = static_cast<uint64_t>((*count % day + day) % day);
    ctx->out << smpte::format(*r->smpte, smpte::labelFromFrames(*r->smpte, frame)) << '\n';
  });

  CLI::App* day = app.add_subcommand("frames-per-day", "Number of frames in 24 hours at the rate");
  addFrameRateOption(day, o->rate, o->classic);
  day->callback([ctx, rate] {
    const auto r = rate();
    if (!r) return;
    if (r->smpte) {
      ctx->out << smpte::framesPerDay(*r->smpte) << '\n';
    } else {
      ctx->out << TimeCode::maxFramesForFPS(r->fps) << '\n';
    }
  });

  CLI::App* feet =
      app.add_subcommand("feet", "Frame count to footage in feet and frames (0771+09)");
  feet->add_option("FRAMES", o->value, "Frame count from 0")->type_name("N")->required();
  addFootageOptions(feet, *o);
  feet->callback([o, ctx] {
    std::string error;
    const auto type = parseFramesPerFoot("--type", o->type, error);
    const auto count = type ? parseCount(o->value, false, error) : std::nullopt;
    if (!count) return ctx->usageError(error);
    ctx->out << TimeCode::framesToFeetFrames(*count, *type, o->delimiter) << '\n';
  });

  CLI::App* footage = app.add_subcommand(
      "footage", "Footage in feet and frames to a frame count, a timecode or its normalised parts");
  footage->add_option("FOOTAGE", o->value, "Feet, delimiter, frames (0771+09)")
      ->type_name("FEET+FRAMES")
      ->required();
  addFootageOptions(footage, *o);
  addFrameRateOption(footage, o->rate, o->classic);
  footage
      ->add_option("--to", o->to,
                   "frames, timecode (the footage as a duration), or parts (thousands of feet, "
                   "feet, frames: 0000,0771,09)")
      ->check(CLI::IsMember({"frames", "timecode", "parts"}))
      ->type_name("KIND")
      ->capture_default_str();
  footage->callback([o, ctx, rate] {
    std::string error;
    const auto type = parseFramesPerFoot("--type", o->type, error);
    if (!type) return ctx->usageError(error);
    const auto r = rate();
    if (!r) return;
    const auto count = parseFootage(*o, *type, error);
    if (!count) return ctx->usageError(error);
    if (o->to == "frames") {
      ctx->out << *count << '\n';
    } else if (o->to == "parts") {
      ctx->out << TimeCode::feetFramesToDelimitedList(o->value, *type, o->delimiter, r->fps)
               << '\n';
    } else if (r->smpte) {
      const auto frame = static_cast<uint64_t>(*count);
      ctx->out << smpte::format(*r->smpte, smpte::labelFromFrames(*r->smpte, frame)) << '\n';
    } else {
      ctx->out << TimeCode::feetFramesToTimeCode(o->value, *type, o->delimiter, r->fps) << '\n';
    }
  });

  CLI::App* legal = timecodeCommand(
      "legal",
      "Whether a label exists at the rate (drop-frame skips the first labels of most minutes); "
      "exit status 0 for yes, 1 for no");
  legal->callback([o, ctx, rate] {
    const auto r = rate();
    if (!r) return;
    std::string error;
    bool yes = false;
    if (r->smpte) {
      const auto label = smpte::parseLabel(*r->smpte, o->value, error, false);
      if (!label) return ctx->usageError("TIMECODE: " + error);
      error = smpte::whyIllegal(*r->smpte, *label);
      yes = error.empty();
    } else {
      const auto tc = parseTimeCode("TIMECODE", o->value, r->fps, error);
      if (!tc) return ctx->usageError(error);
      yes = TimeCode::isLegalTimeCode(*tc, r->fps);
      error.clear();
    }
    ctx->out << (yes ? "yes" : "no") << (error.empty() ? "" : ": " + error) << '\n';
    if (!yes) ctx->status = 1;
  });
}

}  // namespace bextkit::cli
