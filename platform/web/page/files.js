// Files: the player's files (hiscoa.sav, error.txt, history.txt, the replays in replays/) live in IndexedDB. They are read
// before the game starts. Afterwards the files the game changes (saved by a rename, or
// removed) are stored, and never the whole folder: another tab of the site may have
// stored files of its own meanwhile. The game saves hiscoa.sav and the replays under a
// lock that all tabs share (zumbleLockFiles): it reads the shared files again from
// IndexedDB first, merges, and lets go only once its changes are stored, all in one
// transaction; a file changed outside the lock is stored at once.
var zumbleStore = { busy: false, again: false, waiting: [], unavailable: false, changed: {}, release: null,
                    saving: false, logStamp: null, historyStamp: null, askedToKeep: false };
var ZUMBLE_LOCK_WAIT_MS = 5000;  // a tab that is stuck holding the lock does not stop this one

// Without IndexedDB (private browsing in some browsers), or when the kept files cannot be
// read, the game plays on but nothing it saves outlives the page: the player is told once,
// and nothing is stored, which could only put a fresh table over one that is kept.
function zumbleNoStorage(err) {
  if (zumbleStore.unavailable) return;
  zumbleStore.unavailable = true;
  console.warn('zumble: cannot read the saved files (' + err + ')');
  zumblePage.setStatus('This browser keeps no files for this page (private browsing?): ' +
                       'best times will not be kept.');
}

// Emscripten's IndexedDB folder stops the whole page where there is none: asked first.
function zumbleHasIndexedDB() {
  try { return !!window.indexedDB; } catch (e) { return false; }  // some browsers throw when storage is off
}

function zumbleIsPlayerFile(path) {
  return /^\/zumble\/(hiscoa\.sav(\.tmp)?|error\.txt|history\.txt|replays(\/[\w.-]+\.zrp(\.tmp)?)?)$/.test(path || '');
}
// What is stored: the player's files but the temporary ones.
function zumbleIsStoredFile(path) {
  return zumbleIsPlayerFile(path) && !/\.tmp$/.test(path);
}
// What the tabs share and merge: read again under the lock.
function zumbleIsSharedFile(path) {
  return /^\/zumble\/(hiscoa\.sav|history\.txt|replays\/best-[\w.-]+\.zrp)$/.test(path || '');
}

function zumbleChanged(path) {
  if (!zumbleIsStoredFile(path)) return;
  if (path === ZUMBLE_HOME + '/history.txt') zumbleProgressChanged();  // progress.js
  zumbleStore.changed[path] = true;
  // The folder too: the next start makes it before the files in it.
  if (path.indexOf(ZUMBLE_HOME + '/replays/') === 0) {
    zumbleStore.changed[ZUMBLE_HOME + '/replays'] = true;
    zumbleReplaysChanged();
  }
}

function zumbleExists(path) {
  try { FS.lookupPath(path); return true; } catch (e) { return false; }
}

// error.txt is written in place at the end of a run: stored when it changed.
function zumbleNoteErrorLog() {
  var stamp = null;
  try { stamp = FS.stat(ZUMBLE_HOME + '/error.txt').mtime.getTime(); } catch (e) { return; }
  if (stamp !== zumbleStore.logStamp) zumbleChanged(ZUMBLE_HOME + '/error.txt');
  zumbleStore.logStamp = stamp;
}

// history.txt takes a line in place as each round ends, under the lock: stored when it
// changed (and read again under the lock, as the tabs share it).
function zumbleNoteHistory() {
  var stamp = null;
  try { stamp = FS.stat(ZUMBLE_HOME + '/history.txt').mtime.getTime(); } catch (e) { return; }
  if (stamp !== zumbleStore.historyStamp) zumbleChanged(ZUMBLE_HOME + '/history.txt');
  zumbleStore.historyStamp = stamp;
}

// Stores the given paths as they are now (a path no longer there is removed), in one
// transaction; done(err) once it is committed.
function zumbleWriteStored(paths, done) {
  IDBFS.getDB(ZUMBLE_HOME, function (err, db) {
    if (err) { done(err); return; }
    var transaction;
    try {
      transaction = db.transaction([IDBFS.DB_STORE_NAME], 'readwrite');
    } catch (e) { done(e); return; }
    var store = transaction.objectStore(IDBFS.DB_STORE_NAME);
    transaction.oncomplete = function () { done(null); };
    transaction.onabort = function () { done(transaction.error || new Error('the transaction was aborted')); };
    paths.sort().forEach(function (path) {
      if (!zumbleExists(path)) { store.delete(path); return; }
      IDBFS.loadLocalEntry(path, function (e, entry) { if (!e) store.put(entry, path); });
    });
  });
}

