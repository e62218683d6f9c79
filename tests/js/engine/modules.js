'use strict';
// The modules a test file may require, and running one file's text as a
// CommonJS module.

window.kestrelModules = (() => {
  const modules = new Map();

  function define(name, exports) {
    modules.set(name, exports);
  }

  function require(name) {
    if (!modules.has(name)) {
      throw new Error("require('" + name + "') is not available in the web engine");
    }
    return modules.get(name);
  }

  // Evaluates the file's text as a module body; a syntax error throws here.
  function load(fileName, text) {
    const body = (0, eval)('(function (require, module, exports, __filename, __dirname) {' + text + '\n})');
    const module = { exports: {} };
    body(require, module, module.exports, fileName, '.');
    return module.exports;
  }

  return { define, require, load };
})();
