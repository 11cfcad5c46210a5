// The open files: each with its parser, the frame rate its timecode counts at, and the edits typed
// since it was read. Every edit goes through the edit layer that set and import use, so that what
// a check calls an error is refused with its reason; Save writes the edits. The window's views
// (the table in main.js, the fields in details.js) show what is kept here.
var files = [];  // in the order they were opened
var nextKey = 1;
var defaultRate = '25';  // for a file that states no rate: the rate last chosen

var baseName = (path) => path.slice(path.lastIndexOf('/') + 1);
var folderOf = (path) => path.slice(0, Math.max(path.lastIndexOf('/'), 0)) || '/';
var stemOf = (path) => {
  const base = baseName(path);
  return base.includes('.') ? base.slice(0, base.lastIndexOf('.')) : base;
};

// The fields of the broadcast extension that are edited as text, in the record's order, then
// iXML fields, with the names the window gives them.
var fieldTitles = {
  Description: 'Description', Originator: 'Originator', OriginatorReference: 'Originator reference',
  OriginationDate: 'Origination date', OriginationTime: 'Origination time', Version: 'Version',
  UMID: 'UMID', LoudnessValue: 'Loudness', LoudnessRange: 'Loudness range',
  MaxTruePeakLevel: 'True peak', MaxMomentaryLoudness: 'Momentary max',
  MaxShortTermLoudness: 'Short-term max', CodingHistory: 'Coding history',
  // The iXML fields production sound renames takes by; a file without iXML gets a document
  // when one of them is set.
  'iXML:PROJECT': 'Project', 'iXML:SCENE': 'Scene', 'iXML:TAKE': 'Take', 'iXML:TAPE': 'Tape',
  'iXML:CIRCLED': 'Circled', 'iXML:NOTE': 'Note',
};
var textFields = Object.keys(fieldTitles);

function fileByKey(key) { return files.find((f) => f.key === key) || null; }

// A file as it was just read, without edits.
function fileOf(path, identity, parser) {
  const stated = Smpte['statedRateOfParser:'](parser);
  const file = { key: nextKey++, path, identity, parser, stated, rate: stated.rate || defaultRate };
  forget(file);
  read(file);
  return file;
}

// What the file holds, as its parser read it.
function read(file) {
  file.texts = file.parser.fieldTexts();
  file.bext = file.parser.bextRecord();  // null for a file without a bext chunk
  file.audio = file.parser.formatRecord();
}

// Drops the edits of a file, and what was told about them.
function forget(file) {
  file.edits = {};      // field name: text, taken by the edit layer
  file.held = {};       // field name: { text, why }, typed and refused: kept to be mended
  file.timecode = null; // { label, rate }: a timecode typed at that rate
  file.failure = '';    // why the last save failed
  file.saved = false;   // saved since it was opened
}

function edited(file) {
  return !!file && (Object.keys(file.edits).length > 0 || Object.keys(file.held).length > 0 ||
                    file.timecode !== null);
}

// The text a field shows: the edit typed, or what the file holds ('' for a field the chunk ends
// before).
function fieldText(file, name) {
  if (name in file.held) return file.held[name].text;
  if (name in file.edits) return file.edits[name];
  return file.texts[name] === null ? '' : file.texts[name];
}

// Takes the text of a field for a file: '' when the edit layer takes it, else the reason, with
// the text held (shown, and in the way of a save) until it is mended or dropped.
function setField(file, name, text) {
  const edits = Object.assign({}, file.edits);
  if (text === (file.texts[name] === null ? '' : file.texts[name])) delete edits[name];
  else edits[name] = text;
  const why = file.parser['refusalsOfFields:'](edits);
  if (why !== '') {
    file.held[name] = { text, why };
    return why;
  }
  delete file.held[name];
  file.edits = edits;
  file.failure = '';
  return '';
}

// The file's timecode at its rate: a timecode typed at another rate counts the same moment here.
function timecodeOf(file) {
  if ('Timecode' in file.held) return { label: file.held.Timecode.text, typed: '' };
  const t = file.timecode;
  if (t === null) return { label: Smpte['timecodeOfParser:rate:'](file.parser, file.rate), typed: '' };
  if (t.rate === file.rate) return { label: t.label, typed: '' };
  const label = Smpte['labelOfParser:label:rate:atRate:'](file.parser, t.label, t.rate, file.rate);
  return { label, typed: `typed ${t.label} at ${t.rate}` };
}

