// Type and creator codes by operation name. args: the sample, and a copy this script may mark.
const [, file] = args, F = FileManager;
expect([F['setTypeCode:atPath:']('WAVE', file), F['setCreatorCode:atPath:']('bext', file)],
       [true, true], 'set both codes');
expect([F['typeCodeAtPath:'](file), F['creatorCodeAtPath:'](file)], ["'WAVE'", "'bext'"],
       'read both codes');
expect(F['setTypeCode:atPath:']('ABC', file), false, 'a code of three bytes');
expect(F['typeCodeAtPath:'](file), "'WAVE'", 'a refused code changes nothing');
expect(F['setCreatorCode:atPath:']('TEXT', '/nonexistent.wav'), false, 'a missing file');
expect(F['creatorCodeAtPath:']('/nonexistent.wav'), "''", 'a missing file reads as code 0');
done();
