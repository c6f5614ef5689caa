// "Save clip": the replay being watched, from its first frame to its last, recorded by the
// browser's own recorder (the canvas and the page's sound) as the viewer plays it, then
// saved. The desktop game makes the same clip in a fraction of the time:
// zumble --replay FILE --clip OUT.webm.
var ZUMBLE_CLIP_KEY = 'zumble-clip-on-open';
function zumbleSaveClip(button) {
  var canvas = Module['canvas'];
  if (!window.MediaRecorder || !canvas.captureStream) {
    zumblePage.setStatus('This browser cannot record a clip.');
    return;
  }
  if (!window.zumbleViewerState()) {
    zumblePage.setStatus('The replay is no longer playing: open it again to save its clip.');
    return;
  }
  var stream = canvas.captureStream(60);
  if (zumbleAudio.context && zumbleAudio.node) {
    var sound = zumbleAudio.context.createMediaStreamDestination();
    zumbleAudio.node.connect(sound);
    sound.stream.getAudioTracks().forEach(function (track) { stream.addTrack(track); });
  }
  var type = ['video/webm;codecs=vp9,opus', 'video/webm', 'video/mp4'].filter(function (t) {
    return MediaRecorder.isTypeSupported(t);
  })[0];
  var recorder = new MediaRecorder(stream, type ? { mimeType: type } : undefined), parts = [];
  recorder.ondataavailable = function (e) { if (e.data.size) parts.push(e.data); };
  recorder.onstop = function () {
    var name = window.zumbleReplayFileName(zumbleReplayFacts(zumblePage.openedReplay))
      .replace(/\.zrp$/, /mp4/.test(recorder.mimeType) ? '.mp4' : '.webm');
    var link = zumbleDownloadLink(new Blob(parts, { type: recorder.mimeType }), name, '');
    link.click();
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
    stream.getTracks().forEach(function (track) { track.stop(); });
    button.disabled = false;
    zumblePage.setStatus('Clip saved: ' + name);
  };
  button.disabled = true;
  zumblePage.setStatus('Recording a clip: the replay plays to its end.');
  window.zumbleViewerSeek(0);
  recorder.start(1000);
  // It ends at the last frame, once the seek to the first has been seen.
  var left = false;
  var timer = setInterval(function () {
    var now = window.zumbleViewerState();
    left = left || (now && now.frame < now.frames - 1);
    if (now && (!left || now.frame < now.frames - 1)) return;
    clearInterval(timer);
    recorder.stop();
  }, 100);
}
if (zumblePage.openedReplay || zumblePage.replayUrl) {
  var zumbleClipButton = document.createElement('button');
  zumbleClipButton.type = 'button';
  zumbleClipButton.id = 'save-clip';
  zumbleClipButton.textContent = 'Save clip';
  zumbleClipButton.addEventListener('click', function (e) { e.currentTarget.blur(); zumbleSaveClip(e.currentTarget); });
  // Beside "Play again", wherever the layout keeps it.
  var zumbleAgain = document.getElementById('again');
  zumbleAgain.parentNode.insertBefore(zumbleClipButton, zumbleAgain);
  // "Save clip" beside a kept replay opened it to record it: as soon as it plays.
  if (sessionStorage.getItem(ZUMBLE_CLIP_KEY)) {
    sessionStorage.removeItem(ZUMBLE_CLIP_KEY);
    var zumbleClipWait = setInterval(function () {
      if (!window.zumbleViewerState()) return;
      clearInterval(zumbleClipWait);
      zumbleSaveClip(zumbleClipButton);
    }, 100);
  }
}
