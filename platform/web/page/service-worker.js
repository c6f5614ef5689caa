// The offline copy of one build of the page. Every file of the build is kept in one cache
// named after the build, checked against the build's list before it is used, and asked
// for by the page under the build's name; a new build comes with a new worker, whose
// cache replaces this one whole once no page of the old build is open. The page itself
// is asked of the server first, so a new build is played as soon as it is there.
// Filled in when the site is made: the build's name and its files with their SHA-256.
var BUILD = '@ZUMBLE_BUILD@';
var FILES = @ZUMBLE_FILES@;
var CACHE = 'zumble-' + BUILD;
var PAGE = 'index.html';
var PAGE_WAIT_MS = 4000;  // a network that does not answer counts as none
var COPY_WAIT_MS = 30000;  // how long a page that asked for this copy has to reload
// Until then the next page opened is this build's copy, not the server's (below).
var copyUntil = 0;

function hex(buffer) {
  return Array.from(new Uint8Array(buffer), function (b) { return ('0' + b.toString(16)).slice(-2); }).join('');
}

// Fetches every file from the server (never from the browser's cache) and keeps them only
// when all of them are this build's: a server that changed meanwhile fails the install,
// which the browser tries again later.
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
          return { url: file.url, response: new Response(bytes, { status: 200, headers: headers }) };
        });
      });
    });
  })).then(function (checked) {
    return caches.open(CACHE).then(function (cache) {
      return Promise.all(checked.map(function (c) { return cache.put(c.url, c.response); }));
    });
  }));
});

// The old builds' copies go once this one takes over. A page opened before there was any
// worker is left alone: it has loaded all it needs.
self.addEventListener('activate', function (event) {
  event.waitUntil(caches.keys().then(function (names) {
    return Promise.all(names.filter(function (name) { return /^zumble-/.test(name) && name !== CACHE; })
                            .map(function (name) { return caches.delete(name); }));
  }));
});

// A page of this build, kept by the old build's worker (a reload keeps the worker that
// served the page before it), asks this waiting worker to take over. It does only when that
// page is the one window of the game open: another may be of the old build, still loading
// its files. Pages of the site outside the game's folder (a best-times board that serves the
// game at /play/ and its own pages at /) load no file of a build and do not count.
// The page asks again later, so a window that was closing when it asked is no obstacle.
//
// A page of a newer build whose files could not be loaded (a server half way through an
// update, a network that broke) asks the worker that controls it for this build's copy,
// which is whole: the next page opened is that copy.
self.addEventListener('message', function (event) {
  var said = event.data;
  if (!said || !event.source) return;
  if (said.zumble === 'use-copy') {
    var useCopy = typeof said.build === 'string' && said.build !== BUILD;
    if (useCopy) copyUntil = Date.now() + COPY_WAIT_MS;
    event.source.postMessage({ zumble: 'use-copy', build: BUILD, ok: useCopy });
    return;
  }
  if (said.zumble !== 'take-over' || said.build !== BUILD) return;
  event.waitUntil(self.clients.matchAll({ type: 'window', includeUncontrolled: true }).then(function (windows) {
    var alone = windows.every(function (w) {
      return w.id === event.source.id || w.url.indexOf(self.registration.scope) !== 0;
    });
    return (alone ? self.skipWaiting() : Promise.resolve()).then(function () {
      event.source.postMessage({ zumble: 'take-over', build: BUILD, taken: alone });
    });
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

self.addEventListener('fetch', function (event) {
  var request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  if (request.mode === 'navigate') {
    // The page, with whatever options its address holds: the server's, else the copy.
    var copy = function () {
      return caches.open(CACHE).then(function (cache) { return cache.match(PAGE); }).then(function (kept) {
        return kept || Response.error();
      });
    };
    if (Date.now() < copyUntil) {
      copyUntil = 0;
      event.respondWith(copy().then(function (kept) { return kept.ok ? kept : pageFromServer(request); }));
      return;
    }
    event.respondWith(pageFromServer(request).catch(copy));
    return;
  }
  // The build's files by their exact address (another build's are not here); anything
  // else, such as a script named in the address, from the server.
  event.respondWith(caches.open(CACHE).then(function (cache) {
    return cache.match(request).then(function (kept) { return kept || fetch(request); });
  }));
});
