// The main window: a table of every open file, each row's fields editable in place, with the
// Fields, Chunks, Checks and texts of the file on view below; files and folders opened from the
// menu, a drop anywhere or the command line; batch edits of the selected rows; saves of the
// selected or of all files; and prompts that never drop an edit unasked. The open files and their
// edits are files.js's; the tabs are details.js, chunks.js and checks.js, loaded before this file.
var shown = null;  // the file on view
var saving = false;  // a save is under way
var quitting = false;  // the user chose to quit with the edits settled

// Tells the user something went wrong, naming the files and the reasons.
function tell(text) { gui.message(text); }
// Asks with buttons, `safe` the default; the text of the button chosen.
function choose(text, details, buttons, safe) { return gui.choose(text, details, buttons, safe); }

// The table's columns; `field` names the bext field a column edits.
var columns = [
  { title: 'File', width: 130 }, { title: 'Status', width: 230 }, { title: 'Folder', width: 150 },
  { title: 'Format', width: 180 }, { title: 'Duration', width: 80 },
  { title: 'Rate', edit: 'line', width: 110 }, { title: 'Timecode', edit: 'line', width: 110 },
  { title: 'Time reference', width: 110 },
  ...textFields.map((field) => ({ title: fieldTitles[field], field, width: field === 'Description' ? 240 : 120,
                                  edit: field === 'CodingHistory' ? 'text' : 'line' })),
];
var columnOf = (title) => columns.findIndex((c) => c.title === title);

// What the Status column says of a file, and how its row stands out.
function statusOf(file) {
  const parts = [];
  let tone = '';
  const held = Object.values(file.held);
  if (held.length > 0) {
    parts.push(`refused: ${held.map((h) => h.why).join('; ')}`);
    tone = 'error';
  } else if (file.failure) {
    parts.push(`not saved: ${file.failure}`);
    tone = 'error';
  } else if (edited(file)) {
    const names = Object.keys(file.edits).map((n) => fieldTitles[n]);
    if (file.timecode !== null) names.push('Timecode');
    parts.push(`edited: ${names.join(', ')}`);
    tone = 'edited';
  } else if (file.saved) {
    parts.push('saved');
  }
  const c = file.checked;
  if (c) {
    parts.push(c.summary === 'Checking\u2026' ? 'checking\u2026' : c.errors > 0 ? `${c.errors} check error(s)`
               : c.findings.length > 0 ? `${c.findings.length} check finding(s)` : 'checks pass');
    if (c.errors > 0 && tone === '') tone = 'error';
  }
  return { text: parts.join('; '), tone };
}

function rowOf(file) {
  const t = timecodeOf(file), status = statusOf(file);
  const reference = 'Timecode' in file.held ? null : timeReferenceOf(file);
  const cells = [
    baseName(file.path), status.text, folderOf(file.path), file.audio.summary,
    file.audio.seconds === null ? '' : `${Number(file.audio.seconds).toFixed(3)} s`,
    file.rate, t.label,
    reference === null ? '' : String(reference), ...textFields.map((name) => fieldText(file, name)),
  ];
  // The rate with where it comes from, a converted timecode with what was typed.
  const shown = [];
  shown[columnOf('Rate')] = `${file.rate} (${rateSourceOf(file)})`;
  if (t.typed) shown[columnOf('Timecode')] = `${t.label} (${t.typed})`;
  const tips = [];
  tips[0] = file.path;
  tips[columnOf('Duration')] = file.audio.duration;
  tips[columnOf('Rate')] = file.stated.note || '';
  for (const [name, h] of Object.entries(file.held)) {
    tips[name === 'Timecode' ? columnOf('Timecode') : columnOf(fieldTitles[name])] = h.why;
  }
  // Dense lists: a cell without a tip or a shown text has an empty one.
  const dense = (texts) => columns.map((c, i) => texts[i] || '');
  return { key: file.key, cells, tips: dense(tips), tone: status.tone, shown: dense(shown) };
}

// A file's row, title and fields shown anew after a change.
var staleRows = new Set();  // files whose rows changed while a save held the window still
function fileChanged(file) {
  if (!files.includes(file)) return;
  // A parser is lent to its save: the row is shown anew when the save ends.
  if (saving) {
    staleRows.add(file);
    return;
  }
  gui.setRows(ui.fileTable, [rowOf(file)]);
  if (file === shown) showTitle();
}

