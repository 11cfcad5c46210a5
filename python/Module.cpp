// The extension module under the Python package bextkit: the library's reading, edits, checks,
// digest, SMPTE timecode and export table, with Python's types at the edge. Files are read with
// the global interpreter lock released. Failures come back as values (a reason where a result
// would be); the package's Python layer raises its exceptions from them, so that every error
// names the file and the reason.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <thread>

#include "bwf/FileScan.h"
#include "check/AudioDigest.h"
#include "check/Conformance.h"
#include "check/Policy.h"
#include "cli/ExportTable.h"
#include "edit/FieldEdit.h"
#include "platform/FilePaths.h"
#include "platform/SystemLog.h"
#include "platform/Utf8.h"
#include "python/FileRecord.h"
#include "timecode/Smpte.h"

namespace py = pybind11;

namespace bextkit::python {

namespace {

// A path as str, bytes or os.PathLike becomes the bytes the file system knows it by (a str
// through the file system encoding with surrogateescape, as os.fsencode does), so that names
// that are no UTF-8 survive both ways.
std::string pathBytes(const py::handle& path) {
  py::object fs = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
  if (!fs) throw py::error_already_set();
  if (PyUnicode_Check(fs.ptr())) {
    fs = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(fs.ptr()));
    if (!fs) throw py::error_already_set();
  }
  return fs.cast<std::string>();
}
py::object pathText(const std::string& bytes) {
  return py::reinterpret_steal<py::object>(
      PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
}

// A text of the file as str: UTF-8, with every other byte kept as a lone surrogate, so that
// encoding it again (utf-8, surrogateescape) gives the file's bytes back.
py::object text(std::string_view bytes) {
  PyObject* s =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
  if (!s) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(s);
}
py::object textOrNone(const std::optional<std::string>& bytes) {
  return bytes ? text(*bytes) : py::none();
}
// The bytes of a str (utf-8, surrogateescape) or of bytes as they are.
std::string textBytes(const py::handle& value) {
  if (PyUnicode_Check(value.ptr())) {
    PyObject* b = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape");
    if (!b) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(b).cast<std::string>();
  }
  return value.cast<std::string>();
}

py::object loudness(const std::optional<int16_t>& hundredths) {
  if (!hundredths || *hundredths == BextRecord::kNotMeasured) return py::none();
  return py::float_(*hundredths / 100.0);
}
py::object umid(const std::optional<Umid>& value) {
  if (!value) return py::none();
  const std::string hex = umidText(*value);
  return hex == "0" ? py::object(py::none()) : py::str(hex);
}

// A value of the edit layer as Python has it: a str, an int, a UMID's hex digits (None for
// none), a loudness value as a float (None when not measured).
py::object valueObject(const edit::Value& value) {
  if (const auto* bytes = std::get_if<std::string>(&value)) return text(*bytes);
  if (const auto* version = std::get_if<uint16_t>(&value)) return py::int_(*version);
  if (const auto* id = std::get_if<Umid>(&value)) return umid(*id);
  return loudness(std::get<int16_t>(value));
}

// The keyword of each field that edit takes.
constexpr std::pair<const char*, BextField> kEditFields[] = {
    {"description", BextField::kDescription},
    {"originator", BextField::kOriginator},
    {"originator_reference", BextField::kOriginatorReference},
    {"origination_date", BextField::kOriginationDate},
    {"origination_time", BextField::kOriginationTime},
    {"version", BextField::kVersion},
    {"umid", BextField::kUmid},
    {"loudness_value", BextField::kLoudnessValue},
    {"loudness_range", BextField::kLoudnessRange},
    {"max_true_peak_level", BextField::kMaxTruePeakLevel},
    {"max_momentary_loudness", BextField::kMaxMomentaryLoudness},
    {"max_short_term_loudness", BextField::kMaxShortTermLoudness},
    {"coding_history", BextField::kCodingHistory}};

// A Python value as the text the edit layer reads a field's value from, as the command line
// hands it its options: texts as their bytes, numbers in decimal (a float as its shortest
// decimal, which the edit layer rounds to hundredths), None as "none" for a loudness value and
// "0" for a UMID. Nothing, with the reason, for a value of another type.
std::optional<std::string> editText(BextField field, const py::handle& value, std::string& why) {
  const bool isLoudness =
      std::find(kLoudnessFields.begin(), kLoudnessFields.end(), field) != kLoudnessFields.end();
  if (value.is_none() && (isLoudness || field == BextField::kUmid)) {
    return std::string(isLoudness ? "none" : "0");
  }
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) return textBytes(value);
  const bool number = field == BextField::kVersion || isLoudness;
  if (number && PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) {
    return py::str(value).cast<std::string>();
  }
  if (isLoudness && PyFloat_Check(value.ptr())) {
    const double d = value.cast<double>();
    char digits[512];  // the longest fixed form of a double
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, d, std::chars_format::fixed);
    if (error == std::errc() && std::isfinite(d)) return std::string(digits, end);
  }
  why = std::string("expected ") +
        (isLoudness                     ? "a number or None"
         : field == BextField::kVersion ? "an int"
         : field == BextField::kUmid    ? "hexadecimal digits as str, or None"
                                        : "str or bytes") +
        ", got " + py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
  return std::nullopt;
}

