// What the script layer of the desktop application can do beyond the widgets' own properties,
// signals and slots: file dialogs and questions, tables in tree views, selection and drop
// notifications, fonts with monospaced digits. Offered to scripts as the object `gui`.
// Every function of a script that the application calls later (a signal's handler, a
// notification's, a close or drop handler, a background call's completion, a timer) runs through
// one routine, which tells an error it ends with, with its file and line, in the window's status
// bar and on the error stream.
#pragma once

#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <vector>

#include "app/bridge/Bridge.h"

class QPlainTextEdit;
class QThread;
class QWidget;

namespace bextkit {

class BWFParser;
class ScriptHost;

class ScriptUi : public QObject {
  Q_OBJECT

 public:
  ScriptUi(ScriptHost& host, QWidget* window, QStringList files, QObject* parent = nullptr);
  ~ScriptUi() override;

  // The files named on the command line.
  Q_INVOKABLE QStringList arguments() const { return files_; }
  // Paths the user picked in a file dialog; empty when cancelled.
  Q_INVOKABLE QStringList openFiles(const QString& title);
  Q_INVOKABLE void message(const QString& text);
  // True for yes.
  Q_INVOKABLE bool ask(const QString& text);
  // A line of text the user typed, starting from `text`; null when cancelled.
  Q_INVOKABLE QJSValue askText(const QString& label, const QString& text);
  // Calls `callback` when `window` is about to close; a false answer keeps it open (an error
  // lets it close).
  Q_INVOKABLE void onClose(QObject* window, const QJSValue& callback);
  // Fills a tree view with rows of texts under the headers (a fresh model each time).
  Q_INVOKABLE void setTable(QObject* view, const QStringList& headers, const QVariantList& rows);
  // The index of the selected row of a tree view, or -1.
  Q_INVOKABLE int selectedRow(QObject* view) const;
  // Calls `callback` whenever the notification `name` is posted by `sender`.
  Q_INVOKABLE void observe(const QString& name, QObject* sender, const QJSValue& callback);
  // Calls `callback` with the local paths of files dropped on `widget`.
  Q_INVOKABLE void onDrop(QObject* widget, const QJSValue& callback);
  // Puts the texts into a list or combo box as its items, keeping the current row where it can.
  Q_INVOKABLE void setItems(QObject* widget, const QStringList& texts);
  // Calls `callback` once the event loop runs again.
  Q_INVOKABLE void later(const QJSValue& callback);
  // Gives a widget the system's fixed-pitch font, for timecodes and offsets.
  Q_INVOKABLE void useFixedFont(QObject* widget);
  // Saves a parser object's file on another thread, so that the window stays responsive, with a
  // progress dialog under `label` when the save copies the audio (a bext chunk inserted) and
  // takes a moment. Until the save ends the parser is lent: calls on it fail. Then `callback`
  // gets true for a save that succeeded. False, without a save, for a parser that is not a
  // live parser object or is being saved already.
  Q_INVOKABLE bool saveInBackground(const QJSValue& parser, const QString& label,
                                    const QJSValue& callback);
  // Runs a class operation that takes and gives no parser object (a conformance check) on
  // another thread, so that the window stays responsive however long it takes; then calls
  // `callback(result, error)`: the result as a direct call gives it and a null error, or a null
  // result and the error a direct call would throw (its `reason` the plain reason). Throws a
  // script error, running nothing, for an operation that cannot run apart or arguments that do
  // not fit it.
  Q_INVOKABLE void callInBackground(const QString& className, const QString& name,
                                    const QJSValue& args, const QJSValue& callback);
  // Saves parser objects one after another on another thread, with one progress dialog for the
  // batch (its Cancel stops before the next file; a file is never left half-saved). Each parser
  // is lent until the batch ends. Then `callback(reasons)`: for each parser, "" for a save that
  // succeeded, or why it did not (the parser's lastError, "not saved: the batch was cancelled",
  // or "busy" for a parser that is no live parser object or is lent already).
  Q_INVOKABLE void saveAllInBackground(const QJSValue& parsers, const QString& label,
                                       const QJSValue& callback);
  // Opens files and folders off the main thread, the WAV files of each folder and its
  // subfolders, each file once by what it is (not by its name) and none of `known` ("device:inode"
  // of the files open already), with a progress dialog while it lasts. Then
  // `callback(opened, refused, notes)`: records { path, identity, parser } in the order of the
  // paths; "PATH: reason" for each file that cannot be read or is no WAV file (an empty file
  // among them); "PATH: ..." for a file open already or reached twice (`identity` names it).
  Q_INVOKABLE void openInBackground(const QStringList& paths, const QStringList& known,
                                    const QJSValue& callback);
  // A folder the user picked; empty when cancelled.
  Q_INVOKABLE QString openFolder(const QString& title);
  // A file name the user picked to read (`save` false) or write, under a filter such as "CSV
  // files (*.csv)"; empty when cancelled.
  Q_INVOKABLE QString pickFile(const QString& title, const QString& filter, bool save);
  // Asks with buttons that carry the texts given; the text of the one chosen. `safe` is the
  // default button and the answer to Escape or closing the question.
  Q_INVOKABLE QString choose(const QString& text, const QString& details,
                             const QStringList& buttons, const QString& safe);
  // Shows text that cannot be edited in a dialog of its own (a log, a page of help).
  Q_INVOKABLE void showText(const QString& title, const QString& text);
  // Runs `callback` when `keys` ("Escape", "Ctrl+W", "F1") are pressed in `widget`'s window.
  Q_INVOKABLE void onShortcut(QObject* widget, const QString& keys, const QJSValue& callback);
  Q_INVOKABLE void copyText(const QString& text);
  // What the application remembers between runs (window geometry, the last folder, the rate).
  Q_INVOKABLE QVariant setting(const QString& key, const QVariant& fallback) const;
  Q_INVOKABLE void setSetting(const QString& key, const QVariant& value);
  // Keeps a widget's geometry between runs under `key`, restoring it now.
  Q_INVOKABLE void keepGeometry(QObject* widget, const QString& key);
  // The application's version.
  Q_INVOKABLE QString version() const;

