#include "app/gui/ScriptUi.h"

#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QInputDialog>
#include <QJSEngine>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/host/ScriptHost.h"
#include "bwf/BWFParser.h"
#include "platform/NotificationCenter.h"

namespace bextkit {

namespace {

// Routes the handlers that scripts connect to signals through gui.callBack, so that an error one
// ends with is told like any other callback's; disconnecting a handler finds the one connected.
constexpr const char* kRouteSignals = R"JS(
(function (gui) {
  const connect = Function.prototype.connect, disconnect = Function.prototype.disconnect;
  const routed = new WeakMap();
  const route = (handler) => {
    if (typeof handler !== 'function') return handler;
    if (!routed.has(handler)) {
      routed.set(handler, function (...args) { return gui.callBack(handler, this, args); });
    }
    return routed.get(handler);
  };
  const routing = (original) => function (...args) {
    args[args.length - 1] = route(args[args.length - 1]);
    return original.apply(this, args);
  };
  Function.prototype.connect = routing(connect);
  Function.prototype.disconnect = routing(disconnect);
})
)JS";

}  // namespace

ScriptUi::ScriptUi(ScriptHost& host, QWidget* window, QStringList files, QObject* parent)
    : QObject(parent), host_(host), window_(window), files_(std::move(files)) {
  QJSEngine& engine = host_.engine();
  // The engine must not take this object for its own and delete it.
  QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
  const QJSValue routed = engine.evaluate(kRouteSignals).call({engine.newQObject(this)});
  // The routine is the application's own: an error in it is a fault of the build, told at once.
  if (routed.isError()) qFatal("script layer: %s", qPrintable(routed.toString()));
}

ScriptUi::~ScriptUi() {
  NotificationCenter::defaultCenter().removeObserver(this);
  // A save under way finishes: stopping it would leave a temporary file, and its parser must
  // outlive it. A thread whose end this object will no longer hear (the window closed while a
  // check ran) is deleted here, not left behind.
  for (QThread* thread : threads_) {
    thread->wait();
    delete thread;
  }
}

void ScriptUi::runApart(std::function<void()> work, std::function<void()> done) {
  QThread* thread = QThread::create(std::move(work));
  threads_.push_back(thread);
  connect(thread, &QThread::finished, this, [this, thread, done = std::move(done)] {
    threads_.erase(std::find(threads_.begin(), threads_.end(), thread));
    thread->deleteLater();
    done();
  });
  thread->start();
}

void ScriptUi::callInBackground(const QString& className, const QString& name, const QJSValue& args,
                                const QJSValue& callback) {
  const std::string cls = className.toStdString(), op = name.toStdString();
  const bridge::Operation* operation = host_.bridge().find(cls, op);
  std::string error, reason;
  std::optional<std::vector<bridge::Value>> values;
  if (!operation || !bridge::runsApart(*operation)) {
    reason = "only class operations that take and give no parser object can run in the background";
    error = cls + "['" + op + "'] cannot run in the background: " + reason;
  } else {
    values = host_.argumentsFor(cls, op, args, error, &reason);
  }
  if (!values) {
    host_.engine().throwError(host_.errorObject(error, reason));
    return;
  }
  struct Outcome {
    std::vector<bridge::Value> args;
    std::optional<bridge::Value> result;
    std::string error, reason;
  };
  auto outcome = std::make_shared<Outcome>(Outcome{std::move(*values), std::nullopt, {}, {}});
  runApart(
      [this, cls, op, outcome] {
        outcome->result =
            host_.bridge().call(cls, op, 0, outcome->args, outcome->error, &outcome->reason);
      },
      [this, outcome, callback] {
        const QJSValue null(QJSValue::NullValue);
        callBack(callback,
                 {outcome->result ? host_.toScript(*outcome->result) : null,
                  outcome->result ? null : host_.errorObject(outcome->error, outcome->reason)});
      });
}

bool ScriptUi::saveInBackground(const QJSValue& parser, const QString& label,
                                const QJSValue& callback) {
  const QJSValue handleValue = parser.property("__handle");
  if (!handleValue.isNumber()) return false;
  const auto handle = static_cast<bridge::Handle>(handleValue.toUInt());
  BWFParser* object = host_.bridge().lend(handle);
  if (!object) return false;
  // Shown only when the save lasts; it has no Cancel, as a save is not stopped halfway.
  auto* dialog = new QProgressDialog(label, QString(), 0, 1000, window_);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setMinimumDuration(400);
  QPointer<QProgressDialog> shown(dialog);
  object->setSaveProgress([this, shown](uint64_t copied, uint64_t total) {
    const int permille = total == 0 ? 1000 : static_cast<int>(copied * 1000 / total);
    QMetaObject::invokeMethod(
        this,
        [shown, permille] {
          if (shown) shown->setValue(permille);
        },
        Qt::QueuedConnection);
  });
  auto saved = std::make_shared<bool>(false);
  runApart([object, saved] { *saved = object->saveFile(); },
           [=, this] {
             object->setSaveProgress({});
             host_.bridge().giveBack(handle);
             delete shown.data();
             callBack(callback, {QJSValue(*saved)});
           });
  return true;
}

void ScriptUi::reportError(const QString& text) {
  errors_ << text;
  std::fprintf(stderr, "bextkit-gui: %s\n", text.toLocal8Bit().constData());
  if (auto* window = qobject_cast<QMainWindow*>(window_)) {
    window->statusBar()->showMessage(tr("Script error: %1").arg(text));
  }
}

