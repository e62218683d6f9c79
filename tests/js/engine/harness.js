'use strict';
// ../harness.js for the web engine: each creative page is a same-origin
// iframe of the test page with the bridge script evaluated in it. The script
// text (scriptSource) is handed in by the native runner.

(() => {
  // Script texts the host executes in the page (the same as in ../harness.js).
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

  // Options as in ../harness.js: source, body, webview, errorHook.
  function createPage(options = {}) {
    const {
      source = exported.scriptSource,
      body = '<div id="dynamic"></div>',
      webview = true,
      errorHook = false
    } = options;
    const frame = document.createElement('iframe');
    document.body.appendChild(frame);
    const frameDocument = frame.contentDocument;
    frameDocument.open();
    frameDocument.write('<!DOCTYPE html><html><body>' + body + '</body></html>');
    frameDocument.close();
    const frameWindow = frame.contentWindow;
    const channel = new Channel();
    const pageErrors = [];
    frameWindow.addEventListener('error', (event) => pageErrors.push(event.error || event.message));
    if (webview) {
      frameWindow.chrome = { webview: { postMessage: (message) => channel.post(message) } };
    }
    if (errorHook) {
      frameWindow.eval(host.errorHook);
    }
    if (source !== null) {
      frameWindow.eval(source);
    }
    return {
      window: frameWindow,
      channel,
      pageErrors,
      get posted() {
        return channel.messages;
      },
      get tovane() {
        return frameWindow.tovane;
      },
      get mraid() {
        return frameWindow.mraid;
      },
      get bridge() {
        return frameWindow.tovane.mraidBridge;
      },
      run(text) {
        return frameWindow.eval(text);
      },
      record(...events) {
        const seen = [];
        for (const event of events) {
          frameWindow.mraid.addEventListener(event, (...args) => seen.push([event, ...args]));
        }
        return seen;
      },
      ready(replacements = {}) {
        frameWindow.tovane.mraidBridge.notifyReadyEvent(replacements);
      },
      sent(fn) {
        const before = channel.messages.length;
        fn();
        const urls = channel.messages.slice(before);
        frameWindow.tovane.mraidBridge.notifyCommandComplete();
        return urls;
      },
      close() {
        frame.remove();
      }
    };
  }

  // Copies a value out of the page's realm so that deepStrictEqual can compare it.
  function plain(value) {
    return value === undefined ? undefined : JSON.parse(JSON.stringify(value));
  }

  const exported = { createPage, plain, host, scriptSource: '', DEADLINE_MS };
  kestrelModules.define('./harness', exported);
})();
