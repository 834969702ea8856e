// The quality panel: per sensor, scrolling plots of its pose, its rate and
// noise as the host's quality lines tell them, with the gaps they tell
// marked on the time axis; per wand, its buttons and joystick; per device,
// a strip of its states. Lines only fill bounded rings; the plots are redrawn
// from them at most a few times a second, from the page's animation frame.
import uPlot from './vendor/uplot/uPlot.esm.js';

const redrawMs = 250;
const frameBudgetMs = 6; // the plots' share of an animation frame
const mostPoints = 900; // per plotted series
const stateSeconds = 600;
const maxWindow = 60;
const poseCapacity = maxWindow * 260; // records at up to 240 Hz, and some
const qualityCapacity = stateSeconds + 60;
const plotWidth = 420;
const colours = ['#ef5350', '#4cd07d', '#42a5f5', '#f0b429', '#ab47bc', '#26c6da', '#ff7043', '#9ccc65'];
const stateColours = { streaming: '#4cd07d', starting: '#42a5f5', silent: '#f0b429', reconnecting: '#ff7043',
  failed: '#ef5350', stopped: '#757575' };

// Columns of numbers over time, the oldest overwritten once full.
class Ring {
  constructor(columns, capacity) {
    this.capacity = capacity;
    this.columns = Array.from({ length: columns + 1 }, () => new Float64Array(capacity));
    this.start = 0;
    this.count = 0;
  }

  push(time, values) {
    const at = (this.start + this.count) % this.capacity;
    if (this.count === this.capacity) this.start = (this.start + 1) % this.capacity;
    else ++this.count;
    this.columns[0][at] = time;
    values.forEach((value, i) => { this.columns[i + 1][at] = value ?? NaN; });
  }

  // The columns from `since` on, oldest first, as uPlot data (NaN as null),
  // every step-th row when there are more than most: a plot has a few
  // hundred pixels across, and drawing every record of a minute took longer
  // than a frame.
  since(since, most = Infinity) {
    let first = 0;
    while (first < this.count && this.columns[0][(this.start + first) % this.capacity] < since) ++first;
    const step = Math.max(1, Math.ceil((this.count - first) / most));
    const length = Math.ceil((this.count - first) / step);
    return this.columns.map((column) => {
      const out = new Array(length);
      for (let n = 0; n < length; ++n) {
        const value = column[(this.start + first + n * step) % this.capacity];
        out[n] = Number.isNaN(value) ? null : value;
      }
      return out;
    });
  }
}

const element = (tag, className, parent) => {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (parent) parent.appendChild(made);
  return made;
};

// Shades each gap of gapsOf() that falls in the plot's time range.
function gapShading(gapsOf) {
  return {
    hooks: {
      drawClear: [(plot) => {
        const { ctx, bbox } = plot;
        const [min, max] = [plot.scales.x.min, plot.scales.x.max];
        const drawn = [];
        ctx.save();
        for (const gap of gapsOf()) {
          const end = gap.start + gap.length;
          if (end < min || gap.start > max) continue;
          const left = plot.valToPos(Math.max(gap.start, min), 'x', true);
          const right = plot.valToPos(Math.min(end, max), 'x', true);
          ctx.fillStyle = gap.ongoing ? 'rgba(239, 83, 80, 0.45)' : 'rgba(239, 83, 80, 0.3)';
          ctx.fillRect(left, bbox.top, Math.max(2, right - left), bbox.height);
          drawn.push(gap.start);
        }
        ctx.restore();
        plot.drawnGaps = drawn;
      }],
    },
  };
}

// The plots and strips draw on the processor (a 2D canvas that is read
// often is not put on the GPU): a canvas on the GPU waits at every frame for
// the GPU, which the 3D room keeps busy, and with software rendering that
// wait took seconds.
function onProcessor(make) {
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    return getContext.call(this, type, type === '2d' ? { ...attributes, willReadFrequently: true } : attributes);
  };
  try { return make(); } finally { HTMLCanvasElement.prototype.getContext = getContext; }
}

