// The Checks tab: what the conformance check finds in the file on view, as it lies on disk,
// under the rule sets named above the list; selecting a finding shows its whole sentence.
var findingRows = [];  // the findings in the tab: severity, code, offset, text

// Shows the check of the file on view; a file that cannot be read or an unknown rule set shows
// its reason. The check runs off the main thread, so that a large or hostile file never holds
// the window. The result is kept with the file, so that showing it again (another frame rate,
// another file and back) reads nothing; Check again and new rule sets read the file anew.
function showFindings(again = true) {
  if (shown && (again || !shown.checked || shown.checked.rules !== ui.rulesEdit.text)) {
    const file = shown, rules = ui.rulesEdit.text;
    const pending = { rules, findings: [], summary: 'Checking\u2026' };
    file.checked = pending;
    gui.callInBackground('Conformance', 'findingRecordsAtPath:rules:', [file.path, rules], (found, error) => {
      const findings = found || [];
      const count = (severity) => findings.filter((f) => f.severity === severity).length;
      const summary = error ? error.reason
          : findings.length === 0 ? 'The file keeps every rule checked.'
          : `${count('error')} error(s), ${count('warning')} warning(s), ${count('note')} note(s)`;
      if (file.checked !== pending) return;  // a newer check of the file was asked for
      file.checked = { rules, findings, summary };
      if (shown === file) fillFindings(file.checked);
    });
  }
  fillFindings(shown ? shown.checked : { findings: [], summary: '' });
}

function fillFindings({ findings, summary }) {
  findingRows = findings;
  gui.setTable(ui.findingsView, ['Severity', 'Code', 'Offset', 'Finding'],
               findings.map((f) => [f.severity, f.code, String(f.offset), f.text]));
  ui.checkSummary.text = summary;
  showFinding(findings.length > 0 ? 0 : -1);
}

// The whole sentence of a finding, which the table's column cuts short.
function showFinding(row) {
  const f = findingRows[row];
  ui.findingDetail.text = f ? `${f.severity} [${f.code}] at offset ${f.offset}: ${f.text}` : '';
}

ui.checkButton.clicked.connect(() => showFindings());
ui.rulesEdit.returnPressed.connect(() => showFindings());
gui.observe('NSTableViewSelectionDidChangeNotification', ui.findingsView,
            () => showFinding(gui.selectedRow(ui.findingsView)));
