// The main window: open Broadcast Wave files (menu, dialog, drop, command line), show their
// format, broadcast extension fields, time reference as SMPTE timecode at the chosen rate and
// chunk directory, edit the description, originator and timecode, save and revert.
// The window's state, global (var) so that scripts loaded after this one can reach it.
var files = [];  // { path, parser, and the texts its fields show }
var shown = null;  // the file on view
var filling = false;  // fields being filled from a file, not edited by the user
var saving = false;  // a save is under way
var findingRows = [];  // the findings in the Checks tab: severity, code, offset, sentence

const baseName = (path) => path.replace(/^.*\//, '');
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

// The scan's directory, each entry "Idx: 3 StartPoint: 60 Length: 690", in file order.
function directoryOf(parser) {
  const dictionary = parser.getChunkDictionary();
  return Object.keys(dictionary)
      .map((id) => {
        const m = /Idx: (-?\d+) StartPoint: (-?\d+) Length: (-?\d+)/.exec(dictionary[id]);
        return m ? { id, index: m[1], start: Number(m[2]), length: m[3] } : null;
      })
      .filter((entry) => entry !== null);
}

// The chunk chain as the file lays it out: the form header, then each chunk ("'LIST' 718 24
// form 'INFO'"), and "broken OFFSET" where the walk met bytes that are no chunk header.
function chainOf(parser) {
  const chunks = [];
  let broken = null;
  for (const text of parser.chunkChain()) {
    const m = /^'([\s\S]{1,4})' (\d+)(?: (\d+))?(?: form '([\s\S]{1,4})')?( truncated)?$/.exec(text);
    if (m) chunks.push({ id: m[1], offset: Number(m[2]), size: m[3], form: m[4], truncated: !!m[5] });
    else if (/^broken \d+$/.test(text)) broken = Number(text.slice(7));
  }
  return { chunks, broken };
}

// The directory's rows (ID, Index, Start, Length) with the chain beside them (Offset, Size) and
// a note where the two differ: a listed ID the chain does not have there (a word inside another
// chunk's text), or a chunk of the chain the directory does not list.
function chunkRows(parser) {
  const { chunks, broken } = chainOf(parser);
  const rows = [], matched = new Set();
  for (const entry of directoryOf(parser)) {
    const chunk = chunks.find((c) => c.id === entry.id && c.offset === entry.start);
    let note = '';
    if (chunk) {
      matched.add(chunk);
      note = chunk.offset === 0 && chunk.size === undefined ? 'the form header' : notesOf(chunk);
    } else {
      const around = chunks.find((c) => c.size !== undefined && entry.start > c.offset &&
                                         entry.start < c.offset + 8 + Number(c.size));
      note = around ? `not a chunk: lies inside '${around.id}' at ${around.offset}`
                    : 'not a chunk of the chain';
    }
    rows.push({ at: entry.start, cells: [`'${entry.id}'`, entry.index, String(entry.start), entry.length,
                                         chunk ? String(chunk.offset) : '', chunk && chunk.size || '', note] });
  }
  for (const chunk of chunks.filter((c) => !matched.has(c))) {
    const note = ['not in the scan\'s directory', notesOf(chunk)].filter((n) => n).join('; ');
    rows.push({ at: chunk.offset, cells: [`'${chunk.id}'`, '', '', '', String(chunk.offset), chunk.size || '', note] });
  }
  if (broken !== null) {
    rows.push({ at: broken, cells: ['', '', '', '', String(broken), '', 'the chain breaks here: no chunk header'] });
  }
  return rows.sort((a, b) => a.at - b.at).map((row) => row.cells);
}

function notesOf(chunk) {
  return [chunk.form ? `form '${chunk.form}'` : '', chunk.truncated ? 'runs past the end of the file' : '']
      .filter((n) => n).join('; ');
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
  const hasBext = p && (p.chunkFlags() & 0x8000) !== 0;
  const audio = p ? p.audioSummary() : null;
  ui.formatValue.text = audio ? `${audio.format}\n${audio.duration}` : '';
  ui.descriptionEdit.text = shown ? shown.description : '';
  ui.originatorEdit.text = shown ? shown.originator : '';
  ui.referenceValue.text = hasBext ? p.originatorReference() : '';
  ui.originationValue.text = hasBext ? `${p.creationdate()} ${p.creationtime()}` : '';
  const samples = p ? p.getSamplesSinceMidnightHigh() * 4294967296 + p.getSamplesSinceMidnightLow() : 0;
  ui.timeReferenceValue.text = !p ? '' : hasBext ? `${samples} samples since midnight`
                                                : 'none: the file has no bext chunk (Save adds one)';
  ui.timecodeEdit.text = shown ? shown.timecode : '';
  ui.extensionValue.text = hasBext ? extensionOf(p) : '';
  ui.codesValue.text = shown ? codesOf(shown.path) : '';
  ui.codingHistoryValue.setPlainText(hasBext && p.getCodingHistory() !== 'None' ? p.getCodingHistory() : '');
  gui.setTable(ui.chunkView, ['ID', 'Index', 'Start', 'Length', 'Chain offset', 'Chain size', 'Note'],
               p ? chunkRows(p) : []);
  ui.mainWindow.windowTitle = shown ? `${baseName(shown.path)}[*] \u2014 bextkit` : 'bextkit[*]';
  for (const w of [ui.descriptionEdit, ui.originatorEdit, ui.timecodeEdit, ui.saveButton, ui.revertButton]) {
    w.enabled = shown !== null;
  }
  filling = false;
  showFindings(false);
}

// The conformance check of the file on view as it lies on disk, in the Checks tab, under the
// rule sets named above it; a file that cannot be read or an unknown rule set shows its reason.
// The check runs off the main thread, so that a large or hostile file never holds the window.
// The result is kept with the file, so that showing it again (another frame rate, another file
// and back) reads nothing; Check again and new rule sets read the file anew.
function showFindings(again = true) {
  if (shown && (again || !shown.checked || shown.checked.rules !== ui.rulesEdit.text)) {
    const file = shown, rules = ui.rulesEdit.text;
    const pending = { rules, rows: [], summary: 'Checking\u2026' };
    file.checked = pending;
    gui.callInBackground('Conformance', 'findingsAtPath:rules:', [file.path, rules], (found, error) => {
      const rows = found ? found.map((f) => f.split('\t')) : [];
      const count = (severity) => rows.filter((row) => row[0] === severity).length;
      const summary = !found ? error.replace(/^.*\]: /, '')
          : rows.length === 0 ? 'The file keeps every rule checked.'
          : `${count('error')} error(s), ${count('warning')} warning(s), ${count('note')} note(s)`;
      if (file.checked !== pending) return;  // a newer check of the file was asked for
      file.checked = { rules, rows, summary };
      if (shown === file) fillFindings(file.checked);
    });
  }
  fillFindings(shown ? shown.checked : { rows: [], summary: '' });
}