function makePlot(parent, title, series, scales, axes, gapsOf, height = 120) {
  const options = {
    title, width: plotWidth, height, legend: { show: true, live: false },
    cursor: { show: false }, scales: { x: { time: true }, ...scales },
    series: [{}, ...series.map((s, i) => ({ stroke: colours[i % colours.length], width: 1, spanGaps: false, ...s }))],
    axes: [{ stroke: '#9aa4ae', grid: { stroke: '#2c333b' } },
      ...axes.map((a) => ({ stroke: '#9aa4ae', grid: { stroke: '#2c333b' }, size: 46, ...a }))],
    plugins: gapsOf ? [gapShading(gapsOf)] : [],
  };
  return onProcessor(() => new uPlot(options, [[], ...series.map(() => [])], parent));
}

function figure(parent, name, label, unit) {
  const item = element('span', 'figure', parent);
  item.dataset.figure = name;
  item.innerHTML = `<span class="label">${label}</span> <span class="value">–</span> <span class="unit">${unit}</span>`;
  return item;
}

// A figure's axis from 0, so that small changes do not look large.
const fromZero = (u, min, max) => [0, max > 0 ? max * 1.2 : 1];
const shown = (value, digits) => (value === null || value === undefined ? '–' : Number(value).toFixed(digits));

export class QualityPanel {
  constructor(root) {
    this.root = root;
    this.windowSeconds = 30;
    this.offset = null; // the host's clock minus the page's, in seconds
    this.sensors = new Map(); // "device/station" -> sensor
    this.wands = new Map(); // "device/id" -> wand
    this.devices = new Map(); // device -> {states: [{time, state}], canvas}
    this.lastRedraw = -Infinity;
    this.pending = []; // the redraws of the current round, a few each frame

    const control = element('label', 'window', root);
    control.textContent = 'Last ';
    this.windowInput = element('input', null, control);
    Object.assign(this.windowInput, { type: 'range', min: 10, max: maxWindow, step: 5, value: this.windowSeconds, id: 'window-seconds' });
    this.windowText = element('span', null, control);
    this.windowInput.addEventListener('input', () => {
      this.windowSeconds = Number(this.windowInput.value);
      this.lastRedraw = -Infinity;
    });
    this.statesBox = element('div', 'states', root);
    element('h3', null, this.statesBox).textContent = 'Device states, last 10 minutes';
    this.sensorsBox = element('div', 'sensors', root);
    this.wandsBox = element('div', 'wands', root);
  }

  now() { return Date.now() / 1000 + (this.offset ?? 0); }

  noteTime(time) {
    if (typeof time === 'number') this.offset = time - Date.now() / 1000;
  }

  sensor(device, station) {
    const key = `${device ?? ''}/${station}`;
    let sensor = this.sensors.get(key);
    if (sensor) return sensor;
    const box = element('section', 'sensor');
    box.dataset.key = key;
    // Sensors in station order within a device.
    const after = [...this.sensors.values()].find((s) => s.key > key);
    this.sensorsBox.insertBefore(box, after ? after.box : null);
    element('h3', null, box).textContent = `Sensor st${station}${device ? ` ${device}` : ''}`;
    const figures = element('div', 'figures', box);
    sensor = {
      key, box, gaps: new Map(),
      pose: new Ring(6, poseCapacity), figuresRing: new Ring(3, qualityCapacity),
      figures: { rate: figure(figures, 'rate', 'rate', 'Hz'), position: figure(figures, 'positionNoiseMm', 'noise', 'mm'),
        orientation: figure(figures, 'orientationNoiseDeg', '', '°'), gaps: figure(figures, 'gaps', 'gaps', '') },
    };
    const gapsOf = () => sensor.gaps.values();
    sensor.position = makePlot(box, 'Position (feet)', [{ label: 'x' }, { label: 'y' }, { label: 'z' }], {}, [{}], gapsOf);
    sensor.position.root.classList.add('position-plot');
    sensor.orientation = makePlot(box, 'Orientation (degrees)', [{ label: 'azim' }, { label: 'elev' }, { label: 'roll' }],
      {}, [{}], gapsOf);
    sensor.orientation.root.classList.add('orientation-plot');
    sensor.figurePlot = makePlot(box, 'Rate and noise',
      [{ label: 'Hz', scale: 'hz' }, { label: 'mm', scale: 'mm' }, { label: '°', scale: 'deg' }],
      { hz: { range: fromZero }, mm: { range: fromZero }, deg: { range: fromZero } },
      [{ scale: 'hz' }, { scale: 'mm', side: 1, grid: { show: false } }], gapsOf);
    sensor.figurePlot.root.classList.add('figure-plot');
    this.sensors.set(key, sensor);
    return sensor;
  }

