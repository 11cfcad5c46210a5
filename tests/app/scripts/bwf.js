// A parser by operation name: open, scan, read every field, edit a copy, save, read it back.
// args: the bundled sample, a copy of it that this script edits.
const [sample, copy] = args;
const p = BWFParser['initWithPath:FPS:'](sample, 29.97);
expect(p.parse(), 0, 'parse');
expect([p.description(), p.originator(), p.originatorReference(), p.creationdate(),
        p.creationtime()],
       ['Line-up tone, 1 kHz at -18 dBFS', 'bextkit', 'BXK0000000001', '2026-12-06', '10:00:00'],
       'texts');
expect([p.samplePerSeconds(), p.bitsPerSample(), p.channels(), p.chunkFlags(), p.endianNess()],
       [48000, 24, 2, 0xC005, false], 'format and flags');
expect([p.getSamplesSinceMidnightLow(), p.getSamplesSinceMidnightHigh()], [172800000, 0],
       'time reference');
expect(Object.keys(p.getChunkDictionary()), ['RIFF', 'bext', 'data', 'fmt '], 'directory');
const fps = [0];
p['getfps:'](fps);
expect(fps[0], 29.97, 'the float rate as given');
expect(p.getBWFChunkData().byteLength, 649, 'the record as long as the chunk');
expect(Smpte['timecodeOfParser:rate:'](p, '29.97'), '01:00:00;00', 'SMPTE timecode');
expect(p.release(), true, 'release');
expectError(() => p.description(), 'released', 'a released parser');
expectError(() => p.release(), 'released already', 'a second release');
expectError(() => exit('abc'), 'whole number from 0 to 255', 'exit with a text');
expect(BWFParser['initWithPath:']('/nonexistent.wav'), null, 'a file that cannot be opened');

const edit = BWFParser['initWithPath:'](copy);
edit.parse();
edit['setDescription:']('Scripted take');
Smpte['setTimecodeOfParser:label:rate:'](edit, '10:00:00:00', '25');
expect([edit.saveFile(), edit.lastError()], [true, ''], 'save');
edit.release();
const back = BWFParser['initWithPath:'](copy);
back.parse();
expect([back.description(), back.getSamplesSinceMidnightLow(), back.timecodeString()],
       ['Scripted take', 1728000000, '10:00:00:00'], 'read back');
done();
