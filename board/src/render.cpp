#include "render.h"

#include <ctime>

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

std::string JsonString(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c >= 0x7f) {
      // Also <, > and &: the JSON stays inert if anyone pastes it into a page.
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string IsoDate(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string FormatTime(int64_t ms) {
  char text[32];
  snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(ms / 1000),
           static_cast<long long>(ms % 1000));
  return text;
}

std::string RunJson(const Run& run) {
  return "{\"id\":" + std::to_string(run.id) + ",\"name\":" + JsonString(run.name) +
         ",\"flies\":" + std::to_string(run.flies) + ",\"speed\":" + std::to_string(run.speed) +
         ",\"time_ms\":" + std::to_string(run.time_ms) + ",\"frames\":" +
         std::to_string(run.frames) + ",\"date\":\"" + IsoDate(run.created) + "\"}";
}

std::string BoardJson(const ModeBoard& board) {
  std::string out = "{\"flies\":" + std::to_string(board.flies) +
                    ",\"speed\":" + std::to_string(board.speed) + ",\"runs\":[";
  for (size_t i = 0; i < board.runs.size(); ++i) {
    if (i) out += ',';
    out += RunJson(board.runs[i]);
  }
  return out + "]}";
}

std::string BoardsJson(const std::vector<ModeBoard>& boards) {
  std::string out = "{\"boards\":[";
  for (size_t i = 0; i < boards.size(); ++i) {
    if (i) out += ',';
    out += BoardJson(boards[i]);
  }
  return out + "]}\n";
}

std::string AcceptedJson(const Run& run, int64_t rank, bool existed) {
  return "{\"id\":" + std::to_string(run.id) + ",\"mode\":{\"flies\":" +
         std::to_string(run.flies) + ",\"speed\":" + std::to_string(run.speed) +
         "},\"time_ms\":" + std::to_string(run.time_ms) + ",\"rank\":" + std::to_string(rank) +
         ",\"name\":" + JsonString(run.name) + ",\"replay\":\"/api/runs/" +
         std::to_string(run.id) + "/replay\",\"already_stored\":" +
         (existed ? "true" : "false") + "}\n";
}

std::string ErrorJson(std::string_view reason) {
  return "{\"error\":" + JsonString(reason) + "}\n";
}

namespace {

const char kHead[] =
    "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    "<title>Zumble best times</title><style>"
    "body{font:15px/1.4 sans-serif;margin:1em auto;max-width:70em;padding:0 1em;"
    "background:#10141a;color:#e8e8e8}a{color:#8cf}h1,h2{font-weight:600}"
    "h2{font-size:1em;margin:.2em 0}.grid{display:grid;"
    "grid-template-columns:repeat(auto-fill,minmax(16em,1fr));gap:1em}"
    "section{background:#1a2029;padding:.6em;border-radius:6px}"
    "table{width:100%;border-collapse:collapse}td{padding:1px 4px}"
    "td.t{text-align:right;font-variant-numeric:tabular-nums}.none{color:#889}"
    "form{background:#1a2029;padding:.8em;border-radius:6px;margin:1em 0}"
    "</style></head><body>\n";

}  // namespace

std::string BoardsHtml(const std::vector<ModeBoard>& boards) {
  std::string out = kHead;
  out += "<h1>Zumble best times</h1>\n<p>Every time here was checked by playing its "
         "replay on the server. <a href=\"/play/\">Play Zumble</a> in the browser.</p>\n"
         "<div class=\"grid\">\n";
  for (const ModeBoard& b : boards) {
    out += "<section><h2>" + std::to_string(b.flies) + " flies, speed " +
           std::to_string(b.speed) + "</h2>";
    if (b.runs.empty()) {
      out += "<p class=\"none\">No times yet.</p></section>\n";
      continue;
    }
    out += "<table>";
    for (size_t i = 0; i < b.runs.size(); ++i) {
      const Run& r = b.runs[i];
      std::string id = std::to_string(r.id);
      out += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + HtmlEscape(r.name) +
             "</td><td class=\"t\">" + FormatTime(r.time_ms) + "</td><td><time datetime=\"" +
             IsoDate(r.created) + "\">" + IsoDate(r.created).substr(0, 10) +
             "</time></td><td><a href=\"/play/?replay=/api/runs/" + id + "/replay\">watch</a>"
             "</td></tr>";
    }
    out += "</table></section>\n";
  }
  out += "</div>\n"
         "<form method=\"post\" action=\"/submit\" enctype=\"multipart/form-data\">"
         "<h2>Submit a replay</h2><p>The game keeps the replays of your best rounds in the "
         "<code>replays</code> folder beside <code>hiscoa.sav</code>.</p>"
         "<label>Name <input name=\"name\" maxlength=\"16\" required "
         "pattern=\"[A-Za-z0-9 ._\\-]{1,16}\"></label> "
         "<label>Replay <input type=\"file\" name=\"replay\" required></label> "
         "<button>Submit</button></form>\n</body></html>\n";
  return out;
}

std::string SubmitResultHtml(int status, std::string_view message, const Run* run, int64_t rank) {
  std::string out = kHead;
  if (run) {
    out += "<h1>Time accepted</h1><p>" + HtmlEscape(run->name) + ": " +
           FormatTime(run->time_ms) + " with " + std::to_string(run->flies) +
           " flies at speed " + std::to_string(run->speed) + ", rank " + std::to_string(rank) +
           ". <a href=\"/play/?replay=/api/runs/" + std::to_string(run->id) +
           "/replay\">watch</a></p>";
  } else {
    out += "<h1>Not accepted (" + std::to_string(status) + ")</h1><p>" + HtmlEscape(message) +
           "</p>";
  }
  return out + "<p><a href=\"/\">Back to the boards</a></p></body></html>\n";
}

}  // namespace board
