// The script bridge: every operation of the system's classes that scripts call, registered under
// its name as scripts write it (`framesFromTimeCode:fps:`), with its class, whether it is a class
// or an object operation, and the kinds of its arguments and result. Parser objects live in a
// table of handles that scripts release explicitly. A call that names no operation, or passes the
// wrong number or kinds of values, fails with a message naming the operation and what it
// expected. Standard library only: the scripting host and the tests drive it alike.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bextkit {
class BWFParser;
}

namespace bextkit::bridge {

// The kinds of values that cross the bridge, in the order of Value's alternatives.
enum class Kind : uint8_t {
  kVoid,    // no value; also a null parser object
  kString,  // bytes as the file holds them
  kInt32,
  kUInt32,
  kFloat,  // 32-bit
  kBool,
  kStrings,       // array of strings
  kDictionary,    // strings to strings
  kBytes,         // byte buffer
  kParser,        // a parser object, by handle
  kFloatStorage,  // one float that the operation fills in
  kIntStorage,    // four integers that the operation fills in, as far as it reaches
  kRecord,        // named fields with typed values (Record)
  kRecords,       // list of records
};
// "string", "32-bit integer", "parser object" ...
const char* kindName(Kind kind);

// A record: named fields in the order the operation gives them, each holding nothing (a field
// the file does not hold), a text, a whole number (signed, or unsigned for 64-bit counts and
// offsets), a real number, a truth value, bytes, a nested record or a list of records.
struct Record;
using FieldValue = std::variant<std::monostate, std::string, int64_t, uint64_t, double, bool,
                                std::vector<uint8_t>, Record, std::vector<Record>>;
struct Field;
struct Record {
  std::vector<Field> fields;
  // Adds a field; returns the record, so that fields can be chained.
  Record& add(std::string name, FieldValue value);
  friend bool operator==(const Record& a, const Record& b);
};
struct Field {
  std::string name;
  FieldValue value;
  friend bool operator==(const Field&, const Field&) = default;
};
inline bool operator==(const Record& a, const Record& b) { return a.fields == b.fields; }

using Handle = uint32_t;
struct ParserRef {
  Handle handle;
  friend bool operator==(const ParserRef&, const ParserRef&) = default;
};
using Value = std::variant<std::monostate, std::string, int32_t, uint32_t, float, bool,
                           std::vector<std::string>, std::map<std::string, std::string>,
                           std::vector<uint8_t>, ParserRef, std::array<float, 1>,
                           std::array<int32_t, 4>, Record, std::vector<Record>>;
inline Kind kindOf(const Value& value) { return static_cast<Kind>(value.index()); }

class Bridge;

// What an operation's body works with: its arguments (storage kinds are filled in place), the
// parser it runs on (object operations), and where it reports a failure.
struct Call {
  Bridge& bridge;
  BWFParser* self;
  std::vector<Value>& args;
  std::string& error;
  const std::string& string(size_t i) const { return std::get<std::string>(args[i]); }
  int32_t int32(size_t i) const { return std::get<int32_t>(args[i]); }
  float real(size_t i) const { return std::get<float>(args[i]); }
  bool boolean(size_t i) const { return std::get<bool>(args[i]); }
  BWFParser* parser(size_t i) const;
};

struct Operation {
  std::string className;
  std::string name;
  bool classOperation;
  std::vector<Kind> arguments;
  Kind result;
  std::function<Value(Call&)> body;
};
// True for a class operation that takes and gives no parser object and fills no storage: it
// touches nothing of the bridge's, so it may run on another thread while scripts go on (the
// conformance check of a large file).
bool runsApart(const Operation& operation);
// "BWFParser initWithPath:FPS: (string, 32-bit float) -> parser object, class operation"
std::string describe(const Operation& operation);

class Bridge {
 public:
  Bridge();
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  std::span<const Operation> operations() const { return operations_; }
  const Operation* find(std::string_view className, std::string_view name) const;

  // Runs an operation: a class operation with `self` 0, an object operation on the parser
  // `self`. Nothing, with the message in `error`, when the call does not fit the operation or
  // the operation fails; an operation that throws fails so too ("BWFParser['parse']: out of
  // memory"). `reason`, when given, gets the message without the operation's name ("out of
  // memory"), for a window that shows it beside the value it concerns.
  std::optional<Value> call(std::string_view className, std::string_view name, Handle self,
                            std::vector<Value>& args, std::string& error,
                            std::string* reason = nullptr);

  // The parser behind a handle; null when the handle is unknown or released.
  BWFParser* parser(Handle handle) const;
  // Ends a parser object; false when the handle is unknown, released already or lent.
  bool release(Handle handle);
  // Lends a parser to work that runs outside the scripts (a save on another thread): until it
  // is given back, every call on it or with it fails and it cannot be released. Null when the
  // handle is unknown, released or lent already.
  BWFParser* lend(Handle handle);
  void giveBack(Handle handle) { lent_.erase(handle); }
  size_t liveObjects() const { return parsers_.size(); }
  // Takes a parser into the table; a null parser gives no handle (a null value).
  Value adopt(std::unique_ptr<BWFParser> parser);

 private:
  std::vector<Operation> operations_;
  std::map<Handle, std::unique_ptr<BWFParser>> parsers_;
  std::set<Handle> lent_;
  Handle next_ = 1;
};

}  // namespace bextkit::bridge