  // A table of rows that the script keeps by key (RowTable) in a tree view. `columns` are
  // objects { title, edit: "line" or "text" for a column whose cells can be edited, width in
  // pixels until the user sets one }; the columns' order, widths and visibility are kept under
  // `settingsKey`.
  Q_INVOKABLE void makeTable(QObject* view, const QVariantList& columns,
                             const QString& settingsKey);
  // Puts rows in, each { key, cells (the values edited), tips, tone: "edited" or "error", shown
  // (what a cell shows where it is more than its value) }, all but key and cells optional;
  // a row whose key is in the table already is replaced.
  Q_INVOKABLE void setRows(QObject* view, const QVariantList& rows);
  Q_INVOKABLE void removeRow(QObject* view, int key);
  Q_INVOKABLE void clearRows(QObject* view);
  // Calls `callback(key, column, text)` for each edit of a cell of the view's table: it returns
  // "" when it takes the edit (and puts the row in again as it now stands) or the reason it
  // refuses it, which is shown at the cell.
  Q_INVOKABLE void onCellEdit(QObject* view, const QJSValue& callback);
  // The keys of the selected rows, and of all rows, in the view's order; the current row's key
  // (-1 for none); selecting rows by key, the first one current.
  Q_INVOKABLE QVariantList selectedKeys(QObject* view) const;
  Q_INVOKABLE QVariantList keysInOrder(QObject* view) const;
  Q_INVOKABLE int currentKey(QObject* view) const;
  // The column of the current cell, as the table counts its columns; -1 for none.
  Q_INVOKABLE int currentColumn(QObject* view) const;
  Q_INVOKABLE void selectKeys(QObject* view, const QVariantList& keys);

  // Saves a picture of a widget as it stands (PNG), or of the whole screen for null (dialogs
  // above the window too); false when it cannot be written.
  Q_INVOKABLE bool grab(QObject* widget, const QString& path) const;
  // The errors of the script layer so far ("file:line: message"), each also told on the error
  // stream and in the window's status bar as it happened.
  Q_INVOKABLE QStringList errors() const { return errors_; }
  // Tells an error so; scripts tell their own errors the same way.
  Q_INVOKABLE void reportError(const QString& text);
  // Calls `callback` on `thisObject` with the arguments in the array `args`, as the application
  // calls every callback: an error it ends with is told. Its result; undefined after an error.
  // The handlers scripts connect to signals run through it.
  Q_INVOKABLE QJSValue callBack(const QJSValue& callback, const QJSValue& thisObject,
                                const QJSValue& args);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ScriptHost& host_;
  QWidget* window_;
  QStringList files_;
  std::vector<QThread*> threads_;  // saves and calls running, waited for before the host goes
  // Runs `work` on a thread of its own, then `done` on the window's thread.
  void runApart(std::function<void()> work, std::function<void()> done);
  // Calls a script's callback; an error it ends with is told. Its result; undefined after an
  // error.
  QJSValue callBack(QJSValue callback, const QJSValueList& args = {},
                    const QJSValue& thisObject = {});

  // Saves the parsers (lent already) in turn, with one progress dialog; `done(reasons)` after.
  void saveAll(std::vector<std::pair<bridge::Handle, BWFParser*>> parsers, const QString& label,
               std::function<void(const QStringList&)> done);

  std::vector<std::pair<QObject*, QJSValue>> drops_;
  QObject* dropRelay_ = nullptr;
  // A dialog of text that cannot be edited, shown; its text view.
  QPlainTextEdit* textDialog(const QString& title, const QString& text);
  QPointer<QPlainTextEdit> errorLog_;
  std::vector<std::pair<QWidget*, QString>> geometries_;
  std::vector<std::pair<QObject*, QJSValue>> closes_;
  QStringList errors_;
};

}  // namespace bextkit
