// Aligning the room from the page: a wand's tip by pivoting, the room's
// points each held still for a second and taken by the wand's first button
// (or the Take button), the fit the host makes of them with each point's
// residual, a preview of the live poses with the new correction, and the
// option lines, to copy or, with the token the host printed, to write into
// its configuration. The host does every fit; the page collects the poses.
import * as THREE from 'three';

const heldSeconds = 1.0;
const feetPerMetre = 1 / 0.3048;

function poseOf(line) {
  const pose = line.raw ?? line; // a processed station's own pose: the device's
  return [pose.x, pose.y, pose.z, pose.azim, pose.elev, pose.roll];
}

async function post(path, body, headers = {}) {
  const response = await fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json', ...headers },
    body: JSON.stringify(body) });
  const reply = await response.json().catch(() => ({ error: `the host answered ${response.status}` }));
  if (!response.ok) throw new Error(reply.error ?? `the host answered ${response.status}`);
  return reply;
}

export class AlignPanel {
  constructor(element, scene) {
    this.element = element;
    this.recent = new Map(); // "device/station" -> [{at, pose}] of the last second
    this.buttonDown = new Map();
    this.swivel = null; // poses while pivoting
    this.points = [];   // {room: [x, y, z] metres, poses}
    this.fit = null;
    this.preview = new THREE.Group();
    scene.add(this.preview);
    this.marks = new Map();
    element.innerHTML = `
      <h2>Align the room</h2>
      <label>Device and station <select id="align-station"></select></label>
      <p class="hint">Hold each point still for a second; the wand's first button takes it.</p>
      <details open><summary>1. The wand's tip</summary>
        <p class="hint">Rest the tip on a point and swivel the wand about it (at least 20°).</p>
        <button id="pivot-start" type="button">Start swivel</button>
        <button id="pivot-solve" type="button" disabled>Find the tip</button>
        <span id="pivot-count"></span>
      </details>
      <details open><summary>2. The room's points <small>metres</small></summary>
        <table id="align-points"><thead><tr><th>#</th><th>X</th><th>Y</th><th>Z</th><th>Taken</th><th>mm</th></tr></thead>
        <tbody></tbody></table>
        <button id="point-add" type="button">Add point</button>
        <button id="point-take" type="button">Take</button>
        <button id="room-fit" type="button">Fit the room</button>
      </details>
      <details><summary>The eyes from a head sensor</summary>
        <p class="hint">With the tip calibrated, touch each lens centre of the glasses, left then right, pressing the button at each.</p>
        <label>Head station <select id="align-head"></select></label>
        <button id="eyes-start" type="button">Take the eyes</button>
        <span id="eyes-count"></span>
      </details>
      <details open><summary>3. The lines</summary>
        <p id="align-result" class="hint"></p>
        <textarea id="align-lines" rows="4" readonly></textarea>
        <label>Token <input id="align-token" type="password" autocomplete="off"></label>
        <button id="align-write" type="button" disabled>Write to the configuration</button>
      </details>`;
    this.select = element.querySelector('#align-station');
    for (const room of [[0, 0, 0], [1, 0, 0], [0, 0, 1]]) this.addPoint(room);
    element.querySelector('#point-add').addEventListener('click', () => this.addPoint([0, 0, 0]));
    element.querySelector('#point-take').addEventListener('click', () => this.take());
    element.querySelector('#pivot-start').addEventListener('click', () => this.startSwivel());
    element.querySelector('#pivot-solve').addEventListener('click', () => this.solvePivot());
    element.querySelector('#room-fit').addEventListener('click', () => this.fitRoom());
    element.querySelector('#align-write').addEventListener('click', () => this.write());
    element.querySelector('#eyes-start').addEventListener('click', () => { this.eyes = []; this.showEyes(); });
    this.headSelect = element.querySelector('#align-head');
    this.eyes = null; // while the eyes are being taken: [{head, tip}]
  }

  chosen() {
    const [device, station] = this.select.value.split('/');
    return { device, station: Number(station) };
  }

  receive(line) {
    if (line.type !== 'tracker' && line.type !== 'controller') return;
    const key = `${line.device ?? ''}/${line.station}`;
    if (line.type === 'controller') return this.pressed(key, line.buttons[0] === 1);
    if (![...this.select.options].some((option) => option.value === key)) {
      this.select.add(new Option(key, key));
      this.headSelect.add(new Option(key, key));
    }
    const now = performance.now();
    const recent = this.recent.get(key) ?? [];
    recent.push({ at: now, pose: poseOf(line) });
    while (recent.length && recent[0].at < now - heldSeconds * 1000) recent.shift();
    this.recent.set(key, recent);
    if (key === this.select.value && this.swivel) {
      this.swivel.push(poseOf(line));
      this.element.querySelector('#pivot-count').textContent = `${this.swivel.length} poses`;
    }
    this.showPreview(key, line);
  }

  pressed(key, down) {
    if (down && !this.buttonDown.get(key) && key === this.select.value) {
      if (this.eyes) this.takeEye();
      else this.take();
    }
    this.buttonDown.set(key, down);
  }

  lastSecond(key) {
    return (this.recent.get(key) ?? []).map((entry) => entry.pose);
  }

  showEyes() {
    this.element.querySelector('#eyes-count').textContent = this.eyes ? `${this.eyes.length} of 2 taken` : '';
  }

