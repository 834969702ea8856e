// What the browser tests share: their checks and tally, a program started
// with its output collected, waiting for a condition, the simulator's port
// and a headless Chromium.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';

let failures = 0;
let passes = 0;
export function check(ok, what) {
  if (ok) ++passes; else ++failures;
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}`);
  return ok;
}
export function fail(error) {
  console.log(error);
  ++failures;
}
export function finish() {
  console.log(`${passes} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export function startProgram(file, args) {
  const child = spawn(file, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  child.out = '';
  child.err = '';
  child.stdout.on('data', (data) => { child.out += data; });
  child.stderr.on('data', (data) => { child.err += data; });
  child.ended = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return child;
}

export async function waitFor(condition, ms) {
  const limit = Date.now() + ms;
  while (Date.now() < limit) {
    if (await condition()) return true;
    await sleep(100);
  }
  return false;
}

export const jsonLines = (program) =>
  program.out.split('\n').filter((line) => line.startsWith('{')).map((line) => JSON.parse(line));

// is900-sim beside the host; resolves with the program and the pseudo-terminal it prints first.
export async function startSimulator(hostPath, args) {
  const sim = startProgram(path.join(path.dirname(hostPath), 'is900-sim'), args);
  const found = await waitFor(() => /^\/\S+$/m.test(sim.out), 10000);
  return { sim, port: found ? sim.out.match(/^(\/\S+)$/m)[1] : null };
}

export function launchChromium(modulesDir, chromiumPath) {
  const require = createRequire(path.resolve(modulesDir, 'package.json'));
  const puppeteer = require('puppeteer-core');
  return puppeteer.launch({ executablePath: chromiumPath, headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1400,800'] });
}
