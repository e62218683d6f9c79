'use strict';
// The mraid and mraidExt APIs: listeners, validations and the commands sent.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain } = require('./harness');

const MRD = {
  MRD000: 'Cannot add listener for unknown MRAID event!',
  MRD001: 'Missing argument(s)! Both event and/or listener are required for method call!',
  MRD002: 'Unable to find listener registered for event!',
  MRD003: 'Missing MRAID event! Cannot remove event listener!',
  MRD004: 'Missing object! An expand properties object is required for method call!',
  MRD005: 'Missing object! An orientation properties object is required for method call!',
  MRD006: 'Missing object! An resize properties object is required for method call!',
  MRD007: 'Missing URL! A URL is required for method call!',
  MRD008: 'Ad unit is hidden and cannot be closed!',
  MRD009: 'Missing URL! A video/caption URL is required for method call!',
  MRD010: 'Ad Unit is not viewable! Please make sure isViewAble is set to true!',
  MRD011: 'Ad unit can only be expanded from the default or resized state!',
  MRD012: 'Ad unit can only be resized from the default or resized state!',
  MRD013: 'Missing URI! A valid URI is required for method call!',
  MRD016: 'Missing app store id! An app store id is required for method call!'
};

// A ready page that records its error events.
function readyPage(properties) {
  const page = createPage();
  page.ready();
  if (properties) {
    page.bridge.notifyPropertiesChange(properties);
  }
  page.errors = page.record('error');
  return page;
}

test('event listeners', async (t) => {
  await t.test('the same function added twice is called once', () => {
    const page = createPage();
    let calls = 0;
    const listener = () => calls++;
    page.mraid.addEventListener('ready', listener);
    page.mraid.addEventListener('ready', listener);
    page.ready();
    assert.equal(calls, 1);
    page.close();
  });

  await t.test('listeners are keyed by their text: different texts all stay', () => {
    const page = createPage();
    const calls = [];
    page.mraid.addEventListener('ready', () => calls.push('a'));
    page.mraid.addEventListener('ready', () => calls.push('b'));
    const make = () => () => calls.push('same text');
    page.mraid.addEventListener('ready', make());
    page.mraid.addEventListener('ready', make());
    page.ready();
    assert.deepEqual(calls, ['a', 'b', 'same text']);
    page.close();
  });

  await t.test('only the seven MRAID events are accepted (MRD000)', () => {
    const page = createPage();
    const errors = page.record('error');
    page.mraid.addEventListener('click', () => {});
    page.mraid.addEventListener('exposureChange', () => {});
    assert.deepEqual(plain(errors), [
      ['error', MRD.MRD000, 'addEventListener'],
      ['error', MRD.MRD000, 'addEventListener']
    ]);
    for (const event of ['info', 'ready', 'error', 'stateChange', 'orientationChange', 'viewableChange', 'sizeChange']) {
      page.mraid.addEventListener(event, () => {});
    }
    assert.equal(errors.length, 2);
    page.close();
  });

  await t.test('a missing event or listener is MRD001', () => {
    const page = createPage();
    const errors = page.record('error');
    page.mraid.addEventListener('ready');
    page.mraid.addEventListener(undefined, () => {});
    page.mraid.addEventListener();
    assert.deepEqual(
      plain(errors).map((e) => e[1]),
      [MRD.MRD001, MRD.MRD001, MRD.MRD001]
    );
    page.close();
  });

  await t.test('removal: one listener, all of an event, MRD002 and MRD003', () => {
    const page = createPage();
    const errors = page.record('error');
    const calls = [];
    const a = () => calls.push('a');
    const b = () => calls.push('b');
    page.mraid.addEventListener('viewableChange', a);
    page.mraid.addEventListener('viewableChange', b);
    page.mraid.removeEventListener('viewableChange', a);
    page.bridge.notifyPropertiesChange({ isViewable: 'true' });
    assert.deepEqual(calls, ['b']);

    page.mraid.removeEventListener('viewableChange', a);
    page.mraid.removeEventListener('sizeChange', b);
    page.mraid.removeEventListener('', b);
    page.mraid.removeEventListener();
    assert.deepEqual(
      plain(errors).map((e) => [e[1], e[2]]),
      [
        [MRD.MRD002, 'removeEventListener'],
        [MRD.MRD002, 'removeEventListener'],
        [MRD.MRD003, 'removeEventListener'],
        [MRD.MRD003, 'removeEventListener']
      ]
    );

    page.mraid.removeEventListener('viewableChange');
    page.bridge.notifyPropertiesChange({ isViewable: 'false' });
    assert.deepEqual(calls, ['b']);
    page.close();
  });

  await t.test('a listener removing itself while called does not skip the next one', () => {
    const page = createPage();
    const calls = [];
    const first = () => {
      calls.push('first');
      page.mraid.removeEventListener('ready', first);
    };
    page.mraid.addEventListener('ready', first);
    page.mraid.addEventListener('ready', () => calls.push('second'));
    page.ready();
    assert.deepEqual(calls, ['first', 'second']);
    page.close();
  });
});

