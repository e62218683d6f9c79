'use strict';
// A creative page in jsdom with the bridge script evaluated in it, and the
// texts the native host runs in the page.

const fs = require('node:fs');
const path = require('node:path');
const { JSDOM, VirtualConsole } = require('jsdom');

const scriptPath = path.join(__dirname, '..', '..', 'src', 'display', 'mraid', 'mraid.js');
const scriptBytes = fs.readFileSync(scriptPath);
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

const DEADLINE_MS = 5000;

// Messages the page posts through window.chrome.webview.postMessage.
class Channel {
  constructor() {
    this.messages = [];
    this.waiters = [];
  }

  post(message) {
    this.messages.push(message);
    for (const waiter of this.waiters.slice()) {
      if (waiter.predicate(message)) {
        this.waiters.splice(this.waiters.indexOf(waiter), 1);
        waiter.resolve(message);
      }
    }
  }

  // Resolves with the first message (already posted or still to come) that
  // matches; rejects after the deadline.
  waitFor(predicate, deadlineMs = DEADLINE_MS) {
    const found = this.messages.find(predicate);
    if (found !== undefined) {
      return Promise.resolve(found);
    }
    return new Promise((resolve, reject) => {
      const waiter = { predicate };
      const timer = setTimeout(() => {
        this.waiters.splice(this.waiters.indexOf(waiter), 1);
        reject(new Error('no matching message within ' + deadlineMs + ' ms'));
      }, deadlineMs);
      waiter.resolve = (message) => {
        clearTimeout(timer);
        resolve(message);
      };
      this.waiters.push(waiter);
    });
  }
}

// Options: source (script text to evaluate), body (page HTML), webview
// (install window.chrome.webview), errorHook (run the host's error hook first).
function createPage(options = {}) {
  const {
    source = scriptSource,
    body = '<div id="dynamic"></div>',
    webview = true,
    errorHook = false
  } = options;
  const virtualConsole = new VirtualConsole();
  const pageErrors = [];
  virtualConsole.on('jsdomError', (err) => pageErrors.push(err));
  const dom = new JSDOM('<!DOCTYPE html><html><body>' + body + '</body></html>', {
    runScripts: 'outside-only',
    virtualConsole
  });
  const { window } = dom;
  const channel = new Channel();
  if (webview) {
    window.chrome = { webview: { postMessage: (message) => channel.post(message) } };
  }
  if (errorHook) {
    window.eval(host.errorHook);
  }
  if (source !== null) {
    window.eval(source);
  }
  return {
    window,
    channel,
    pageErrors,
    get posted() {
      return channel.messages;
    },
    get tovane() {
      return window.tovane;
    },
    get mraid() {
      return window.mraid;
    },
    get bridge() {
      return window.tovane.mraidBridge;
    },
    run(text) {
      return window.eval(text);
    },
    // Records the broadcasts of the given MRAID events as [event, ...args].
    record(...events) {
      const seen = [];
      for (const event of events) {
        window.mraid.addEventListener(event, (...args) => seen.push([event, ...args]));
      }
      return seen;
    },
    // The bridge made ready the way the host does it.
    ready(replacements = {}) {
      window.tovane.mraidBridge.notifyReadyEvent(replacements);
    },
    // Runs fn and returns the URLs it posted, then lets the next command go.
    sent(fn) {
      const before = channel.messages.length;
      fn();
      const urls = channel.messages.slice(before);
      window.tovane.mraidBridge.notifyCommandComplete();
      return urls;
    },
    close() {
      window.close();
    }
  };
}

// Copies a value out of the page's realm so that deepStrictEqual can compare it.
function plain(value) {
  return value === undefined ? undefined : JSON.parse(JSON.stringify(value));
}

module.exports = { createPage, plain, host, scriptPath, scriptBytes, scriptSource, DEADLINE_MS };