  wand(line) {
    const key = `${line.device ?? ''}/${line.id}`;
    let wand = this.wands.get(key);
    if (wand) return wand;
    const box = element('section', 'wand', this.wandsBox);
    box.dataset.key = key;
    element('h3', null, box).textContent = `Wand C${line.id} st${line.station}${line.device ? ` ${line.device}` : ''}`;
    const buttons = line.buttons.length;
    const valuators = line.valuators.length;
    wand = { key, box, buttons, valuators, ring: new Ring(buttons + valuators, poseCapacity) };
    const series = [...line.buttons.map((_, i) => ({ label: `b${i + 1}`, scale: 'b', paths: uPlot.paths.stepped({ align: 1 }) })),
      ...line.valuators.map((_, i) => ({ label: `v${i + 1}`, scale: 'v' }))];
    // Buttons in the lower two thirds, the joystick in the upper third.
    wand.plot = makePlot(box, 'Buttons (steps) and joystick', series,
      { b: { range: [-0.2, buttons * 1.5] }, v: { range: [-5.5, 1.1] } },
      [{ scale: 'b', splits: () => line.buttons.map((_, i) => i), values: (u, ticks) => ticks.map((t) => `b${t + 1}`) },
        { scale: 'v', side: 1, grid: { show: false }, splits: () => [-1, 0, 1] }], null, 200);
    wand.plot.root.classList.add('wand-plot');
    this.wands.set(key, wand);
    return wand;
  }

  receive(line) {
    if (line.type === 'tracker') {
      this.noteTime(line.time);
      this.sensor(line.device, line.station).pose.push(line.time, [line.x, line.y, line.z, line.azim, line.elev, line.roll]);
    } else if (line.type === 'controller') {
      this.noteTime(line.time);
      const wand = this.wand(line);
      // Button i steps between i and i + 0.8, so that each has its own lane.
      const buttons = Array.from({ length: wand.buttons }, (_, i) => i + (line.buttons[i] ? 0.8 : 0));
      wand.ring.push(line.time, [...buttons, ...Array.from({ length: wand.valuators }, (_, i) => line.valuators[i])]);
    } else if (line.type === 'quality') {
      this.noteTime(line.time);
      for (const station of line.stations) this.receiveQuality(line, station);
    } else if (line.type === 'status') {
      this.receiveStatus(line);
    }
  }

  receiveQuality(line, station) {
    const sensor = this.sensor(line.device, station.station);
    sensor.figuresRing.push(line.time, [station.rate, station.positionNoiseMm, station.orientationNoiseDeg]);
    for (const gap of station.recentGaps ?? []) sensor.gaps.set(gap.start.toFixed(3), gap);
    for (const [start, gap] of sensor.gaps)
      if (gap.start + gap.length < line.time - maxWindow - 5) sensor.gaps.delete(start);
    const { figures } = sensor;
    figures.rate.querySelector('.value').textContent = shown(station.rate, 1);
    figures.position.querySelector('.value').textContent = shown(station.positionNoiseMm, 3);
    figures.orientation.querySelector('.value').textContent = shown(station.orientationNoiseDeg, 4);
    figures.gaps.querySelector('.value').textContent = station.gaps;
    // The raw figures, as the line had them, for tests and the curious.
    Object.assign(sensor.box.dataset, { time: line.time, rate: station.rate, positionNoiseMm: station.positionNoiseMm,
      orientationNoiseDeg: station.orientationNoiseDeg, gaps: station.gaps });
    this.lastRedraw = Math.min(this.lastRedraw, performance.now() - redrawMs);
  }

