#include "pages/room_page.h"

#include <chrono>

#include "pages/render.h"

namespace board {

namespace {

int64_t MsBetween(RoomClock::time_point from, RoomClock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// The page's script: follows the room's live link and draws what each state says, as
// the page drew it when it was asked for (the same cells, the same words). Without it
// the page is that first look.
const char kScript[] = R"JS((() => {
  const id = document.getElementById('room').dataset.room;
  const time = (ms) => `${Math.floor(ms / 1000)}.${String(ms % 1000).padStart(3, '0')} s`;
  const add = (parent, tag, text, cls) => {
    const node = parent.appendChild(document.createElement(tag));
    if (text) node.textContent = text;
    if (cls) node.className = cls;
    return node;
  };
  const link = (parent, href, text) => {
    const a = add(parent, 'a', text);
    a.href = href;
    return a;
  };
  function stateWords(s) {
    if (s.state === 'countdown') return `Race ${s.race.number} starts in ${Math.ceil(s.race.starts_in_ms / 1000)} s`;
    if (s.state === 'racing') return `Race ${s.race.number} under way`;
    return 'Waiting for every racer to be ready';
  }
  function racerRow(body, racer, row) {
    const tr = add(body, 'tr');
    tr.dataset.name = racer.name;
    add(tr, 'td', racer.name, 'n');
    add(tr, 'td', row ? row.status : racer.ready ? 'ready' : 'not ready', 'ready');
    add(tr, 'td', row && row.swats !== undefined ? String(row.swats) : '', 't swats');
    add(tr, 'td', row && row.clock_ms !== undefined ? time(row.clock_ms) : '', 't clock');
    add(tr, 'td', row && row.delta_ms ? `+${time(row.delta_ms)}` : '', 't delta');
    link(add(tr, 'td'), `/play/?room=${encodeURIComponent(id)}&watch=${encodeURIComponent(racer.name)}`, 'Watch');
  }
  function resultCells(tr, r) {
    add(tr, 'td', r.name, 'n');
    const t = add(tr, 'td', '', 't');
    const clip = add(tr, 'td');
    if (r.status === 'verified' && r.run) {
      link(t, `/runs/${r.run}`, time(r.time_ms));
      link(clip, `/runs/${r.run}/clip.webm`, 'clip');
    } else {
      t.textContent = r.reason && r.status !== 'held' ? `${r.status}: ${r.reason}` : r.status;
    }
  }
  function draw(s) {
    document.getElementById('state').textContent = stateWords(s);
    const rows = new Map(((s.race || {}).results || []).map((r) => [r.name, r]));
    const body = document.querySelector('#racers tbody');
    body.replaceChildren();
    for (const racer of s.racers) racerRow(body, racer, rows.get(racer.name));
    const races = document.getElementById('races');
    races.replaceChildren();
    for (const race of [...s.races].reverse()) {
      add(races, 'h3', `Race ${race.number}`);
      const table = add(add(races, 'div', '', 'wide'), 'table');
      table.className = 'results';
      for (const r of race.results) resultCells(add(table, 'tr'), r);
    }
  }
  function follow() {
    const ws = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/api/rooms/${encodeURIComponent(id)}/live`);
    ws.onmessage = (event) => { if (typeof event.data === 'string') draw(JSON.parse(event.data)); };
    ws.onclose = (event) => {
      if (event.code === 1001 && event.reason === 'room ended') {
        document.getElementById('state').textContent = 'This room has ended';
      } else {
        setTimeout(follow, 2000);
      }
    };
  }
  follow();
})();
)JS";

const RaceResult* RowOf(const Room& room, const Racer& racer) {
  if (!room.racing) return nullptr;
  for (const RaceResult& r : room.race.results)
    if (r.racer == racer.token) return &r;
  return nullptr;
}

std::string Cell(const std::string& cls, const std::string& html) {
  return "<td class=\"" + cls + "\">" + html + "</td>";
}

std::string RacerRow(const Room& room, const Racer& racer) {
  const RaceResult* row = RowOf(room, racer);
  const bool live = row && (row->streaming || !row->swat_ms.empty());
  const int64_t delta = live ? SwatDelta(room.race.results, *row) : 0;
  return "<tr data-name=\"" + HtmlEscape(racer.name) + "\">" + Cell("n", HtmlEscape(racer.name)) +
         Cell("ready", row           ? HtmlEscape(row->status)
                       : racer.ready ? "ready"
                                     : "not ready") +
         Cell("t swats", live ? std::to_string(row->swat_ms.size()) : "") +
         Cell("t clock", live ? FormatTime(row->swat_ms.empty() ? 0 : row->swat_ms.back()) : "") +
         Cell("t delta", delta > 0 ? "+" + FormatTime(delta) : "") +
         "<td><a href=\"/play/?room=" + Percent(room.id) + "&amp;watch=" + Percent(racer.name) +
         "\">Watch</a></td></tr>";
}

std::string ResultRow(const RaceResult& r) {
  std::string out = "<tr>" + Cell("n", HtmlEscape(r.name));
  if (r.status == "verified" && r.run > 0) {
    const std::string run = "/runs/" + std::to_string(r.run);
    return out + Cell("t", "<a href=\"" + run + "\">" + FormatTime(r.time_ms) + "</a>") +
           "<td><a href=\"" + run + "/clip.webm\">clip</a></td></tr>";
  }
  const std::string said =
      !r.reason.empty() && r.status != "held" ? r.status + ": " + r.reason : r.status;
  return out + Cell("t", HtmlEscape(said)) + "<td></td></tr>";
}

std::string StateWords(const Room& room, RoomClock::time_point now) {
  const std::string race = "Race " + std::to_string(room.race.number);
  if (room.racing && room.race.seed < 0) {
    const int64_t ms = MsBetween(now, room.race.starts);
    return race + " starts in " + std::to_string(ms > 0 ? (ms + 999) / 1000 : 0) + " s";
  }
  if (room.racing) return race + " under way";
  return "Waiting for every racer to be ready";
}

}  // namespace

std::string RoomPath(const std::string& id) { return "/rooms/" + id; }

std::string RoomPageHtml(const Room& room, RoomClock::time_point now) {
  const std::string title = room.name.empty() ? "Room " + room.id : room.name;
  std::string out = PageHead("Zumble: " + title);
  out += "<main id=\"room\" data-room=\"" + HtmlEscape(room.id) + "\">\n<h1>" + HtmlEscape(title) +
         "</h1>\n<p id=\"mode\">" + ModeWords(room.flies, room.speed) +
         "</p>\n<p class=\"nav\"><a href=\"/play/?room=" + Percent(room.id) +
         "\">Join this race</a> &middot; <a href=\"/\">All boards</a></p>\n<section><p "
         "id=\"state\">" +
         StateWords(room, now) +
         "</p><div class=\"wide\"><table id=\"racers\"><thead><tr><th>Racer</th><th></th>"
         "<th class=\"t\">Swats</th><th class=\"t\">Clock</th><th class=\"t\">Behind</th>"
         "<th></th></tr></thead><tbody>";
  for (const Racer& r : room.racers) out += RacerRow(room, r);
  out += "</tbody></table></div></section>\n<section><h2>Finished races</h2><div id=\"races\">";
  for (auto race = room.finished.rbegin(); race != room.finished.rend(); ++race) {
    out += "<h3>Race " + std::to_string(race->number) +
           "</h3><div class=\"wide\"><table class=\"results\">";
    for (const RaceResult& r : race->results) out += ResultRow(r);
    out += "</table></div>";
  }
  out += "</div></section>\n</main>\n<script>";
  out += kScript;
  out += "</script>\n</body></html>\n";
  return out;
}

}  // namespace board