QJSValue ScriptUi::callBack(QJSValue callback, const QJSValueList& args,
                            const QJSValue& thisObject) {
  const QJSValue result = callback.callWithInstance(thisObject, args);
  if (!result.isError()) return result;
  // An error after exit() is the script being stopped, not a fault.
  if (!host_.engine().isInterrupted()) {
    reportError(ScriptHost::placeOf(result) + ": " + result.toString());
  }
  return {};
}

QJSValue ScriptUi::callBack(const QJSValue& callback, const QJSValue& thisObject,
                            const QJSValue& args) {
  QJSValueList list;
  const quint32 count = args.property("length").toUInt();
  for (quint32 i = 0; i < count; ++i) list << args.property(i);
  return callBack(callback, list, thisObject);
}

QStringList ScriptUi::openFiles(const QString& title) {
  return QFileDialog::getOpenFileNames(window_, title, QString(),
                                       tr("Broadcast Wave files (*.wav *.WAV *.bwf *.rf64);;"
                                          "All files (*)"));
}

void ScriptUi::message(const QString& text) {
  QMessageBox::warning(window_, window_ ? window_->windowTitle() : QString(), text);
}

bool ScriptUi::ask(const QString& text) {
  return QMessageBox::question(window_, window_ ? window_->windowTitle() : QString(), text) ==
         QMessageBox::Yes;
}

QJSValue ScriptUi::askText(const QString& label, const QString& text) {
  bool ok = false;
  const QString answer = QInputDialog::getText(
      window_, window_ ? window_->windowTitle() : QString(), label, QLineEdit::Normal, text, &ok);
  return ok ? QJSValue(answer) : QJSValue(QJSValue::NullValue);
}

void ScriptUi::onClose(QObject* window, const QJSValue& callback) {
  window->installEventFilter(this);
  closes_.emplace_back(window, callback);
}

void ScriptUi::setTable(QObject* view, const QStringList& headers, const QVariantList& rows) {
  auto* tree = qobject_cast<QTreeView*>(view);
  if (!tree) return;
  auto* model = new QStandardItemModel(0, static_cast<int>(headers.size()), tree);
  model->setHorizontalHeaderLabels(headers);
  for (const QVariant& row : rows) {
    QList<QStandardItem*> items;
    for (const QString& text : row.toStringList()) {
      auto* item = new QStandardItem(text);
      item->setEditable(false);
      items << item;
    }
    model->appendRow(items);
  }
  QAbstractItemModel* old = tree->model();
  tree->setModel(model);
  if (old && old->parent() == tree) old->deleteLater();
  tree->header()->resizeSections(QHeaderView::ResizeToContents);
}

int ScriptUi::selectedRow(QObject* view) const {
  const auto* tree = qobject_cast<QTreeView*>(view);
  if (!tree || !tree->selectionModel()) return -1;
  const QModelIndexList rows = tree->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ScriptUi::observe(const QString& name, QObject* sender, const QJSValue& callback) {
  NotificationCenter::defaultCenter().addObserver(
      this, name.toStdString(), sender,
      [this, callback](const Notification&) { callBack(callback); });
}

void ScriptUi::onDrop(QObject* widget, const QJSValue& callback) {
  auto* target = qobject_cast<QWidget*>(widget);
  if (!target) return;
  target->setAcceptDrops(true);
  target->installEventFilter(this);
  drops_.emplace_back(widget, callback);
}

void ScriptUi::setItems(QObject* widget, const QStringList& texts) {
  if (auto* list = qobject_cast<QListWidget*>(widget)) {
    const int row = list->currentRow();
    const QSignalBlocker quiet(list);  // the same row stays current: no change to tell
    list->clear();
    list->addItems(texts);
    list->setCurrentRow(std::min(row, static_cast<int>(texts.size()) - 1));
  } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
    box->clear();
    box->addItems(texts);
  }
}

void ScriptUi::later(const QJSValue& callback) {
  QTimer::singleShot(0, this, [this, callback] { callBack(callback); });
}

bool ScriptUi::grab(QObject* widget, const QString& path) const {
  auto* target = qobject_cast<QWidget*>(widget);
  return target && target->grab().save(path, "PNG");
}

void ScriptUi::useFixedFont(QObject* widget) {
  if (auto* target = qobject_cast<QWidget*>(widget)) {
    target->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  }
}

bool ScriptUi::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    for (auto& [window, callback] : closes_) {
      if (window != watched) continue;
      const QJSValue answer = callBack(callback);
      if (answer.isBool() && !answer.toBool()) {
        event->ignore();
        return true;
      }
    }
    return false;
  }
  if (event->type() == QEvent::DragEnter) {
    auto* enter = static_cast<QDragEnterEvent*>(event);
    if (enter->mimeData()->hasUrls()) enter->acceptProposedAction();
    return true;
  }
  if (event->type() == QEvent::Drop) {
    QStringList paths;
    for (const QUrl& url : static_cast<QDropEvent*>(event)->mimeData()->urls()) {
      if (url.isLocalFile()) paths << url.toLocalFile();
    }
    for (auto& [widget, callback] : drops_) {
      if (widget == watched) callBack(callback, {host_.engine().toScriptValue(paths)});
    }
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace bextkit
