'use strict';
// A creative page in jsdom with the bridge script evaluated in it, and the
// texts the native host runs in the page.

const fs = require('node:fs');
const path = require('node:path');
const { JSDOM, VirtualConsole } = require('jsdom');

// mraid.js with the host's message channel written in, as the build does.
const src = path.join(__dirname, '..', '..', 'src');
const channel = /kWebMessageChannel = "([^"]*)"/.exec(fs.readFileSync(path.join(src, 'platform', 'Backend.h'), 'utf8'))[1];
const scriptText = fs.readFileSync(path.join(src, 'display', 'mraid', 'mraid.js'), 'latin1');
const scriptBytes = Buffer.from(scriptText.replace('@WEB_MESSAGE_CHANNEL@', channel), 'latin1');
const scriptSource = scriptBytes.toString('utf8');

// Script texts the host executes in the page.
const host = {
  errorHook:
    "window.onerror = function(message, source, lineno, colno, error) {    window.chrome.webview.postMessage('JS_KE_ERROR:' + message + ' at ' + source + ':' + lineno + ':' + colno);    return true;};window.addEventListener('unhandledrejection', function(event) {    window.chrome.webview.postMessage('JS_KE_PROMISE_ERROR:' + event.reason);});",
  hookUp:
    "if (window.tovane){window.tovane.mraidBridge.notifyContainer = function(message){window.chrome.webview.postMessage(message);}; 'true'} else { 'false'; }",
  properties: (json) => 'if(window.tovane)window.tovane.mraidBridge.notifyPropertiesChange(' + json + ');',
  readyEvent: (json) => 'if(window.tovane){window.tovane.mraidBridge.notifyReadyEvent(' + json + ');}',
  commandComplete: 'if(window.tovane){window.tovane.mraidBridge.notifyCommandComplete();}'
};

// Options: source (script text, null for none), body (page HTML), errorHook
// (run the host's error hook first).
function createPage({ source = scriptSource, body = '<div id="dynamic"></div>', errorHook = false } = {}) {
  const dom = new JSDOM('<!DOCTYPE html><html><body>' + body + '</body></html>', {
    runScripts: 'outside-only',
    virtualConsole: new VirtualConsole()
  });
  const { window } = dom;
  const posted = [];
  window.chrome = { webview: { postMessage: (message) => posted.push(message) } };
  if (errorHook) window.eval(host.errorHook);
  if (source !== null) window.eval(source);
  return {
    window,
    posted,
    get tovane() {
      return window.tovane;
    },
    get mraid() {
      return window.mraid;
    },
    get bridge() {
      return window.tovane.mraidBridge;
    },
    get ext() {
      return window.tovane.mraidBridgeExt;
    },
    run: (text) => window.eval(text),
    // Records the broadcasts of the given MRAID events as [event, ...args], copied out of the page.
    record(...events) {
      const seen = [];
      for (const event of events) {
        window.mraid.addEventListener(event, (...args) => seen.push(plain([event, ...args])));
      }
      return seen;
    },
    // The bridge made ready the way the host does it, with optional properties first.
    ready(properties, replacements = {}) {
      if (properties) window.tovane.mraidBridge.notifyPropertiesChange(properties);
      window.tovane.mraidBridge.notifyReadyEvent(replacements);
      return this;
    },
    // Runs fn and returns the URLs it posted, then lets the next command go.
    sent(fn) {
      const before = posted.length;
      fn();
      const urls = posted.slice(before);
      window.tovane.mraidBridge.notifyCommandComplete();
      return urls;
    },
    // Resolves once a posted message matches; rejects after a generous deadline.
    async waitFor(predicate, deadlineMs = 5000) {
      const end = Date.now() + deadlineMs;
      while (!posted.some(predicate)) {
        if (Date.now() > end) throw new Error('no matching message within ' + deadlineMs + ' ms');
        await new Promise((resolve) => setTimeout(resolve, 5));
      }
      return posted.find(predicate);
    },
    close: () => window.close()
  };
}

// Copies a value out of the page's realm so that deepStrictEqual can compare it.
function plain(value) {
  return value === undefined ? undefined : JSON.parse(JSON.stringify(value));
}

module.exports = { createPage, plain, host, scriptBytes, scriptSource };
