#include "pages/render.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "replay/core/mode_words.h"

namespace board {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string IsoDate(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string ReadableDate(int64_t seconds, bool with_clock) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t t = static_cast<time_t>(seconds);
  tm parts{};
  gmtime_r(&t, &parts);
  char text[48];
  if (with_clock)
    snprintf(text, sizeof text, "%d %s %d, %02d:%02d UTC", parts.tm_mday, kMonths[parts.tm_mon],
             parts.tm_year + 1900, parts.tm_hour, parts.tm_min);
  else
    snprintf(text, sizeof text, "%d %s %d", parts.tm_mday, kMonths[parts.tm_mon],
             parts.tm_year + 1900);
  return text;
}

std::string TimeTag(int64_t seconds, bool with_clock, std::string_view title) {
  return "<time datetime=\"" + IsoDate(seconds) + "\"" +
         (title.empty() ? "" : " title=\"" + HtmlEscape(title) + "\"") + ">" +
         ReadableDate(seconds, with_clock) + "</time>";
}

std::string FormatTime(int64_t ms) {
  char text[32];
  snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(ms / 1000),
           static_cast<long long>(ms % 1000));
  return text;
}

std::string Percent(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PlayerPath(std::string_view name) { return "/players/" + Percent(name); }

std::string WatchPath(int64_t run_id) {
  return "/play/?replay=/api/runs/" + std::to_string(run_id) + "/replay";
}

std::string RacePath(int64_t run_id) {
  return "/play/?race=/api/runs/" + std::to_string(run_id) + "/replay";
}

std::string BoardPath(int flies, int speed, Pace pace, bool api) {
  return std::string(api ? "/api" : "") + "/boards/" + std::to_string(flies) + "/" +
         std::to_string(speed) + (pace == Pace::kKeys ? "/keys" : "");
}

std::string ModeWords(int flies, int speed) {
  char text[48];
  ModeName(flies, speed, text, sizeof text);
  return text;
}

std::string BoardTitle(int flies, int speed, Pace pace) {
  return ModeWords(flies, speed) + (pace == Pace::kKeys ? ", with Enter/Space" : "");
}

const char* ErrorCode(int status) {
  switch (status) {
    case 401: return "unauthorized";
    case 403: return "forbidden";
    case 404: return "not_found";
    case 405: return "method_not_allowed";
    case 408: return "timeout";
    case 411: return "length_required";
    case 413: return "too_large";
    case 415: return "unsupported_type";
    case 429: return "rate_limited";
    case 431: return "headers_too_large";
    case 503: return "unavailable";
    case 507: return "disk_full";
  }
  return status < 500 ? "bad_request" : "server_error";
}

std::string ErrorPageHtml(int status, std::string_view reason) {
  const char* what = status == 404   ? "Not found"
                     : status == 429 ? "Too many requests"
                     : status == 503 ? "Busy for a moment"
                     : status >= 500 ? "The board failed"
                                     : "Not taken";
  return PageHead(std::string("Zumble: ") + what) + "<h1>" + what + " (" + std::to_string(status) +
         ")</h1>\n<p>" + HtmlEscape(reason) +
         ".</p>\n<p class=\"nav\"><a href=\"/\">Back to the boards</a></p>\n</body></html>\n";
}

std::string PageHead(std::string_view title) {
  return "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" +
         HtmlEscape(title) +
         "</title><link rel=\"icon\" href=\"/favicon.ico\" sizes=\"16x16 32x32\">"
         "<link rel=\"alternate\" type=\"application/atom+xml\" title=\"New records\" "
         "href=\"/feed.atom\"><style>"
         "body{font:15px/1.4 sans-serif;margin:1em auto;max-width:70em;padding:0 1em;"
         "background:#10141a;color:#e8e8e8}a{color:#8cf}h1,h2{font-weight:600}"
         "h2{font-size:1em;margin:.2em 0}.grid{display:grid;"
         "grid-template-columns:repeat(auto-fill,minmax(min(24em,100%),1fr));gap:1em}"
         "section{background:#1a2029;padding:.6em;border-radius:6px;margin-bottom:1em;"
         "min-width:0}.grid section{margin:0}.grid{margin-bottom:1em}"
         // A cell is one line at any width: a table wider than its box scrolls in it.
         ".wide{overflow-x:auto}table{width:100%;border-collapse:collapse}"
         "td,th{padding:1px 6px 1px 0;text-align:left;white-space:nowrap}"
         // A number's header stands over it, right-aligned as its cells are.
         // A run page's facts (a name and a value a row) wrap rather than widen it.
         ".facts td{white-space:normal}"
         "td.t,th.t{text-align:right;font-variant-numeric:tabular-nums}.none,.small{color:#99a}"
         "th{color:#99a;font-weight:600;font-size:.85em}"
         ".small{font-size:.85em}tr.you{background:#2b3a22}#empty a{white-space:nowrap}"
         // Long names are cut short on narrow screens rather than widen the table.
         "td.n a{display:inline-block;max-width:12em;overflow:hidden;text-overflow:ellipsis;"
         "vertical-align:bottom}@media (max-width:30em){td.n a{max-width:7em}}"
         "svg.chart{display:block;width:100%;max-width:28em;height:auto;margin:.3em 0}"
         "form{background:#1a2029;padding:.8em;border-radius:6px;margin:1em 0}"
         "code.key{user-select:all;background:#000;padding:2px 4px}"
         // On a phone every link a thumb aims at, in a table or a line of links, and every
         // button, is at least 44 px each way.
         "@media (max-width:40em){td a,.nav a,.pager a,button{display:inline-block;"
         "min-height:44px;min-width:44px;line-height:44px;box-sizing:border-box}"
         "td a{padding:0 4px}input{min-height:44px;box-sizing:border-box}}"
         "</style></head><body>\n";
}

namespace {

// "with 1.4.0, touch" (escaped), or "".
std::string HowRecorded(const Run& r, bool html) {
  std::string out;
  if (!r.program.empty()) out += " with " + (html ? HtmlEscape(r.program) : r.program);
  if (r.pad)
    out += ", gamepad";
  else if (r.touch)
    out += ", touch";
  return out;
}

}  // namespace

std::string PlayedText(const Run& r) {
  return (r.played >= 0 ? "played " + ReadableDate(r.played, false) : "played ?") +
         HowRecorded(r, false);
}

std::string PlayedHtml(const Run& r) {
  return (r.played >= 0 ? "played " + TimeTag(r.played, false) : "played ?") + HowRecorded(r, true);
}

std::string RunHeads() {
  return "<th>#</th><th>Name</th><th class=\"t\">Time</th><th>Played</th>"
         "<th colspan=\"2\">Replay</th>";
}

std::string RunCells(const Run& r, int64_t rank) {
  return "<td>" + std::to_string(rank) + "</td><td class=\"n\"><a href=\"" +
         HtmlEscape(PlayerPath(r.name)) + "\">" + HtmlEscape(r.name) +
         "</a></td><td class=\"t\"><a href=\"/runs/" + std::to_string(r.id) + "\">" +
         FormatTime(r.time_ms) + "</a></td><td class=\"small\">" +
         TimeTag(r.played >= 0 ? r.played : r.created, false, PlayedText(r)) +
         "</td><td><a href=\"" + WatchPath(r.id) + "\">watch</a></td><td><a href=\"" +
         RacePath(r.id) + "\">race</a></td>";
}

std::string BoardsHtml(const std::vector<ModeBoard>& boards) {
  std::string out = PageHead("Zumble best times");
  out +=
      "<h1>Zumble best times</h1>\n<p class=\"nav\"><a href=\"/play/\">Play</a> &middot; "
      "<a href=\"/feed.atom\">New records</a></p>\n<p>Every time here was checked by playing its "
      "replay on the server. Each player's best run of a mode; the date is when the "
      "round was played; <b>watch</b> plays the run, <b>race</b> plays a round of its "
      "mode against it: Play runs the game in the browser, and New records is a feed "
      "of them. Rounds whose pace Enter or "
      "Space changed have boards of their own, reached from each mode's.</p>\n";
  // The modes people play first (the most players first), the empty ones on one line.
  std::vector<const ModeBoard*> played, empty;
  for (const ModeBoard& b : boards) (b.runs.empty() ? empty : played).push_back(&b);
  std::stable_sort(played.begin(), played.end(),
                   [](const ModeBoard* a, const ModeBoard* b) { return a->total > b->total; });
  if (!played.empty()) out += "<div class=\"grid\">\n";
  for (const ModeBoard* b : played) {
    std::string path = BoardPath(b->flies, b->speed, Pace::kDealt);
    out += "<section><h2><a href=\"" + path + "\">" + ModeWords(b->flies, b->speed) +
           "</a></h2><div class=\"wide\"><table><tr>" + RunHeads() + "</tr>";
    for (size_t i = 0; i < b->runs.size(); ++i)
      out += "<tr>" + RunCells(b->runs[i], b->offset + static_cast<int64_t>(i) + 1) + "</tr>";
    out += "</table></div>";
    if (b->total > static_cast<int64_t>(b->runs.size()))
      out += "<p class=\"small\"><a href=\"" + path + "\">all " + std::to_string(b->total) +
             " players</a></p>";
    out += "</section>\n";
  }
  if (!played.empty()) out += "</div>\n";
  if (!empty.empty()) {
    out += "<p class=\"none\" id=\"empty\">No times yet: ";
    for (size_t i = 0; i < empty.size(); ++i)
      out += std::string(i ? " &middot; " : "") + "<a href=\"" +
             BoardPath(empty[i]->flies, empty[i]->speed, Pace::kDealt) + "\">" +
             ModeWords(empty[i]->flies, empty[i]->speed) + "</a>";
    out += ".</p>\n";
  }
  out +=
      "<form method=\"post\" action=\"/submit\" enctype=\"multipart/form-data\">"
      "<h2>Submit a replay</h2><p>The game keeps the replays of your best rounds in the "
      "<code>replays</code> folder beside <code>hiscoa.sav</code>. Your name's first run "
      "on this board gives you its key: keep it, and give it with every later run under "
      "that name.</p>"
      "<label>Name <input name=\"name\" maxlength=\"40\" required></label> "
      "<label>Key <input name=\"key\" maxlength=\"64\" autocomplete=\"off\"></label> "
      "<label>Replay <input type=\"file\" name=\"replay\" required></label> "
      "<button>Submit</button></form>\n</body></html>\n";
  return out;
}

std::string SubmitResultHtml(int status, std::string_view message, const Run* run, int64_t rank,
                             std::string_view key, bool claimed) {
  std::string out = PageHead("Zumble best times");
  if (run) {
    out += "<h1>Time accepted</h1><p>" + HtmlEscape(run->name) + ": " + FormatTime(run->time_ms) +
           ", rank " + std::to_string(rank) + " on <a href=\"" +
           BoardPath(run->flies, run->speed, PaceOf(*run)) + "\">" +
           BoardTitle(run->flies, run->speed, PaceOf(*run)) + "</a>. <a href=\"" +
           WatchPath(run->id) + "\">watch</a></p>";
  } else {
    out += "<h1>Not on the board (" + std::to_string(status) + ")</h1><p>" + HtmlEscape(message) +
           "</p>";
  }
  if (!key.empty() && claimed)
    out += "<p>The name is yours now. Its key, shown only this once: <code class=\"key\">" +
           HtmlEscape(key) + "</code>. Keep it: every later run under this name needs it.</p>";
  else if (!key.empty())
    out +=
        "<p>The name is nobody's until an operator approves the run; then it is yours, with "
        "this key, shown only this once: <code class=\"key\">" +
        HtmlEscape(key) + "</code>. Keep it, and give it with your later runs under this name.</p>";
  return out + "<p><a href=\"/\">Back to the boards</a></p></body></html>\n";
}

}  // namespace board
