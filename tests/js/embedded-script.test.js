'use strict';
// The copy of the script built into the library, read back through
// kestrel::MraidScript() by the dump_mraid_script program.

const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { createPage, scriptBytes } = require('./harness');

const dumpProgram = process.env.KESTREL_DUMP_MRAID_SCRIPT;

test('the embedded script is the source file, byte for byte, and runs', { skip: !dumpProgram && 'run through ctest' }, () => {
  const embedded = execFileSync(dumpProgram, { maxBuffer: 16 * 1024 * 1024 });
  assert.ok(embedded.equals(scriptBytes), 'embedded ' + embedded.length + ' bytes, source ' + scriptBytes.length);
  const page = createPage({ source: embedded.toString('utf8') }).ready();
  page.mraid.open('a/b');
  assert.deepEqual(page.posted, ['mraid://open?url=a%2Fb']);
});
