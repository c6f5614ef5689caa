// The screen around the picture: where the controls go (beside the picture on a wide
// low screen, below it otherwise), the help behind "?" on touch screens and small wide
// screens, the round's and the viewer's buttons for a finger, a note to turn the phone
// (once; the game plays anyway), and the screen kept awake while the player plays.

function zumbleNotice(text) {
  var notice = document.getElementById('notice');
  notice.textContent = text;
  notice.hidden = !text;
}

// The controls take a column beside the picture where the screen is at least 3:2 and
// low (or touched): as wide as the picture at full height leaves, within what two
// finger-sized buttons need and a column should take, with three columns of buttons
// where it is wide enough for them. The picture fits what is left.
var ZUMBLE_SIDE_MIN = 96, ZUMBLE_SIDE_MAX = 320, ZUMBLE_SIDE_THREE = 280;
function zumbleLayout() {
  var body = document.body, w = window.innerWidth, h = window.innerHeight;
  var touch = zumbleTouch();
  var side = h > 0 && w / h >= 1.5 && (h <= 600 || touch);
  body.classList.toggle('touch', touch);
  body.classList.toggle('side', side);
  body.classList.toggle('compact', touch || side);
  body.classList.toggle('narrow', !side && (touch || w < 760));
  var sideWidth = Math.round(Math.max(ZUMBLE_SIDE_MIN, Math.min(ZUMBLE_SIDE_MAX, w - h * 4 / 3)));
  body.style.setProperty('--side-w', sideWidth + 'px');
  body.style.setProperty('--side-cols', sideWidth >= ZUMBLE_SIDE_THREE ? '3' : '2');
  if (typeof zumbleFit === 'function') zumbleFit();
}
window.addEventListener('resize', zumbleLayout);
if (window.matchMedia) {
  var zumblePointerQuery = window.matchMedia('(pointer: coarse)');
  if (zumblePointerQuery.addEventListener) zumblePointerQuery.addEventListener('change', zumbleLayout);
}
zumbleLayout();

// The help: "?" opens and closes it, and so do a tap outside it and Escape (which then
// goes no further: the game keeps its screen).
function zumbleShowHelp(show) {
  document.body.classList.toggle('help', show);
  document.getElementById('help').setAttribute('aria-expanded', show ? 'true' : 'false');
}
document.getElementById('help').addEventListener('click', function (e) {
  zumbleShowHelp(!document.body.classList.contains('help'));
  e.currentTarget.blur();  // Space and Enter belong to the game, not to the button
});
document.addEventListener('pointerdown', function (e) {
  if (!e.target.closest || !e.target.closest('#help, #howto')) zumbleShowHelp(false);
}, true);
window.addEventListener('keydown', function (e) {
  if (e.key !== 'Escape' || !e.isTrusted) return;
  var replays = document.getElementById('replays');
  if (!document.body.classList.contains('help') && replays.hidden) return;
  zumbleShowHelp(false);
  replays.hidden = true;
  e.stopImmediatePropagation();
  e.preventDefault();
}, true);

// A button that does what a key does: the key goes to the game (or the viewer) as if
// pressed, so both ways share one path.
function zumblePressKey(key) {
  window.dispatchEvent(new KeyboardEvent('keydown', { key: key, code: key === ' ' ? 'Space' : '', bubbles: true }));
}
function zumbleKeyButton(id, key) {
  document.getElementById(id).addEventListener('click', function (e) {
    e.currentTarget.blur();
    zumblePressKey(key);
  });
}
zumbleKeyButton('leave', 'Escape');
zumbleKeyButton('retry', 'r');
Array.prototype.forEach.call(document.querySelectorAll('#viewer-buttons button'), function (button) {
  zumbleKeyButton(button.id, button.dataset.key);
});
// The viewer's pause button says what it will do (viewer.js calls this after each picture).
function zumbleViewerButtons(o) {
  var pause = document.getElementById('viewer-pause');
  var text = o && o.paused ? 'Play' : 'Pause';
  if (pause.textContent !== text) pause.textContent = text;
}

