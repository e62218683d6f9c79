'use strict';
// The property store and notifyPropertiesChange.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain, host } = require('./harness');

// The full set the host sends once the page has loaded (all leaves are text).
const hostProperties = {
  consentAcceptButtonText: 'Accept',
  consentBodyText: 'We use data',
  consentDenyButtonText: 'Deny',
  consentRequired: 'true',
  consentTitleText: 'Privacy',
  currentPosition: { height: '1080', width: '1920', x: '0', y: '0' },
  defaultPosition: { height: '1080', width: '1920', x: '0', y: '0' },
  enableBackImmediately: 'false',
  incentivized: 'true',
  isViewable: 'true',
  maxSize: { height: '1080', width: '1920' },
  os: 'windows',
  osVersion: 'Win10',
  placementType: 'interstitial',
  screenSize: { height: '1080', width: '1920' },
  supports: { calendar: 'false', inlineVideo: 'false', sms: 'false', storePicture: 'false', tel: 'false' },
  version: '1.0'
};

test('initial property values', () => {
  const page = createPage();
  const { mraid } = page;
  const ext = page.tovane.mraidExt;
  assert.equal(mraid.getVersion(), '1.0');
  assert.equal(mraid.getState(), 'loading');
  assert.equal(mraid.getPlacementType(), 'unknown');
  assert.equal(mraid.isViewable(), false);
  assert.deepEqual(plain(mraid.getMaxSize()), { width: 0, height: 0 });
  assert.deepEqual(plain(mraid.getScreenSize()), { width: 0, height: 0 });
  assert.deepEqual(plain(mraid.getDefaultPosition()), { x: 0, y: 0, width: 0, height: 0 });
  assert.deepEqual(plain(mraid.getCurrentPosition()), { x: 0, y: 0, width: 0, height: 0 });
  assert.deepEqual(plain(mraid.getExpandProperties()), {
    width: 0,
    height: 0,
    useCustomClose: false,
    isModal: true
  });
  assert.deepEqual(plain(mraid.getResizeProperties()), {
    width: 0,
    height: 0,
    offsetX: 0,
    offsetY: 0,
    customClosePosition: 'top-right',
    allowOffscreen: true
  });
  assert.deepEqual(plain(mraid.getOrientationProperties()), {
    allowOrientationChange: true,
    forceOrientation: 'none'
  });
  for (const feature of ['sms', 'tel', 'calendar', 'storePicture', 'inlineVideo']) {
    assert.equal(mraid.supports(feature), false, feature);
  }
  assert.equal(ext.getOS(), '');
  assert.equal(ext.getOSVersion(), '');
  assert.equal(ext.getSDKVersion(), '');
  assert.equal(ext.getIncentivized(), false);
  for (const getter of [
    'getConsentRequired',
    'getConsentTitleText',
    'getConsentBodyText',
    'getConsentAcceptButtonText',
    'getConsentDenyButtonText'
  ]) {
    assert.equal(mraid[getter](), false, getter);
    assert.equal(ext[getter](), false, getter);
  }
  assert.equal(page.tovane.mraidBridgeExt.getEnableBackButtonImmediately(), false);
  const handlers = page.tovane.mraidCore.propertiesHandlers;
  assert.equal(handlers.customClose.clone(), false);
  assert.equal(handlers.customPrivacy.clone(), false);
  page.close();
});