// edit's result: the changes made (field, before, after), or the refusals, or why the file
// could not be read or written.
py::tuple editFile(const std::string& path, const py::dict& fields, const py::dict& ixmlFields,
                   bool dryRun) {
  std::vector<std::pair<BextField, edit::Value>> values;
  std::vector<std::pair<std::string, std::string>> ixml;
  py::list refusals;
  for (const auto& [key, value] : ixmlFields) {
    const std::string name = key.cast<std::string>();
    if (!PyUnicode_Check(value.ptr()) && !PyBytes_Check(value.ptr())) {
      refusals.append(text(std::string(edit::kIxmlPrefix) + name + ": expected str or bytes"));
      continue;
    }
    ixml.emplace_back(name, textBytes(value));
  }
  for (const auto& [key, value] : fields) {
    const std::string name = key.cast<std::string>();
    const auto known = std::find_if(std::begin(kEditFields), std::end(kEditFields),
                                    [&](const auto& f) { return name == f.first; });
    if (known == std::end(kEditFields)) {
      refusals.append(text(name + ": no field that edit sets"));
      continue;
    }
    const BextField field = known->second;
    std::string why;
    std::optional<std::string> given = editText(field, value, why);
    std::optional<edit::Value> parsed;
    if (given) parsed = edit::parseValue(field, *given, why);
    if (parsed) {
      values.emplace_back(field, std::move(*parsed));
    } else {
      refusals.append(text(std::string(fieldName(field)) + ": " + why));
    }
  }
  if (!refusals.empty()) return py::make_tuple("refused", refusals);
  std::string why;
  std::unique_ptr<BWFParser> parser;
  bool saved = false;
  std::vector<std::string> planRefusals;
  std::vector<edit::Plan::Change> changes;
  std::vector<BWFParser::IxmlChange> ixmlChanges;
  {
    const py::gil_scoped_release unlocked;
    parser = scanFile(path, 25.0f, why);
    if (parser) {
      edit::Plan plan(*parser);
      for (const auto& [field, value] : values) plan.set(field, value);
      for (const auto& [name, value] : ixml) {
        if (!plan.takeIxml(name, value, why)) {
          planRefusals.push_back(std::string(edit::kIxmlPrefix) + name + ": " + why);
        }
      }
      const std::vector<std::string> refused = plan.refusals();
      planRefusals.insert(planRefusals.end(), refused.begin(), refused.end());
      changes = plan.changes();
      if (planRefusals.empty()) {
        plan.applyTo(*parser);
        ixmlChanges = parser->ixmlChanges();
        saved = dryRun ? parser->checkSave() : parser->saveFile();
      }
    }
  }
  if (!parser) return py::make_tuple("unreadable", text(why));
  if (!planRefusals.empty()) {
    py::list reasons;
    for (const std::string& refusal : planRefusals) reasons.append(text(refusal));
    return py::make_tuple("refused", reasons);
  }
  if (!saved) {
    // The reason alone: the Python layer's error names the file.
    std::string_view reason = parser->lastError();
    const std::string named = "cannot save " + path + ": ";
    if (reason.starts_with(named)) reason.remove_prefix(named.size());
    return py::make_tuple("unwritable", text(reason));
  }
  py::list made;
  for (const edit::Plan::Change& c : changes) {
    made.append(py::make_tuple(fieldName(c.field), valueObject(c.before), valueObject(c.after)));
  }
  for (const BWFParser::IxmlChange& c : ixmlChanges) {
    made.append(
        py::make_tuple(std::string(edit::kIxmlPrefix) + c.name, text(c.before), text(c.after)));
  }
  return py::make_tuple("done", made);
}

