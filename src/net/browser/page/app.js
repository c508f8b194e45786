// The served window's page: draws the pieces the program sends, shows its dialogs as
// forms, and sends keys, taps and answers back. Every text the script wrote is set as
// text, never as markup.
'use strict';

const screen = document.getElementById('screen');
const context = screen.getContext('2d');
const dialogLayer = document.getElementById('dialog');
const box = document.getElementById('box');
const picture = document.getElementById('picture');
const menu = document.getElementById('menu');
const status = document.getElementById('status');
const titleBar = document.getElementById('title');

// What tests and measurements read.
const state = {
  frames: 0, lastFrameAt: 0, lastFrameBytes: 0, inputAt: 0, dialog: 0, connected: false,
  ended: false, scale: 1,
};
window.velmora = state;

let socket = null;
let size = { w: 1, h: 1, scale: 1 };
let scale = 1;
let dialog = null;  // the open dialog's fields
let pictureUrl = null;
let applying = Promise.resolve();  // pieces are drawn in the order they came
let retryMs = 250;

const KEYS = { ArrowLeft: 'Left', ArrowUp: 'Up', ArrowRight: 'Right', ArrowDown: 'Down',
               Enter: 'Enter', ' ': 'Space', Escape: 'Escape' };

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
  if (message.k !== 'ptr' || message.phase === 'up') state.inputAt = performance.now();
}

function showStatus(text) {
  status.textContent = text;
  status.classList.toggle('shown', text !== '');
}

// The window keeps its proportions and fills what the screen offers; whole multiples
// keep its pixels square and sharp.
function fit() {
  const stage = document.getElementById('stage');
  const room = { w: stage.clientWidth, h: stage.clientHeight };
  scale = Math.min(room.w / size.w, room.h / size.h);
  if (scale >= 2) scale = Math.floor(scale);
  screen.style.width = `${size.w * scale}px`;
  screen.style.height = `${size.h * scale}px`;
  // Square blocks of the screen's pixels for each of the picture's keep it sharp.
  const pixels = (scale * window.devicePixelRatio) / size.scale;
  screen.classList.toggle('crisp', Number.isInteger(pixels) && pixels >= 2);
  if (dialog) placeDialog();
}

// The window's size is in its own pixels; the picture has `scale` of them each way.
function setWindow(m) {
  if (m.w !== size.w || m.h !== size.h || m.scale !== size.scale) {
    size = { w: m.w, h: m.h, scale: m.scale };
    state.scale = m.scale;
    screen.width = m.w * m.scale;
    screen.height = m.h * m.scale;
    fit();
  }
  setTitle(m.title);
  if (m.about) document.getElementById('about').textContent = m.about;
}

function setTitle(text) {
  titleBar.textContent = text;
  document.title = text || 'velmora';
}

function drawPieces(view) {
  const count = view.getUint16(1);
  let at = 3;
  const pieces = [];
  for (let i = 0; i < count; i++) {
    const x = view.getUint16(at), y = view.getUint16(at + 2);
    const w = view.getUint16(at + 4), h = view.getUint16(at + 6);
    const length = view.getUint32(at + 8);
    const png = new Blob([new Uint8Array(view.buffer, view.byteOffset + at + 12, length)],
                         { type: 'image/png' });
    pieces.push({ x, y, w, h, png });
    at += 12 + length;
  }
  applying = applying.then(async () => {
    const bitmaps = await Promise.all(pieces.map((p) => createImageBitmap(p.png)));
    pieces.forEach((p, i) => {
      context.clearRect(p.x, p.y, p.w, p.h);  // the shape's holes stay transparent
      context.drawImage(bitmaps[i], p.x, p.y);
      bitmaps[i].close();
    });
    state.frames++;
    state.lastFrameAt = performance.now();
  }).catch(() => {});
}

function showDialogPicture(view) {
  const id = view.getUint32(1);
  if (!dialog || dialog.id !== id) return;
  if (pictureUrl) URL.revokeObjectURL(pictureUrl);
  pictureUrl = URL.createObjectURL(new Blob([new Uint8Array(view.buffer, view.byteOffset + 5)],
                                            { type: 'image/png' }));
  picture.src = pictureUrl;
}

// The dialog as large as the window is drawn, at most the screen's width.
function placeDialog() {
  const k = Math.min(Math.max(scale, 1), (window.innerWidth - 16) / dialog.w);
  box.style.width = `${dialog.w * k}px`;
  box.style.height = `${dialog.h * k}px`;
  for (const el of box.querySelectorAll('[data-x]')) {
    el.style.left = `${el.dataset.x * k}px`;
    el.style.top = `${el.dataset.y * k}px`;
    el.style.width = `${el.dataset.w * k}px`;
    el.style.height = `${el.dataset.h * k}px`;
  }
}

