// The web view end to end: is900-host --web, behind an is900-sim whose
// still head sensor has noise and a gap, streams to a real headless Chromium
// (SwiftShader for WebGL) driven by puppeteer-core, and to plain HTTP
// clients that try what the server must refuse. Nothing leaves 127.0.0.1.
//
//   node web-view.test.mjs HOST CONFIG SCREENSHOT MODULES_DIR CHROMIUM   (is900-sim beside HOST)
import http from 'node:http';
import { check, fail, finish, jsonLines, launchChromium, startProgram, startSimulator, waitFor } from './harness.mjs';

const [hostPath, configPath, screenshotPath, modulesDir, chromiumPath] = process.argv.slice(2);
const startHost = (args) => startProgram(hostPath, args);

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

// The quality panel: pose plots of both sensors and the wand's plot fill,
// the simulator's 2-s gap is marked as the host told it, the device's states show, the
// window follows its control, and the figures shown are those of the
// quality line the page received last, as the host wrote it.
async function checkQualityPanel(page, host) {
  const summary = () => page.evaluate(() => window.is900View.quality());
  const ready = await page.waitForFunction(() => {
    const q = window.is900View.quality();
    const head = q.sensors.find((s) => s.key.endsWith('/1'));
    return q.sensors.length === 2 && q.sensors.every((s) => s.position.points > 0 && s.orientation.points > 0 &&
      s.figurePlot.points > 0) && q.wands.length === 1 && q.wands[0].pressed &&
      head.gaps.some((gap) => gap.length > 1.5 && !gap.ongoing && [head.position, head.orientation, head.figurePlot]
        .every((plot) => plot.gapsDrawn.includes(gap.start))) && q.devices.some((d) => d.segments > 0 && d.states.includes('streaming'));
  }, { timeout: 40000, polling: 'raf' }).then(() => true, () => false);
  const seen = await summary();
  check(ready, `two sensors, a wand with a pressed button, a gap marked and a state strip drawn (${JSON.stringify(seen)})`);

  await page.evaluate(() => {
    const input = document.getElementById('window-seconds');
    input.value = '10';
    input.dispatchEvent(new Event('input'));
  });
  const narrowed = await page.waitForFunction(() => window.is900View.quality().sensors.every((s) =>
    Math.abs(s.position.span - 10) < 1e-6 && Math.abs(s.orientation.span - 10) < 1e-6),
  { timeout: 5000, polling: 'raf' }).then(() => true, () => false);
  check(narrowed, 'the plots show the last 10 s once the viewer asks for 10 s');

  await page.click('#pause');
  const sensors = (await summary()).sensors;
  await page.click('#pause');
  const stationOf = (sensor) => Number(sensor.key.split('/').pop());
  const deviceOf = (sensor) => sensor.key.slice(0, sensor.key.lastIndexOf('/'));
  let lines = [];
  const figuresOf = (sensor) => lines.find((l) => l.type === 'quality' && (l.device ?? '') === deviceOf(sensor) &&
    l.time.toFixed(3) === Number(sensor.figures.time).toFixed(3))?.stations.find((st) => st.station === stationOf(sensor));
  await waitFor(() => { lines = jsonLines(host); return sensors.every(figuresOf); }, 15000, host);
  const shown = (value, digits) => (value === null ? '–' : value.toFixed(digits));
  for (const sensor of sensors) {
    const station = figuresOf(sensor);
    const same = station && ['rate', 'positionNoiseMm', 'orientationNoiseDeg', 'gaps']
      .every((name) => sensor.figures[name] === String(station[name]));
    const text = station && sensor.shown.rate === shown(station.rate, 1) &&
      sensor.shown.position === shown(station.positionNoiseMm, 3) && sensor.shown.orientation === shown(station.orientationNoiseDeg, 4);
    check(same && text, `sensor ${sensor.key}: the panel's figures are the quality line's (${JSON.stringify(sensor.shown)})`);
  }
  const head = sensors.find((s) => s.key.endsWith('/1'));
  check(head && head.figures.positionNoiseMm !== 'null', `the still sensor has a noise figure (${head?.figures.positionNoiseMm} mm)`);
  const long = head?.gaps.find((gap) => gap.length > 1.5);
  const told = long && lines.some((l) => l.type === 'quality' && l.stations.some((st) => st.station === 1 &&
    st.recentGaps.some((gap) => !gap.ongoing && gap.start === long.start && gap.length === long.length)));
  check(told, `the marked 2-s gap is the one the host's quality lines tell (${JSON.stringify(long)})`);
}

