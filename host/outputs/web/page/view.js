// The tracking space as the host publishes it: the room frame in the host's
// output coordinates (feet), every tracker record as a labelled coordinate
// frame with a fading trail, every controller record as a panel, and a table
// of the numbers. Records arrive as the host's JSON lines over Server-Sent
// Events; a tracker line's "quat" is the orientation the host derives from
// exactly the pose pipeline's rotation matrix (it turns the sensor's own axes
// into the output frame), so the page does no angle arithmetic of its own.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { CSS2DRenderer, CSS2DObject } from 'three/addons/renderers/CSS2DRenderer.js';
import { QualityPanel } from './quality.js';
import { AlignPanel } from './align.js';

const trailSeconds = 1.0;
const frameSize = 0.75; // feet
const homeCamera = new THREE.Vector3(7, 6, 11);
const homeTarget = new THREE.Vector3(0, 1, 2);

const container = document.getElementById('scene');
const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
renderer.setPixelRatio(window.devicePixelRatio);
container.appendChild(renderer.domElement);
const labels = new CSS2DRenderer();
labels.domElement.style.position = 'absolute';
labels.domElement.style.top = '0';
labels.domElement.style.pointerEvents = 'none';
container.appendChild(labels.domElement);

const scene = new THREE.Scene();
scene.background = new THREE.Color(0x15181c);
const camera = new THREE.PerspectiveCamera(50, 1, 0.05, 500);
const controls = new OrbitControls(camera, renderer.domElement);

function resetView() {
  camera.position.copy(homeCamera);
  controls.target.copy(homeTarget);
  controls.update();
}
resetView();

function label(text, className, position) {
  const element = document.createElement('div');
  element.className = className;
  element.textContent = text;
  const object = new CSS2DObject(element);
  object.position.copy(position);
  return object;
}

// The room: floor grid, axes and their labels. With CAVE coordinates Y is up
// and the floor is the XZ plane; in the tracker's own frame Z points down, so
// the floor is the XY plane.
const room = new THREE.Group();
scene.add(room);
const grid = new THREE.GridHelper(20, 20, 0x56616c, 0x30363d);
room.add(grid);
room.add(new THREE.AxesHelper(3));
for (const [name, direction] of [['X', [3.3, 0, 0]], ['Y', [0, 3.3, 0]], ['Z', [0, 0, 3.3]]])
  room.add(label(name, 'axis-label', new THREE.Vector3(...direction)));

function showFloor(cave) {
  grid.rotation.set(cave ? 0 : Math.PI / 2, 0, 0);
}

let transmitter = null;
function showTransmitter(setup) {
  if (transmitter) scene.remove(transmitter);
  transmitter = null;
  if (!setup.transmitter) return;
  const [r0, r1, r2] = setup.transmitter.axes;
  const basis = new THREE.Matrix4().set(r0[0], r1[0], r2[0], 0, r0[1], r1[1], r2[1], 0, r0[2], r1[2], r2[2], 0, 0, 0, 0, 1);
  transmitter = new THREE.Group();
  transmitter.add(new THREE.Mesh(new THREE.BoxGeometry(0.3, 0.3, 0.3), new THREE.MeshBasicMaterial({ color: 0x8e44ad })));
  transmitter.add(new THREE.AxesHelper(1));
  transmitter.add(label(`transmitter (${setup.device})`, 'frame-label', new THREE.Vector3(0, 0.35, 0)));
  transmitter.position.set(...setup.transmitter.position);
  transmitter.quaternion.setFromRotationMatrix(basis);
  scene.add(transmitter);
}

// --- records ---------------------------------------------------------------

const devices = new Map(); // name -> {state, attempt, retry_in, last_record}
const trackers = new Map(); // key -> {line, frame, trail, history, arrivals, row}
const controllers = new Map(); // key -> {line, panel, arrivals}
let paused = false;

const keyOf = (line) => `${line.device ?? ''}/${line.type}/${line.id}`;
const deviceStreaming = (name) => {
  const device = devices.get(name ?? '');
  return !device || device.state === 'streaming';
};

function noteArrival(entry) {
  const now = performance.now();
  entry.arrivals.push(now);
  while (entry.arrivals.length && entry.arrivals[0] < now - 1000) entry.arrivals.shift();
  entry.lastArrival = now;
}

