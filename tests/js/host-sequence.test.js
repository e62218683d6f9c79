'use strict';
// A play as the host drives it, with the exact texts it runs in the page.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, host } = require('./harness');

test('hook-up, properties, ready event, then one command per completion', () => {
  const page = createPage({ errorHook: true });
  // The creative's own script runs before the page has finished loading.
  page.run(`
    window.seen = [];
    mraid.addEventListener('ready', function () {
      window.seen.push('ready ' + mraid.getState() + ' ' + mraid.getPlacementType());
      tovane.mraidBridgeExt.notifyTPAT('impression');
      mraid.open('https://apps.microsoft.com/store/detail/9NBLGGH4R32N');
    });
  `);
  assert.deepEqual(page.posted, []);

  assert.equal(page.run(host.hookUp), 'true');
  page.run(
    host.properties(
      '{"currentPosition":{"height":"1080","width":"1920","x":"0","y":"0"},"incentivized":"true",' +
        '"isViewable":"true","os":"windows","osVersion":"Win10","placementType":"fullscreen","version":"1.0"}'
    )
  );
  page.run(host.readyEvent('{"ASOI_SETTINGS":"off","isInstalled":"false"}'));

  assert.deepEqual(Array.from(page.window.seen), ['ready default fullscreen']);
  assert.deepEqual(page.posted, ['mraid://tpat?event=impression']);
  page.run(host.commandComplete);
  assert.deepEqual(page.posted, [
    'mraid://tpat?event=impression',
    'mraid://open?url=https%3A%2F%2Fapps.microsoft.com%2Fstore%2Fdetail%2F9NBLGGH4R32N'
  ]);
  page.run(host.commandComplete);

  page.run('mraid.close(); tovane.mraidBridgeExt.notifyTPAT("after");');
  assert.equal(page.posted.at(-1), 'mraid://close');
  assert.equal(page.posted.length, 3);
  assert.deepEqual(
    page.posted.filter((m) => m.startsWith('JS_KE_')),
    [],
    'no page error reached the error hook'
  );
  page.close();
});

test('a creative calling mraid before the ready event reaches the error hook', async () => {
  const page = createPage({ errorHook: true });
  page.run(host.hookUp);
  page.run("setTimeout(function () { mraid.open('https://example.com/'); }, 0);");
  const report = await page.channel.waitFor((m) => m.startsWith('JS_KE_ERROR:'));
  assert.match(report, /BRG001/);
  assert.ok(!page.posted.some((m) => m.startsWith('mraid://')));
  page.close();
});