// check's result: the findings as (code, severity, offset, text), or why there are none.
py::object checkPath(const std::string& path, const std::string& rules, bool houseRules) {
  std::string why;
  const std::optional<unsigned> sets = check::parseRuleSets(rules, why);
  if (!sets) throw py::value_error("rules: " + why);
  check::Findings findings;
  bool read = false;
  {
    const py::gil_scoped_release unlocked;
    std::optional<check::Policy> policy =
        houseRules ? check::houseRulesOf(path, why) : check::Policy();
    if (!policy) {
      why = "its house rules: " + why;
    } else if ((read = check::checkFile(path, *sets, findings, why))) {
      policy->applyTo(findings);
    }
  }
  if (!read) return py::str(displayUtf8(why));
  py::list out;
  for (const check::Finding& f : findings) {
    out.append(py::make_tuple(f.code, check::severityName(f.severity), f.offset, text(f.text)));
  }
  return out;
}

smpte::Rate rateNamed(const std::string& name) {
  const std::optional<smpte::Rate> rate = smpte::parseRate(name);
  if (!rate) throw py::value_error("no SMPTE frame rate: '" + name + "'");
  return *rate;
}
smpte::Label labelOf(const std::string& rate, const std::string& label, bool requireLegal) {
  std::string why;
  const std::optional<smpte::Label> parsed =
      smpte::parseLabel(rateNamed(rate), label, why, requireLegal);
  if (!parsed) throw py::value_error(why);
  return *parsed;
}

// A sample rate to count samples with; ValueError for 0.
uint32_t samplesPerSecond(uint32_t sampleRate) {
  if (sampleRate == 0) throw py::value_error("sample_rate: must be above 0");
  return sampleRate;
}

