'use strict';
// The copy of the script built into the library, read back through
// kestrel::MraidScript() by the dump_mraid_script program.

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { createPage, scriptBytes } = require('./harness');

const dumpProgram = process.env.KESTREL_DUMP_MRAID_SCRIPT;
const skip = dumpProgram ? false : 'KESTREL_DUMP_MRAID_SCRIPT is not set (run through ctest)';

test('the embedded script', { skip }, async (t) => {
  const embedded = execFileSync(dumpProgram, { maxBuffer: 16 * 1024 * 1024 });

  await t.test('equals the source file byte for byte', () => {
    assert.equal(embedded.length, scriptBytes.length);
    assert.ok(embedded.equals(scriptBytes));
  });

  await t.test('is the same when written to a file', () => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'mraid-'));
    try {
      const file = path.join(dir, 'mraid.js');
      execFileSync(dumpProgram, [file]);
      assert.ok(fs.readFileSync(file).equals(scriptBytes));
    } finally {
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });

  await t.test('starts with its version header and runs in a page', () => {
    const text = new TextDecoder('utf-8', { fatal: true }).decode(embedded);
    assert.equal(text.split('\n')[0], '/* version 4.8.0 */');
    const page = createPage({ source: text });
    assert.equal(page.mraid.getState(), 'loading');
    page.ready();
    assert.equal(page.mraid.getState(), 'default');
    page.mraid.open('a/b');
    assert.deepEqual(page.posted, ['mraid://open?url=a%2Fb']);
    page.close();
  });
});