// Takes a timecode typed at the file's rate: '' when taken, else the reason, with the text held
// as a refused field's is. The edit stays bound to that rate: shown at another rate it is
// converted, and it is saved as typed.
function setTimecode(file, label) {
  try {
    Smpte['timeReferenceOfParser:label:rate:'](file.parser, label, file.rate);
  } catch (e) {
    if (e.reason === undefined) throw e;  // not a refusal of the label: a fault of the script
    file.held.Timecode = { text: label, why: `Timecode: ${e.reason}` };
    return file.held.Timecode.why;
  }
  delete file.held.Timecode;
  const own = Smpte['timecodeOfParser:rate:'](file.parser, file.rate);
  file.timecode = label === own ? null : { label, rate: file.rate };
  file.failure = '';
  return '';
}

// The samples since midnight that the file's timecode gives: the edit's, or the file's own.
function timeReferenceOf(file) {
  if (file.timecode === null) return file.bext ? file.bext.TimeReference : null;
  const t = file.timecode;
  return Smpte['timeReferenceOfParser:label:rate:'](file.parser, t.label, t.rate).timeReference;
}

// Why the file cannot be saved as it stands: its held texts' reasons.
function refusalOf(file) {
  return Object.values(file.held).map((h) => h.why).join('\n');
}

// A pattern's text for a file: {name} the file's name without folder and extension, {n} its
// place among the files it is applied to (from 1), {date} its origination date.
function patternText(pattern, file, n) {
  return pattern.split('{name}').join(stemOf(file.path)).split('{n}').join(String(n))
      .split('{date}').join(fieldText(file, 'OriginationDate'));
}

// Applies a value to one field of each file ('Timecode' too): `textFor(file, n)` gives each
// file's text, n its place among the files from 1. The files that refuse it, "PATH: reason", and
// nothing changed in them.
function applyToFiles(list, name, textFor) {
  const refused = [];
  list.forEach((file, i) => {
    const held = file.held[name];
    const text = textFor(file, i + 1);
    const why = name === 'Timecode' ? setTimecode(file, text) : setField(file, name, text);
    if (why === '') return;
    // A value refused in a batch is not kept: the file stays as it was.
    if (held) file.held[name] = held; else delete file.held[name];
    refused.push(`${file.path}: ${why}`);
  });
  return refused;
}

// Appends a line to each file's coding history, on a line of its own.
function appendHistoryLine(list, line) {
  return applyToFiles(list, 'CodingHistory', (file) => {
    const history = fieldText(file, 'CodingHistory');
    const last = history.slice(-1);
    return history + (history === '' || last === '\n' || last === '\r' ? '' : '\r\n') + line;
  });
}

// Sets measured loudness values (texts by field name) and the Version 2 that holds them. The
// reason when the file refuses one, and the file is left as it was.
function setLoudness(file, values) {
  const edits = Object.assign({}, file.edits), held = Object.assign({}, file.held);
  for (const name of ['Version', ...Object.keys(values)]) {
    const why = setField(file, name, name === 'Version' ? '2' : values[name]);
    if (why === '') continue;
    file.edits = edits;
    file.held = held;
    return why;
  }
  return '';
}

// Opens a file's parser again after a save, keeping its place, key and rate.
function reread(file) {
  const parser = BWFParser['initWithPath:'](file.path);
  if (parser === null) return false;
  parser.parse();
  file.parser.release();
  file.parser = parser;
  read(file);
  return true;
}

// Saves the edited files among `list` off the main thread, one progress dialog for the batch.
// A file whose edits are refused is not saved; nothing is half-done. Then
// `then(failures)`, "PATH: reason" for each file not saved.
function saveFiles(list, then) {
  const ready = [], failures = [];
  for (const file of list.filter(edited)) {
    const held = refusalOf(file);
    const refused = held || file.parser['setFields:'](file.edits);
    if (refused !== '') {
      file.failure = refused;
      failures.push(`${file.path}: ${refused}`);
      continue;
    }
    if (file.timecode !== null) {
      Smpte['setTimecodeOfParser:label:rate:'](file.parser, file.timecode.label, file.timecode.rate);
    }
    ready.push(file);
  }
  if (ready.length === 0) {
    then(failures);
    return;
  }
  const label = ready.length === 1 ? `Saving ${baseName(ready[0].path)}\u2026`
                                   : `Saving ${ready.length} files\u2026`;
  gui.saveAllInBackground(ready.map((f) => f.parser), label, (reasons) => {
    ready.forEach((file, i) => {
      if (reasons[i] === '') {
        forget(file);
        file.saved = true;
        if (!reread(file)) file.failure = 'saved, but it cannot be read again';
      } else {
        file.failure = reasons[i];
        failures.push(`${file.path}: ${reasons[i]}`);
      }
    });
    then(failures);
  });
}
