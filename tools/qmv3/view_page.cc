// The page is plain HTML, one script and one style sheet: no framework, nothing fetched from elsewhere
// (the server's content security policy forbids it). The script shows one frame at a time: a frame
// that arrives while another is being decoded replaces the waiting one, so the page always catches up
// with the newest frame instead of queueing.
#include "view_page.h"

namespace qmv3tool {

std::string ViewPageHtml(const std::string& token) {
    return R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>qmv3 view</title>
<link rel="stylesheet" href="view.css?token=)" +
           token + R"(">
</head>
<body>
<header><h1 id="title">qmv3 view</h1><span id="state">connecting</span></header>
<main>
<div id="stage"><canvas id="image" width="640" height="480"></canvas></div>
<aside>
<table id="figures">
<tr><th>frame</th><td id="frame-number">-</td></tr>
<tr><th>time</th><td id="frame-time">-</td></tr>
<tr><th>received</th><td id="fps-received">-</td></tr>
<tr><th>shown</th><td id="fps-shown">-</td></tr>
<tr><th>frames shown</th><td id="frames-shown">0</td></tr>
<tr><th>drops</th><td id="drops">-</td></tr>
<tr><th>gaps</th><td id="gaps">-</td></tr>
<tr><th>centroid</th><td id="centroid">-</td></tr>
<tr><th>&sigma;x, &sigma;y</th><td id="widths">-</td></tr>
<tr><th>orientation</th><td id="orientation">-</td></tr>
<tr><th>min, max, mean</th><td id="levels">-</td></tr>
<tr><th>net</th><td id="net">-</td></tr>
<tr><th>saturated</th><td id="saturated">-</td></tr>
<tr><th>threshold</th><td id="threshold">-</td></tr>
<tr><th>region</th><td id="region">whole frame</td></tr>
</table>
<canvas id="histogram" width="256" height="96"></canvas>
<div id="limits-text">-</div>
<fieldset id="controls">
<label>palette <select id="palette"><option>gray</option><option>false</option><option>jet</option></select></label>
<label><input type="checkbox" id="auto-limits" checked> automatic limits</label>
<label>low <input type="number" id="low" min="0" max="65535" value="0"></label>
<label>high <input type="number" id="high" min="0" max="65535" value="255"></label>
<button id="whole-frame" type="button">whole frame</button>
<p class="hint">Drag on the image to choose the region measured.</p>
</fieldset>
<fieldset id="player" hidden>
<button id="play" type="button">play</button>
<button id="step-back" type="button">&lsaquo;</button>
<button id="step-forward" type="button">&rsaquo;</button>
<input type="range" id="position" min="1" max="1" value="1">
<span id="position-text">1 / 1</span>
</fieldset>
</aside>
</main>
<script src="view.js?token=)" +
           token + R"("></script>
</body>
</html>
)";
}