test('validations raise their MRD error event and post nothing', () => {
  const cases = [
    ['open without a url', 'MRD007', 'open', (p) => p.mraid.open()],
    ['open with an empty url', 'MRD007', 'open', (p) => p.mraid.open('')],
    ['close when hidden', 'MRD008', 'close', (p) => p.mraid.close(), { state: 'hidden' }],
    ['expand of an interstitial', 'MRD011', 'expand', (p) => p.mraid.expand(), { placementType: 'interstitial' }],
    ['expand of an unknown placement', 'MRD011', 'expand', (p) => p.mraid.expand()],
    ['expand when expanded', 'MRD011', 'expand', (p) => p.mraid.expand(), { placementType: 'inline', state: 'expanded' }],
    ['resize when expanded', 'MRD012', 'resize', (p) => p.mraid.resize(), { state: 'expanded' }],
    ['resize when hidden', 'MRD012', 'resize', (p) => p.mraid.resize(), { state: 'hidden' }],
    ['playVideo when not viewable', 'MRD010', 'playVideo', (p) => p.mraid.playVideo('v.mp4')],
    ['playVideo without a uri', 'MRD009', 'playVideo', (p) => p.mraid.playVideo(), { isViewable: 'true' }],
    ['storePicture when not viewable', 'MRD010', 'storePicture', (p) => p.mraid.storePicture('a.png')],
    ['storePicture without a uri', 'MRD013', 'storePicture', (p) => p.mraid.storePicture(), { isViewable: 'true' }],
    ['setExpandProperties without an object', 'MRD004', 'setExpandProperties', (p) => p.mraid.setExpandProperties()],
    ['setOrientationProperties with a string', 'MRD005', 'setOrientationProperties', (p) => p.mraid.setOrientationProperties('portrait')],
    ['setResizeProperties with null', 'MRD006', 'setResizeProperties', (p) => p.mraid.setResizeProperties(null)],
    ['prepareStoreView without an id', 'MRD016', 'prepareStoreView', (p) => p.tovane.mraidExt.prepareStoreView()],
    ['presentStoreView without an id', 'MRD016', 'presentStoreView', (p) => p.tovane.mraidExt.presentStoreView('')],
    ['dismissStoreOverlayView without an id', 'MRD016', 'dismissStoreOverlayView', (p) => p.tovane.mraidExt.dismissStoreOverlayView()],
    ['prepareStoreOverlayView without an id', 'MRD016', 'prepareStoreOverlayView', (p) => p.tovane.mraidExt.prepareStoreOverlayView(undefined, { a: 1 })],
    ['presentStoreOverlayView without an id', 'MRD016', 'presentStoreOverlayView', (p) => p.tovane.mraidExt.presentStoreOverlayView()]
  ];
  for (const [name, code, action, call, properties] of cases) {
    const page = readyPage(properties);
    call(page);
    assert.deepEqual(plain(page.errors), [['error', MRD[code], action]], name);
    assert.deepEqual(page.posted, [], name);
    page.close();
  }
});

