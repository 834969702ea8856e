// Aligning a room through the page, end to end: is900-host --web
// --allow-config-write behind an is900-sim whose transmitter stands
// misplaced and whose wand's sensor sits behind its tip. In headless
// Chromium the pivot finds the tip and its line is written; behind a second
// simulator at the same port, whose wand holds still at six room points and
// presses its button at each, the page takes the points, fits the room and
// writes the transmitter lines. Each write keeps the previous file, and the
// device streams with the new lines, putting the wand's tip where the room
// has it.
//
//   node align-view.test.mjs HOST WORK_DIR SCREENSHOT MODULES_DIR CHROMIUM   (is900-sim beside HOST)
import fs from 'node:fs';
import path from 'node:path';
import { check, fail, finish, jsonLines, launchChromium, startProgram, startSimulator, waitFor } from './harness.mjs';

const [hostPath, workDir, screenshotPath, modulesDir, chromiumPath] = process.argv.slice(2);
const link = path.join(workDir, `align-tty-${process.pid}`);
const configPath = path.join(workDir, `align-${process.pid}.cfg`);
const original = `# the room's tracker\nport ${link}\nsensors 1 1\ncontrollers 0 1\n`;

const metresPerInch = 0.0254;
const transmitter = { offset: [60, -30, 20], axis: [0.4, 1, -0.3], angle: 60 }; // inches, degrees
const tip = [1, -2, -9]; // inches, in the simulator's sensor frame
const holds = [[0, 0, 0, 10, 20, 30], [40, 0, 0, -40, 70, 0], [0, 40, 0, 80, -70, 10], [0, 0, 40, 0, 0, 0],
  [40, 40, -20, 120, 45, -60], [-30, 20, 50, -150, -30, 170]];

function simulatorArgs(motion) {
  const t = transmitter;
  return ['--link', link, '--baud', '115200', '--station', '1:tracker', '--station', '2:wand', '--noise', '1.5,0',
    '--transmitter', [...t.offset, ...t.axis, t.angle].join(','), '--tip', `2:${tip.join(',')}`, '--quiet', ...motion];
}

const numbersOf = (lines, keyword) => {
  const line = lines.split('\n').find((l) => l.startsWith(`${keyword} `));
  return line ? line.split(/\s+/).slice(1).filter((word) => word !== 'm').map(Number) : null;
};

async function waitForText(page, selector, pattern, ms) {
  return page.waitForFunction((s, p) => new RegExp(p).test(document.querySelector(s).textContent), { timeout: ms, polling: 'mutation' },
    selector, pattern).then(() => true, () => false);
}

// Writes the offered lines with the token; meanwhile() runs once the write is asked for.
async function write(page, host, token, what, meanwhile = async () => {}) {
  const before = fs.readFileSync(configPath, 'utf8');
  const backups = fs.readdirSync(workDir).filter((name) => name.startsWith(path.basename(configPath) + '.')).length;
  const streams = () => jsonLines(host).filter((line) => line.type === 'status' && line.state === 'streaming').length;
  const streamed = streams();
  await page.$eval('#align-token', (input, value) => { input.value = value; }, token);
  await page.click('#align-write');
  await meanwhile();
  const written = await waitForText(page, '#align-result', '^Written to', 10000);
  const result = await page.$eval('#align-result', (element) => element.textContent);
  check(written, `${what}: written (${result})`);
  const backup = `${configPath}.${backups + 1}`;
  check(fs.existsSync(backup) && fs.readFileSync(backup, 'utf8') === before, `${what}: the previous file is kept as ${backup}`);
  const restarted = await waitFor(() => streams() > streamed, 30000, host);
  check(restarted, `${what}: the device is brought up again and streams`);
  return fs.readFileSync(configPath, 'utf8');
}

async function pivot(page, host, token, swap) {
  await page.waitForFunction(() => [...document.querySelectorAll('#align-station option')].some((o) => o.value === 'is900/2'),
    { timeout: 30000 });
  await page.select('#align-station', 'is900/2');
  await page.click('#pivot-start');
  await page.waitForFunction(() => Number.parseInt(document.querySelector('#pivot-count').textContent, 10) >= 500,
    { timeout: 30000, polling: 'mutation' });
  await page.click('#pivot-solve');
  check(await waitForText(page, '#align-result', '^Tip at', 10000), 'the pivot finds the tip');
  const lines = await page.$eval('#align-lines', (element) => element.value);
  const offset = numbersOf(lines, 'sensoroffset');
  // In the device's sensor frame the simulator's (x, y, z) is (y, -z, -x).
  const expected = [tip[1], -tip[2], -tip[0]].map((inches) => inches * metresPerInch);
  check(offset && offset[0] === 2 && offset.slice(1).every((v, i) => Math.abs(v - expected[i]) < 0.0015),
    `the tip's line is within 1.5 mm (${lines})`);
  return write(page, host, token, 'the tip', swap);
}