test('the host property set is stored unchanged', () => {
  const page = createPage();
  page.run(host.properties(JSON.stringify(hostProperties)));
  const { mraid } = page;
  const ext = page.tovane.mraidExt;
  assert.equal(ext.getOS(), 'windows');
  assert.equal(ext.getOSVersion(), 'Win10');
  assert.equal(ext.getIncentivized(), 'true');
  assert.equal(mraid.getPlacementType(), 'interstitial');
  assert.equal(mraid.getConsentRequired(), 'true');
  assert.equal(ext.getConsentTitleText(), 'Privacy');
  assert.equal(mraid.getConsentBodyText(), 'We use data');
  assert.equal(mraid.getConsentAcceptButtonText(), 'Accept');
  assert.equal(ext.getConsentDenyButtonText(), 'Deny');
  assert.deepEqual(plain(mraid.getMaxSize()), { width: '1920', height: '1080' });
  assert.deepEqual(plain(mraid.getCurrentPosition()), { x: '0', y: '0', width: '1920', height: '1080' });
  assert.equal(page.tovane.mraidBridgeExt.getEnableBackButtonImmediately(), 'false');
  // Flags arrive as text; the MRAID boolean getters read them as flags.
  assert.equal(mraid.isViewable(), true);
  assert.equal(mraid.getViewable(), true);
  assert.equal(mraid.supports('sms'), false);
  page.run(host.properties('{"isViewable":"false","supports":{"tel":"true"}}'));
  assert.equal(mraid.isViewable(), false);
  assert.equal(mraid.supports('tel'), true);
  assert.equal(mraid.supports('sms'), false);
  assert.equal(mraid.supports('nonsense'), false);
  page.close();
});

test('object properties merge key by key; other values are replaced', () => {
  const page = createPage();
  const { bridge, mraid } = page;
  bridge.notifyPropertiesChange({ resizeProperties: { width: 50, offsetX: 3 } });
  bridge.notifyPropertiesChange({ resizeProperties: { height: 60 } });
  assert.deepEqual(plain(mraid.getResizeProperties()), {
    width: 50,
    height: 60,
    offsetX: 3,
    offsetY: 0,
    customClosePosition: 'top-right',
    allowOffscreen: true
  });
  bridge.notifyPropertiesChange({ placementType: 'inline' });
  bridge.notifyPropertiesChange({ placementType: 'interstitial' });
  assert.equal(mraid.getPlacementType(), 'interstitial');
  // JSON null for a size (no device information) leaves the value as it was.
  bridge.notifyPropertiesChange({ maxSize: { width: '800', height: '600' } });
  bridge.notifyPropertiesChange({ maxSize: null });
  assert.deepEqual(plain(mraid.getMaxSize()), { width: '800', height: '600' });
  page.close();
});

test('getters hand out copies', () => {
  const page = createPage();
  const size = page.mraid.getScreenSize();
  size.width = 999;
  page.mraid.getExpandProperties().isModal = false;
  assert.equal(page.mraid.getScreenSize().width, 0);
  assert.equal(page.mraid.getExpandProperties().isModal, true);
  page.close();
});

