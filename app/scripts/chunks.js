// The Chunks tab: the scan's chunk directory with the chunk chain as the file lays it out beside
// it, and a note wherever the two differ.

// A cell of the table: '' for a field without a value.
function cellOf(value) { return value === null || value === undefined ? '' : String(value); }

// The directory's rows (ID, Index, Start, Length) with the chain beside them (Offset, Size) and
// a note where the two differ: a listed ID the chain does not have there (a word inside another
// chunk's text), or a chunk of the chain the directory does not list.
function chunkRows(parser) {
  const chain = parser.chunkRecords();
  const chunks = chain.filter((c) => c.kind !== 'break'), broken = chain.find((c) => c.kind === 'break');
  const rows = [], matched = new Set();
  for (const entry of parser.directoryRecords()) {
    const chunk = chunks.find((c) => c.id === entry.id && c.offset === entry.start);
    let note = '';
    if (chunk) {
      matched.add(chunk);
      note = chunk.kind === 'form' ? 'the form header' : notesOf(chunk);
    } else {
      const around = chunks.find((c) => c.size !== null && entry.start > c.offset &&
                                         entry.start < c.offset + 8 + Number(c.size));
      note = around ? `not a chunk: lies inside '${around.id}' at ${around.offset}`
                    : 'not a chunk of the chain';
    }
    rows.push({ at: entry.start, cells: [`'${entry.id}'`, cellOf(entry.index), cellOf(entry.start), cellOf(entry.length),
                                         cellOf(chunk && chunk.offset), cellOf(chunk && chunk.size), note] });
  }
  for (const chunk of chunks.filter((c) => !matched.has(c))) {
    const note = ['not in the scan\'s directory', notesOf(chunk)].filter((n) => n).join('; ');
    rows.push({ at: chunk.offset, cells: [`'${chunk.id}'`, '', '', '', cellOf(chunk.offset), cellOf(chunk.size), note] });
  }
  if (broken) {
    rows.push({ at: broken.offset, cells: ['', '', '', '', cellOf(broken.offset), '', 'the chain breaks here: no chunk header'] });
  }
  return rows.sort((a, b) => a.at - b.at).map((row) => row.cells);
}

function notesOf(chunk) {
  return [chunk.form ? `form '${chunk.form}'` : '', chunk.truncated ? 'runs past the end of the file' : '']
      .filter((n) => n).join('; ');
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
    const listed = index ? `chunk ${index} of the directory, starts at ${start}, ${length} bytes to the next` : '';
    const chained = offset ? `in the chain at ${offset}${size ? `, ${size} bytes of payload` : ''}` : '';
    ui.statusbar.showMessage(`${id}: ${[listed, chained, note].filter((t) => t).join('; ')}`, 0);
  }
});
