// Shared by the script tests: expect(got, want, what) counts what differs; done() ends the
// script with exit status 1 when anything did.
var failures = 0;
function expect(got, want, what) {
  if (JSON.stringify(got) !== JSON.stringify(want)) {
    print(`FAIL ${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`);
    ++failures;
  }
}
function expectError(call, message, what) {
  try {
    call();
    expect('no error', message, what);
  } catch (e) {
    expect(String(e.message).includes(message), true, `${what}: ${e.message}`);
  }
}
function done() { exit(failures ? 1 : 0); }
