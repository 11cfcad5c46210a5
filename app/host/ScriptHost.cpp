#include "app/host/ScriptHost.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QJSValueIterator>
#include <QUrl>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/Utf8.h"

namespace bextkit {

namespace {

using bridge::Kind;
using bridge::Value;

// Builds the classes from the list of operations: class operations on the class objects, object
// operations on the prototype of parser objects.
constexpr const char* kPrelude = R"JS(
(function (host, operations, global) {
  const parserPrototype = {
    release() {
      if (!host.release(this.__handle)) {
        throw new Error('BWFParser release(): the parser object was released already or is busy');
      }
      return true;
    }
  };
  const wrap = (result) => {
    if (result === null || typeof result !== 'object' || !('__parser' in result)) return result;
    const parser = Object.create(parserPrototype);
    Object.defineProperty(parser, '__handle', { value: result.__parser });
    return Object.freeze(parser);
  };
  const classes = {};
  for (const op of operations) {
    if (op.classOperation && !classes[op.className]) classes[op.className] = {};
    const target = op.classOperation ? classes[op.className] : parserPrototype;
    target[op.name] = op.classOperation
        ? (...args) => wrap(host.invoke(op.className, op.name, 0, args))
        : function (...args) { return wrap(host.invoke(op.className, op.name, this.__handle, args)); };
  }
  for (const name in classes) global[name] = Object.freeze(classes[name]);
  global.print = (...args) => host.print(args.map(String).join(' '));
  global.exit = (status = 0) => {
    if (!Number.isInteger(status) || status < 0 || status > 255) {
      throw new TypeError(`exit(status): the status is a whole number from 0 to 255, got ${status}`);
    }
    host.exit(status);
  };
  return wrap;
})
)JS";

// A number as the shortest decimal that reads back as the same float: 29.97, not 29.9699993.
double shortestDouble(float value) {
  if (!std::isfinite(value)) return value;
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  double result = 0;
  std::from_chars(text, end, result);
  return result;
}

// A number as a 32-bit float: the nearest one, and beyond the floats' range an infinity (a plain
// conversion of such a number is undefined).
// A parser handle as a script holds it: a whole number from 1 to the largest handle. Anything
// else (a fraction, a number past 32 bits, NaN) is handle 0, which names no parser, so that a
// handle can never wrap round onto another parser.
bridge::Handle handleOf(double number) {
  const bool whole = number >= 1 && number <= std::numeric_limits<bridge::Handle>::max() &&
                     number == std::floor(number);
  return whole ? static_cast<bridge::Handle>(number) : 0;
}

// 2^53: up to it, a script's number holds every whole number exactly.
constexpr int64_t kLargestExact = int64_t{1} << 53;

// An ArrayBuffer, which the engine hands over as bytes.
bool isBytes(const QJSValue& value) {
  return value.isObject() && value.toVariant().metaType() == QMetaType::fromType<QByteArray>();
}

float toFloat(double number) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (number > kLargest) return std::numeric_limits<float>::infinity();
  if (number < -kLargest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(number);
}

}  // namespace

ScriptHost::ScriptHost(QJSEngine& engine) : engine_(engine) {
  QJSValue operations = engine_.newArray();
  quint32 i = 0;
  for (const bridge::Operation& op : bridge_.operations()) {
    QJSValue entry = engine_.newObject();
    entry.setProperty("className", QString::fromStdString(op.className));
    entry.setProperty("name", QString::fromStdString(op.name));
    entry.setProperty("classOperation", op.classOperation);
    operations.setProperty(i++, entry);
  }
  const QJSValue installed = engine_.evaluate(kPrelude).call(
      {engine_.newQObject(this), operations, engine_.globalObject()});
  // The prelude is the host's own: an error in it is a fault of the build, told at once.
  if (installed.isError()) qFatal("script host: %s", qPrintable(installed.toString()));
  wrapParser_ = installed;
  // The engine must not take the host for its own and delete it.
  QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
}

