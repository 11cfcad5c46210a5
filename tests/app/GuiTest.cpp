// The desktop application started as main starts it, with the built-in interface files and
// script layer and a test script that runs after them once the window is up; the script's
// exit status is the main loop's, and what it finds wrong it tells on the error stream. And the
// one error path of the script layer's callbacks.
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QJSEngine>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>
#include <functional>

#include "app/gui/ApplicationMain.h"
#include "app/gui/ScriptUi.h"
#include "app/host/ScriptHost.h"
#include "bwf/BWFParser.h"
#include "platform/NotificationCenter.h"

namespace {

const QString kSource = QStringLiteral(BEXTKIT_SOURCE_DIR);

// What is written to the error stream while it lives.
class ErrorStream {
 public:
  ErrorStream() {
    if (file_.open()) {
      std::fflush(stderr);
      saved_ = ::dup(2);
      ::dup2(file_.handle(), 2);
    }
  }
  ~ErrorStream() { restore(); }
  QString text() {
    restore();
    file_.seek(0);
    return QString::fromLocal8Bit(file_.readAll());
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  QTemporaryFile file_;
  int saved_ = -1;
};

// How a run of the application ended: its exit status, and what it wrote to the error stream.
struct Ran {
  int status;
  QString errors;
};

class Gui : public QObject {
  Q_OBJECT

  // Runs the application on `files` with the script layer and `test` (run last, once the
  // event loop has started), which ends with exit(0) or calls fail(why) (the sentence is told on
  // the error stream, and the application exits with 1).
  // With `asNobody`, a suite run by root runs the application as nobody (whom permissions bind).
  Ran run(const QStringList& files, const QString& test, const QString& broken = {},
          bool asNobody = false) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("ui");
    QDir(dir.path()).mkpath("scripts");
    for (const QString folder : {"ui", "scripts"}) {
      for (const QString& name : QDir(kSource + "/app/" + folder).entryList(QDir::Files)) {
        QFile::copy(kSource + "/app/" + folder + "/" + name, dir.filePath(folder + "/" + name));
      }
    }
    const auto write = [&](const QString& name, const QString& text) {
      QFile file(dir.filePath("scripts/" + name));
      return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    };
    if (!broken.isEmpty()) write("a-broken.js", broken);
    write("zz-test.js",
          "var told = []; function tell(text) { told.push(text); }\n"
          "function fail(why) { gui.reportError(why); exit(1); }\n"
          "gui.later(() => { " +
              test + " });\n");
    qputenv("BEXTKIT_GUI_SCRIPTS", dir.path().toUtf8());
    std::vector<QByteArray> words = {"bextkit-gui"};
    for (const QString& f : files) words.push_back(f.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const bool switchUser = asNobody && ::geteuid() == 0;
    if (switchUser) {
      for (const QString& d : {dir.path(), dir.filePath("ui"), dir.filePath("scripts")}) {
        ::chmod(QFile::encodeName(d).constData(), 0755);
      }
      QCoreApplication::setSetuidAllowed(true);
      if (::seteuid(65534) != 0) return {-1, "cannot run as nobody"};
    }
    ErrorStream errors;
    const int status = bextkit::applicationMain(static_cast<int>(words.size()), argv.data());
    if (switchUser && ::seteuid(0) != 0) return {-1, "cannot run as root again"};
    return {status, errors.text()};
  }

 private slots:
  void theHostComesFirst() {
    QCOMPARE(bextkit::applicationMain(0, nullptr), 70);
    bextkit::initializeScriptingHost();
  }

