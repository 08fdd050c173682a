// SPDX-License-Identifier: Apache-2.0
// kelo view's page: a panel per scanner, drawn from the frames that kelo
// view pushes over Server-Sent Events; camera images on request.
'use strict';

// A perceptual colour scale (dark blue, teal, green, yellow) for t in [0, 1].
const STOPS = [[68, 1, 84], [59, 82, 139], [33, 145, 140], [94, 201, 98], [253, 231, 37]];
function colour(t) {
  const x = Math.min(Math.max(t, 0), 1) * (STOPS.length - 1);
  const i = Math.min(Math.floor(x), STOPS.length - 2);
  const f = x - i;
  return STOPS[i].map((c, k) => Math.round(c + (STOPS[i + 1][k] - c) * f));
}
const css = (rgb) => `rgb(${rgb[0]},${rgb[1]},${rgb[2]})`;

function drawScale(canvas) {
  const ctx = canvas.getContext('2d');
  for (let x = 0; x < canvas.width; ++x) {
    ctx.fillStyle = css(colour(x / (canvas.width - 1)));
    ctx.fillRect(x, 0, 1, canvas.height);
  }
}

// A range that only grows, so axes and colours hold still while data moves.
class Range {
  constructor() { this.reset(); }
  reset() { this.low = Infinity; this.high = -Infinity; }
  take(value) {
    if (value < this.low) this.low = value;
    if (value > this.high) this.high = value;
  }
  get valid() { return this.low <= this.high; }
  get span() { return this.high > this.low ? this.high - this.low : 1; }
  fraction(value) { return (value - this.low) / this.span; }
}

// Tick values 1, 2 or 5 times a power of ten apart, about `count` of them.
function ticks(range, count) {
  const raw = range.span / count;
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw);
  const out = [];
  for (let v = Math.ceil(range.low / step) * step; v <= range.high + step * 1e-9; v += step) {
    out.push(Math.abs(v) < step * 1e-9 ? 0 : v);
  }
  return out;
}
const label = (v) => (Math.abs(v) >= 1e9 ? v.toExponential(3)
  : v.toLocaleString('en-US', { maximumFractionDigits: 2 }));

// One scanner's panel: its elements, the ranges of its axes and colours.
class Panel {
  constructor(index) {
    this.index = index;
    this.root = document.getElementById('panel').content.firstElementChild.cloneNode(true);
    this.root.dataset.scanner = String(index);
    document.getElementById('panels').appendChild(this.root);
    this.unit = '';
    this.rescale = true;
    this.across = new Range();
    this.height = new Range();
    this.intensity = new Range();
    this.waterfall = { across: new Range(), height: new Range() };
    for (const scale of this.root.querySelectorAll('canvas.scale')) drawScale(scale);
    this.$('rescale').addEventListener('click', () => { this.rescale = true; });
    this.$('image-button').addEventListener('click', () => this.takeImage());
  }

  $(name) { return this.root.querySelector(`.${name}`); }

  drawProfile(points) {
    const canvas = this.$('profile');
    const ctx = canvas.getContext('2d');
    const W = canvas.width, H = canvas.height;
    const left = 80, right = 16, top = 14, bottom = 46;
    if (this.rescale) {
      this.across.reset(); this.height.reset(); this.intensity.reset();
      this.rescale = false;
    }
    for (let i = 0; i + 2 < points.length; i += 3) {
      this.across.take(points[i]);
      this.height.take(points[i + 1]);
      this.intensity.take(points[i + 2]);
    }
    ctx.fillStyle = '#fff';
    ctx.fillRect(0, 0, W, H);
    if (!this.across.valid) return;
    const px = (x) => left + this.across.fraction(x) * (W - left - right);
    const py = (z) => H - bottom - this.height.fraction(z) * (H - top - bottom);

    ctx.strokeStyle = '#e3e7ec';
    ctx.fillStyle = '#5b6673';
    ctx.font = '12px system-ui, sans-serif';
    ctx.textAlign = 'center';
    for (const x of ticks(this.across, 8)) {
      ctx.beginPath(); ctx.moveTo(px(x), top); ctx.lineTo(px(x), H - bottom); ctx.stroke();
      ctx.fillText(label(x), px(x), H - bottom + 16);
    }
    ctx.textAlign = 'right';
    for (const z of ticks(this.height, 6)) {
      ctx.beginPath(); ctx.moveTo(left, py(z)); ctx.lineTo(W - right, py(z)); ctx.stroke();
      ctx.fillText(label(z), left - 6, py(z) + 4);
    }
    ctx.strokeStyle = '#1d232b';
    ctx.strokeRect(left, top, W - left - right, H - top - bottom);
    ctx.textAlign = 'center';
    ctx.fillText(`across (value 0) [${this.unit}]`, (left + W - right) / 2, H - 8);
    ctx.save();
    ctx.translate(16, (top + H - bottom) / 2);
    ctx.rotate(-Math.PI / 2);
    ctx.fillText(`height (value 1) [${this.unit}]`, 0, 0);
    ctx.restore();

    for (let i = 0; i + 2 < points.length; i += 3) {
      ctx.fillStyle = css(colour(this.intensity.fraction(points[i + 2])));
      ctx.fillRect(px(points[i]) - 2, py(points[i + 1]) - 2, 4, 4);
    }
    this.$('intensity-low').textContent = label(this.intensity.low);
    this.$('intensity-high').textContent = label(this.intensity.high);
  }