// Leave and Retry are there while a round goes on (below a picture that takes the
// height in a place kept for them, so the picture never moves); the last round's download
// once there is one. While the round's clock runs, Replays and Progress wait: a panel
// would cover the picture as the clock runs on. Its results board lets them be opened.
function zumbleGameRunning() {
  return typeof runtimeInitialized !== 'undefined' && runtimeInitialized && !runtimeExited && !ABORT;
}
function zumbleRoundRuns() {
  return zumbleGameRunning() && !zumblePage.watching && !!Module['_ZumbleInRound'] && !!Module['_ZumbleInRound']() &&
         Module['_ZumbleRoundTime']() < 0;
}
function zumbleOfferPanels() {
  var runs = zumbleRoundRuns();
  ['replays-button', 'progress-button', 'rooms-button'].forEach(function (id) {
    var button = document.getElementById(id);
    if (button.disabled === runs) return;
    button.disabled = runs;
    button.title = runs ? 'After the round' : '';
  });
  if (!runs) return;
  document.getElementById('replays').hidden = true;
  document.getElementById('progress').hidden = true;
  document.getElementById('rooms-make').hidden = true;
}
// A press in the moment before the buttons show it finds the round running all the same.
document.addEventListener('click', function (e) {
  var button = e.target.closest && e.target.closest('#replays-button, #progress-button, #rooms-button');
  if (!button || !zumbleRoundRuns()) return;
  zumbleOfferPanels();
  e.stopImmediatePropagation();
  e.preventDefault();
}, true);
setInterval(function () {
  var running = zumbleGameRunning();
  var inRound = running && !zumblePage.watching && Module['_ZumbleInRound'] && Module['_ZumbleInRound']();
  document.getElementById('round-buttons').classList.toggle('on', !!inRound);
  zumbleOfferPanels();
  // Where a board serves the page, its form's line is kept (shell.html).
  document.body.classList.toggle('board', typeof zumbleBoard !== 'undefined' && zumbleBoard.present);
  if (running && zumbleExists(ZUMBLE_HOME + '/replays/last.zrp')) zumbleOfferReplay();
  if (running) zumbleModeName(10, 1);  // the list's mode names, kept for after the game's end (replays.js)
}, 250);

// A phone held upright shows the picture a third of the screen's height: say once that
// turning it gives a bigger picture. The note goes with the first tap or after a while.
(function () {
  var told = false;
  function portraitPhone() {
    return window.matchMedia('(orientation: portrait) and (pointer: coarse)').matches ||
           (window.matchMedia('(orientation: portrait)').matches && window.innerWidth <= 600);
  }
  function check() {
    var notice = document.getElementById('notice');
    if (!told && portraitPhone()) {
      told = true;
      zumbleNotice('Turn your phone sideways for a bigger picture.');
      notice.dataset.turn = '1';
      setTimeout(function () { if (notice.dataset.turn) { zumbleNotice(''); delete notice.dataset.turn; } }, 8000);
    } else if (notice.dataset.turn && !portraitPhone()) {
      zumbleNotice('');
      delete notice.dataset.turn;
    }
  }
  document.addEventListener('pointerdown', function () {
    var notice = document.getElementById('notice');
    if (notice.dataset.turn) { zumbleNotice(''); delete notice.dataset.turn; }
  }, true);
  window.addEventListener('resize', check);
  check();
})();

// The screen stays on while the player plays: a wake lock, taken at the player's taps,
// clicks and keys and let go a while after the last of them (a round keeps the player
// busy; the title left alone may sleep), when the tab is hidden and when the game ends.
var zumbleWake = { lock: null, asking: false, last: 0, timer: 0, idleMs: 60000 };
function zumbleWakeRelease() {
  if (zumbleWake.timer) clearTimeout(zumbleWake.timer);
  zumbleWake.timer = 0;
  if (zumbleWake.lock) zumbleWake.lock.release().catch(function () {});
  zumbleWake.lock = null;
}
function zumbleWakeCheck() {
  zumbleWake.timer = 0;
  var idle = performance.now() - zumbleWake.last;
  if (idle >= zumbleWake.idleMs) zumbleWakeRelease();
  else zumbleWake.timer = setTimeout(zumbleWakeCheck, zumbleWake.idleMs - idle);
}
function zumbleKeepAwake() {
  zumbleWake.last = performance.now();
  if (!zumbleWake.timer) zumbleWake.timer = setTimeout(zumbleWakeCheck, zumbleWake.idleMs);
  if (zumbleWake.lock || zumbleWake.asking || !navigator.wakeLock || document.hidden) return;
  if (zumblePage.ended) return;
  zumbleWake.asking = true;
  navigator.wakeLock.request('screen').then(function (lock) {
    zumbleWake.asking = false;
    zumbleWake.lock = lock;
    // The browser lets go by itself when the tab is hidden.
    lock.addEventListener('release', function () { if (zumbleWake.lock === lock) zumbleWake.lock = null; });
  }, function () { zumbleWake.asking = false; });
}
['pointerdown', 'keydown'].forEach(function (type) {
  window.addEventListener(type, zumbleKeepAwake, true);
});
document.addEventListener('visibilitychange', function () {
  // Back to the tab within the while: the lock is taken again.
  if (!document.hidden && performance.now() - zumbleWake.last < zumbleWake.idleMs) zumbleKeepAwake();
});
window.zumbleAwake = function () { return !!zumbleWake.lock; };
