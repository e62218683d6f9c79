'use strict';
// The bridge as the host drives it: properties, the ready event, and the
// channel that carries one command at a time.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain, host, scriptSource } = require('./harness');

test('a play as the host drives it, with the texts it runs in the page', () => {
  const page = createPage({ errorHook: true });
  // The creative's own script runs before the page has finished loading.
  page.run(`
    window.seen = [];
    mraid.addEventListener('ready', function () {
      window.seen.push([mraid.getState(), mraid.getPlacementType(), mraid.isViewable(), mraid.getMaxSize().width]);
      tovane.mraidBridgeExt.notifyTPAT('impression');
      mraid.open('https://apps.microsoft.com/store/detail/9NBLGGH4R32N');
    });
  `);
  assert.equal(page.run(host.hookUp), 'true');
  assert.equal(createPage({ source: null }).run(host.hookUp), 'false');
  page.run(host.properties('{"isViewable":"true","maxSize":{"height":"1080","width":"1920"},"placementType":"interstitial"}'));
  assert.deepEqual(page.posted, []);
  page.run(host.readyEvent('{"ASOI_SETTINGS":"off","isInstalled":"false"}'));

  assert.deepEqual(plain(page.window.seen), [['default', 'interstitial', true, '1920']]);
  assert.deepEqual(page.posted, ['mraid://tpat?event=impression']);
  page.run(host.commandComplete);
  assert.equal(page.posted[1], 'mraid://open?url=https%3A%2F%2Fapps.microsoft.com%2Fstore%2Fdetail%2F9NBLGGH4R32N');
  page.run(host.commandComplete);
  // Native code never completes "close": nothing goes out after it.
  page.run('mraid.close(); tovane.mraidBridgeExt.notifyTPAT("after"); mraid.open("x");');
  assert.deepEqual(page.posted.slice(2), ['mraid://close']);
});

test('the ready event', () => {
  const cases = [
    // name, state before, replacements (undefined: none), events, posted, network ad
    ['from loading', undefined, {}, [['stateChange', 'default'], ['ready']], [], true],
    ['in state default', 'default', {}, [['ready']], [], true],
    ['from hidden', 'hidden', {}, [['stateChange', 'default'], ['ready']], [], true],
    ['without replacements', undefined, undefined, [['stateChange', 'default'], ['ready']], ['mraid://successfulView'], false]
  ];
  for (const [name, state, replacements, events, posted, network] of cases) {
    const page = createPage();
    if (state) page.bridge.notifyPropertiesChange({ state });
    const seen = page.record('stateChange', 'ready');
    page.bridge.notifyReadyEvent(replacements);
    assert.equal(page.mraid.getState(), 'default', name);
    assert.deepEqual(seen, events, name);
    assert.deepEqual(page.posted, posted, name);
    assert.equal(page.ext.getIsTovaneAd(), network, name);
  }

  // The replacements supply the tokens and the network-ad flags; the getter hands out a copy.
  const page = createPage();
  const tokens = { APP_NAME: 'Game', isDirectDownload: 'true', isDisplayIAP: 'false', isInstalled: 'true' };
  page.run(host.readyEvent(JSON.stringify(tokens)));
  const ext = page.ext;
  assert.deepEqual([ext.getIsInstalled(), ext.getIsDisplayIAP(), ext.getIsDirectDownload()], ['true', 'false', 'true']);
  ext.getReplacementTokens().APP_NAME = 'changed';
  assert.deepEqual(plain(ext.getReplacementTokens()), tokens);
  assert.equal(createPage().ready().ext.getIsInstalled(), undefined);
});