// The title names the file on view and whether it is edited; the files edited besides it are
// counted after.
function showTitle() {
  const others = files.filter((f) => f !== shown && edited(f)).length;
  ui.mainWindow.windowTitle = (shown ? `${baseName(shown.path)}[*] \u2014 ` : '') + 'bextkit' +
      (others > 0 ? ` (${others} other file(s) edited)` : '');
  ui.mainWindow.windowModified = edited(shown);
}

function show(file) {
  shown = file;
  showDetails(file);
  showChunks(file && file.parser);
  showFindings(false);
  showTexts(file);
  showRateBox();
  showTitle();
  for (const w of [ui.saveButton, ui.revertButton, ui.applyButton, ui.fillDownButton]) {
    w.enabled = file !== null;
  }
}

var fillingRates = false;
function showRateBox() {
  fillingRates = true;
  ui.rateBox.currentIndex = Smpte.rates().indexOf(shown ? shown.rate : defaultRate);
  ui.rateSource.text = shown ? `(${rateSourceOf(shown)})` : '';
  fillingRates = false;
}

// Counts the files' timecodes at a rate from now on: '' or the reason the rate is refused. A
// timecode typed at another rate keeps counting the moment it was typed for.
function setRate(list, rate) {
  if (!Smpte.rates().includes(rate)) {
    return `Rate: no frame rate "${rate}"; the rates are ${Smpte.rates().join(', ')}`;
  }
  for (const file of list) {
    file.rate = rate;
    file.rateChosen = rate !== file.stated.rate;
    fileChanged(file);
  }
  defaultRate = rate;
  gui.setSetting('rate', rate);
  if (shown && list.includes(shown)) {
    showDetails(shown);
    showRateBox();
  }
  return '';
}

var selectedFiles = () => gui.selectedKeys(ui.fileTable).map(fileByKey).filter((f) => f);

// Opens files and folders (their WAV files, subfolders too) off the main thread; a file open
// already is not opened again, and the files that cannot be opened are listed in one message.
// `then(added, notes)`, when given, runs after.
function openPaths(paths, then) {
  if (paths.length === 0) return;
  gui.setSetting('lastFolder', folderOf(paths[0]));
  gui.openInBackground(paths, files.map((f) => f.identity), (opened, refused, notes) => {
    const added = opened.map((o) => fileOf(o.path, o.identity, o.parser));
    files.push(...added);
    for (const file of added) queueCheck(file);
    gui.setRows(ui.fileTable, added.map(rowOf));
    if (added.length > 0) gui.selectKeys(ui.fileTable, [added[0].key]);
    const again = notes.length > 0 ? `; ${notes.length} open already or named twice` : '';
    ui.statusbar.showMessage(`Opened ${added.length} file(s)${again}`, 8000);
    if (refused.length > 0) {
      tell(`${refused.length} file(s) cannot be opened:\n${refused.join('\n')}`);
    }
    if (then) then(added, notes);
  });
}

// While a save runs, nothing can change the files or their fields.
function holdStill(still) {
  saving = still;
  if (!still) {
    for (const file of staleRows) fileChanged(file);
    staleRows.clear();
  }
  ui.centralwidget.enabled = !still;
  for (const a of [ui.actionOpen, ui.actionOpenFolder, ui.actionImport, ui.actionExport, ui.actionSave, ui.actionSaveAll, ui.actionRevert,
                   ui.actionClose, ui.actionCodes, ui.actionApply, ui.actionFillDown, ui.actionAppendHistory,
                   ui.actionMeasureLoudness]) {
    a.enabled = !still;
  }
}

// Saves the edited files among `list`; then(ok) after, ok when every one was saved.
function save(list, then) {
  if (saving) return;
  const count = list.filter(edited).length;
  if (count === 0) {
    ui.statusbar.showMessage('Nothing to save: no edits in the files chosen.', 5000);
    if (then) then(true);
    return;
  }
  holdStill(true);
  ui.statusbar.showMessage(`Saving ${count} file(s)\u2026`, 0);
  saveFiles(list, (failures) => {
    holdStill(false);
    for (const file of list.filter((f) => f.saved)) queueCheck(file);
    for (const file of list) fileChanged(file);
    if (shown && list.includes(shown)) show(shown);
    if (failures.length > 0) {
      tell(`${failures.length} of ${count} file(s) are not saved:\n${failures.join('\n')}`);
    } else {
      ui.statusbar.showMessage(`Saved ${count} file(s)`, 5000);
    }
    if (then) then(failures.length === 0);
  });
}

