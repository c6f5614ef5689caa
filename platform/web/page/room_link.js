// A room's connection: the browser's WebSocket to the board's `live` address, kept here
// for the game (platform/web/web_room_link.cpp asks between two frames). The game takes
// the text messages that came (the room's state, the board's word on resuming a round)
// and hands over its round's records to send. Every room state that comes in is also
// shown beside the picture (rooms.js), whoever opened the socket.
var zumbleRoomLinks = { next: 1, links: {}, opened: 0 };
// Texts that wait for the game: a newer room state says all an older one did, so when
// too many wait (a hidden tab's game takes none) the oldest states go first.
var ZUMBLE_ROOM_TEXTS_KEPT = 16;
// What may wait in the browser to be sent before the game is told to hold its records.
var ZUMBLE_ROOM_SEND_BUFFER = 1 << 20;
// Listeners of the page: onState(state, id) for each room state, onLink(id, link) when a
// socket opens or closes, onRecord(bytes, id) for each record of a watched racer.
var zumbleRoomListeners = { onState: null, onLink: null, onRecord: null };

function zumbleRoomLinkOpen(url, why) {
  if (!/^wss?:\/\/[^\s\/?#]+\/[^\s]*$/.test(url)) {
    why[0] = 'not a room\'s address: ' + url.slice(0, 80);
    return 0;
  }
  var ws;
  try {
    ws = new WebSocket(url);
  } catch (e) {
    why[0] = String(e && e.message ? e.message : e);
    return 0;
  }
  ws.binaryType = 'arraybuffer';
  var id = zumbleRoomLinks.next++;
  var link = { ws: ws, url: url, state: 0, texts: [], code: 0, reason: '' };
  zumbleRoomLinks.links[id] = link;
  zumbleRoomLinks.opened += 1;
  var tell = function () { if (zumbleRoomListeners.onLink) zumbleRoomListeners.onLink(id, link); };
  ws.onopen = function () { link.state = 1; tell(); };
  ws.onclose = function (e) {
    link.state = 2;
    link.code = e.code || 1006;
    link.reason = e.reason || '';
    tell();
  };
  ws.onmessage = function (e) {
    if (typeof e.data !== 'string') {
      // A watched racer's records, relayed to a spectator (a racer gets only texts).
      if (zumbleRoomListeners.onRecord) zumbleRoomListeners.onRecord(new Uint8Array(e.data), id);
      return;
    }
    zumbleRoomKeepText(link, e.data);
    var message = null;
    try { message = JSON.parse(e.data); } catch (err) { return; }
    if (message && Array.isArray(message.racers) && zumbleRoomListeners.onState) zumbleRoomListeners.onState(message, id);
  };
  return id;
}

function zumbleRoomKeepText(link, text) {
  link.texts.push(text);
  if (link.texts.length <= ZUMBLE_ROOM_TEXTS_KEPT) return;
  for (var i = 0; i < link.texts.length - 1; ++i) {
    if (link.texts[i].indexOf('"racers"') >= 0) { link.texts.splice(i, 1); return; }
  }
  link.texts.shift();
}

function zumbleRoomLinkState(id) {
  var link = zumbleRoomLinks.links[id];
  return link ? link.state : 2;
}

function zumbleRoomLinkClosed(id) {
  var link = zumbleRoomLinks.links[id];
  return link ? { code: link.code || 1006, reason: link.reason } : { code: 1006, reason: '' };
}

// Hands a message to the browser; false when the socket is not open or too much waits.
function zumbleRoomLinkSend(id, message) {
  var link = zumbleRoomLinks.links[id];
  if (!link || link.state !== 1 || link.ws.readyState !== WebSocket.OPEN) return false;
  if (link.ws.bufferedAmount > ZUMBLE_ROOM_SEND_BUFFER) return false;
  try { link.ws.send(message); } catch (e) { return false; }
  return true;
}

function zumbleRoomLinkTake(id) {
  var link = zumbleRoomLinks.links[id];
  return link && link.texts.length ? link.texts.shift() : null;
}

// The game is done with the socket: closed as a normal end, and forgotten.
function zumbleRoomLinkClose(id) {
  var link = zumbleRoomLinks.links[id];
  if (!link) return;
  delete zumbleRoomLinks.links[id];
  link.ws.onclose = link.ws.onmessage = null;
  try { link.ws.close(1000); } catch (e) {}
}
