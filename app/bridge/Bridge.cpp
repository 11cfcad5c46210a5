#include "app/bridge/Bridge.h"

#include <algorithm>

#include "bwf/BWFParser.h"
#include "platform/ExceptionReason.h"

namespace bextkit::bridge {

// The registry's entries, one function per class.
void addParserOperations(std::vector<Operation>& operations);
void addTimeCodeOperations(std::vector<Operation>& operations);
void addFileManagerOperations(std::vector<Operation>& operations);
void addSmpteOperations(std::vector<Operation>& operations);
void addConformanceOperations(std::vector<Operation>& operations);
void addTableOperations(std::vector<Operation>& operations);
void addLoudnessOperations(std::vector<Operation>& operations);

const char* kindName(Kind kind) {
  static const char* const kNames[] = {
      "nothing",      "string",         "32-bit integer",        "unsigned 32-bit integer",
      "32-bit float", "boolean",        "array of strings",      "dictionary of strings",
      "byte buffer",  "parser object",  "storage for one float", "storage for four integers",
      "record",       "list of records"};
  return kNames[static_cast<size_t>(kind)];
}

std::string describe(const Operation& operation) {
  std::string text = operation.className + " " + operation.name + " (";
  for (size_t i = 0; i < operation.arguments.size(); ++i) {
    text += (i ? ", " : "") + std::string(kindName(operation.arguments[i]));
  }
  return text + ") -> " + kindName(operation.result) +
         (operation.classOperation ? ", class operation" : ", object operation");
}

Record& Record::add(std::string name, FieldValue value) {
  fields.push_back({std::move(name), std::move(value)});
  return *this;
}

BWFParser* Call::parser(size_t i) const {
  return bridge.parser(std::get<ParserRef>(args[i]).handle);
}

Bridge::Bridge() {
  addParserOperations(operations_);
  addTimeCodeOperations(operations_);
  addFileManagerOperations(operations_);
  addSmpteOperations(operations_);
  addConformanceOperations(operations_);
  addTableOperations(operations_);
  addLoudnessOperations(operations_);
}

Bridge::~Bridge() = default;

const Operation* Bridge::find(std::string_view className, std::string_view name) const {
  const auto it = std::find_if(operations_.begin(), operations_.end(), [&](const Operation& o) {
    return o.className == className && o.name == name;
  });
  return it == operations_.end() ? nullptr : &*it;
}

namespace {
const char* const kBusy =
    "the parser object is busy saving its file; it is free again when the save ends";
}  // namespace

bool runsApart(const Operation& operation) {
  const auto shared = [](Kind kind) {
    return kind == Kind::kParser || kind == Kind::kFloatStorage || kind == Kind::kIntStorage;
  };
  return operation.classOperation && !shared(operation.result) &&
         std::none_of(operation.arguments.begin(), operation.arguments.end(), shared);
}

std::optional<Value> Bridge::call(std::string_view className, std::string_view name, Handle self,
                                  std::vector<Value>& args, std::string& error,
                                  std::string* reason) {
  const Operation* operation = find(className, name);
  if (!operation) {
    error = std::string(className) + " has no operation " + std::string(name);
    if (reason) *reason = error;
    return std::nullopt;
  }
  const auto fail = [&](const std::string& why) {
    error = std::string(className) + "['" + std::string(name) + "']: " + why;
    if (reason) *reason = why;
    return std::nullopt;
  };
  BWFParser* object = nullptr;
  if (!operation->classOperation) {
    object = parser(self);
    if (!object) return fail("the parser object is unknown or was released");
    if (lent_.count(self)) return fail(kBusy);
  }
  if (args.size() != operation->arguments.size()) {
    return fail("expected " + std::to_string(operation->arguments.size()) + " arguments (" +
                describe(*operation) + "), got " + std::to_string(args.size()));
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const Kind expected = operation->arguments[i];
    if (kindOf(args[i]) != expected) {
      return fail("argument " + std::to_string(i + 1) + " must be a " + kindName(expected) +
                  ", got a " + kindName(kindOf(args[i])));
    }
    if (expected == Kind::kParser && !parser(std::get<ParserRef>(args[i]).handle)) {
      return fail("argument " + std::to_string(i + 1) +
                  " is a parser object that is unknown or was released");
    }
    if (expected == Kind::kParser && lent_.count(std::get<ParserRef>(args[i]).handle)) {
      return fail(kBusy);
    }
  }
  std::string why;
  Call call{*this, object, args, why};
  Value result;
  try {
    result = operation->body(call);
  } catch (...) {
    // An operation that throws fails as a call, with its reason: the script sees an error.
    return fail(currentExceptionReason());
  }
  if (!why.empty()) return fail(why);
  return result;
}

BWFParser* Bridge::parser(Handle handle) const {
  const auto it = parsers_.find(handle);
  return it == parsers_.end() ? nullptr : it->second.get();
}

bool Bridge::release(Handle handle) { return !lent_.count(handle) && parsers_.erase(handle) == 1; }

BWFParser* Bridge::lend(Handle handle) {
  BWFParser* object = parser(handle);
  if (!object || !lent_.insert(handle).second) return nullptr;
  return object;
}

Value Bridge::adopt(std::unique_ptr<BWFParser> parser) {
  if (!parser) return std::monostate();
  const Handle handle = next_++;
  parsers_.emplace(handle, std::move(parser));
  return ParserRef{handle};
}

}  // namespace bextkit::bridge