void addSmpte(py::module_& m) {
  m.doc() =
      "SMPTE ST 12-1 timecode in exact integer arithmetic: rates by name ('25', '29.97' "
      "drop-frame, '29.97nd', '30000/1001', '23.98'), labels to frame counts and back, frames "
      "per day, and where frames begin in samples at any sample rate.";
  m.def(
      "rates",
      [] {
        std::vector<std::string> names;
        for (const smpte::Rate& r : smpte::rates()) names.push_back(smpte::rateName(r));
        return names;
      },
      "Every rate's name, in the order help texts list them.");
  m.def(
      "parse_rate", [](const std::string& rate) { return smpte::rateName(rateNamed(rate)); },
      py::arg("rate"), "The rate's own name ('29.97DF' gives '29.97'); ValueError for no rate.");
  m.def(
      "is_drop_frame", [](const std::string& rate) { return rateNamed(rate).dropFrame; },
      py::arg("rate"), "Whether the rate counts drop-frame.");
  m.def(
      "frames_per_day",
      [](const std::string& rate) { return smpte::framesPerDay(rateNamed(rate)); }, py::arg("rate"),
      "Frames from 00:00:00:00 to 24:00:00:00 (2589408 at 29.97).");
  m.def(
      "frames_from_label",
      [](const std::string& label, const std::string& rate) {
        return smpte::framesFromLabel(rateNamed(rate), labelOf(rate, label, true));
      },
      py::arg("label"), py::arg("rate"),
      "Frames since midnight of a label ('01:00:00;00' at 29.97 is 107892); ValueError, with "
      "the reason, for a label that is not legal at the rate.");
  m.def(
      "label_from_frames",
      [](uint64_t frames, const std::string& rate) {
        const smpte::Rate r = rateNamed(rate);
        return smpte::format(r, smpte::labelFromFrames(r, frames));
      },
      py::arg("frames"), py::arg("rate"),
      "The label of a frame count since midnight; beyond a day the hours run on past 23.");
  m.def(
      "why_illegal",
      [](const std::string& label, const std::string& rate) {
        return smpte::whyIllegal(rateNamed(rate), labelOf(rate, label, false));
      },
      py::arg("label"), py::arg("rate"),
      "Why the label is no label of the day at the rate (a label drop-frame skips, frames past "
      "the rate); '' when it is one. ValueError for a text that is no label at all.");
  m.def(
      "frame_start",
      [](uint64_t frame, const std::string& rate, uint32_t sampleRate) {
        return smpte::frameStart(rateNamed(rate), frame, samplesPerSecond(sampleRate));
      },
      py::arg("frame"), py::arg("rate"), py::arg("sample_rate"),
      "The sample at which a frame begins: frame x sample rate / frame rate, rounded half up.");
  m.def(
      "position_of_sample",
      [](uint64_t sample, const std::string& rate, uint32_t sampleRate) {
        const smpte::Position p =
            smpte::positionOfSample(rateNamed(rate), sample, samplesPerSecond(sampleRate));
        return py::make_tuple(p.frame, p.samplesPastFrame);
      },
      py::arg("sample"), py::arg("rate"), py::arg("sample_rate"),
      "(frame, samples past that frame's start) of a sample count, such as a time reference.");
}

