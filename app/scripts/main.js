// The main window: open Broadcast Wave files (menu, dialog, drop, command line), show their
// format, broadcast extension fields and time reference as SMPTE timecode at the chosen rate,
// edit the description, originator and timecode, save and revert. The Chunks and Checks tabs
// are chunks.js and checks.js, loaded before this file.
// The window's state, global (var) so that every script of the window can reach it.
var files = [];  // { path, parser, and the texts its fields show }
var shown = null;  // the file on view
var filling = false;  // fields being filled from a file, not edited by the user
var saving = false;  // a save is under way

const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);
// Tells the user something went wrong, naming the file and the reason.
function tell(text) { gui.message(text); }
const rate = () => ui.rateBox.currentText;

// Edited: a field differs from what the file held when it was read (the timecode at the rate
// chosen then or since).
function edited(file) {
  if (!file) return false;
  const o = file.original;
  return file.description !== o.description || file.originator !== o.originator ||
         file.timecode !== o.timecode;
}

function listFiles() {
  gui.setItems(ui.fileList, files.map((f) => (edited(f) ? '\u2022 ' : '') + baseName(f.path)));
  ui.mainWindow.windowModified = files.some(edited);
}

function open(path) {
  const parser = BWFParser['initWithPath:'](path);
  if (parser === null) {
    tell(`${path} cannot be opened: it is missing, unreadable or not a regular file.`);
    return null;
  }
  parser.parse();
  // The rate the file states (iXML, a speed line in the description), which the window counts
  // its timecode at while it is on view.
  const file = { path, parser, stated: Smpte['statedRateOfParser:'](parser) };
  takeFields(file);
  return file;
}

// What the fields show before any edit: the file's own values.
function takeFields(file) {
  file.original = {
    description: file.parser.description(),
    originator: file.parser.originator(),
    timecode: Smpte['timecodeOfParser:rate:'](file.parser, rate()),
  };
  Object.assign(file, file.original);
}

function openPaths(paths) {
  for (const path of paths) {
    const file = open(path);
    if (file) files.push(file);
  }
  listFiles();
  if (files.length) {
    ui.fileList.currentRow = files.length - 1;
    show(files.length - 1);
  }
}

function show(index) {
  const next = files[index] || null;
  if (next && next.stated.rate && next.stated.rate !== rate()) {
    shown = next;
    // Counting at the file's own rate shows it again (the rate box's handler).
    ui.rateBox.currentIndex = Smpte.rates().indexOf(next.stated.rate);
    const where = next.stated.source === 'iXML' ? 'iXML' : 'the description';
    ui.statusbar.showMessage(`Timecode at ${next.stated.rate}, the rate stated in ${where}` +
                             (next.stated.note ? ` (${next.stated.note})` : ''), 8000);
    return;
  }
  shown = next;
  filling = true;
  const p = shown && shown.parser;
  const bext = p ? p.bextRecord() : null;  // null for a file without a bext chunk
  const audio = p ? p.formatRecord() : null;
  ui.formatValue.text = audio ? `${audio.summary}\n${audio.duration}` : '';
  ui.descriptionEdit.text = shown ? shown.description : '';
  ui.originatorEdit.text = shown ? shown.originator : '';
  ui.referenceValue.text = bext ? p.originatorReference() : '';
  ui.originationValue.text = bext ? `${p.creationdate()} ${p.creationtime()}` : '';
  ui.timeReferenceValue.text = !p ? '' : !bext ? 'none: the file has no bext chunk (Save adds one)'
      : bext.TimeReference === null ? 'none: the chunk ends before it'
      : `${bext.TimeReference} samples since midnight`;
  ui.timecodeEdit.text = shown ? shown.timecode : '';
  ui.extensionValue.text = bext ? extensionOf(bext) : '';
  ui.codesValue.text = shown ? codesOf(shown.path) : '';
  ui.codingHistoryValue.setPlainText(bext && bext.CodingHistory !== null ? bext.CodingHistory : '');
  showChunks(p);
  ui.mainWindow.windowTitle = shown ? `${baseName(shown.path)}[*] \u2014 bextkit` : 'bextkit[*]';
  for (const w of [ui.descriptionEdit, ui.originatorEdit, ui.timecodeEdit, ui.saveButton, ui.revertButton]) {
    w.enabled = shown !== null;
  }
  filling = false;
  showFindings(false);
}

// "version 2", "UMID 060A2B34...", "loudness -23.00 LUFS, ..." on lines: the fields of the bext
// chunk that have no place of their own in the window; the loudness values where the chunk
// holds them (version 2 and later), "none" for one not measured.
function extensionOf(bext) {
  if (bext.Version === null) return 'none: the chunk ends before the version';
  let text = `version ${bext.Version}\nUMID ${bext.UMID === null ? 'none' : bext.UMID}`;
  const names = Object.keys(bext.Units);  // the loudness fields, in their order
  if (names.some((name) => bext[name] !== null)) {
    const labels = ['loudness', 'range', 'true peak', 'momentary max', 'short-term max'];
    const value = (name) => typeof bext[name] === 'number' ? `${bext[name].toFixed(2)} ${bext.Units[name]}` : 'none';
    text += '\n' + names.map((name, i) => `${labels[i]} ${value(name)}`).join(', ');
  }
  return text;
}

