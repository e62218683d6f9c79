'use strict';
// mraidBridgeExt: the template's senders and the DOM events on #dynamic.

const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain } = require('./harness');

test('commands sent by mraidBridgeExt', () => {
  const page = createPage();
  page.ready();
  const ext = page.tovane.mraidBridgeExt;
  const cases = [
    ['notifyError', () => ext.notifyError('ADT001'), 'mraid://error?code=ADT001'],
    ['notifyTPAT', () => ext.notifyTPAT('checkpoint.25'), 'mraid://tpat?event=checkpoint.25'],
    ['consentAction', () => ext.consentAction('opted_in'), 'mraid://consentAction?event=opted_in'],
    ['notifyUserInteraction', () => ext.notifyUserInteraction('cta', 'clicked'), 'mraid://action?cta=clicked'],
    ['notifyEventValuePairEvent', () => ext.notifyEventValuePairEvent('videoLength', 30), 'mraid://actionWithValue?event=videoLength&value=30'],
    ['notifyEventValuePairEvent without value', () => ext.notifyEventValuePairEvent('videoViewed'), 'mraid://actionWithValue?event=videoViewed&value=null'],
    ['playHTML5Video', () => ext.playHTML5Video('#main video'), 'mraid://playHTML5Video?selector=%23main%20video'],
    ['openPrivacy', () => ext.openPrivacy('https://example.com/privacy'), 'mraid://openPrivacy?url=https%3A%2F%2Fexample.com%2Fprivacy'],
    ['openPrivacy without url', () => ext.openPrivacy(), 'mraid://openPrivacy?url'],
    ['notifySuccessfulViewAd', () => ext.notifySuccessfulViewAd(), 'mraid://successfulView'],
    ['openAppInDevice', () => ext.openAppInDevice(), 'mraid://openAppInDevice'],
    ['openStorePage', () => ext.openStorePage(), 'mraid://openStorePage'],
    ['cancelDownload', () => ext.cancelDownload(), 'mraid://cancelDownload'],
    ['startDownloadAppOnDevice', () => ext.startDownloadAppOnDevice(), 'mraid://startDownloadAppOnDevice']
  ];
  for (const [name, call, url] of cases) {
    assert.deepEqual(page.sent(call), [url], name);
  }
  page.close();
});

test('sender failures become error events named after the sender', async (t) => {
  await t.test('before the ready event nothing throws and nothing is posted', () => {
    const page = createPage();
    const ext = page.tovane.mraidBridgeExt;
    const errors = page.record('error');
    assert.doesNotThrow(() => {
      ext.notifyTPAT('impression');
      ext.consentAction('opted_out');
      ext.openPrivacy();
    });
    assert.deepEqual(page.posted, []);
    const fromSenders = plain(errors).filter((e) => e[2] !== 'executeSDKCommand');
    assert.deepEqual(fromSenders, [
      ['error', 'BRG001', 'notifyTPAT'],
      ['error', 'BRG001', 'consentAction'],
      ['error', 'BRG001', 'openPrivacy']
    ]);
    page.close();
  });

  await t.test('notifyError logs the bridge exception to debugLog instead', () => {
    const page = createPage();
    const errors = page.record('error');
    assert.doesNotThrow(() => page.tovane.mraidBridgeExt.notifyError('GET000'));
    assert.deepEqual(page.posted, []);
    assert.ok(plain(errors).every((e) => e[2] !== 'notifyError'));
    assert.ok(
      page.tovane.debugLog.some((line) => line.includes('TovaneMRAIDBridgeException') && line.includes('GET000'))
    );
    page.close();
  });

  await t.test('a failing post is reported the same way', () => {
    const page = createPage();
    page.ready();
    page.bridge.notifyContainer = () => {
      throw new Error('channel closed');
    };
    const errors = page.record('error');
    assert.doesNotThrow(() => page.tovane.mraidBridgeExt.notifyTPAT('x'));
    assert.deepEqual(plain(errors), [['error', 'channel closed', 'notifyTPAT']]);
    page.close();
  });
});

