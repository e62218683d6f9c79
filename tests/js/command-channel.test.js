'use strict';
// Command sending: readiness, URL building, the one-at-a-time channel.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain, host } = require('./harness');

test('commands before the ready event', async (t) => {
  await t.test('throw BRG001, raise an error event and post nothing', () => {
    const page = createPage();
    const errors = page.record('error');
    assert.throws(() => page.mraid.open('https://example.com/'), (err) => {
      assert.equal(err.name, 'TovaneMRAIDBridgeException');
      assert.equal(err.message, 'BRG001');
      return true;
    });
    assert.throws(() => page.mraid.close(), { name: 'TovaneMRAIDBridgeException', message: 'BRG001' });
    assert.deepEqual(page.posted, []);
    assert.deepEqual(plain(errors), [
      ['error', 'Tovane SDK is not ready to process MRAID command!', 'executeSDKCommand'],
      ['error', 'Tovane SDK is not ready to process MRAID command!', 'executeSDKCommand']
    ]);
    page.close();
  });

  await t.test('do not leave anything queued for after the ready event', () => {
    const page = createPage();
    assert.throws(() => page.bridge.executeSDKCommand('tpat', 'event', 'a'));
    page.ready();
    assert.deepEqual(page.posted, []);
    page.bridge.executeSDKCommand('tpat', 'event', 'b');
    assert.deepEqual(page.posted, ['mraid://tpat?event=b']);
    page.close();
  });
});

test('a missing command throws BRG000, ready or not', () => {
  for (const ready of [false, true]) {
    const page = createPage();
    if (ready) {
      page.ready();
    }
    const errors = page.record('error');
    for (const call of [() => page.bridge.executeSDKCommand(), () => page.bridge.executeSDKCommand('')]) {
      assert.throws(call, { name: 'TovaneMRAIDBridgeException', message: 'BRG000' });
    }
    assert.deepEqual(page.posted, []);
    assert.equal(errors.length, 2);
    assert.equal(errors[0][1], 'Missing command in mraidBridge.executeSDKCommand method call!');
    page.close();
  }
});

test('command URLs', async (t) => {
  const page = createPage();
  page.ready();

  await t.test('mraid.open percent-encodes ":" and "/" in the url', () => {
    assert.deepEqual(page.sent(() => page.mraid.open('https://example.com/a/b?x=1&y=2')), [
      'mraid://open?url=https%3A%2F%2Fexample.com%2Fa%2Fb%3Fx%3D1%26y%3D2'
    ]);
  });

  await t.test('keys are encoded too, and the first pair follows "?", the others "&"', () => {
    assert.deepEqual(page.sent(() => page.bridge.executeSDKCommand('action', 'a b', 'c&d', 'e=f', 'ü')), [
      'mraid://action?a%20b=c%26d&e%3Df=%C3%BC'
    ]);
  });

  await t.test('a key whose value is undefined has no "="; null and false are sent as text', () => {
    assert.deepEqual(
      page.sent(() => page.bridge.executeSDKCommand('x', 'gone', undefined, 'n', null, 'f', false, 'z', 0)),
      ['mraid://x?gone&n=null&f=false&z=0']
    );
  });

  await t.test('a command without parameters is the bare URL', () => {
    assert.deepEqual(page.sent(() => page.bridge.executeSDKCommand('openStorePage')), ['mraid://openStorePage']);
  });
  page.close();
});

test('one command in flight at a time', async (t) => {
  await t.test('two commands back to back post one; the second follows notifyCommandComplete', () => {
    const page = createPage();
    page.ready();
    page.mraid.open('a');
    page.tovane.mraidBridgeExt.notifyTPAT('impression');
    assert.deepEqual(page.posted, ['mraid://open?url=a']);
    page.bridge.notifyCommandComplete();
    assert.deepEqual(page.posted, ['mraid://open?url=a', 'mraid://tpat?event=impression']);
    page.close();
  });

  await t.test('queued commands go out in order, one per completion, then the channel is idle', () => {
    const page = createPage();
    page.ready();
    for (const event of ['a', 'b', 'c']) {
      page.tovane.mraidBridgeExt.notifyTPAT(event);
    }
    assert.equal(page.posted.length, 1);
    page.bridge.notifyCommandComplete();
    assert.equal(page.posted.length, 2);
    page.bridge.notifyCommandComplete();
    assert.equal(page.posted.length, 3);
    page.bridge.notifyCommandComplete();
    assert.equal(page.bridge.commandInFlight, false);
    // Idle again: the next command goes out at once.
    page.tovane.mraidBridgeExt.notifyTPAT('d');
    assert.deepEqual(page.posted, [
      'mraid://tpat?event=a',
      'mraid://tpat?event=b',
      'mraid://tpat?event=c',
      'mraid://tpat?event=d'
    ]);
    page.close();
  });

  await t.test('nothing is sent after "close", which native code never completes', () => {
    const page = createPage();
    page.ready();
    page.mraid.close();
    page.tovane.mraidBridgeExt.notifyTPAT('after-close');
    page.mraid.open('https://example.com/');
    assert.deepEqual(page.posted, ['mraid://close']);
    page.close();
  });

  await t.test('a completion with nothing queued sends nothing', () => {
    const page = createPage();
    page.ready();
    page.bridge.notifyCommandComplete();
    page.bridge.notifyCommandComplete();
    assert.deepEqual(page.posted, []);
    page.close();
  });
});

test('notifyContainer', async (t) => {
  await t.test('by default posts through window.chrome.webview', () => {
    const page = createPage();
    page.ready();
    page.mraid.close();
    assert.deepEqual(page.posted, ['mraid://close']);
    page.close();
  });

  await t.test('the host hook-up text replaces it and answers "true"; without the script, "false"', () => {
    const page = createPage();
    const original = page.bridge.notifyContainer;
    assert.equal(page.run(host.hookUp), 'true');
    assert.notEqual(page.bridge.notifyContainer, original);
    page.ready();
    page.mraid.close();
    assert.deepEqual(page.posted, ['mraid://close']);
    page.close();

    const bare = createPage({ source: null });
    assert.equal(bare.run(host.hookUp), 'false');
    bare.close();
  });

  await t.test('a replacement receives every command', () => {
    const page = createPage();
    const received = [];
    page.bridge.notifyContainer = (message) => received.push(message);
    page.ready();
    page.mraid.open('x');
    page.bridge.notifyCommandComplete();
    page.mraid.close();
    assert.deepEqual(received, ['mraid://open?url=x', 'mraid://close']);
    assert.deepEqual(page.posted, []);
    page.close();
  });

  await t.test('a post that throws leaves the channel idle', () => {
    const page = createPage();
    page.ready();
    let fail = true;
    const received = [];
    page.bridge.notifyContainer = (message) => {
      if (fail) {
        throw new Error('no channel');
      }
      received.push(message);
    };
    assert.throws(() => page.mraid.open('x'), /no channel/);
    fail = false;
    page.mraid.open('y');
    assert.deepEqual(received, ['mraid://open?url=y']);
    page.close();
  });
});
