// The desktop application started as main starts it, with the built-in interface files and
// script layer and a test script that runs after them once the window is up; the script's
// exit status is the main loop's.
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/gui/ApplicationMain.h"
#include "bwf/BWFParser.h"

namespace {

const QString kSource = QStringLiteral(BEXTKIT_SOURCE_DIR);

class Gui : public QObject {
  Q_OBJECT

  // Runs the application on `files` with the script layer and `test` (run last, once the
  // event loop has started); the exit status.
  // With `asNobody`, a suite run by root runs the application as nobody (whom permissions bind).
  int run(const QStringList& files, const QString& test, const QString& broken = {},
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
      if (::seteuid(65534) != 0) return -1;
    }
    const int status = bextkit::applicationMain(static_cast<int>(words.size()), argv.data());
    if (switchUser && ::seteuid(0) != 0) return -1;
    return status;
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
      if (JSON.stringify(fields) !== JSON.stringify(want)) exit(2);
      // The calculators count as SMPTE does.
      ui.calcRateBox.currentIndex = Smpte.rates().indexOf('29.97');
      ui.calcTimecodeEdit.text = '00:01:00;02';
      ui.footageEdit.text = '0771+09';
      if ([ui.calcFramesValue.text, ui.footageFramesValue.text].join() !== '1800,12345') exit(5);
      // Another rate shows the timecode there, and edits nothing.
      ui.rateBox.currentIndex = Smpte.rates().indexOf('29.97');
      if (files.some(edited) || ui.timecodeEdit.text !== '01:00:00;00') exit(4);
      ui.rateBox.currentIndex = Smpte.rates().indexOf('25');
      // The chain stands beside the directory: the LIST chunk is the chain's alone.
      const notes = chunkRows(shown.parser).map((row) => row[6]);
      if (JSON.stringify(notes) !== JSON.stringify(['the form header', '', '', "not in the scan\u0027s directory; form 'INFO'", ''])) exit(9);
      if (!chunkRows(files[1].parser).some((row) => row[6] === 'runs past the end of the file')) exit(10);
      // The Checks tab holds the findings of the file on view, under the rule sets asked for,
      // checked off the main thread.
      const checked = (then) =>
          shown.checked.summary === 'Checking\u2026' ? gui.later(() => checked(then)) : then();
      ui.rulesEdit.text = 'r99';
      showFindings();
      if (ui.checkSummary.text !== 'Checking\u2026') exit(13);
      checked(() => {
        if (findingRows.map((f) => f[1]).join() !== 'originator-reference' ||
            !ui.findingDetail.text.includes('13 characters')) exit(11);
        ui.rulesEdit.text = 'nonsense';
        showFindings();
        checked(() => {
          if (!ui.checkSummary.text.includes('no rule set')) exit(12);
          Object.assign(shown, { description: 'Scene 4', timecode: '10:00:00:00' });
          save((ok) => {
            show(1);
            Object.assign(shown, { description: 'Refused' });
            save(() => exit(ok && told.length === 1 && told[0].includes('runs past the end of the file') ? 0 : 3));
          });
          // The save runs off the main thread: its parser is lent until it ends.
          let busy = '';
          try { files[0].parser.description(); } catch (e) { busy = e.message; }
          if (!busy.includes('busy saving')) exit(7);
        });
      });
    )JS";
    QCOMPARE(run({take, cut}, test), 0);
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
    QCOMPARE(
        run({take},
            "Object.assign(shown, { description: 'Not allowed' });"
            "save((ok) => exit(!ok && told.length === 1 && told[0].includes('take.wav') &&"
            "                  told[0].includes('Permission denied') && edited(shown) ? 0 : 3));",
            {}, true),
        0);
    QCOMPARE(bytes(), before);
  }

  void aBrokenScriptIsToldAndTheWindowOpens() {
    QCOMPARE(run({},
                 "const told = gui.errors();"
                 "exit(ui.mainWindow.visible && told.length === 1 && "
                 "/a-broken\\.js:2: SyntaxError/.test(told[0]) ? 5 : 6);",
                 "// broken\nthis is not JavaScript;\n"),
             5);
  }
};

}  // namespace

QTEST_APPLESS_MAIN(Gui)
#include "GuiTest.moc"
