// The screen around the picture on a phone: the help behind "?" where the picture takes
// the whole height, a note to turn the phone (once; the game plays anyway), and the
// screen kept awake while the player plays.

function zumbleNotice(text) {
  var notice = document.getElementById('notice');
  notice.textContent = text;
  notice.hidden = !text;
}

document.getElementById('help').addEventListener('click', function (e) {
  document.body.classList.toggle('help');
  e.currentTarget.blur();  // Space and Enter belong to the game, not to the button
});
// The help is read, then the game goes on: any tap elsewhere puts it away.
document.addEventListener('pointerdown', function (e) {
  if (!e.target.closest || !e.target.closest('#help, #howto')) document.body.classList.remove('help');
}, true);

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