test('requestMRAIDClose', async (t) => {
  await t.test('a network ad gets the close request on #dynamic and sends nothing', () => {
    const page = createPage();
    page.ready({});
    const requests = [];
    page.window.document.getElementById('dynamic').addEventListener('tovane.events.request.close', (e) =>
      requests.push(e.type)
    );
    page.tovane.mraidBridgeExt.requestMRAIDClose();
    assert.deepEqual(requests, ['tovane.events.request.close']);
    assert.deepEqual(page.posted, []);
    page.close();
  });

  await t.test('any other ad sends "close"', () => {
    const page = createPage();
    page.bridge.notifyReadyEvent();
    page.bridge.notifyCommandComplete();
    page.tovane.mraidBridgeExt.requestMRAIDClose();
    assert.deepEqual(page.posted, ['mraid://successfulView', 'mraid://close']);
    page.close();
  });
});

test('DOM events on #dynamic', async (t) => {
  const events = [
    ['fireVideoCompleteEvent', 'tovane.events.video.ended'],
    ['firePrepareStoreSuccessEvent', 'tovane.events.preparestore.success'],
    ['firePrepareStoreFinishedEvent', 'tovane.events.preparestore.finished'],
    ['fireStoreOverlaySuccessEvent', 'tovane.events.storeoverlay.success'],
    ['fireStoreOverlayFinishedEvent', 'tovane.events.storeoverlay.finished'],
    ['fireStoreOverlayVisibleEvent', 'tovane.events.storeoverlay.visible'],
    ['fireStoreOverlayFailedEvent', 'tovane.events.storeoverlay.failed']
  ];

  await t.test('each fire function dispatches its event on the container', () => {
    const page = createPage({ body: '<div id="dynamic"><p id="inner"></p></div>' });
    const container = page.window.document.getElementById('dynamic');
    for (const [fn, type] of events) {
      const seen = [];
      container.addEventListener(type, (e) => seen.push(e.target.id));
      page.tovane.mraidBridgeExt[fn]();
      assert.deepEqual(seen, ['dynamic'], fn);
    }
    page.close();
  });

  await t.test('getInstallationStatus carries the status as the event detail', () => {
    const page = createPage();
    const details = [];
    page.window.document
      .getElementById('dynamic')
      .addEventListener('tovane.events.installationStatus.updated', (e) => details.push(e.detail));
    page.tovane.mraidBridgeExt.getInstallationStatus('installed');
    page.tovane.mraidBridgeExt.getInstallationStatus({ progress: 40 });
    assert.deepEqual(plain(details), ['installed', { progress: 40 }]);
    page.close();
  });

  await t.test('without #dynamic, BRX000 is sent as an error', () => {
    const page = createPage({ body: '<div id="other"></div>' });
    page.ready();
    page.tovane.mraidBridgeExt.fireVideoCompleteEvent();
    assert.deepEqual(page.posted, ['mraid://error?code=Cannot%20retrieve%20%23dynamic%20container%20in%20Ad%20Unit!']);
    page.close();
  });
});

test('network-ad getters', () => {
  const page = createPage();
  const ext = page.tovane.mraidBridgeExt;
  page.bridge.notifyPropertiesChange({ enableBackImmediately: 'true' });
  assert.equal(ext.getEnableBackButtonImmediately(), 'true');
  page.ready({ isDirectDownload: 'false', isDisplayIAP: 'true', isInstalled: 'false', TITLE: 't' });
  const tokens = ext.getReplacementTokens();
  tokens.TITLE = 'changed';
  assert.equal(ext.getReplacementTokens().TITLE, 't');
  assert.deepEqual(
    [ext.getIsTovaneAd(), ext.getIsDirectDownload(), ext.getIsDisplayIAP(), ext.getIsInstalled()],
    [true, 'false', 'true', 'false']
  );
  page.close();
});
