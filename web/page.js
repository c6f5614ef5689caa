// The page around the game: the options from the address, the picture's scale and full
// screen, the sound output, the player's files in IndexedDB and the end of a run. The
// game itself reaches these through the small functions of platform/web_*.cpp.

Module['canvas'] = document.getElementById('canvas');

// Where the game runs: its data (preloaded) and the player's files (kept in IndexedDB)
// share one folder, as beside the game on a desktop.
var ZUMBLE_HOME = '/zumble';
var ZUMBLE_TRACE = '/trace.txt';
var ZUMBLE_SOUND_LOG = '/sound-log.txt';
var ZUMBLE_SCRIPTS = '/scripts';

var zumblePage = {
  output: [],          // what the game printed on stdout
  errors: [],          // and on stderr
  ended: null,         // {code} once the run has ended and its files are stored
  setStatus: function (text) { document.getElementById('status').textContent = text; }
};

// ---------------------------------------------------------------------------------
// Options: the address's query holds the command line's options, without the dashes.
// The page has no window options; a scripted run is on the virtual clock.
(function () {
  var params = new URLSearchParams(location.search);
  var args = ['--headless'];  // lets the parser accept the options of an unattended run
  var bad = null;
  params.forEach(function (value, key) {
    if (key === 'time' || key === 'tick0' || key === 'frames') args.push('--' + key, value);
    else if (key === 'trace') args.push('--trace', ZUMBLE_TRACE);
    else if (key === 'sound-log') args.push('--sound-log', ZUMBLE_SOUND_LOG);
    else if (key === 'autoplay' || key === 'timedemo') args.push('--' + key);
    else if (key === 'script') {
      // The script keeps its name, so the game's messages about it name the right file.
      var name = value.split(/[?#]/)[0].split('/').pop().replace(/[^A-Za-z0-9._-]/g, '_') || 'script.txt';
      zumblePage.scriptUrl = value;
      zumblePage.scriptPath = ZUMBLE_SCRIPTS + '/' + name;
      args.push('--script', zumblePage.scriptPath);
    }
    else if (!bad) bad = key;
  });
  if (bad) {
    zumblePage.badOption = "zumble: the page takes no option '" + bad +
      "' (time, tick0, frames, trace, sound-log, autoplay, timedemo, script)";
  }
  Module['arguments'] = args;
})();

Module['print'] = function (text) { zumblePage.output.push(text); console.log(text); };
Module['printErr'] = function (text) {
  zumblePage.errors.push(text);
  console.error(text);
  if (/^zumble: /.test(text)) zumblePage.setStatus(text.replace(/^zumble: /, ''));
};

// ---------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------
// Sound: each game frame's mix goes to Web Audio (an AudioWorklet, or a script processor
// where there is none). Browsers start a page's sound only after the player's first click
// or key, so until then the mix is dropped; where there is no Web Audio the game is silent.
var zumbleAudio = { context: null, node: null, unlocked: false, fed: 0, loud: 0, queue: [] };
(function () {
  var AudioContextType = window.AudioContext || window.webkitAudioContext;
  if (!AudioContextType) return;
  try {
    zumbleAudio.context = new AudioContextType({ sampleRate: 22050, latencyHint: 'interactive' });
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
    context.audioWorklet.addModule('audio-worklet.js').then(function () {
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
    if (context.state === 'suspended' && !document.hidden) context.resume();
  }
  ['mousedown', 'pointerdown', 'touchend', 'keydown'].forEach(function (type) {
    window.addEventListener(type, unlock, true);
  });
  document.addEventListener('visibilitychange', function () {
    if (document.hidden) context.suspend();
    else if (zumbleAudio.unlocked) context.resume();
  });
})();

// One game frame's mix: `frames` interleaved 16-bit stereo frames.
function zumbleFeedAudio(samples) {
  var context = zumbleAudio.context;
  if (!context || context.state !== 'running' || !zumbleAudio.node) return;
  var chunk = new Float32Array(samples.length);
  var loud = false;
  for (var i = 0; i < samples.length; ++i) {
    chunk[i] = samples[i] / 32768;
    if (samples[i] !== 0) loud = true;
  }
  zumbleAudio.fed += samples.length / 2;
  if (loud) zumbleAudio.loud += 1;
  if (zumbleAudio.node.port) zumbleAudio.node.port.postMessage(chunk, [chunk.buffer]);
  else if (zumbleAudio.queue.length < 16) zumbleAudio.queue.push(chunk);
}

// ---------------------------------------------------------------------------------
// Files: the player's files (hiscoa.sav, error.txt) live in IndexedDB. They are read
// before the game starts and stored again whenever the game asks for a file to reach
// the disk (its fsync waits until they are stored), after it renames one of them, at
// the end of the run and when the page is left; nothing else in the folder is stored.
var zumbleStore = { busy: false, again: false, waiting: [] };

function zumbleIsPlayerFile(path) {
  return /^\/zumble\/(hiscoa\.sav(\.tmp)?|error\.txt)$/.test(path || '');
}

function zumbleStoreFiles() {
  if (zumbleStore.busy) { zumbleStore.again = true; return; }
  zumbleStore.busy = true;
  FS.syncfs(false, function (err) {
    if (err) console.error('zumble: cannot store the saved files: ' + err);
    zumbleStore.busy = false;
    if (zumbleStore.again) { zumbleStore.again = false; zumbleStoreFiles(); return; }
    var waiting = zumbleStore.waiting;
    zumbleStore.waiting = [];
    waiting.forEach(function (done) { done(); });
  });
}

function zumbleFilesStored() {
  return new Promise(function (resolve) {
    if (!zumbleStore.busy) { resolve(); return; }
    zumbleStore.waiting.push(resolve);
  });
}

// Runs before the preloaded data is laid out (the last added runs first), so the data
// lands inside the mounted folder.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  FS.mkdir(ZUMBLE_HOME);
  FS.mount(IDBFS, {}, ZUMBLE_HOME);
  var localSet = IDBFS.getLocalSet;
  IDBFS.getLocalSet = function (mount, callback) {
    localSet(mount, function (err, set) {
      if (set) {
        Object.keys(set.entries).forEach(function (path) {
          if (!zumbleIsPlayerFile(path)) delete set.entries[path];
        });
      }
      callback(err, set);
    });
  };
  var rename = FS.rename;
  FS.rename = function (from, to) {
    var result = rename(from, to);
    if (zumbleIsPlayerFile(FS.lookupPath(to).path)) setTimeout(zumbleStoreFiles, 0);
    return result;
  };
  addRunDependency('zumble-files');
  FS.syncfs(true, function (err) {
    if (err) console.error('zumble: cannot read the saved files: ' + err);
    removeRunDependency('zumble-files');
  });
  if (zumblePage.scriptUrl) {
    addRunDependency('zumble-script');
    FS.mkdir(ZUMBLE_SCRIPTS);
    fetch(zumblePage.scriptUrl).then(function (response) {
      if (!response.ok) throw new Error('HTTP ' + response.status);
      return response.arrayBuffer();
    }).then(function (bytes) {
      FS.writeFile(zumblePage.scriptPath, new Uint8Array(bytes));
    }, function (e) {
      // The game then reports that it cannot read the script, as on the command line.
      console.error('cannot fetch the script ' + zumblePage.scriptUrl + ': ' + e);
    }).then(function () { removeRunDependency('zumble-script'); });
  }
});

window.addEventListener('pagehide', function () { if (!zumblePage.ended) zumbleStoreFiles(); });
document.addEventListener('visibilitychange', function () {
  if (document.hidden && !zumblePage.ended) zumbleStoreFiles();
});

// ---------------------------------------------------------------------------------
// The end of a run: the last frame stays on the canvas; the files are stored, error.txt
// is shown on the console, and the page offers another game.
function zumbleReadText(path) {
  try { return FS.readFile(path, { encoding: 'utf8' }); } catch (e) { return null; }
}

Module['onExit'] = function (code) {
  var errorLog = zumbleReadText(ZUMBLE_HOME + '/error.txt');
  if (errorLog !== null) console.log('error.txt:\n' + errorLog.replace(/\r\n/g, '\n'));
  document.getElementById('canvas').style.cursor = 'default';
  var status = document.getElementById('status');
  if (code === 0 || !status.textContent) {
    zumblePage.setStatus(code === 0 ? 'The game has ended.' : 'The game stopped (code ' + code + ').');
  }
  var timedemo = zumblePage.output.filter(function (line) { return /^frames=/.test(line); }).pop();
  if (timedemo) zumblePage.setStatus(status.textContent + ' ' + timedemo);
  document.getElementById('again').hidden = false;
  zumbleStoreFiles();
  zumbleFilesStored().then(function () { zumblePage.ended = { code: code }; });
};
// The end unwinds the game's stack by a throw that nothing needs to catch.
window.addEventListener('unhandledrejection', function (e) {
  if (e.reason && e.reason.name === 'ExitStatus') e.preventDefault();
});
window.addEventListener('error', function (e) {
  if (e.error && e.error.name === 'ExitStatus') e.preventDefault();
});
Module['onAbort'] = function (what) {
  zumblePage.setStatus('The game stopped: ' + what);
  document.getElementById('again').hidden = false;
  zumblePage.ended = { code: -1, abort: String(what) };
};

// ---------------------------------------------------------------------------------
// For tests and the curious: the run's trace and sound log (as the command line's
// --trace and --sound-log files), and the best-times file as the game would read it.
function zumbleFlushedText(path) {
  if (runtimeInitialized && !runtimeExited && !ABORT) Module['_ZumbleFlushLogs']();
  return zumbleReadText(path);
}
window.zumbleTrace = function () { return zumbleFlushedText(ZUMBLE_TRACE); };
window.zumbleSoundLog = function () { return zumbleFlushedText(ZUMBLE_SOUND_LOG); };
window.zumbleSave = function () {
  try { return FS.readFile(ZUMBLE_HOME + '/hiscoa.sav'); } catch (e) { return null; }
};
// A file the game wrote in its folder, such as a script's shot: its bytes, or null.
window.zumbleFile = function (name) {
  try { return FS.readFile(ZUMBLE_HOME + '/' + name); } catch (e) { return null; }
};
window.zumbleErrorLog = function () { return zumbleReadText(ZUMBLE_HOME + '/error.txt'); };
window.zumbleOutput = function () { return zumblePage.output.join('\n'); };
window.zumbleEnded = function () { return zumblePage.ended; };
window.zumbleAudioState = function () {
  var c = zumbleAudio.context;
  return { state: c ? c.state : 'none', fed: zumbleAudio.fed, loud: zumbleAudio.loud,
           worklet: !!(zumbleAudio.node && zumbleAudio.node.port) };
};

if (zumblePage.badOption) {
  zumblePage.setStatus(zumblePage.badOption);
  console.error(zumblePage.badOption);
  Module['noInitialRun'] = true;
}