test('commands before the ready event throw, raise an error event, and are not kept', () => {
  const page = createPage();
  const errors = page.record('error');
  const bridgeError = page.tovane.error.bridgeError;
  for (const call of [() => page.mraid.open('https://example.com/'), () => page.bridge.executeSDKCommand('tpat', 'event', 'a')]) {
    assert.throws(call, { name: 'TovaneMRAIDBridgeException', message: 'BRG001' });
  }
  assert.deepEqual(errors, [
    ['error', bridgeError.BRG001, 'executeSDKCommand'],
    ['error', bridgeError.BRG001, 'executeSDKCommand']
  ]);
  page.ready();
  assert.deepEqual(page.posted, []);
  // A missing command is refused, ready or not.
  for (const command of [undefined, '']) {
    assert.throws(() => page.bridge.executeSDKCommand(command), { message: 'BRG000' });
  }
  assert.equal(errors.at(-1)[1], bridgeError.BRG000);
  assert.deepEqual(page.posted, []);
});

test('command URLs', () => {
  const page = createPage().ready();
  const cases = [
    [['open', 'url', 'https://example.com/a/b?x=1&y=2'], 'mraid://open?url=https%3A%2F%2Fexample.com%2Fa%2Fb%3Fx%3D1%26y%3D2'],
    [['action', 'a b', 'c&d', 'e=f', 'ü'], 'mraid://action?a%20b=c%26d&e%3Df=%C3%BC'],
    [['x', 'gone', undefined, 'n', null, 'f', false, 'z', 0], 'mraid://x?gone&n=null&f=false&z=0'],
    [['openStorePage'], 'mraid://openStorePage']
  ];
  for (const [args, url] of cases) {
    assert.deepEqual(page.sent(() => page.bridge.executeSDKCommand(...args)), [url], args[0]);
  }
});

test('one command in flight: the others wait, in order, for notifyCommandComplete', () => {
  const page = createPage().ready();
  for (const event of ['a', 'b', 'c']) page.ext.notifyTPAT(event);
  assert.equal(page.posted.length, 1);
  page.bridge.notifyCommandComplete();
  page.bridge.notifyCommandComplete();
  page.bridge.notifyCommandComplete();
  page.bridge.notifyCommandComplete(); // nothing queued: nothing sent
  page.ext.notifyTPAT('d'); // idle again: out at once
  assert.deepEqual(page.posted, ['a', 'b', 'c', 'd'].map((e) => 'mraid://tpat?event=' + e));

  // A post that throws leaves the channel idle.
  let fail = true;
  page.bridge.notifyCommandComplete();
  page.bridge.notifyContainer = (message) => {
    if (fail) throw new Error('no channel');
    page.posted.push(message);
  };
  assert.throws(() => page.mraid.open('x'), /no channel/);
  fail = false;
  page.mraid.open('y');
  assert.equal(page.posted.at(-1), 'mraid://open?url=y');
});

test('the property store', () => {
  const page = createPage();
  const { bridge, mraid } = page;
  // What a creative reads before the host has said anything.
  assert.deepEqual([mraid.getState(), mraid.getPlacementType(), mraid.isViewable(), mraid.supports('sms')], ['loading', 'unknown', false, false]);
  // Objects merge key by key; plain values are replaced; null leaves an object as it was.
  bridge.notifyPropertiesChange({ resizeProperties: { width: 50, offsetX: 3 }, placementType: 'inline' });
  bridge.notifyPropertiesChange({ resizeProperties: { height: 60 }, placementType: 'interstitial' });
  bridge.notifyPropertiesChange({ maxSize: { width: '800', height: '600' } });
  bridge.notifyPropertiesChange({ maxSize: null });
  const resize = plain(mraid.getResizeProperties());
  assert.deepEqual([resize.width, resize.height, resize.offsetX, resize.offsetY], [50, 60, 3, 0]);
  assert.equal(mraid.getPlacementType(), 'interstitial');
  assert.deepEqual(plain(mraid.getMaxSize()), { width: '800', height: '600' });
  // maxSize is the size an expand takes.
  assert.deepEqual([mraid.getExpandProperties().width, mraid.getExpandProperties().height], ['800', '600']);
  // Getters hand out copies.
  mraid.getMaxSize().width = 1;
  assert.equal(mraid.getMaxSize().width, '800');
  // Flags arrive as text; the boolean getters read them as flags.
  bridge.notifyPropertiesChange({ isViewable: 'true', supports: { tel: 'true', sms: 'false' } });
  assert.deepEqual([mraid.isViewable(), mraid.getViewable(), mraid.supports('tel'), mraid.supports('sms'), mraid.supports('x')], [true, true, true, false, false]);
});

