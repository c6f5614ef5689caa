// The best-times board: when the page is served by zumble-board (at /play/ of the
// same origin), a finished round's replay can be sent to it from the bar. The game
// itself sends nothing; only the player's click does. Served any other way, nothing
// here shows.
var zumbleBoard = { present: false, lastSeen: null, replay: null };
// Sends a kept replay from the list; only where a board serves the page.
var zumbleBoardSubmitKept = function () {};

// The round's time while its results board shows, else -1.
function zumbleBoardRoundTime() {
  if (typeof runtimeInitialized === 'undefined' || !runtimeInitialized || runtimeExited || ABORT ||
      !Module['_ZumbleRoundTime']) return -1;
  return Module['_ZumbleRoundTime']();
}

// While the results board shows, the round so far is kept (by the game, at its next
// picture): it has its time, and the board plays it to that time. Resolves once kept.
function zumbleBoardKeepRound() {
  if (zumbleBoardRoundTime() < 0 || !Module['_ZumbleKeepRoundAsk']) return Promise.resolve();
  Module['_ZumbleKeepRoundAsk'](1);
  return new Promise(function (resolve) {
    var tries = 0;
    (function wait() {
      var live = runtimeInitialized && !runtimeExited && !ABORT;
      if (!live || !Module['_ZumbleKeepRoundAsk'](0) || ++tries > 500) resolve();
      else setTimeout(wait, 20);
    })();
  });
}

// The kept replay of the last round, or null when the round has no time (left early).
function zumbleBoardLastReplay() {
  var bytes = window.zumbleFile('replays/last.zrp');
  if (!bytes || bytes.length < 64) return null;
  var time = new DataView(bytes.buffer, bytes.byteOffset, bytes.length).getUint32(48, true);
  return time === 0xFFFFFFFF ? null : bytes;
}

function zumbleBoardSame(a, b) {
  if (!a || !b || a.length !== b.length) return false;
  for (var i = 0; i < a.length; ++i) if (a[i] !== b[i]) return false;
  return true;
}

