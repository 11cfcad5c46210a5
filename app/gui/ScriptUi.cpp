#include "app/gui/ScriptUi.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
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
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
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

// Hears drags over every widget of the application, so that files dropped on a field of a window
// that opens dropped files are opened, not pasted into the field as their names.
class DropRelay : public QObject {
 public:
  using Handler = std::function<bool(QWidget*, QEvent*)>;
  DropRelay(Handler handler, QObject* parent) : QObject(parent), handler_(std::move(handler)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (watched->isWidgetType() &&
        (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
      return handler_(static_cast<QWidget*>(watched), event);
    }
    return false;
  }

 private:
  Handler handler_;
};

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

void ScriptUi::reportError(const QString& text) {
  errors_ << text;
  std::fprintf(stderr, "bextkit-gui: %s\n", text.toLocal8Bit().constData());
  if (auto* window = qobject_cast<QMainWindow*>(window_)) {
    window->statusBar()->showMessage(tr("Script error: %1").arg(text));
  }
  // The log of errors stands open beside the window, so that an action that failed is not
  // mistaken for one that did nothing.
  if (!window_) return;
  if (!errorLog_) errorLog_ = textDialog(tr("Script errors"), QString());
  errorLog_->appendPlainText(text);
  errorLog_->window()->show();
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
  return QFileDialog::getOpenFileNames(window_, title, setting("lastFolder", {}).toString(),
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

QString ScriptUi::openFolder(const QString& title) {
  return QFileDialog::getExistingDirectory(window_, title, setting("lastFolder", {}).toString());
}

QString ScriptUi::pickFile(const QString& title, const QString& filter, bool save) {
  const QString folder = setting("lastFolder", {}).toString();
  return save ? QFileDialog::getSaveFileName(window_, title, folder, filter)
              : QFileDialog::getOpenFileName(window_, title, folder, filter);
}

QString ScriptUi::choose(const QString& text, const QString& details, const QStringList& buttons,
                         const QString& safe) {
  QMessageBox box(QMessageBox::Question, window_ ? window_->windowTitle() : QString(), text,
                  QMessageBox::NoButton, window_);
  // A long list (an import's changes) is cut short in the question and shown whole on demand.
  const QStringList lines = details.split(QLatin1Char('\n'));
  constexpr int kShown = 12;
  if (lines.size() <= kShown) {
    box.setInformativeText(details);
  } else {
    box.setInformativeText(
        lines.mid(0, kShown).join(QLatin1Char('\n')) + QLatin1Char('\n') +
        tr("\u2026 and %1 more lines (Show Details)").arg(lines.size() - kShown));
    box.setDetailedText(details);
  }
  QAbstractButton* escape = nullptr;
  for (const QString& label : buttons) {
    QPushButton* button =
        box.addButton(label, label == safe ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    if (label == safe) {
      box.setDefaultButton(button);
      escape = button;
    }
  }
  box.setEscapeButton(escape);
  box.exec();
  return box.clickedButton() ? box.clickedButton()->text() : safe;
}

void ScriptUi::showText(const QString& title, const QString& text) { textDialog(title, text); }

QPlainTextEdit* ScriptUi::textDialog(const QString& title, const QString& text) {
  auto* dialog = new QDialog(window_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(title);
  auto* layout = new QVBoxLayout(dialog);
  auto* view = new QPlainTextEdit(text, dialog);
  view->setReadOnly(true);
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  layout->addWidget(buttons);
  dialog->resize(560, 360);
  dialog->show();
  return view;
}

void ScriptUi::onShortcut(QObject* widget, const QString& keys, const QJSValue& callback) {
  auto* target = qobject_cast<QWidget*>(widget);
  if (!target) return;
  auto* shortcut = new QShortcut(QKeySequence(keys), target);
  connect(shortcut, &QShortcut::activated, this, [this, callback] { callBack(callback); });
}

void ScriptUi::copyText(const QString& text) { QApplication::clipboard()->setText(text); }

QVariant ScriptUi::setting(const QString& key, const QVariant& fallback) const {
  return QSettings().value(key, fallback);
}

void ScriptUi::setSetting(const QString& key, const QVariant& value) {
  QSettings().setValue(key, value);
}

void ScriptUi::keepGeometry(QObject* widget, const QString& key) {
  auto* target = qobject_cast<QWidget*>(widget);
  if (!target) return;
  target->installEventFilter(this);
  const QByteArray geometry = QSettings().value(key).toByteArray();
  if (!geometry.isEmpty()) target->restoreGeometry(geometry);
  geometries_.emplace_back(target, key);
}

QString ScriptUi::version() const { return QApplication::applicationVersion(); }

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
  if (dropRelay_) return;
  // A drop on a widget inside a target (a text field that would paste the files' names) is
  // the target's: the relay takes it before the widget does.
  dropRelay_ = new DropRelay(
      [this](QWidget* inside, QEvent* event) {
        const auto* drag = static_cast<QDropEvent*>(event);
        if (!drag->mimeData()->hasUrls()) return false;
        for (auto& [widget, callback] : drops_) {
          auto* target = qobject_cast<QWidget*>(widget);
          if (target && target != inside && target->isAncestorOf(inside)) {
            return eventFilter(widget, event);
          }
        }
        return false;
      },
      this);
  qApp->installEventFilter(dropRelay_);
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
  if (!widget) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(path, "PNG");
  }
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
    for (const auto& [widget, key] : geometries_) {
      if (widget == watched) QSettings().setValue(key, widget->saveGeometry());
    }
    return false;
  }
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (drag->mimeData()->hasUrls()) drag->acceptProposedAction();
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
