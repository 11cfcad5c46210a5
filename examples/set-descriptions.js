// Sets the description of many files from a pattern: {name} is the file's name without its
// folder and extension, {n} its position among the files (1, 2, ...), {date} its origination
// date. With --dry-run, prints what it would write and saves nothing.
//   bextkit-script examples/set-descriptions.js "Scene 12, take {n}" [--dry-run] FILE...
const [pattern, ...rest] = args;
const dryRun = rest.includes('--dry-run');
const files = rest.filter((a) => a !== '--dry-run');
if (pattern === undefined || files.length === 0) {
  print('usage: set-descriptions.js PATTERN [--dry-run] FILE...');
  exit(2);
}
let failed = 0;
files.forEach((file, index) => {
  const parser = BWFParser['initWithPath:'](file);
  if (parser === null) {
    print(`${file}: cannot be opened`);
    ++failed;
    return;
  }
  parser.parse();
  const base = file.slice(file.lastIndexOf('/') + 1);
  const name = base.includes('.') ? base.slice(0, base.lastIndexOf('.')) : base;
  // split and join: the engine of Qt 6.4 has no String.prototype.replaceAll.
  const text = pattern.split('{name}').join(name)
                   .split('{n}').join(String(index + 1))
                   .split('{date}').join(parser.creationdate());
  if (dryRun) {
    print(`${file}: would set "${text}"`);
  } else if (parser['setDescription:'](text), parser.saveFile()) {
    print(`${file}: "${text}"`);
  } else {
    print(parser.lastError());
    ++failed;
  }
  parser.release();
});
exit(failed ? 1 : 0);
