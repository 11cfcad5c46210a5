// The scripting host: a QJSEngine in which the bridge's classes appear as the objects BWFParser,
// TimeCode, FileManager and Smpte, whose properties are the operations' names, so that a script
// writes TimeCode["framesFromTimeCode:fps:"]("01:00:00;00", 29.97) or
// BWFParser["initWithPath:"](path).parse(). Values map to JavaScript's own: strings, numbers,
// booleans, arrays, objects, ArrayBuffer; parser objects carry their operations and a release();
// caller-provided storage is a JS array filled in place; a record is a plain object whose
// properties are its fields (null for a field without a value, a whole number beyond 2^53 as its
// decimal text), a list of records an array of them. A failed call throws a JS error with the
// bridge's message, and the message without the operation's name as its `reason`. Shared by
// bextkit-script and the desktop application.
#pragma once

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QString>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/bridge/Bridge.h"

namespace bextkit {

class ScriptHost : public QObject {
  Q_OBJECT

 public:
  // Installs the classes, print(...) and exit(n) in `engine`, which must outlive the host.
  explicit ScriptHost(QJSEngine& engine);

  bridge::Bridge& bridge() { return bridge_; }
  QJSEngine& engine() { return engine_; }
  // Runs a script file. kUnreadable or kFailed (an uncaught error) leave in `error` the text
  // "PATH: reason" or "PATH:LINE: message"; a script that calls exit(n) has run.
  enum class Run { kRan, kUnreadable, kFailed };
  Run runFile(const QString& path, QString& error);

  // Where in a script an error arose, "PATH:LINE": the innermost frame of its stack that lies in
  // a file, so that an error thrown by the host's own wrappers names the script's call.
  static QString placeOf(const QJSValue& error);

  // The status a script asked for with exit(n), once it has.
  std::optional<int> exitStatus() const { return exitStatus_; }

  // Entry points for the classes' JavaScript side.
  Q_INVOKABLE QJSValue invoke(const QString& className, const QString& name, double self,
                              const QJSValue& args);
  Q_INVOKABLE bool release(double handle);
  Q_INVOKABLE void print(const QString& text);
  Q_INVOKABLE void exit(int status);

  // A script's arguments as the operation takes them; none, with the message a failed call
  // throws (and in `reason`, when given, without the operation's name), when one does not fit.
  std::optional<std::vector<bridge::Value>> argumentsFor(const std::string& className,
                                                         const std::string& name,
                                                         const QJSValue& args, std::string& error,
                                                         std::string* reason = nullptr);
  // A value as a script sees it.
  QJSValue toScript(const bridge::Value& value);
  // A script's value as the kind asks; none, with what was expected in `error`, when it does not
  // fit. A record comes from an object's own properties: null or undefined for nothing, a whole
  // number within 2^53 as a signed integer, any other number as a real one, an ArrayBuffer as
  // bytes, an array as a list of records, an object as a nested record.
  std::optional<bridge::Value> fromScript(const QJSValue& value, bridge::Kind kind,
                                          std::string& error);
  // The error a failed call throws: `message` with the plain `reason` as a property.
  QJSValue errorObject(const std::string& message, const std::string& reason);

 private:
  QJSValue fieldToScript(const bridge::FieldValue& value);
  QJSValue recordToScript(const bridge::Record& record);
  std::optional<bridge::Record> recordFromScript(const QJSValue& value, std::string& error);
  std::optional<std::vector<bridge::Record>> recordsFromScript(const QJSValue& value,
                                                               std::string& error);
  // A text of a file as a script sees it, and back: a text shown with Latin-1 stand-ins for
  // bytes that are not UTF-8 goes back as those bytes when a script returns it unchanged.
  QString decode(const std::string& bytes);
  std::string encode(const QString& text) const;

  QJSEngine& engine_;
  bridge::Bridge bridge_;
  QJSValue wrapParser_;  // makes a parser object of a handle, with its operations
  std::map<QString, std::string> originals_;
  std::optional<int> exitStatus_;
};

}  // namespace bextkit
