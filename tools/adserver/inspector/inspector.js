// The inspector of the local ad server: the recorded exchanges, their
// privacy choices and tracking hits, and the faults, read from and set
// through the server's /_control endpoints.
'use strict';

const kPollMs = 1000;
const kRoutes = ['config', 'ads', 'bundle', 'asset', 'tpat', 'hb', 'impression'];
// Each mode and the fault field its value sets (none: it takes no value).
const kModes = {
  status: 'status', delay: 'delay_ms', slow: 'interval_ms', close: 'bytes', notjson: null, body: 'body',
  cookie: null, sleep: 'sleep', wrongtypes: null, corrupt: null, zipslip: null, large: 'bytes',
};
const kTextFields = new Set(['body']);
// The hits every play sends; a play without one of them shows it as missing.
const kExpectedHits = ['impression', 'successful_view', 'close'];

const state = { exchanges: [], bySeq: new Map(), last: 0, selected: 0, faults: '', rendered: false };

function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attrs)) {
    if (name === 'class') node.className = value;
    else if (name.startsWith('data-')) node.setAttribute(name, value);
    else node[name] = value;
  }
  node.append(...children.filter((c) => c !== null && c !== undefined));
  return node;
}

async function getJson(url, options) {
  const response = await fetch(url, options);
  const json = await response.json();
  if (!response.ok) throw new Error(json.error || `${url}: ${response.status}`);
  return json;
}

function showStatus(text) {
  document.getElementById('status').textContent = text;
}

function clock(ms) {
  return new Date(ms).toISOString().slice(11, 23);
}

function pretty(text, json) {
  if (json !== null && json !== undefined) return JSON.stringify(json, null, 2);
  try {
    return JSON.stringify(JSON.parse(text), null, 2);
  } catch {
    return text;
  }
}

// --- timeline

function rowFor(x) {
  return el('tr', { 'data-seq': x.seq, 'data-route': x.route, 'data-status': x.status, 'data-fault': x.fault,
    class: (x.status >= 400 || x.fault ? 'bad ' : '') + (x.seq === state.selected ? 'selected' : '') },
  el('td', {}, String(x.seq)), el('td', {}, clock(x.time_ms)), el('td', {}, x.method),
  el('td', { title: x.path }, x.path), el('td', {}, x.status ? String(x.status) : '…'),
  el('td', {}, x.fault ? el('span', { class: 'badge' }, x.fault) : ''));
}

function renderTimeline() {
  const body = document.querySelector('#timeline tbody');
  const rows = document.createDocumentFragment();
  for (let i = state.exchanges.length - 1; i >= 0; --i) rows.append(rowFor(state.exchanges[i]));
  body.replaceChildren(rows);
  document.getElementById('count').textContent = `${state.exchanges.length} exchanges`;
}

// Adds new exchanges and the answers of pending ones; true when anything changed.
function merge(exchanges) {
  let changed = false;
  for (const x of exchanges) {
    const known = state.bySeq.get(x.seq);
    if (known && known.status === x.status && known.fault === x.fault) continue;
    if (known) Object.assign(known, x);
    else {
      state.exchanges.push(x);
      state.bySeq.set(x.seq, x);
    }
    changed = true;
  }
  if (state.exchanges.length) state.last = state.exchanges[state.exchanges.length - 1].seq;
  return changed;
}

async function poll() {
  try {
    // Exchanges still unanswered are asked for again until their status is known.
    const pending = state.exchanges.find((x) => x.status === 0);
    let { exchanges, total } = await getJson(`/_control/exchanges?after=${pending ? pending.seq - 1 : state.last}`);
    let changed = !state.rendered;
    if (total < state.exchanges.length + exchanges.filter((x) => !state.bySeq.has(x.seq)).length) {
      // The server has forgotten exchanges (a reset): start over.
      ({ exchanges } = await getJson('/_control/exchanges?after=0'));
      Object.assign(state, { exchanges: [], bySeq: new Map(), last: 0 });
      changed = true;
    }
    if (merge(exchanges) || changed) {
      renderTimeline();
      renderPlays();
      state.rendered = true;
      performance.mark('kestrel-timeline');
      document.body.dataset.shown = String(state.exchanges.length);
    }
    await pollFaults();
    showStatus('');
  } catch (e) {
    showStatus(`The server does not answer: ${e.message}`);
  }
  setTimeout(poll, kPollMs);
}

