// How long the ad server's inspector takes to show 1,000 recorded exchanges
// in Debian's headless Chromium: from the start of navigation to the first
// drawing of the whole timeline (the page's "kestrel-timeline" mark).
//
//   node bench/inspector/inspector-bench.js build/tools/adserver/kestrel-adserver [--runs N]
'use strict';
const { spawn } = require('node:child_process');
const puppeteer = require('puppeteer-core');

const kExchanges = 1000;
const kTargetMs = 1000;

function startServer(program) {
  const child = spawn(program, ['--quiet'], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let output = '';
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const match = output.match(/listening on (\S+)/);
      if (match) resolve({ child, url: match[1] });
    });
    child.on('exit', () => reject(new Error(`${program} ended: ${output}`)));
  });
}

// A request body of the size and shape the SDK sends.
function sdkBody(placement) {
  const body = {
    app: { bundle: 'kestrel-bench', id: 'kestrel-bench', ver: '1.0.0' },
    device: { ifa: '', lmt: 0, make: 'Bench', model: 'Bench 1', os: 'windows', osv: '10.0.19045', ua: 'Mozilla/5.0 (bench)',
      ext: { tovane: { windows: { ashwid: '', battery_level: 1, connection_type: 'wifi', locale: 'en_US', time_zone: 'Europe/Berlin' } } } },
    ext: { config_extension: 'bench' },
    user: { ccpa: { status: 'opted_out' }, coppa: { is_coppa: 'false' },
      gdpr: { consent_message_version: '1.0.0', consent_source: 'publisher', consent_status: 'opted_out', consent_timestamp: 1796700000 } },
  };
  if (placement) body.request = { placements: [placement] };
  return JSON.stringify(body);
}

// Four exchanges per play: /config, /ads, the impression and the close.
async function record(url) {
  for (let play = 0; play < kExchanges / 4; ++play) {
    const post = (path, body) => fetch(url + path, { method: 'POST', body, headers: { 'Content-Type': 'application/json' } });
    await (await post('/config', sdkBody())).arrayBuffer();
    await (await post('/ads', sdkBody('interstitial'))).arrayBuffer();
    for (const hit of ['impression', 'close']) await (await fetch(`${url}/tpat/${hit}?ev=bench-${play}`)).arrayBuffer();
  }
}

async function main() {
  const [program, ...rest] = process.argv.slice(2);
  if (!program) throw new Error('usage: inspector-bench.js PATH/kestrel-adserver [--runs N]');
  const runs = rest[0] === '--runs' ? Number(rest[1]) : 7;
  const { child, url } = await startServer(program);
  const browser = await puppeteer.launch({ executablePath: process.env.KESTREL_CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--disable-gpu', '--disable-dev-shm-usage', ...(process.getuid() === 0 ? ['--no-sandbox'] : [])] });
  try {
    await record(url);
    const times = [];
    for (let run = 0; run < runs; ++run) {
      const page = await browser.newPage();
      await page.goto(`${url}/`);
      await page.waitForFunction((n) => document.body.dataset.shown === String(n), {}, kExchanges);
      times.push(await page.evaluate(() => performance.getEntriesByName('kestrel-timeline')[0].startTime));
      await page.close();
    }
    times.sort((a, b) => a - b);
    const ms = (t) => `${t.toFixed(0)} ms`;
    console.log(`inspector, ${kExchanges} exchanges: median ${ms(times[times.length >> 1])}, ` +
      `min ${ms(times[0])}, max ${ms(times[times.length - 1])} over ${runs} loads (target < ${kTargetMs} ms)`);
  } finally {
    await browser.close();
    child.kill('SIGTERM');
  }
}

main().catch((e) => {
  console.error(e.stack || e);
  process.exit(1);
});
