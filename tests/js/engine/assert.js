'use strict';
// node:assert/strict for the browser: the functions the test files use, with
// strict-mode semantics (Object.is, prototypes compared in deep equality).

(() => {
  class AssertionError extends Error {
    constructor({ message, actual, expected, operator }) {
      super(message);
      this.name = 'AssertionError';
      this.code = 'ERR_ASSERTION';
      this.actual = actual;
      this.expected = expected;
      this.operator = operator;
    }
  }

  function inspect(value) {
    if (typeof value === 'string') return JSON.stringify(value);
    if (typeof value === 'function') return '[Function: ' + (value.name || 'anonymous') + ']';
    if (typeof value === 'bigint') return value + 'n';
    if (typeof value === 'symbol' || value === undefined || value === null) return String(value);
    if (typeof value !== 'object') return Object.is(value, -0) ? '-0' : String(value);
    if (isError(value)) return value.name + ': ' + value.message;
    try {
      return JSON.stringify(value, (key, v) => (v === undefined ? '<undefined>' : v));
    } catch (err) {
      return Object.prototype.toString.call(value);
    }
  }

  function fail(message, fallback, actual, expected, operator) {
    if (message instanceof Error) throw message;
    throw new AssertionError({ message: message === undefined ? fallback : message, actual, expected, operator });
  }

  const tagOf = (value) => Object.prototype.toString.call(value);
  const isError = (value) => value !== null && typeof value === 'object' && tagOf(value) === '[object Error]';

  function ownKeys(object) {
    return Reflect.ownKeys(object).filter((key) => Object.prototype.propertyIsEnumerable.call(object, key));
  }

  function deepStrict(a, b, memo) {
    if (Object.is(a, b)) return true;
    if (typeof a !== 'object' || typeof b !== 'object' || a === null || b === null) return false;
    if (Object.getPrototypeOf(a) !== Object.getPrototypeOf(b) || tagOf(a) !== tagOf(b)) return false;
    const seen = memo.get(a);
    if (seen && seen.has(b)) return true;
    if (seen) seen.add(b);
    else memo.set(a, new Set([b]));

    if (Array.isArray(a) && a.length !== b.length) return false;
    if (a instanceof Date || tagOf(a) === '[object Date]') {
      if (!Object.is(Date.prototype.getTime.call(a), Date.prototype.getTime.call(b))) return false;
    } else if (tagOf(a) === '[object RegExp]') {
      if (a.source !== b.source || a.flags !== b.flags || a.lastIndex !== b.lastIndex) return false;
    } else if (isError(a)) {
      if (a.name !== b.name || a.message !== b.message) return false;
    } else if (['[object Number]', '[object String]', '[object Boolean]'].includes(tagOf(a))) {
      if (!Object.is(a.valueOf(), b.valueOf())) return false;
    } else if (tagOf(a) === '[object Set]') {
      if (a.size !== b.size) return false;
      for (const item of a) {
        if (!b.has(item) && ![...b].some((other) => deepStrict(item, other, memo))) return false;
      }
    } else if (tagOf(a) === '[object Map]') {
      if (a.size !== b.size) return false;
      for (const [key, value] of a) {
        if (!b.has(key) || !deepStrict(value, b.get(key), memo)) return false;
      }
    }

    const keysA = ownKeys(a);
    const keysB = ownKeys(b);
    if (keysA.length !== keysB.length) return false;
    for (const key of keysA) {
      if (!Object.prototype.propertyIsEnumerable.call(b, key)) return false;
      if (!deepStrict(a[key], b[key], memo)) return false;
    }
    return true;
  }

  const isDeepStrictEqual = (a, b) => deepStrict(a, b, new Map());

  function ok(value, message) {
    if (!value) fail(message, 'The expression evaluated to a falsy value: ' + inspect(value), value, true, '==');
  }

  function equal(actual, expected, message) {
    if (!Object.is(actual, expected)) {
      fail(message, 'Expected values to be strictly equal:\n\n' + inspect(actual) + ' !== ' + inspect(expected),
        actual, expected, 'strictEqual');
    }
  }

  function notEqual(actual, expected, message) {
    if (Object.is(actual, expected)) {
      fail(message, 'Expected "actual" to be strictly unequal to: ' + inspect(expected), actual, expected,
        'notStrictEqual');
    }
  }

  function deepEqual(actual, expected, message) {
    if (!isDeepStrictEqual(actual, expected)) {
      fail(message, 'Expected values to be strictly deep-equal:\nactual:   ' + inspect(actual) +
        '\nexpected: ' + inspect(expected), actual, expected, 'deepStrictEqual');
    }
  }

  function notDeepEqual(actual, expected, message) {
    if (isDeepStrictEqual(actual, expected)) {
      fail(message, 'Expected "actual" not to be strictly deep-equal to: ' + inspect(expected), actual, expected,
        'notDeepStrictEqual');
    }
  }

  function match(string, regexp, message) {
    if (!(regexp instanceof RegExp)) throw new TypeError('The "regexp" argument must be a RegExp');
    if (typeof string !== 'string' || !regexp.test(string)) {
      fail(message, 'The input did not match the regular expression ' + regexp + '. Input:\n\n' + inspect(string),
        string, regexp, 'match');
    }
  }

  // The matcher forms: a RegExp for String(error), a validation function that
  // returns true, a constructor, or an object whose keys must all match.
  function checkThrown(error, expected, message) {
    if (expected instanceof RegExp) {
      if (!expected.test(String(error))) {
        fail(message, 'The input did not match the regular expression ' + expected + '. Input:\n\n' +
          inspect(String(error)), error, expected, 'throws');
      }
      return;
    }
    if (typeof expected === 'function') {
      if (expected.prototype !== undefined && error instanceof expected) return;
      if (Error.isPrototypeOf(expected) || expected === Error) throw error;
      if (expected.call({}, error) !== true) {
        fail(message, 'The ' + (expected.name ? '"' + expected.name + '" ' : '') +
          'validation function is expected to return "true". Received false\n\nCaught error:\n\n' +
          inspect(error), error, expected, 'throws');
      }
      return;
    }
    if (typeof expected === 'object' && expected !== null) {
      for (const key of Object.keys(expected)) {
        const want = expected[key];
        const got = error === null || error === undefined ? undefined : error[key];
        const same = want instanceof RegExp && typeof got === 'string' ? want.test(got) : isDeepStrictEqual(got, want);
        if (!same) {
          fail(message, 'Expected values to be strictly deep-equal:\nactual:   ' + key + ': ' + inspect(got) +
            '\nexpected: ' + key + ': ' + inspect(want), error, expected, 'throws');
        }
      }
    }
  }

  function throws(fn, expected, message) {
    if (typeof fn !== 'function') throw new TypeError('The "fn" argument must be a function');
    if (typeof expected === 'string') {
      message = expected;
      expected = undefined;
    }
    let thrown = false;
    let error;
    try {
      fn();
    } catch (err) {
      thrown = true;
      error = err;
    }
    if (!thrown) fail(message, 'Missing expected exception.', undefined, expected, 'throws');
    if (expected !== undefined) checkThrown(error, expected, message);
  }

  function doesNotThrow(fn, message) {
    if (typeof fn !== 'function') throw new TypeError('The "fn" argument must be a function');
    try {
      fn();
    } catch (err) {
      fail(undefined, 'Got unwanted exception' + (typeof message === 'string' ? ': ' + message : '.') +
        '\nActual message: "' + (err && err.message) + '"', err, undefined, 'doesNotThrow');
    }
  }

  async function rejects(promiseOrFn, expected, message) {
    if (typeof expected === 'string') {
      message = expected;
      expected = undefined;
    }
    let thrown = false;
    let error;
    try {
      await (typeof promiseOrFn === 'function' ? promiseOrFn() : promiseOrFn);
    } catch (err) {
      thrown = true;
      error = err;
    }
    if (!thrown) fail(message, 'Missing expected rejection.', undefined, expected, 'rejects');
    if (expected !== undefined) checkThrown(error, expected, message);
  }

  function strict(value, message) {
    ok(value, message);
  }
  Object.assign(strict, {
    AssertionError,
    ok,
    equal,
    strictEqual: equal,
    notEqual,
    notStrictEqual: notEqual,
    deepEqual,
    deepStrictEqual: deepEqual,
    notDeepEqual,
    notDeepStrictEqual: notDeepEqual,
    match,
    throws,
    doesNotThrow,
    rejects,
    fail: (message) => fail(message, 'Failed', undefined, undefined, 'fail')
  });
  strict.strict = strict;

  kestrelModules.define('node:assert/strict', strict);
})();