const char kViewScript[] = R"JS('use strict';
(function () {
  const token = new URLSearchParams(location.search).get('token') || '';
  const $ = (id) => document.getElementById(id);
  const url = (path, params) => {
    const query = new URLSearchParams(Object.assign({ token: token }, params || {}));
    return path + '?' + query.toString();
  };
  const image = $('image'), context = image.getContext('2d');
  const histogram = $('histogram'), histogramContext = histogram.getContext('2d');
  let info = { live: true, frames: 0 }, current = null, decoding = false, waiting = null;
  let framesShown = 0, shownTimes = [], drag = null, playing = false, position = 0;

  const fixed = (value, digits) => (value === null || value === undefined) ? '-' : value.toFixed(digits);

  function show(frame) {
    if (decoding) { waiting = frame; return; }
    decoding = true;
    const picture = new Image();
    picture.onload = () => {
      current = { frame: frame, picture: picture };
      draw();
      figures(frame);
      framesShown += 1;
      const now = performance.now();
      shownTimes.push(now);
      while (shownTimes.length && now - shownTimes[0] > 1000) shownTimes.shift();
      $('frames-shown').textContent = String(framesShown);
      $('fps-shown').textContent = shownTimes.length + ' /s';
      decoding = false;
      if (waiting) { const next = waiting; waiting = null; show(next); }
      else if (!info.live && playing) setTimeout(step, 100, 1, true);
    };
    picture.onerror = () => { decoding = false; };
    picture.src = 'data:image/jpeg;base64,' + frame.jpeg;
  }

  // Frame coordinates (pixel i has its centre at i) to canvas coordinates.
  function toCanvas(frame, x, y) {
    return [(x + 0.5) * frame.view_width / frame.width, (y + 0.5) * frame.view_height / frame.height];
  }

  function draw() {
    if (!current) return;
    const frame = current.frame;
    if (image.width !== frame.view_width || image.height !== frame.view_height) {
      image.width = frame.view_width;
      image.height = frame.view_height;
    }
    context.drawImage(current.picture, 0, 0);
    const sx = frame.view_width / frame.width, sy = frame.view_height / frame.height;
    const roi = frame.roi;
    context.lineWidth = 1;
    context.strokeStyle = 'rgba(255, 255, 0, 0.8)';
    if (roi[2] > 0 && (roi[2] !== frame.width || roi[3] !== frame.height))
      context.strokeRect(roi[0] * sx, roi[1] * sy, roi[2] * sx, roi[3] * sy);
    const s = frame.stats;
    if (s && s.centroid_x !== null && s.centroid_y !== null) {
      const [cx, cy] = toCanvas(frame, s.centroid_x, s.centroid_y);
      context.strokeStyle = 'rgba(255, 64, 64, 0.95)';
      context.beginPath();
      context.moveTo(cx - 8, cy); context.lineTo(cx + 8, cy);
      context.moveTo(cx, cy - 8); context.lineTo(cx, cy + 8);
      context.stroke();
      if (s.sigma_x !== null && s.sigma_y !== null && s.sigma_xy !== null) {
        // The 1-sigma ellipse: the eigenvectors and eigenvalues of the second moments.
        const a = s.sigma_x * s.sigma_x, c = s.sigma_y * s.sigma_y, b = s.sigma_xy;
        const middle = (a + c) / 2, spread = Math.sqrt(((a - c) / 2) * ((a - c) / 2) + b * b);
        const major = Math.sqrt(Math.max(middle + spread, 0)), minor = Math.sqrt(Math.max(middle - spread, 0));
        const angle = 0.5 * Math.atan2(2 * b, a - c);
        context.beginPath();
        context.ellipse(cx, cy, Math.max(major * sx, 0.5), Math.max(minor * sy, 0.5), angle, 0, 2 * Math.PI);
        context.stroke();
      }
    }
    if (drag && drag.end) {
      context.strokeStyle = 'rgba(0, 255, 255, 0.9)';
      const x = Math.min(drag.start[0], drag.end[0]), y = Math.min(drag.start[1], drag.end[1]);
      context.strokeRect(x, y, Math.abs(drag.end[0] - drag.start[0]), Math.abs(drag.end[1] - drag.start[1]));
    }
  }

  function figures(frame) {
    $('frame-number').textContent = String(frame.frame);
    $('frame-time').textContent = frame.time;
    if (frame.fps_received !== undefined) $('fps-received').textContent = fixed(frame.fps_received, 1) + ' /s';
    if (frame.drops !== undefined) $('drops').textContent = String(frame.drops);
    if (frame.gaps !== undefined) $('gaps').textContent = String(frame.gaps);
    const s = frame.stats;
    if (s) {
      $('centroid').textContent = (s.centroid_x === null ? '-' : fixed(s.centroid_x, 1) + ', ' + fixed(s.centroid_y, 1));
      $('widths').textContent = fixed(s.sigma_x, 2) + ', ' + fixed(s.sigma_y, 2);
      $('orientation').textContent = fixed(s.orientation_deg, 1) + '\u00b0';
      $('levels').textContent = fixed(s.min, 0) + ', ' + fixed(s.max, 0) + ', ' + fixed(s.mean, 2);
      $('net').textContent = fixed(s.net, 0);
      $('saturated').textContent = fixed(s.saturated, 0);
      $('threshold').textContent = fixed(frame.threshold, 1);
    }
    const roi = frame.roi;
    $('region').textContent = (roi[2] === frame.width && roi[3] === frame.height) ? 'whole frame'
      : roi[0] + ', ' + roi[1] + ' ' + roi[2] + ' \u00d7 ' + roi[3];
    $('limits-text').textContent = 'limits ' + frame.low + ' .. ' + frame.high + ' of 0 .. ' + frame.top;
    if ($('auto-limits').checked) { $('low').value = frame.low; $('high').value = frame.high; }
    if (!info.live) {
      $('position').value = String(position + 1);
      $('position-text').textContent = (position + 1) + ' / ' + info.frames;
    }
    drawHistogram(frame);
  }

  function drawHistogram(frame) {
    const counts = frame.histogram, width = histogram.width, height = histogram.height;
    histogramContext.fillStyle = '#111';
    histogramContext.fillRect(0, 0, width, height);
    let largest = 1;
    for (const count of counts) largest = Math.max(largest, count);
    const scale = Math.log1p(largest);
    histogramContext.fillStyle = '#9cf';
    for (let i = 0; i < counts.length; ++i) {
      const bar = Math.round(height * Math.log1p(counts[i]) / scale);
      histogramContext.fillRect(i * width / counts.length, height - bar, Math.max(1, width / counts.length), bar);
    }
    histogramContext.fillStyle = '#fc6';
    for (const limit of [frame.low, frame.high])
      histogramContext.fillRect(Math.min(width - 1, Math.round(limit * width / (frame.top + 1))), 0, 1, height);
  }

  function request(path, params) {
    return fetch(url(path, params), { cache: 'no-store' }).then((response) => {
      if (!response.ok) throw new Error(path + ': ' + response.status);
      return response.json();
    });
  }

  function refresh() { if (!info.live) load(position); }

  function load(index) {
    position = Math.max(0, Math.min(info.frames - 1, index));
    return request('/frame', { i: position }).then(show).catch((error) => { $('state').textContent = String(error); });
  }

  function step(delta, fromPlayer) {
    if (fromPlayer && !playing) return;
    if (fromPlayer && position + delta >= info.frames) { load(0); return; }
    load(position + delta);
  }

  function canvasPoint(event) {
    const box = image.getBoundingClientRect();
    return [(event.clientX - box.left) * image.width / box.width, (event.clientY - box.top) * image.height / box.height];
  }

  image.addEventListener('mousedown', (event) => { drag = { start: canvasPoint(event), end: null }; });
  image.addEventListener('mousemove', (event) => { if (drag) { drag.end = canvasPoint(event); draw(); } });
  window.addEventListener('mouseup', () => {
    if (!drag || !drag.end || !current) { drag = null; return; }
    const frame = current.frame, sx = frame.width / frame.view_width, sy = frame.height / frame.view_height;
    const x0 = Math.max(0, Math.floor(Math.min(drag.start[0], drag.end[0]) * sx));
    const y0 = Math.max(0, Math.floor(Math.min(drag.start[1], drag.end[1]) * sy));
    const x1 = Math.min(frame.width, Math.ceil(Math.max(drag.start[0], drag.end[0]) * sx));
    const y1 = Math.min(frame.height, Math.ceil(Math.max(drag.start[1], drag.end[1]) * sy));
    drag = null;
    if (x1 - x0 >= 2 && y1 - y0 >= 2) request('/roi', { x: x0, y: y0, w: x1 - x0, h: y1 - y0 }).then(refresh);
  });
  $('whole-frame').addEventListener('click', () => request('/roi', { x: 0, y: 0, w: 0, h: 0 }).then(refresh));
  $('palette').addEventListener('change', () => request('/settings', { palette: $('palette').value }).then(refresh));
  $('auto-limits').addEventListener('change', () => {
    const params = $('auto-limits').checked ? { limits: 'auto' }
      : { limits: 'fixed', low: $('low').value, high: $('high').value };
    request('/settings', params).then(refresh);
  });
  for (const id of ['low', 'high'])
    $(id).addEventListener('change', () => {
      $('auto-limits').checked = false;
      request('/settings', { limits: 'fixed', low: $('low').value, high: $('high').value }).then(refresh);
    });
  $('play').addEventListener('click', () => {
    playing = !playing;
    $('play').textContent = playing ? 'pause' : 'play';
    if (playing) step(1, true);
  });
  $('step-back').addEventListener('click', () => { playing = false; $('play').textContent = 'play'; load(position - 1); });
  $('step-forward').addEventListener('click', () => { playing = false; $('play').textContent = 'play'; load(position + 1); });
  $('position').addEventListener('input', () => load(Number($('position').value) - 1));

  request('/info').then((answer) => {
    info = answer;
    $('title').textContent = 'qmv3 view: ' + info.title;
    document.title = 'qmv3 view: ' + info.title;
    if (info.live) {
      const events = new EventSource(url('/events'));
      events.onopen = () => { $('state').textContent = 'live'; };
      events.onmessage = (event) => show(JSON.parse(event.data));
      events.onerror = () => { $('state').textContent = 'reconnecting'; };
    } else {
      $('player').hidden = false;
      $('position').max = String(info.frames);
      $('state').textContent = info.frames + ' images';
      load(0);
    }
  }).catch((error) => { $('state').textContent = String(error); });
})();
)JS";

