// The pages past the front one: one mode's whole board (paged, with "jump to my rank"),
// a player's runs with a chart of each board's, and the feed of records.
#include <algorithm>
#include <cstdio>

#include "pages/render.h"

namespace board {

namespace {

// "21-40 of 83", and links to the pages before and after.
std::string Pager(const std::string& path, int64_t offset, int limit, int64_t total,
                  const char* what) {
  std::string out = "<p class=\"small pager\">";
  if (total == 0) return out + "None yet.</p>";
  int64_t last = std::min(total, offset + limit);
  out += std::to_string(offset + 1) + "-" + std::to_string(last) + " of " + std::to_string(total) +
         " " + what + ".";
  std::string limit_part = limit == 20 ? "" : "&amp;limit=" + std::to_string(limit);
  if (offset > 0)
    out += " <a rel=\"prev\" href=\"" + path +
           "?offset=" + std::to_string(std::max<int64_t>(0, offset - limit)) + limit_part +
           "\">previous</a>";
  if (last < total)
    out += " <a rel=\"next\" href=\"" + path + "?offset=" + std::to_string(last) + limit_part +
           "\">next</a>";
  return out + "</p>";
}

// A coordinate of a chart: one decimal is finer than a screen shows it.
std::string Num(double v) {
  char text[32];
  snprintf(text, sizeof text, "%.1f", v);
  return text;
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
  out += "<h1>" + title + "</h1><p class=\"nav\"><a href=\"/\">All boards</a> &middot; " +
         (keys ? "Rounds whose pace Enter (faster) or Space (slower) changed while they were "
                 "played. <a href=\"" +
                     other + "\">Rounds as dealt</a>"
               : "Rounds as dealt. <a href=\"" + other +
                     "\">With Enter/Space</a>: rounds "
                     "whose pace the keys changed, on a board of their own") +
         "</p>\n"
         "<form method=\"get\" action=\"" +
         path +
         "\"><label>Jump to my rank: <input "
         "name=\"name\" maxlength=\"40\" value=\"" +
         HtmlEscape(page.you) +
         "\"></label> "
         "<button>Go</button></form>\n";
  if (!page.you.empty() && page.you_rank == 0)
    out += "<p>" + HtmlEscape(page.you) + " has no run on this board.</p>";
  else if (!page.you.empty())
    out += "<p>" + HtmlEscape(page.you) + " is number " + std::to_string(page.you_rank) + ".</p>";
  out += Pager(path, b.offset, page.limit, b.total, "players");
  out += AwaitingHtml(page.awaiting, true);
  if (!b.runs.empty()) {
    out += "<div class=\"wide\"><table><tr>" + RunHeads() + "<th>Program</th>" +
           (keys ? "<th class=\"t\">Keys</th>" : "") + "</tr>";
    for (size_t i = 0; i < b.runs.size(); ++i) {
      const Run& r = b.runs[i];
      int64_t rank = b.offset + static_cast<int64_t>(i) + 1;
      out += std::string("<tr id=\"run-") + std::to_string(r.id) + "\"" +
             (rank == page.you_rank ? " class=\"you\"" : "") + ">" + RunCells(r, rank) +
             "<td class=\"small\">" + HtmlEscape(r.program.empty() ? "?" : r.program) +
             (r.pad     ? ", gamepad"
              : r.touch ? ", touch"
                        : "") +
             "</td>" + (keys ? "<td class=\"t\">" + std::to_string(r.rate_keys) + "</td>" : "") +
             "</tr>";
    }
    out += "</table></div>";
  }
  return out + "</body></html>\n";
}

std::string AttemptsSvg(const std::vector<const Run*>& runs, std::string_view title) {
  if (runs.empty()) return "";
  // The plot's box in the picture's units; times grow upwards, runs go to the right.
  const double left = 52, right = 312, top = 8, bottom = 80;
  int64_t low = runs[0]->time_ms, high = low;
  for (const Run* r : runs) {
    low = std::min(low, r->time_ms);
    high = std::max(high, r->time_ms);
  }
  const size_t n = runs.size();
  auto x = [&](size_t i) {
    return Num(n == 1 ? (left + right) / 2 : left + (right - left) * i / (n - 1));
  };
  auto y = [&](int64_t ms) {
    return Num(high == low
                   ? (top + bottom) / 2
                   : bottom - (bottom - top) * static_cast<double>(ms - low) / (high - low));
  };
  std::string out =
      "<svg class=\"chart\" viewBox=\"0 0 320 100\" role=\"img\" aria-label=\"" +
      HtmlEscape(title) + "\"><title>" + HtmlEscape(title) +
      "</title>"
      "<g fill=\"#99a\" font-size=\"9\" font-family=\"sans-serif\"><text x=\"0\" y=\"" +
      Num(top + 3) + "\">" + FormatTime(high) + "</text><text x=\"0\" y=\"" + Num(bottom + 3) +
      "\">" + FormatTime(low) + "</text><text x=\"" + Num(left) +
      "\" y=\"95\">run 1</text>"
      "<text x=\"" +
      Num(right) + "\" y=\"95\" text-anchor=\"end\">run " + std::to_string(n) +
      "</text></g><path d=\"M" + Num(left) + "," + Num(top) + "V" + Num(bottom) + "H" + Num(right) +
      "\" fill=\"none\" stroke=\"#445\"/>";
  // The best so far: a step down at each run faster than every one before it.
  std::string line = "M" + x(0) + "," + y(runs[0]->time_ms);
  int64_t best = runs[0]->time_ms;
  for (size_t i = 1; i < n; ++i) {
    line += "H" + x(i);
    if (runs[i]->time_ms < best) {
      best = runs[i]->time_ms;
      line += "V" + y(best);
    }
  }
  out += "<path class=\"best\" d=\"" + line +
         "\" fill=\"none\" stroke=\"#fd6\" stroke-width=\"1.5\"/><g fill=\"#8cf\">";
  for (size_t i = 0; i < n; ++i)
    out += "<circle cx=\"" + x(i) + "\" cy=\"" + y(runs[i]->time_ms) + "\" r=\"2.5\"><title>run " +
           std::to_string(i + 1) + ": " + FormatTime(runs[i]->time_ms) + "</title></circle>";
  return out + "</g></svg>";
}

std::string PlayerHtml(const PlayerPage& page) {
  const Player& p = page.player;
  std::string out = PageHead("Zumble: " + p.name);
  out += "<h1>" + HtmlEscape(p.name) +
         "</h1><p class=\"nav\"><a href=\"/\">All boards</a> &middot; on this "
         "board since " +
         TimeTag(p.created, false) +
         " &middot; every run sent and "
         "checked, each board's fastest first; the chart has them in the order they were "
         "sent, with the best so far as a line</p>\n";
  out += AwaitingHtml(page.awaiting, false);
  out += Pager(PlayerPath(p.name), page.runs.offset, page.limit, page.runs.total, "runs");
  int flies = -1, speed = -1;
  Pace pace = Pace::kDealt;
  for (const Run& r : page.runs.runs) {
    bool first = r.flies != flies || r.speed != speed || PaceOf(r) != pace;
    if (first) {
      if (flies >= 0) out += "</table></div></section>";
      flies = r.flies;
      speed = r.speed;
      pace = PaceOf(r);
      std::vector<const Run*> board;
      for (const Run& a : page.attempts)
        if (a.flies == flies && a.speed == speed && PaceOf(a) == pace) board.push_back(&a);
      std::string title = BoardTitle(flies, speed, pace);
      out += "<section><h2><a href=\"" + BoardPath(flies, speed, pace) +
             "?name=" + HtmlEscape(Percent(p.name)) + "\">" + title + "</a></h2>" +
             AttemptsSvg(board, p.name + "'s " + std::to_string(board.size()) +
                                    (board.size() == 1 ? " run of " : " runs of ") + title +
                                    ": each run's time and the best so far") +
             "<div class=\"wide\"><table><tr><th>Run</th><th class=\"t\">Time</th>"
             "<th>Played</th><th colspan=\"2\">Replay</th></tr>";
    }
    // A player's best now, a best it replaced, or a slower run.
    const char* what = r.best ? "best" : r.personal ? "replaced" : "slower";
    out += std::string("<tr><td>") + what + "</td><td class=\"t\"><a href=\"/runs/" +
           std::to_string(r.id) + "\">" + FormatTime(r.time_ms) + "</a></td><td class=\"small\">" +
           PlayedHtml(r) + "</td><td><a href=\"" + WatchPath(r.id) +
           "\">watch</a></td><td><a href=\"" + RacePath(r.id) + "\">race</a></td></tr>";
  }
  if (flies >= 0) out += "</table></div></section>";
  return out + "</body></html>\n";
}

std::string AwaitingHtml(const std::vector<Run>& runs, bool with_names) {
  if (runs.empty()) return "";
  std::string out = "<p class=\"awaiting\">";
  for (const Run& r : runs)
    out += std::string(&r == &runs.front() ? "" : "; ") +
           (with_names ? HtmlEscape(r.name) + " " : ModeWords(r.flies, r.speed) + ": ") +
           FormatTime(r.time_ms) + ", awaiting review (sent " + TimeTag(r.created, false) + ")";
  return out + "</p>\n";
}

std::string RecordsAtom(const std::vector<Run>& records, const std::string& board_id,
                        const std::string& base) {
  const std::string at = XmlText(base);
  std::string updated = IsoDate(records.empty() ? 0 : records.front().shown_at);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
      "<id>urn:uuid:" +
      board_id +
      "</id>\n"
      "<title>Zumble: new records</title>\n"
      "<subtitle>Each run that became the best of its mode, checked by playing its "
      "replay.</subtitle>\n"
      "<updated>" +
      updated +
      "</updated>\n"
      "<author><name>zumble-board</name></author>\n"
      "<link rel=\"self\" type=\"application/atom+xml\" href=\"" +
      at +
      "/feed.atom\"/>\n"
      "<link rel=\"alternate\" type=\"text/html\" href=\"" +
      at + "/\"/>\n";
  for (const Run& r : records) {
    std::string title = r.name + ": " + FormatTime(r.time_ms) + ", " + ModeTitle(r.flies, r.speed);
    // The entry's id: the board's, with the run's number in its last group.
    char tail[13];
    snprintf(tail, sizeof tail, "%012llx", static_cast<unsigned long long>(r.id));
    std::string id = board_id.substr(0, 24) + tail;
    out += "<entry>\n<id>urn:uuid:" + id + "</id>\n<title>" + XmlText(title) +
           "</title>\n<updated>" + IsoDate(r.shown_at) + "</updated>\n<published>" +
           IsoDate(r.shown_at) + "</published>\n<author><name>" + XmlText(r.name) + "</name><uri>" +
           at + XmlText(PlayerPath(r.name)) +
           "</uri></author>\n"
           "<link rel=\"alternate\" type=\"text/html\" href=\"" +
           at + "/runs/" + std::to_string(r.id) +
           "\"/>\n<link rel=\"related\" type=\"text/html\" href=\"" + at +
           XmlText(WatchPath(r.id)) +
           "\"/>\n<link rel=\"enclosure\" type=\"application/octet-stream\" href=\"" + at +
           "/api/runs/" + std::to_string(r.id) + "/replay\"/>\n<summary>" +
           XmlText(title + ", " + PlayedText(r) +
                   "; the best of its mode when it went on the "
                   "board on " +
                   ReadableDate(r.shown_at, false) + ".") +
           "</summary>\n</entry>\n";
  }
  return out + "</feed>\n";
}

}  // namespace board