test('property updates broadcast their events', () => {
  const cases = [
    [{ screenSize: { width: '640', height: '480' } }, [['sizeChange', '640', '480']]],
    [{ isViewable: 'false' }, [['viewableChange', 'false']]],
    [{ state: 'expanded' }, [['stateChange', 'expanded']]],
    [{ state: 'default' }, [['stateChange', 'default'], ['ready']]],
    [{ os: 'windows', placementType: 'inline', bogus: '1' }, [['error', 'MRD015: Unhandled Property received - bogus - 1', 'notifyPropertiesChange']]]
  ];
  for (const [properties, events] of cases) {
    const page = createPage();
    const seen = page.record('sizeChange', 'viewableChange', 'stateChange', 'ready', 'error');
    page.run(host.properties(JSON.stringify(properties)));
    assert.deepEqual(seen, events, JSON.stringify(properties));
  }
  // Version, position and the property objects are reported as "info".
  const page = createPage();
  const info = page.record('info');
  page.bridge.notifyPropertiesChange({ version: '2.0', defaultPosition: { x: '1' } });
  assert.equal(info.length, 2);
  assert.match(info[1][1], /defaultPosition.*"x":"1"/);
});

test('notifyPropertiesChange reports completion only when asked with true', () => {
  const cases = [[true, ['mraid://propertiesChangeCompleted']], ['true', []], [1, []], [undefined, []]];
  for (const [completed, posted] of cases) {
    const page = createPage().ready();
    page.bridge.notifyPropertiesChange({ os: 'windows' }, completed);
    assert.deepEqual(page.posted, posted, String(completed));
    assert.equal(page.tovane.mraidExt.getOS(), 'windows');
  }
  // Before the ready event the properties still apply and nothing throws.
  const page = createPage();
  assert.doesNotThrow(() => page.bridge.notifyPropertiesChange({ os: 'a' }, true));
  assert.equal(page.tovane.mraidExt.getOS(), 'a');
});

test('page errors reach the host through the error hook', async () => {
  // A throwing listener does not stop the others.
  const page = createPage({ errorHook: true });
  const seen = [];
  page.mraid.addEventListener('viewableChange', () => {
    throw new Error('listener failed');
  });
  page.mraid.addEventListener('viewableChange', (value) => seen.push(value));
  page.run(host.properties('{"isViewable":"true"}'));
  assert.deepEqual(seen, ['true']);
  assert.match(await page.waitFor((m) => m.startsWith('JS_KE_ERROR:')), /listener failed/);

  // A creative calling mraid before the ready event.
  const early = createPage({ errorHook: true });
  early.run(host.hookUp);
  early.run("setTimeout(function () { mraid.open('https://example.com/'); }, 0);");
  assert.match(await early.waitFor((m) => m.startsWith('JS_KE_ERROR:')), /BRG001/);
  assert.ok(!early.posted.some((m) => m.startsWith('mraid://')));
});

test('a second evaluation keeps the running state', () => {
  const page = createPage();
  const { mraid, bridge } = page;
  const seen = [];
  mraid.addEventListener('viewableChange', (v) => seen.push(v));
  page.ready({ placementType: 'inline' }, { isInstalled: 'true' });
  page.ext.notifyTPAT('a');
  page.ext.notifyTPAT('b');

  page.run(scriptSource);

  assert.equal(page.window.mraid, mraid);
  assert.equal(page.bridge, bridge);
  assert.deepEqual([mraid.getState(), mraid.getPlacementType(), page.ext.getIsInstalled()], ['default', 'inline', 'true']);
  // Still one in flight with one queued, and the listener is there once.
  assert.deepEqual(page.posted, ['mraid://tpat?event=a']);
  bridge.notifyCommandComplete();
  assert.deepEqual(page.posted, ['mraid://tpat?event=a', 'mraid://tpat?event=b']);
  page.run(host.properties('{"isViewable":"true"}'));
  assert.deepEqual(seen, ['true']);
});
