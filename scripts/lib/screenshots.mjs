// Makes the pictures of the web view's quality panel and of a report in
// docs/ from the simulator: a still head sensor with noise and a 2-s gap, a
// wand, and a power cycle the host recovers from while it captures the line.
//
//   node scripts/lib/screenshots.mjs BIN_DIR MODULES_DIR CHROMIUM OUT_DIR
import { spawn, spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [bin, modulesDir, chromiumPath, outDir] = process.argv.slice(2);
const puppeteer = createRequire(path.resolve(modulesDir, 'package.json'))('puppeteer-core');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'is900-screenshots-'));

// Resolves with the first match of pattern in what the stream prints.
function printed(stream, pattern) {
  return new Promise((resolve, reject) => {
    let text = '';
    stream.on('data', (data) => {
      text += data;
      const match = text.match(pattern);
      if (match) resolve(match[1]);
    });
    stream.on('end', () => reject(new Error(`never printed ${pattern}:\n${text}`)));
  });
}

const sim = spawn(path.join(bin, 'is900-sim'), ['--station', '1:tracker', '--station', '2:both',
  '--still', '1:10,20,30,40,-20,10', '--noise', '1.5,0.05', '--gap', '12:2:1',
  '--power-cycle-at', '24', '--power-cycle-for', '3', '--boot-time', '1000', '--duration', '80', '--quiet'],
{ stdio: ['ignore', 'pipe', 'inherit'] });
const port = await printed(sim.stdout, /^(\/\S+)$/m);
fs.writeFileSync(path.join(work, 'room.cfg'), 'reconnect on 2\n');
const host = spawn(path.join(bin, 'is900-host'), ['--port', port, '-c', path.join(work, 'room.cfg'),
  '--web', '127.0.0.1:0', '--capture', work, '--duration', '45', '-q'], { stdio: ['ignore', 'ignore', 'pipe'] });
const url = await printed(host.stderr, /web view at (http:\S+)/);
const hostEnded = new Promise((resolve) => host.on('exit', resolve));

const browser = await puppeteer.launch({ executablePath: chromiumPath, headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'] });
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  await page.goto(url);
  // After the power cycle: the gap marked and the states' strip with the recovery in it.
  await page.waitForFunction(() => window.is900View.quality().devices.some((d) => d.states.length > 2),
    { timeout: 60000, polling: 500 });
  await new Promise((resolve) => setTimeout(resolve, 8000));
  await page.screenshot({ path: path.join(outDir, 'quality-panel.png') });

  if ((await hostEnded) !== 0) throw new Error('the host failed');
  const capture = fs.readdirSync(work).find((name) => name.endsWith('.is900cap'));
  const report = path.join(work, 'report.html');
  const made = spawnSync(path.join(bin, 'is900-report'), [path.join(work, capture), '-o', report], { stdio: 'inherit' });
  if (made.status !== 0) throw new Error('is900-report failed');
  await page.setViewport({ width: 1100, height: 1400 });
  await page.goto(`file://${report}`);
  await page.screenshot({ path: path.join(outDir, 'report.png') });
  console.log(`wrote ${path.join(outDir, 'quality-panel.png')} and ${path.join(outDir, 'report.png')}`);
} finally {
  await browser.close();
  host.kill('SIGTERM');
  sim.kill('SIGTERM');
  fs.rmSync(work, { recursive: true, force: true });
}
