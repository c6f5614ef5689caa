// The page's side of the game's pacing. (The page's script is page.js, picture.js,
// pacing.js, sound.js and files.js, in this order, before the game's own.)
//
// Pacing: the game waits for the first animation frame at or after `earliest` (its next
// frame's slot, in performance.now() milliseconds, less what the display's beat may
// jitter) and takes that frame's time; the game keeps the schedule
// (platform/core/frame_pacer.h), so at 120 Hz every second animation frame runs the
// game, and after a stall (a hidden tab) the schedule starts again rather than catching up.
function zumbleNextSlot(earliest) {
  return new Promise(function (resolve) {
    function tick(now) {
      if (now >= earliest) resolve(now);
      else requestAnimationFrame(tick);
    }
    requestAnimationFrame(tick);
  });
}
// A timedemo runs flat out but hands the page back now and then, so it stays alive and
// shows the picture. A message, unlike a timer, is not held back to 4 ms.
function zumbleYield() {
  return new Promise(function (resolve) {
    var channel = new MessageChannel();
    channel.port1.onmessage = function () { resolve(); };
    channel.port2.postMessage(0);
  });
}
