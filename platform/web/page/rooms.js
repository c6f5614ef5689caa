// Racing friends, where zumble-board serves the page (/play/): "Race with friends" makes
// a room and leads to its link; /play/?room=ID asks a name (and the name's key, if it
// has one), joins, and hands the room's connection to the game, which shows the room's
// mode, says the player is ready when they press Start and plays the board's flies. The
// room is shown beside the picture from the states the board sends (room_panel.js); the
// page follows the room by itself until the game is in it. The creator's pass (kept in
// this browser) starts the race without waiting for everyone.
var zumbleRoom = {
  id: null, watch: null, state: null, me: '', racer: '', host: '',
  follower: 0,          // the page's own socket, while the game is not in the room
  followTries: 0,
  entered: false,       // the game has the room's connection
  gameLink: 0,          // the game's socket, once the page has seen it
  said: ''              // what the connection line says
};
var ZUMBLE_ROOM_HOSTS = 'zumble-room-hosts';
var ZUMBLE_ROOM_RACER = 'zumble-room-racer-';

function zumbleRoomSocketBase() {
  return (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host;
}
function zumbleRoomApi(path) { return '/api/rooms/' + encodeURIComponent(zumbleRoom.id) + path; }

// A request to the board: resolves to {status, body} (status 0 when nothing came back).
function zumbleRoomAsk(method, path, body) {
  var options = { method: method, headers: {} };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  return fetch(path, options).then(function (response) {
    return response.json().then(function (b) { return { status: response.status, body: b || {} }; },
                                function () { return { status: response.status, body: {} }; });
  }, function (e) { return { status: 0, body: { error: 'network', message: String(e) } }; });
}

// The board's refusals of room actions, in words.
function zumbleRoomSays(answer) {
  var b = answer.body || {};
  switch (b.error) {
    case 'no_room': return 'This room is over, or the link is not a room\'s. "Race with friends" makes a new one.';
    case 'room_full': return 'The room is full (8 racers).';
    case 'name_in_room': return 'Someone in the room has that name already: choose another.';
    case 'name_taken': return 'The name ' + (b.name || '') + ' belongs to a player with a key: give its key, or choose another name.';
    case 'bad_key': return 'That is not the key of this name.';
    case 'too_many_rooms': return 'You have made as many rooms as the board keeps open for one player; use one of them.';
    case 'busy': return 'The board is busy; try again in a moment.';
    case 'network': return 'The board does not answer; check the connection and try again.';
  }
  if (answer.status === 0) return 'The board does not answer; check the connection and try again.';
  return window.zumbleBoardSays ? window.zumbleBoardSays(answer.status, b) : (b.message || 'HTTP ' + answer.status);
}

function zumbleRoomHosts() {
  try { return JSON.parse(localStorage.getItem(ZUMBLE_ROOM_HOSTS) || '{}') || {}; } catch (e) { return {}; }
}
function zumbleRoomKeepHost(id, pass) {
  var hosts = zumbleRoomHosts();
  hosts[id] = { pass: pass, at: Date.now() };
  // The last few rooms made here: a room nobody is in ends after minutes anyway.
  Object.keys(hosts).sort(function (a, b) { return hosts[b].at - hosts[a].at; }).slice(8)
    .forEach(function (old) { delete hosts[old]; });
  try { localStorage.setItem(ZUMBLE_ROOM_HOSTS, JSON.stringify(hosts)); } catch (e) {}
}

function zumbleRoomSay(text) {
  zumbleRoom.said = text;
  var line = document.getElementById('room-conn');
  line.textContent = text;
  line.hidden = !text;
}

// Each state the board sends, by whichever socket: the panel, and the host's and the
// rematch's buttons.
function zumbleRoomShow(state) {
  if (!zumbleRoom.id || state.id !== zumbleRoom.id) return;
  zumbleRoom.state = state;
  // The mode in the words of the game's mode screen (the speeds' names, as the making form has them).
  var speed = document.querySelector('#rooms-speed option[value="' + Number(state.speed) + '"]');
  document.getElementById('room-title').textContent = (state.name ? state.name + ': ' : '') + state.flies + ' flies, ' +
                                                      (speed ? speed.textContent : 'speed ' + state.speed);
  zumbleRoomDraw(state, zumbleRoom.me);
  var lobby = state.state === 'lobby';
  document.getElementById('room-start').hidden = !(zumbleRoom.host && lobby && state.racers.length > 0);
  var mine = state.racers.filter(function (r) { return r.name === zumbleRoom.me; })[0];
  document.getElementById('room-rematch').hidden =
    !(zumbleRoom.racer && lobby && mine && !mine.ready && state.races && state.races.length > 0);
}
zumbleRoomListeners.onState = function (state) { zumbleRoomShow(state); };

// The sockets' news: the game's connection lost is said (the game connects again by
// itself and resumes its round), and the page's own following comes back after a pause.
zumbleRoomListeners.onLink = function (id, link) {
  if (!zumbleRoom.id) return;
  var game = /[?&]racer=/.test(link.url);
  if (game) zumbleRoom.gameLink = id;
  if (link.state === 1) {
    if (game && zumbleRoom.follower) {
      zumbleRoomLinkClose(zumbleRoom.follower);
      zumbleRoom.follower = 0;
    }
    zumbleRoom.followTries = 0;
    zumbleRoomSay('');
    return;
  }
  if (link.state !== 2) return;
  if (link.code === 1001) {
    zumbleRoomSay(/stopping/.test(link.reason) ? 'The board has stopped: the room is over.' : 'The room has ended.');
  } else if (link.code === 1008) {
    zumbleRoomSay('The board ended the race for you: ' + (ZUMBLE_ROOM_REASONS[link.reason] || link.reason) + '.');
  } else if (game) {
    zumbleRoomSay('The connection to the room is lost: connecting again\u2026 The round goes on and is kept.');
  } else if (id === zumbleRoom.follower) {
    zumbleRoomSay('The connection to the room is lost: connecting again\u2026');
  }
  if (id === zumbleRoom.follower && link.code !== 1001) {
    zumbleRoomLinkClose(id);
    zumbleRoom.follower = 0;
    var wait = Math.min(30000, 1000 * Math.pow(2, zumbleRoom.followTries++));
    setTimeout(zumbleRoomFollow, wait);
  }
};

// A spectator's page (watch=NAME) gets that racer's round as they send it: a header as
// it began ('h', which also begins each new race), the coded frames ('f'), then the
// header as it ended and the rest of the file ('e'). Put together they are the round's
// replay. At most what a replay may hold is kept. Once a round begins the page offers to
// watch it as it is played ("Watch NAME live"), and once it has ended, whole.
var ZUMBLE_ROOM_HEADER = 68, ZUMBLE_ROOM_MOST = 1 << 20;
var zumbleRoomWatched = { frames: [], size: 0, ok: false, replay: null };
zumbleRoomListeners.onRecord = function (bytes) {
  var w = zumbleRoomWatched, kind = String.fromCharCode(bytes[0]);
  if (kind === 'h') {
    zumbleRoomWatched = { frames: [], size: 0, ok: bytes.length === 1 + ZUMBLE_ROOM_HEADER, replay: null };
  } else if (kind === 'f' && w.ok && !w.replay) {
    w.size += bytes.length - 1;
    if (w.size > ZUMBLE_ROOM_MOST) w.ok = false;
    else w.frames.push(bytes.slice(1));
  } else if (kind === 'e' && w.ok && !w.replay && bytes.length > 1 + ZUMBLE_ROOM_HEADER &&
             w.size + bytes.length <= ZUMBLE_ROOM_MOST) {
    // The file: the final header, the frames, then the tail.
    var replay = new Uint8Array(w.size + bytes.length - 1), at = ZUMBLE_ROOM_HEADER;
    replay.set(bytes.subarray(1, 1 + ZUMBLE_ROOM_HEADER), 0);
    w.frames.forEach(function (f) { replay.set(f, at); at += f.length; });
    replay.set(bytes.subarray(1 + ZUMBLE_ROOM_HEADER), at);
    w.replay = replay;
  }
  if (zumbleRoomLive.on) zumbleRoomLiveRecord(bytes, kind);
  zumbleRoomWatchOffer();
};

// The watch button: the round whole once it has ended, else live while it goes on; on
// the page that watches live, only another round of the racer.
function zumbleRoomWatchOffer() {
  var button = document.getElementById('room-watch'), w = zumbleRoomWatched, live = zumbleRoomLive;
  var text = '';
  if (live.on) text = live.newRound ? 'Watch ' + zumbleRoom.watch + '\'s new round live' : '';
  else if (w.replay) text = 'Watch ' + zumbleRoom.watch + '\'s round';
  else if (w.ok) text = 'Watch ' + zumbleRoom.watch + ' live';
  button.textContent = text;
  button.hidden = !text;
}

// Watching the racer while they play (?room=ID&watch=NAME&live): the game starts on the
// round's head (its header and the frames so far, at page.js's ZUMBLE_LIVE_ROUND) once
// the header has come, and takes each later record as it comes (web_main.cpp); it
// begins a second behind and waits where the frames end. Records that come before the
// game takes them wait here, in order.
var zumbleRoomLive = {
  on: false, header: null, parts: [], preRun: false, started: false,
  queue: [], timer: 0, newRound: false, over: false
};
function zumbleRoomLiveRecord(bytes, kind) {
  var live = zumbleRoomLive;
  if (live.started && kind === 'h' && !live.newRound && !zumbleSameBytes(bytes.subarray(1), live.header)) {  // replays.js
    zumbleRoomLiveNewRound();
    return;
  }
  if (live.over) return;
  if (!live.started) {
    // Before the game starts the head is put together: the newest round's (the board sends
    // a connection made anew everything again), its frames so far; its end waits.
    if (kind === 'h') { live.header = bytes.slice(1); live.parts = []; live.queue = []; }
    else if (kind === 'f' && live.header) live.parts.push(bytes.slice(1));
    else if (kind === 'e' && live.header) live.queue.push(bytes.slice());
    zumbleRoomLiveStart();
    return;
  }
  live.queue.push(bytes.slice());
  zumbleRoomLiveFeed();
}
function zumbleRoomLiveStart() {
  var live = zumbleRoomLive;
  if (live.started || !live.preRun || !live.header) return;
  var size = live.header.length;
  live.parts.forEach(function (p) { size += p.length; });
  if (size > ZUMBLE_ROOM_MOST) { zumbleRoomLiveOver(zumbleRoom.watch + '\'s round is too long to watch as it is played.'); return; }
  var head = new Uint8Array(size), at = 0;
  [live.header].concat(live.parts).forEach(function (p) { head.set(p, at); at += p.length; });
  live.parts = [];
  zumbleMakeOpened();  // files.js
  FS.writeFile(ZUMBLE_LIVE_ROUND, head);
  live.started = true;
  zumblePage.setStatus('Watching ' + zumbleRoom.watch + '\'s round as it is played, a moment behind. Space pauses, the bar seeks, Escape stops.');
  removeRunDependency('zumble-live');
  zumbleRoomLiveFeed();
}
// Hands the waiting records to the game, oldest first; tried again shortly while the game
// is not ready for them.
function zumbleRoomLiveFeed() {
  var live = zumbleRoomLive;
  while (live.queue.length && !live.over) {
    if (!zumbleGameRunning() || !Module['_ZumbleLiveRecord']) break;
    var record = live.queue[0];
    var room = Module['_ZumbleLiveRecordBufferSize']();
    if (record.length > room && record[0] !== 0x66) {
      zumbleRoomLiveOver(zumbleRoom.watch + '\'s round cannot be followed further: a record too long.');
      return;
    }
    // Frames may be cut anywhere: a long record goes in pieces.
    var piece = record.length > room ? record.subarray(0, room) : record;
    HEAPU8.set(piece, Module['_ZumbleLiveRecordBuffer']());
    var said = Module['_ZumbleLiveRecord'](piece.length);
    if (said < 0) break;
    if (piece !== record) {
      var rest = new Uint8Array(record.length - piece.length + 1);
      rest[0] = 0x66;
      rest.set(record.subarray(piece.length), 1);
      live.queue[0] = rest;
    } else {
      live.queue.shift();
    }
    if (said === 2) {
      zumbleRoomLiveNewRound();
    } else if (said === 0) {
      var why = Module['_ZumbleLiveFault']();
      zumbleRoomLiveOver(zumbleRoom.watch + '\'s round cannot be followed further: ' + (why ? UTF8ToString(why) : 'it is broken') + '.');
    }
  }
  if (live.queue.length && !live.over && !live.timer && !zumblePage.ended) {
    live.timer = setTimeout(function () { live.timer = 0; zumbleRoomLiveFeed(); }, 100);
  }
  if (live.over) live.queue = [];
}
// The racer began another round: the one watched stays as far as it came (and plays on
// to there), the new one is offered (a new page: the board sends it from its start).
function zumbleRoomLiveNewRound() {
  zumbleRoomLive.newRound = true;
  zumbleRoomLiveOver(zumbleRoom.watch + ' has begun another round: the button beside the picture watches it.');
}
function zumbleRoomLiveOver(text) {
  zumbleRoomLive.over = true;
  zumbleRoomLive.queue = [];
  zumblePage.setStatus(text);
}
if (zumblePage.live) {
  zumbleRoomLive.on = true;
  Module['preRun'] = Module['preRun'] || [];
  Module['preRun'].push(function () {
    // The game waits for the round's beginning.
    addRunDependency('zumble-live');
    zumbleRoomLive.preRun = true;
    zumbleRoomLiveStart();
  });
}

// The page follows the room by itself (as a spectator does) until the game takes it.
function zumbleRoomFollow() {
  if (zumbleRoom.follower || (zumbleRoom.entered && zumbleRoom.gameLink)) return;
  var url = zumbleRoomSocketBase() + zumbleRoomApi('/live') +
            (zumbleRoom.watch ? '?watch=' + encodeURIComponent(zumbleRoom.watch) : '');
  zumbleRoom.follower = zumbleRoomLinkOpen(url, []);
}

// The game takes the room's connection as soon as it runs.
function zumbleRoomEnter() {
  var live = zumbleRoomSocketBase() + zumbleRoomApi('/live?racer=' + encodeURIComponent(zumbleRoom.racer));
  (function wait() {
    if (!zumbleGameRunning()) {
      if (!zumblePage.ended) setTimeout(wait, 100);
      return;
    }
    if (!Module['_zumble_room_enter']) {
      zumbleRoomSay('This build of the game cannot race in rooms: the room is only shown.');
      return;
    }
    var at = Module['_ZumbleRoomAddress']();
    stringToUTF8(live, at, Module['_ZumbleRoomAddressSize']());
    if (Module['_zumble_room_enter'](at)) {
      zumbleRoom.entered = true;
      zumblePage.setStatus('In the room as ' + zumbleRoom.me + ': press Start on the mode screen when you are ready.');
    } else {
      zumbleRoomSay('The game could not join the room.');
    }
  })();
}

function zumbleRoomJoined(racer, name) {
  zumbleRoom.racer = racer;
  zumbleRoom.me = name;
  document.getElementById('room-join').hidden = true;
  if (zumbleRoom.state) zumbleRoomShow(zumbleRoom.state);
  zumbleRoomEnter();
}

(function () {
  if (!/^\/play\//.test(location.pathname)) return;
  var params = new URLSearchParams(location.search);
  var makeButton = document.getElementById('rooms-button');
  var make = document.getElementById('rooms-make');
  // Keys typed into the room's fields are the fields', not the game's.
  window.addEventListener('keydown', function (e) {
    if (e.target && e.target.closest && e.target.closest('#room, #rooms-make') && /^(INPUT|SELECT)$/.test(e.target.tagName)) {
      e.stopImmediatePropagation();
    }
  }, true);

  // "Race with friends" shows where a board answers.
  (function offer() {
    if (typeof zumbleBoard !== 'undefined' && zumbleBoard.present) makeButton.hidden = false;
    else setTimeout(offer, 500);
  })();
  makeButton.addEventListener('click', function (e) {
    e.currentTarget.blur();
    make.hidden = !make.hidden;
    document.getElementById('replays').hidden = true;
    document.getElementById('progress').hidden = true;
  });
  document.getElementById('rooms-make-close').addEventListener('click', function () { make.hidden = true; });
  document.getElementById('rooms-make-form').addEventListener('submit', function (e) {
    e.preventDefault();
    var submit = document.getElementById('rooms-make-submit');
    var said = document.getElementById('rooms-make-said');
    var body = { flies: Number(document.getElementById('rooms-flies').value),
                 speed: Number(document.getElementById('rooms-speed').value) };
    var name = document.getElementById('rooms-name').value.trim();
    if (name) body.name = name;
    submit.disabled = true;
    said.textContent = 'Making the room\u2026';
    zumbleRoomAsk('POST', '/api/rooms', body).then(function (answer) {
      submit.disabled = false;
      if (answer.status !== 201 || !answer.body.id) { said.textContent = zumbleRoomSays(answer); return; }
      zumbleRoomKeepHost(answer.body.id, answer.body.host);
      location.href = '/play/?room=' + encodeURIComponent(answer.body.id);
    });
  });

  var id = params.get('room');
  if (!id || !/^[0-9a-zA-Z_-]{1,64}$/.test(id)) return;
  zumbleRoom.id = id;
  zumbleRoom.watch = params.get('watch');
  var host = zumbleRoomHosts()[id];
  zumbleRoom.host = host ? host.pass : '';
  document.body.classList.add('room');
  var room = document.getElementById('room');
  room.hidden = false;
  if (zumbleRoomLive.on) {
    // After watching, back to following the room.
    document.getElementById('again').href = location.pathname + '?room=' + encodeURIComponent(id) + '&watch=' +
                                            encodeURIComponent(zumbleRoom.watch);
    zumbleViewer.about = zumbleRoom.watch;  // viewer.js: whose round, on the top line
  }
  var link = document.getElementById('room-link');
  link.value = location.origin + '/play/?room=' + encodeURIComponent(id);
  document.getElementById('room-copy').addEventListener('click', function (e) {
    e.currentTarget.blur();
    var done = function () { zumblePage.setStatus('The room\'s link is copied: send it to your friends.'); };
    link.select();
    if (navigator.clipboard) navigator.clipboard.writeText(link.value).then(done, function () { document.execCommand('copy'); done(); });
    else { document.execCommand('copy'); done(); }
  });
  document.getElementById('room-start').addEventListener('click', function (e) {
    e.currentTarget.blur();
    zumbleRoomAsk('POST', zumbleRoomApi('/start?host=' + encodeURIComponent(zumbleRoom.host))).then(function (answer) {
      if (answer.status !== 200) zumblePage.setStatus('The race did not start: ' + zumbleRoomSays(answer));
    });
  });
  // Rematch: ready again. In the game that is its own Start for the room's mode (the key
  // R, as the Retry button gives it), which also holds the round until the countdown ends.
  document.getElementById('room-rematch').addEventListener('click', function (e) {
    e.currentTarget.blur();
    if (zumbleRoom.entered) zumblePressKey('r');
    else zumbleRoomAsk('POST', zumbleRoomApi('/ready?racer=' + encodeURIComponent(zumbleRoom.racer)), { ready: true });
  });

  document.getElementById('room-watch').addEventListener('click', function (e) {
    e.currentTarget.blur();
    var watchLive = location.pathname + '?room=' + encodeURIComponent(id) + '&watch=' +
                    encodeURIComponent(zumbleRoom.watch) + '&live';
    if (zumbleRoomLive.on) location.replace(watchLive);  // the racer's new round
    else if (zumbleRoomWatched.replay) zumbleWatchBytes(zumbleRoomWatched.replay, zumbleRoom.watch + '\'s round');
    else if (zumbleRoomWatched.ok) zumbleAskToLeaveRound('watch ' + zumbleRoom.watch + ' live', 'Watch', function () {
      // The round so far and the files are kept, as for a replay (replays.js).
      zumbleKeepRound();
      zumbleStoreFiles();
      zumbleFilesStored().then(function () { location.search = watchLive.slice(location.pathname.length); });
    });
  });

  zumbleRoomAsk('GET', zumbleRoomApi('')).then(function (answer) {
    if (answer.status !== 200) {
      zumbleRoomSay(zumbleRoomSays(answer));
      return;
    }
    zumbleRoomShow(answer.body);
    zumbleRoomFollow();
    if (zumbleRoom.watch) {
      if (!zumbleRoomLive.on) zumblePage.setStatus('Watching ' + zumbleRoom.watch + '\'s race.');
      else if (!zumbleRoomLive.started) zumblePage.setStatus('Waiting for ' + zumbleRoom.watch + '\'s round to begin\u2026');
      return;
    }
    // A racer's pass kept by this tab (a reload) goes on with it; else the name is asked.
    var kept = null;
    try { kept = JSON.parse(sessionStorage.getItem(ZUMBLE_ROOM_RACER + id) || 'null'); } catch (err) {}
    if (kept && kept.racer && kept.name) { zumbleRoomJoined(kept.racer, kept.name); return; }
    var form = document.getElementById('room-join');
    var nameInput = document.getElementById('room-name');
    var keyInput = document.getElementById('room-key');
    try { nameInput.value = localStorage.getItem('zumble-board-name') || ''; } catch (err) {}
    form.hidden = false;
    form.addEventListener('submit', function (ev) {
      ev.preventDefault();
      var name = nameInput.value.trim();
      var key = keyInput.value.trim() || (window.zumbleBoardKey ? window.zumbleBoardKey(name) : '');
      var body = { name: name };
      if (key) body.key = key;
      var button = document.getElementById('room-join-button');
      button.disabled = true;
      zumbleRoomAsk('POST', zumbleRoomApi('/join'), body).then(function (joined) {
        button.disabled = false;
        if (joined.status !== 201) { zumblePage.setStatus('Not in the room: ' + zumbleRoomSays(joined)); return; }
        try {
          localStorage.setItem('zumble-board-name', name);
          sessionStorage.setItem(ZUMBLE_ROOM_RACER + id, JSON.stringify({ racer: joined.body.racer, name: joined.body.name }));
        } catch (err) {}
        if (key && window.zumbleBoardKeepKey) window.zumbleBoardKeepKey(name, key);
        zumbleRoomJoined(joined.body.racer, joined.body.name);
      });
    });
  });
})();

// For tests and the curious: the room's last state as the page has it, and the watched
// racer's round once it has ended.
window.zumbleRoomState = function () { return zumbleRoom.state; };
window.zumbleRoomWatchedRound = function () { return zumbleRoomWatched.replay; };
// Whether the page watches the racer's round as it is played, and how that stands.
window.zumbleRoomLiveState = function () {
  var live = zumbleRoomLive;
  return { on: live.on, started: live.started, waiting: live.queue.length, newRound: live.newRound, over: live.over };
};