function zumbleStoreFiles() {
  if (zumbleStore.unavailable) return;
  if (zumbleStore.busy) { zumbleStore.again = true; return; }
  zumbleNoteErrorLog();
  zumbleNoteHistory();
  var paths = Object.keys(zumbleStore.changed);
  zumbleStore.changed = {};
  if (!paths.length) {
    var idle = zumbleStore.waiting;
    zumbleStore.waiting = [];
    idle.forEach(function (done) { done(); });
    return;
  }
  zumbleStore.busy = true;
  zumbleWriteStored(paths, function (err) {
    if (err) {
      console.error('zumble: cannot store the saved files: ' + err);
      // Tried again with the next change, or when the page is left.
      paths.forEach(function (path) { zumbleStore.changed[path] = true; });
    }
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

// The shared files as the other tabs stored them: those whose stored copy differs from
// this tab's are read again, those stored no more are removed here too.
function zumbleReadShared(done) {
  if (zumbleStore.unavailable) { done(); return; }
  IDBFS.getRemoteSet({ mountpoint: ZUMBLE_HOME }, function (err, remote) {
    if (err) { console.error('zumble: cannot read the saved files again: ' + err); done(); return; }
    var local = [];
    if (zumbleExists(ZUMBLE_HOME + '/hiscoa.sav')) local.push(ZUMBLE_HOME + '/hiscoa.sav');
    try {
      FS.readdir(ZUMBLE_HOME + '/replays').forEach(function (name) { local.push(ZUMBLE_HOME + '/replays/' + name); });
    } catch (e) {}
    local.filter(zumbleIsSharedFile).forEach(function (path) {
      if (!remote.entries[path]) try { zumbleStore.unlink(path); } catch (e) {}
    });
    var load = Object.keys(remote.entries).filter(function (path) {
      if (!zumbleIsSharedFile(path)) return false;
      try { return FS.stat(path).mtime.getTime() !== remote.entries[path].timestamp.getTime(); } catch (e) { return true; }
    });
    if (!load.length) { done(); return; }
    try { FS.mkdir(ZUMBLE_HOME + '/replays'); } catch (e) {}
    var transaction = remote.db.transaction([IDBFS.DB_STORE_NAME], 'readonly');
    var store = transaction.objectStore(IDBFS.DB_STORE_NAME);
    transaction.oncomplete = function () { zumbleReplaysChanged(); zumbleProgressChanged(); done(); };
    transaction.onabort = function () {
      console.error('zumble: cannot read the saved files again: ' + transaction.error);
      done();
    };
    load.forEach(function (path) {
      IDBFS.loadRemoteEntry(store, path, function (e, entry) {
        if (!e && entry) IDBFS.storeLocalEntry(path, entry, function () {});
      });
    });
  });
}

// The lock shared by every tab of the site, then the shared files read again. Browsers
// without Web Locks (or a page not served over https) read them again all the same.
function zumbleLockFiles() {
  return new Promise(function (resolve) {
    var locks = null;
    try { locks = navigator.locks; } catch (e) {}
    if (!locks || !locks.request) { resolve(); return; }
    var abort = typeof AbortController === 'function' ? new AbortController() : null;
    var timer = abort ? setTimeout(function () { abort.abort(); }, ZUMBLE_LOCK_WAIT_MS) : null;
    locks.request('zumble-player-files', abort ? { signal: abort.signal } : {}, function () {
      clearTimeout(timer);
      return new Promise(function (release) { zumbleStore.release = release; resolve(); });
    }).catch(function (e) {
      console.warn('zumble: saving without the other tabs\' lock (' + e + ')');
      resolve();
    });
  }).then(function () {
    zumbleStore.saving = true;
    return new Promise(function (resolve) { zumbleReadShared(resolve); });
  });
}

// What this tab changed is stored before the next tab may read it.
function zumbleUnlockFiles() {
  zumbleStore.saving = false;
  zumbleStoreFiles();
  return zumbleFilesStored().then(function () {
    var release = zumbleStore.release;
    zumbleStore.release = null;
    if (release) release();
    zumbleAskToKeep();
  });
}

// Once something is kept, the browser is asked not to clear the site's storage when it
// runs short of space (it may say no; the files are kept all the same).
function zumbleAskToKeep() {
  if (zumbleStore.askedToKeep || zumbleStore.unavailable) return;
  zumbleStore.askedToKeep = true;
  try {
    navigator.storage.persist().then(function (kept) {
      if (!kept) console.log('zumble: the browser may clear the saved files when it runs short of space');
    }, function () {});
  } catch (e) {}
}

// Runs before the preloaded data is laid out (the last added runs first), so the data
// lands inside the mounted folder.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  FS.mkdir(ZUMBLE_HOME);
  FS.mount(IDBFS, {}, ZUMBLE_HOME);
  var localSet = IDBFS.getLocalSet;
  IDBFS.getLocalSet = function (mount, callback) {
    if (zumbleStore.unavailable) { callback(new Error('the saved files were not read')); return; }
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
    var source = null;
    try { source = FS.lookupPath(from).path; } catch (e) {}
    var result = rename(from, to);
    // Started at once: the game goes on, and the window in which a closed tab could
    // lose the renamed file is as short as IndexedDB allows.
    var stored = FS.lookupPath(to).path;
    if (source) zumbleChanged(source);
    zumbleChanged(stored);
    // A save under the lock is stored whole when it lets go: the table and the replays
    // that follow it in one transaction.
    if (zumbleIsPlayerFile(stored) && !zumbleStore.saving) zumbleStoreFiles();
    if (stored === ZUMBLE_HOME + '/replays/last.zrp') zumbleOfferReplay();
    return result;
  };
  zumbleStore.unlink = FS.unlink;
  FS.unlink = function (path) {
    var gone = null;
    try { gone = FS.lookupPath(path).path; } catch (e) {}
    var result = zumbleStore.unlink(path);
    if (gone && zumbleIsStoredFile(gone)) {
      zumbleChanged(gone);
      if (!zumbleStore.saving) zumbleStoreFiles();
    }
    return result;
  };
  if (!zumbleHasIndexedDB()) zumbleNoStorage('no IndexedDB');
  addRunDependency('zumble-files');
  FS.syncfs(true, function (err) {
    if (err) zumbleNoStorage(err);
    try { zumbleStore.logStamp = FS.stat(ZUMBLE_HOME + '/error.txt').mtime.getTime(); } catch (e) {}
    removeRunDependency('zumble-files');
  });
  if (zumblePage.replayUrl) {
    addRunDependency('zumble-replay');
    zumbleMakeOpened();
    fetch(zumblePage.replayUrl).then(function (response) {
      if (!response.ok) throw new Error('HTTP ' + response.status);
      return response.arrayBuffer();
    }).then(function (bytes) {
      FS.writeFile(ZUMBLE_OPENED_REPLAY, new Uint8Array(bytes));
    }, function (e) {
      // The game then says it cannot read the replay, as on the command line.
      console.error('cannot fetch the replay ' + zumblePage.replayUrl + ': ' + e);
    }).then(function () { removeRunDependency('zumble-replay'); });
  }
  if (zumblePage.raceUrl) zumbleFetchRace(zumblePage.raceUrl);
  if (zumblePage.racedReplay) {
    zumbleMakeOpened();
    FS.writeFile(ZUMBLE_RACE_REPLAY, zumblePage.racedReplay);
  }
  if (zumblePage.openedReplay) {
    zumbleMakeOpened();
    FS.writeFile(ZUMBLE_OPENED_REPLAY, zumblePage.openedReplay);
  }
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

function zumbleMakeOpened() {
  try { FS.mkdir(ZUMBLE_OPENED); } catch (e) {}  // there already
}

// The run raced from the address, and whose it is: a board's run (/api/runs/ID/replay)
// is its player's, another replay is named by its file. The game starts once both are in.
function zumbleFetchRace(url) {
  addRunDependency('zumble-race');
  zumbleMakeOpened();
  var file = decodeURIComponent(url.split(/[?#]/)[0].split('/').pop() || 'replay');
  var run = /^\/api\/runs\/(\d+)\/replay$/.exec(url);
  var named = !run ? Promise.resolve(file) : fetch('/api/runs/' + run[1])
    .then(function (response) { return response.ok ? response.json() : null; })
    .then(function (b) { return b && typeof b.name === 'string' ? b.name : 'run ' + run[1]; },
          function () { return 'run ' + run[1]; });
  var bytes = fetch(url).then(function (response) {
    if (!response.ok) throw new Error('HTTP ' + response.status);
    return response.arrayBuffer();
  }).then(function (b) {
    FS.writeFile(ZUMBLE_RACE_REPLAY, new Uint8Array(b));
  }, function (e) {
    // The game then says it cannot read the replay, as on the command line.
    console.error('cannot fetch the replay ' + url + ': ' + e);
  });
  Promise.all([named, bytes]).then(function (got) {
    Module['arguments'].push('--race-name', got[0].slice(0, 64));
    removeRunDependency('zumble-race');
  });
}

// A hidden page may be closed without another word: the game keeps the round going on
// so far. It does that itself, woken between two frames: keeping takes the files' lock,
// which cannot be waited for from here, outside the game's own run.
function zumbleKeepRound() {
  if (!runtimeInitialized || runtimeExited || ABORT || !Module['_ZumbleKeepRoundAsk']) return;
  Module['_ZumbleKeepRoundAsk'](1);
  zumbleWakeBetweenFrames();
}
window.addEventListener('pagehide', function () { if (!zumblePage.ended) { zumbleKeepRound(); zumbleStoreFiles(); } });
document.addEventListener('visibilitychange', function () {
  if (document.hidden && !zumblePage.ended) { zumbleKeepRound(); zumbleStoreFiles(); }
});