// --- one exchange

function findMember(json, name) {
  if (json === null || typeof json !== 'object') return undefined;
  if (Object.hasOwn(json, name)) return json[name];
  for (const value of Object.values(json)) {
    const found = findMember(value, name);
    if (found !== undefined) return found;
  }
  return undefined;
}

function identifier(value) {
  if (value === undefined) return 'not in the body';
  return value === '' ? 'withheld' : `sent (${value})`;
}

function privacyPanel(body) {
  const user = (body && body.user) || {};
  const gdpr = user.gdpr || {};
  const time = gdpr.consent_timestamp ? new Date(gdpr.consent_timestamp * 1000).toISOString() : 'none';
  const coppa = user.coppa ? String(user.coppa.is_coppa) : 'not set';
  const fields = [
    ['gdpr-status', 'GDPR consent', gdpr.consent_status], ['gdpr-source', 'GDPR source', gdpr.consent_source],
    ['gdpr-version', 'GDPR message version', gdpr.consent_message_version || '(empty)'],
    ['gdpr-time', 'GDPR consent time', time], ['ccpa', 'CCPA', user.ccpa && user.ccpa.status],
    ['coppa', 'COPPA', coppa], ['ifa', 'advertising id', identifier(body && body.device && body.device.ifa)],
    ['ashwid', 'hardware id', identifier(findMember(body, 'ashwid'))],
  ];
  return el('table', { id: 'privacy', class: 'fields' }, ...fields.map(([key, name, value]) =>
    el('tr', {}, el('th', {}, name), el('td', { 'data-field': key }, value === undefined ? 'missing' : String(value)))));
}

function headerTable(headers) {
  return el('table', { class: 'fields' }, ...Object.entries(headers || {}).map(([name, value]) =>
    el('tr', {}, el('th', {}, name), el('td', {}, value))));
}

function bodyBlock(text, json, bytes) {
  if (!text && !bytes) return el('p', { class: 'hint' }, 'no body');
  if (!text) return el('p', { class: 'hint' }, `${bytes} bytes, not shown`);
  return el('pre', {}, pretty(text, json));
}

async function select(seq) {
  state.selected = seq;
  for (const row of document.querySelectorAll('#timeline tr.selected')) row.classList.remove('selected');
  const row = document.querySelector(`#timeline tr[data-seq="${seq}"]`);
  if (row) row.classList.add('selected');
  const detail = document.getElementById('detail');
  try {
    const x = await getJson(`/_control/exchanges/${seq}`);
    const response = x.response || {};
    detail.replaceChildren(
      el('h3', {}, `${x.method} ${x.target}`),
      el('p', {}, `${clock(x.time_ms)} · status ${x.status}`, x.fault ? el('span', { class: 'badge' }, `fault ${x.fault}`) : ''),
      x.route === 'config' || x.route === 'ads' ? el('h4', {}, 'Privacy, as the SDK sent it') : null,
      x.route === 'config' || x.route === 'ads' ? privacyPanel(x.json) : null,
      el('h4', {}, 'Request headers'), headerTable(x.headers),
      el('h4', {}, 'Request body'), bodyBlock(x.body, x.json, x.body.length),
      el('h4', {}, `Response ${x.status}`), headerTable(response.headers),
      bodyBlock(response.body, null, response.bytes));
  } catch (e) {
    detail.replaceChildren(el('p', { class: 'hint' }, e.message));
  }
}

// --- plays