void addRecord(py::module_& m) {
  py::class_<AudioFormat>(m, "Format", "The audio format a file's fmt chunk states.")
      .def_readonly("tag", &AudioFormat::tag, "The format tag (1 PCM, 3 IEEE float, 0xFFFE ...).")
      .def_property_readonly(
          "name", [](const AudioFormat& f) { return formatName(f); }, "'PCM', 'IEEE float' ...")
      .def_readonly("channels", &AudioFormat::channels)
      .def_readonly("sample_rate", &AudioFormat::sampleRate, "Samples per second.")
      .def_readonly("bytes_per_second", &AudioFormat::bytesPerSecond)
      .def_readonly("block_align", &AudioFormat::blockAlign)
      .def_readonly("bits_per_sample", &AudioFormat::bitsPerSample)
      .def_readonly("valid_bits", &AudioFormat::validBits, "Of an extensible format, else None.")
      .def_readonly("channel_mask", &AudioFormat::channelMask,
                    "Of an extensible format, else None.")
      .def_readonly("sub_format", &AudioFormat::subFormat, "Of an extensible format, else None.")
      .def("__repr__",
           [](const AudioFormat& f) { return "<bextkit.Format " + formatSummary(f) + ">"; });

  py::class_<ChainChunk>(m, "Chunk", "A chunk as the file's chunk sizes lay it out.")
      .def_property_readonly(
          "id", [](const ChainChunk& c) { return displayUtf8(c.id.str()); }, "'fmt ', 'bext' ...")
      .def_readonly("offset", &ChainChunk::offset, "Of the chunk's header.")
      .def_readonly("size", &ChainChunk::size, "Of its payload.")
      .def_property_readonly(
          "form",
          [](const ChainChunk& c) -> py::object {
            return c.form == FourCC() ? py::object(py::none()) : py::str(displayUtf8(c.form.str()));
          },
          "A LIST chunk's form type ('INFO'), else None.")
      .def_readonly("truncated", &ChainChunk::truncated, "It runs past the end of the file.")
      .def("__repr__", [](const ChainChunk& c) {
        return "<bextkit.Chunk '" + displayUtf8(c.id.str()) + "' at " + std::to_string(c.offset) +
               ", " + std::to_string(c.size) + " bytes>";
      });

  using R = FileRecord;
  const auto bextText = [](std::optional<std::string> BextRecord::*member) {
    return [member](const R& r) { return r.bext ? textOrNone((*r.bext).*member) : py::none(); };
  };
  const auto loudnessOf = [](BextField field) {
    return
        [field](const R& r) { return r.bext ? loudness(r.bext->loudnessOf(field)) : py::none(); };
  };
  py::class_<R>(m, "Record",
                "One file as bextkit reads it. A field the file does not hold (no bext chunk, "
                "or one cut short before it) is None; texts are str, with bytes that are no "
                "UTF-8 kept as lone surrogates (encode with 'surrogateescape' for the bytes).")
      .def_property_readonly(
          "path", [](const R& r) { return pathText(r.path); }, "The path, as os.fsdecode gives it.")
      .def_readonly("format", &R::format, "The audio format, or None without a fmt chunk.")
      .def_property_readonly(
          "data_size",
          [](const R& r) { return r.audio ? py::int_(r.audio->bytes) : py::object(py::none()); },
          "Bytes of audio in the data chunk, or None without one.")
      .def_property_readonly(
          "sample_frames",
          [](const R& r) { return r.audio ? py::cast(r.audio->frames) : py::object(py::none()); })
      .def_property_readonly(
          "duration",
          [](const R& r) { return r.audio ? py::cast(r.audio->seconds) : py::object(py::none()); },
          "Seconds of audio, where the format tells.")
      .def_property_readonly(
          "has_bext", [](const R& r) { return r.bext.has_value(); }, "The file has a bext chunk.")
      .def_property_readonly("description", bextText(&BextRecord::description))
      .def_property_readonly("originator", bextText(&BextRecord::originator))
      .def_property_readonly("originator_reference", bextText(&BextRecord::originatorReference))
      .def_property_readonly("origination_date", bextText(&BextRecord::originationDate))
      .def_property_readonly("origination_time", bextText(&BextRecord::originationTime))
      .def_property_readonly(
          "time_reference",
          [](const R& r) {
            return r.bext ? py::cast(r.bext->timeReference) : py::object(py::none());
          },
          "Samples since midnight.")
      .def_property_readonly(
          "version",
          [](const R& r) { return r.bext ? py::cast(r.bext->version) : py::object(py::none()); })
      .def_property_readonly(
          "umid", [](const R& r) { return r.bext ? umid(r.bext->umid) : py::none(); },
          "Hex digits (64 or 128); None for none.")
      .def_property_readonly("loudness_value", loudnessOf(BextField::kLoudnessValue),
                             "LUFS; None when not measured or not held.")
      .def_property_readonly("loudness_range", loudnessOf(BextField::kLoudnessRange), "LU.")
      .def_property_readonly("max_true_peak_level", loudnessOf(BextField::kMaxTruePeakLevel),
                             "dBTP.")
      .def_property_readonly("max_momentary_loudness", loudnessOf(BextField::kMaxMomentaryLoudness),
                             "LUFS.")
      .def_property_readonly("max_short_term_loudness",
                             loudnessOf(BextField::kMaxShortTermLoudness), "LUFS.")
      .def_property_readonly("coding_history", bextText(&BextRecord::codingHistory))
      .def_property_readonly(
          "chunks", [](const R& r) { return r.chain.chunks; }, "The chunk chain, in file order.")
      .def_property_readonly(
          "container",
          [](const R& r) -> py::object {
            const char* name = containerName(r.chain.container);
            return name ? py::object(py::str(name)) : py::none();
          },
          "'RIFF', 'RF64', 'BW64', 'RIFX', 'FFIR', or None for no WAVE form.")
      .def_readonly("rate", &R::rate, "The SMPTE rate the timecode is counted at: '25', '29.97'.")
      .def_readonly("rate_source", &R::rateSource,
                    "Where that rate came from: 'option', 'iXML', 'description' or 'default'.")
      .def_property_readonly(
          "rate_note",
          [](const R& r) { return r.rateNote.empty() ? py::object(py::none()) : text(r.rateNote); },
          "Where iXML and the description state different rates, a note naming both.")
      .def_property_readonly(
          "ixml",
          [](const R& r) -> py::object {
            if (!r.ixml || !r.ixml->wellFormed) return py::none();
            py::dict fields;
            for (const IxmlField& f : r.ixml->fields) fields[text(f.name)] = text(f.text);
            return fields;
          },
          "The iXML fields by their names as bextkit show lists them ('SCENE', "
          "'TRACK_LIST/TRACK[2]/NAME'), or None without a readable iXML chunk.")
      .def_property_readonly(
          "timecode",
          [](const R& r) {
            return r.timecode ? py::str(r.timecode->label) : py::object(py::none());
          },
          "The time reference as SMPTE timecode at the rate, or None.")
      .def_property_readonly(
          "timecode_frame",
          [](const R& r) {
            return r.timecode ? py::int_(r.timecode->position.frame) : py::object(py::none());
          },
          "Frames since midnight of that timecode.")
      .def_property_readonly(
          "samples_past_frame",
          [](const R& r) {
            return r.timecode ? py::int_(r.timecode->position.samplesPastFrame)
                              : py::object(py::none());
          },
          "Samples between the frame's start and the time reference.")
      .def("__repr__", [](const R& r) {
        return "<bextkit.Record " + py::repr(pathText(r.path)).cast<std::string>() +
               (r.bext && r.bext->description
                    ? " description=" + py::repr(text(*r.bext->description)).cast<std::string>()
                    : std::string(r.bext ? "" : " no bext")) +
               ">";
      });
}

