#include "app/gui/ApplicationMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJSEngine>
#include <QMainWindow>
#include <QMessageBox>
#include <QScopeGuard>
#include <QStatusBar>
#include <QUiLoader>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/customOutlineView.h"
#include "app/gui/ScriptUi.h"
#include "app/host/ScriptHost.h"
#include "platform/SystemLog.h"

// The interface files and scripts built in (gui.qrc); the macro must stand outside a namespace.
static void initializeBuiltInResources() { Q_INIT_RESOURCE(gui); }

namespace bextkit {

namespace {

bool scriptingHostUp = false;
constexpr int kCannotStart = 70;

// Creates the system's own views by their class names in interface files.
class UiLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    if (className != QLatin1String("customOutlineView")) {
      return QUiLoader::createWidget(className, parent, name);
    }
    auto* view = new customOutlineView(parent);
    view->setObjectName(name);
    return view;
  }
};

void report(const QString& text) {
  std::fprintf(stderr, "bextkit-gui: %s\n", text.toLocal8Bit().constData());
}

// Why the application cannot start, told on the error stream and in a window, for a user who
// started it from a desktop and sees no error stream.
int cannotStart(const QString& text) {
  report(text);
  QMessageBox::critical(nullptr, QStringLiteral("bextkit"),
                        QObject::tr("bextkit cannot start: %1").arg(text));
  return kCannotStart;
}

// The files of a kind in the script folder, or among the built-in resources, by name.
QStringList filesIn(const QString& base, const QString& folder, const QString& pattern) {
  const QDir dir(base + "/" + folder);
  QStringList paths;
  for (const QString& name : dir.entryList({pattern}, QDir::Files, QDir::Name)) {
    paths << dir.filePath(name);
  }
  return paths;
}

}  // namespace

void initializeScriptingHost() { scriptingHostUp = true; }

int applicationMain(int argc, char** argv) {
  if (!scriptingHostUp) {
    report("the scripting host must be brought up before the main loop");
    return kCannotStart;
  }
  initializeBuiltInResources();
  QApplication application(argc, argv);
  // The scan's progress messages are for whoever debugs a scan, not for the window's user.
  const LogSink previousLog = silenceLog();
  const auto restoreLog = qScopeGuard([&] { setLogSink(previousLog); });
  QApplication::setApplicationName("bextkit");
  QApplication::setOrganizationName("bextkit");
  QApplication::setApplicationVersion(BEXTKIT_VERSION);
  const QString folder = qEnvironmentVariable("BEXTKIT_GUI_SCRIPTS");
  const QString base = folder.isEmpty() ? QStringLiteral(":") : folder;
  if (!folder.isEmpty() && !QDir(folder).exists()) {
    return cannotStart(QObject::tr("the script folder %1, named by BEXTKIT_GUI_SCRIPTS, does not "
                                   "exist; unset the variable to use the built-in scripts")
                           .arg(folder));
  }

  UiLoader loader;
  std::vector<std::unique_ptr<QWidget>> forms;
  QMainWindow* window = nullptr;
  for (const QString& path : filesIn(base, "ui", "*.ui")) {
    QFile file(path);
    std::unique_ptr<QWidget> form(file.open(QIODevice::ReadOnly) ? loader.load(&file) : nullptr);
    if (!form) {
      report(path + ": " + (file.error() ? file.errorString() : loader.errorString()));
      continue;
    }
    if (!window) window = qobject_cast<QMainWindow*>(form.get());
    forms.push_back(std::move(form));
  }
  if (!window) return cannotStart("no main window among the interface files in " + base + "/ui");
  // Objects that have awakeFromNib are woken once all interface files are loaded.
  for (const auto& form : forms) {
    QList<QObject*> objects = form->findChildren<QObject*>();
    objects.prepend(form.get());
    for (QObject* object : objects) {
      if (object->metaObject()->indexOfMethod("awakeFromNib()") >= 0) {
        QMetaObject::invokeMethod(object, "awakeFromNib");
      }
    }
  }

  QJSEngine engine;
  ScriptHost host(engine);
  ScriptUi gui(host, window, QApplication::arguments().mid(1));
  QJSValue ui = engine.newObject();
  for (const auto& form : forms) {
    QList<QObject*> objects = form->findChildren<QObject*>();
    objects.prepend(form.get());
    for (QObject* object : objects) {
      if (object->objectName().isEmpty() || object->objectName().startsWith("qt_")) continue;
      QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
      ui.setProperty(object->objectName(), engine.newQObject(object));
    }
  }
  engine.globalObject().setProperty("ui", ui);
  engine.globalObject().setProperty("gui", engine.newQObject(&gui));
  // A broken script is told with its file and line; the window opens all the same.
  for (const QString& path : filesIn(base, "scripts", "*.js")) {
    QString error;
    if (host.runFile(path, error) != ScriptHost::Run::kRan) gui.reportError(error);
    if (host.exitStatus()) return *host.exitStatus();
  }
  window->show();
  return QApplication::exec();
}

}  // namespace bextkit