// The rounds sent from this browser, by what their replay's header says (mode, seed and
// time: the round's own, whichever of its files was sent), with the place the board gave.
var ZUMBLE_BOARD_SENT = 'zumble-board-sent';
function zumbleBoardRoundOf(bytes) {
  if (!bytes || bytes.length < 64) return '';
  var view = new DataView(bytes.buffer, bytes.byteOffset, bytes.length);
  return bytes[28] + '-' + bytes[29] + '-' + view.getUint32(32, true) + '-' + view.getUint32(48, true);
}
function zumbleBoardSentList() {
  try { return JSON.parse(localStorage.getItem(ZUMBLE_BOARD_SENT) || '{}') || {}; } catch (e) { return {}; }
}
window.zumbleBoardSent = function (bytes) { return zumbleBoardSentList()[zumbleBoardRoundOf(bytes)] || null; };
function zumbleBoardKeepSent(bytes, answer) {
  var sent = zumbleBoardSentList(), round = zumbleBoardRoundOf(bytes);
  if (!round) return;
  // The board's page of the run's mode, where the player stands.
  var board = String(answer.board || '').replace(/^\/api\//, '/') + '?name=' + encodeURIComponent(answer.name);
  sent[round] = { rank: answer.rank, board: board, at: Date.now() };
  var rounds = Object.keys(sent).sort(function (a, b) { return sent[b].at - sent[a].at; });
  rounds.slice(200).forEach(function (r) { delete sent[r]; });
  try { localStorage.setItem(ZUMBLE_BOARD_SENT, JSON.stringify(sent)); } catch (e) {}
}
// "sent, place 3", linked to the board.
function zumbleBoardSentLink(sent) {
  var link = document.createElement('a');
  link.className = 'sent';
  link.href = sent.board;
  link.textContent = 'sent, place ' + sent.rank;
  return link;
}

// Names' keys, kept in this browser: the first run under a name gets the name's key
// from the board, and every later run under it must carry it. Kept under the name as
// the page folds it (the board folds look-alikes further; case and compatibility forms
// are what a player retyping their name changes).
var ZUMBLE_BOARD_KEYS = 'zumble-board-keys';
function zumbleBoardFold(name) { return name.normalize('NFKC').toLowerCase().trim().replace(/ +/g, ' '); }
function zumbleBoardKeys() {
  try { return JSON.parse(localStorage.getItem(ZUMBLE_BOARD_KEYS) || '{}') || {}; } catch (e) { return {}; }
}
window.zumbleBoardKey = function (name) {
  var entry = zumbleBoardKeys()[zumbleBoardFold(name)];
  return entry ? entry.key : '';
};
window.zumbleBoardKeepKey = function (name, key) {
  var keys = zumbleBoardKeys();
  if (key) keys[zumbleBoardFold(name)] = { name: name, key: key };
  else delete keys[zumbleBoardFold(name)];
  try { localStorage.setItem(ZUMBLE_BOARD_KEYS, JSON.stringify(keys)); } catch (e) { return false; }
  return true;
};

// The board's answer in words, for the player.
window.zumbleBoardSays = function (status, b) {
  b = b || {};
  switch (b.error) {
    case 'desync': return 'The replay does not play back as it was recorded (it parts from the round at frame ' + b.frame + ').';
    case 'invalid': return 'The replay breaks a rule of the game: ' + b.rule + '.';
    case 'unreadable': return 'The board cannot read this file as a replay.';
    case 'autoplay': return 'Rounds played by the game\'s own autoplay do not go on the board.';
    case 'duplicate': return 'This round is on the board already (run ' + b.run + '): a round counts once, whoever sends it.';
    case 'name_taken': return 'The name ' + b.name + ' belongs to another player. If it is yours, give its key under "Key".';
    case 'bad_key': return 'The key kept here is not the key of ' + b.name + '. Give the right one under "Key".';
    case 'held': return 'The board kept the run, but holds it until an operator has looked at it' +
                        (b.key ? '; the name is yours if the run is approved (its key is kept here).' : '.');
    case 'awaiting_review': return 'Your time is kept and awaiting a moderator\'s review: it would be place ' + b.rank +
                                   ' of its board, and shows there once a moderator approves it' +
                                   (b.key ? '; the name is yours then (its key is kept here).' : '.');
    case 'too_many_held': return 'The board holds as many runs from here as it keeps for an operator to look at; send more once they are reviewed.';
    case 'unfiled': return 'The board kept the run; it goes on a board once the board\'s game says whether Enter or Space changed the round\'s pace.';
    case 'banned': return 'The board takes no runs from this ' + b.what + (b.reason ? ': ' + b.reason : '') + '.';
    case 'bad_name': return 'A name is 1 to 16 letters, digits, spaces or - _ .';
    case 'rate_limited': return 'Too many runs sent from here just now; wait a little and send it again.';
    case 'busy': case 'database': case 'unavailable': return 'The board is busy; send it again in a moment.';
    case 'too_large': return 'The replay is larger than the board takes.';
  }
  return b.message || b.error || 'HTTP ' + status;
};

// Sends the last round, or the replay given; resolves to {status, body} (the board's
// JSON answer). A key the board gives is kept for the name.
window.zumbleBoardSubmit = function (name, replay) {
  if (replay) return zumbleBoardSend(name, replay);
  return zumbleBoardKeepRound().then(function () { return zumbleBoardSend(name, zumbleBoardLastReplay()); });
};
function zumbleBoardSend(name, bytes) {
  if (!bytes) return Promise.resolve({ status: 0, body: { error: 'no finished round to send' } });
  var headers = { 'Content-Type': 'application/octet-stream' };
  var key = window.zumbleBoardKey(name);
  if (key) headers.Authorization = 'Bearer ' + key;
  return fetch('/api/runs?name=' + encodeURIComponent(name), {
    method: 'POST', headers: headers, body: bytes
  }).then(function (response) {
    return response.json().then(function (body) { return { status: response.status, body: body }; },
                                function () { return { status: response.status, body: {} }; });
  }, function (e) { return { status: 0, body: { error: String(e) } }; }).then(function (answer) {
    if (answer.body && answer.body.key) window.zumbleBoardKeepKey(name, answer.body.key);
    if (answer.status === 200 || answer.status === 201) zumbleBoardKeepSent(bytes, answer.body);
    return answer;
  });
}

(function () {
  if (!/^\/play\//.test(location.pathname)) return;
  var bar = document.getElementById('bar');
  var form = document.createElement('form');
  form.id = 'board';
  form.hidden = true;
  form.innerHTML = '<input id="board-name" maxlength="40" placeholder="Your name" required> ' +
      '<button type="submit" id="board-submit">Submit to the board</button><span id="board-sent"></span> ' +
      '<button type="button" id="board-key-open">Key</button> <a href="/">Boards</a>' +
      '<span id="board-key" hidden> <input id="board-key-text" size="24" autocomplete="off" ' +
      'spellcheck="false" placeholder="the name\'s key"> ' +
      '<button type="button" id="board-key-copy">Copy</button> ' +
      '<button type="button" id="board-key-use">Use this key</button></span>';
  bar.appendChild(form);
  var nameInput = form.querySelector('#board-name');
  var submitButton = form.querySelector('#board-submit');
  var sentNote = form.querySelector('#board-sent');
  // The form offers the round, or says it was sent (with its place, linked to the board).
  function offer(sent) {
    submitButton.hidden = !!sent;
    sentNote.textContent = '';
    if (sent) sentNote.appendChild(zumbleBoardSentLink(sent));
    form.hidden = false;
  }
  var keyPanel = form.querySelector('#board-key');
  var keyText = form.querySelector('#board-key-text');
  // Keys typed into the form are the form's: this listener is on the window before the
  // game's own (which takes Space, Enter and Escape), and stops it for them.
  window.addEventListener('keydown', function (e) {
    if (e.target === nameInput || e.target === keyText) e.stopImmediatePropagation();
  }, true);
  try { nameInput.value = localStorage.getItem('zumble-board-name') || ''; } catch (e) {}

  // The key panel: the name's key to copy to another device, or one to paste from it.
  function showKey() { keyText.value = window.zumbleBoardKey(nameInput.value.trim()); }
  form.querySelector('#board-key-open').addEventListener('click', function () {
    keyPanel.hidden = !keyPanel.hidden;
    showKey();
  });
  nameInput.addEventListener('input', function () { if (!keyPanel.hidden) showKey(); });
  form.querySelector('#board-key-copy').addEventListener('click', function () {
    keyText.select();
    var done = function () { zumblePage.setStatus('The key is copied: paste it under "Key" on your other device.'); };
    if (navigator.clipboard) navigator.clipboard.writeText(keyText.value).then(done, function () { document.execCommand('copy'); done(); });
    else { document.execCommand('copy'); done(); }
  });
  form.querySelector('#board-key-use').addEventListener('click', function () {
    var name = nameInput.value.trim(), key = keyText.value.trim();
    if (!name) { zumblePage.setStatus('Write the name first, then its key.'); return; }
    window.zumbleBoardKeepKey(name, key);
    zumblePage.setStatus(key ? 'The key of ' + name + ' is kept in this browser.' : 'No key kept for ' + name + '.');
  });

  // A kept replay from the list (replays.js) goes under the form's name; without one,
  // the form asks for it first and sends that replay.
  zumbleBoardSubmitKept = function (bytes, entry) {
    zumbleBoard.replay = bytes;
    form.hidden = false;
    if (!nameInput.value.trim()) {
      zumblePage.setStatus('Write your name, then "Submit to the board" sends ' + entry.what.toLowerCase() + ' (' +
                           entry.mode + ', ' + entry.time + ').');
      nameInput.focus();
      return;
    }
    form.requestSubmit();
  };

  form.addEventListener('submit', function (e) {
    e.preventDefault();
    var name = nameInput.value.trim();
    try { localStorage.setItem('zumble-board-name', name); } catch (err) {}
    submitButton.disabled = true;
    var replay = zumbleBoard.replay;
    zumbleBoard.replay = null;
    window.zumbleBoardSubmit(name, replay).then(function (answer) {
      submitButton.disabled = false;
      var b = answer.body || {};
      if (answer.status === 201 || answer.status === 200) {
        zumblePage.setStatus('On the board: ' + (b.time_ms / 1000).toFixed(3) + ' s, place ' +
                             b.rank + ' of ' + b.mode.flies + ' flies, ' + (b.mode.speed_word || 'speed ' + b.mode.speed) +
                             (b.keys > 0 ? ', with Enter/Space' : '') + '.' +
                             (b.key ? ' The name ' + b.name + ' is yours now; its key is kept in this ' +
                                      'browser ("Key" shows it, to copy to another device).' : ''));
        if (!replay) offer(window.zumbleBoardSent(zumbleBoard.lastSeen = zumbleBoardLastReplay()));
        zumbleMarkSentInList();
      } else {
        // A time awaiting review is not refused: it is said as it is, without "Not".
        zumblePage.setStatus((b.error === 'awaiting_review' ? '' : 'Not on the board: ') +
                             window.zumbleBoardSays(answer.status, b));
        if (b.error === 'held' || b.error === 'awaiting_review') form.hidden = true;
      }
    });
  });

  // The kept replays' list (replays.js): a round sent already says so instead of
  // offering Submit again.
  function zumbleMarkSentInList() {
    var buttons = document.querySelectorAll('#replays-list li[data-name] button.submit');
    Array.prototype.forEach.call(buttons, function (button) {
      var sent = window.zumbleBoardSent(window.zumbleFile('replays/' + button.closest('li').dataset.name));
      if (sent) button.replaceWith(zumbleBoardSentLink(sent));
    });
  }
  var list = document.getElementById('replays-list');
  if (list && window.MutationObserver) new MutationObserver(zumbleMarkSentInList).observe(list, { childList: true });

  // A round finished in this visit shows the form as soon as its results board does (a
  // last.zrp kept from an earlier visit does not: the player may have sent it then).
  fetch('/api/boards').then(function (response) {
    if (!response.ok) return;
    zumbleBoard.present = true;
    zumbleReplaysChanged();  // the list offers to send its replays
    var primed = false, timed = false;
    setInterval(function () {
      if (typeof FS === 'undefined' || !runtimeInitialized) return;
      var onBoard = zumbleBoardRoundTime() >= 0;
      if (onBoard && !timed) offer(null);
      timed = onBoard;
      if (onBoard) return;
      var bytes = window.zumbleFile('replays/last.zrp');
      if (!primed) {
        primed = true;
        zumbleBoard.lastSeen = bytes;
        return;
      }
      if (!bytes || zumbleBoardSame(bytes, zumbleBoard.lastSeen)) return;
      zumbleBoard.lastSeen = bytes;
      // A round left before its last fly has nothing to send.
      if (zumbleBoardLastReplay()) offer(window.zumbleBoardSent(bytes));
      else form.hidden = true;
    }, 500);
  }, function () {});

  // A run watched from the board: whose it is, its place and time on the viewer's top
  // line, and the way back to the board's page it came from when it is left.
  var run = /^\/api\/runs\/(\d+)\/replay$/.exec(zumblePage.replayUrl || '');
  if (!run) return;
  fetch('/api/runs/' + run[1]).then(function (response) { return response.ok ? response.json() : null; })
    .then(function (b) {
      if (!b) return;
      zumbleViewer.about = b.name + ', place ' + b.rank + ', ' + (b.time_ms / 1000).toFixed(3) + ' s';
      var from = document.referrer ? new URL(document.referrer) : null;
      var back = from && from.origin === location.origin && !/^\/play\//.test(from.pathname) ? from.href : '/';
      var again = document.getElementById('again');
      again.href = back;
      again.textContent = 'Back to the board';
      // Leaving the viewer goes back there, once the page's files are stored.
      var exit = Module['onExit'];
      Module['onExit'] = function (code) {
        if (exit) exit(code);
        if (code === 0) zumbleFilesStored().then(function () { location.assign(back); });
      };
    }, function () {});
})();