function makeTrackerFrame(line) {
  const frame = new THREE.Group();
  frame.add(new THREE.AxesHelper(frameSize));
  frame.add(new THREE.Mesh(new THREE.SphereGeometry(0.05, 12, 8), new THREE.MeshBasicMaterial({ color: 0xffd37a })));
  const device = line.device ? ` ${line.device}` : '';
  frame.add(label(`T${line.id} st${line.station}${device}`, 'frame-label', new THREE.Vector3(0, frameSize + 0.15, 0)));
  scene.add(frame);
  const trail = new THREE.Line(new THREE.BufferGeometry(), new THREE.LineBasicMaterial({ vertexColors: true }));
  trail.frustumCulled = false;
  scene.add(trail);
  return { frame, trail };
}

function updateTracker(line) {
  const key = keyOf(line);
  let entry = trackers.get(key);
  if (!entry) {
    entry = { ...makeTrackerFrame(line), history: [], arrivals: [], row: addTrackerRow(line) };
    trackers.set(key, entry);
  }
  entry.line = line;
  noteArrival(entry);
  entry.frame.position.set(line.x, line.y, line.z);
  const [qx, qy, qz, qw] = line.quat;
  entry.frame.quaternion.set(qx, qy, qz, qw);
  entry.history.push({ at: entry.lastArrival, position: new THREE.Vector3(line.x, line.y, line.z) });
}

function addTrackerRow(line) {
  const row = document.querySelector('#trackers tbody').insertRow();
  row.dataset.key = keyOf(line);
  for (let i = 0; i < 12; ++i) row.insertCell();
  return row;
}

const fixed = (value, digits) => Number(value).toFixed(digits);

function showTrackerRow(entry, now) {
  const line = entry.line;
  const cells = entry.row.cells;
  const values = [line.id, line.station, line.device ?? '', fixed(line.x, 3), fixed(line.y, 3), fixed(line.z, 3),
    fixed(line.azim, 2), fixed(line.elev, 2), fixed(line.roll, 2), entry.arrivals.length, fixed((now - entry.lastArrival) / 1000, 1),
    line.processing ?? 'none'];
  values.forEach((value, i) => {
    const text = String(value);
    if (cells[i].textContent !== text) cells[i].textContent = text;
  });
  entry.row.dataset.time = line.time;
  entry.row.dataset.id = line.id;
  entry.row.classList.toggle('stale', !deviceStreaming(line.device));
}

// The trail's buffers are made once, large enough for a second of records
// at the line's highest rate, and refilled each frame: new buffers every
// frame for every sensor kept the garbage collector and the GPU busy.
const trailCapacity = 512;
const trailFresh = new THREE.Color(0xffd37a);
const trailColour = new THREE.Color();

function trailBuffers(trail) {
  if (!trail.geometry.getAttribute('position')) {
    trail.geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(trailCapacity * 3), 3));
    trail.geometry.setAttribute('color', new THREE.BufferAttribute(new Float32Array(trailCapacity * 3), 3));
  }
  return [trail.geometry.getAttribute('position'), trail.geometry.getAttribute('color')];
}

function showTrail(entry, now) {
  const oldest = now - trailSeconds * 1000;
  let dropped = 0;
  while (dropped < entry.history.length && (entry.history[dropped].at < oldest || entry.history.length - dropped > trailCapacity))
    ++dropped;
  if (dropped) entry.history.splice(0, dropped);
  const [positions, colours] = trailBuffers(entry.trail);
  entry.history.forEach((point, i) => {
    point.position.toArray(positions.array, i * 3);
    trailColour.lerpColors(trailFresh, scene.background, (now - point.at) / (trailSeconds * 1000)).toArray(colours.array, i * 3);
  });
  positions.needsUpdate = colours.needsUpdate = true;
  entry.trail.geometry.setDrawRange(0, entry.history.length);
  const stale = !deviceStreaming(entry.line.device);
  entry.frame.traverse((object) => { if (object.material) object.material.opacity = stale ? 0.3 : 1; });
  entry.frame.traverse((object) => { if (object.material) object.material.transparent = stale; });
}

function updateController(line) {
  const key = keyOf(line);
  let entry = controllers.get(key);
  if (!entry) {
    const panel = document.createElement('div');
    panel.className = 'panel';
    panel.dataset.key = key;
    const device = line.device ? ` ${line.device}` : '';
    panel.innerHTML = `<span class="title">C${line.id} st${line.station}${device}</span><span class="button-row"></span>` +
      '<span class="stick" title="valuators 1 and 2"><span class="dot"></span></span>';
    document.getElementById('controllers').appendChild(panel);
    entry = { panel, arrivals: [] };
    controllers.set(key, entry);
  }
  entry.line = line;
  noteArrival(entry);
}

