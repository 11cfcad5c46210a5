// The Chunks tab: the scan's chunk directory with the chunk chain as the file lays it out beside
// it, and a note wherever the two differ.

// A cell of the table: '' for a field without a value.
function cellOf(value) { return value === null || value === undefined ? '' : String(value); }

// The directory's rows (ID, Index, Start, Length) with the chain beside them (Offset, Size) and
// a note where the two differ: a listed ID the chain does not have there (a word inside another
// chunk's text), or a chunk of the chain the directory does not list; and which chunks the
// fields come from, as bextkit chunks marks them.
function chunkRows(parser) {
  const chain = parser.chunkRecords();
  const chunks = chain.filter((c) => c.kind !== 'break'), broken = chain.find((c) => c.kind === 'break');
  const form = chunks.find((c) => c.kind === 'form');
  const rows = [], matched = new Set();
  for (const entry of parser.directoryRecords()) {
    let chunk = chunks.find((c) => c.id === entry.id && c.offset === entry.start);
    // Where the form is no RIFF (RF64, RIFX), the scan lists the form type after the header
    // ('WAVE' at 8) with the bytes of the next chunk's ID read as its length: it is the form
    // header, and its size is the one the header declares.
    const formType = !chunk && form && entry.start === 8 && entry.id === 'WAVE';
    if (formType) chunk = form;
    let note = '';
    if (chunk) {
      matched.add(chunk);
      note = chunk.kind === 'form' ? `the form header${formType ? ' (the scan lists its form type)' : ''}`
                                   : notesOf(chunk);
    } else {
      const around = chunks.find((c) => c.kind === 'chunk' && entry.start > c.offset &&
                                         entry.start < c.offset + 8 + Number(c.size));
      note = around ? `not a chunk: lies inside '${around.id}' at ${around.offset}`
                    : 'not a chunk of the chain';
    }
    rows.push({ at: chunk ? chunk.offset : entry.start,
                cells: [formType ? `'${form.id}' '${entry.id}'` : `'${entry.id}'`, cellOf(entry.index),
                        cellOf(entry.start), formType ? '' : cellOf(entry.length),
                        cellOf(chunk && chunk.offset), cellOf(chunk && chunk.size), note] });
  }
  for (const chunk of chunks.filter((c) => !matched.has(c))) {
    const note = [notesOf(chunk), 'not in the scan\'s directory'].filter((n) => n).join('; ');
    rows.push({ at: chunk.offset, cells: [`'${chunk.id}'`, '', '', '', cellOf(chunk.offset), cellOf(chunk.size), note] });
  }
  if (broken) {
    rows.push({ at: broken.offset, cells: ['', '', '', '', cellOf(broken.offset), '', 'the chain breaks here: no chunk header'] });
  }
  return rows.sort((a, b) => a.at - b.at).map((row) => row.cells);
}

const fieldsNote = { format: 'the format comes from here', bext: 'the bext fields come from here' };

function notesOf(chunk) {
  return [chunk.form ? `form '${chunk.form}'` : '', fieldsNote[chunk.fields] || '',
          chunk.truncated ? 'runs past the end of the file' : ''].filter((n) => n).join('; ');
}

function showChunks(parser) {
  gui.setTable(ui.chunkView, ['ID', 'Index', 'Start', 'Length', 'Chain offset', 'Chain size', 'Note'],
               parser ? chunkRows(parser) : []);
}

gui.useFixedFont(ui.chunkView);
// Selecting a chunk tells its place in the status bar.
gui.observe('NSTableViewSelectionDidChangeNotification', ui.chunkView, () => {
  const row = gui.selectedRow(ui.chunkView);
  if (shown && row >= 0) {
    const [id, index, start, length, offset, size, note] = chunkRows(shown.parser)[row];
    const listed = index ? `chunk ${index} of the directory, starts at ${start}` +
                           (length ? `, ${length} bytes to the next` : '') : '';
    const chained = offset ? `in the chain at ${offset}${size ? `, ${size} bytes of payload` : ''}` : '';
    ui.statusbar.showMessage(`${id}: ${[listed, chained, note].filter((t) => t).join('; ')}`, 0);
  }
});