  receiveStatus(line) {
    const name = line.device ?? '';
    let device = this.devices.get(name);
    if (!device) {
      const row = element('div', 'state-row', this.statesBox);
      row.dataset.device = name;
      element('span', 'name', row).textContent = name || 'device';
      const canvas = element('canvas', 'state-strip', row);
      canvas.width = plotWidth - 80;
      canvas.height = 14;
      device = { states: [], row, canvas };
      this.devices.set(name, device);
    }
    const time = typeof line.time === 'number' ? line.time : this.now();
    const last = device.states[device.states.length - 1];
    if (!last || last.state !== line.state) device.states.push({ time, state: line.state });
    // Keep the state that was current at the strip's left edge.
    while (device.states.length > 1 && device.states[1].time < time - stateSeconds) device.states.shift();
    device.row.dataset.state = line.state;
  }

  drawStates(now) {
    for (const device of this.devices.values()) {
      const { canvas, states } = device;
      const context = canvas.getContext('2d', { willReadFrequently: true });
      context.fillStyle = '#20262c';
      context.fillRect(0, 0, canvas.width, canvas.height);
      const x = (time) => Math.max(0, Math.min(1, (time - (now - stateSeconds)) / stateSeconds)) * canvas.width;
      let segments = 0;
      states.forEach((entry, i) => {
        const end = i + 1 < states.length ? states[i + 1].time : now;
        if (end <= now - stateSeconds) return;
        context.fillStyle = stateColours[entry.state] ?? '#9aa4ae';
        context.fillRect(x(entry.time), 0, Math.max(1, x(end) - x(entry.time)), canvas.height);
        ++segments;
      });
      device.row.dataset.segments = segments;
    }
  }

  // What the plots hold, for tests and the curious.
  summary() {
    const plotted = (plot) => ({ points: plot.data[0].length, span: plot.scales.x.max - plot.scales.x.min,
      gapsDrawn: plot.drawnGaps ?? [] });
    return {
      sensors: [...this.sensors.values()].map((s) => ({ key: s.key, figures: { ...s.box.dataset }, gaps: [...s.gaps.values()],
        shown: Object.fromEntries(Object.entries(s.figures).map(([name, f]) => [name, f.querySelector('.value').textContent])),
        position: plotted(s.position), orientation: plotted(s.orientation), figurePlot: plotted(s.figurePlot) })),
      wands: [...this.wands.values()].map((w) => ({ key: w.key, plot: plotted(w.plot),
        pressed: w.plot.data.slice(1, w.buttons + 1).some((column) => column.some((v, i) => v !== null && v % 1 !== 0)) })),
      devices: [...this.devices.entries()].map(([name, d]) => ({ name, segments: Number(d.row.dataset.segments ?? 0),
        states: d.states.map((s) => s.state) })),
    };
  }

  // From the page's animation frame: starts a round of redraws when it is
  // time to, and does as many of the round's as fit in the frame's share.
  draw(frameTime) {
    if (!this.pending.length && frameTime - this.lastRedraw >= redrawMs) {
      this.lastRedraw = frameTime;
      this.windowText.textContent = ` ${this.windowSeconds} s`;
      const now = this.now();
      const since = now - this.windowSeconds;
      const range = { min: since, max: now };
      const redraw = (plot, data) => plot.batch(() => {
        plot.setData(data, false);
        plot.setScale('x', range);
      });
      for (const sensor of this.sensors.values()) {
        this.pending.push(() => {
          const pose = sensor.pose.since(since, mostPoints);
          redraw(sensor.position, [pose[0], pose[1], pose[2], pose[3]]);
          redraw(sensor.orientation, [pose[0], pose[4], pose[5], pose[6]]);
          redraw(sensor.figurePlot, sensor.figuresRing.since(since));
        });
      }
      for (const wand of this.wands.values()) this.pending.push(() => redraw(wand.plot, wand.ring.since(since, mostPoints)));
      this.pending.push(() => this.drawStates(now));
    }
    const end = performance.now() + frameBudgetMs;
    while (this.pending.length) {
      this.pending.shift()();
      if (performance.now() >= end) break;
    }
  }
}
