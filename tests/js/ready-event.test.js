'use strict';
// Script set-up, the ready event, and re-evaluation.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain, host, scriptSource } = require('./harness');

test('namespaces, tables and constants', async (t) => {
  const page = createPage();
  const { tovane } = page;

  await t.test('window.mraid is tovane.mraid, and every namespace exists', () => {
    assert.equal(page.window.mraid, tovane.mraid);
    for (const name of ['error', 'mraidCore', 'mraidBridge', 'mraidBridgeExt', 'mraid', 'mraidExt']) {
      assert.equal(typeof tovane[name], 'object', name);
    }
  });

  await t.test('each module leaves its line in debugLog', () => {
    assert.deepEqual(plain(tovane.debugLog), [
      'error loaded.',
      'mraidCore loaded.',
      'mraidBridge loaded.',
      'mraidBridgeExt loaded.',
      'mraid loaded.',
      'mraidExt loaded.'
    ]);
  });

  await t.test('error tables hold their codes, and there is no MRD014', () => {
    const codes = Object.fromEntries(Object.entries(tovane.error).map(([k, v]) => [k, Object.keys(v)]));
    const mrd = Array.from({ length: 17 }, (_, i) => 'MRD' + String(i).padStart(3, '0'));
    assert.deepEqual(plain(codes), {
      bridgeError: ['BRG000', 'BRG001'],
      bridgeExtError: ['BRX000'],
      mraidError: mrd.filter((code) => code !== 'MRD014'),
      mraidClientError: ['MRC000', 'MRC001', 'MRC002'],
      adTemplateError: ['ADT000', 'ADT001'],
      gestureTrackingError: ['GET000']
    });
    assert.equal(tovane.error.mraidError.MRD015, 'Invalid data/type detected when updating MRAID properties!');
    assert.equal(tovane.error.bridgeExtError.BRX000, 'Cannot retrieve #dynamic container in Ad Unit!');
  });

  await t.test('constants', () => {
    const { consts } = tovane.mraidCore;
    assert.deepEqual(plain(consts.versions), { V1: '1.0', V2: '2.0' });
    assert.deepEqual(plain(Object.values(consts.states)), ['loading', 'default', 'resized', 'expanded', 'hidden']);
    assert.deepEqual(plain(Object.values(consts.events)), [
      'info',
      'ready',
      'error',
      'stateChange',
      'orientationChange',
      'viewableChange',
      'sizeChange'
    ]);
    assert.deepEqual(plain(Object.values(consts.placements)), ['unknown', 'inline', 'interstitial']);
    assert.deepEqual(plain(Object.values(consts.orientations)), ['portrait', 'landscape', 'none']);
    assert.deepEqual(plain(Object.values(consts.closePositions)), [
      'center',
      'top-left',
      'top-center',
      'top-right',
      'bottom-left',
      'bottom-center',
      'bottom-right'
    ]);
  });
  page.close();
});

test('the ready event', async (t) => {
  await t.test('moves the state from loading to default: "stateChange" then "ready"', () => {
    const page = createPage();
    const seen = page.record('stateChange', 'ready');
    page.run(host.readyEvent('{}'));
    assert.equal(page.mraid.getState(), 'default');
    assert.deepEqual(plain(seen), [['stateChange', 'default'], ['ready']]);
    page.close();
  });

  await t.test('in state default broadcasts "ready" alone', () => {
    const page = createPage();
    page.bridge.notifyPropertiesChange({ state: 'default' });
    const seen = page.record('stateChange', 'ready');
    page.ready();
    assert.equal(page.mraid.getState(), 'default');
    assert.deepEqual(plain(seen), [['ready']]);
    page.close();
  });

  await t.test('from another state also ends in default', () => {
    const page = createPage();
    page.bridge.notifyPropertiesChange({ state: 'hidden' });
    const seen = page.record('stateChange', 'ready');
    page.ready();
    assert.deepEqual(plain(seen), [['stateChange', 'default'], ['ready']]);
    page.close();
  });

  await t.test('a listener added from a "ready" listener sees later events', () => {
    const page = createPage();
    const later = [];
    page.mraid.addEventListener('ready', () => {
      page.mraid.addEventListener('viewableChange', (v) => later.push(v));
    });
    page.ready();
    page.bridge.notifyPropertiesChange({ isViewable: 'true' });
    assert.deepEqual(later, ['true']);
    page.close();
  });
});

