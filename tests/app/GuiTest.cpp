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
#include <QHeaderView>
#include <QJSEngine>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTreeView>
#include <QtTest>
#include <functional>

#include "Support.h"
#include "app/gui/ApplicationMain.h"
#include "app/gui/RowTable.h"
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

// The application object of a test that makes widgets of its own.
struct Widgets {
  int argc = 1;
  char name[14] = "gui_app_tests";
  char* argv[2] = {name, nullptr};
  QApplication application{argc, argv};
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
    write(
        "zz-test.js",
        "var told = []; function tell(text) { told.push(text); }\n"
        "function fail(why) { gui.reportError(why); exit(1); }\n"
        // A script error ends the run at once, where the test would wait forever.
        "var expectedErrors = gui.errors().length;\n"
        "(function watch() { if (gui.errors().length > expectedErrors) { "
        "expectedErrors = 1e9; fail('the run met a script error'); } else gui.later(watch); })();\n"
        "gui.later(() => { " +
            test + " });\n");
    qputenv("BEXTKIT_GUI_SCRIPTS", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());  // settings of this run alone
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

  // The table of a day's takes: every file a row with its values; a cell edited is saved and
  // read back by the library; an invalid cell is refused with the reason and blocks its file's
  // save alone; a batch value over twenty files saves them all and lists the one refused; a
  // typed timecode survives a change of rate and is saved as typed; an empty and a text file
  // are refused at open in one message.
  void editsManyFilesInTheTable() {
    QTemporaryDir dir;
    QStringList takes;
    for (int i = 1; i <= 20; ++i) {
      takes << dir.filePath(QString("day/T%1.WAV").arg(i, 3, 10, QChar('0')));
    }
    QDir(dir.path()).mkpath("day/sub");
    for (const QString& take : takes)
      QVERIFY(QFile::copy(kSource + "/samples/tone-48k-24bit-bext.wav", take));
    const QString cut = dir.filePath("day/sub/cut.wav");
    QVERIFY(QFile::copy(takes[0], cut));
    QFile(cut).resize(400);  // the bext chunk runs past the end: a save is refused
    QFile(dir.filePath("day/sub/empty.wav")).open(QIODevice::WriteOnly);
    QFile text(dir.filePath("day/sub/notes.wav"));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not audio") == 9);
    text.close();
    const QString test = R"JS(
      const waitFor = (ready, then) => (ready() ? then() : gui.later(() => waitFor(ready, then)));
      waitFor(() => files.length === 21 && told.length === 1, () => {
        if (!told[0].startsWith('2 file(s) cannot be opened') || !told[0].includes('empty.wav: not a WAV file: the file is empty') ||
            !told[0].includes('notes.wav: not a WAV file')) fail(`the refusal at open told ${told[0]}`);
        // A file open already is not opened again, by whatever name.
        openPaths([files[0].path, folderOf(files[0].path) + '/./T002.WAV'], (added, notes) => {
          if (added.length !== 0 || notes.length !== 2) fail(`opening again adds ${added.length}, notes ${notes}`);
          const first = files[0], col = (title) => columnOf(title);
          const row = rowOf(first).cells;
          const want = ['T001.WAV', '0.250 s', '25', '25 (default)', '01:00:00:00', '172800000', 'Line-up tone, 1 kHz at -18 dBFS', '1', ''];
          const got = [row[0], row[col('Duration')], row[col('Rate')], rowOf(first).shown[col('Rate')], row[col('Timecode')], row[col('Time reference')],
                       row[col('Description')], row[col('Version')], row[col('UMID')]];
          if (JSON.stringify(got) !== JSON.stringify(want)) fail(`the first row shows ${JSON.stringify(got)}`);
          if (gui.keysInOrder(ui.fileTable).length !== 21) fail('the table does not show every file');
          // A cell: taken, or refused with the reason and held (never cut), blocking that file alone.
          if (cellEdited(first.key, col('Originator'), 'Sound dept') !== '') fail('a good originator is refused');
          const long = 'x'.repeat(300);
          const why = cellEdited(files[1].key, col('Description'), long);
          if (!why.includes('Description') || fieldText(files[1], 'Description') !== long || statusOf(files[1]).tone !== 'error') {
            fail(`a 300-byte description gives "${why}", shows ${fieldText(files[1], 'Description').length} bytes`);
          }
          if (!cellEdited(files[2].key, col('Origination date'), '2026-02-30').includes('date')) fail('an impossible date is taken');
          cellEdited(files[2].key, col('Origination date'), '2026-02-28');  // mended
          // A typed timecode is bound to its rate: another rate converts it, and it saves as typed.
          cellEdited(files[3].key, col('Timecode'), '10:00:00:00');
          setRate([files[3]], '29.97');
          const t = timecodeOf(files[3]);
          if (t.label !== '10:00:00;01' || t.typed !== 'typed 10:00:00:00 at 25') fail(`at 29.97 the edit shows ${JSON.stringify(t)}`);
          // A batch: {n} and {name} for every file, the cut one refused at its save.
          applyValue(files.slice(4), 'OriginatorReference', 'REF{n}-{name}');
          if (fieldText(files[4], 'OriginatorReference') !== 'REF1-T005') fail('the pattern gives ' + fieldText(files[4], 'OriginatorReference'));
          save(files, (ok) => {
            if (ok || told.length !== 2 || !told[1].startsWith('2 of 21 file(s) are not saved') ||
                !told[1].includes('T002.WAV: Description') || !told[1].includes('cut.wav')) {
              fail(`the batch save told ${JSON.stringify(told)}`);
            }
            if (edited(files[0]) || !statusOf(files[0]).text.startsWith('saved') || !edited(files[1])) {
              fail(`after the save: ${statusOf(files[0]).text} / ${statusOf(files[1]).text}`);
            }
            exit(0);
          });
        });
      });
    )JS";
    const Ran ran = run({dir.filePath("day")}, test);
    QVERIFY2(ran.status == 0, qPrintable(ran.errors));
    const auto saved = [](const QString& path) {
      auto parser = bextkit::BWFParser::initWithPath(path.toStdString());
      parser->parse();
      return parser;
    };
    QCOMPARE(QString::fromStdString(saved(takes[0])->originator()), QString("Sound dept"));
    QCOMPARE(QString::fromStdString(saved(takes[1])->description()),
             QString("Line-up tone, 1 kHz at -18 dBFS"));
    QCOMPARE(QString::fromStdString(saved(takes[2])->creationdate()), QString("2026-02-28"));
    QCOMPARE(saved(takes[3])->getSamplesSinceMidnightLow(), 1728000000u);
    for (int i = 4; i < 20; ++i) {
      QCOMPARE(QString::fromStdString(saved(takes[i])->originatorReference()),
               QString("REF%1-T%2").arg(i - 3).arg(i + 1, 3, 10, QChar('0')));
    }
  }

  // The tabs of the file on view: the chunk chain beside the scan's directory, with the form's
  // real size and where the fields come from; the findings under the rule sets asked for,
  // checked off the main thread; and what unsaved edits meet on Close: Save, Discard or Cancel,
  // Cancel the default.
  void showsTheFileOnViewAndAsksBeforeDroppingEdits() {
    QTemporaryDir dir;
    const QString take = dir.filePath("take.wav"), rifx = dir.filePath("rifx.wav");
    QVERIFY(QFile::copy(kSource + "/samples/tone-48k-24bit-bext.wav", take));
    const bextkit::testsupport::Bytes bytes =
        bextkit::testsupport::RiffBuilder(bextkit::testsupport::ByteOrder::kBig)
            .riffHeader()
            .fmt(1, 1, 48000, 16)
            .chunk("data", bextkit::testsupport::Bytes(4, 0))
            .bytes();
    QFile big(rifx);
    QVERIFY(big.open(QIODevice::WriteOnly) &&
            big.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
                qint64(bytes.size()));
    big.close();
    const QString test = R"JS(
      const waitFor = (ready, then) => (ready() ? then() : gui.later(() => waitFor(ready, then)));
      waitFor(() => files.length === 2, () => {
        gui.selectKeys(ui.fileTable, [files[0].key]);
        if (shown !== files[0] || ui.descriptionEdit.plainText !== 'Line-up tone, 1 kHz at -18 dBFS') fail('the first file is not on view');
        const notes = JSON.stringify(chunkRows(shown.parser).map((row) => row[6]));
        if (notes !== JSON.stringify(['the form header', 'the format comes from here', 'the bext fields come from here',
                                      "form 'INFO'; not in the scan\u0027s directory", ''])) {
          fail(`the chunk notes are ${notes}`);
        }
        if (chunkRows(shown.parser)[0][5] !== '72750') fail(`the form's size shows ${chunkRows(shown.parser)[0][5]}`);
        // In a RIFX file, the scan lists the form type: it is the form header, of its real size.
        const big = JSON.stringify(chunkRows(files[1].parser)[0]);
        if (big !== JSON.stringify(["'RIFX' 'WAVE'", '1', '8', '', '0', '40', 'the form header (the scan lists its form type)'])) {
          fail(`the RIFX form shows ${big}`);
        }
        ui.rulesEdit.text = 'r99';
        showFindings();
        waitFor(() => shown.checked.summary !== 'Checking\u2026', () => {
          if (findingRows.map((f) => f.code).join() !== 'originator-reference' || !ui.findingDetail.text.includes('13 characters')) {
            fail(`r99 finds ${JSON.stringify(findingRows)}, detail ${ui.findingDetail.text}`);
          }
          // The table as export writes it, and a table imported after its changes are shown.
          exportTable(csv, (exported) => {
            const asked = [];
            choose = (text, details) => { asked.push(details); return 'Import'; };
            importTable(table, (imported) => {
              if (!exported || !imported || !asked[0].includes('Description: "Line-up tone, 1 kHz at -18 dBFS" -> "Imported"') ||
                  fieldText(files[0], 'Description') !== 'Imported') {
                fail(`export ${exported}, import ${imported} after asking ${JSON.stringify(asked)}`);
              }
              closing();
            });
          });
        });
      });
      function closing() {
          // Edits typed in the fields; Close asks, Cancel keeps them.
          ui.originatorEdit.text = 'Typed';
          ui.originatorEdit.textEdited('Typed');
          if (ui.mainWindow.windowTitle !== 'take.wav[*] \u2014 bextkit' || !ui.mainWindow.windowModified) {
            fail(`the title is ${ui.mainWindow.windowTitle}`);
          }
          const asked = [];
          choose = (text, details, buttons, safe) => { asked.push([text, details, buttons, safe]); return safe; };
          closeFiles([shown]);
          if (files.length !== 2 || asked.length !== 1 || !asked[0][1].endsWith('take.wav') ||
              JSON.stringify(asked[0].slice(2)) !== JSON.stringify([['Save', 'Discard', 'Cancel'], 'Cancel'])) {
            fail(`Close asked ${JSON.stringify(asked)}`);
          }
          choose = () => 'Discard';
          closeFiles([files[0]]);
          if (files.length !== 1 || shown !== files[0]) fail('Discard does not close the file');
          exit(0);
      }
    )JS";
    const QString csv = dir.filePath("export.csv"), table = dir.filePath("import.csv");
    QFile import(table);
    QVERIFY(import.open(QIODevice::WriteOnly) &&
            import.write("FileName,Description\ntake.wav,Imported\n") > 0);
    import.close();
    const Ran ran =
        run({take, rifx}, "const csv = '" + csv + "', table = '" + table + "';\n" + test);
    QVERIFY2(ran.status == 0, qPrintable(ran.errors));
    QFile exported(csv);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const QByteArray text = exported.readAll();
    QVERIFY(text.startsWith("FileName,Description,Originator,"));
    QVERIFY(
        text.contains(("\r\n" + take + ",\"Line-up tone, 1 kHz at -18 dBFS\",bextkit,").toUtf8()));
    QVERIFY(text.contains(("\r\n" + rifx + ",").toUtf8()));
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
                        "const wait = () => files.length ? go() : gui.later(wait); wait();"
                        "function go() {"
                        "  setField(files[0], 'Description', 'Not allowed');"
                        "  save(files, (ok) => {"
                        "    if (ok || !edited(files[0])) fail('the refused save counts as done');"
                        "    if (told.length !== 1 || !told[0].includes('take.wav') ||"
                        "        !told[0].includes('Permission denied')) {"
                        "      fail(`the refused save told ${JSON.stringify(told)}`);"
                        "    }"
                        "    exit(0);"
                        "  });"
                        "}",
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
    Widgets widgets;
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

  // What keeps a user's typing safe below the scripts: a cell's edit goes to the script, which
  // may refuse it (the row stays as it was); cells sort by the numbers they begin with; files
  // dropped on a text field inside the window are opened, not pasted; a question about unsaved
  // edits answers Cancel to Enter and Escape.
  void theWidgetsKeepTypingSafe() {
    Widgets widgets;
    QTreeView view;
    bextkit::RowTable* table = bextkit::showRowTable(
        &view,
        {{"Duration", bextkit::RowTable::Edit::kNone}, {"Date", bextkit::RowTable::Edit::kLine}},
        "testColumns");
    table->setRows({{1, {"10.000 s", "2026-01-01"}, {"/day/T1.WAV"}, {}},
                    {2, {"9.500 s", "2026-01-02"}, {}, {}},
                    {3, {"8.000 s", "2026-01-03"}, {}, {}}});
    QCOMPARE(table->data(table->index(0, 0), Qt::ToolTipRole).toString(), QString("/day/T1.WAV"));
    // A row closed: the others are still found by their keys.
    table->removeRow(1);
    table->setRows(
        {{3, {"8.000 s", "2026-01-09"}, {}, {}}, {1, {"10.000 s", "2026-01-01"}, {}, {}}});
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->keyAt(1), 3);
    QCOMPARE(table->index(1, 1).data().toString(), QString("2026-01-09"));
    QStringList asked;
    table->editor = [&](int key, int column, const QString& text) {
      asked << QString("%1/%2/%3").arg(key).arg(column).arg(text);
      return text.contains('x') ? QString("Date: no date") : QString();
    };
    QAbstractItemModel* model = view.model();
    QVERIFY(!model->setData(model->index(2, 1), "2026-0x-01"));
    QCOMPARE(table->lastRefusal(), QString("Date: no date"));
    QCOMPARE(model->index(2, 1).data().toString(), QString("2026-01-01"));
    QVERIFY(model->setData(model->index(2, 1), "2026-03-01"));
    QCOMPARE(asked, QStringList({"1/1/2026-0x-01", "1/1/2026-03-01"}));
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    // A click on a header sorts by the numbers the cells begin with.
    view.resize(400, 200);
    view.show();
    QTest::mouseClick(view.header()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(model->index(0, 0).data().toString(), QString("8.000 s"));
    QTest::mouseClick(view.header()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(model->index(0, 0).data().toString(), QString("10.000 s"));

    QJSEngine engine;
    bextkit::ScriptHost host(engine);
    QMainWindow window;
    auto* field = new QLineEdit(&window);
    window.setCentralWidget(field);
    bextkit::ScriptUi gui(host, &window, {});
    engine.globalObject().setProperty("gui", engine.newQObject(&gui));
    engine.globalObject().setProperty("window", engine.newQObject(&window));
    QVERIFY(
        !engine.evaluate("var dropped = []; gui.onDrop(window, (paths) => dropped.push(...paths));")
             .isError());
    // Only a live parser object can be saved.
    QVERIFY(!engine.evaluate("gui.saveInBackground({}, 'Saving', () => {})").toBool());
    QMimeData paths;
    paths.setUrls({QUrl::fromLocalFile("/tmp/take.wav")});
    paths.setText("file:///tmp/take.wav");
    // As a drag does: entering the field, then the drop.
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &paths, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &paths, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &drop);
    QCOMPARE(engine.evaluate("dropped.join()").toString(), QString("/tmp/take.wav"));
    QCOMPARE(field->text(), QString());

    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      QString defaultButton;
      QTimer::singleShot(0, [&defaultButton, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, key);
      });
      QCOMPARE(gui.choose("Unsaved edits", "take.wav", {"Save", "Discard", "Cancel"}, "Cancel"),
               QString("Cancel"));
      QCOMPARE(defaultButton, QString("Cancel"));
    }
  }
};

}  // namespace

QTEST_APPLESS_MAIN(Gui)
#include "GuiTest.moc"
