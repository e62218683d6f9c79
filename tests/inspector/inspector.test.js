// The ad server's inspector in Debian's headless Chromium: the demo
// publisher's console tour runs against the server, then the page must show
// its exchanges and privacy choices, and a fault turned on in the page must
// fail the next load of a second tour. Exits 77 (skipped) only when Chromium
// cannot start.
'use strict';
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const kSkip = 77;
const kWaitMs = 60000;
const env = (name) => process.env[name] || assert.fail(`${name} is not set (ctest sets it)`);

// Runs a program; `ready` (a regex on its output) settles the promise early, else its exit does.
function run(program, args, extraEnv, ready) {
  const child = spawn(program, args, { env: { ...process.env, ...extraEnv }, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  const done = new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      child.kill();
      reject(new Error(`${program} was not done within ${kWaitMs} ms:\n${output}`));
    }, kWaitMs);
    const take = (chunk) => {
      output += chunk;
      const match = ready && output.match(ready);
      if (match) { clearTimeout(timer); resolve(match); }
    };
    child.stdout.on('data', take);
    child.stderr.on('data', take);
    child.on('exit', (code) => { clearTimeout(timer); ready ? reject(new Error(`${program} ended:\n${output}`)) : resolve({ code, output }); });
  });
  return { child, done };
}

async function tour(url, dataHome) {
  const { code, output } = await run(env('KESTREL_DEMO'), ['--console', url], { XDG_DATA_HOME: dataHome }).done;
  assert.equal(code, 0, output);
  return output;
}

async function launch() {
  const executablePath = process.env.KESTREL_CHROMIUM || '/usr/bin/chromium';
  const puppeteer = require('puppeteer-core');
  try {
    return await puppeteer.launch({ executablePath, headless: true, timeout: 30000,
      args: ['--disable-gpu', '--disable-dev-shm-usage', ...(process.getuid() === 0 ? ['--no-sandbox'] : [])] });
  } catch (e) {
    throw Object.assign(new Error(`Chromium (${executablePath}) cannot start: ${e.message.split('\n')[0]}`), { skip: true });
  }
}

async function main() {
  const dataHome = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrel-inspector-'));
  const server = run(env('KESTREL_ADSERVER'), ['--quiet', '--countdown', '1'], {}, /listening on (\S+)/);
  let browser;
  try {
    const url = (await server.done)[1];
    const first = await tour(url, dataHome);
    // The privacy line the tour prints after it set its choices, e.g. "GDPR Denied (...), CCPA Opted Out, COPPA true".
    const [, gdpr, ccpa] = first.match(/^GDPR (\w+) \(message version "[^"]*"\), CCPA (Opted In|Opted Out),/m);

    browser = await launch();
    const page = await browser.newPage();
    await page.setViewport({ width: 1500, height: 900 });
    const errors = [];
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`${url}/`);
    for (const route of ['config', 'ads']) await page.waitForSelector(`#timeline tr[data-route="${route}"]`);

    // The newest /ads exchange is the tour's last load, made after its privacy choices.
    await page.click('#timeline tr[data-route="ads"]');
    const field = async (name) => (await page.waitForSelector(`#privacy [data-field="${name}"]`)).evaluate((n) => n.textContent);
    assert.equal(await field('ccpa'), ccpa === 'Opted Out' ? 'opted_out' : 'opted_in');
    assert.equal(await field('gdpr-status'), gdpr === 'Denied' ? 'opted_out' : 'opted_in');
    assert.match(await field('ifa'), /^(withheld|not in the body)$/, 'identifiers must be withheld after an opt-out');

    await page.select('#fault-route', 'ads');
    await page.select('#fault-mode', 'status');
    await page.type('#fault-arg', '503');
    await page.click('#fault-on');
    await page.waitForSelector('#faults li[data-route="ads"][data-mode="status"]');

    const second = await tour(url, dataHome);
    assert.match(second, /OnAdLoadFailure\(rewarded_video\)/, 'the fault set in the page must fail the next load');
    await page.waitForSelector('#timeline tr[data-route="ads"][data-fault="status"][data-status="503"]');
    await page.waitForSelector('#faults li.hint');  // a one-answer fault is used up

    await page.click('#timeline tr[data-route="ads"][data-fault=""]');
    await page.waitForSelector('#privacy');
    await page.screenshot({ path: env('KESTREL_SCREENSHOT') });
    assert.deepEqual(errors, [], 'the page logged errors');
  } finally {
    if (browser) await browser.close();
    server.child.kill('SIGTERM');
    fs.rmSync(dataHome, { recursive: true, force: true });
  }
}

main().then(() => console.log('inspector: all checks passed'), (e) => {
  if (e.skip) console.log(`SKIPPED: ${e.message}`);
  else console.error(e.stack || e);
  process.exit(e.skip ? kSkip : 1);
});
