// Sound: each game frame's mix goes to Web Audio (an AudioWorklet, or a script processor
// where there is none). Browsers start a page's sound only after the player's first click
// or key, so until then the mix is dropped; where there is no Web Audio the game is silent.
var zumbleAudio = { context: null, node: null, unlocked: false, fed: 0, loud: 0, queue: [],
                    // Where the next output frame falls, in source frames after the last
                    // frame of the previous mix, and that frame (left, right).
                    at: 1, last: [0, 0] };
var ZUMBLE_MIX_RATE = 22050;
(function () {
  var AudioContextType = window.AudioContext || window.webkitAudioContext;
  if (!AudioContextType) return;
  try {
    zumbleAudio.context = new AudioContextType({ sampleRate: ZUMBLE_MIX_RATE, latencyHint: 'interactive' });
  } catch (e) {
    console.warn('zumble: no sound at 22050 Hz here (' + e + '); playing without sound');
    return;
  }
  var context = zumbleAudio.context;
  function useScriptProcessor() {
    // The older way: the page fills each block on the main thread.
    var node = context.createScriptProcessor(1024, 0, 2);
    node.onaudioprocess = function (e) {
      var left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
      var i = 0;
      while (i < left.length && zumbleAudio.queue.length) {
        var chunk = zumbleAudio.queue[0];
        var n = Math.min(left.length - i, chunk.length / 2 - (chunk.at || 0));
        for (var k = 0; k < n; ++k, ++i) {
          left[i] = chunk[2 * (chunk.at || 0) + 2 * k];
          right[i] = chunk[2 * (chunk.at || 0) + 2 * k + 1];
        }
        chunk.at = (chunk.at || 0) + n;
        if (chunk.at >= chunk.length / 2) zumbleAudio.queue.shift();
      }
      for (; i < left.length; ++i) { left[i] = 0; right[i] = 0; }
    };
    node.connect(context.destination);
    zumbleAudio.node = node;
  }
  if (context.audioWorklet && window.AudioWorkletNode) {
    context.audioWorklet.addModule(zumbleVersioned('audio-worklet.js')).then(function () {
      zumbleAudio.node = new AudioWorkletNode(context, 'zumble-output', { outputChannelCount: [2] });
      zumbleAudio.node.connect(context.destination);
    }, function (e) {
      console.warn('zumble: no audio worklet (' + e + '); using a script processor');
      useScriptProcessor();
    });
  } else {
    useScriptProcessor();
  }
  function unlock() {
    zumbleAudio.unlocked = true;
    // A key such as Escape may not count as the player's consent: then the context
    // stays suspended until the next click or key.
    if (context.state === 'suspended' && !document.hidden) context.resume().catch(function () {});
  }
  ['mousedown', 'pointerdown', 'touchend', 'keydown'].forEach(function (type) {
    window.addEventListener(type, unlock, true);
  });
  document.addEventListener('visibilitychange', function () {
    if (document.hidden) context.suspend();
    else if (zumbleAudio.unlocked) context.resume().catch(function () {});
  });
})();

// The mix (interleaved stereo, -1..1) at the context's own rate. A browser may run the
// context at another rate than the one asked for: played as it is, the sound would be
// off pitch and off pace with the picture. Linear steps, carried from one mix to the next.
function zumbleToContextRate(mix, rate) {
  if (rate === ZUMBLE_MIX_RATE || mix.length === 0) return mix;
  var frames = mix.length / 2, step = ZUMBLE_MIX_RATE / rate, a = zumbleAudio;
  var count = Math.max(0, Math.floor((frames - a.at) / step) + 1);
  var out = new Float32Array(2 * count);
  for (var k = 0, at = a.at; k < count; ++k, at += step) {
    // Source frame i is mix frame i - 1; frame 0 is the previous mix's last.
    var i = Math.floor(at), f = at - i;
    for (var c = 0; c < 2; ++c) {
      var x = i === 0 ? a.last[c] : mix[2 * (i - 1) + c];
      var y = i < frames ? mix[2 * i + c] : x;
      out[2 * k + c] = x + (y - x) * f;
    }
  }
  a.at += count * step - frames;
  a.last = [mix[2 * frames - 2], mix[2 * frames - 1]];
  return out;
}

