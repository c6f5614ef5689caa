// The replay viewer in the page: its overlay (the player's hand, the top line, the help
// and the seek bar) drawn on a canvas of its own laid exactly over the game's, from the
// description the game gives after every picture (web_overlay.cpp). A played round's
// splits are drawn on the same canvas. The game's canvas holds only the game's picture.
// The overlay's canvas takes no input: the keys, clicks and drags on the seek bar reach
// the viewer through the game's own input.

var zumbleViewer = { drawn: false, last: null, helpLine: '' };
// The line over the seek bar on a touch screen, where the game's line of keys means
// nothing: what a finger does instead.
var ZUMBLE_VIEWER_TAPS = 'Tap or drag the bar to seek; the buttons pause, step a frame, change the speed and leave';

function zumbleOverlayCanvas() { return document.getElementById('overlay'); }

// Laid over the game's canvas, in device pixels, so its lines and text are sharp.
function zumbleOverlayFit() {
  var overlay = zumbleOverlayCanvas(), canvas = Module['canvas'];
  if (!overlay || !canvas) return;
  ['left', 'top', 'width', 'height'].forEach(function (k) { overlay.style[k] = canvas.style[k]; });
  var ratio = window.devicePixelRatio || 1;
  var width = Math.max(1, Math.round(parseFloat(canvas.style.width || '640') * ratio));
  var height = Math.max(1, Math.round(parseFloat(canvas.style.height || '480') * ratio));
  if (overlay.width !== width || overlay.height !== height) {
    overlay.width = width;
    overlay.height = height;
    // (picture.js fits the picture before this file has run.)
    if (zumbleViewer && zumbleViewer.last) zumbleViewerPaint(zumbleViewer.last);
  }
}

// A round's splits: the run raced at the left of the top band, the delta (green ahead,
// red behind) and the reference's count at its right; on the results board a box of
// lines below the table, the row the time took framed and a new best said large; and a
// notice of what a key just did, for a moment.
function zumbleSplitsPaint(c, o) {
  c.textBaseline = 'middle';
  c.font = '11px sans-serif';
  if (o.race || o.delta || o.count) {
    c.fillStyle = 'rgba(0, 0, 0, 0.6)';
    c.fillRect(0, 0, 640, 17);
    c.fillStyle = '#fff';
    c.fillText(o.race, 6, 9, 400);
    c.textAlign = 'right';
    c.fillText(o.count, 634, 9);
    var countWidth = c.measureText(o.count).width;
    c.fillStyle = o.tone < 0 ? 'rgb(64, 224, 64)' : o.tone > 0 ? 'rgb(255, 72, 72)' : '#fff';
    c.fillText(o.delta, 634 - countWidth - 16, 9);
    c.textAlign = 'left';
  }
  if (o.board.length) {
    var top = o.boardBox[0], bottom = o.boardBox[1];
    c.fillStyle = 'rgba(0, 0, 0, 0.6)';
    c.fillRect(0, top, 640, bottom - top);
    c.fillStyle = '#fff';
    c.textAlign = 'center';
    var first = top + (bottom - top - 14 * o.board.length) / 2 + 7;
    o.board.forEach(function (line, n) { c.fillText(line, 320, first + 14 * n, 628); });
    c.textAlign = 'left';
  }
  if (o.tableRow >= 0) {
    // The row of the table the time took, framed in gold.
    var left = o.rowBox[0], rowTop = o.rowBox[1] + o.rowBox[3] * o.tableRow - 3;
    c.strokeStyle = 'rgb(255, 214, 0)';
    c.lineWidth = 2;
    c.strokeRect(left + 1, rowTop + 1, o.rowBox[2] - left - 2, o.rowBox[3] - 2);
  }
  if (o.newBest) {
    c.font = 'bold 30px sans-serif';
    c.textAlign = 'center';
    var w = c.measureText('NEW BEST!').width;
    c.fillStyle = 'rgba(0, 0, 0, 0.6)';
    c.fillRect(320 - w / 2 - 12, o.newBestTop - 8, w + 24, 38);
    c.fillStyle = 'rgb(255, 214, 0)';
    c.fillText('NEW BEST!', 320, o.newBestTop + 11);
    c.font = '11px sans-serif';
    c.textAlign = 'left';
  }
  if (o.notice) {
    c.textAlign = 'center';
    var nw = c.measureText(o.notice).width;
    c.fillStyle = 'rgba(0, 0, 0, 0.75)';
    c.fillRect(320 - nw / 2 - 10, o.noticeTop - 6, nw + 20, 18);
    c.fillStyle = '#fff';
    c.fillText(o.notice, 320, o.noticeTop + 3);
    c.textAlign = 'left';
  }
}

