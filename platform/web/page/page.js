// The page around the game: the options from the address, the messages, the end of a
// run and the functions for tests. picture.js, pacing.js, sound.js and files.js hold
// the rest; the game reaches them through the small functions of platform/web/*.cpp.

Module['canvas'] = document.getElementById('canvas');

// Where the game runs: its data (preloaded) and the player's files (kept in IndexedDB)
// share one folder, as beside the game on a desktop.
var ZUMBLE_HOME = '/zumble';
var ZUMBLE_TRACE = '/trace.txt';
var ZUMBLE_SOUND_LOG = '/sound-log.txt';
var ZUMBLE_SCRIPTS = '/scripts';
var ZUMBLE_OPENED = '/opened';
var ZUMBLE_OPENED_REPLAY = ZUMBLE_OPENED + '/replay.zrp';
// A room's racer watched while they play: their round's head, the rest handed over as it
// comes (rooms.js). The game knows the round by this path (web_main.cpp).
var ZUMBLE_LIVE_ROUND = ZUMBLE_OPENED + '/live.zrp';
// A replay the player opened (chosen or dropped) waits here across the page's reload.
var ZUMBLE_OPENED_KEY = 'zumble-opened-replay';
// The run raced (a kept replay's, or one from the address), and a kept one across the reload.
var ZUMBLE_RACE_REPLAY = ZUMBLE_OPENED + '/race.zrp';
var ZUMBLE_RACED_KEY = 'zumble-raced-replay';
// A message for the page's next load, when this one goes back to the game (below).
var ZUMBLE_SAID_KEY = 'zumble-said';

// A touch screen (a phone, a tablet): the page says what a tap does, gives its buttons a
// finger's size and puts the round's and the viewer's buttons beside the picture. Where
// the main pointer is a mouse there is a keyboard, and the page lists the keys.
function zumbleTouch() {
  return !!(window.matchMedia && window.matchMedia('(pointer: coarse)').matches);
}

var zumblePage = {
  output: [],          // what the game printed on stdout
  errors: [],          // and on stderr
  ended: null,         // {code} once the run has ended and its files are stored
  names: {},           // the replays' own names, by where the game reads them
  setStatus: function (text) {
    var status = document.getElementById('status');
    status.textContent = text;
    status.title = text;  // the whole of a message the line cuts
  }
};

