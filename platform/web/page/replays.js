// The player's kept replays in the page: the last round's and each best time's (the
// files the game keeps in replays/), listed behind the bar's "Replays" button with mode,
// time and date, each to watch, to download and, where a board serves the page, to send
// to it. Watching a replay reloads the page with it (the game plays one run); leaving a
// round going on for it is asked first.

var ZUMBLE_FLIES = [10, 30, 100, 1000];
var ZUMBLE_NO_TIME = 0xFFFFFFFF;

// What a kept file's header says; null when it is no replay at all.
function zumbleReplayFacts(bytes) {
  if (!bytes || bytes.length < 68 || String.fromCharCode(bytes[0], bytes[1], bytes[2], bytes[3]) !== 'ZRPL') return null;
  var view = new DataView(bytes.buffer, bytes.byteOffset, bytes.length);
  if (bytes[28] > 3 || bytes[29] > 3) return null;
  return { flies: ZUMBLE_FLIES[bytes[28]], speed: bytes[29] + 1, calendar: view.getUint32(32, true),
           timeMs: view.getUint32(48, true) };
}

function zumbleTwo(n) { return (n < 10 ? '0' : '') + n; }
// The day the round was played, in the player's time zone: 2026-12-08.
function zumbleReplayDay(seconds) {
  var d = new Date(seconds * 1000);
  return d.getFullYear() + '-' + zumbleTwo(d.getMonth() + 1) + '-' + zumbleTwo(d.getDate());
}
function zumbleReplayWhen(seconds) {
  var d = new Date(seconds * 1000);
  return zumbleReplayDay(seconds) + ' ' + zumbleTwo(d.getHours()) + ':' + zumbleTwo(d.getMinutes());
}
function zumbleReplayTime(ms) {
  return ms === ZUMBLE_NO_TIME ? 'no time' : Math.floor(ms / 1000) + '.' + String(ms % 1000).padStart(3, '0') + ' s';
}
// zumble-FLIES-SPEED-TIME-DATE.zrp: the time in whole milliseconds ("notime" for a round
// left before its last fly), the day as above. zumble-100-2-7234-2026-12-08.zrp
window.zumbleReplayFileName = function (facts) {
  if (!facts) return 'zumble-replay.zrp';
  return 'zumble-' + facts.flies + '-' + facts.speed + '-' + (facts.timeMs === ZUMBLE_NO_TIME ? 'notime' : facts.timeMs) +
         '-' + zumbleReplayDay(facts.calendar) + '.zrp';
};

// A mode in words, as the game writes it ("10 flies, NORMAL"): asked of the game while it
// runs, and kept for the list after its end.
var zumbleModeNames = {};
function zumbleModeName(flies, speed) {
  if (!zumbleModeNames['10-1'] && Module['_ZumbleModeName'] && runtimeInitialized && !runtimeExited && !ABORT) {
    ZUMBLE_FLIES.forEach(function (f) {
      for (var v = 1; v <= 4; ++v) zumbleModeNames[f + '-' + v] = UTF8ToString(Module['_ZumbleModeName'](f, v));
    });
  }
  return zumbleModeNames[flies + '-' + speed] || flies + ' flies';
}

function zumbleSameBytes(a, b) {
  if (!a || !b || a.length !== b.length) return false;
  for (var i = 0; i < a.length; ++i) if (a[i] !== b[i]) return false;
  return true;
}

// The kept replays, the last round first, then the best times by mode and place; each
// round once: the last round is left out where it is also a best time (the same file).
window.zumbleKeptReplays = function () {
  var order = function (name) {
    var m = /^best-(\d+)-(\d)-(\d)\.zrp$/.exec(name);
    return m ? ZUMBLE_FLIES.indexOf(Number(m[1])) * 100 + Number(m[2]) * 10 + Number(m[3]) : -1;
  };
  var kept = window.zumbleReplays().filter(function (name) { return name === 'last.zrp' || order(name) >= 0; })
    .sort(function (a, b) { return order(a) - order(b); })
    .map(function (name) { return { name: name, bytes: window.zumbleFile('replays/' + name) }; });
  var last = kept.length && kept[0].name === 'last.zrp' ? kept[0].bytes : null;
  if (last && kept.some(function (k) { return k.name !== 'last.zrp' && zumbleSameBytes(k.bytes, last); })) kept.shift();
  return kept
    .map(function (k) {
      var name = k.name, bytes = k.bytes;
      var facts = zumbleReplayFacts(bytes);
      var place = /^best-\d+-\d-(\d)\.zrp$/.exec(name);
      return {
        name: name, what: place ? 'Best ' + place[1] : 'Last round', facts: facts,
        mode: facts ? zumbleModeName(facts.flies, facts.speed) : 'cannot be read',
        time: facts ? zumbleReplayTime(facts.timeMs) : '', date: facts ? zumbleReplayWhen(facts.calendar) : '',
        download: window.zumbleReplayFileName(facts)
      };
    });
};

// Why a replay's bytes cannot be played, as the game reads them (web_main.cpp), or null
// when they can; undefined while the game is not there to ask.
var ZUMBLE_OPENED_CHECK = ZUMBLE_OPENED + '/check.zrp';
function zumbleReplayFault(bytes) {
  if (!zumbleGameRunning() || !Module['_ZumbleReplayFault']) return undefined;  // screen.js
  zumbleMakeOpened();  // files.js
  FS.writeFile(ZUMBLE_OPENED_CHECK, bytes);
  var why = Module['_ZumbleReplayFault']();
  try { FS.unlink(ZUMBLE_OPENED_CHECK); } catch (e) {}
  return why ? UTF8ToString(why) : null;
}