  void showsEditsAndSavesAFile() {
    QTemporaryDir dir;
    const QString take = dir.filePath("take.wav"), cut = dir.filePath("cut.wav");
    QVERIFY(QFile::copy(kSource + "/samples/tone-48k-24bit-bext.wav", take));
    QVERIFY(QFile::copy(take, cut));
    QFile(cut).resize(400);  // the bext chunk runs past the end: a save is refused
    const QString test = R"JS(
      show(0);
      const fields = [ui.formatValue.text, ui.descriptionEdit.text, ui.originatorEdit.text,
                      ui.timeReferenceValue.text, ui.timecodeEdit.text, ui.extensionValue.text];
      const want = ['extensible (PCM), 48000 Hz, 24 bits, 2 channels, channel mask 0x00000003 (blocks of 6 bytes)\n0.250 s (12000 sample frames, 72000 bytes of audio)', 'Line-up tone, 1 kHz at -18 dBFS', 'bextkit',
                    '172800000 samples since midnight', '01:00:00:00', 'version 1\nUMID none'];
      if (JSON.stringify(fields) !== JSON.stringify(want)) fail(`the fields show ${JSON.stringify(fields)}`);
      // The calculators count as SMPTE does.
      ui.calcRateBox.currentIndex = Smpte.rates().indexOf('29.97');
      ui.calcTimecodeEdit.text = '00:01:00;02';
      ui.footageEdit.text = '0771+09';
      const counted = [ui.calcFramesValue.text, ui.footageFramesValue.text].join();
      if (counted !== '1800,12345') fail(`the calculators count ${counted}`);
      // Another rate shows the timecode there, and edits nothing.
      ui.rateBox.currentIndex = Smpte.rates().indexOf('29.97');
      if (files.some(edited) || ui.timecodeEdit.text !== '01:00:00;00') {
        fail(`at 29.97 the timecode shows ${ui.timecodeEdit.text}, or a file counts as edited`);
      }
      ui.rateBox.currentIndex = Smpte.rates().indexOf('25');
      // The chain stands beside the directory: the LIST chunk is the chain's alone.
      const notes = JSON.stringify(chunkRows(shown.parser).map((row) => row[6]));
      if (notes !== JSON.stringify(['the form header', '', '', "not in the scan\u0027s directory; form 'INFO'", ''])) {
        fail(`the chunk notes are ${notes}`);
      }
      if (!chunkRows(files[1].parser).some((row) => row[6] === 'runs past the end of the file')) {
        fail('the cut file shows no chunk that runs past the end');
      }
      // The Checks tab holds the findings of the file on view, under the rule sets asked for,
      // checked off the main thread.
      const checked = (then) =>
          shown.checked.summary === 'Checking\u2026' ? gui.later(() => checked(then)) : then();
      ui.rulesEdit.text = 'r99';
      showFindings();
      if (ui.checkSummary.text !== 'Checking\u2026') fail(`the check starts with ${ui.checkSummary.text}`);
      checked(() => {
        if (findingRows.map((f) => f.code).join() !== 'originator-reference' ||
            !ui.findingDetail.text.includes('13 characters')) {
          fail(`r99 finds ${JSON.stringify(findingRows)}, detail ${ui.findingDetail.text}`);
        }
        ui.rulesEdit.text = 'nonsense';
        showFindings();
        checked(() => {
          if (!ui.checkSummary.text.startsWith('no rule set')) fail(`an unknown rule set shows ${ui.checkSummary.text}`);
          Object.assign(shown, { description: 'Scene 4', timecode: '10:00:00:00' });
          save((ok) => {
            show(1);
            Object.assign(shown, { description: 'Refused' });
            save(() => {
              if (!ok) fail('the save of the whole file failed');
              if (told.length !== 1 || !told[0].includes('runs past the end of the file')) {
                fail(`the refused save told ${JSON.stringify(told)}`);
              }
              exit(0);
            });
          });
          // The save runs off the main thread: its parser is lent until it ends.
          let busy = '';
          try { files[0].parser.description(); } catch (e) { busy = e.message; }
          if (!busy.includes('busy saving')) fail(`a parser being saved answers: ${busy}`);
        });
      });
    )JS";
    const Ran ran = run({take, cut}, test);
    QVERIFY2(ran.status == 0, qPrintable(ran.errors));
    auto saved = bextkit::BWFParser::initWithPath(take.toStdString());
    saved->parse();
    QCOMPARE(QString::fromStdString(saved->description()), QString("Scene 4"));
    QCOMPARE(saved->getSamplesSinceMidnightLow(), 1728000000u);
  }