const char kViewStyle[] = R"CSS(body { margin: 0; font: 14px/1.4 system-ui, sans-serif; background: #1b1d21; color: #e6e6e6; }
header { display: flex; align-items: baseline; gap: 1em; padding: 0.4em 1em; background: #25282e; }
h1 { font-size: 1.1em; margin: 0; font-weight: 600; }
#state { color: #9ab; }
main { display: flex; gap: 1em; padding: 1em; align-items: flex-start; }
#stage { flex: 1; min-width: 0; }
#image { display: block; max-width: 100%; max-height: calc(100vh - 5em); margin: 0 auto; cursor: crosshair;
         image-rendering: pixelated; background: #000; }
aside { width: 300px; flex: none; }
#figures { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums; }
#figures th { text-align: left; font-weight: normal; color: #9ab; padding: 1px 0.6em 1px 0; white-space: nowrap; }
#figures td { text-align: right; }
#histogram { display: block; width: 100%; margin-top: 0.8em; background: #111; }
#limits-text { color: #9ab; font-size: 0.9em; }
fieldset { border: 1px solid #3a3f47; margin: 0.8em 0 0; padding: 0.5em; }
label { display: block; margin: 0.2em 0; }
input[type=number] { width: 6em; }
#position { width: 100%; }
.hint { color: #9ab; font-size: 0.9em; margin: 0.4em 0 0; }
)CSS";

}  // namespace qmv3tool