// Settles the unsaved edits of `list` before they would be lost: Save, Discard or Cancel, Cancel
// the default. then(true) to go on.
function settle(list, doing, then) {
  const unsaved = list.filter(edited);
  if (unsaved.length === 0) return then(true);
  const answer = choose(`${unsaved.length} file(s) have unsaved edits. Save them before ${doing}?`,
                        unsaved.map((f) => f.path).join('\n'), ['Save', 'Discard', 'Cancel'], 'Cancel');
  if (answer === 'Discard') return then(true);
  if (answer === 'Save') return save(unsaved, then);
  return then(false);
}

function closeFiles(list) {
  if (list.length === 0 || saving) return;
  settle(list, 'closing', (go) => {
    if (!go) return;
    for (const file of list) {
      gui.removeRow(ui.fileTable, file.key);
      file.parser.release();
    }
    files = files.filter((f) => !list.includes(f));
    const current = fileByKey(gui.currentKey(ui.fileTable));
    show(current);
    if (current) gui.selectKeys(ui.fileTable, [current.key]);
  });
}

function revertFiles(list) {
  const unsaved = list.filter(edited);
  if (unsaved.length === 0 || saving) return;
  if (choose(`Revert ${unsaved.length} file(s)? Their unsaved edits are dropped.`,
             unsaved.map((f) => f.path).join('\n'), ['Revert', 'Cancel'], 'Cancel') !== 'Revert') {
    return;
  }
  for (const file of unsaved) {
    forget(file);
    reread(file);
    fileChanged(file);
  }
  if (shown) show(shown);
}

// Applies a value (a pattern with {name}, {n}, {date}) to a field of the selected files.
function applyValue(list, name, pattern) {
  const refused = applyToFiles(list, name, (file, n) => patternText(pattern, file, n));
  afterBatch(list, refused, name === 'Timecode' ? 'Timecode' : fieldTitles[name]);
}

function afterBatch(list, refused, title) {
  for (const file of list) fileChanged(file);
  if (shown && list.includes(shown)) showDetails(shown);
  if (refused.length > 0) {
    tell(`${refused.length} of ${list.length} file(s) refuse the ${title}; they are left as they were:\n` +
         refused.join('\n'));
  } else {
    ui.statusbar.showMessage(`${title} set in ${list.length} file(s); Save to write them`, 8000);
  }
}

function applyToSelected() {
  const list = selectedFiles();
  if (list.length === 0) return;
  // The fields in the record's order, the timecode beside the origination time; the
  // description first.
  const names = [...textFields];
  names.splice(names.indexOf('OriginationTime') + 1, 0, 'Timecode');
  gui.setItems(ui.applyField, names.map((n) => fieldTitles[n] || n));
  ui.applyDialog.windowTitle = `Apply to ${list.length} selected file(s)`;
  if (ui.applyDialog.exec() !== 1) return;
  applyValue(list, names[ui.applyField.currentIndex], ui.applyValue.text);
}

// The value of the current cell goes down to the other selected rows.
function fillDown() {
  const keys = gui.selectedKeys(ui.fileTable), column = columns[gui.currentColumn(ui.fileTable)];
  const from = fileByKey(gui.currentKey(ui.fileTable));
  if (!from || !column || !column.edit) return;
  const list = keys.map(fileByKey).filter((f) => f && f !== from);
  if (column.title === 'Rate') {
    setRate(list, from.rate);
  } else if (column.title === 'Timecode') {
    afterBatch(list, applyToFiles(list, 'Timecode', () => timecodeOf(from).label), 'Timecode');
  } else {
    const text = fieldText(from, column.field);
    afterBatch(list, applyToFiles(list, column.field, () => text), column.title);
  }
}

function appendHistory() {
  const list = selectedFiles();
  if (list.length === 0) return;
  const line = gui.askText(`A line to append to the coding history of ${list.length} file(s):`,
                           'A=PCM,F=48000,W=24,M=stereo,T=');
  if (line !== null && line !== '') afterBatch(list, appendHistoryLine(list, line), 'Coding history');
}