function renderPlays() {
  const plays = new Map();
  for (const x of state.exchanges) {
    if ((x.route !== 'tpat' && x.route !== 'impression') || !x.ev) continue;
    if (!plays.has(x.ev)) plays.set(x.ev, []);
    plays.get(x.ev).push(x);
  }
  const box = document.getElementById('plays');
  if (!plays.size) {
    box.replaceChildren(el('p', { class: 'hint' }, 'No tracking hit yet.'));
    return;
  }
  const blocks = [...plays].reverse().slice(0, 20).map(([ev, hits]) => {
    const name = (x) => x.route === 'impression' ? 'hb impression' : x.path.replace(/^\/tpat\//, '');
    const impression = hits.find((x) => name(x) === 'impression');
    const since = (x) => impression ? `${x.time_ms >= impression.time_ms ? '+' : ''}${x.time_ms - impression.time_ms} ms` : clock(x.time_ms);
    const missing = kExpectedHits.filter((hit) => !hits.some((x) => name(x) === hit));
    return el('div', { class: 'play', 'data-ev': ev }, el('h3', {}, `event ${ev}`),
      el('ol', {}, ...hits.map((x) => el('li', { class: x.status >= 400 || x.fault ? 'bad' : '' },
        el('span', { class: 'hit' }, name(x)), ` ${since(x)}`, x.fault ? el('span', { class: 'badge' }, x.fault) : '')),
      ...missing.map((hit) => el('li', { class: 'missing' }, el('span', { class: 'hit' }, hit), ' not received'))));
  });
  box.replaceChildren(...blocks);
}

// --- faults

function describe(fault) {
  const value = kModes[fault.mode] ? fault[kModes[fault.mode]] : null;
  const shown = typeof value === 'string' && value.length > 24 ? `${value.slice(0, 24)}…` : value;
  return `${fault.route}: ${fault.mode}${shown !== null && shown !== undefined ? ` ${shown}` : ''}` +
    (fault.count ? `, ${fault.count} more` : ', until turned off');
}

async function pollFaults() {
  const faults = await getJson('/_control/faults');
  const text = JSON.stringify(faults);
  if (text === state.faults) return;
  state.faults = text;
  const list = document.getElementById('faults');
  list.replaceChildren(...faults.map((f) => el('li', { 'data-route': f.route, 'data-mode': f.mode },
    describe(f), ' ', el('button', { type: 'button', onclick: () => setFault({ route: f.route, mode: 'none' }) }, 'Turn off'))));
  if (!faults.length) list.replaceChildren(el('li', { class: 'hint' }, 'none: every route behaves'));
}

async function setFault(fault) {
  try {
    await getJson('/_control/fault', { method: 'POST', body: JSON.stringify(fault) });
    await pollFaults();
    showStatus('');
  } catch (e) {
    showStatus(`Fault refused: ${e.message}`);
  }
}

function setUpFaultForm() {
  const route = document.getElementById('fault-route');
  const mode = document.getElementById('fault-mode');
  route.replaceChildren(...kRoutes.map((r) => el('option', { value: r }, r)));
  mode.replaceChildren(...Object.keys(kModes).map((m) => el('option', { value: m }, m)));
  const arg = document.getElementById('fault-arg');
  const showArg = () => {
    const field = kModes[mode.value];
    document.getElementById('fault-arg-name').textContent = field || '(no value)';
    arg.disabled = !field;
  };
  mode.addEventListener('change', showArg);
  showArg();
  document.getElementById('fault-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const fault = { route: route.value, mode: mode.value, count: Number(document.getElementById('fault-count').value) || 0 };
    const field = kModes[mode.value];
    if (field && arg.value !== '') fault[field] = kTextFields.has(field) ? arg.value : Number(arg.value);
    setFault(fault);
  });
}

document.getElementById('base-url').textContent = location.origin;
document.querySelector('#timeline tbody').addEventListener('click', (event) => {
  const row = event.target.closest('tr');
  if (row) select(Number(row.dataset.seq));
});
setUpFaultForm();
poll();
