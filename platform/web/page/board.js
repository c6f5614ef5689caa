// The best-times board: when the page is served by zumble-board (at /play/ of the
// same origin), a finished round's replay can be sent to it from the bar. The game
// itself sends nothing; only the player's click does. Served any other way, nothing
// here shows.
var zumbleBoard = { present: false, lastSeen: null, replay: null };

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

// Sends the last round; resolves to {status, body} (the board's JSON answer).
window.zumbleBoardSubmit = function (name) {
  var bytes = zumbleBoardLastReplay();
  if (!bytes) return Promise.resolve({ status: 0, body: { error: 'no finished round to send' } });
  return fetch('/api/runs?name=' + encodeURIComponent(name), {
    method: 'POST', headers: { 'Content-Type': 'application/octet-stream' }, body: bytes
  }).then(function (response) {
    return response.json().then(function (body) { return { status: response.status, body: body }; },
                                function () { return { status: response.status, body: {} }; });
  }, function (e) { return { status: 0, body: { error: String(e) } }; });
};

(function () {
  if (!/^\/play\//.test(location.pathname)) return;
  var bar = document.getElementById('bar');
  var form = document.createElement('form');
  form.id = 'board';
  form.hidden = true;
  form.innerHTML = '<input id="board-name" maxlength="16" placeholder="Your name" required ' +
      'pattern="[A-Za-z0-9 ._\\-]{1,16}"> <button type="submit">Submit to the board</button> ' +
      '<a href="/">Boards</a>';
  bar.appendChild(form);
  var nameInput = form.querySelector('#board-name');
  // Keys typed into the name are the name's: this listener is on the window before the
  // game's own (which takes Space, Enter and Escape), and stops it for them.
  window.addEventListener('keydown', function (e) {
    if (e.target === nameInput) e.stopImmediatePropagation();
  }, true);
  try { nameInput.value = localStorage.getItem('zumble-board-name') || ''; } catch (e) {}

  form.addEventListener('submit', function (e) {
    e.preventDefault();
    var name = nameInput.value.trim();
    try { localStorage.setItem('zumble-board-name', name); } catch (err) {}
    form.querySelector('button').disabled = true;
    window.zumbleBoardSubmit(name).then(function (answer) {
      form.querySelector('button').disabled = false;
      var b = answer.body || {};
      if (answer.status === 201 || answer.status === 200) {
        zumblePage.setStatus('On the board: ' + (b.time_ms / 1000).toFixed(3) + ' s, place ' +
                             b.rank + ' of ' + b.mode.flies + ' flies, speed ' + b.mode.speed + '.');
        form.hidden = true;
      } else {
        zumblePage.setStatus('The board did not take it: ' + (b.error || 'HTTP ' + answer.status));
      }
    });
  });

  // A round finished in this visit shows the form (a last.zrp kept from an earlier
  // visit does not: the player may have sent it then).
  fetch('/api/boards').then(function (response) {
    if (!response.ok) return;
    zumbleBoard.present = true;
    var primed = false;
    setInterval(function () {
      if (typeof FS === 'undefined' || !runtimeInitialized) return;
      var bytes = zumbleBoardLastReplay();
      if (!primed) {
        primed = true;
        zumbleBoard.lastSeen = bytes;
        return;
      }
      if (!bytes || zumbleBoardSame(bytes, zumbleBoard.lastSeen)) return;
      zumbleBoard.lastSeen = bytes;
      form.hidden = false;
    }, 1000);
  }, function () {});
})();
