// The pages past the front one: one mode's whole board (paged, with "jump to my rank"),
// a player's bests, and the feed of records.
#include <algorithm>

#include "pages/render.h"

namespace board {

namespace {

// "21-40 of 83", and links to the pages before and after.
std::string Pager(const std::string& path, int64_t offset, int limit, int64_t total,
                  const char* what) {
  std::string out = "<p class=\"small\">";
  if (total == 0) return out + "None yet.</p>";
  int64_t last = std::min(total, offset + limit);
  out += std::to_string(offset + 1) + "-" + std::to_string(last) + " of " +
         std::to_string(total) + " " + what + ".";
  std::string limit_part = limit == 20 ? "" : "&amp;limit=" + std::to_string(limit);
  if (offset > 0)
    out += " <a rel=\"prev\" href=\"" + path + "?offset=" +
           std::to_string(std::max<int64_t>(0, offset - limit)) + limit_part + "\">previous</a>";
  if (last < total)
    out += " <a rel=\"next\" href=\"" + path + "?offset=" + std::to_string(last) + limit_part +
           "\">next</a>";
  return out + "</p>";
}

std::string ModeTitle(int flies, int speed) { return BoardTitle(flies, speed, Pace::kDealt); }

// An XML text: escaped, and nothing XML 1.0 forbids (names and texts here have none,
// but the feed must stay well-formed whatever a run holds).
std::string XmlText(std::string_view text) {
  std::string clean;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') clean += c;
  return HtmlEscape(clean);
}

}  // namespace

std::string ModeBoardHtml(const ModePage& page) {
  const ModeBoard& b = page.board;
  const bool keys = b.pace == Pace::kKeys;
  std::string title = BoardTitle(b.flies, b.speed, b.pace);
  std::string path = BoardPath(b.flies, b.speed, b.pace);
  std::string other = BoardPath(b.flies, b.speed, keys ? Pace::kDealt : Pace::kKeys);
  std::string out = PageHead("Zumble: " + title);
  // Enter and Space change how fast the flies come: such rounds are ranked apart.
  out += "<h1>" + title + "</h1><p><a href=\"/\">All boards</a> &middot; " +
         (keys ? "Rounds whose pace Enter (faster) or Space (slower) changed while they were "
                 "played. <a href=\"" + other + "\">Rounds as dealt</a>"
               : "Rounds as dealt. <a href=\"" + other + "\">With Enter/Space</a>: rounds "
                 "whose pace the keys changed, on a board of their own") +
         "</p>\n"
         "<form method=\"get\" action=\"" + path + "\"><label>Jump to my rank: <input "
         "name=\"name\" maxlength=\"40\" value=\"" + HtmlEscape(page.you) + "\"></label> "
         "<button>Go</button></form>\n";
  if (!page.you.empty() && page.you_rank == 0)
    out += "<p>" + HtmlEscape(page.you) + " has no run on this board.</p>";
  else if (!page.you.empty())
    out += "<p>" + HtmlEscape(page.you) + " is number " + std::to_string(page.you_rank) + ".</p>";
  out += Pager(path, b.offset, page.limit, b.total, "players");
  if (!b.runs.empty()) {
    out += std::string("<table><tr><th>#</th><th>Name</th><th>Time</th><th>Played</th><th></th>"
                       "<th>Program</th>") + (keys ? "<th>Keys</th>" : "") + "</tr>";
    for (size_t i = 0; i < b.runs.size(); ++i) {
      const Run& r = b.runs[i];
      int64_t rank = b.offset + static_cast<int64_t>(i) + 1;
      out += std::string("<tr id=\"run-") + std::to_string(r.id) + "\"" +
             (rank == page.you_rank ? " class=\"you\"" : "") + ">" + RunCells(r, rank) +
             "<td class=\"small\">" + HtmlEscape(r.program.empty() ? "?" : r.program) +
             (r.pad ? ", gamepad" : r.touch ? ", touch" : "") + "</td>" +
             (keys ? "<td class=\"t\">" + std::to_string(r.rate_keys) + "</td>" : "") + "</tr>";
    }
    out += "</table>";
  }
  return out + "</body></html>\n";
}

std::string PlayerHtml(const PlayerPage& page) {
  const Player& p = page.player;
  std::string out = PageHead("Zumble: " + p.name);
  out += "<h1>" + HtmlEscape(p.name) + "</h1><p><a href=\"/\">All boards</a> &middot; on this "
         "board since " + IsoDate(p.created).substr(0, 10) + "</p>\n";
  out += Pager(PlayerPath(p.name), page.runs.offset, page.limit, page.runs.total, "bests");
  int flies = -1, speed = -1;
  Pace pace = Pace::kDealt;
  for (const Run& r : page.runs.runs) {
    bool first = r.flies != flies || r.speed != speed || PaceOf(r) != pace;
    if (first) {
      if (flies >= 0) out += "</table></section>";
      flies = r.flies;
      speed = r.speed;
      pace = PaceOf(r);
      out += "<section><h2><a href=\"" + BoardPath(flies, speed, pace) + "?name=" +
             HtmlEscape(Percent(p.name)) + "\">" + BoardTitle(flies, speed, pace) +
             "</a></h2><table>";
    }
    std::string played = r.played >= 0 ? IsoDate(r.played) : IsoDate(r.created);
    out += std::string("<tr><td>") + (r.best ? "best" : "replaced") + "</td><td class=\"t\">" +
           FormatTime(r.time_ms) + "</td><td class=\"small\"><time datetime=\"" + played +
           "\">" + HtmlEscape(PlayedText(r)) + "</time></td><td><a href=\"" + WatchPath(r.id) +
           "\">watch</a></td></tr>";
  }
  if (flies >= 0) out += "</table></section>";
  return out + "</body></html>\n";
}

std::string RecordsAtom(const std::vector<Run>& records, const std::string& board_id) {
  std::string updated = IsoDate(records.empty() ? 0 : records.front().shown_at);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
      "<id>urn:uuid:" + board_id + "</id>\n"
      "<title>Zumble: new records</title>\n"
      "<subtitle>Each run that became the best of its mode, checked by playing its "
      "replay.</subtitle>\n"
      "<updated>" + updated + "</updated>\n"
      "<author><name>zumble-board</name></author>\n"
      "<link rel=\"self\" type=\"application/atom+xml\" href=\"/feed.atom\"/>\n"
      "<link rel=\"alternate\" type=\"text/html\" href=\"/\"/>\n";
  for (const Run& r : records) {
    std::string title = r.name + ": " + FormatTime(r.time_ms) + ", " + ModeTitle(r.flies, r.speed);
    // The entry's id: the board's, with the run's number in its last group.
    char tail[13];
    snprintf(tail, sizeof tail, "%012llx", static_cast<unsigned long long>(r.id));
    std::string id = board_id.substr(0, 24) + tail;
    out += "<entry>\n<id>urn:uuid:" + id + "</id>\n<title>" + XmlText(title) +
           "</title>\n<updated>" + IsoDate(r.shown_at) + "</updated>\n<published>" +
           IsoDate(r.shown_at) + "</published>\n<author><name>" + XmlText(r.name) +
           "</name><uri>" + XmlText(PlayerPath(r.name)) + "</uri></author>\n"
           "<link rel=\"alternate\" type=\"text/html\" href=\"" + XmlText(WatchPath(r.id)) +
           "\"/>\n<link rel=\"enclosure\" type=\"application/octet-stream\" href=\"/api/runs/" +
           std::to_string(r.id) + "/replay\"/>\n<summary>" +
           XmlText(title + ", " + PlayedText(r) + "; the best of its mode when it went on the "
                   "board on " + IsoDate(r.shown_at).substr(0, 10) + ".") +
           "</summary>\n</entry>\n";
  }
  return out + "</feed>\n";
}

}  // namespace board