test('setters validate against the current value (MRD015)', async (t) => {
  await t.test('a changed type or an unknown key is reported and nothing changes', () => {
    const page = readyPage();
    const before = plain(page.mraid.getResizeProperties());
    page.mraid.setResizeProperties({ width: '320', bogus: 1, height: 50 });
    assert.deepEqual(page.posted, ['mraid://error?code=MRD015%3AresizeProperties%3A320']);
    page.bridge.notifyCommandComplete();
    assert.deepEqual(page.posted, [
      'mraid://error?code=MRD015%3AresizeProperties%3A320',
      'mraid://error?code=MRD015%3AresizeProperties%3Abogus'
    ]);
    assert.deepEqual(plain(page.mraid.getResizeProperties()), before);
    page.close();
  });

  await t.test('matching keys and types are applied', () => {
    const page = readyPage();
    page.mraid.setResizeProperties({ width: 320, height: 50, customClosePosition: 'center', allowOffscreen: false });
    assert.deepEqual(plain(page.mraid.getResizeProperties()), {
      width: 320,
      height: 50,
      offsetX: 0,
      offsetY: 0,
      customClosePosition: 'center',
      allowOffscreen: false
    });
    page.mraid.setExpandProperties({ width: 10, height: 20, useCustomClose: true });
    assert.deepEqual(plain(page.mraid.getExpandProperties()), {
      width: 10,
      height: 20,
      useCustomClose: true,
      isModal: true
    });
    assert.deepEqual(page.posted, []);
    page.close();
  });

  await t.test('the type is the stored one: sizes pushed as text want text', () => {
    const page = readyPage({ maxSize: { width: '1920', height: '1080' } });
    page.mraid.setExpandProperties({ width: 300 });
    assert.deepEqual(page.posted, ['mraid://error?code=MRD015%3AexpandProperties%3A300']);
    assert.equal(page.mraid.getExpandProperties().width, '1920');
    page.close();
  });

  await t.test('useCustomClose may change type; isModal is ignored', () => {
    const page = readyPage();
    page.mraid.setExpandProperties({ useCustomClose: 'yes', isModal: false });
    assert.deepEqual(page.posted, []);
    assert.equal(page.mraid.getExpandProperties().useCustomClose, 'yes');
    assert.equal(page.mraid.getExpandProperties().isModal, true);
    page.close();
  });

  await t.test('setOrientationProperties sends nothing when invalid', () => {
    const page = readyPage();
    page.mraid.setOrientationProperties({ allowOrientationChange: 'no' });
    assert.deepEqual(page.posted, ['mraid://error?code=MRD015%3AorientationProperties%3Ano']);
    assert.equal(page.mraid.getOrientationProperties().allowOrientationChange, true);
    page.close();
  });

  await t.test('before the ready event the report is kept in debugLog', () => {
    const page = createPage();
    assert.doesNotThrow(() => page.mraid.setResizeProperties({ nope: true }));
    assert.deepEqual(page.posted, []);
    const log = page.tovane.debugLog.join('\n');
    assert.match(log, /TovaneMRAIDBridgeException BRG001/);
    assert.match(log, /MRD015:resizeProperties:nope/);
    page.close();
  });
});

