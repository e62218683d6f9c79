'use strict';
// What a creative calls: mraid, mraidExt and the template's mraidBridgeExt.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain } = require('./harness');

const viewable = { isViewable: 'true' };
const inline = { placementType: 'inline' };

test('event listeners', () => {
  const page = createPage();
  const { mraid } = page;
  const errors = page.record('error');
  const calls = [];
  const twice = () => calls.push('twice');
  const selfRemoving = () => {
    calls.push('self');
    mraid.removeEventListener('ready', selfRemoving);
  };
  mraid.addEventListener('ready', twice);
  mraid.addEventListener('ready', twice);
  mraid.addEventListener('ready', selfRemoving);
  // Listeners are keyed by their text: two functions of the same text are one.
  const make = () => () => calls.push('same text');
  mraid.addEventListener('ready', make());
  mraid.addEventListener('ready', make());
  mraid.addEventListener('ready', () => calls.push('last'));
  page.ready();
  page.bridge.notifyPropertiesChange({ state: 'default' });
  assert.deepEqual(calls, ['twice', 'self', 'same text', 'last', 'twice', 'same text', 'last']);

  const a = () => calls.push('a');
  mraid.addEventListener('viewableChange', a);
  mraid.addEventListener('viewableChange', () => calls.push('b'));
  mraid.removeEventListener('viewableChange', a);
  page.bridge.notifyPropertiesChange(viewable);
  mraid.removeEventListener('viewableChange');
  page.bridge.notifyPropertiesChange(viewable);
  assert.equal(calls.filter((c) => c === 'a' || c === 'b').join(), 'b');

  const wrong = [
    ['MRD000', 'addEventListener', () => mraid.addEventListener('exposureChange', a)],
    ['MRD001', 'addEventListener', () => mraid.addEventListener('ready')],
    ['MRD001', 'addEventListener', () => mraid.addEventListener(undefined, a)],
    ['MRD002', 'removeEventListener', () => mraid.removeEventListener('viewableChange', a)],
    ['MRD002', 'removeEventListener', () => mraid.removeEventListener('sizeChange', a)],
    ['MRD003', 'removeEventListener', () => mraid.removeEventListener('', a)]
  ];
  for (const [code, action, call] of wrong) {
    errors.length = 0;
    call();
    assert.deepEqual(errors, [['error', page.tovane.error.mraidError[code], action]], code);
  }
});

test('calls that are refused raise their error event and send nothing', () => {
  const cases = [
    ['MRD007', 'open', (p) => p.mraid.open()],
    ['MRD007', 'open', (p) => p.mraid.open('')],
    ['MRD008', 'close', (p) => p.mraid.close(), { state: 'hidden' }],
    ['MRD011', 'expand', (p) => p.mraid.expand(), { placementType: 'interstitial' }],
    ['MRD011', 'expand', (p) => p.mraid.expand()],
    ['MRD011', 'expand', (p) => p.mraid.expand(), { placementType: 'inline', state: 'expanded' }],
    ['MRD012', 'resize', (p) => p.mraid.resize(), { state: 'expanded' }],
    ['MRD012', 'resize', (p) => p.mraid.resize(), { state: 'hidden' }],
    ['MRD010', 'playVideo', (p) => p.mraid.playVideo('v.mp4')],
    ['MRD009', 'playVideo', (p) => p.mraid.playVideo(), viewable],
    ['MRD010', 'storePicture', (p) => p.mraid.storePicture('a.png')],
    ['MRD013', 'storePicture', (p) => p.mraid.storePicture(), viewable],
    ['MRD004', 'setExpandProperties', (p) => p.mraid.setExpandProperties()],
    ['MRD005', 'setOrientationProperties', (p) => p.mraid.setOrientationProperties('portrait')],
    ['MRD006', 'setResizeProperties', (p) => p.mraid.setResizeProperties(null)],
    ['MRD016', 'prepareStoreView', (p) => p.tovane.mraidExt.prepareStoreView()],
    ['MRD016', 'presentStoreOverlayView', (p) => p.tovane.mraidExt.presentStoreOverlayView('', { a: 1 })]
  ];
  for (const [code, action, call, properties] of cases) {
    const page = createPage().ready();
    if (properties) page.bridge.notifyPropertiesChange(properties);
    const errors = page.record('error');
    call(page);
    assert.deepEqual(errors, [['error', page.tovane.error.mraidError[code], action]], code + ' ' + action);
    assert.deepEqual(page.posted, [], code + ' ' + action);
  }
});

