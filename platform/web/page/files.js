// Files: the player's files (hiscoa.sav, error.txt, the replays in replays/) live in IndexedDB. They are read
// before the game starts and stored again whenever the game asks for a file to reach
// the disk (its fsync waits until they are stored), after it renames one of them, at
// the end of the run and when the page is left; nothing else in the folder is stored.
var zumbleStore = { busy: false, again: false, waiting: [], unavailable: false };

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
  return /^\/zumble\/(hiscoa\.sav(\.tmp)?|error\.txt|replays(\/[\w.-]+\.zrp(\.tmp)?)?)$/.test(path || '');
}

function zumbleStoreFiles() {
  if (zumbleStore.unavailable) return;
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
    var result = rename(from, to);
    // Started at once: the game goes on, and the window in which a closed tab could
    // lose the renamed file is as short as IndexedDB allows.
    var stored = FS.lookupPath(to).path;
    if (zumbleIsPlayerFile(stored)) zumbleStoreFiles();
    if (stored === ZUMBLE_HOME + '/replays/last.zrp') zumbleOfferReplay();
    return result;
  };
  if (!zumbleHasIndexedDB()) zumbleNoStorage('no IndexedDB');
  addRunDependency('zumble-files');
  FS.syncfs(true, function (err) {
    if (err) zumbleNoStorage(err);
    removeRunDependency('zumble-files');
  });
  if (zumblePage.replayUrl) {
    addRunDependency('zumble-replay');
    FS.mkdir(ZUMBLE_OPENED);
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
  if (zumblePage.openedReplay) {
    FS.mkdir(ZUMBLE_OPENED);
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

// A hidden page may be closed without another word: the round going on is kept so far.
function zumbleKeepRound() {
  if (runtimeInitialized && !runtimeExited && !ABORT && Module['_ZumbleKeepRound']) Module['_ZumbleKeepRound']();
}
window.addEventListener('pagehide', function () { if (!zumblePage.ended) { zumbleKeepRound(); zumbleStoreFiles(); } });
document.addEventListener('visibilitychange', function () {
  if (document.hidden && !zumblePage.ended) { zumbleKeepRound(); zumbleStoreFiles(); }
});
