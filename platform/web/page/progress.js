// The player's progress: every round in history.txt (a line a round, finished or left, as
// the game appends it; the format is in docs/replay-format.md), drawn per mode behind the
// bar's "Progress" button. Each finished round is a point at its time, the best time so
// far a line stepping down through them, and each round left before its last fly a ring
// on the line below the chart, so the rounds keep their order. A round whose pace was
// changed (Enter or Space mid-round) is a square instead, and says so. The charts are SVG made
// here, redrawn when the history changes while the panel is open.

var ZUMBLE_SVG = 'http://www.w3.org/2000/svg';
// The chart's drawing area, in its own units (it is scaled to the panel's width).
var ZUMBLE_CHART = { width: 560, height: 176, left: 70, right: 12, top: 12, bottom: 128, leftRow: 146, labels: 168 };

// One line of the history, or null when it is not a whole line of the game's (cut off,
// edited by hand), read as the game reads it: each of the six keys once with a good
// value, and keys= (how many presses of Enter or Space changed the flies' pace) at most
// once, absent from an older game's lines; keys a later game adds are passed over.
function zumbleHistoryLine(line) {
  if (!line || line.length > 256) return null;
  var number = function (text, high) { return /^\d{1,10}$/.test(text) && Number(text) <= high ? Number(text) : null; };
  var got = {};
  var words = line.split(' ');
  for (var i = 0; i < words.length; ++i) {
    if (!words[i]) continue;
    var eq = words[i].indexOf('=');
    if (eq < 0) return null;
    var key = words[i].slice(0, eq), value = words[i].slice(eq + 1);
    if (!/^(played|flies|speed|time_ms|swatted|round|keys)$/.test(key)) continue;
    if (key in got) return null;
    if (key === 'played') got.played = number(value, 0xFFFFFFFF);
    else if (key === 'flies') got.flies = ZUMBLE_FLIES.indexOf(number(value, 1000)) >= 0 ? number(value, 1000) : null;
    else if (key === 'speed') got.speed = number(value, 4) >= 1 ? number(value, 4) : null;
    else if (key === 'time_ms') got.time_ms = value === 'left' ? 'left' : number(value, 0xFFFFFFFE);
    else if (key === 'swatted') got.swatted = number(value, 1000);
    else if (key === 'keys') got.keys = number(value, 0x7FFFFFFF);
    else got.round = value === '-' || /^[0-9a-f]{64}$/.test(value) ? value : null;
    if (got[key] === null) return null;
  }
  if (!('played' in got && 'flies' in got && 'speed' in got && 'time_ms' in got && 'swatted' in got && 'round' in got) ||
      got.swatted > got.flies) return null;
  return { played: got.played, flies: got.flies, speed: got.speed, left: got.time_ms === 'left',
           timeMs: got.time_ms === 'left' ? 0 : got.time_ms, swatted: got.swatted, paced: got.keys > 0 };
}

// The history by mode, the mode played last first; each mode's rounds oldest first.
function zumbleHistoryModes() {
  var text = zumbleReadText(ZUMBLE_HOME + '/history.txt');  // page.js
  var modes = {};
  (text || '').split('\n').forEach(function (line, at) {
    var r = zumbleHistoryLine(line.replace(/\r$/, ''));  // a file edited on Windows, as the game reads it
    if (!r) return;
    var key = r.flies + '-' + r.speed;
    var mode = modes[key] = modes[key] || { flies: r.flies, speed: r.speed, rounds: [], last: 0 };
    mode.rounds.push(r);
    mode.last = at;
  });
  return Object.keys(modes).map(function (key) { return modes[key]; })
    .sort(function (a, b) { return b.last - a.last; });
}

function zumbleSvg(parent, name, attributes, text) {
  var element = document.createElementNS(ZUMBLE_SVG, name);
  Object.keys(attributes).forEach(function (key) { element.setAttribute(key, attributes[key]); });
  if (text !== undefined) {
    if (name === 'text') element.textContent = text;
    else zumbleSvg(element, 'title', {}).textContent = text;  // shown when the pointer rests on it
  }
  parent.appendChild(element);
  return element;
}