function showController(entry) {
  const { line, panel } = entry;
  const row = panel.querySelector('.button-row');
  while (row.children.length < line.buttons.length) {
    const button = document.createElement('span');
    button.className = 'btn';
    button.textContent = row.children.length + 1;
    row.appendChild(button);
  }
  line.buttons.forEach((pressed, i) => row.children[i].classList.toggle('lit', !!pressed));
  const [h = 0, v = 0] = line.valuators;
  const dot = panel.querySelector('.dot');
  dot.style.left = `${(Math.max(-1, Math.min(1, h)) + 1) * 50}%`;
  dot.style.top = `${(1 - Math.max(-1, Math.min(1, v))) * 50}%`;
  panel.classList.toggle('stale', !deviceStreaming(line.device));
}

function updateDevice(line) {
  devices.set(line.device ?? '', line);
  const body = document.querySelector('#devices tbody');
  let row = [...body.rows].find((r) => r.dataset.device === (line.device ?? ''));
  if (!row) {
    row = body.insertRow();
    row.dataset.device = line.device ?? '';
    for (let i = 0; i < 3; ++i) row.insertCell();
  }
  row.cells[0].textContent = line.device ?? '';
  const lastRecord = line.last_record
    ? `, last record ${new Date(line.last_record * 1000).toLocaleTimeString()}` : ', no record yet';
  row.cells[1].textContent = line.state + (line.retry_in ? ` (retry in ${fixed(line.retry_in, 0)} s)` : '') + lastRecord;
  row.cells[1].className = `state-${line.state}`;
  row.cells[2].textContent = line.attempt ?? '';
}

function receive(text) {
  if (paused) return;
  const line = JSON.parse(text);
  quality.receive(line);
  align.receive(line);
  if (line.type === 'tracker') updateTracker(line);
  else if (line.type === 'controller') updateController(line);
  else if (line.type === 'status') updateDevice(line);
  else if (line.type === 'setup') { showFloor(line.cave); showTransmitter(line); }
}

// --- stream, controls and drawing -------------------------------------------

const quality = new QualityPanel(document.getElementById('quality'));
const align = new AlignPanel(document.getElementById('align'), scene);
const connection = document.getElementById('connection');
const events = new EventSource('events');
events.onopen = () => { connection.textContent = 'live'; connection.className = 'state state-streaming'; };
events.onerror = () => { connection.textContent = 'reconnecting…'; connection.className = 'state state-reconnecting'; };
events.onmessage = (message) => receive(message.data);

document.getElementById('reset-view').addEventListener('click', resetView);
const pauseButton = document.getElementById('pause');
pauseButton.addEventListener('click', () => {
  paused = !paused;
  pauseButton.setAttribute('aria-pressed', String(paused));
  pauseButton.textContent = paused ? 'Resume' : 'Pause';
});

function resize() {
  const { clientWidth: width, clientHeight: height } = container;
  renderer.setSize(width, height);
  labels.setSize(width, height);
  camera.aspect = width / Math.max(1, height);
  camera.updateProjectionMatrix();
}
window.addEventListener('resize', resize);
resize();

function draw() {
  const now = performance.now();
  if (!paused) {
    for (const entry of trackers.values()) { showTrackerRow(entry, now); showTrail(entry, now); }
    for (const entry of controllers.values()) showController(entry);
    quality.draw(now);
  }
  controls.update();
  renderer.render(scene, camera);
  labels.render(scene, camera);
  requestAnimationFrame(draw);
}
requestAnimationFrame(draw);

// For tests and the curious: each tracker frame's axes in the output frame.
window.is900View = {
  frames: () => [...trackers.values()].map(({ line, frame }) => {
    frame.updateMatrixWorld();
    const e = frame.matrixWorld.elements; // column-major: columns are the frame's X, Y, Z axes
    return { line, axes: [[e[0], e[1], e[2]], [e[4], e[5], e[6]], [e[8], e[9], e[10]]] };
  }),
  controllerCount: () => controllers.size,
  quality: () => quality.summary(),
  align: () => align.summary(),
};