async function room(page, host, token) {
  for (let i = 3; i < holds.length; ++i) await page.click('#point-add');
  await page.$$eval('#align-points tbody tr', (rows, points) => rows.forEach((row, i) => {
    row.querySelectorAll('input').forEach((input, a) => { input.value = String(points[i][a]); });
  }), holds.map((hold) => hold.slice(0, 3).map((inches) => inches * metresPerInch)));
  const taken = await page.waitForFunction((n) => window.is900View.align().taken === n, { timeout: 90000, polling: 'mutation' },
    holds.length).then(() => true, () => false);
  check(taken, `the wand's presses take the ${holds.length} points`);
  await page.click('#room-fit');
  check(await waitForText(page, '#align-result', 'points, RMS', 10000), 'the room is fitted');
  const summary = await page.evaluate(() => window.is900View.align());
  const residuals = await page.$$eval('#align-points .residual', (cells) => cells.map((cell) => Number(cell.textContent)));
  check(residuals.length === holds.length && residuals.every((r) => r > 0 && r < 2), `each point's residual is shown (${residuals})`);
  const previewed = await page.waitForFunction(() => window.is900View.align().previews > 0, { timeout: 10000, polling: 'raf' })
    .then(() => true, () => false);
  check(previewed, 'the live poses are previewed with the new correction');
  const offset = numbersOf(summary.lines, 'transmitteroffset');
  const rotation = numbersOf(summary.lines, 'transmitterrotation');
  const length = Math.hypot(...transmitter.axis);
  check(offset && offset.every((v, i) => Math.abs(v - transmitter.offset[i] * metresPerInch) < 0.002) && rotation &&
    Math.abs(rotation[3] - transmitter.angle) < 0.2 && rotation.slice(0, 3).every((v, i) => Math.abs(v - transmitter.axis[i] / length) < 0.004),
  `the transmitter lines are the misplacement's (${summary.lines})`);
  await page.screenshot({ path: screenshotPath });
  return write(page, host, token, 'the room');
}

// After the last write, the wand's tip held at a point shows where the room has it.
async function tipInRoom(host) {
  const from = jsonLines(host).length;
  const near = (line) => holds.some((hold) => hold.slice(0, 3).every((inches, a) =>
    Math.abs([line.x, line.y, line.z][a] * 12 - inches) * 25.4 < 3));
  const found = await waitFor(() => jsonLines(host).slice(from).some((line) => line.type === 'tracker' && line.station === 2 &&
    near(line)), 60000, host);
  check(found, "with the written lines the wand's tip is at the room's points");
}

async function main() {
  fs.writeFileSync(configPath, original);
  let { sim } = await startSimulator(hostPath, simulatorArgs(['--swivel', '2:10,20,50,0,30,0']));
  const host = startProgram(hostPath, ['-c', configPath, '--web', '127.0.0.1:0', '--allow-config-write', '--format', 'jsonl', '-q']);
  const announced = await waitFor(() => /web view at (http:\S+)/.test(host.err) && /X-Is900-Token: (\S+)/.test(host.err), 10000, host);
  check(announced, 'the host prints the page URL and the token');
  if (!announced) { host.kill(); sim.kill(); console.log(host.err); return; }
  const url = host.err.match(/web view at (http:\S+)/)[1];
  const token = host.err.match(/X-Is900-Token: (\S+)/)[1];
  const browser = await launchChromium(modulesDir, chromiumPath);
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 900 });
    await page.goto(url);
    // The wand's second simulator, holding still at the room's points, takes
    // over the port as the tip's line brings the device up again: its first
    // press comes once the page has the room's coordinates.
    const swap = async () => {
      sim.kill('SIGTERM');
      await sim.ended;
      ({ sim } = await startSimulator(hostPath, simulatorArgs(holds.flatMap((hold) => ['--hold', `2:${hold.join(',')}`]))));
    };
    await page.waitForFunction(() => window.is900View !== undefined, { timeout: 10000 });
    const afterTip = await pivot(page, host, token, swap);
    check(/^# the room's tracker$/m.test(afterTip) && /^sensoroffset 2 /m.test(afterTip), 'the file keeps its comment and gains the tip');
    const afterRoom = await room(page, host, token);
    check(/^transmitteroffset /m.test(afterRoom) && /^transmitterrotation /m.test(afterRoom) && /^sensoroffset 2 /m.test(afterRoom),
      'the file has the tip and the transmitter lines');
    await tipInRoom(host);
  } finally {
    await browser.close();
    host.kill('SIGTERM');
    sim.kill('SIGTERM');
  }
}

await main().catch(fail);
finish();