// Measures the loudness of the selected files off the main thread, two files at a time (each
// on two threads of its own), and sets the five values, with Version 2, as edits to save.
function measureLoudness() {
  const list = selectedFiles();
  if (list.length === 0 || saving) return;
  const queue = [...list], problems = [];
  let done = 0;
  const next = () => {
    const file = queue.shift();
    if (!file) return;
    gui.callInBackground('Loudness', 'measureAtPath:', [file.path], (values, error) => {
      // A file closed meanwhile takes nothing.
      const why = error ? error.reason : files.includes(file) ? setLoudness(file, values) : '';
      if (why !== '') problems.push(`${file.path}: ${why}`);
      if (files.includes(file)) fileChanged(file);
      done += 1;
      if (done < list.length) {
        ui.statusbar.showMessage(`Measuring loudness: ${done} of ${list.length} file(s)…`);
        next();
        return;
      }
      if (shown && list.includes(shown)) showDetails(shown);
      const set = list.length - problems.length;
      ui.statusbar.showMessage(`Loudness measured in ${set} file(s); Save to write it`, 8000);
      if (problems.length > 0) {
        tell(`${problems.length} of ${list.length} file(s) have no loudness set; they are left as they were:\n` +
             problems.join('\n'));
      }
    });
  };
  ui.statusbar.showMessage(`Measuring loudness: 0 of ${list.length} file(s)…`);
  next();
  next();
}

// Export CSV: the open files' table as bextkit export --csv writes it, each file's timecode at
// its rate in the window. It holds what the files hold on disk: edits not saved are not in it.
function exportTable(path, then) {
  const unsaved = files.filter(edited).length;
  gui.callInBackground('Table', 'writeCsvOfPaths:rates:toPath:',
                       [files.map((f) => f.path), files.map((f) => f.rate), path], (reasons, error) => {
    const why = error ? error.reason : reasons;
    if (why) {
      tell(`${path}: the table is not written whole:\n${why}`);
    } else {
      ui.statusbar.showMessage(`Exported ${files.length} file(s) to ${path}` +
          (unsaved ? `; ${unsaved} file(s) have edits not saved, which the table does not hold` : ''), 8000);
    }
    if (then) then(!why);
  });
}

// Import CSV: bextkit import of a table, with its rules (every row checked before the first
// file is written): what it would change is shown first, and written only when the user says
// Import. The files' own edits come first: an import writes the files it names.
function importTable(path, then) {
  const done = (ok) => { if (then) then(ok); };
  const unsaved = files.filter(edited);
  if (unsaved.length > 0) {
    tell(`${path} is not imported: an import writes the files it names, so save or revert the ` +
         `edits of these files first:\n${unsaved.map((f) => f.path).join('\n')}`);
    return done(false);
  }
  gui.callInBackground('Table', 'importTableAtPath:dryRun:', [path, true], (preview, error) => {
    if (error || preview.status !== 0) {
      tell(`${path} is not imported; nothing was written:\n${error ? error.reason : preview.report}`);
      return done(false);
    }
    if (choose(`Import ${baseName(path)}? It makes these changes:`, preview.report,
               ['Import', 'Cancel'], 'Cancel') !== 'Import') {
      return done(false);
    }
    holdStill(true);
    gui.callInBackground('Table', 'importTableAtPath:dryRun:', [path, false], (result, failed) => {
      holdStill(false);
      // The files are read again: the import may have written any of them.
      for (const file of files) {
        reread(file);
        queueCheck(file);
        fileChanged(file);
      }
      if (shown) show(shown);
      const ok = !failed && result.status === 0;
      if (ok) ui.statusbar.showMessage(`Imported ${path}`, 8000);
      else tell(`${path} is not imported whole:\n${failed ? failed.reason : result.report}`);
      done(ok);
    });
  });
}

var shortcuts = `Files
  Ctrl+O         Open files
  Ctrl+Shift+O   Open a folder (its WAV files, subfolders too)
  Ctrl+S         Save the selected files
  Ctrl+Shift+S   Save all files
  Ctrl+W         Close the selected files (or the calculators, when they are in front)
  Ctrl+Q         Quit
Editing the table
  Double-click, F2   Edit the cell (Enter keeps it, Escape drops it)
  Ctrl+E         Apply a value to the selected files ({name}, {n}, {date} in a pattern)
  Ctrl+D         Fill the current cell's value down the selected rows
  Ctrl+L         Measure the loudness of the selected files (EBU R 128), to save
  Shift+click, Ctrl+click   Select many rows
Tools
  Ctrl+K         Timecode and footage calculators (Escape closes them)
  F1             This page`;