// Options: the address's query holds the command line's options, without the dashes.
// The page has no window options; a scripted run is on the virtual clock.
(function () {
  var params = new URLSearchParams(location.search);
  var args = [];
  var bad = null;
  var known = "(time, tick0, frames, trace, sound-log, autoplay, timedemo, script, replay, opened, race, raced, room, watch, live)";
  // A replay's bytes the page left in the session (base64) for its next load, or null.
  function sessionBytes(key) {
    var stored = null;
    try { stored = sessionStorage.getItem(key); } catch (e) {}
    return stored === null ? null : Uint8Array.from(atob(stored), function (c) { return c.charCodeAt(0); });
  }
  params.forEach(function (value, key) {
    if (key === 'time' || key === 'tick0' || key === 'frames') args.push('--' + key, value);
    else if (key === 'trace') args.push('--trace', ZUMBLE_TRACE);
    else if (key === 'sound-log') args.push('--sound-log', ZUMBLE_SOUND_LOG);
    else if (key === 'autoplay' || key === 'timedemo') args.push('--' + key);
    else if (key === 'replay') {
      // A replay from anywhere the browser may fetch it; it only plays, it saves nothing.
      zumblePage.replayUrl = value;
      zumblePage.names[ZUMBLE_OPENED_REPLAY] = decodeURIComponent(value.split(/[?#]/)[0].split('/').pop() || value);
      args.push('--replay', ZUMBLE_OPENED_REPLAY);
    } else if (key === 'opened') {
      zumblePage.openedReplay = sessionBytes(ZUMBLE_OPENED_KEY);
      if (!zumblePage.openedReplay) {
        bad = bad || 'zumble: the opened replay is gone; open it again';
        return;
      }
      zumblePage.names[ZUMBLE_OPENED_REPLAY] = value;
      args.push('--replay', ZUMBLE_OPENED_REPLAY);
    } else if (key === 'race') {
      // A round raced against a replay from anywhere the browser may fetch it; its name
      // (whose run it is) is known once it is fetched (files.js).
      zumblePage.raceUrl = value;
      args.push('--race', ZUMBLE_RACE_REPLAY);
    } else if (key === 'raced') {
      // A kept replay raced: its bytes wait in the session, its name is the value.
      zumblePage.racedReplay = sessionBytes(ZUMBLE_RACED_KEY);
      if (!zumblePage.racedReplay) {
        bad = bad || 'zumble: the raced replay is gone; choose it again';
        return;
      }
      zumblePage.names[ZUMBLE_RACE_REPLAY] = value;
      args.push('--race', ZUMBLE_RACE_REPLAY, '--race-name', value.slice(0, 64));
    } else if (key === 'room' || key === 'watch') {
      // A room of the board that serves the page, and a racer of it to watch (rooms.js):
      // the page's, not the game's.
      if (!/^[0-9a-zA-Z_-]{1,64}$/.test(params.get('room') || '')) bad = bad || "zumble: room= wants the room's code from its link (/play/?room=...)";
    } else if (key === 'live') {
      // The watched racer's round while they play it (rooms.js): the game starts on it
      // once its beginning has come.
      if (!params.get('watch')) {
        bad = bad || 'zumble: live wants a racer to watch (/play/?room=...&watch=NAME&live)';
        return;
      }
      zumblePage.live = true;
      zumblePage.names[ZUMBLE_LIVE_ROUND] = params.get('watch') + '\'s round';
      args.push('--replay', ZUMBLE_LIVE_ROUND);
    } else if (key === 'script') {
      // Only a file of the page's own folder (or below it) is taken.
      if (!/^[\w.-]+(\/[\w.-]+)*$/.test(value) || /(^|\/)\.\.?(\/|$)/.test(value)) {
        bad = bad || "zumble: script= wants a file in the page's folder, not '" + value + "'";
        return;
      }
      // The script keeps its name, so the game's messages about it name the right file.
      zumblePage.scriptUrl = value;
      zumblePage.scriptPath = ZUMBLE_SCRIPTS + '/' + value.split('/').pop();
      args.push('--script', zumblePage.scriptPath);
    } else {
      bad = bad || "zumble: the page takes no option '" + key + "' " + known;
    }
  });
  zumblePage.badOption = bad;
  // --headless lets the parser take the options of an unattended run; a replay watched
  // by the player goes without it, so the viewer takes the player's controls.
  var watching = (zumblePage.replayUrl || params.has('opened') || zumblePage.live) && !params.has('frames') &&
                 !params.has('timedemo');
  if (!watching) args.unshift('--headless');
  zumblePage.watching = !!watching;
  if (watching) document.body.classList.add('watching');
  Module['arguments'] = args;
})();

Module['print'] = function (text) { zumblePage.output.push(text); console.log(text); };
Module['printErr'] = function (text) {
  zumblePage.errors.push(text);
  console.error(text);
  // The player reads a replay's own name, not where the page put it for the game.
  Object.keys(zumblePage.names).forEach(function (path) { text = text.split(path).join(zumblePage.names[path]); });
  if (/^zumble: /.test(text)) zumblePage.setStatus(text.replace(/^zumble: /, ''));
};

// The end of a run: the last frame stays on the canvas; the files are stored, error.txt
// is shown on the console, and the page offers another game.
function zumbleReadText(path) {
  try { return FS.readFile(path, { encoding: 'utf8' }); } catch (e) { return null; }
}

Module['onExit'] = function (code) {
  // An opened replay the game could not play (the page could not ask before it left the
  // game for it): back to the game, which says why by the file's name.
  if (code === 2 && zumblePage.openedReplay) {
    try { sessionStorage.setItem(ZUMBLE_SAID_KEY, document.getElementById('status').textContent); } catch (e) {}
    location.replace(location.pathname);
    return;
  }
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
// The kept replays' names (last.zrp, best-FLIES-SPEED-PLACE.zrp); zumbleFile('replays/NAME')
// gives one's bytes.
window.zumbleReplays = function () {
  try {
    return FS.readdir(ZUMBLE_HOME + '/replays').filter(function (n) { return /\.zrp$/.test(n); }).sort();
  } catch (e) { return []; }
};
window.zumbleErrorLog = function () { return zumbleReadText(ZUMBLE_HOME + '/error.txt'); };
window.zumbleOutput = function () { return zumblePage.output.join('\n'); };
window.zumbleEnded = function () { return zumblePage.ended; };
window.zumbleAudioState = function () {
  var c = zumbleAudio.context;
  // unlocked: the player has clicked or pressed a key; policy: whether this browser lets a
  // page's sound start without that ('allowed', 'allowed-muted', 'disallowed').
  return { state: c ? c.state : 'none', fed: zumbleAudio.fed, loud: zumbleAudio.loud,
           worklet: !!(zumbleAudio.node && zumbleAudio.node.port), unlocked: zumbleAudio.unlocked,
           policy: navigator.getAutoplayPolicy ? navigator.getAutoplayPolicy('audiocontext') : 'unknown' };
};

if (zumblePage.badOption) {
  zumblePage.setStatus(zumblePage.badOption);
  console.error(zumblePage.badOption);
  Module['noInitialRun'] = true;
  zumblePage.ended = { code: 2 };
}

// Replays in the page: a link to download the last round's (always in its place, so the
// controls never move; usable once a round is kept), and a replay to watch, chosen or
// dropped on the page, played after a reload of the page with it.
function zumbleOfferReplay() {
  document.getElementById('download').setAttribute('aria-disabled', 'false');
}

document.getElementById('download').addEventListener('click', function (e) {
  var bytes = window.zumbleFile('replays/last.zrp');
  if (!bytes) { e.preventDefault(); return; }
  var link = e.currentTarget;
  if (link.href) URL.revokeObjectURL(link.href);
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  link.download = window.zumbleReplayFileName(zumbleReplayFacts(bytes));  // replays.js
});

// A replay chosen or dropped is watched as a kept one is (replays.js).
function zumbleOpenReplay(file) {
  if (!file) return;
  file.arrayBuffer().then(function (buffer) { zumbleWatchBytes(new Uint8Array(buffer), file.name); });
}

document.getElementById('open').addEventListener('change', function (e) { zumbleOpenReplay(e.target.files[0]); });
['open-button', 'replays-open'].forEach(function (id) {
  document.getElementById(id).addEventListener('click', function (e) {
    e.currentTarget.blur();
    document.getElementById('open').click();
  });
});
document.addEventListener('dragover', function (e) { e.preventDefault(); });
document.addEventListener('drop', function (e) {
  e.preventDefault();
  if (e.dataTransfer && e.dataTransfer.files.length) zumbleOpenReplay(e.dataTransfer.files[0]);
});
(function () {
  var said = null;
  try { said = sessionStorage.getItem(ZUMBLE_SAID_KEY); sessionStorage.removeItem(ZUMBLE_SAID_KEY); } catch (e) {}
  if (said) zumblePage.setStatus(said);
})();
if (zumblePage.openedReplay || zumblePage.replayUrl) {
  zumblePage.setStatus(zumbleTouch()
    ? 'Watching a replay: the buttons here pause, step and leave; a tap on the bar at the picture\'s foot seeks.'
    : 'Watching a replay: Space pauses, the bar at the picture\'s foot seeks, ? shows every key, Escape stops it.');
}
