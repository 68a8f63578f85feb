// The RELM remote panel: follows the console over a WebSocket and, opened with the operator's
// token, sends the operator's commands. Everything it shows comes from the console; it decides
// nothing about trains itself. It sends a heartbeat every second, watching or operating: the
// console closes a page that falls silent.
'use strict';

// The page is written in Japanese; the console puts the texts in the browser's language, when
// that is another, in the JSON block #texts (Japanese text to its translation).
const TEXTS = (() => {
  const block = document.getElementById('texts');
  try {
    return block ? JSON.parse(block.textContent) : {};
  } catch (e) {
    return {};
  }
})();
function say(japanese, ...values) {
  const chosen = Object.prototype.hasOwnProperty.call(TEXTS, japanese) ? TEXTS[japanese] : japanese;
  if (typeof chosen !== 'string')
    return chosen;
  return chosen.replace(/%([1-9])/g, (all, n) => (n <= values.length ? String(values[n - 1]) : all));
}
const STATE_TEXT = {
  idle: say('待機中'),
  downloading: say('送信中'),
  running: say('運転中'),
  lost: say('通信断'),
  connecting: say('接続中…'),
  disconnected: say('接続断'),
};
const SVG = 'http://www.w3.org/2000/svg';
const HEARTBEAT_MS = 1000;
const SPEED_SEND_MS = 100; // while a slider is dragged, at most this often
// The token goes with the WebSocket request, so that the console keeps a place for this page
// even when pages without it fill the others. Refused once, it is not tried again.
let token = new URLSearchParams(location.search).get('token');
let sentToken = false;
const trains = [];
let socket = null;
let heartbeat = null;
let operating = false;
let mapPolygons = [];
let lastSeq = 0;

function $(id) { return document.getElementById(id); }

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN)
    socket.send(JSON.stringify(message));
}

function showNotice(text) {
  const n = $('notice');
  n.textContent = text;
  n.hidden = false;
  clearTimeout(showNotice.timer);
  showNotice.timer = setTimeout(() => { n.hidden = true; }, 8000);
}

function buildTrains() {
  const template = $('train-template');
  for (let t = 0; t < 3; ++t) {
    const card = template.content.firstElementChild.cloneNode(true);
    card.dataset.train = String(t);
    const view = {
      card,
      name: card.querySelector('.train-name'),
      status: card.querySelector('.status'),
      fill: card.querySelector('.bar-fill'),
      requested: card.querySelector('.requested-value'),
      point: card.querySelector('.point'),
      reverse: card.querySelector('.reverse'),
      speed: card.querySelector('.speed'),
      stop: card.querySelector('.stop'),
      dragging: false,
      lastSpeedSent: 0,
    };
    view.point.addEventListener('click', () => send({type: 'point', train: t}));
    view.reverse.addEventListener('click', () => send({type: 'reverse', train: t}));
    view.stop.addEventListener('click', () => send({type: 'stop', train: t}));
    const sendSpeed = () => {
      view.lastSpeedSent = Date.now();
      send({type: 'speed', train: t, speed: Number(view.speed.value)});
    };
    view.speed.addEventListener('input', () => {
      view.dragging = true;
      if (Date.now() - view.lastSpeedSent >= SPEED_SEND_MS)
        sendSpeed();
    });
    view.speed.addEventListener('change', () => {
      view.dragging = false;
      sendSpeed();
    });
    $('trains').appendChild(card);
    trains.push(view);
  }
  $('transfer').addEventListener('click', () => send({type: 'transfer'}));
  $('reset').addEventListener('click', () => send({type: 'reset'}));
}

function setColour(element, colour) {
  element.style.backgroundColor = colour || '';
}