// "'WAVE' / 'bext'": the file's type and creator codes ('' for none), or "none".
function codesOf(path) {
  const { type, creator } = FileManager['codesAtPath:'](path);
  return type === null && creator === null ? 'none (Tools > Set type and creator codes)'
                                           : `'${type || ''}' / '${creator || ''}'`;
}

function setCodes() {
  if (!shown) return;
  const codes = FileManager['codesAtPath:'](shown.path);
  const type = gui.askText('Type code (four characters):', codes.type || '');
  if (type === null) return;
  const creator = gui.askText('Creator code (four characters):', codes.creator || '');
  if (creator === null) return;
  if (!FileManager['setTypeCode:atPath:'](type, shown.path) ||
      !FileManager['setCreatorCode:atPath:'](creator, shown.path)) {
    tell(`${shown.path}: the codes are not set: a code is four bytes, and the file must be a ` +
         'regular file on a file system that keeps extended attributes.');
  }
  ui.codesValue.text = codesOf(shown.path);
}

function fieldEdited() {
  if (filling || !shown) return;
  shown.description = ui.descriptionEdit.text;
  shown.originator = ui.originatorEdit.text;
  shown.timecode = ui.timecodeEdit.text;
  listFiles();
}

// Saves the file on view off the main thread; the window stays responsive, with its fields held
// still until the save ends. `then(ok)`, when given, runs after.
function save(then) {
  if (!shown || saving) return;
  const file = shown, p = file.parser;
  // The fields go through the edit layer that set and import use: what a check calls an error
  // is refused with the reason, and nothing is saved.
  const refused = p['setFields:']({ Description: file.description, Originator: file.originator });
  if (refused !== '') {
    tell(`${file.path} is not saved:\n${refused}`);
    if (then) then(false);
    return;
  }
  if (file.timecode !== file.original.timecode) {
    try {
      Smpte['setTimecodeOfParser:label:rate:'](p, file.timecode, rate());
    } catch (e) {
      if (e.reason === undefined) throw e;  // not a refusal of the label: a fault of the script
      tell(`${file.path}: the timecode is not saved: ${e.reason}`);
      if (then) then(false);
      return;
    }
  }
  holdStill(true);
  ui.statusbar.showMessage(`Saving ${file.path}\u2026`, 0);
  gui.saveInBackground(p, `Saving ${baseName(file.path)}\u2026`, (ok) => {
    holdStill(false);
    if (ok) {
      reload(file);  // read back what the file now holds
      ui.statusbar.showMessage(`Saved ${file.path}`, 5000);
    } else {
      ui.statusbar.clearMessage();
      tell(p.lastError());
    }
    if (then) then(ok);
  });
}

// While a save runs, nothing can change the files or their fields.
function holdStill(still) {
  saving = still;
  ui.centralwidget.enabled = !still;
  for (const a of [ui.actionOpen, ui.actionSave, ui.actionRevert, ui.actionClose, ui.actionCodes]) {
    a.enabled = !still;
  }
}

// Reads a file again, dropping its edits.
function reload(file) {
  const index = files.indexOf(file), again = open(file.path);
  file.parser.release();
  if (again) files[index] = again; else files.splice(index, 1);
  listFiles();
  if (shown === file) show(Math.min(index, files.length - 1));
}

function revert() {
  if (shown) reload(shown);
}

function closeFile() {
  if (!shown) return;
  if (edited(shown) && !gui.ask(`${baseName(shown.path)} has unsaved edits. Close it all the same?`)) return;
  const index = files.indexOf(shown);
  shown.parser.release();
  files.splice(index, 1);
  listFiles();
  show(Math.min(index, files.length - 1));
}

gui.setItems(ui.rateBox, Smpte.rates());
ui.rateBox.currentIndex = Smpte.rates().indexOf('25');
for (const w of [ui.timecodeEdit, ui.timeReferenceValue]) gui.useFixedFont(w);
ui.fileList.currentRowChanged.connect(show);
// Another rate shows each file's own timecode at that rate; a timecode typed in stays.
ui.rateBox.currentTextChanged.connect(() => {
  for (const f of files) {
    const label = Smpte['timecodeOfParser:rate:'](f.parser, rate());
    if (f.timecode === f.original.timecode) f.timecode = label;
    f.original.timecode = label;
  }
  listFiles();
  show(files.indexOf(shown));
});
for (const e of [ui.descriptionEdit, ui.originatorEdit, ui.timecodeEdit]) e.textEdited.connect(fieldEdited);
ui.actionOpen.triggered.connect(() => openPaths(gui.openFiles('Open Broadcast Wave files')));
ui.actionSave.triggered.connect(save);
ui.saveButton.clicked.connect(save);
ui.actionRevert.triggered.connect(revert);
ui.revertButton.clicked.connect(revert);
ui.actionClose.triggered.connect(closeFile);
ui.actionQuit.triggered.connect(() => ui.mainWindow.close());
ui.actionCodes.triggered.connect(setCodes);
ui.actionCalculators.triggered.connect(() => { ui.calculators.show(); ui.calculators.raise(); });
gui.onClose(ui.mainWindow, () => {
  if (saving) {
    ui.statusbar.showMessage('A file is being saved; the window can close when the save ends.', 5000);
    return false;
  }
  return !files.some(edited) || gui.ask('Some files have unsaved edits. Quit all the same?');
});
gui.onDrop(ui.mainWindow, openPaths);
show(-1);
openPaths(gui.arguments());
