// The picture: scaled by the largest whole number of device pixels that fits, so every
// game pixel is the same square; below 1x (a phone) it is shrunk to fit.
function zumbleFit() {
  var canvas = Module['canvas'];
  var stage = document.getElementById('stage');
  var ratio = window.devicePixelRatio || 1;
  var width = stage.clientWidth, height = stage.clientHeight;
  var scale = Math.floor(Math.min(width * ratio / 640, height * ratio / 480));
  var cssWidth = scale >= 1 ? 640 * scale / ratio : Math.min(width, height * 4 / 3);
  var cssHeight = cssWidth * 3 / 4;
  canvas.style.width = cssWidth + 'px';
  canvas.style.height = cssHeight + 'px';
  // Centred on whole device pixels, so no row or column of the picture is split.
  canvas.style.left = Math.floor((width - cssWidth) / 2 * ratio) / ratio + 'px';
  canvas.style.top = Math.floor((height - cssHeight) / 2 * ratio) / ratio + 'px';
}
// The stage changes size with the window, with full screen, and with the line below
// wrapping; the picture follows it.
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