// One mode's chart: the rounds along, the time up (the slowest at the top).
function zumbleProgressChart(mode) {
  var c = ZUMBLE_CHART;
  var n = mode.rounds.length;
  var times = mode.rounds.filter(function (r) { return !r.left; }).map(function (r) { return r.timeMs; });
  var slowest = times.reduce(function (a, t) { return Math.max(a, t); }, 0);
  var fastest = times.reduce(function (a, t) { return Math.min(a, t); }, slowest);
  var spread = Math.max(slowest - fastest, 1000);  // a single time sits in the middle of a second
  var low = (slowest + fastest - spread) / 2 - spread * 0.06, high = (slowest + fastest + spread) / 2 + spread * 0.06;
  var x = function (i) { return (n === 1 ? (c.left + c.width - c.right) / 2 : c.left + (c.width - c.right - c.left) * i / (n - 1)).toFixed(1); };
  var y = function (t) { return (c.bottom - (t - low) / (high - low) * (c.bottom - c.top)).toFixed(1); };

  var svg = document.createElementNS(ZUMBLE_SVG, 'svg');
  svg.setAttribute('viewBox', '0 0 ' + c.width + ' ' + c.height);
  svg.setAttribute('role', 'img');
  zumbleSvg(svg, 'line', { class: 'axis', x1: c.left, y1: c.bottom, x2: c.width - c.right, y2: c.bottom, stroke: '#555' });
  var label = function (at, text, anchor) {
    zumbleSvg(svg, 'text', { x: at.x, y: at.y, fill: '#999', 'font-size': 12, 'text-anchor': anchor || 'end',
                             'dominant-baseline': 'middle' }, text);
  };
  if (times.length) {
    label({ x: c.left - 6, y: y(slowest) }, zumbleReplayTime(slowest));  // replays.js
    if (slowest !== fastest) label({ x: c.left - 6, y: y(fastest) }, zumbleReplayTime(fastest));
  } else {
    label({ x: (c.left + c.width) / 2, y: (c.top + c.bottom) / 2 }, 'no round finished yet', 'middle');
  }
  if (n > times.length) label({ x: c.left - 6, y: c.leftRow }, 'left');
  label({ x: x(0), y: c.labels }, '1', 'middle');
  if (n > 1) label({ x: x(n - 1), y: c.labels }, String(n), 'middle');

  // The best so far: from the first finished round to the last round, down at each record.
  var best = null, line = [];
  mode.rounds.forEach(function (r, i) {
    if (r.left || (best !== null && r.timeMs >= best)) return;
    if (best !== null) line.push(x(i) + ',' + y(best));
    best = r.timeMs;
    line.push(x(i) + ',' + y(best));
  });
  if (best !== null) {
    line.push(x(n - 1) + ',' + y(best));
    zumbleSvg(svg, 'polyline', { class: 'best', points: line.join(' '), fill: 'none', stroke: '#fd6', 'stroke-width': 2 },
              'Best so far: ' + zumbleReplayTime(best));
  }
  mode.rounds.forEach(function (r, i) {
    var about = 'Round ' + (i + 1) + ', ' + zumbleReplayWhen(r.played) + ': ' +  // replays.js
                (r.left ? 'left after ' + r.swatted + ' of ' + r.flies + ' flies' : zumbleReplayTime(r.timeMs)) +
                (r.paced ? ', pace changed with Enter or Space' : '');
    var at = { x: x(i), y: r.left ? c.leftRow : y(r.timeMs) };
    var look = r.left ? { fill: 'none', stroke: '#e77' } : { fill: r.paced ? '#8cf' : '#ddd' };
    if (r.paced) {
      look.class = 'point paced' + (r.left ? ' left' : '');
      zumbleSvg(svg, 'rect', Object.assign(look, { x: (at.x - 4).toFixed(1), y: (at.y - 4).toFixed(1), width: 8, height: 8 }), about);
    } else {
      look.class = 'point' + (r.left ? ' left' : '');
      zumbleSvg(svg, 'circle', Object.assign(look, { cx: at.x, cy: at.y, r: r.left ? 3.5 : 4 }), about);
    }
  });
  return { svg: svg, best: best, left: n - times.length,
           paced: mode.rounds.filter(function (r) { return r.paced; }).length };
}

function zumbleListProgress() {
  var charts = document.getElementById('progress-charts');
  if (!charts || document.getElementById('progress').hidden) return;
  charts.textContent = '';
  var modes = typeof FS === 'undefined' ? [] : zumbleHistoryModes();
  if (!modes.length) {
    charts.textContent = 'No rounds yet: every round you play, finished or left, is drawn here.';
    return;
  }
  modes.forEach(function (mode) {
    var section = document.createElement('section');
    section.className = 'mode';
    section.dataset.mode = mode.flies + '-' + mode.speed;
    var chart = zumbleProgressChart(mode);
    var head = document.createElement('div');
    head.className = 'facts';
    head.textContent = [zumbleModeName(mode.flies, mode.speed),  // replays.js
                        mode.rounds.length + (mode.rounds.length === 1 ? ' round' : ' rounds') +
                          (chart.left ? ' (' + chart.left + ' left)' : ''),
                        chart.paced ? chart.paced + ' with the pace changed' : '',
                        chart.best === null ? '' : 'best ' + zumbleReplayTime(chart.best)].filter(Boolean).join(' · ');
    section.appendChild(head);
    chart.svg.setAttribute('aria-label', head.textContent);
    section.appendChild(chart.svg);
    charts.appendChild(section);
  });
}

// A change of the history (a round ended here or in another tab) shows in the open
// panel once the game's frame is over.
var zumbleProgressTimer = 0;
function zumbleProgressChanged() {
  if (zumbleProgressTimer) return;
  zumbleProgressTimer = setTimeout(function () { zumbleProgressTimer = 0; zumbleListProgress(); }, 0);
}

// Watching a replay, the viewer's buttons take the room.
if (zumblePage.watching) document.getElementById('progress-button').hidden = true;
// The panel takes the replays' place over the picture: one of the two at a time.
document.getElementById('progress-button').addEventListener('click', function (e) {
  e.currentTarget.blur();  // Space and Enter belong to the game, not to the button
  var panel = document.getElementById('progress');
  panel.hidden = !panel.hidden;
  if (!panel.hidden) document.getElementById('replays').hidden = true;
  zumbleListProgress();
});
document.getElementById('replays-button').addEventListener('click', function () {
  document.getElementById('progress').hidden = true;
});
document.getElementById('progress-close').addEventListener('click', function (e) {
  e.currentTarget.blur();
  document.getElementById('progress').hidden = true;
});
// Escape closes the panel, as it does the replays', and goes no further.
window.addEventListener('keydown', function (e) {
  var panel = document.getElementById('progress');
  if (e.key !== 'Escape' || !e.isTrusted || panel.hidden) return;
  panel.hidden = true;
  e.stopImmediatePropagation();
  e.preventDefault();
}, true);
