// The Checks tab: what the conformance check finds in the file on view, as it lies on disk,
// under the rule sets named above the list; selecting a finding shows its whole sentence. Every
// open file is checked in turn off the main thread, so that the table's status column tells its
// errors and a large or hostile file never holds the window.
var findingRows = [];  // the findings in the tab: severity, code, offset, text
var checkQueue = [];  // files waiting for a check, the next first
var checking = null;  // the file being checked

// Asks for a check of the file under the rule sets of the tab, before the others waiting when
// `first`. The result is kept with the file, so that showing it again reads nothing.
function queueCheck(file, first = false) {
  checkQueue = checkQueue.filter((f) => f !== file);
  if (first) checkQueue.unshift(file); else checkQueue.push(file);
  file.checked = { rules: ui.rulesEdit.text, findings: [], summary: 'Checking\u2026', errors: 0 };
  runChecks();
}

function runChecks() {
  if (checking !== null || checkQueue.length === 0) return;
  const file = checkQueue.shift();
  if (!files.includes(file)) {
    runChecks();
    return;
  }
  checking = file;
  const pending = file.checked, rules = pending.rules;
  gui.callInBackground('Conformance', 'findingRecordsAtPath:rules:', [file.path, rules], (found, error) => {
    checking = null;
    const findings = found || [];
    const count = (severity) => findings.filter((f) => f.severity === severity).length;
    const summary = error ? error.reason
        : findings.length === 0 ? 'The file keeps every rule checked.'
        : `${count('error')} error(s), ${count('warning')} warning(s), ${count('note')} note(s)`;
    // A newer check of the file was asked for meanwhile: its result is the one to keep.
    if (file.checked === pending) {
      file.checked = { rules, findings, summary, errors: error ? 0 : count('error') };
      fileChanged(file);
      if (shown === file) fillFindings(file.checked);
    }
    runChecks();
  });
}

// Shows the check of the file on view; Check again and new rule sets read the file anew.
function showFindings(again = true) {
  if (shown && (again || !shown.checked || shown.checked.rules !== ui.rulesEdit.text)) {
    queueCheck(shown, true);
  }
  fillFindings(shown && shown.checked ? shown.checked : { findings: [], summary: '' });
}

const severityTone = { error: 'error', warning: 'edited' };

function fillFindings({ findings, summary }) {
  findingRows = findings;
  gui.clearRows(ui.findingsView);
  gui.setRows(ui.findingsView, findings.map((f, i) => ({
    key: i, cells: [f.severity, f.code, String(f.offset), f.text], tone: severityTone[f.severity] || '',
  })));
  ui.checkSummary.text = summary;
  showFinding(findings.length > 0 ? 0 : -1);
}

// The whole sentence of a finding, which the table's column cuts short.
function showFinding(row) {
  const f = findingRows[row];
  ui.findingDetail.text = f ? `${f.severity} [${f.code}] at offset ${f.offset}: ${f.text}` : '';
}

gui.makeTable(ui.findingsView, ['Severity', 'Code', 'Offset', 'Finding'].map((title) => ({ title })),
              'findingsColumns');
ui.checkButton.clicked.connect(() => showFindings());
ui.rulesEdit.returnPressed.connect(() => showFindings());
gui.observe('NSTableViewSelectionDidChangeNotification', ui.findingsView,
            () => showFinding(gui.currentKey(ui.findingsView)));