std::optional<std::vector<Value>> ScriptHost::argumentsFor(const std::string& className,
                                                           const std::string& name,
                                                           const QJSValue& args, std::string& error,
                                                           std::string* reason) {
  const bridge::Operation* operation = bridge_.find(className, name);
  // The bridge tells an unknown name or a wrong count; the values are converted to the kinds the
  // operation takes, and any past those passed on as nothing for the bridge to count.
  const auto count = static_cast<size_t>(args.property("length").toUInt());
  std::vector<Value> values(count);
  const size_t kinds = operation ? operation->arguments.size() : 0;
  for (size_t i = 0; i < std::min(count, kinds); ++i) {
    std::string why;
    std::optional<Value> value =
        fromScript(args.property(static_cast<quint32>(i)), operation->arguments[i], why);
    if (!value) {
      const std::string plain = "argument " + std::to_string(i + 1) + " must be " + why;
      error = className + "['" + name + "']: " + plain;
      if (reason) *reason = plain;
      return std::nullopt;
    }
    values[i] = std::move(*value);
  }
  return values;
}

QJSValue ScriptHost::invoke(const QString& className, const QString& name, double self,
                            const QJSValue& args) {
  const std::string cls = className.toStdString(), op = name.toStdString();
  std::string error, reason;
  const auto fail = [&] {
    engine_.throwError(errorObject(error, reason));
    return QJSValue();
  };
  std::optional<std::vector<Value>> converted = argumentsFor(cls, op, args, error, &reason);
  if (!converted) return fail();
  std::vector<Value>& values = *converted;
  const size_t count = values.size();
  const std::optional<Value> result = bridge_.call(cls, op, handleOf(self), values, error, &reason);
  if (!result) return fail();
  // Storage the operation filled goes back into the caller's arrays.
  for (size_t i = 0; i < count; ++i) {
    QJSValue target = args.property(static_cast<quint32>(i));
    if (const auto* one = std::get_if<std::array<float, 1>>(&values[i])) {
      target.setProperty(0, shortestDouble((*one)[0]));
    } else if (const auto* four = std::get_if<std::array<int32_t, 4>>(&values[i])) {
      for (quint32 k = 0; k < 4; ++k) target.setProperty(k, (*four)[k]);
    }
  }
  return toScript(*result);
}

QJSValue ScriptHost::errorObject(const std::string& message, const std::string& reason) {
  QJSValue error = engine_.newErrorObject(QJSValue::GenericError, QString::fromStdString(message));
  error.setProperty("reason", QString::fromStdString(reason));
  return error;
}

ScriptHost::Run ScriptHost::runFile(const QString& path, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = path + ": " + file.errorString();
    return Run::kUnreadable;
  }
  const QJSValue result = engine_.evaluate(QString::fromUtf8(file.readAll()), path, 1);
  if (!result.isError() || engine_.isInterrupted()) return Run::kRan;
  error = placeOf(result) + ": " + result.toString();
  return Run::kFailed;
}

QString ScriptHost::placeOf(const QJSValue& error) {
  for (const QString& frame : error.property("stack").toString().split('\n')) {
    const qsizetype at = frame.indexOf('@'), colon = frame.lastIndexOf(':');
    if (at >= 0 && colon > at + 1) {
      const QUrl file(frame.mid(at + 1, colon - at - 1));
      return (file.isLocalFile() ? file.toLocalFile() : file.toString()) + frame.mid(colon);
    }
  }
  return error.property("fileName").toString() + ":" + error.property("lineNumber").toString();
}

bool ScriptHost::release(double handle) {
  const bridge::Handle known = handleOf(handle);
  return known != 0 && bridge_.release(known);
}

void ScriptHost::print(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fputc('\n', stdout);
}

void ScriptHost::exit(int status) {
  exitStatus_ = status;
  engine_.setInterrupted(true);    // the script stops here, whatever catches errors around it
  QCoreApplication::exit(status);  // and an event loop that runs ends with the status
}

QString ScriptHost::decode(const std::string& bytes) {
  const std::string shown = displayUtf8(bytes);
  QString text = QString::fromStdString(shown);
  if (shown != bytes) originals_[text] = bytes;
  return text;
}

