// Gamepads on the page: the connected pads for the game (web_pad.cpp reads them at every
// input pump), the pad's settings panel and the note that a browser shows a pad only
// after one of its buttons has been pressed.

var ZUMBLE_PAD_KEY = 'zumble-pad';
var zumblePad = {
  defaults: { speed: 600, deadZone: 8, precision: 33 },
  limits: { speed: [250, 1500], deadZone: [0, 30], precision: [10, 100] },
  settings: null,
  pressedAt: 0,
  said: false
};

// The kept settings, each one that is whole and within its limits; anything else (no
// storage, damaged contents) leaves the defaults.
zumblePad.settings = (function () {
  var s = Object.assign({}, zumblePad.defaults);
  var kept = null;
  try { kept = JSON.parse(localStorage.getItem(ZUMBLE_PAD_KEY)); } catch (e) {}
  if (kept && typeof kept === 'object') {
    Object.keys(s).forEach(function (key) {
      var v = kept[key], range = zumblePad.limits[key];
      if (Number.isInteger(v) && v >= range[0] && v <= range[1]) s[key] = v;
    });
  }
  return s;
})();

// The game starts with them, as with the command line's options.
(function () {
  var s = zumblePad.settings;
  Module['arguments'].push('--pad-speed', String(s.speed), '--pad-dead-zone', String(s.deadZone),
                           '--pad-precision', String(s.precision));
})();

// Standard layout: 0 A, 1 B, 5 right shoulder, 9 Start, 12-15 the d-pad; other pads
// mostly number their buttons the same way.
var ZUMBLE_PAD_BUTTONS = [[0, 1], [1, 2], [9, 4], [5, 8], [12, 16], [13, 32], [14, 64], [15, 128]];

// Calls put(i, x, y, bits) for each connected pad (at most max); returns how many.
function zumbleReadPads(put, max) {
  var pads = navigator.getGamepads ? navigator.getGamepads() : [];
  var n = 0, pressed = false;
  for (var p = 0; pads && p < pads.length && n < max; ++p) {
    var pad = pads[p];
    if (!pad || pad.connected === false) continue;
    var bits = 0;
    ZUMBLE_PAD_BUTTONS.forEach(function (b) {
      var button = pad.buttons[b[0]];
      var down = typeof button === 'number' ? button > 0.5 : !!button && (button.pressed || button.value > 0.5);
      if (down) bits |= b[1];
    });
    var x = Number(pad.axes[0]) || 0, y = Number(pad.axes[1]) || 0;
    if (bits) pressed = true;
    put(n, x, y, bits);
    ++n;
  }
  // A player on a pad is playing: the screen stays awake as for taps and keys.
  if (pressed && typeof zumbleKeepAwake === 'function' && performance.now() - zumblePad.pressedAt > 1000) {
    zumblePad.pressedAt = performance.now();
    zumbleKeepAwake();
  }
  return n;
}

// The settings panel, in the help.
(function () {
  var inputs = {
    speed: document.getElementById('pad-speed'),
    deadZone: document.getElementById('pad-dead-zone'),
    precision: document.getElementById('pad-precision')
  };
  function show() {
    Object.keys(inputs).forEach(function (key) {
      inputs[key].value = zumblePad.settings[key];
      document.getElementById(inputs[key].id + '-value').textContent = zumblePad.settings[key];
    });
  }
  function apply() {
    var s = zumblePad.settings;
    try { localStorage.setItem(ZUMBLE_PAD_KEY, JSON.stringify(s)); } catch (e) {}
    if (Module['_ZumbleSetPadSettings'] && runtimeInitialized && !runtimeExited) {
      Module['_ZumbleSetPadSettings'](s.speed, s.deadZone, s.precision);
    }
    show();
  }
  Object.keys(inputs).forEach(function (key) {
    inputs[key].addEventListener('input', function () {
      zumblePad.settings[key] = Number(inputs[key].value);
      apply();
    });
    // Space and Enter belong to the game again once the slider is let go.
    inputs[key].addEventListener('change', function () { inputs[key].blur(); });
  });
  document.getElementById('pad-reset').addEventListener('click', function (e) {
    zumblePad.settings = Object.assign({}, zumblePad.defaults);
    apply();
    e.currentTarget.blur();
  });
  document.querySelector('#pad-settings summary').addEventListener('click', function (e) { e.currentTarget.blur(); });
  show();
})();

// A pad shows up at its first button press: the page says it is there.
window.addEventListener('gamepadconnected', function () {
  var status = document.getElementById('status');
  if (!status.textContent) {
    zumblePage.setStatus('Gamepad ready.');
    zumblePad.said = true;
  }
});
window.addEventListener('gamepaddisconnected', function () {
  if (zumblePad.said && document.getElementById('status').textContent === 'Gamepad ready.') zumblePage.setStatus('');
  zumblePad.said = false;
});