test('setters check each key against the current value (MRD015)', () => {
  const page = createPage().ready({ maxSize: { width: '1920', height: '1080' } });
  const { mraid } = page;
  // A changed type or an unknown key is reported, key by key, and nothing changes.
  page.sent(() => mraid.setResizeProperties({ width: 'wide', bogus: 1, height: 50 }));
  page.bridge.notifyCommandComplete();
  assert.deepEqual(page.posted, [
    'mraid://error?code=MRD015%3AresizeProperties%3Awide',
    'mraid://error?code=MRD015%3AresizeProperties%3Abogus'
  ]);
  assert.equal(mraid.getResizeProperties().width, 0);
  // Sizes pushed as text take numbers, and numbers take decimal text; the pushed text stays text.
  assert.equal(mraid.getExpandProperties().width, '1920');
  mraid.setExpandProperties({ width: 320, height: '480' });
  assert.deepEqual([mraid.getExpandProperties().width, mraid.getExpandProperties().height], [320, '480']);
  // An invalid orientation is not applied and not sent.
  assert.deepEqual(page.sent(() => mraid.setOrientationProperties({ allowOrientationChange: 'no' })), [
    'mraid://error?code=MRD015%3AorientationProperties%3Ano'
  ]);
  assert.equal(mraid.getOrientationProperties().allowOrientationChange, true);
  // Matching keys and types apply; useCustomClose may change type; isModal is read-only.
  mraid.setResizeProperties({ width: 320, customClosePosition: 'center' });
  mraid.setExpandProperties({ width: '10', useCustomClose: 'yes', isModal: false });
  assert.deepEqual([mraid.getResizeProperties().width, mraid.getResizeProperties().customClosePosition], [320, 'center']);
  assert.deepEqual(plain(mraid.getExpandProperties()), { width: '10', height: '480', useCustomClose: 'yes', isModal: true });
  assert.equal(page.posted.length, 3); // nothing more was sent

  // Before the ready event the report cannot be sent: it is kept in debugLog.
  const early = createPage();
  assert.doesNotThrow(() => early.mraid.setResizeProperties({ nope: true }));
  assert.match(early.tovane.debugLog.join('\n'), /BRG001.*MRD015:resizeProperties:nope/);
});

test('commands a creative sends', () => {
  const cases = [
    [(p) => p.mraid.open('ms-windows-store://pdp/?ProductId=9N1'), 'mraid://open?url=ms-windows-store%3A%2F%2Fpdp%2F%3FProductId%3D9N1'],
    [(p) => p.mraid.close(), 'mraid://close'],
    [(p) => p.mraid.expand(), 'mraid://expand?useCustomClose=false', inline],
    [(p) => p.mraid.expand('https://a.b/c'), 'mraid://expand?useCustomClose=false&url=https%3A%2F%2Fa.b%2Fc', inline],
    [(p) => p.mraid.expand(), 'mraid://expand?useCustomClose=false', { placementType: 'inline', state: 'resized' }],
    [
      (p) => {
        p.mraid.setResizeProperties({ width: 300, height: 250, offsetX: 5, offsetY: -5, customClosePosition: 'top-left', allowOffscreen: false });
        p.mraid.resize();
      },
      'mraid://resize?width=300&height=250&offsetX=5&offsetY=-5&customClosePosition=top-left&allowOffscreen=false'
    ],
    [(p) => p.mraid.setOrientationProperties({ forceOrientation: 'landscape' }), 'mraid://setOrientationProperties?allowOrientationChange=true&forceOrientation=landscape'],
    [(p) => p.mraid.useCustomClose(true), 'mraid://useCustomClose?sdkCloseButton=invisible'],
    [(p) => p.mraid.useCustomClose(false), 'mraid://useCustomClose?sdkCloseButton=visible'],
    [(p) => p.mraid.useCustomClose(), 'mraid://useCustomClose?sdkCloseButton=gone'],
    [(p) => p.mraid.playVideo('v.mp4'), 'mraid://playVideo?uri=v.mp4&captionUrl', viewable],
    [(p) => p.mraid.storePicture('a b.png'), 'mraid://storePicture?uri=a%20b.png', viewable],
    [(p) => p.tovane.mraidExt.presentStoreView('9N1'), 'mraid://presentStoreView?appStoreId=9N1'],
    [(p) => p.tovane.mraidExt.prepareStoreOverlayView('9N1', { position: 'bottom', userDismissible: true }), 'mraid://prepareStoreOverlayView?appStoreId=9N1&position=bottom&userDismissible=true'],
    [(p) => p.tovane.mraidExt.useCustomPrivacy(true), 'mraid://useCustomPrivacy?useCustomPrivacy=true'],
    [(p) => p.ext.notifyError('ADT001'), 'mraid://error?code=ADT001'],
    [(p) => p.ext.consentAction('opted_in'), 'mraid://consentAction?event=opted_in'],
    [(p) => p.ext.consentAction('opted_out', '7'), 'mraid://consentAction?event=opted_out&version=7'],
    [(p) => p.ext.notifyUserInteraction('cta', 'clicked'), 'mraid://action?cta=clicked'],
    [(p) => p.ext.notifyEventValuePairEvent('videoLength', 30), 'mraid://actionWithValue?event=videoLength&value=30'],
    [(p) => p.ext.notifyEventValuePairEvent('videoViewed'), 'mraid://actionWithValue?event=videoViewed&value=null'],
    [(p) => p.ext.playHTML5Video('#main video'), 'mraid://playHTML5Video?selector=%23main%20video'],
    [(p) => p.ext.openPrivacy(), 'mraid://openPrivacy?url'],
    [(p) => p.ext.notifySuccessfulViewAd(), 'mraid://successfulView'],
    [(p) => p.ext.startDownloadAppOnDevice(), 'mraid://startDownloadAppOnDevice']
  ];
  for (const [call, url, properties] of cases) {
    const page = createPage().ready();
    if (properties) page.bridge.notifyPropertiesChange(properties);
    const errors = page.record('error');
    call(page);
    assert.deepEqual(page.posted, [url]);
    assert.deepEqual(errors, [], url);
  }
  const page = createPage().ready();
  page.mraid.createCalendarEvent({ description: 'x' });
  assert.deepEqual(page.posted, []);
});

