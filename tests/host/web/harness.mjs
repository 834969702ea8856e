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

export function startProgram(file, args) {
  const child = spawn(file, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  child.out = '';
  child.err = '';
  child.stdout.on('data', (data) => { child.out += data; });
  child.stderr.on('data', (data) => { child.err += data; });
  child.ended = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return child;
}

// True once condition() holds: checked now and after each chunk a program
// writes on its standard output or error; false after ms.
export function waitFor(condition, ms, ...programs) {
  return new Promise((resolve) => {
    const streams = programs.flatMap((program) => [program.stdout, program.stderr]);
    const finish = (result) => {
      clearTimeout(timer);
      streams.forEach((stream) => stream.off('data', check));
      resolve(result);
    };
    // Runs after the program's own listener has appended the chunk.
    const check = () => setImmediate(() => { if (condition()) finish(true); });
    const timer = setTimeout(() => finish(condition()), ms);
    if (condition()) return finish(true);
    streams.forEach((stream) => stream.on('data', check));
  });
}

// The complete lines a program wrote so far, a chunk may end inside one.
export const jsonLines = (program) => program.out.slice(0, program.out.lastIndexOf('\n') + 1).split('\n')
  .filter((line) => line.startsWith('{')).map((line) => JSON.parse(line));

// is900-sim beside the host; resolves with the program and the pseudo-terminal it prints first.
export async function startSimulator(hostPath, args) {
  const sim = startProgram(path.join(path.dirname(hostPath), 'is900-sim'), args);
  const found = await waitFor(() => /^\/\S+$/m.test(sim.out), 10000, sim);
  return { sim, port: found ? sim.out.match(/^(\/\S+)$/m)[1] : null };
}

export function launchChromium(modulesDir, chromiumPath) {
  const require = createRequire(path.resolve(modulesDir, 'package.json'));
  const puppeteer = require('puppeteer-core');
  return puppeteer.launch({ executablePath: chromiumPath, headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1400,800'] });
}
