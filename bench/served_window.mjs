// Figures of the window served to browsers, on loopback: the time from a key or a tap to
// the updated picture in the browser, the bytes a text line and a choice highlight send,
// and velmora's CPU with 50 connected browsers, idle and while the script draws.
// Usage: node bench/served_window.mjs [build dir] (default build); needs tools/setup.sh.
import { spawn, execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launchChromium, until, writeCp932 } from '../tests/net/browser/support.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const velmora = resolve(root, process.argv[2] ?? 'build', 'bin/velmora');
const rounds = Number(process.env.VELMORA_BENCH_ROUNDS ?? 200);

// Each tap adds a line below the last; arrows move the highlight; the third choice
// starts drawing as fast as the script can.
const script = `[main]
text,clear,計測します
[loop]
choice,3,1,次の行,もう一つ,走る
if,same,%choice_sel%,3
goto,[spin]
endif
text,,/ret%choice_sel% 行目の文字です。
goto,[loop]
[spin]
calculate,%n%+1
set,n,%var1%
text,clear,%n%
goto,[spin]
`;

function cpuSeconds(pid) {
  const f = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(f[11]) + Number(f[12])) / 100;  // utime + stime, in ticks of 10 ms
}

async function cpuShare(pid, seconds) {
  const before = cpuSeconds(pid);
  await new Promise((r) => setTimeout(r, seconds * 1000));
  return (cpuSeconds(pid) - before) / seconds;
}

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

// Presses or taps, waits for the picture to change, and gives the time between them as
// the page measured it.
async function latency(page, act) {
  const frames = await page.evaluate(() => window.velmora.frames);
  await act();
  await until('the frame', () => page.evaluate((n) => window.velmora.frames > n, frames), 10000);
  return page.evaluate(() => ({
    ms: window.velmora.lastFrameAt - window.velmora.inputAt,
    bytes: window.velmora.lastFrameBytes,
  }));
}

const home = mkdtempSync(join(tmpdir(), 'velmora-bench-'));
writeCp932(join(home, 'code.txt'), script);
// The sample's skin and layout: a 440 x 330 window.
for (const f of ['skin.bmp', 'variable.txt']) copyFileSync(join(root, 'examples/sample', f), join(home, f));
const child = spawn(velmora, ['--serve', '127.0.0.1:0'], {
  env: { ...process.env, VELMORA_HOME: home }, stdio: ['ignore', 'pipe', 'inherit'],
});
let out = '';
child.stdout.setEncoding('utf8').on('data', (d) => (out += d));
const url = await until('the address', () => /http:\/\/\S+\/[0-9a-f]{32}\//.exec(out)?.[0]);
const browser = await launchChromium();
try {
  const context = await browser.newContext({ viewport: { width: 800, height: 600 }, bypassCSP: true });
  const page = await context.newPage();
  await page.goto(url);
  await until('the first frame', () => page.evaluate(() => window.velmora.frames > 0));
  console.log(`whole window (first frame): ${await page.evaluate(() => window.velmora.lastFrameBytes)} bytes`);
  await new Promise((r) => setTimeout(r, 500));

  const highlight = [], line = [];
  for (let i = 0; i < rounds; i++) {
    highlight.push(await latency(page, () => page.keyboard.press(i % 2 ? 'ArrowUp' : 'ArrowDown')));
  }
  const box = await page.evaluate(() => {
    const b = document.getElementById('screen').getBoundingClientRect();
    return { x: b.left, y: b.top, k: (b.width * window.velmora.scale) / document.getElementById('screen').width };
  });
  // The sample's first choice.
  for (let i = 0; i < rounds / 4; i++) {
    line.push(await latency(page, () => page.mouse.click(box.x + 100 * box.k, box.y + 160 * box.k)));
    await page.mouse.move(box.x + 2, box.y + 2);
  }
  const report = (name, samples) => {
    const ms = samples.map((s) => s.ms);
    const bytes = samples.map((s) => s.bytes);
    console.log(`${name}: ${samples.length} samples, median ${percentile(ms, 50).toFixed(1)} ms, ` +
      `p95 ${percentile(ms, 95).toFixed(1)} ms, median ${percentile(bytes, 50)} bytes`);
  };
  report('choice highlight (arrow key)', highlight);
  report('text line (click on a choice)', line);

  // 49 more browsers, all watching.
  const pages = [page];
  for (let i = 0; i < 49; i++) {
    const p = await context.newPage();
    await p.goto(url);
    pages.push(p);
  }
  await until('50 browsers drawn', async () =>
    (await Promise.all(pages.map((p) => p.evaluate(() => window.velmora.frames > 0)))).every(Boolean));
  console.log(`50 browsers, idle: velmora CPU ${(100 * (await cpuShare(child.pid, 10))).toFixed(1)} %`);
  await page.mouse.click(box.x + 100 * box.k, box.y + 204 * box.k);  // the third: draw
  await new Promise((r) => setTimeout(r, 1000));
  const busy = await cpuShare(child.pid, 10);
  const frames = await Promise.all(pages.slice(0, 3).map((p) => p.evaluate(() => window.velmora.frames)));
  console.log(`50 browsers, script drawing: velmora CPU ${(100 * busy).toFixed(1)} %` +
    ` (a browser had drawn ${frames[0]} frames)`);
} finally {
  await browser.close();
  const exited = new Promise((r) => child.on('exit', r));
  child.kill('SIGTERM');
  await exited;  // it saves its settings on the way out
  rmSync(home, { recursive: true, force: true });
}
console.log(`machine: ${execFileSync('nproc').toString().trim()} cores, load ${readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ')}`);
