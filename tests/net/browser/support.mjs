// What the browser tests share: waiting with a deadline, CP932 files, and a headless
// Chromium set up for a machine without outside network.
import { execFileSync } from 'node:child_process';
import { writeFileSync } from 'node:fs';
import { chromium } from 'playwright-core';

export const browserPath = process.env.CHROMIUM ?? '/usr/bin/chromium';

// Polls check() until it gives a true value, which it returns; throws at the deadline.
export async function until(what, check, ms = 60000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// Scripts are CP932 files.
export function writeCp932(path, text) {
  writeFileSync(path, execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP932'], { input: text }));
}

// A fresh machine reads Chromium from a cold disk while other tests keep the cores busy:
// the first start gets minutes, not Playwright's 30 s.
export const chromiumOptions = {
  executablePath: browserPath,
  headless: true,
  timeout: 150000,
  args: [
    '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
  ],
};

export function launchChromium() {
  return chromium.launch(chromiumOptions);
}
