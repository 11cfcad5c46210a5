// Timecode and footage arithmetic on the command line: each command prints its result on one line.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "timecode/TimeCode.h"

namespace bextkit::cli {

namespace {

struct Options {
  std::string value;
  std::string fps = "25";
  std::string type = "16";
  std::string delimiter = "+";
  std::string to = "frames";
  bool absolute = false;
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

}  // namespace

void addTimecodeCommands(CLI::App& app, Context& context) {
  auto o = std::make_shared<Options>();
  Context* ctx = &context;

  CLI::App* frames =
      app.add_subcommand("frames", "Timecode to frame count, counted from 00:00:00:00");
  frames->add_option("TIMECODE", o->value, "hh:mm:ss:ff")->type_name("HH:MM:SS:FF")->required();
  addFrameRateOption(frames, o->fps);
  frames->callback([o, ctx] {
    std::string error;
    const auto fps = parseFrameRate("--fps", o->fps, error);
    const auto tc = fps ? parseTimeCode("TIMECODE", o->value, *fps, error) : std::nullopt;
    if (!tc) return ctx->usageError(error);
    ctx->out << TimeCode::framesFromTimeCode(*tc, *fps) << '\n';
  });

  CLI::App* timecode = app.add_subcommand("timecode", "Frame count to timecode");
  timecode
      ->add_option("FRAMES", o->value,
                   "Frame count; negative counts back from the end of the day with --absolute")
      ->type_name("N")
      ->required();
  addFrameRateOption(timecode, o->fps);
  timecode->add_flag("--absolute", o->absolute,
                     "Read a negative count from the end of the day (-1 is the last frame) instead "
                     "of by its size");
  timecode->callback([o, ctx] {
    std::string error;
    const auto fps = parseFrameRate("--fps", o->fps, error);
    const auto count = fps ? parseInt32("FRAMES", o->value, error) : std::nullopt;
    if (!count) return ctx->usageError(error);
    ctx->out << TimeCode::timeCodeFromFrames(*count, *fps, o->absolute) << '\n';
  });

  CLI::App* day = app.add_subcommand("frames-per-day", "Number of frames in 24 hours at the rate");
  addFrameRateOption(day, o->fps);
  day->callback([o, ctx] {
    std::string error;
    const auto fps = parseFrameRate("--fps", o->fps, error);
    if (!fps) return ctx->usageError(error);
    ctx->out << TimeCode::maxFramesForFPS(*fps) << '\n';
  });

  CLI::App* feet =
      app.add_subcommand("feet", "Frame count to footage in feet and frames (0771+09)");
  feet->add_option("FRAMES", o->value, "Frame count")->type_name("N")->required();
  addFootageOptions(feet, *o);
  feet->callback([o, ctx] {
    std::string error;
    const auto type = parseFramesPerFoot("--type", o->type, error);
    const auto count = type ? parseInt32("FRAMES", o->value, error) : std::nullopt;
    if (!count) return ctx->usageError(error);
    ctx->out << TimeCode::framesToFeetFrames(*count, *type, o->delimiter) << '\n';
  });

  CLI::App* footage = app.add_subcommand(
      "footage", "Footage in feet and frames to a frame count, a timecode or its normalised parts");
  footage->add_option("FOOTAGE", o->value, "Feet, delimiter, frames (0771+09)")
      ->type_name("FEET+FRAMES")
      ->required();
  addFootageOptions(footage, *o);
  addFrameRateOption(footage, o->fps);
  footage
      ->add_option("--to", o->to,
                   "frames, timecode, or parts (thousands of feet, feet, frames: 0000,0771,09)")
      ->check(CLI::IsMember({"frames", "timecode", "parts"}))
      ->type_name("KIND")
      ->capture_default_str();
  footage->callback([o, ctx] {
    std::string error;
    const auto type = parseFramesPerFoot("--type", o->type, error);
    const auto fps = type ? parseFrameRate("--fps", o->fps, error) : std::nullopt;
    if (!fps) return ctx->usageError(error);
    if (o->delimiter.empty() || o->value.find(o->delimiter) == std::string::npos) {
      return ctx->usageError("FOOTAGE: expected feet" + o->delimiter + "frames, got '" + o->value +
                             "' (set the delimiter with --delimiter)");
    }
    if (o->to == "frames") {
      ctx->out << TimeCode::feetFramesToFrames(o->value, *type, o->delimiter) << '\n';
    } else if (o->to == "timecode") {
      ctx->out << TimeCode::feetFramesToTimeCode(o->value, *type, o->delimiter, *fps) << '\n';
    } else {
      ctx->out << TimeCode::feetFramesToDelimitedList(o->value, *type, o->delimiter, *fps) << '\n';
    }
  });

  CLI::App* legal = app.add_subcommand(
      "legal", "Whether a drop-frame label exists (frames 0 and 1 of most minutes are skipped)");
  legal->add_option("TIMECODE", o->value, "hh:mm:ss;ff")->type_name("HH:MM:SS;FF")->required();
  addFrameRateOption(legal, o->fps);
  legal->callback([o, ctx] {
    std::string error;
    const auto fps = parseFrameRate("--fps", o->fps, error);
    const auto tc = fps ? parseTimeCode("TIMECODE", o->value, *fps, error) : std::nullopt;
    if (!tc) return ctx->usageError(error);
    ctx->out << (TimeCode::isLegalTimeCode(*tc, *fps) ? "yes" : "no") << '\n';
  });
}

}  // namespace bextkit::cli
