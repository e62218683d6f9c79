'use strict';
// The sample creative in jsdom with the SDK's bridge script, driven the way
// the native host drives it, on an ad fetched from a running kestrel-adserver.

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawn } = require('node:child_process');
const { JSDOM, VirtualConsole } = require('jsdom');

const serverExe = process.env.KESTREL_ADSERVER_EXE;
const bridgeScript = fs.readFileSync(process.env.KESTREL_MRAID_SCRIPT, 'utf8');
const creativeDir = path.join(__dirname, '..', 'creative');

// Script texts the native host runs in the page.
const hookUp =
  "if (window.tovane){window.tovane.mraidBridge.notifyContainer = function(message){window.chrome.webview.postMessage(message);}; 'true'} else { 'false'; }";
const commandComplete = 'if(window.tovane){window.tovane.mraidBridge.notifyCommandComplete();}';

async function until(predicate, what) {
  for (const end = Date.now() + 10000; !predicate(); await new Promise((resolve) => setTimeout(resolve, 10))) {
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
  }
}

// The server, with a creative that reports its view at once and closes itself a second later.
async function startServer() {
  const args = ['--port', '0', '--quiet', '--countdown', '0', '--auto-close', '1'];
  const child = spawn(serverExe, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  child.stdout.on('data', (chunk) => { out += chunk; });
  await until(() => /listening on http:\/\/127\.0\.0\.1:\d+\n/.test(out), 'the listening line');
  return { child, baseUrl: /listening on (\S+)/.exec(out)[1] };
}

async function fetchAd(baseUrl, placement) {
  const body = JSON.stringify({ request: { header_bidding: false, placements: [placement] } });
  const response = await fetch(baseUrl + '/ads', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body });
  assert.equal(response.status, 200);
  return (await response.json()).ads[0].ad_markup;
}

// The replacements the SDK hands to the creative: normal ones, the template
// URL and the cacheable URLs, with five names turned into files of the bundle
// folder, and "aggressive" ASOI settings turned off.
function replacementsFor(ad, bundleFolder) {
  const tokens = { ...ad.templateSettings.normal_replacements, templateURL: ad.templateURL };
  for (const [name, entry] of Object.entries(ad.templateSettings.cacheable_replacements)) tokens[name] = entry.url;
  for (const name of ['templateURL', 'APP_ICON', 'APP_RATING', 'FONT_URL', 'MAIN_VIDEO']) {
    if (name in tokens) tokens[name] = bundleFolder + '\\' + tokens[name].split(/[\\/]/).pop();
  }
  if (tokens.ASOI_SETTINGS === 'aggressive') tokens.ASOI_SETTINGS = 'off';
  return tokens;
}

function properties({ incentivized, consentRequired }) {
  const size = { height: '1080', width: '1920' };
  return {
    os: 'windows', osVersion: 'Win10', version: '1.0', isViewable: 'true', placementType: 'interstitial',
    incentivized: String(incentivized), consentRequired: String(consentRequired), consentDenyButtonText: 'No',
    maxSize: size, screenSize: size, defaultPosition: { ...size, x: '0', y: '0' }, currentPosition: { ...size, x: '0', y: '0' }
  };
}

// Loads index.html with the bridge injected first; answers every command but
// "close" with notifyCommandComplete, as the host does.
async function play({ tokens, props }) {
  const messages = [];
  const errors = [];
  const virtualConsole = new VirtualConsole();
  virtualConsole.on('jsdomError', (e) => errors.push(e.message));
  const html = fs.readFileSync(path.join(creativeDir, 'index.html'), 'utf8');
  const dom = new JSDOM(html, {
    url: 'file://' + path.join(creativeDir, 'index.html'),
    runScripts: 'dangerously',
    resources: 'usable',
    virtualConsole,
    beforeParse(window) {
      window.chrome = {
        webview: {
          postMessage(message) {
            messages.push(message);
            if (!/^mraid:\/\/close/i.test(message)) setTimeout(() => window.eval(commandComplete), 0);
          }
        }
      };
      window.eval(bridgeScript);
    }
  });
  const { window } = dom;
  pages.push(window);
  await until(() => window.document.readyState === 'complete', 'the page to load');
  assert.equal(window.eval(hookUp), 'true');
  window.eval('if(window.tovane)window.tovane.mraidBridge.notifyPropertiesChange(' + JSON.stringify(props) + ');');
  window.eval('if(window.tovane){window.tovane.mraidBridge.notifyReadyEvent(' + JSON.stringify(tokens) + ');}');
  return { window, messages, errors, $: (id) => window.document.getElementById(id) };
}

let server;
const pages = [];
test.before(async () => { server = await startServer(); });
test.afterEach(() => { for (const window of pages.splice(0)) window.close(); });
test.after(() => { server.child.kill('SIGTERM'); });

test('a rewarded ad tracks, reports the view and closes itself when asked to', async () => {
  const ad = await fetchAd(server.baseUrl, 'rewarded_video');
  const tokens = replacementsFor(ad, 'C:\\Kestrel Ads\\rewarded_video_1');
  const page = await play({ tokens, props: properties({ incentivized: true, consentRequired: false }) });
  await until(() => page.messages.includes('mraid://close'), 'the close command');
  assert.deepEqual(page.messages, ['mraid://useCustomClose?sdkCloseButton=invisible', 'mraid://tpat?event=impression',
    'mraid://tpat?event=successful_view', 'mraid://successfulView', 'mraid://tpat?event=close', 'mraid://close']);
  assert.deepEqual(page.errors, []);
  // A Windows path of the bundle folder becomes a file URL the page can load.
  assert.equal(page.$('icon').getAttribute('src'), 'file:///C:/Kestrel%20Ads/rewarded_video_1/icon.png');
  assert.equal(page.$('hero').getAttribute('src'), ad.templateSettings.cacheable_replacements.MAIN_IMAGE.url);
});
