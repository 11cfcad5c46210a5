// The timecode and feet-and-frames calculators: SMPTE timecode to frames and back at any of the
// rates, frames in a day, whether a label exists, and footage to frames, duration and back.
function calcRate() { return ui.calcRateBox.currentText; }

// The answer of a calculation, or the reason the operation gives for having none.
function answer(compute) {
  try {
    return String(compute());
  } catch (e) {
    if (e.reason === undefined) throw e;  // not the operation's refusal: a fault of the script
    return e.reason;
  }
}

function calculate() {
  const rate = calcRate(), day = Smpte['framesPerDay:'](rate);
  ui.calcDayValue.text = String(day);
  const label = ui.calcTimecodeEdit.text;
  ui.calcFramesValue.text = label ? answer(() => Smpte['framesFromLabel:rate:'](label, rate)) : '';
  const count = ui.calcFramesEdit.text;
  ui.calcTimecodeValue.text = !count ? '' : !/^\d+$/.test(count) || Number(count) >= day
      ? `a frame count from 0 to ${day - 1}` : Smpte['labelFromFrames:rate:'](Number(count), rate);
  const type = ui.footTypeBox.value, footage = ui.footageEdit.text;
  if (!footage) {
    ui.footageFramesValue.text = ui.footageTimecodeValue.text = '';
  } else if (!/^\d{1,9}\+\d{1,9}$/.test(footage) || Number(footage.split('+')[1]) >= type) {
    ui.footageFramesValue.text = `feet+frames, the frames below ${type}`;
    ui.footageTimecodeValue.text = '';
  } else {
    const frames = TimeCode['feetFramesToFrames:type:delimiter:'](footage, type, '+');
    ui.footageFramesValue.text = String(frames);
    ui.footageTimecodeValue.text = answer(() => Smpte['labelFromFrames:rate:'](frames, rate));
  }
  const feet = ui.feetFramesEdit.text;
  ui.feetValue.text = !feet ? '' : /^\d{1,9}$/.test(feet)
      ? TimeCode['framesToFeetFrames:type:delimiter:'](Number(feet), type, '+') : 'a frame count';
}

gui.setItems(ui.calcRateBox, Smpte.rates());
ui.calcRateBox.currentIndex = Smpte.rates().indexOf('25');
for (const w of [ui.calcTimecodeEdit, ui.calcFramesValue, ui.calcFramesEdit, ui.calcTimecodeValue,
                 ui.calcDayValue, ui.footageEdit, ui.footageFramesValue, ui.footageTimecodeValue,
                 ui.feetFramesEdit, ui.feetValue]) {
  gui.useFixedFont(w);
}
for (const e of [ui.calcTimecodeEdit, ui.calcFramesEdit, ui.footageEdit, ui.feetFramesEdit]) {
  e.textChanged.connect(calculate);
}
ui.calcRateBox.currentTextChanged.connect(calculate);
ui.footTypeBox.valueChanged.connect(calculate);
calculate();
