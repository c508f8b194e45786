// A person answers the script from a browser: headless Chromium opens the input page,
// types a Japanese answer, then picks a choice, and the script running in velmora's
// console receives both while the browser shows the acknowledgements.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, readdirSync, readlinkSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { connect } from 'node:net';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { chromiumOptions, until, writeCp932 } from './support.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const velmora = process.env.VELMORA_BIN ?? resolve(here, '../../../build/bin/velmora');

// Each answer is acknowledged by the next page of the same kind, and by the status
// page at the end.
const script = `[main]
web,input,お名前は？
text,clear,input:%var1%
web,input,ひとこと？
text,clear,note:%var1%
web,choice,3,1,好きな果物は？,りんご,みかん,ぶどう
text,clear,choice:%choice_sel%:%choice_text%
web,choice,2,1,もう一問？,はい,いいえ
text,clear,again:%choice_sel%:%choice_text%
web,start,おわり
pause
`;

// The TCP port a process listens on, from its sockets in /proc (0 while none): velmora
// is asked for any free port, so no other test can take it first.
function listeningPort(pid) {
  const inodes = new Set();
  for (const fd of readdirSync(`/proc/${pid}/fd`)) {
    try {
      const m = /^socket:\[(\d+)\]$/.exec(readlinkSync(`/proc/${pid}/fd/${fd}`));
      if (m) inodes.add(m[1]);
    } catch {
      // closed meanwhile
    }
  }
  for (const table of ['/proc/net/tcp', '/proc/net/tcp6']) {
    for (const line of readFileSync(table, 'utf8').split('\n').slice(1)) {
      const f = line.trim().split(/\s+/);
      if (f[3] === '0A' && inodes.has(f[9])) return parseInt(f[1].split(':').pop(), 16);
    }
  }
  return 0;
}

test('a browser answers the input and choice pages in Japanese', async () => {
  const home = mkdtempSync(join(tmpdir(), 'velmora-browser-'));
  const profile = mkdtempSync(join(tmpdir(), 'velmora-chromium-'));
  writeCp932(join(home, 'code.txt'), script);
  const child = spawn(velmora, ['--console'], {
    env: { ...process.env, VELMORA_HOME: home, VELMORA_WEB_PORT: '0' },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let out = '';
  let err = '';
  child.stdout.setEncoding('utf8').on('data', (d) => (out += d));
  child.stderr.setEncoding('utf8').on('data', (d) => (err += d));
  const exited = new Promise((r) => child.on('exit', (code, signal) => r({ code, signal })));
  let context;
  try {
    const port = await until('the server\'s port', () => listeningPort(child.pid));
    const base = `http://127.0.0.1:${port}/`;
    // A bare connection: the pages end their header lines with LF alone, which browsers
    // take but Node's own HTTP client refuses.
    await until('the server', () => new Promise((ok) => {
      const s = connect(port, '127.0.0.1', () => { s.destroy(); ok(true); });
      s.on('error', () => ok(false));
    }));
    context = await chromium.launchPersistentContext(profile, chromiumOptions);
    const page = context.pages()[0] ?? (await context.newPage());
    page.setDefaultTimeout(60000);

    const body = () => page.textContent('body');
    // The listener pauses after an answer so that the script can ask again before the
    // redirected request is served; a slow machine may miss the pause, and a person
    // would then reload, as the page's own link offers.
    const answer = async (fill, urlPattern, expected, next) => {
      await fill();
      await Promise.all([page.waitForURL(urlPattern), page.click('input[type="submit"]')]);
      await until(expected, () => out.includes(expected + '\n'));
      await until(`the page after ${expected}`, async () =>
        next.test(await body()) || (await page.reload(), false));
    };

    await page.goto(base);
    assert.equal(await page.title(), '簡易入力鯖');
    assert.match(await body(), /お名前は？/);
    await answer(() => page.fill('input[name="input"]', '山田太郎'), /prev=/, 'input:山田太郎',
      /ひとこと？/);
    // The script asked again during the listener's pause: the new form carries the
    // acknowledgement.
    assert.equal(await page.title(), '簡易入力鯖');
    assert.match(await body(), /山田太郎を入力しました\s*ひとこと？/);
    await answer(() => page.fill('input[name="input"]', 'よろしく<b>'), /prev=/, 'note:よろしく<b>',
      /好きな果物は？/);

    assert.equal(await page.title(), '簡易選択鯖');
    assert.match(await body(), /好きな果物は？/);
    assert.ok(await page.isChecked('input[value="1"]'));
    await answer(() => page.check('input[value="2"]'), /prevc=2/, 'choice:2:みかん', /もう一問？/);
    assert.equal(await page.title(), '簡易選択鯖');
    assert.match(await body(), /みかんを選択しました\s*もう一問？/);

    await answer(() => page.check('input[value="2"]'), /prevc=2/, 'again:2:いいえ', /おわり/);
    assert.equal(await page.title(), 'zir');
    assert.match(await body(), /いいえを選択しました\s*おわり/);
  } finally {
    if (context) await context.close();
    child.kill('SIGTERM');
    const { code } = await exited;
    rmSync(home, { recursive: true, force: true });
    rmSync(profile, { recursive: true, force: true });
    assert.equal(code, 0, `velmora ended badly: ${err}`);
  }
  assert.equal(err, '', 'no message boxes');
});