  void aFileTheUserMayNotWriteIsRefusedAndKept() {
    QTemporaryDir dir;
    const QString take = dir.filePath("take.wav");
    QVERIFY(QFile::copy(kSource + "/samples/tone-48k-24bit-bext.wav", take));
    QFile::setPermissions(take, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const auto bytes = [&take] {
      QFile file(take);
      return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    const Ran ran = run({take},
                        "Object.assign(shown, { description: 'Not allowed' });"
                        "save((ok) => {"
                        "  if (ok || !edited(shown)) fail('the refused save counts as done');"
                        "  if (told.length !== 1 || !told[0].includes('take.wav') ||"
                        "      !told[0].includes('Permission denied')) {"
                        "    fail(`the refused save told ${JSON.stringify(told)}`);"
                        "  }"
                        "  exit(0);"
                        "});",
                        {}, true);
    QVERIFY2(ran.status == 0, qPrintable(ran.errors));
    QCOMPARE(bytes(), before);
  }

  void aBrokenScriptIsToldAndTheWindowOpens() {
    const Ran ran = run({},
                        "const told = gui.errors();"
                        "if (!ui.mainWindow.visible) fail('the window is not shown');"
                        "if (told.length !== 1 || !told[0].includes('a-broken.js:2: SyntaxError')) "
                        "  fail(`the errors are ${JSON.stringify(told)}`);"
                        "exit(0);",
                        "// broken\nthis is not JavaScript;\n");
    QVERIFY2(ran.status == 0, qPrintable(ran.errors));
    QVERIFY2(ran.errors.contains("a-broken.js:2: SyntaxError"), qPrintable(ran.errors));
  }

  // Every kind of callback that ends with an error has it told with its file and line, in the
  // window's status bar, on the error stream and among gui.errors().
  void everyCallbackErrorIsTold() {
    int argc = 1;
    char name[] = "gui_app_tests";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString take = dir.filePath("take.wav");
    QVERIFY(QFile::copy(kSource + "/samples/tone-48k-24bit-bext.wav", take));
    QMainWindow window;
    QWidget other;
    QPushButton button;
    QJSEngine engine;
    bextkit::ScriptHost host(engine);
    bextkit::ScriptUi gui(host, &window, {});
    for (const auto& [name, object] :
         {std::pair<const char*, QObject*>{"gui", &gui}, {"button", &button}, {"other", &other}}) {
      QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
      engine.globalObject().setProperty(name, engine.newQObject(object));
    }
    engine.globalObject().setProperty("take", take);
    QVERIFY(!engine.evaluate("var fail = (kind) => () => { throw new Error(kind); };", "fail.js")
                 .isError());
    QMimeData paths;
    paths.setUrls({QUrl::fromLocalFile(take)});
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &paths, Qt::LeftButton, Qt::NoModifier);
    const struct {
      const char* kind;
      const char* script;  // sets a callback of the kind that throws the kind's name
      std::function<void()> trigger;
    } kCallbacks[] = {
        {"signal", "button.clicked.connect(fail('signal'))", [&] { button.click(); }},
        {"notification", "gui.observe('bextkit.test', button, fail('notification'))",
         [&] { bextkit::NotificationCenter::defaultCenter().post("bextkit.test", &button); }},
        {"close", "gui.onClose(other, fail('close'))", [&] { other.close(); }},
        // A drop outside a drag reaches no widget: the filter hears it as it hears a real one.
        {"drop", "gui.onDrop(other, fail('drop'))",
         [&] { static_cast<QObject&>(gui).eventFilter(&other, &drop); }},
        {"timer", "gui.later(fail('timer'))", [] {}},
        {"call", "gui.callInBackground('Smpte', 'framesPerDay:', ['25'], fail('call'))", [] {}},
        {"save", "gui.saveInBackground(BWFParser['initWithPath:'](take), 'Saving', fail('save'))",
         [] {}},
    };
    ErrorStream errors;
    for (const auto& c : kCallbacks) {
      const QString told = QString("fail.js:1: Error: ") + c.kind;
      const QJSValue set = engine.evaluate(c.script);
      QVERIFY2(!set.isError(), qPrintable(set.toString()));
      c.trigger();
      QTRY_VERIFY2_WITH_TIMEOUT(gui.errors().contains(told), qPrintable(told), 60000);
      QCOMPARE(window.statusBar()->currentMessage(), "Script error: " + told);
    }
    QCOMPARE(gui.errors().size(), std::size(kCallbacks));
    const QString text = errors.text();
    for (const auto& c : kCallbacks) {
      QVERIFY2(text.contains(QString("bextkit-gui: fail.js:1: Error: ") + c.kind),
               qPrintable(text));
    }
  }
};

}  // namespace

QTEST_APPLESS_MAIN(Gui)
#include "GuiTest.moc"