test('update side effects', async (t) => {
  await t.test('version, position and the property objects broadcast "info"', () => {
    const page = createPage();
    const seen = page.record('info');
    page.bridge.notifyPropertiesChange({
      version: '2.0',
      defaultPosition: { x: '1' },
      placementType: 'inline'
    });
    assert.deepEqual(plain(seen), [
      ['info', 'Setting MRAID version to: 2.0'],
      ['info', 'Setting MRAID defaultPosition to: {"x":"1","y":0,"width":0,"height":0}'],
      ['info', 'Setting MRAID placementType to: inline']
    ]);
    page.close();
  });

  await t.test('maxSize is merged into expandProperties', () => {
    const page = createPage();
    page.bridge.notifyPropertiesChange({ maxSize: { width: '1920', height: '1080' } });
    assert.deepEqual(plain(page.mraid.getExpandProperties()), {
      width: '1920',
      height: '1080',
      useCustomClose: false,
      isModal: true
    });
    page.close();
  });

  await t.test('screenSize broadcasts "sizeChange" with width and height after "info"', () => {
    const page = createPage();
    const seen = page.record('info', 'sizeChange');
    page.bridge.notifyPropertiesChange({ screenSize: { width: '640', height: '480' } });
    assert.deepEqual(plain(seen), [
      ['info', 'Setting MRAID screenSize to: {"width":"640","height":"480"}'],
      ['sizeChange', '640', '480']
    ]);
    page.close();
  });

  await t.test('isViewable broadcasts "viewableChange"', () => {
    const page = createPage();
    const seen = page.record('viewableChange');
    page.run(host.properties('{"isViewable":"false"}'));
    page.run(host.properties('{"isViewable":"true"}'));
    assert.deepEqual(plain(seen), [
      ['viewableChange', 'false'],
      ['viewableChange', 'true']
    ]);
    page.close();
  });

  await t.test('state broadcasts "stateChange", and "ready" only for "default"', () => {
    const page = createPage();
    const seen = page.record('stateChange', 'ready');
    page.bridge.notifyPropertiesChange({ state: 'expanded' });
    page.bridge.notifyPropertiesChange({ state: 'default' });
    assert.deepEqual(plain(seen), [
      ['stateChange', 'expanded'],
      ['stateChange', 'default'],
      ['ready']
    ]);
    page.close();
  });

  await t.test('the host property set raises no error and reports the screen size', () => {
    const page = createPage();
    const seen = page.record('error', 'sizeChange', 'viewableChange');
    page.run(host.properties(JSON.stringify(hostProperties)));
    assert.deepEqual(plain(seen), [
      ['viewableChange', 'true'],
      ['sizeChange', '1920', '1080']
    ]);
    page.close();
  });
});

test('an unknown property raises an error event while the known ones apply', () => {
  const page = createPage();
  const errors = page.record('error');
  page.run(host.properties('{"os":"windows","bogus":"1","placementType":"inline","other":{"a":1}}'));
  assert.equal(page.tovane.mraidExt.getOS(), 'windows');
  assert.equal(page.mraid.getPlacementType(), 'inline');
  assert.deepEqual(plain(errors), [
    ['error', 'MRD015: Unhandled Property received - bogus - 1', 'notifyPropertiesChange'],
    ['error', 'MRD015: Unhandled Property received - other - [object Object]', 'notifyPropertiesChange']
  ]);
  assert.deepEqual(page.posted, []);
  page.close();
});

test('notifyPropertiesChange with completed', async (t) => {
  await t.test('exactly true sends propertiesChangeCompleted after applying', () => {
    const page = createPage();
    page.ready();
    page.bridge.notifyPropertiesChange({ os: 'windows' }, true);
    assert.deepEqual(page.posted, ['mraid://propertiesChangeCompleted']);
    assert.equal(page.tovane.mraidExt.getOS(), 'windows');
    page.close();
  });

  await t.test('anything else, or omitted as the host does, sends nothing', () => {
    const page = createPage();
    page.ready();
    page.bridge.notifyPropertiesChange({ os: 'a' });
    page.bridge.notifyPropertiesChange({ os: 'b' }, 'true');
    page.bridge.notifyPropertiesChange({ os: 'c' }, 1);
    assert.deepEqual(page.posted, []);
    page.close();
  });

  await t.test('before the ready event the properties still apply and nothing is posted', () => {
    const page = createPage();
    assert.doesNotThrow(() => page.bridge.notifyPropertiesChange({ os: 'windows' }, true));
    assert.equal(page.tovane.mraidExt.getOS(), 'windows');
    assert.deepEqual(page.posted, []);
    page.close();
  });
});

test('a throwing listener does not stop the others and reaches the page error hook', async () => {
  const page = createPage({ errorHook: true });
  const seen = [];
  page.mraid.addEventListener('viewableChange', () => {
    throw new Error('listener failed');
  });
  page.mraid.addEventListener('viewableChange', (value) => seen.push(value));
  page.run(host.properties('{"isViewable":"true"}'));
  assert.deepEqual(seen, ['true']);
  const report = await page.channel.waitFor((m) => m.startsWith('JS_KE_ERROR:'));
  assert.match(report, /listener failed/);
  page.close();
});