test('commands sent by the MRAID API', () => {
  const viewable = { isViewable: 'true' };
  const inline = { placementType: 'inline' };
  const cases = [
    ['open', (p) => p.mraid.open('ms-windows-store://pdp/?ProductId=9N1'), ['mraid://open?url=ms-windows-store%3A%2F%2Fpdp%2F%3FProductId%3D9N1']],
    ['close', (p) => p.mraid.close(), ['mraid://close']],
    ['expand without url', (p) => p.mraid.expand(), ['mraid://expand?useCustomClose=false'], inline],
    ['expand with url', (p) => p.mraid.expand('https://a.b/c'), ['mraid://expand?useCustomClose=false&url=https%3A%2F%2Fa.b%2Fc'], inline],
    ['expand when resized', (p) => p.mraid.expand(), ['mraid://expand?useCustomClose=false'], { placementType: 'inline', state: 'resized' }],
    [
      'resize',
      (p) => {
        p.mraid.setResizeProperties({ width: 300, height: 250, offsetX: 5, offsetY: -5, customClosePosition: 'top-left', allowOffscreen: false });
        p.mraid.resize();
      },
      ['mraid://resize?width=300&height=250&offsetX=5&offsetY=-5&customClosePosition=top-left&allowOffscreen=false']
    ],
    [
      'setOrientationProperties',
      (p) => p.mraid.setOrientationProperties({ forceOrientation: 'landscape' }),
      ['mraid://setOrientationProperties?allowOrientationChange=true&forceOrientation=landscape']
    ],
    ['useCustomClose(true)', (p) => p.mraid.useCustomClose(true), ['mraid://useCustomClose?sdkCloseButton=invisible']],
    ['useCustomClose(false)', (p) => p.mraid.useCustomClose(false), ['mraid://useCustomClose?sdkCloseButton=visible']],
    ['useCustomClose()', (p) => p.mraid.useCustomClose(), ['mraid://useCustomClose?sdkCloseButton=gone']],
    ['playVideo', (p) => p.mraid.playVideo('v.mp4', 'c.vtt'), ['mraid://playVideo?uri=v.mp4&captionUrl=c.vtt'], viewable],
    ['playVideo without caption', (p) => p.mraid.playVideo('v.mp4'), ['mraid://playVideo?uri=v.mp4&captionUrl'], viewable],
    ['storePicture', (p) => p.mraid.storePicture('a b.png'), ['mraid://storePicture?uri=a%20b.png'], viewable],
    ['createCalendarEvent', (p) => p.mraid.createCalendarEvent({ description: 'x' }), []],
    ['prepareStoreView', (p) => p.tovane.mraidExt.prepareStoreView('9N1'), ['mraid://prepareStoreView?appStoreId=9N1']],
    ['presentStoreView', (p) => p.tovane.mraidExt.presentStoreView('9N1'), ['mraid://presentStoreView?appStoreId=9N1']],
    ['dismissStoreOverlayView', (p) => p.tovane.mraidExt.dismissStoreOverlayView('9N1'), ['mraid://dismissStoreOverlayView?appStoreId=9N1']],
    [
      'prepareStoreOverlayView',
      (p) => p.tovane.mraidExt.prepareStoreOverlayView('9N1', { position: 'bottom', userDismissible: true }),
      ['mraid://prepareStoreOverlayView?appStoreId=9N1&position=bottom&userDismissible=true']
    ],
    ['presentStoreOverlayView', (p) => p.tovane.mraidExt.presentStoreOverlayView('9N1'), ['mraid://presentStoreOverlayView?appStoreId=9N1']],
    ['useCustomPrivacy', (p) => p.tovane.mraidExt.useCustomPrivacy(true), ['mraid://useCustomPrivacy?useCustomPrivacy=true']]
  ];
  for (const [name, call, expected, properties] of cases) {
    const page = readyPage(properties);
    call(page);
    assert.deepEqual(page.posted, expected, name);
    assert.deepEqual(page.errors, [], name);
    page.close();
  }
});

test('mraidExt getters', () => {
  const page = createPage();
  page.bridge.notifyPropertiesChange({ os: 'windows', osVersion: 'Win10', sdkVersion: '7.0.1', incentivized: 'false' });
  const ext = page.tovane.mraidExt;
  assert.equal(ext.getMraidVersion(), 'v4.5.0');
  assert.deepEqual([ext.getOS(), ext.getOSVersion(), ext.getSDKVersion(), ext.getIncentivized()], [
    'windows',
    'Win10',
    '7.0.1',
    'false'
  ]);
  page.close();
});
