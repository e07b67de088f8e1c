'use strict';
// One WebSocket per page brings the hub's state; taps go out as POSTs with the session's token.
// A lost connection (hub restarted, phone asleep) is reopened without a reload.

const REACH_TEXT = {
  line: 'Sterownik nieosiągalny: brak połączenia z linią. Przełączanie wyłączone.',
  learning: 'Sterownik zajęty: trwa uczenie pilota. Przełączanie wyłączone.',
  routing: 'Sterownik zajęty: trwa zapis tabeli połączeń. Przełączanie wyłączone.',
};

const el = (id) => document.getElementById(id);
let csrf = null;
let socket = null;
let retries = 0;
let retryTimer = 0;
let state = null;
let names = '';
let routing = null;

async function fetchSession() {
  const res = await fetch('/api/session', { cache: 'no-store', credentials: 'same-origin' });
  if (res.status === 401) {
    location.reload();   // the login page
    throw new Error('login');
  }
  if (!res.ok) throw new Error(String(res.status));
  const session = await res.json();
  csrf = session.csrf;
  el('logout').hidden = !session.login;
  el('sessions').hidden = !session.login;
}

// The server forgets the session; the reload shows the login page.
async function logout(path) {
  try {
    await post(path, {});
  } finally {
    location.reload();
  }
}

async function connect() {
  retryTimer = 0;
  try {
    await fetchSession();
  } catch (e) {
    if (e.message !== 'login') scheduleReconnect();
    return;
  }
  const ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws');
  socket = ws;
  ws.onopen = () => { retries = 0; };
  ws.onmessage = (event) => {
    const message = JSON.parse(event.data);
    if (message.type === 'state') showState(message);
    else if (message.type === 'routing') showRouting(message);
  };
  ws.onclose = () => {
    if (socket !== ws) return;
    socket = null;
    showState(state);
    scheduleReconnect();
  };
}

function scheduleReconnect() {
  if (retryTimer) return;
  const wait = Math.min(10000, 500 * 2 ** Math.min(retries++, 5));
  retryTimer = setTimeout(connect, wait);
}

// A page coming back from sleep may hold a dead connection: start afresh.
function reconnectNow() {
  if (document.hidden) return;
  retries = 0;
  if (retryTimer) { clearTimeout(retryTimer); retryTimer = 0; }
  if (socket) { const old = socket; socket = null; old.close(); }
  connect();
}

function post(path, body) {
  return fetch(path, {
    method: 'POST',
    credentials: 'same-origin',
    headers: { 'Content-Type': 'application/json', 'X-Csrf-Token': csrf || '' },
    body: JSON.stringify(body),
  });
}

function buildChannels(message) {
  const outputs = el('outputs');
  const inputs = el('inputs');
  outputs.textContent = '';
  inputs.textContent = '';
  message.outputs.forEach((output, i) => {
    const tile = document.createElement('button');
    tile.type = 'button';
    tile.className = 'tile';
    tile.id = 'output-' + (i + 1);
    tile.setAttribute('aria-pressed', 'false');
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = output.name;
    const st = document.createElement('span');
    st.className = 'state';
    st.setAttribute('aria-hidden', 'true');
    tile.append(name, st);
    tile.addEventListener('click', () => toggle(i + 1, tile));
    outputs.append(tile);
  });
  message.inputs.forEach((input, i) => {
    const item = document.createElement('li');
    item.className = 'input';
    item.id = 'input-' + (i + 1);
    const dot = document.createElement('span');
    dot.className = 'dot';
    dot.setAttribute('aria-hidden', 'true');
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = input.name;
    const st = document.createElement('span');
    st.className = 'state';
    item.append(dot, name, st);
    inputs.append(item);
  });
  const mode = el('mode');
  mode.textContent = '';
  const unknown = new Option('nieznany', '');
  unknown.disabled = true;
  mode.append(unknown);
  message.modes.forEach((m, i) => mode.append(new Option(m, String(i))));
}

async function toggle(n, tile) {
  if (tile.disabled || !state) return;
  const on = state.outputs[n - 1].on !== true;
  tile.setAttribute('aria-busy', 'true');
  try {
    await post('/api/output/' + n, { on });
  } finally {
    setTimeout(() => tile.removeAttribute('aria-busy'), 300);
  }
}

function showState(message) {
  if (!message) return;
  state = message;
  const key = JSON.stringify([message.outputs.map((o) => o.name), message.inputs.map((o) => o.name)]);
  if (key !== names) {
    names = key;
    buildChannels(message);
  }
  const linked = socket !== null && socket.readyState === WebSocket.OPEN;
  const online = linked && message.reach === 'online';
  const banner = el('banner');
  const text = !linked ? 'Brak połączenia z koncentratorem. Łączę ponownie…' : REACH_TEXT[message.reach];
  banner.hidden = online;
  banner.textContent = online ? '' : text;
  el('link').textContent = linked ? 'Połączono' : 'Brak połączenia';
  message.outputs.forEach((output, i) => {
    const tile = el('output-' + (i + 1));
    tile.setAttribute('aria-pressed', output.on === true ? 'true' : 'false');
    tile.disabled = !online || output.on === null;
    tile.lastChild.textContent = output.on === null ? 'stan nieznany' : output.on ? 'włączone' : 'wyłączone';
  });
  message.inputs.forEach((input, i) => {
    const item = el('input-' + (i + 1));
    item.dataset.on = input.on === true ? 'true' : 'false';
    item.lastChild.textContent = input.on === null ? '?' : input.on ? 'aktywne' : 'wył.';
  });
  const mode = el('mode');
  mode.value = message.mode === null ? '' : String(message.mode);
  mode.disabled = !online;
  if (routing) showRouting(routing);
}

function showRouting(message) {
  routing = message;
  const list = el('routing-list');
  const status = el('routing-status');
  const download = el('routing-download');
  list.textContent = '';
  download.hidden = !message.rows;
  if (!message.rows) {
    status.textContent = message.reading ? 'Odczytywanie tabeli ze sterownika…' : 'Tabela jeszcze nieodczytana.';
    return;
  }
  const when = new Date(message.readAt).toLocaleTimeString('pl-PL');
  status.textContent = (message.reading ? 'Odczytywanie… ' : '') + 'Odczytano o ' + when + '.';
  if (!state) return;
  message.rows.forEach((row, j) => {
    const dt = document.createElement('dt');
    dt.textContent = state.outputs[j].name;
    const dd = document.createElement('dd');
    const sources = [];
    for (let k = 0; k < row.length; k++) if (row[k] === '1') sources.push(state.inputs[k].name);
    dd.textContent = sources.length ? sources.join(', ') : '(żadne wejście)';
    list.append(dt, dd);
  });
}

el('mode').addEventListener('change', (event) => {
  if (event.target.value !== '') post('/api/mode', { mode: Number(event.target.value) });
});
el('routing').addEventListener('toggle', async (event) => {
  if (!event.target.open) return;
  try {
    const res = await fetch('/api/routing', { cache: 'no-store', credentials: 'same-origin' });
    if (res.ok) showRouting(await res.json());
  } catch (e) { /* the WebSocket brings it */ }
});
el('logout').addEventListener('click', () => logout('/api/logout'));
el('logout-all').addEventListener('click', () => logout('/api/logout-all'));
document.addEventListener('visibilitychange', reconnectNow);
window.addEventListener('online', reconnectNow);
connect();