std::string ScriptHost::encode(const QString& text) const {
  const auto it = originals_.find(text);
  return it != originals_.end() ? it->second : text.toStdString();
}

QJSValue ScriptHost::toScript(const Value& value) {
  switch (bridge::kindOf(value)) {
    case Kind::kString:
      return decode(std::get<std::string>(value));
    case Kind::kInt32:
      return std::get<int32_t>(value);
    case Kind::kUInt32:
      return static_cast<double>(std::get<uint32_t>(value));
    case Kind::kFloat:
      return shortestDouble(std::get<float>(value));
    case Kind::kBool:
      return std::get<bool>(value);
    case Kind::kStrings: {
      const auto& strings = std::get<std::vector<std::string>>(value);
      QJSValue array = engine_.newArray(static_cast<uint>(strings.size()));
      for (quint32 i = 0; i < strings.size(); ++i) array.setProperty(i, decode(strings[i]));
      return array;
    }
    case Kind::kDictionary: {
      QJSValue object = engine_.newObject();
      for (const auto& [key, text] : std::get<std::map<std::string, std::string>>(value)) {
        object.setProperty(decode(key), decode(text));
      }
      return object;
    }
    case Kind::kBytes: {
      const auto& bytes = std::get<std::vector<uint8_t>>(value);
      return engine_.toScriptValue(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size())));
    }
    case Kind::kParser: {
      QJSValue marker = engine_.newObject();
      marker.setProperty("__parser", std::get<bridge::ParserRef>(value).handle);
      return wrapParser_.call({marker});
    }
    case Kind::kRecord:
      return recordToScript(std::get<bridge::Record>(value));
    case Kind::kRecords:
      return fieldToScript(std::get<std::vector<bridge::Record>>(value));
    default:
      return QJSValue(QJSValue::NullValue);
  }
}

QJSValue ScriptHost::recordToScript(const bridge::Record& record) {
  QJSValue object = engine_.newObject();
  for (const bridge::Field& field : record.fields) {
    object.setProperty(decode(field.name), fieldToScript(field.value));
  }
  return object;
}

QJSValue ScriptHost::fieldToScript(const bridge::FieldValue& value) {
  // A whole number a script's number holds exactly, or its decimal text.
  const auto whole = [](auto number) -> QJSValue {
    const bool exact =
        std::cmp_less_equal(number, kLargestExact) && std::cmp_less_equal(-kLargestExact, number);
    return exact ? QJSValue(static_cast<double>(number)) : QJSValue(QString::number(number));
  };
  return std::visit(
      [&](const auto& v) -> QJSValue {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return QJSValue(QJSValue::NullValue);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return decode(v);
        } else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, uint64_t>) {
          return whole(v);
        } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, bool>) {
          return QJSValue(v);
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          return toScript(Value(v));
        } else if constexpr (std::is_same_v<T, bridge::Record>) {
          return recordToScript(v);
        } else {
          QJSValue array = engine_.newArray(static_cast<uint>(v.size()));
          for (quint32 i = 0; i < v.size(); ++i) array.setProperty(i, recordToScript(v[i]));
          return array;
        }
      },
      value);
}

std::optional<bridge::Record> ScriptHost::recordFromScript(const QJSValue& value,
                                                           std::string& error) {
  if (!value.isObject() || value.isArray() || value.isCallable() || isBytes(value)) {
    error = "a record (an object of fields), got " + value.toString().toStdString();
    return std::nullopt;
  }
  bridge::Record record;
  QJSValueIterator it(value);
  while (it.hasNext()) {
    it.next();
    const QJSValue field = it.value();
    const std::string name = encode(it.name());
    std::string why;
    std::optional<bridge::FieldValue> converted;
    const double number = field.toNumber();
    if (field.isNull() || field.isUndefined()) {
      converted.emplace();
    } else if (field.isString()) {
      converted = encode(field.toString());
    } else if (field.isBool()) {
      converted = field.toBool();
    } else if (field.isNumber()) {
      if (std::trunc(number) == number && std::fabs(number) <= kLargestExact) {
        converted = static_cast<int64_t>(number);
      } else {
        converted = number;
      }
    } else if (isBytes(field)) {
      converted = std::get<std::vector<uint8_t>>(*fromScript(field, Kind::kBytes, why));
    } else if (field.isArray()) {
      if (auto records = recordsFromScript(field, why)) converted = std::move(*records);
    } else if (auto nested = recordFromScript(field, why)) {
      converted = std::move(*nested);
    }
    if (!converted) {
      error = "a record whose field '" + name + "' holds " +
              (why.empty() ? "no value a record keeps" : why);
      return std::nullopt;
    }
    record.add(name, std::move(*converted));
  }
  return record;
}

