// The page's side of the game's pacing. (The page's script is page.js, picture.js,
// pacing.js, sound.js and files.js, in this order, before the game's own.)
//
// Pacing: the game waits for the first animation frame at or after `earliest` (its next
// frame's slot, in performance.now() milliseconds, less what the display's beat may
// jitter) and takes that frame's time; the game keeps the schedule
// (platform/services/frame_pacer.h), so at 120 Hz every second animation frame runs the
// game, and after a stall (a hidden tab) the schedule starts again rather than catching up.
var zumbleSlotWaiter = null;  // ends the wait for the slot the game is waiting for
function zumbleNextSlot(earliest) {
  return new Promise(function (resolve) {
    var done = false;
    zumbleSlotWaiter = function (now) {
      if (done) return;
      done = true;
      zumbleSlotWaiter = null;
      resolve(now);
    };
    function tick(now) {
      if (done) return;
      if (now >= earliest) zumbleSlotWaiter(now);
      else requestAnimationFrame(tick);
    }
    requestAnimationFrame(tick);
  });
}
// Wakes the game between two frames without giving it a slot (-1), for what it must do
// while the page gets no animation frames: a hidden tab keeps its round so far.
function zumbleWakeBetweenFrames() {
  if (zumbleSlotWaiter) zumbleSlotWaiter(-1);
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