function cellEdited(key, index, text) {
  const file = fileByKey(key), column = columns[index];
  if (!file || saving) return 'the files are being saved';
  let why = '';
  if (column.field) why = setField(file, column.field, text);
  else if (column.title === 'Timecode') why = setTimecode(file, text.trim());
  else if (column.title === 'Rate') why = setRate([file], text.trim());
  fileChanged(file);
  if (file === shown) {
    showDetails(file);
    showRefusal(file);
  }
  return why;
}

gui.makeTable(ui.fileTable, columns, 'fileColumns');
gui.onCellEdit(ui.fileTable, cellEdited);
gui.observe('NSTableViewSelectionDidChangeNotification', ui.fileTable, () => {
  const file = fileByKey(gui.currentKey(ui.fileTable));
  if (file !== shown) show(file);
});
gui.setItems(ui.rateBox, Smpte.rates());
defaultRate = gui.setting('rate', '25');
if (!Smpte.rates().includes(defaultRate)) defaultRate = '25';
ui.rateBox.currentIndexChanged.connect(() => {
  if (fillingRates) return;
  const list = selectedFiles().length > 0 ? selectedFiles() : shown ? [shown] : [];
  setRate(list, ui.rateBox.currentText);
});
ui.actionOpen.triggered.connect(() => openPaths(gui.openFiles('Open Broadcast Wave files')));
ui.actionOpenFolder.triggered.connect(() => {
  const folder = gui.openFolder('Open a folder of Broadcast Wave files');
  if (folder) openPaths([folder]);
});
for (const [control, signal] of [[ui.actionSave, 'triggered'], [ui.saveButton, 'clicked']]) {
  control[signal].connect(() => save(selectedFiles()));
}
for (const [control, signal] of [[ui.actionSaveAll, 'triggered'], [ui.saveAllButton, 'clicked']]) {
  control[signal].connect(() => save(files));
}
for (const [control, signal] of [[ui.actionRevert, 'triggered'], [ui.revertButton, 'clicked']]) {
  control[signal].connect(() => revertFiles(selectedFiles()));
}
for (const [control, signal] of [[ui.actionApply, 'triggered'], [ui.applyButton, 'clicked']]) {
  control[signal].connect(applyToSelected);
}
for (const [control, signal] of [[ui.actionFillDown, 'triggered'], [ui.fillDownButton, 'clicked']]) {
  control[signal].connect(fillDown);
}
ui.actionAppendHistory.triggered.connect(appendHistory);
ui.actionMeasureLoudness.triggered.connect(measureLoudness);
ui.actionExport.triggered.connect(() => {
  const path = files.length > 0 && gui.pickFile('Export the table as CSV', 'CSV files (*.csv)', true);
  if (path) exportTable(path);
});
ui.actionImport.triggered.connect(() => {
  const path = gui.pickFile('Import a CSV table', 'CSV files (*.csv *.CSV);;All files (*)', false);
  if (path) importTable(path);
});
ui.actionClose.triggered.connect(() => closeFiles(selectedFiles()));
ui.actionQuit.triggered.connect(() => ui.mainWindow.close());
ui.actionCodes.triggered.connect(setCodes);
ui.actionCalculators.triggered.connect(() => { ui.calculators.show(); ui.calculators.raise(); });
for (const keys of ['Escape', 'Ctrl+W']) gui.onShortcut(ui.calculators, keys, () => ui.calculators.close());
ui.actionShortcuts.triggered.connect(() => gui.showText('Keyboard shortcuts', shortcuts));
ui.actionScriptLog.triggered.connect(() => {
  const errors = gui.errors();
  gui.showText('Script errors', errors.length > 0 ? errors.join('\n') : 'No script error so far.');
});
ui.actionAbout.triggered.connect(() => gui.showText('About bextkit',
    `bextkit ${gui.version()}\n\nThe metadata of Broadcast Wave files: their chunks, audio format, ` +
    'broadcast extension fields and timecode, read, checked and written without touching the audio.\n\n' +
    'Licensed under the MIT licence.'));
gui.keepGeometry(ui.mainWindow, 'mainWindowGeometry');
gui.onClose(ui.mainWindow, () => {
  if (saving) {
    ui.statusbar.showMessage('Files are being saved; the window can close when the save ends.', 5000);
    return false;
  }
  if (quitting || !files.some(edited)) return true;
  settle(files, 'quitting', (go) => {
    if (!go) return;
    quitting = true;
    gui.later(() => ui.mainWindow.close());
  });
  return false;
});
gui.onDrop(ui.mainWindow, (paths) => openPaths(paths));
show(null);
openPaths(gui.arguments());
