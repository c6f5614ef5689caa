// The offline copy of one build of the page. Every file of the build is kept in one cache
// named after the build, checked against the build's list before it is used, and asked
// for by the page under the build's name, so a page is always one whole build.
//
// A start never waits for the server: the game's page comes from the newest whole copy,
// whichever worker serves it. Meanwhile the browser looks for a new worker; a new build's
// worker fetches its files in the background and keeps them as a copy of its own, and the
// start after that plays the new build from it. The old copy goes once no page of its build
// is open (below). Which worker is in charge does not matter for any of this: the browser
// may take its time to hand over to a new worker.
// Filled in when the site is made: the build's name and its files with their SHA-256.
var BUILD = '@ZUMBLE_BUILD@';
var FILES = @ZUMBLE_FILES@;
var CACHE = 'zumble-' + BUILD;
var PAGE = 'index.html';
// The page in each copy carries the copy's place in the order the copies were made, so
// the newest is known whatever the builds' names (a server taken back to an older build
// makes that build's copy the newest again).
var ORDER = 'Zumble-Copy';
var PAGE_WAIT_MS = 4000;  // a network that does not answer counts as none
var COPY_WAIT_MS = 30000;  // how long a page that asked for another copy has to reload
// Until then the next page opened is a copy of another build than `copyNot` (below).
var copyUntil = 0;
var copyNot = '';

function hex(buffer) {
  return Array.from(new Uint8Array(buffer), function (b) { return ('0' + b.toString(16)).slice(-2); }).join('');
}

// Fetches every file from the server (never from the browser's cache) and keeps them only
// when all of them are this build's: a server that changed meanwhile fails the install,
// which the browser tries again later. The page goes into the copy last, so a copy with a
// page is whole; and the copy must still be there at the end (another worker may have
// cleared it away meanwhile), else the install fails too.
self.addEventListener('install', function (event) {
  event.waitUntil(Promise.all(FILES.map(function (file) {
    return fetch(file.url, { cache: 'no-store' }).then(function (response) {
      if (!response.ok) throw new Error(file.url + ': ' + response.status);
      return response.arrayBuffer().then(function (bytes) {
        return crypto.subtle.digest('SHA-256', bytes).then(function (digest) {
          if (hex(digest) !== file.sha256) throw new Error(file.url + ' is not of build ' + BUILD);
          // The bytes are kept decoded: a server's Content-Encoding and its length no
          // longer describe them.
          var headers = new Headers(response.headers);
          headers.delete('Content-Encoding');
          headers.delete('Content-Length');
          return { url: file.url, bytes: bytes, headers: headers };
        });
      });
    });
  })).then(function (checked) {
    var page = checked.filter(function (c) { return c.url === PAGE; })[0];
    var rest = checked.filter(function (c) { return c !== page; });
    var put = function (cache, c) { return cache.put(c.url, new Response(c.bytes, { status: 200, headers: c.headers })); };
    return caches.open(CACHE).then(function (cache) {
      return Promise.all(rest.map(function (c) { return put(cache, c); })).then(function () {
        return newestCopy();
      }).then(function (newest) {
        page.headers.set(ORDER, String(newest ? newest.order + 1 : 1));
        return put(cache, page);
      });
    }).then(function () { return caches.has(CACHE); }).then(function (there) {
      if (!there) throw new Error('the copy of build ' + BUILD + ' was cleared away while it was made');
    });
  }));
});

// The newest whole copy, other than build `except`'s: { name, page, order }, or null.
// Copies are looked up without opening them, which would make a gone one anew.
function newestCopy(except) {
  return caches.keys().then(function (names) {
    return Promise.all(names.filter(function (name) { return /^zumble-/.test(name) && name !== 'zumble-' + except; })
                            .map(function (name) {
                              return caches.match(PAGE, { cacheName: name }).then(function (page) {
                                return page ? { name: name, page: page, order: Number(page.headers.get(ORDER)) || 0 } : null;
                              });
                            }));
  }).then(function (copies) {
    return copies.reduce(function (newest, c) { return c && (!newest || c.order > newest.order) ? c : newest; }, null);
  });
}