// Watching (or racing): the bytes wait in the session across the reload. A file the game
// cannot play is refused first, by its name, and the game goes on where it was; a round
// going on is left only when the player says so.
function zumbleWatchBytes(bytes, name, race) {
  var fault = zumbleReplayFault(bytes);
  if (fault === undefined && !zumblePage.ended) {
    // The game is still loading: asked once it runs.
    setTimeout(function () { zumbleWatchBytes(bytes, name, race); }, 100);
    return;
  }
  if (fault) {
    document.getElementById('ask').hidden = true;
    zumblePage.setStatus(name + ' is not a replay this game can play: ' + fault + '. The game goes on.');
    return;
  }
  var go = function () {
    var text = '';
    for (var i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    try {
      sessionStorage.setItem(race ? ZUMBLE_RACED_KEY : ZUMBLE_OPENED_KEY, btoa(text));
    } catch (e) {
      zumblePage.setStatus('This replay is too large to open here.');
      return;
    }
    zumbleKeepRound();
    zumbleStoreFiles();
    zumbleFilesStored().then(function () { location.search = (race ? '?raced=' : '?opened=') + encodeURIComponent(name); });
  };
  zumbleAskToLeaveRound((race ? 'race ' : 'watch ') + name, race ? 'Race' : 'Watch', go);
}

// A round going on is left (for a replay, or a racer to watch) only when the player says
// so: `go` runs at once when there is none, else after the player's yes.
function zumbleAskToLeaveRound(what, yes, go) {
  var inRound = runtimeInitialized && !runtimeExited && !ABORT && Module['_ZumbleInRound'] && Module['_ZumbleInRound']();
  if (!inRound) { go(); return; }
  var ask = document.getElementById('ask');
  document.getElementById('ask-text').textContent = 'A round is going on. Leave it to ' + what + '?';
  ask.hidden = false;
  document.getElementById('ask-yes').textContent = yes;
  document.getElementById('ask-yes').onclick = function (e) { e.currentTarget.blur(); ask.hidden = true; go(); };
  document.getElementById('ask-no').onclick = function (e) { e.currentTarget.blur(); ask.hidden = true; };
}

function zumbleDownloadLink(bytes, fileName, text) {
  var link = document.createElement('a');
  link.textContent = text;
  link.download = fileName;
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  return link;
}

var zumbleReplayLinks = [];
function zumbleListReplays() {
  var list = document.getElementById('replays-list');
  if (!list || document.getElementById('replays').hidden) return;
  zumbleReplayLinks.forEach(function (href) { URL.revokeObjectURL(href); });
  zumbleReplayLinks = [];
  list.textContent = '';
  var kept = typeof FS === 'undefined' || !runtimeInitialized ? [] : window.zumbleKeptReplays();
  if (!kept.length) {
    var none = document.createElement('li');
    none.textContent = 'No replays kept yet: every round you play is kept here (the last one and each best time).';
    list.appendChild(none);
    return;
  }
  kept.forEach(function (entry) {
    var item = document.createElement('li');
    item.dataset.name = entry.name;
    var facts = document.createElement('span');
    facts.className = 'facts';
    facts.textContent = [entry.what, entry.mode, entry.time, entry.date].filter(Boolean).join(' · ');
    item.appendChild(facts);
    var bytes = window.zumbleFile('replays/' + entry.name);
    var actions = document.createElement('span');
    actions.className = 'actions';
    // A button of the row: it gives the keys back to the game once pressed (Space and
    // Enter belong to the game, not to the button).
    function button(className, text, act) {
      var b = document.createElement('button');
      b.type = 'button';
      b.className = className;
      b.textContent = text;
      b.addEventListener('click', function (e) { e.currentTarget.blur(); act(); });
      actions.appendChild(b);
    }
    var timed = entry.facts && entry.facts.timeMs !== ZUMBLE_NO_TIME;
    if (entry.facts) button('watch', 'Watch', function () { zumbleWatchBytes(bytes, entry.name); });
    else actions.appendChild(document.createElement('span'));  // keeps Download in its column
    // A round of its mode against it: its time at each swat is the reference.
    if (timed) button('race', 'Race', function () { zumbleWatchBytes(bytes, entry.name, true); });
    else actions.appendChild(document.createElement('span'));
    if (entry.facts) {
      button('save-clip', 'Save clip', function () {
        sessionStorage.setItem(ZUMBLE_CLIP_KEY, '1');
        zumbleWatchBytes(bytes, entry.name);
      });
    }
    var link = zumbleDownloadLink(bytes, entry.download, 'Download');
    link.className = 'download';
    zumbleReplayLinks.push(link.href);
    actions.appendChild(link);
    if (zumbleBoard.present && timed) button('submit', 'Submit', function () { zumbleBoardSubmitKept(bytes, entry); });
    item.appendChild(actions);
    list.appendChild(item);
  });
}

// A change of the kept files (a round saved, another tab's files read again) shows in
// the list when it is open, once the game's frame is over.
var zumbleReplaysTimer = 0;
function zumbleReplaysChanged() {
  if (zumbleReplaysTimer) return;
  zumbleReplaysTimer = setTimeout(function () { zumbleReplaysTimer = 0; zumbleListReplays(); }, 0);
}

document.getElementById('replays-button').addEventListener('click', function (e) {
  e.currentTarget.blur();  // Space and Enter belong to the game, not to the button
  var panel = document.getElementById('replays');
  panel.hidden = !panel.hidden;
  zumbleListReplays();
});
document.getElementById('replays-close').addEventListener('click', function () {
  document.getElementById('replays').hidden = true;
});

// After watching, "Play again" starts a game (the page's own address, without the replay).
if (zumblePage.openedReplay || zumblePage.replayUrl) document.getElementById('again').href = location.pathname;