async function checkPage(url, host) {
  const browser = await launchChromium(modulesDir, chromiumPath);
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 800 });
    const started = Date.now();
    await page.goto(url);
    const complete = await page.waitForFunction(
      () => document.querySelectorAll('#trackers tbody tr').length === 2 && window.is900View?.controllerCount() === 1,
      { timeout: 15000, polling: 'raf' }).then(() => true, () => false);
    check(complete, `every tracker and controller record shows within 15 s (${Date.now() - started} ms)`);

    await page.click('#pause');
    const rows = await page.evaluate(() => [...document.querySelectorAll('#trackers tbody tr')].map((row) => ({
      id: Number(row.dataset.id), time: row.dataset.time, cells: [...row.cells].map((cell) => cell.textContent) })));
    // A busy machine reads records in bursts: several lines of one ID may
    // share the row's printed millisecond, and the row shows one of them.
    const linesOf = (lines, row) =>
      lines.filter((l) => l.type === 'tracker' && l.id === row.id && l.time.toFixed(3) === Number(row.time).toFixed(3));
    // The host's standard output may reach us after the page has the records.
    let lines = [];
    await waitFor(() => { lines = jsonLines(host); return rows.every((row) => linesOf(lines, row).length > 0); }, 15000, host);
    for (const row of rows) {
      const shown = row.cells.slice(3, 9).map(Number);
      const close = linesOf(lines, row).some((line) => {
        const sent = [line.x, line.y, line.z, line.azim, line.elev, line.roll];
        return shown.every((value, i) => Math.abs(value - sent[i]) <= (i < 3 ? 0.0005 : 0.005) + 1e-9);
      });
      check(close, `tracker ${row.id}: the page shows the JSON line's numbers (${row.cells.slice(3, 9).join(' ')})`);
    }
    const frames = await page.evaluate(() => window.is900View.frames());
    for (const { line, axes } of frames) {
      const rows = pipelineRows(line.azim, line.elev, line.roll);
      const worst = Math.max(...axes.flatMap((axis, i) => axis.map((value, j) => Math.abs(value - rows[i][j]))));
      check(worst < 1e-4, `tracker ${line.id}: the frame's axes are the pipeline matrix's rows (off by ${worst.toExponential(1)})`);
    }
    await page.click('#pause');

    const lit = await page.waitForFunction(() => document.querySelector('.btn.lit') !== null,
      { timeout: 15000, polling: 'raf' }).then(() => true, () => false);
    const pressedInJson = jsonLines(host).some((l) => l.type === 'controller' && l.buttons.some((b) => b === 1));
    check(lit && pressedInJson, 'a button the simulator presses shows as lit');

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
    await checkQualityPanel(page, host);
    await page.screenshot({ path: screenshotPath });
    await checkViewerLimit(url);
  } finally {
    await browser.close();
  }
}

async function main() {
  const { sim, port: simPort } = await startSimulator(hostPath, ['--station', '1:tracker', '--station', '2:both',
    '--still', '1:10,20,30,40,-20,10', '--noise', '1.5,0.05', '--gap', '20:2:1', '--duration', '90', '--quiet']);
  check(simPort !== null, `the simulator gives its port (${simPort})`);
  if (!simPort) return;
  const host = startHost(['--port', simPort, '-c', configPath, '--web', '127.0.0.1:0', '--format', 'jsonl', '-q',
    '--duration', '80']);
  const announced = await waitFor(() => /web view at (http:\S+)/.test(host.err), 10000, host);
  check(announced, 'the host prints the page URL');
  if (!announced) { host.kill(); sim.kill(); console.log(host.err); return; }
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
    sim.kill('SIGTERM');
  }
}

await main().catch(fail);
finish();
