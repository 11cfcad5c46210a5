// A report of every file given: its start as SMPTE timecode, its time reference in samples,
// and its description, one tab-separated line per file.
//   bextkit-script examples/timecode-report.js [--rate 29.97] FILE...
let rate = '25';
const files = [];
for (let i = 0; i < args.length; ++i) {
  if (args[i] === '--rate') rate = args[++i];
  else files.push(args[i]);
}
let failed = 0;
print(['file', `timecode at ${rate}`, 'samples', 'description'].join('\t'));
for (const file of files) {
  const parser = BWFParser['initWithPath:'](file);
  if (parser === null) {
    print(`${file}\tcannot be opened`);
    ++failed;
    continue;
  }
  parser.parse();
  const bext = parser.bextRecord();  // null for a file without a bext chunk
  const samples = bext && bext.TimeReference !== null ? bext.TimeReference : 'none';
  const timecode = Smpte['timecodeOfParser:rate:'](parser, rate) || 'none';
  print([file, timecode, samples, parser.description()].join('\t'));
  parser.release();
}
exit(failed ? 1 : 0);
