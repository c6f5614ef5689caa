// The picture: scaled by the largest whole number of device pixels that fits, so every
// game pixel is the same square, where that fills the screen well. Where it would leave
// much of the room unused (a phone: 1x is a third of its screen), the picture fills the
// largest 4:3 box that fits instead, still drawn with hard pixel edges. The pointer is
// mapped through the canvas's box either way (web_input.cpp), so it stays exact.
var ZUMBLE_WHOLE_ENOUGH = 0.85;  // of the fitting box's width

function zumbleFitSize(width, height, ratio) {
  var fitWidth = Math.floor(Math.min(width, height * 4 / 3) * ratio);  // in device pixels
  var scale = Math.floor(Math.min(width * ratio / 640, height * ratio / 480));
  var deviceWidth = scale >= 1 && 640 * scale >= fitWidth * ZUMBLE_WHOLE_ENOUGH ? 640 * scale
                                                                                : fitWidth - fitWidth % 4;
  return { width: deviceWidth / ratio, height: deviceWidth * 3 / 4 / ratio, whole: deviceWidth % 640 === 0 };
}

function zumbleFit() {
  var canvas = Module['canvas'];
  var stage = document.getElementById('stage');
  var ratio = window.devicePixelRatio || 1;
  var width = stage.clientWidth, height = stage.clientHeight;
  // The panels the player opens over the stage keep within it (shell.html).
  document.body.style.setProperty('--stage-w', width + 'px');
  document.body.style.setProperty('--stage-h', height + 'px');
  var size = zumbleFitSize(width, height, ratio);
  canvas.style.width = size.width + 'px';
  canvas.style.height = size.height + 'px';
  // Centred on whole device pixels, so no row or column of the picture is split. Above
  // a bar of a few lines (a phone held upright) it keeps to the top, so that what the bar
  // shows (a round's buttons, the viewer's, a longer message) never moves it.
  canvas.style.left = Math.floor((width - size.width) / 2 * ratio) / ratio + 'px';
  var full = document.fullscreenElement || document.webkitFullscreenElement;
  var top = document.body.classList.contains('narrow') && !full ? 0 : (height - size.height) / 2;
  canvas.style.top = Math.floor(top * ratio) / ratio + 'px';
  zumbleOverlayFit();  // the replay viewer's overlay lies over the picture (viewer.js)
}
// Where the pointer really is, in fractions of a CSS pixel (web_input.cpp maps it).
var zumblePointerAt = null;
['pointerdown', 'pointermove', 'pointerup'].forEach(function (type) {
  window.addEventListener(type, function (e) { zumblePointerAt = { x: e.clientX, y: e.clientY }; }, true);
});

// The stage changes size with the window and with full screen; the picture follows it.
if (window.ResizeObserver) new ResizeObserver(zumbleFit).observe(document.getElementById('stage'));
window.addEventListener('resize', zumbleFit);
document.addEventListener('fullscreenchange', zumbleFit);
document.addEventListener('webkitfullscreenchange', zumbleFit);
zumbleFit();

function zumbleToggleFullscreen() {
  var stage = document.getElementById('stage');
  var full = document.fullscreenElement || document.webkitFullscreenElement;
  if (full) (document.exitFullscreen || document.webkitExitFullscreen).call(document);
  else if (stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
  else if (stage.webkitRequestFullscreen) stage.webkitRequestFullscreen();
}
document.getElementById('fullscreen').addEventListener('click', function (e) {
  zumbleToggleFullscreen();
  e.currentTarget.blur();  // Space and Enter belong to the game, not to the button
});
window.addEventListener('keydown', function (e) {
  if (e.key === 'Enter' && e.altKey) { zumbleToggleFullscreen(); e.preventDefault(); }
}, true);