function drawMap(message) {
  const svg = $('map');
  svg.setAttribute('viewBox', `0 0 ${message.width} ${message.height}`);
  while (svg.firstChild)
    svg.removeChild(svg.firstChild);
  mapPolygons = [];
  for (const p of message.polygons) {
    const shape = document.createElementNS(SVG, 'polygon');
    shape.setAttribute('points', p.points.map((xy) => xy.join(',')).join(' '));
    shape.setAttribute('class', 'section');
    shape.dataset.section = String(p.n);
    svg.appendChild(shape);
    mapPolygons.push(shape);
    // The numbered label: a green box and the number, as the map window draws them.
    const [x, y] = p.label;
    const box = document.createElementNS(SVG, 'rect');
    box.setAttribute('x', x - 5);
    box.setAttribute('y', y - 5);
    box.setAttribute('width', 15);
    box.setAttribute('height', 10);
    box.setAttribute('class', 'label-box');
    svg.appendChild(box);
    const text = document.createElementNS(SVG, 'text');
    text.setAttribute('x', x - 4);
    text.setAttribute('y', y + 4);
    text.setAttribute('class', 'label');
    text.textContent = String(p.n);
    svg.appendChild(text);
  }
}

function showState(message) {
  const c = message.console;
  document.title = say(c.caption);
  $('caption').textContent = say(c.caption);
  const state = $('state');
  let text = STATE_TEXT[c.state] || c.state;
  if (c.state === 'downloading' && c.downloadTotal > 0)
    text += ` ${Math.floor(c.downloadSent * 100 / c.downloadTotal)}%`;
  state.textContent = text;
  state.className = `state state-${c.state}`;

  operating = message.control;
  if (sentToken && !operating) {
    token = null;
    sentToken = false;
    showNotice(say('トークンが違います: 閲覧のみです'));
  }
  document.body.classList.toggle('operating', operating);
  $('mode').textContent = operating ? say('操作可') : say('閲覧のみ');
  for (const element of document.querySelectorAll('.operate'))
    element.hidden = !operating;
  $('transfer').disabled = !c.transferEnabled;
  $('reset').disabled = !c.resetEnabled;

  message.trains.forEach((tr, t) => {
    const view = trains[t];
    view.name.textContent = say('列車 %1', tr.name);
    view.status.textContent = say(tr.codes);
    setColour(view.status, tr.status);
    const frame = tr.barFrame > 0 ? tr.barFrame : 1;
    view.fill.style.height = `${Math.min(100, Math.max(0, tr.bar * 100 / frame))}%`;
    view.requested.textContent = String(tr.requested);
    setColour(view.point, tr.point);
    setColour(view.reverse, tr.reverse);
    view.point.classList.toggle('pending', tr.pointPending);
    view.reverse.classList.toggle('pending', tr.reversePending);
    view.point.disabled = !operating;
    view.reverse.disabled = !operating;
    if (!view.dragging)
      view.speed.value = String(tr.requested);
  });
  message.fills.forEach((fill, p) => {
    if (p < mapPolygons.length)
      mapPolygons[p].setAttribute('fill', fill || 'none');
  });
}

function onMessage(event) {
  let message;
  try {
    message = JSON.parse(event.data);
  } catch (e) {
    return;
  }
  if (typeof message.seq === 'number') {
    if (message.seq <= lastSeq)
      return; // never show an older state over a newer one
    lastSeq = message.seq;
  }
  switch (message.type) {
  case 'map': drawMap(message); break;
  case 'state': showState(message); break;
  case 'error': showNotice(say('エラー: %1', message.message)); break;
  case 'notice': showNotice(message.text); break;
  default: break;
  }
}

function connect() {
  const state = $('state');
  state.textContent = STATE_TEXT.connecting;
  state.className = 'state state-connecting';
  sentToken = Boolean(token) && /^[0-9a-f]{32}$/.test(token);
  socket = new WebSocket(`ws://${location.host}/ws${sentToken ? `?token=${token}` : ''}`);
  lastSeq = 0;
  socket.addEventListener('open', () => {
    heartbeat = setInterval(() => send({type: 'heartbeat'}), HEARTBEAT_MS);
  });
  socket.addEventListener('message', onMessage);
  socket.addEventListener('close', () => {
    clearInterval(heartbeat);
    heartbeat = null;
    operating = false;
    document.body.classList.remove('operating');
    for (const element of document.querySelectorAll('.operate'))
      element.hidden = true;
    state.textContent = STATE_TEXT.disconnected;
    state.className = 'state state-disconnected';
    setTimeout(connect, 1000);
  });
}

buildTrains();
connect();