  // New rows enter at the top and push the older ones down.
  addRows(rows) {
    const { across, height } = this.waterfall;
    if (!across.valid) {
      for (const row of rows) {
        for (let i = 0; i + 1 < row.length; i += 2) {
          across.take(row[i]);
          height.take(row[i + 1]);
        }
      }
    }
    if (!rows.length || !across.valid) return;
    const canvas = this.$('waterfall');
    const ctx = canvas.getContext('2d');
    const W = canvas.width;
    const block = ctx.createImageData(W, rows.length);
    rows.forEach((row, k) => {
      const y = rows.length - 1 - k;  // the newest on top
      for (let i = 1; i < row.length; i += 2) height.take(row[i]);
      let lastColumn = -1, lastColour = null;
      for (let i = 0; i + 1 < row.length; i += 2) {
        const column = Math.round(across.fraction(row[i]) * (W - 1));
        if (column < 0 || column >= W) continue;
        const rgb = colour(height.fraction(row[i + 1]));
        // Neighbouring points share the columns between them.
        const from = lastColumn >= 0 && column - lastColumn <= 8 ? lastColumn + 1 : column;
        for (let c = from; c <= column; ++c) {
          const use = lastColour && c - from < (column - from) / 2 ? lastColour : rgb;
          const at = 4 * (y * W + c);
          block.data[at] = use[0];
          block.data[at + 1] = use[1];
          block.data[at + 2] = use[2];
          block.data[at + 3] = 255;
        }
        lastColumn = column;
        lastColour = rgb;
      }
    });
    ctx.drawImage(canvas, 0, rows.length);
    ctx.putImageData(block, 0, 0);
    this.$('across-range').textContent = `${label(across.low)} to ${label(across.high)} ${this.unit}`;
    this.$('height-low').textContent = label(height.low);
    this.$('height-high').textContent = `${label(height.high)} ${this.unit}`;
  }

  showState(state, message) {
    const banner = this.$('state');
    banner.dataset.state = state;
    banner.textContent = message || state;
  }

  onFrame(frame) {
    this.unit = frame.source.unit;
    this.$('source').textContent = `${frame.source.host} · ${frame.source.mode} sync`;
    this.$('count').textContent = String(frame.count);
    this.$('rate').textContent = frame.rate.toFixed(frame.rate < 10 ? 1 : 0);
    this.showState(frame.state, frame.message);
    if (frame.profile) {
      this.$('profile-number').textContent =
        `number ${frame.profile.number}, ${frame.profile.points.length / 3} points`;
      this.drawProfile(frame.profile.points);
    }
    this.addRows(frame.rows);
    this.$('rows-note').textContent = frame.profilesPerRow > 1
      ? `a row per ${frame.profilesPerRow} profiles at this rate` : 'a row per profile';
  }

  onStatus(status) {
    this.$('status').tBodies[0].replaceChildren(...status.values.map((entry) => {
      const tr = document.createElement('tr');
      for (const text of [entry.key, entry.value, entry.text]) {
        const td = document.createElement('td');
        td.textContent = String(text);
        tr.appendChild(td);
      }
      return tr;
    }));
  }

  async takeImage() {
    const button = this.$('image-button');
    const note = this.$('image-note');
    button.disabled = true;
    note.textContent = 'leaving sync mode, taking the image…';
    try {
      const answer = await fetch(`/image?scanner=${this.index}`,
        { method: 'POST', headers: { 'X-Kelo-View': '1' } });
      if (!answer.ok) throw new Error(await answer.text());
      const width = Number(answer.headers.get('X-Image-Width'));
      const height = Number(answer.headers.get('X-Image-Height'));
      const grey = new Uint8Array(await answer.arrayBuffer());
      const canvas = this.$('image');
      canvas.width = width;
      canvas.height = height;
      const ctx = canvas.getContext('2d');
      const pixels = ctx.createImageData(width, height);
      for (let i = 0; i < width * height; ++i) {
        pixels.data[4 * i] = pixels.data[4 * i + 1] = pixels.data[4 * i + 2] = grey[i];
        pixels.data[4 * i + 3] = 255;
      }
      ctx.putImageData(pixels, 0, 0);
      note.textContent = `${width} × ${height} pixels, taken ${new Date().toLocaleTimeString()}`;
    } catch (error) {
      note.textContent = `no image: ${error.message}`;
    } finally {
      button.disabled = false;
    }
  }
}

// Panels appear in the scanners' order as their first frames come.
const panels = [];
const panel = (index) => {
  for (let i = panels.length; i <= index; ++i) panels.push(new Panel(i));
  return panels[index];
};

const viewer = document.getElementById('viewer');
const events = new EventSource('/events');
events.addEventListener('frame', (e) => {
  const frame = JSON.parse(e.data);
  viewer.dataset.state = 'live';
  panel(frame.scanner).onFrame(frame);
});
events.addEventListener('status', (e) => {
  const status = JSON.parse(e.data);
  panel(status.scanner).onStatus(status);
});
events.onerror = () => {
  viewer.dataset.state = 'unreachable';
  viewer.textContent = 'kelo view does not answer; trying again';
  for (const p of panels) p.showState('unreachable', 'kelo view does not answer; trying again');
};