py::object resultObject(ReadResult&& result) {
  if (!result.record) return py::str(displayUtf8(result.why));
  return py::cast(std::move(*result.record));
}

}  // namespace

}  // namespace bextkit::python

PYBIND11_MODULE(_bextkit, m) {
  using namespace bextkit;
  using namespace bextkit::python;
  m.doc() = "The bextkit library; the package bextkit offers it.";
  // The scan's progress messages are for people at a terminal, not for a Python program.
  silenceLog();

  addRecord(m);
  py::module_ smpteModule = m.def_submodule("smpte");
  addSmpte(smpteModule);

  m.def("path_bytes", &pathBytes, py::arg("path"));
  m.def(
      "read",
      [](const py::handle& path, const py::object& rate) {
        const std::string bytes = pathBytes(path);
        const std::string rateName =
            rate.is_none() ? std::string() : py::str(rate).cast<std::string>();
        ReadResult result;
        {
          const py::gil_scoped_release unlocked;
          result = readRecord(bytes, rateName);
        }
        if (!result.record) {
          // bextkit.ReadError, an OSError that names the file and the reason.
          const py::object error =
              py::module_::import("bextkit").attr("ReadError")(path, displayUtf8(result.why));
          PyErr_SetObject(error.get_type().ptr(), error.ptr());
          throw py::error_already_set();
        }
        return py::cast(std::move(*result.record));
      },
      py::arg("path"), py::arg("rate") = py::none(),
      "The file's record: format, every bext field, duration, the chunk chain and its "
      "timecode, counted at `rate` (an SMPTE rate's name such as \"29.97\") or, by default, at "
      "the rate the file states. Raises ReadError (an OSError) when the file cannot be read.");

  py::class_<ParallelReader>(m, "ParallelReader")
      .def(py::init([](const py::iterable& paths, const std::string& rate, unsigned workers) {
             std::vector<std::string> bytes;
             for (const py::handle path : paths) bytes.push_back(pathBytes(path));
             if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
             return std::make_unique<ParallelReader>(std::move(bytes), rate, workers);
           }),
           py::arg("paths"), py::arg("rate"), py::arg("workers"))
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", [](ParallelReader& reader) {
        std::optional<ReadResult> result;
        {
          const py::gil_scoped_release unlocked;
          result = reader.next();
        }
        if (!result) throw py::stop_iteration();
        return resultObject(std::move(*result));
      });

  m.def(
      "edit",
      [](const py::handle& path, const py::dict& fields, const py::dict& ixml, bool dryRun) {
        return editFile(pathBytes(path), fields, ixml, dryRun);
      },
      py::arg("path"), py::arg("fields"), py::arg("ixml"), py::arg("dry_run"));
  m.def("edit_fields", [] {
    std::vector<std::string> names;
    for (const auto& f : kEditFields) names.emplace_back(f.first);
    return names;
  });

  m.def(
      "check",
      [](const py::handle& path, const std::string& rules, bool houseRules) {
        return checkPath(pathBytes(path), rules, houseRules);
      },
      py::arg("path"), py::arg("rules"), py::arg("house_rules"));

  m.def(
      "md5",
      [](const py::handle& path) -> py::tuple {
        const std::string bytes = pathBytes(path);
        std::string why;
        std::optional<check::Digest> digest;
        {
          const py::gil_scoped_release unlocked;
          digest = check::audioDigest(bytes, why);
        }
        return digest ? py::make_tuple(true, digest->hex()) : py::make_tuple(false, text(why));
      },
      py::arg("path"));

  m.def("table_columns", &cli::tableColumns);
  m.def(
      "table_rows",
      [](const py::iterable& paths, const std::string& rate) {
        std::vector<std::string> bytes;
        for (const py::handle path : paths) bytes.push_back(pathBytes(path));
        std::vector<std::optional<cli::TableRow>> rows(bytes.size());
        std::vector<std::string> whys(bytes.size());
        {
          const py::gil_scoped_release unlocked;
          for (size_t i = 0; i < bytes.size(); ++i)
            rows[i] = cli::tableRow(bytes[i], rate, whys[i]);
        }
        // Each row as a list of str, the file name as os.fsdecode gives it; or the reason.
        py::list out;
        for (size_t i = 0; i < rows.size(); ++i) {
          if (!rows[i]) {
            out.append(py::str(displayUtf8(whys[i])));
            continue;
          }
          py::list cells;
          cells.append(pathText(rows[i]->cells[0]));
          for (size_t c = 1; c < rows[i]->cells.size(); ++c) cells.append(text(rows[i]->cells[c]));
          out.append(cells);
        }
        return out;
      },
      py::arg("paths"), py::arg("rate"));

  m.def(
      "list_files",
      [](const py::iterable& paths, bool recursive, const std::string& extensions) {
        std::vector<std::string> bytes;
        for (const py::handle path : paths) bytes.push_back(pathBytes(path));
        PathList list;
        {
          const py::gil_scoped_release unlocked;
          list = expandPaths(bytes, recursive, extensions);
        }
        py::list files, errors;
        for (const std::string& f : list.files) files.append(pathText(f));
        for (const std::string& e : list.errors) errors.append(text(e));
        return py::make_tuple(files, errors);
      },
      py::arg("paths"), py::arg("recursive"), py::arg("extensions"));
}