function place(el, r) {
  Object.assign(el.dataset, { x: r.x, y: r.y, w: r.w, h: r.h });
}

function answer(button) {
  const edit = box.querySelector('input');
  send({ k: 'answer', dialog: dialog.id, button, text: edit ? edit.value : '' });
}

function openDialog(m) {
  dialog = m;
  for (const el of box.querySelectorAll('button, input')) el.remove();
  picture.removeAttribute('src');
  picture.alt = m.title;
  m.buttons.forEach((b, i) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = b.text;
    place(button, b);
    button.addEventListener('click', () => answer(i));
    box.appendChild(button);
  });
  if (m.edit) {
    const input = document.createElement('input');
    input.type = 'text';
    input.value = m.edit.text;
    input.autocomplete = 'off';
    input.enterKeyHint = 'done';
    if (m.edit.max) input.maxLength = m.edit.max;
    place(input, m.edit);
    box.appendChild(input);
  }
  dialogLayer.classList.add('open');
  placeDialog();
  const input = box.querySelector('input');
  if (input) input.focus();
  state.dialog = m.id;
}

function closeDialog(id) {
  if (!dialog || dialog.id !== id) return;
  dialog = null;
  state.dialog = 0;
  dialogLayer.classList.remove('open');
}

function received(event) {
  if (event.data instanceof ArrayBuffer) {
    const view = new DataView(event.data);
    if (view.getUint8(0) === 1) {
      state.lastFrameBytes = view.byteLength;
      drawPieces(view);
    }
    else if (view.getUint8(0) === 2) showDialogPicture(view);
    return;
  }
  const m = JSON.parse(event.data);
  if (m.k === 'window') setWindow(m);
  else if (m.k === 'title') setTitle(m.text);
  else if (m.k === 'dialog') openDialog(m);
  else if (m.k === 'dialogEnd') closeDialog(m.id);
  else if (m.k === 'cursor') screen.classList.toggle('hand', m.hand);
}

// Cuts the connection as a failing network would, for tests of the way back.
state.drop = () => socket && socket.close();

function connect() {
  socket = new WebSocket(new URL('ws', location.href).href.replace(/^http/, 'ws'));
  socket.binaryType = 'arraybuffer';
  socket.onopen = () => {
    retryMs = 250;
    state.connected = true;
    showStatus('');
  };
  socket.onmessage = received;
  socket.onclose = (e) => {
    state.connected = false;
    if (e.reason === 'ended') {
      state.ended = true;
      showStatus('The script has ended.');
      return;
    }
    // Lost: try again, less often as it goes on; the program sends the whole state back.
    showStatus('Connection lost; reconnecting…');
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 4000);
  };
}

function pointer(phase, e) {
  const r = screen.getBoundingClientRect();
  const x = Math.floor((e.clientX - r.left) / scale);
  const y = Math.floor((e.clientY - r.top) / scale);
  send({ k: 'ptr', phase, x, y });
}

screen.addEventListener('pointerdown', (e) => {
  if (e.button !== 0) return;
  menu.classList.remove('open');
  screen.setPointerCapture(e.pointerId);
  pointer('move', e);  // a finger has no hover: the choice under it lights up first
  pointer('down', e);
});
screen.addEventListener('pointermove', (e) => pointer('move', e));
screen.addEventListener('pointerup', (e) => {
  if (e.button === 0) pointer('up', e);
});
screen.addEventListener('contextmenu', (e) => {
  e.preventDefault();
  menu.style.left = `${e.clientX}px`;
  menu.style.top = `${e.clientY}px`;
  menu.classList.add('open');
});
document.getElementById('about').addEventListener('click', () => {
  menu.classList.remove('open');
  send({ k: 'about' });
});
document.addEventListener('pointerdown', (e) => {
  if (!menu.contains(e.target)) menu.classList.remove('open');
});

document.addEventListener('keydown', (e) => {
  if (dialog || !(e.key in KEYS)) return;
  e.preventDefault();
  send({ k: 'key', key: KEYS[e.key], down: true });
});
document.addEventListener('keyup', (e) => {
  if (dialog || !(e.key in KEYS)) return;
  e.preventDefault();
  send({ k: 'key', key: KEYS[e.key], down: false });
});
// Enter in the answer field presses the dialog's default button, as in the window.
box.addEventListener('submit', (e) => {
  e.preventDefault();
  if (dialog) answer(Math.max(0, dialog.buttons.findIndex((b) => b.default)));
});

window.addEventListener('resize', fit);
connect();
