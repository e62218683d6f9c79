'use strict';
// node:test for the browser: test(name, [options], fn) and t.test for
// subtests, run one after another; results go to the native side through the
// "kestrelTests" message handler.

window.kestrelEngine = (() => {
  const { AssertionError } = kestrelModules.require('node:assert/strict');

  function inspect(value) {
    if (value instanceof RegExp) return String(value);
    try {
      return JSON.stringify(value);
    } catch (err) {
      return String(value);
    }
  }

  let run = null;  // the file being run

  function describe(error) {
    if (error === null || typeof error !== 'object') return 'threw ' + inspect(error);
    let text = (error.name || 'Error') + ': ' + error.message;
    if (error instanceof AssertionError && !text.includes('\nactual')) {
      text += '\n  actual:   ' + inspect(error.actual) + '\n  expected: ' + inspect(error.expected);
    }
    return text;
  }

  function normalized(name, options, fn) {
    return typeof options === 'function' ? [name, {}, options] : [name, options || {}, fn];
  }

  class TestContext {
    constructor(fullName) {
      this.name = fullName;
      this.failedSubtests = 0;
    }

    test(name, options, fn) {
      [name, options, fn] = normalized(name, options, fn);
      return runOne(this.name + ' > ' + name, options, fn, this);
    }

    diagnostic() {}
  }

  async function runOne(fullName, options, fn, parent) {
    const entry = { name: fullName, status: 'pass', message: '' };
    run.results.push(entry);
    if (options.skip) {
      entry.status = 'skip';
      entry.message = typeof options.skip === 'string' ? options.skip : '';
      return;
    }
    const context = new TestContext(fullName);
    try {
      await fn(context);
      if (context.failedSubtests > 0) {
        entry.status = 'fail';
        entry.message = context.failedSubtests + ' subtest(s) failed';
      }
    } catch (err) {
      entry.status = 'fail';
      entry.message = describe(err);
    }
    if (entry.status === 'fail' && parent) parent.failedSubtests++;
  }

  function test(name, options, fn) {
    [name, options, fn] = normalized(name, options, fn);
    if (!run) throw new Error('test() called outside a file run');
    run.pending.push([name, options, fn]);
    return Promise.resolve();
  }

  function post(report) {
    window.webkit.messageHandlers.kestrelTests.postMessage(JSON.stringify(report));
  }

  // Errors that escape a test into this window fail the file, as in Node.
  function uncaught(message) {
    if (run) run.results.push({ name: '(uncaught in the test window)', status: 'fail', message });
  }
  window.addEventListener('error', (event) => uncaught(describe(event.error || { message: event.message })));
  window.addEventListener('unhandledrejection', (event) => uncaught('unhandled rejection: ' + describe(event.reason)));

  // Runs the file's tests and posts { file, results: [{ name, status, message }] }.
  async function runFile(fileName, text, script) {
    run = { results: [], pending: [] };
    kestrelModules.require('./harness').scriptSource = script;
    try {
      kestrelModules.load(fileName, text);
      for (const [name, options, fn] of run.pending) {
        await runOne(name, options, fn, null);
      }
    } catch (err) {
      run.results.push({ name: '(loading ' + fileName + ')', status: 'fail', message: describe(err) });
    }
    const report = { file: fileName, results: run.results };
    run = null;
    post(report);
  }

  kestrelModules.define('node:test', Object.assign(test, { test }));
  return { runFile };
})();