// One game frame's mix: interleaved 16-bit stereo samples (a view of the game's memory).
function zumbleFeedAudio(samples) {
  var context = zumbleAudio.context;
  if (!context || context.state !== 'running' || !zumbleAudio.node) return;
  var mix = new Float32Array(samples.length);
  var loud = false;
  for (var i = 0; i < samples.length; ++i) {
    mix[i] = samples[i] / 32768;
    if (samples[i] !== 0) loud = true;
  }
  var chunk = zumbleToContextRate(mix, context.sampleRate);
  zumbleAudio.fed += samples.length / 2;
  if (loud) zumbleAudio.loud += 1;
  if (zumbleAudio.node.port) zumbleAudio.node.port.postMessage(chunk, [chunk.buffer]);
  else if (zumbleAudio.queue.length < 16) zumbleAudio.queue.push(chunk);
}

// The player's volume and mute, kept with the page's settings. The game mixes at that
// volume (as the desktop's --volume and M): the slider and the mute button, or the key M,
// change it at the next frame.
var ZUMBLE_SOUND_KEY = 'zumble-sound';
var zumbleSound = (function () {
  var s = { volume: 100, muted: false };
  var kept = null;
  try { kept = JSON.parse(localStorage.getItem(ZUMBLE_SOUND_KEY)); } catch (e) {}
  if (kept && typeof kept === 'object') {
    if (Number.isInteger(kept.volume) && kept.volume >= 0 && kept.volume <= 100) s.volume = kept.volume;
    if (typeof kept.muted === 'boolean') s.muted = kept.muted;
  }
  return s;
})();
// The game starts with it; muted, it starts silent and the page gives the level back.
Module['arguments'].push('--volume', String(zumbleSound.muted ? 0 : zumbleSound.volume));

function zumbleSoundShow() {
  var mute = document.getElementById('mute');
  mute.textContent = zumbleSound.muted ? 'Unmute' : 'Mute';
  mute.setAttribute('aria-pressed', zumbleSound.muted ? 'true' : 'false');
  document.getElementById('volume').value = zumbleSound.volume;
}
function zumbleSoundSet(volume, muted) {
  zumbleSound.volume = volume;
  zumbleSound.muted = muted;
  try { localStorage.setItem(ZUMBLE_SOUND_KEY, JSON.stringify(zumbleSound)); } catch (e) {}
  if (Module['_ZumbleSetVolume'] && runtimeInitialized && !runtimeExited && !ABORT) {
    Module['_ZumbleSetVolume'](volume, muted ? 1 : 0);
  }
  zumbleSoundShow();
}
document.getElementById('mute').addEventListener('click', function (e) {
  e.currentTarget.blur();  // Space and Enter belong to the game, not to the button
  zumbleSoundSet(zumbleSound.volume, !zumbleSound.muted);
});
// Moving the slider is asking to hear it.
document.getElementById('volume').addEventListener('input', function (e) {
  zumbleSoundSet(Number(e.currentTarget.value), false);
});
document.getElementById('volume').addEventListener('change', function (e) { e.currentTarget.blur(); });
window.addEventListener('keydown', function (e) {
  if ((e.key === 'm' || e.key === 'M') && !e.ctrlKey && !e.altKey && !e.metaKey && !e.repeat) {
    zumbleSoundSet(zumbleSound.volume, !zumbleSound.muted);
  }
}, true);
zumbleSoundShow();
// For tests: the volume and mute the page keeps.
window.zumbleSoundSettings = function () { return { volume: zumbleSound.volume, muted: zumbleSound.muted }; };
