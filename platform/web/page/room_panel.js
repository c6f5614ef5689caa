// The room beside the picture: each racer's name and where they are (ready, swats and how
// far behind the leader, then their checked time or why there is none), the countdown,
// and the last race's winner. Drawn from the room's state as the board sends it
// (docs/rooms.md); only what changed is written again.

function zumbleRoomTime(ms) { return (ms / 1000).toFixed(3) + ' s'; }

// Why a racer has no time, in words.
var ZUMBLE_ROOM_REASONS = {
  too_fast: 'sent faster than the clock ran', room_seed: 'not played on the room\'s flies',
  room_mode: 'another mode', desync: 'does not play back as sent', invalid: 'breaks a rule of the game',
  duplicate: 'a round already on the board', autoplay: 'played by the game\'s test player',
  bad_record: 'a broken stream', too_large: 'more than a round holds'
};

// One racer's place in a race, in a few words.
function zumbleRoomResultWords(result) {
  switch (result.status) {
    case 'verified': return zumbleRoomTime(result.time_ms);
    case 'checking': return 'checking\u2026';
    case 'held': return 'held for a review';
    case 'left': return 'left';
    case 'refused': return 'no time: ' + (ZUMBLE_ROOM_REASONS[result.reason] || result.reason || 'refused');
  }
  if (result.swats === undefined) return 'racing';
  var words = result.swats + (result.swats === 1 ? ' fly' : ' flies');
  if (result.swats > 0) words += result.delta_ms > 0 ? ', +' + (result.delta_ms / 1000).toFixed(1) + ' s' : ', ahead';
  return words;
}

// The fastest checked time of a race's results, or null.
function zumbleRoomWinner(results) {
  var best = null;
  (results || []).forEach(function (r) {
    if (r.status === 'verified' && (!best || r.time_ms < best.time_ms)) best = r;
  });
  return best;
}

// The line under the racers: what the room waits for, the countdown, the race's clock,
// or who won the last race.
function zumbleRoomLineWords(state) {
  var race = state.race;
  if (state.state === 'countdown' && race) return 'The race starts in ' + Math.max(1, Math.ceil(race.starts_in_ms / 1000)) + '\u2026';
  if (state.state === 'racing' && race) return 'Race ' + race.number + ' is on: ' + Math.floor(race.elapsed_ms / 1000) + ' s.';
  var ready = state.racers.filter(function (r) { return r.ready; }).length;
  var waiting = state.racers.length ? ready + ' of ' + state.racers.length + ' ready.' : 'Nobody has joined yet.';
  var last = state.races && state.races.length ? state.races[state.races.length - 1] : null;
  if (!last) return waiting;
  var winner = zumbleRoomWinner(last.results);
  return (winner ? winner.name + ' won race ' + last.number + ' in ' + zumbleRoomTime(winner.time_ms) + '.'
                 : 'Race ' + last.number + ' has no checked time.') + ' ' + waiting;
}

// The rows: the racers present, with the race's results while one runs, or the last
// race's after it (a racer who left a race keeps their row in its results).
function zumbleRoomRows(state, me) {
  var race = state.state === 'lobby' ? null : state.race;
  var last = state.races && state.races.length ? state.races[state.races.length - 1] : null;
  var results = (race ? race.results : last ? last.results : null) || [];
  var byName = {};
  results.forEach(function (r) { byName[r.name] = r; });
  var winner = race ? null : zumbleRoomWinner(results);
  var rows = state.racers.map(function (racer) {
    var result = byName[racer.name];
    delete byName[racer.name];
    var words = result ? zumbleRoomResultWords(result) : '';
    if (!race) words = (racer.ready ? 'ready' : 'not ready') + (words ? '; last race: ' + words : '');
    return { name: racer.name, words: words, me: racer.name === me, won: !!(winner && winner.name === racer.name),
             swats: result && result.swats !== undefined ? result.swats : -1 };
  });
  Object.keys(byName).forEach(function (name) {
    rows.push({ name: name, words: zumbleRoomResultWords(byName[name]), me: name === me,
                won: !!(winner && winner.name === name), swats: -1 });
  });
  return rows;
}

function zumbleRoomDraw(state, me) {
  var list = document.getElementById('room-racers');
  var rows = zumbleRoomRows(state, me);
  while (list.children.length > rows.length) list.lastChild.remove();
  rows.forEach(function (row, i) {
    var item = list.children[i];
    if (!item) {
      item = document.createElement('li');
      item.innerHTML = '<span class="who"></span> <span class="where"></span>';
      list.appendChild(item);
    }
    var who = row.name + (row.me ? ' (you)' : '') + (row.won ? ' \u2605' : '');
    if (item.firstChild.textContent !== who) item.firstChild.textContent = who;
    if (item.lastChild.textContent !== row.words) item.lastChild.textContent = row.words;
    item.dataset.name = row.name;
    item.dataset.swats = String(row.swats);
    item.classList.toggle('me', row.me);
  });
  var line = document.getElementById('room-line');
  var words = zumbleRoomLineWords(state);
  if (line.textContent !== words) line.textContent = words;
}