test('replacement tokens and the network-ad flags', async (t) => {
  await t.test('an object makes a network ad and supplies the tokens and flags', () => {
    const page = createPage();
    const ext = page.tovane.mraidBridgeExt;
    assert.equal(ext.getIsTovaneAd(), false);
    const tokens = {
      APP_NAME: 'Game',
      ASOI_SETTINGS: 'off',
      isDirectDownload: 'true',
      isDisplayIAP: 'false',
      isInstalled: 'true'
    };
    page.run(host.readyEvent(JSON.stringify(tokens)));
    assert.equal(ext.getIsTovaneAd(), true);
    assert.equal(ext.getIsInstalled(), 'true');
    assert.equal(ext.getIsDisplayIAP(), 'false');
    assert.equal(ext.getIsDirectDownload(), 'true');
    assert.deepEqual(plain(ext.getReplacementTokens()), tokens);
    // Commands flow and no view is reported on the ad's behalf.
    assert.deepEqual(page.posted, []);
    page.mraid.close();
    assert.deepEqual(page.posted, ['mraid://close']);
    page.close();
  });

  await t.test('an empty object is still a network ad, with unset flags', () => {
    const page = createPage();
    const ext = page.tovane.mraidBridgeExt;
    page.run(host.readyEvent('{}'));
    assert.equal(ext.getIsTovaneAd(), true);
    assert.equal(ext.getIsInstalled(), undefined);
    assert.equal(ext.getIsDisplayIAP(), undefined);
    assert.equal(ext.getIsDirectDownload(), undefined);
    assert.deepEqual(plain(ext.getReplacementTokens()), {});
    page.close();
  });

  await t.test('no argument: not a network ad, and "successfulView" goes out at once', () => {
    const page = createPage();
    const ext = page.tovane.mraidBridgeExt;
    const seen = page.record('ready');
    page.bridge.notifyReadyEvent();
    assert.deepEqual(page.posted, ['mraid://successfulView']);
    assert.equal(ext.getIsTovaneAd(), false);
    assert.deepEqual(plain(ext.getReplacementTokens()), {});
    assert.equal(seen.length, 1);
    page.close();
  });
});

test('a second evaluation keeps the running state', () => {
  const page = createPage();
  const { window } = page;
  const mraid = window.mraid;
  const bridge = page.bridge;
  const seen = [];
  mraid.addEventListener('viewableChange', (v) => seen.push(v));
  page.run(host.properties('{"os":"windows","placementType":"inline"}'));
  page.ready({ isInstalled: 'true' });
  page.tovane.mraidBridgeExt.notifyTPAT('a');
  page.tovane.mraidBridgeExt.notifyTPAT('b');

  page.run(scriptSource);

  assert.equal(window.mraid, mraid);
  assert.equal(page.bridge, bridge);
  assert.equal(mraid.getState(), 'default');
  assert.equal(mraid.getPlacementType(), 'inline');
  assert.equal(page.tovane.mraidExt.getOS(), 'windows');
  assert.equal(page.tovane.mraidBridgeExt.getIsInstalled(), 'true');
  // Still ready, still one in flight with one queued.
  assert.deepEqual(page.posted, ['mraid://tpat?event=a']);
  bridge.notifyCommandComplete();
  assert.deepEqual(page.posted, ['mraid://tpat?event=a', 'mraid://tpat?event=b']);
  // The listener is still there, once.
  page.run(host.properties('{"isViewable":"true"}'));
  assert.deepEqual(seen, ['true']);
  assert.equal(page.tovane.debugLog.filter((line) => line === 'mraid loaded.').length, 2);
  page.close();
});

test('bridge calls leave a line naming themselves in debugLog', () => {
  const page = createPage();
  const log = page.tovane.debugLog;
  const calls = [
    ['notifyPropertiesChange', () => page.bridge.notifyPropertiesChange({})],
    ['notifyReadyEvent', () => page.bridge.notifyReadyEvent({})],
    ['executeSDKCommand', () => page.bridge.executeSDKCommand('close')],
    ['notifyCommandComplete', () => page.bridge.notifyCommandComplete()],
    ['notifyErrorEvent', () => page.bridge.notifyErrorEvent('x', 'y')]
  ];
  for (const [name, call] of calls) {
    const before = log.length;
    call();
    assert.ok(log.slice(before).some((line) => line.includes(name)), name);
  }
  page.close();
});
