// TimeCode and Smpte by operation name, as the window calls them.
const T = TimeCode, S = Smpte;
expect(T['framesFromTimeCode:fps:']('01:00:00;00', 29.97), 107892, 'frames of a drop-frame label');
expect(T['isLegalTimeCode:fps:']('00;01;00;00', 29.97), false, 'a dropped label');
const fields = [9, 9, 9, 9];  // fields the text does not reach keep their values
T['splitTimeCode:fps:intoVector:']('01:02', 25, fields);
expect(fields, [1, 2, 9, 9], 'split into caller storage');
expect(T['framesToFeetFrames:type:delimiter:'](12345, 16, '+'), '0771+09', 'feet');
expect(T['feetFramesToArray:type:delimiter:fps:']('99999+00', 16, '+', 25),
       ['0009', '9999', '00'], 'footage array');
expect(S.rates().length, 12, 'SMPTE rates');
expect(S['framesFromLabel:rate:']('00:01:00;04', '59.94'), 3600, 'SMPTE 59.94 label');
expect(S['whyIllegal:rate:']('00:01:00;01', '29.97').includes('does not exist'), true, 'why');
expectError(() => T['maxFramesForFPS:']('25'), "argument 1 must be a 32-bit float",
            'a string for a float');
expectError(() => S['timecodeOfParser:rate:']({}, '25'), 'argument 1 must be a parser object',
            'an object that is no parser');
expectError(() => T['maxFramesForFPS:'](), "expected 1 arguments", 'too few arguments');
expectError(() => S['framesFromLabel:rate:']('01:00:00:00', '27'), "no SMPTE rate", 'bad rate');
expectError(() => T['nosuch:'](1), "nosuch:", 'an unknown operation');
done();