  async takeEye() {
    this.eyes.push({ head: this.lastSecond(this.headSelect.value), tip: this.lastSecond(this.select.value) });
    this.showEyes();
    if (this.eyes.length < 2) return;
    const eyes = this.eyes;
    this.eyes = null;
    try {
      const reply = await post('align/eyes', { device: this.chosen().device, station: Number(this.headSelect.value.split('/')[1]), eyes });
      const [left, right] = reply.eyesMm.map((eye) => `(${eye.map((v) => v.toFixed(1)).join(', ')})`);
      this.say(`Eyes at ${left} and ${right} mm from the head sensor; the line offsets it to their midpoint.`);
      this.offer([reply.line]);
    } catch (error) {
      this.say(error.message, true);
    }
  }

  addPoint(room) {
    const row = this.element.querySelector('#align-points tbody').insertRow();
    row.innerHTML = `<td>${row.rowIndex}</td>` + room.map((v) => `<td><input type="number" step="0.001" value="${v}"></td>`).join('') +
      '<td class="taken">—</td><td class="residual"></td>';
    this.points.push({ poses: null });
  }

  take() {
    const next = this.points.findIndex((point) => !point.poses);
    if (next < 0) return;
    this.points[next].poses = this.lastSecond(this.select.value);
    const row = this.element.querySelector('#align-points tbody').rows[next];
    row.querySelector('.taken').textContent = `${this.points[next].poses.length} poses`;
    row.classList.add('is-taken');
  }

  untake(index) {
    if (index < 0) return;
    this.points[index].poses = null;
    const row = this.element.querySelector('#align-points tbody').rows[index];
    row.classList.remove('is-taken');
    row.querySelector('.taken').textContent = '—';
  }

  roomOf(index) {
    return [...this.element.querySelector('#align-points tbody').rows[index].querySelectorAll('input')].map((input) => Number(input.value));
  }

  startSwivel() {
    this.swivel = [];
    this.element.querySelector('#pivot-solve').disabled = false;
  }

  say(text, failed = false) {
    const result = this.element.querySelector('#align-result');
    result.textContent = text;
    result.classList.toggle('failed', failed);
  }

  offer(lines) {
    this.element.querySelector('#align-lines').value = lines.join('\n');
    this.element.querySelector('#align-write').disabled = lines.length === 0;
  }

  async solvePivot() {
    const poses = this.swivel ?? [];
    this.swivel = null;
    this.element.querySelector('#pivot-solve').disabled = true;
    try {
      const reply = await post('align/pivot', { ...this.chosen(), poses });
      this.say(`Tip at (${reply.tipMm.map((v) => v.toFixed(1)).join(', ')}) mm from the sensor; ` +
        `RMS ${reply.rmsMm.toFixed(2)} mm about the pivot.`);
      this.offer([reply.line]);
    } catch (error) {
      this.say(error.message, true);
    }
  }

  async fitRoom() {
    const taken = this.points.map((point, i) => ({ room: this.roomOf(i), poses: point.poses })).filter((p) => p.poses);
    try {
      const reply = await post('align/room', { ...this.chosen(), points: taken });
      const cells = this.element.querySelectorAll('#align-points .residual');
      reply.residualsMm.forEach((residual, i) => { cells[i].textContent = residual.toFixed(2); });
      this.say(`${taken.length} points, RMS ${reply.rmsMm.toFixed(2)} mm. The preview shows the live poses with the new correction.`);
      this.fit = reply;
      this.offer(reply.lines);
      this.showRoomPoints(taken.map((point) => point.room));
    } catch (error) {
      this.fit = null;
      this.say(error.message, true);
      // A point the sensor moved during is taken again by the next press.
      const refused = /^point (\d+):/.exec(error.message);
      if (refused) this.untake(this.points.indexOf(this.points.filter((point) => point.poses)[Number(refused[1]) - 1]));
    }
  }

  async write() {
    const lines = this.element.querySelector('#align-lines').value.split('\n').filter((line) => line.trim());
    try {
      const reply = await post('config', { device: this.chosen().device, lines },
        { 'X-Is900-Token': this.element.querySelector('#align-token').value });
      this.say(`Written to ${reply.written}; the previous file is ${reply.backup}. The device starts again with the new lines.`);
      this.fit = null;
      this.points.forEach((point, i) => this.untake(i));
    } catch (error) {
      this.say(`Not written: ${error.message}`, true);
    }
  }

  // The room's points where the room has them, and each live tracker where
  // the fitted correction puts it: p . R + t in feet.
  showRoomPoints(points) {
    this.preview.clear();
    this.marks.clear();
    for (const room of points) {
      const mark = new THREE.Mesh(new THREE.OctahedronGeometry(0.08), new THREE.MeshBasicMaterial({ color: 0x4ec9b0, wireframe: true }));
      mark.position.set(...room.map((v) => v * feetPerMetre));
      this.preview.add(mark);
    }
  }

  showPreview(key, line) {
    if (!this.fit) return;
    let mark = this.marks.get(key);
    if (!mark) {
      mark = new THREE.Mesh(new THREE.SphereGeometry(0.06, 12, 8), new THREE.MeshBasicMaterial({ color: 0xc586c0 }));
      this.marks.set(key, mark);
      this.preview.add(mark);
    }
    const p = poseOf(line);
    const { rotation: r, translation: t } = this.fit;
    mark.position.set(...[0, 1, 2].map((j) => p[0] * r[0][j] + p[1] * r[1][j] + p[2] * r[2][j] + t[j]));
  }

  summary() {
    return { taken: this.points.filter((point) => point.poses).length, points: this.points.length,
      lines: this.element.querySelector('#align-lines').value, result: this.element.querySelector('#align-result').textContent,
      previews: this.marks.size };
  }
}
