// The web view's page under load: 8 sensors over three simulated devices
// stream to headless Chromium for a while; prints every task of the page
// longer than 50 ms (the browser's "long tasks") and how far the table lags
// behind the records the host sent at the end. Exits 1 when there was a long
// task or the page fell behind by more than a second.
//
//   node bench/host/web-long-tasks.mjs HOST MODULES_DIR CHROMIUM [SECONDS]
//
// HOST is a built is900-host; MODULES_DIR the web view's node_modules folder
// (host/outputs/web/node_modules); SECONDS defaults to 60.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [hostPath, modulesDir, chromiumPath, secondsArg] = process.argv.slice(2);
if (!chromiumPath) {
  console.error('usage: node web-long-tasks.mjs HOST MODULES_DIR CHROMIUM [SECONDS]');
  process.exit(2);
}
const seconds = Number(secondsArg ?? 60);
const puppeteer = createRequire(path.resolve(modulesDir, 'package.json'))('puppeteer-core');

const config = `[device room-a]
sensors 1 1 1
controllers 0 1 0

[device room-b]
sensors 1 1 1
controllers 0 0 1

[device room-c]
sensors 1 1
controllers 0 1
`;
const configPath = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'is900-long-tasks-')), 'eight.cfg');
fs.writeFileSync(configPath, config);

const host = spawn(hostPath, ['--simulate', '-c', configPath, '--web', '127.0.0.1:0', '-q',
  '--duration', String(seconds + 60)], { stdio: ['ignore', 'ignore', 'pipe'] });
const url = await new Promise((resolve) => {
  let err = '';
  host.stderr.on('data', (data) => {
    err += data;
    const match = err.match(/web view at (http:\S+)/);
    if (match) resolve(match[1]);
  });
  host.on('exit', () => { console.error(err); resolve(null); });
});
if (!url) process.exit(2);

const browser = await puppeteer.launch({ executablePath: chromiumPath, headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1400,800'] });
let status = 0;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 800 });
  await page.evaluateOnNewDocument(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longTasks.push({ at: entry.startTime, ms: entry.duration });
    }).observe({ type: 'longtask', buffered: true });
  });
  await page.goto(url);
  await page.waitForFunction(() => window.is900View.quality().sensors.length === 8 &&
    document.querySelectorAll('#trackers tbody tr').length === 8, { timeout: 30000, polling: 500 });
  const start = await page.evaluate(() => { window.longTasks = []; return performance.now(); });
  console.log(`8 sensors over 3 devices streaming; watching the page for ${seconds} s`);
  await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
  const seen = await page.evaluate(() => ({
    tasks: window.longTasks,
    lag: Date.now() / 1000 - Math.max(...[...document.querySelectorAll('#trackers tbody tr')]
      .map((row) => Number(row.dataset.time))),
  }));
  for (const task of seen.tasks) console.log(`long task of ${task.ms.toFixed(0)} ms at ${((task.at - start) / 1000).toFixed(1)} s`);
  const longest = Math.max(0, ...seen.tasks.map((task) => task.ms));
  console.log(`${seen.tasks.length} tasks longer than 50 ms in ${seconds} s (longest ${longest.toFixed(0)} ms); ` +
    `the table's newest record ${(seen.lag * 1000).toFixed(0)} ms old at the end`);
  if (seen.tasks.length || !(seen.lag < 1)) status = 1;
} finally {
  await browser.close();
  host.kill('SIGTERM');
}
process.exit(status);
