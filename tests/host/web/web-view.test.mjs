// The web view end to end: is900-host --simulate --web streams to a real
// headless Chromium (SwiftShader for WebGL) driven by puppeteer-core, and to
// plain HTTP clients that try what the server must refuse. Nothing leaves
// 127.0.0.1.
//
//   node web-view.test.mjs HOST CONFIG SCREENSHOT MODULES_DIR CHROMIUM
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import http from 'node:http';
import path from 'node:path';

const [hostPath, configPath, screenshotPath, modulesDir, chromiumPath] = process.argv.slice(2);
const require = createRequire(path.resolve(modulesDir, 'package.json'));
const puppeteer = require('puppeteer-core');

let failures = 0;
let passes = 0;
function check(ok, what) {
  if (ok) ++passes; else ++failures;
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}`);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function startHost(args) {
  const child = spawn(hostPath, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  child.out = '';
  child.err = '';
  child.stdout.on('data', (data) => { child.out += data; });
  child.stderr.on('data', (data) => { child.err += data; });
  child.ended = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return child;
}

async function waitFor(condition, ms) {
  const limit = Date.now() + ms;
  while (Date.now() < limit) {
    if (await condition()) return true;
    await sleep(100);
  }
  return false;
}

function request(url, { method = 'GET', rawPath, body } = {}) {
  return new Promise((resolve) => {
    const target = new URL(url);
    const req = http.request({ host: target.hostname, port: target.port, method, path: rawPath ?? target.pathname,
      headers: body ? { 'Content-Type': 'text/plain', 'Content-Length': Buffer.byteLength(body) } : {} }, (res) => {
      res.resume();
      resolve({ status: res.statusCode, res });
    });
    req.on('error', () => resolve({ status: 0 }));
    if (body) req.write(body);
    req.end();
  });
}

function openStream(url) {
  return new Promise((resolve) => {
    const req = http.get(new URL('events', url), (res) => resolve({ status: res.statusCode, close: () => req.destroy() }));
    req.on('error', () => resolve({ status: 0, close: () => {} }));
  });
}

// The pipeline's rotation matrix, rows = the sensor's axes in the output frame.
function pipelineRows(azimuth, elevation, roll) {
  const r = Math.PI / 180;
  const [ca, sa, ce, se, cr, sr] = [Math.cos(azimuth * r), Math.sin(azimuth * r), Math.cos(elevation * r),
    Math.sin(elevation * r), Math.cos(roll * r), Math.sin(roll * r)];
  return [[ca * cr + sa * se * sr, ce * sr, -sa * cr + ca * se * sr],
    [-ca * sr + sa * se * cr, ce * cr, sa * sr + ca * se * cr],
    [sa * ce, -se, ca * ce]];
}

const jsonLines = (host) => host.out.split('\n').filter((line) => line.startsWith('{')).map((line) => JSON.parse(line));

async function checkServer(url) {
  check((await request(url, { method: 'POST', body: 'x=1' })).status === 405, 'POST is refused with 405');
  check((await request(url, { method: 'DELETE' })).status === 405, 'DELETE is refused with 405');
  for (const rawPath of ['/../../../../etc/passwd', '/vendor/../../../../../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd'])
    check((await request(url, { rawPath })).status === 404, `${rawPath} gets 404`);
  check((await request(url, { method: 'HEAD' })).status === 200, 'HEAD of the page');
}

// With the page's own stream open: 15 more streams make 16 viewers, and the
// 17th is refused.
async function checkViewerLimit(url) {
  const streams = [];
  for (let i = 0; i < 15; ++i) streams.push(await openStream(url));
  check(streams.every((stream) => stream.status === 200), '15 streams open beside the page');
  const extra = await openStream(url);
  check(extra.status === 503, `a 17th stream gets 503 (got ${extra.status})`);
  extra.close();
  streams.forEach((stream) => stream.close());
}

async function checkPage(url, host) {
  const browser = await puppeteer.launch({ executablePath: chromiumPath, headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1400,800'] });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 800 });
    const started = Date.now();
    await page.goto(url);
    const complete = await waitFor(() => page.evaluate(
      () => document.querySelectorAll('#trackers tbody tr').length === 2 && window.is900View?.controllerCount() === 1), 15000);
    check(complete, `every tracker and controller record shows within 15 s (${Date.now() - started} ms)`);

    await page.click('#pause');
    const rows = await page.evaluate(() => [...document.querySelectorAll('#trackers tbody tr')].map((row) => ({
      id: Number(row.dataset.id), time: row.dataset.time, cells: [...row.cells].map((cell) => cell.textContent) })));
    const lineOf = (lines, row) =>
      lines.find((l) => l.type === 'tracker' && l.id === row.id && l.time.toFixed(3) === Number(row.time).toFixed(3));
    // The host's standard output may reach us after the page has the records.
    let lines = [];
    await waitFor(() => { lines = jsonLines(host); return rows.every((row) => lineOf(lines, row)); }, 15000);
    for (const row of rows) {
      const line = lineOf(lines, row);
      const shown = row.cells.slice(3, 9).map(Number);
      const sent = line && [line.x, line.y, line.z, line.azim, line.elev, line.roll];
      const close = sent && shown.every((value, i) => Math.abs(value - sent[i]) <= (i < 3 ? 0.0005 : 0.005) + 1e-9);
      check(close, `tracker ${row.id}: the page shows the JSON line's numbers (${row.cells.slice(3, 9).join(' ')})`);
    }
    const frames = await page.evaluate(() => window.is900View.frames());
    for (const { line, axes } of frames) {
      const rows = pipelineRows(line.azim, line.elev, line.roll);
      const worst = Math.max(...axes.flatMap((axis, i) => axis.map((value, j) => Math.abs(value - rows[i][j]))));
      check(worst < 1e-4, `tracker ${line.id}: the frame's axes are the pipeline matrix's rows (off by ${worst.toExponential(1)})`);
    }
    await page.click('#pause');

    const lit = await waitFor(() => page.evaluate(() => document.querySelector('.btn.lit') !== null), 15000);
    const pressedInJson = jsonLines(host).some((l) => l.type === 'controller' && l.buttons.some((b) => b === 1));
    check(lit && pressedInJson, 'a button the simulator presses shows as lit');

    await page.screenshot({ path: screenshotPath });
    const colours = await page.evaluate(() => {
      const source = document.querySelector('#scene canvas');
      const canvas = document.createElement('canvas');
      canvas.width = source.width;
      canvas.height = source.height;
      const context = canvas.getContext('2d');
      context.drawImage(source, 0, 0);
      const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
      const seen = new Set();
      for (let i = 0; i < pixels.length; i += 4 * 97) seen.add((pixels[i] << 16) | (pixels[i + 1] << 8) | pixels[i + 2]);
      return seen.size;
    });
    check(colours > 8, `the drawn view is not blank (${colours} colours; screenshot ${screenshotPath})`);
    await checkViewerLimit(url);
  } finally {
    await browser.close();
  }
}

async function main() {
  const host = startHost(['--simulate', '-c', configPath, '--web', '127.0.0.1:0', '--format', 'jsonl', '-q', '--duration', '60']);
  const announced = await waitFor(() => /web view at (http:\S+)/.test(host.err), 10000);
  check(announced, 'the host prints the page URL');
  if (!announced) { host.kill(); console.log(host.err); return; }
  const url = host.err.match(/web view at (http:\S+)/)[1];
  try {
    const port = new URL(url).port;
    const second = startHost(['--simulate', '-c', configPath, '--web', `127.0.0.1:${port}`, '--duration', '5']);
    const code = await second.ended;
    check(code === 2 && /--web: cannot listen/.test(second.err) && !/device '/.test(second.err),
      `a port in use: one message and status 2 before any device (${code})`);
    await checkServer(url);
    await checkPage(url, host);
  } finally {
    host.kill('SIGTERM');
    check((await host.ended) === 0, 'the host ends in order');
  }
}

await main().catch((error) => { console.log(error); ++failures; });
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
