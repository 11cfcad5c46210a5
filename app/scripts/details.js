// The Fields tab: every field of the file on view, editable. Each text typed goes through the edit
// layer as it is typed (files.js): one the layer refuses stays in its field, the reason shown
// below, and the file is not saved until it is mended. The timecode's time reference is shown
// live, and the INFO and iXML texts read-only on their own tab.
var filling = false;  // the fields are being filled from a file, not edited by the user

// The widget of each field edited as text.
const detailEdits = {
  Description: ui.descriptionEdit, Originator: ui.originatorEdit,
  OriginatorReference: ui.referenceEdit, OriginationDate: ui.dateEdit,
  OriginationTime: ui.timeEdit, Version: ui.versionEdit, UMID: ui.umidEdit,
  LoudnessValue: ui.loudnessValueEdit, LoudnessRange: ui.loudnessRangeEdit,
  MaxTruePeakLevel: ui.maxTruePeakEdit, MaxMomentaryLoudness: ui.maxMomentaryEdit,
  MaxShortTermLoudness: ui.maxShortTermEdit, CodingHistory: ui.codingHistoryEdit,
};
const manyLines = (widget) => widget.plainText !== undefined;
const textOf = (widget) => (manyLines(widget) ? widget.plainText : widget.text);
function setTextOf(widget, text) {
  if (textOf(widget) === text) return;  // the cursor stays where the user left it
  if (manyLines(widget)) widget.plainText = text; else widget.text = text;
}

// Where the file's rate comes from: the file ("iXML", "description"), the user, or the default.
function rateSourceOf(file) {
  if (file.rate === file.stated.rate) return file.stated.source === 'iXML' ? 'iXML' : 'description';
  return file.rateChosen ? 'chosen' : 'default';
}

function showDetails(file) {
  filling = true;
  const on = file !== null;
  ui.pathValue.text = on ? file.path : '';
  ui.formatValue.text = on ? `${file.audio.summary}\n${file.audio.duration}` : '';
  for (const [name, widget] of Object.entries(detailEdits)) {
    setTextOf(widget, on ? fieldText(file, name) : '');
    widget.enabled = on;
  }
  ui.timecodeEdit.enabled = ui.copyUmidButton.enabled = on;
  ui.codesValue.text = on ? codesOf(file.path) : '';
  showTime(file);
  showRefusal(file);
  filling = false;
}

// The timecode at the file's rate, and the time reference it gives, as the user types it.
function showTime(file) {
  if (file === null) {
    ui.timecodeEdit.text = ui.rateNote.text = ui.timeReferenceValue.text = '';
    return;
  }
  const t = timecodeOf(file);
  setTextOf(ui.timecodeEdit, t.label);
  ui.rateNote.text = `at ${file.rate} (${rateSourceOf(file)})${t.typed ? `; ${t.typed}` : ''}`;
  if ('Timecode' in file.held) {
    ui.timeReferenceValue.text = file.held.Timecode.why;
  } else if (file.timecode !== null) {
    const samples = timeReferenceOf(file);
    ui.timeReferenceValue.text = samples === null ? 'none: the file states no sample rate'
        : `${samples} samples since midnight once saved (now ${file.bext ? file.bext.TimeReference : 'none'})`;
  } else if (!file.bext) {
    ui.timeReferenceValue.text = 'none: the file has no bext chunk (Save adds one once a field of it is edited)';
  } else if (file.bext.TimeReference === null) {
    ui.timeReferenceValue.text = 'none: the chunk ends before it';
  } else {
    const at = Smpte['timeRecordOfParser:rate:'](file.parser, file.rate);
    const past = at.samplesPastFrame ? `, ${at.samplesPastFrame} samples past the start of its frame` : '';
    ui.timeReferenceValue.text = `${at.timeReference} samples since midnight${past}`;
  }
}

// Why the file on view cannot be saved as it stands, or why its last save failed.
function showRefusal(file) {
  ui.fieldRefusal.text = file === null ? ''
      : [refusalOf(file), file.failure ? `Not saved: ${file.failure}` : ''].filter((t) => t).join('\n');
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

// The INFO entries and the iXML document of the file on view, read off the main thread.
function showTexts(file) {
  ui.infoText.plainText = '';
  if (file === null) return;
  gui.callInBackground('Conformance', 'textsAtPath:', [file.path], (texts, error) => {
    if (shown !== file) return;
    ui.infoText.plainText = error ? error.reason
        : texts.length === 0 ? 'The file holds no INFO entries and no iXML.'
        : texts.map((t) => (t.id === null ? `iXML document:\n${t.text}` : `${t.chunk} ${t.id}: ${t.text}`))
            .join('\n');
  });
}

function fieldTyped(name, widget) {
  if (filling || !shown) return;
  setField(shown, name, textOf(widget));
  showRefusal(shown);
  fileChanged(shown);
}

for (const [name, widget] of Object.entries(detailEdits)) {
  (manyLines(widget) ? widget.textChanged : widget.textEdited).connect(() => fieldTyped(name, widget));
}
ui.timecodeEdit.textEdited.connect(() => {
  if (filling || !shown) return;
  setTimecode(shown, ui.timecodeEdit.text);
  showTime(shown);
  showRefusal(shown);
  fileChanged(shown);
});
ui.copyUmidButton.clicked.connect(() => gui.copyText(ui.umidEdit.text));
for (const w of [ui.timecodeEdit, ui.timeReferenceValue, ui.umidEdit, ui.infoText]) gui.useFixedFont(w);