std::optional<std::vector<bridge::Record>> ScriptHost::recordsFromScript(const QJSValue& value,
                                                                         std::string& error) {
  if (!value.isArray()) {
    error = "a list of records (an array of objects), got " + value.toString().toStdString();
    return std::nullopt;
  }
  std::vector<bridge::Record> records;
  const quint32 count = value.property("length").toUInt();
  for (quint32 i = 0; i < count; ++i) {
    std::optional<bridge::Record> record = recordFromScript(value.property(i), error);
    if (!record) return std::nullopt;
    records.push_back(std::move(*record));
  }
  return records;
}

std::optional<Value> ScriptHost::fromScript(const QJSValue& value, Kind kind, std::string& error) {
  const std::string name = bridge::kindName(kind);
  error = (name[0] == 'a' ? "an " : "a ") + name + ", got " + value.toString().toStdString();
  const double number = value.toNumber();
  const bool integral = value.isNumber() && std::isfinite(number) && number == std::trunc(number);
  switch (kind) {
    case Kind::kString:
      if (value.isString()) return encode(value.toString());
      return std::nullopt;
    case Kind::kInt32:
      if (integral && number >= -2147483648.0 && number <= 2147483647.0) {
        return static_cast<int32_t>(number);
      }
      return std::nullopt;
    case Kind::kUInt32:
      if (integral && number >= 0 && number <= 4294967295.0) return static_cast<uint32_t>(number);
      return std::nullopt;
    case Kind::kFloat:
      // The float nearest to the number: 29.97 arrives as 29.97f.
      if (value.isNumber() && !(std::fabs(number) > std::numeric_limits<float>::max())) {
        return toFloat(number);
      }
      return std::nullopt;
    case Kind::kBool:
      if (value.isBool()) return value.toBool();
      return std::nullopt;
    case Kind::kStrings: {
      if (!value.isArray()) return std::nullopt;
      std::vector<std::string> strings;
      const quint32 count = value.property("length").toUInt();
      for (quint32 k = 0; k < count; ++k) {
        const QJSValue item = value.property(k);
        if (!item.isString()) return std::nullopt;
        strings.push_back(encode(item.toString()));
      }
      return strings;
    }
    case Kind::kParser:
      if (value.isObject() && value.property("__handle").isNumber()) {
        return bridge::ParserRef{handleOf(value.property("__handle").toNumber())};
      }
      return std::nullopt;
    case Kind::kFloatStorage:
      if (value.isArray()) {
        return std::array<float, 1>{toFloat(value.property(0).toNumber())};
      }
      error = "an array to hold one float";
      return std::nullopt;
    case Kind::kIntStorage:
      if (value.isArray()) {
        std::array<int32_t, 4> fields{};
        for (quint32 k = 0; k < 4; ++k) fields[k] = value.property(k).toInt();
        return fields;
      }
      error = "an array to hold four integers";
      return std::nullopt;
    case Kind::kBytes:
      if (isBytes(value)) {
        const QByteArray bytes = value.toVariant().toByteArray();
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
      }
      return std::nullopt;
    case Kind::kRecord:
      if (auto record = recordFromScript(value, error)) return std::move(*record);
      return std::nullopt;
    case Kind::kRecords:
      if (auto records = recordsFromScript(value, error)) return std::move(*records);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace bextkit
