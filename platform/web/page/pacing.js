// The page's side of the game's pacing. (The page's script is page.js, picture.js,
// pacing.js, sound.js and files.js, in this order, before the game's own.)
//
// Pacing: one game frame per 1/60 s on the animation frames, whatever the display's
// refresh; at 120 Hz every second animation frame runs the game. The schedule is
// absolute, so frames do not drift; after a stall (a hidden tab) it starts again.
var zumbleFrame = { deadline: -1 };
function zumbleNextSlot() {
  var period = 1000 / 60;
  return new Promise(function (resolve) {
    function tick(now) {
      if (zumbleFrame.deadline < 0 || now - zumbleFrame.deadline > 4 * period) zumbleFrame.deadline = now;
      // A quarter frame of slack: animation frame times jitter around the display's beat.
      if (now >= zumbleFrame.deadline - period / 4) {
        zumbleFrame.deadline += period;
        resolve();
      } else {
        requestAnimationFrame(tick);
      }
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
