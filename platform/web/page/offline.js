// How the page is served. Opened as a file, the browser refuses it the game's data: the
// page says how to serve it. Served, a service worker (service-worker.js) keeps this
// build's files for playing offline and as an installed app.

var ZUMBLE_TAKE_OVER_MS = 10000;

if (location.protocol === 'file:') {
  var zumbleServeNote = 'Zumble runs from a web server, not from a file: in the source folder run ' +
    '"make play-web" and open http://127.0.0.1:8000/, or serve this folder with any static web server ' +
    '(for example "python3 -m http.server" in it).';
  zumbleNotice(zumbleServeNote);
  zumblePage.setStatus('The page must be served.');
  console.error('zumble: ' + zumbleServeNote);
  Module['noInitialRun'] = true;
  zumblePage.ended = { code: 2 };
} else if ('serviceWorker' in navigator && /^[0-9a-f]+$/.test(ZUMBLE_BUILD)) {
  // Registered after the load, so the worker's copying never slows the first start. This
  // script runs once the game's files are in, which is mostly after the load.
  var zumbleRegisterWorker = function () {
    navigator.serviceWorker.register('service-worker.js').then(function (registration) {
      // A worker of this build waiting behind an older one is asked to take over (it does
      // when this is the only page open), now and from time to time while it waits.
      var ask = function () {
        if (registration.waiting) registration.waiting.postMessage({ zumble: 'take-over', build: ZUMBLE_BUILD });
      };
      registration.addEventListener('updatefound', function () {
        var installing = registration.installing;
        installing.addEventListener('statechange', function () { if (installing.state === 'installed') ask(); });
      });
      ask();
      setInterval(ask, ZUMBLE_TAKE_OVER_MS);
    }).catch(function (e) {
      console.warn('zumble: no offline copy (' + e + ')');
    });
  };
  if (document.readyState === 'complete') zumbleRegisterWorker();
  else window.addEventListener('load', zumbleRegisterWorker);
}
