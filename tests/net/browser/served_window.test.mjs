// The window served to browsers, played as people would: a phone plays the sample to its
// end by touch while the same window shows on the X server, and every state the page
// shows is compared pixel for pixel with the window's own; two desktop browsers share a
// served window, a wrong token gets nothing, and a dropped connection picks up again.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launchChromium, until, writeCp932 } from './support.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const velmora = process.env.VELMORA_BIN ?? resolve(here, '../../../build/bin/velmora');
const sample = resolve(here, '../../../examples/sample');

// Starts velmora serving browsers; resolves once it has printed the page's address.
async function startServed(args, home) {
  const child = spawn(velmora, [...args, '--trace'], {
    env: { ...process.env, VELMORA_HOME: home },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const run = { child, out: '', err: '' };
  child.stdout.setEncoding('utf8').on('data', (d) => (run.out += d));
  child.stderr.setEncoding('utf8').on('data', (d) => (run.err += d));
  run.exited = new Promise((r) => child.on('exit', (code) => r(code)));
  run.url = await until('the page address', () => /http:\/\/\S+\/[0-9a-f]{32}\//.exec(run.out)?.[0]);
  // The script's lines, from --trace: where it has got to.
  run.reached = (text, times = 1) => run.err.split(text).length - 1 >= times;
  return run;
}

// The canvas as RGBA bytes, at the window's own size.
async function canvasPixels(page) {
  const { w, h, data } = await page.evaluate(() => {
    const c = document.getElementById('screen');
    const bytes = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return { w: c.width, h: c.height, data: btoa(s) };
  });
  return { w, h, data: Buffer.from(data, 'base64') };
}

// An X window's picture, from xwd's dump (TrueColor, 32 bits a pixel), as RGB.
function windowPixels(id) {
  const dump = execFileSync('xwd', ['-silent', '-id', id]);
  const field = (i) => dump.readUInt32BE(i * 4);
  const [headerSize, w, h, lsbFirst, bytesPerLine, colors] =
    [field(0), field(4), field(5), field(7) === 0, field(12), field(19)];
  assert.equal(field(11), 32, 'xwd: 32 bits a pixel');
  const start = headerSize + colors * 12;
  return {
    w, h,
    rgb(x, y) {
      const at = start + y * bytesPerLine + x * 4;
      const p = lsbFirst ? dump.readUInt32LE(at) : dump.readUInt32BE(at);
      return [(p >> 16) & 255, (p >> 8) & 255, p & 255];
    },
  };
}

// Pixels of the page's picture that differ from the window's, inside the window's shape
// (elsewhere the page is transparent and the X window undefined).
function differences(canvas, win) {
  let count = 0;
  for (let y = 0; y < Math.min(canvas.h, win.h); y++) {
    for (let x = 0; x < Math.min(canvas.w, win.w); x++) {
      const i = (y * canvas.w + x) * 4;
      if (canvas.data[i + 3] !== 255) continue;
      const [r, g, b] = win.rgb(x, y);
      if (canvas.data[i] !== r || canvas.data[i + 1] !== g || canvas.data[i + 2] !== b) count++;
    }
  }
  return count;
}

// The page and the window are both drawn from the same frame, sent losslessly: nothing
// may differ, so the tolerance is zero. A state is reached when they agree.
async function sameAsWindow(page, windowId, what) {
  let last = -1;
  try {
    await until(what, async () => {
      last = differences(await canvasPixels(page), windowPixels(windowId));
      return last === 0;
    }, 20000);
  } catch (e) {
    throw new Error(`${what}: ${last} pixels differ from the window`);
  }
}

// A point of the window, in the page's coordinates.
async function pagePoint(page, x, y) {
  const r = await page.evaluate(() => {
    const b = document.getElementById('screen').getBoundingClientRect();
    return { left: b.left, top: b.top, k: (b.width * window.velmora.scale) / document.getElementById('screen').width };
  });
  return { x: r.left + (x + 0.5) * r.k, y: r.top + (y + 0.5) * r.k };
}

async function tap(page, x, y) {
  const p = await pagePoint(page, x, y);
  await page.touchscreen.tap(p.x, p.y);
}

test('a phone plays the sample by touch, and sees what the window shows', async () => {
  const home = mkdtempSync(join(tmpdir(), 'velmora-served-'));
  cpSync(sample, home, { recursive: true });
  const run = await startServed(['--mirror', '127.0.0.1:0'], home);
  const browser = await launchChromium();
  try {
    const phone = await browser.newContext({
      viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true,
      hasTouch: true, bypassCSP: true,  // bypassCSP: Playwright's waits evaluate code
    });
    const page = await phone.newPage();
    page.setDefaultTimeout(60000);
    await page.goto(run.url);
    const windowId = await until('the window', () => {
      try {
        return execFileSync('xdotool', ['search', '--onlyvisible', '--name', '^velmora サンプル$'],
          { encoding: 'utf8' }).split('\n')[0];
      } catch {
        return '';
      }
    });
    await until('the title', async () => (await page.title()) === 'velmora サンプル');
    await sameAsWindow(page, windowId, 'the menu');

    // The name: the first choice, then the input dialog as a form.
    await tap(page, 100, 160);
    await page.waitForSelector('#box input');
    await page.fill('#box input', '太郎');
    await page.tap('#box button');
    await until('the greeting', () => run.reached('set,username,太郎'));
    await sameAsWindow(page, windowId, 'the greeting');

    // The timed quiz: the second choice, then the right answer.
    await until('the menu again', () => run.reached('choice,4', 2));
    await tap(page, 100, 182);
    await until('the quiz', () => run.reached('choice,3'));
    await sameAsWindow(page, windowId, 'the quiz');
    await tap(page, 100, 160);
    await until('the answer', () => run.reached('正解！'));
    await sameAsWindow(page, windowId, 'the answer');

    // The About box from the window's menu (a long press on a phone), and closed again.
    await until('the menu a third time', () => run.reached('choice,4', 3));
    const p = await pagePoint(page, 200, 250);
    await page.dispatchEvent('#screen', 'contextmenu', { clientX: p.x, clientY: p.y });
    await page.tap('#about');
    await until('the About box', () => page.evaluate(() => window.velmora.dialog > 0));
    assert.equal(await page.getAttribute('#picture', 'alt'), 'バージョン');
    await page.tap('#box button');
    await until('the About box closed', () => page.evaluate(() => window.velmora.dialog === 0));
    await sameAsWindow(page, windowId, 'the menu after About');

    // Out through the exit area, which asks first; the page hears that the script has ended.
    await tap(page, 363, 289);
    await until('the question', () => page.evaluate(() => window.velmora.dialog > 0));
    await page.tap('#box button >> text=OK');
    await until('the end', () => page.evaluate(() => window.velmora.ended));
    assert.equal(await run.exited, 0, run.err);
    assert.match(execFileSync('iconv', ['-f', 'CP932', '-t', 'UTF-8'],
      { input: readFileSync(join(home, 'variable.txt')) }).toString(), /^username=太郎$/m);
  } finally {
    await browser.close();
    run.child.kill('SIGTERM');
    await run.exited;
    rmSync(home, { recursive: true, force: true });
  }
});

test('two browsers share a served window; no token, no window; a dropped one resumes', async () => {
  const home = mkdtempSync(join(tmpdir(), 'velmora-served-'));
  writeCp932(join(home, 'code.txt'), `[main]
title,二人で
text,clear,どれにしますか？
choice,3,1,赤,緑,青
text,clear,選んだのは %choice_text%
input,ひとこと
text,clear,ひとこと:%var1%
choice,1,1,おわり
exit
`);
  const run = await startServed(['--serve', '127.0.0.1:0'], home);
  const browser = await launchChromium();
  try {
    const open = async () => {
      const context = await browser.newContext({ viewport: { width: 1024, height: 768 }, bypassCSP: true });
      const page = await context.newPage();
      page.setDefaultTimeout(60000);
      await page.goto(run.url);
      await until('the first frame', () => page.evaluate(() => window.velmora.frames > 0));
      return page;
    };
    const same = async (a, b, what) => until(what, async () => {
      const [x, y] = [await canvasPixels(a), await canvasPixels(b)];
      return x.w === y.w && x.data.equals(y.data);
    }, 20000);
    const [first, second] = [await open(), await open()];
    await until('the choices', () => run.reached('choice,3'));
    const before = await canvasPixels(first);

    // One moves the highlight; the other sees it.
    await first.keyboard.press('ArrowDown');
    await until('the highlight moved', async () => !(await canvasPixels(second)).data.equals(before.data));
    await same(first, second, 'both see the highlight');

    // A wrong token gets nothing: no page, no connection.
    const wrong = run.url.replace(/[0-9a-f]{32}/, (t) => t.replace(/^./, (c) => (c === '0' ? '1' : '0')));
    assert.equal((await fetch(wrong)).status, 404);
    assert.equal((await fetch(new URL('/', run.url))).status, 404);
    const refused = await second.evaluate((u) => new Promise((ok) => {
      const ws = new WebSocket(u.replace(/^http/, 'ws') + 'ws');
      ws.onmessage = () => ok('a message');
      ws.onclose = () => ok('closed');
    }), wrong);
    assert.equal(refused, 'closed');

    // The other answers, and both see the input dialog; markup in an answer stays text.
    await second.keyboard.press('Enter');
    await until('the choice', () => run.reached('選んだのは 緑'));
    await until('both dialogs', async () =>
      (await first.evaluate(() => window.velmora.dialog)) > 0 &&
      (await second.evaluate(() => window.velmora.dialog)) > 0);
    await first.fill('#box input', '<b>やあ</b>&amp;');
    await first.press('#box input', 'Enter');
    await until('the answer', () => run.reached('ひとこと:<b>やあ</b>&amp;'));
    await until('the dialog gone', () => second.evaluate(() => window.velmora.dialog === 0));
    assert.equal(await second.evaluate(() => document.querySelectorAll('b').length), 0);
    await same(first, second, 'both see the answer');
    await until('the title', async () => (await first.title()) === '二人で');

    // A dropped connection comes back by itself and gets the whole state again; so does
    // a browser that comes late.
    const frames = await first.evaluate(() => window.velmora.frames);
    await first.evaluate(() => window.velmora.drop());
    await until('reconnected', () => first.evaluate((n) => window.velmora.connected && window.velmora.frames > n, frames));
    await same(first, second, 'the resumed browser');
    await same(await open(), second, 'a late browser');

    await first.keyboard.press('Enter');
    await first.keyboard.up('Enter');
    await until('the end', () => second.evaluate(() => window.velmora.ended));
    assert.equal(await run.exited, 0, run.err);
  } finally {
    await browser.close();
    run.child.kill('SIGTERM');
    await run.exited;
    rmSync(home, { recursive: true, force: true });
  }
});