function zumbleViewerPaint(o) {
  var overlay = zumbleOverlayCanvas();
  if (!overlay) return;
  var c = overlay.getContext('2d');
  c.setTransform(1, 0, 0, 1, 0, 0);
  c.clearRect(0, 0, overlay.width, overlay.height);
  zumbleViewer.drawn = false;
  if (o && o.splits) {
    zumbleViewer.drawn = true;
    c.setTransform(overlay.width / 640, 0, 0, overlay.height / 480, 0, 0);
    zumbleSplitsPaint(c, o);
    return;
  }
  if (!o || !o.shown) return;
  zumbleViewer.drawn = true;
  // From here on in the picture's 640x480 units.
  var k = overlay.width / 640;
  c.setTransform(k, 0, 0, overlay.height / 480, 0, 0);
  c.lineCap = 'round';
  c.lineJoin = 'round';
  // The cursor's trail: older parts fainter.
  for (var i = 1; i < o.trail.length; ++i) {
    var a = o.trail[i - 1], b = o.trail[i];
    c.strokeStyle = 'rgba(255, 230, 80, ' + Math.max(0.1, 1 - b[2] / 0.5).toFixed(3) + ')';
    c.lineWidth = 2.5;
    c.beginPath();
    c.moveTo(a[0], a[1]);
    c.lineTo(b[0], b[1]);
    c.stroke();
  }
  if (o.trail.length) {
    var p = o.trail[o.trail.length - 1];
    c.fillStyle = 'rgba(255, 230, 80, 0.9)';
    c.beginPath();
    c.arc(p[0], p[1], 3, 0, 2 * Math.PI);
    c.fill();
  }
  // Where the button was pressed, fading over a second.
  o.clicks.forEach(function (m) {
    c.strokeStyle = 'rgba(255, 70, 50, ' + m[2].toFixed(3) + ')';
    c.lineWidth = 3;
    c.beginPath();
    c.arc(m[0], m[1], 9 + 8 * (1 - m[2]), 0, 2 * Math.PI);
    c.stroke();
  });
  c.textBaseline = 'middle';
  c.font = '11px sans-serif';
  // The top line.
  c.fillStyle = 'rgba(0, 0, 0, 0.6)';
  c.fillRect(0, 0, 640, 17);
  c.fillStyle = '#fff';
  c.fillText(o.top, 6, 9, 628);
  // The seek bar, the help line over it.
  var r = o.barRect;
  c.fillStyle = 'rgba(0, 0, 0, 0.6)';
  c.fillRect(0, r[1] - 17, 640, 480 - (r[1] - 17));
  c.fillStyle = '#ccc';
  zumbleViewer.helpLine = zumbleTouch() ? ZUMBLE_VIEWER_TAPS : o.helpLine;  // page.js
  c.fillText(zumbleViewer.helpLine, r[0], r[1] - 8, r[2]);
  c.fillStyle = 'rgba(255, 255, 255, 0.3)';
  c.fillRect(r[0], r[1], r[2], r[3]);
  c.fillStyle = o.holdingBar ? '#fd6' : '#eb4';
  c.fillRect(r[0], r[1], r[2] * o.bar, r[3]);
  c.fillStyle = '#fff';
  c.fillRect(r[0] + r[2] * o.bar - 2, r[1] - 3, 4, r[3] + 6);
  // "?": every key.
  if (o.help && o.helpLines.length) {
    var h = 14 * o.helpLines.length + 16;
    c.fillStyle = 'rgba(0, 0, 0, 0.8)';
    c.fillRect(170, 240 - h / 2, 300, h);
    c.fillStyle = '#fff';
    o.helpLines.forEach(function (line, n) { c.fillText(line, 182, 240 - h / 2 + 15 + 14 * n, 276); });
  }
}