test('the template senders never throw: a failure becomes an error event named after the sender', () => {
  const page = createPage();
  const errors = page.record('error');
  assert.doesNotThrow(() => {
    page.ext.notifyTPAT('impression');
    page.ext.openPrivacy();
    page.ext.notifyError('GET000'); // this one goes to debugLog instead
  });
  assert.deepEqual(
    errors.filter((e) => e[2] !== 'executeSDKCommand'),
    [['error', 'BRG001', 'notifyTPAT'], ['error', 'BRG001', 'openPrivacy']]
  );
  assert.ok(page.tovane.debugLog.some((line) => line.includes('TovaneMRAIDBridgeException') && line.includes('GET000')));

  page.ready();
  page.bridge.notifyContainer = () => {
    throw new Error('channel closed');
  };
  errors.length = 0;
  assert.doesNotThrow(() => page.ext.notifyTPAT('x'));
  assert.deepEqual(errors, [['error', 'channel closed', 'notifyTPAT']]);
  assert.deepEqual(page.posted, []);
});

test('requestMRAIDClose: the network ad template closes itself, any other ad sends "close"', () => {
  const network = createPage().ready();
  const requests = [];
  network.window.document.getElementById('dynamic').addEventListener('tovane.events.request.close', (e) => requests.push(e.type));
  network.ext.requestMRAIDClose();
  assert.equal(requests.length, 1);
  assert.deepEqual(network.posted, []);

  const other = createPage();
  other.bridge.notifyReadyEvent();
  other.bridge.notifyCommandComplete();
  other.ext.requestMRAIDClose();
  assert.deepEqual(other.posted, ['mraid://successfulView', 'mraid://close']);
});

test('events for the template are dispatched on #dynamic', () => {
  const page = createPage({ body: '<div id="dynamic"><p id="inner"></p></div>' });
  const container = page.window.document.getElementById('dynamic');
  const events = [
    ['fireVideoCompleteEvent', 'tovane.events.video.ended'],
    ['firePrepareStoreSuccessEvent', 'tovane.events.preparestore.success'],
    ['fireStoreOverlayFailedEvent', 'tovane.events.storeoverlay.failed'],
    ['getInstallationStatus', 'tovane.events.installationStatus.updated', { progress: 40 }]
  ];
  for (const [fn, type, detail] of events) {
    const seen = [];
    container.addEventListener(type, (e) => seen.push([e.target.id, plain(e.detail)]));
    assert.equal(page.ext[fn](detail), true, fn);
    assert.deepEqual(seen, [['dynamic', detail === undefined ? null : detail]], fn);
  }
  // Without the container the template is told so.
  const bare = createPage({ body: '<div id="other"></div>' }).ready();
  assert.equal(bare.ext.fireVideoCompleteEvent(), false);
  assert.deepEqual(bare.posted, ['mraid://error?code=' + encodeURIComponent(bare.tovane.error.bridgeExtError.BRX000)]);
});