function fillFindings({ rows, summary }) {
  findingRows = rows;
  gui.setTable(ui.findingsView, ['Severity', 'Code', 'Offset', 'Finding'], rows);
  ui.checkSummary.text = summary;
  showFinding(rows.length > 0 ? 0 : -1);
}

// The whole sentence of a finding, which the table's column cuts short.
function showFinding(row) {
  const f = findingRows[row];
  ui.findingDetail.text = f ? `${f[0]} [${f[1]}] at offset ${f[2]}: ${f[3]}` : '';
}

// "version 2", "UMID 060A2B34...", "loudness -23.00 LUFS, ..." on lines: the fields of the record that the
// parser keeps no text for, read from the chunk's bytes (big-endian in a RIFX file).
function extensionOf(p) {
  const bytes = new Uint8Array(p.getBWFChunkData());
  if (bytes.length < 356) return 'none: the chunk ends before the version';
  const big = p.chunkChain()[0] === "'RIFX' 0";
  const u16 = (at) => big ? bytes[at] << 8 | bytes[at + 1] : bytes[at] | bytes[at + 1] << 8;
  const version = u16(354);
  const umid = Array.from(bytes.slice(356, 420), (b) => b.toString(16).padStart(2, '0')).join('').toUpperCase();
  const shownUmid = /^0*$/.test(umid) ? 'none' : /^0*$/.test(umid.slice(64)) ? umid.slice(0, 64) : umid;
  let text = `version ${version}\nUMID ${shownUmid}`;
  if (version >= 2 && bytes.length >= 430) {
    const value = (at, unit) => {
      const v = u16(at);
      return v === 0x7FFF ? 'none' : `${((v >= 0x8000 ? v - 0x10000 : v) / 100).toFixed(2)} ${unit}`;
    };
    text += `\nloudness ${value(420, 'LUFS')}, range ${value(422, 'LU')}, true peak ${value(424, 'dBTP')}, ` +
            `momentary max ${value(426, 'LUFS')}, short-term max ${value(428, 'LUFS')}`;
  }
  return text;
}

// "'WAVE' / 'bext'": the file's type and creator codes ('' for none), or "none".
function codesOf(path) {
  const type = FileManager['typeCodeAtPath:'](path), creator = FileManager['creatorCodeAtPath:'](path);
  return type === "''" && creator === "''" ? 'none (Tools > Set type and creator codes)'
                                           : `${type} / ${creator}`;
}

function setCodes() {
  if (!shown) return;
  const strip = (code) => code.replace(/^'|'$/g, '');
  const type = gui.askText('Type code (four characters):', strip(FileManager['typeCodeAtPath:'](shown.path)));
  if (type === null) return;
  const creator = gui.askText('Creator code (four characters):',
                              strip(FileManager['creatorCodeAtPath:'](shown.path)));
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
  p['setDescription:'](file.description);
  p['setOriginator:'](file.originator);
  if (file.timecode !== file.original.timecode) {
    try {
      Smpte['setTimecodeOfParser:label:rate:'](p, file.timecode, rate());
    } catch (e) {
      tell(`${file.path}: the timecode is not saved: ${e.message.replace(/^.*\]: /, '')}`);
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
for (const w of [ui.timecodeEdit, ui.timeReferenceValue, ui.chunkView]) gui.useFixedFont(w);
ui.checkButton.clicked.connect(() => showFindings());
ui.rulesEdit.returnPressed.connect(() => showFindings());
gui.observe('NSTableViewSelectionDidChangeNotification', ui.findingsView,
            () => showFinding(gui.selectedRow(ui.findingsView)));
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
gui.observe('NSTableViewSelectionDidChangeNotification', ui.chunkView, () => {
  const row = gui.selectedRow(ui.chunkView);
  if (shown && row >= 0) {
    const [id, index, start, length, offset, size, note] = chunkRows(shown.parser)[row];
    const listed = index ? `chunk ${index} of the directory, starts at ${start}, ${length} bytes to the next` : '';
    const chained = offset ? `in the chain at ${offset}${size ? `, ${size} bytes of payload` : ''}` : '';
    ui.statusbar.showMessage(`${id}: ${[listed, chained, note].filter((t) => t).join('; ')}`, 0);
  }
});
show(-1);
openPaths(gui.arguments());