// Every copy but this build's.
function clearOthers() {
  return caches.keys().then(function (names) {
    return Promise.all(names.filter(function (name) { return /^zumble-/.test(name) && name !== CACHE; })
                            .map(function (name) { return caches.delete(name); }));
  });
}

// The old builds' copies go once this one takes over. A page opened before there was any
// worker is left alone: it has loaded all it needs.
self.addEventListener('activate', function (event) {
  event.waitUntil(clearOthers());
});

// A page of this build, kept by the old build's worker (a reload keeps the worker that
// served the page before it), asks this waiting worker to take over. When that page is the
// one window of the game open, the other copies go at once and this worker asks the
// browser to hand over; otherwise all stays as it is: another window may be of the old
// build, still loading its files. Pages of the site outside the game's folder (a
// best-times board that serves the game at /play/ and its own pages at /) load no file of
// a build and do not count. The page asks again later, so a window that was closing when
// it asked is no obstacle.
//
// The copies are not left to the hand-over: Chromium hands over only once the old worker
// is idle, and when a page asked the old worker for one more file just then (the sound's
// script at the first click, say), the hand-over was seen to wait for minutes.
//
// A page whose files could not be loaded (a server half way through an update, a network
// that broke, a copy cleared away under it) asks the worker that controls it for a copy of
// another build; when there is one, the next page opened is that copy.
self.addEventListener('message', function (event) {
  var said = event.data;
  if (!said || !event.source) return;
  if (said.zumble === 'use-copy') {
    var failed = typeof said.build === 'string' ? said.build : '';
    event.waitUntil(newestCopy(failed).then(function (other) {
      if (other) {
        copyUntil = Date.now() + COPY_WAIT_MS;
        copyNot = failed;
      }
      event.source.postMessage({ zumble: 'use-copy', build: BUILD, ok: !!other });
    }));
    return;
  }
  if (said.zumble !== 'take-over' || said.build !== BUILD) return;
  event.waitUntil(self.clients.matchAll({ type: 'window', includeUncontrolled: true }).then(function (windows) {
    var alone = windows.every(function (w) {
      return w.id === event.source.id || w.url.indexOf(self.registration.scope) !== 0;
    });
    if (!alone) return false;
    self.skipWaiting();  // not waited for: it settles only once the browser hands over
    return clearOthers().then(function () { return true; });
  }).then(function (taken) {
    event.source.postMessage({ zumble: 'take-over', build: BUILD, taken: taken });
  }));
});

function pageFromServer(request) {
  return new Promise(function (resolve, reject) {
    var timer = setTimeout(function () { reject(new Error('no answer')); }, PAGE_WAIT_MS);
    fetch(request, { cache: 'no-cache' }).then(function (response) {
      clearTimeout(timer);
      if (response.ok) resolve(response);
      else reject(new Error(String(response.status)));
    }, function (e) { clearTimeout(timer); reject(e); });
  });
}

// The page of the newest whole copy (other than build `except`'s), else an error.
function pageFromCopy(except) {
  return newestCopy(except).then(function (newest) { return newest ? newest.page : Response.error(); });
}

self.addEventListener('fetch', function (event) {
  var request = event.request;
  var url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== location.origin) return;
  if (request.mode === 'navigate') {
    // The page, with whatever options its address holds. The game's own page comes from
    // the newest whole copy at once, and from the server only when there is none; any
    // other page in the folder from the server first.
    var scope = new URL(self.registration.scope).pathname;
    var fromServer = function () { return pageFromServer(request); };
    if (Date.now() < copyUntil) {
      copyUntil = 0;
      event.respondWith(pageFromCopy(copyNot).then(function (kept) { return kept.ok ? kept : fromServer(); }));
      return;
    }
    if (url.pathname === scope || url.pathname === scope + PAGE) {
      event.respondWith(pageFromCopy().then(function (kept) { return kept.ok ? kept : fromServer(); }));
      return;
    }
    event.respondWith(fromServer().catch(function () { return pageFromCopy(); }));
    return;
  }
  // A build's files by their exact address, which names the build, so whichever copy
  // holds it holds the right bytes; anything else, such as a script named in the address,
  // from the server.
  event.respondWith(caches.match(request).then(function (kept) { return kept || fetch(request); }));
});