// Called by the game after every picture: the description, or null when no replay is
// watched (then the overlay stays clear, at no cost).
function zumbleViewerDraw(json) {
  if (json === null) {
    if (zumbleViewer.drawn || zumbleViewer.last) zumbleViewerPaint(null);
    zumbleViewer.last = null;
    zumbleViewer.json = null;
    return;
  }
  var o;
  try { o = JSON.parse(json); } catch (e) { return; }
  if (o.splits) {
    // The splits change at a swat or a second; the canvas is painted again only then.
    var same = zumbleViewer.last && zumbleViewer.last.splits && json === zumbleViewer.json;
    zumbleViewer.last = o;
    zumbleViewer.json = json;
    zumbleOverlayFit();
    if (!same) zumbleViewerPaint(o);
    return;
  }
  zumbleViewer.json = null;
  if (zumbleViewer.about) o.top = zumbleViewer.about + '   ' + o.top;  // a board's run: whose (board.js)
  zumbleViewer.last = o;
  zumbleViewerButtons(o);  // screen.js
  zumbleOverlayFit();
  zumbleViewerPaint(o);
}

// For tests and the curious: the viewer's state (frame, frames, paused, speed, shown,
// the top line, ...), or null when no replay is watched.
window.zumbleViewerState = function () {
  if (!runtimeInitialized || runtimeExited || ABORT || !Module['_ZumbleViewerState']) return null;
  var at = Module['_ZumbleViewerState']();
  return at ? JSON.parse(UTF8ToString(at)) : null;
};
// Asks the viewer for `frame`, as the seek bar would (tests and the benchmark).
window.zumbleViewerSeek = function (frame) {
  if (runtimeInitialized && !runtimeExited && !ABORT && Module['_ZumbleViewerSeek']) Module['_ZumbleViewerSeek'](frame);
};
// Whether anything is drawn over the picture now.
window.zumbleOverlayDrawn = function () { return zumbleViewer.drawn; };
// The line drawn over the seek bar, as the player reads it.
window.zumbleViewerHelpLine = function () { return zumbleViewer.drawn ? zumbleViewer.helpLine : ''; };

// The splits' setting (the key S), kept with the page's settings; the game starts with it.
var ZUMBLE_SPLITS_KEY = 'zumble-splits';
function zumbleSplitsKeep(on) {
  try { localStorage.setItem(ZUMBLE_SPLITS_KEY, on ? 'on' : 'off'); } catch (e) {}
}
(function () {
  var kept = null;
  try { kept = localStorage.getItem(ZUMBLE_SPLITS_KEY); } catch (e) {}
  // A watched replay shows no splits, and its options take none.
  if (kept === 'off' && !zumblePage.replayUrl && !zumblePage.openedReplay) Module['arguments'].push('--splits', 'off');
})();
// For tests: what the splits show now (the race line, the delta, the count, the results
// board's lines), or null when nothing is shown.
window.zumbleSplitsState = function () {
  if (!runtimeInitialized || runtimeExited || ABORT || !Module['_ZumbleSplitsState']) return null;
  var at = Module['_ZumbleSplitsState']();
  return at ? JSON.parse(UTF8ToString(at)) : null;
};
