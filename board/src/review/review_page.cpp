#include "review/review_page.h"

#include "pages/render.h"

namespace board {

namespace {

std::string RunRow(const Run& r) {
  return "<tr><td>" + std::to_string(r.id) + "</td><td>" + HtmlEscape(r.name) + "</td><td>" +
         ModeWords(r.flies, r.speed) + "</td><td class=\"t\">" + FormatTime(r.time_ms) +
         "</td><td>" + HtmlEscape(r.state) + (r.signs.empty() ? "" : " (signs)") +
         "</td><td class=\"small\">" + TimeTag(r.created, true) + "</td></tr>";
}

std::string RunTable(const std::vector<Run>& runs, int64_t total, const char* none) {
  if (runs.empty()) return std::string("<p>") + none + "</p>";
  std::string out =
      "<table><tr><th>Run</th><th>Name</th><th>Mode</th><th class=\"t\">Time</th><th>State</th>"
      "<th>Sent</th></tr>";
  for (const Run& r : runs) out += RunRow(r);
  out += "</table>";
  if (total > static_cast<int64_t>(runs.size()))
    out += "<p class=\"small\">and " + std::to_string(total - static_cast<int64_t>(runs.size())) +
           " more</p>";
  return out;
}

std::string Item(const ReviewItem& item) {
  const Run& r = item.run;
  const std::string id = std::to_string(r.id);
  std::string out = "<section id=\"run-" + id + "\"><h2>Run " + id + ": " + HtmlEscape(r.name) +
                    ", " + FormatTime(r.time_ms) + ", " + ModeWords(r.flies, r.speed) + "</h2>";
  out += r.signs.empty() ? "<p>Awaiting review: it would be number " + std::to_string(item.rank) +
                               " of its board.</p>"
                         : "<p>Held: the verifier measured signs of machine play. It would be "
                           "number " +
                               std::to_string(item.rank) + " of its board.</p>";
  out += "<p class=\"small\">" + PlayedHtml(r) + "; sent " + TimeTag(r.created, true) + " from " +
         HtmlEscape(r.sender.empty() ? "?" : r.sender) + "</p>";
  if (item.clip == "made")
    out += "<video controls preload=\"metadata\" width=\"640\" src=\"/review/" + id +
           "/clip.webm\"></video>";
  else
    out += "<p>Clip: " + HtmlEscape(item.clip) + " (its replay plays in the page below).</p>";
  out += "<p><a href=\"" + HtmlEscape(item.watch) + "\">Watch it in the game's page</a></p>";
  out += "<h3>Signs</h3>";
  if (item.signs.empty()) {
    out += "<p>None: the verifier measured no sign of machine play.</p>";
  } else {
    out += "<table><tr><th>Sign</th><th>This run</th><th class=\"t\">Shown runs with it</th></tr>";
    for (const auto& [sign, shown] : item.signs) {
      size_t colon = sign.find(':');
      out += "<tr><td>" + HtmlEscape(sign.substr(0, colon)) + "</td><td>" +
             HtmlEscape(colon == std::string::npos ? "" : sign.substr(colon + 1)) +
             "</td><td class=\"t\">" + std::to_string(shown) + "</td></tr>";
    }
    out += "</table>";
  }
  out += "<h3>The board's shown runs now</h3>" +
         RunTable(item.board, static_cast<int64_t>(item.board.size()), "No run is shown there.");
  out += "<h3>The player's runs</h3>" + RunTable(item.history.runs, item.history.total, "None.");
  out += "<h3>Runs on the same seed</h3>" +
         RunTable(item.same_seed.runs, item.same_seed.total, "None.");
  out += "<form method=\"post\" action=\"/review/" + id +
         "\" enctype=\"multipart/form-data\"><label>Reason <input name=\"reason\" required "
         "maxlength=\"500\"></label> <button name=\"action\" value=\"approve\">Approve</button> "
         "<button name=\"action\" value=\"reject\">Reject</button></form></section>\n";
  return out;
}

}  // namespace

std::string ReviewPageHtml(const std::string& moderator, const std::vector<ReviewItem>& items,
                           int64_t waiting) {
  std::string out = PageHead("Zumble: review");
  out += "<h1>Review</h1><p class=\"nav\"><a href=\"/\">All boards</a> &middot; " +
         HtmlEscape(moderator) + " reviewing &middot; " + std::to_string(waiting) +
         (waiting == 1 ? " run waits" : " runs wait") +
         ", the oldest first: runs held for signs of machine play, and runs that would take a "
         "top place of their board</p>\n";
  for (const ReviewItem& item : items) out += Item(item);
  return out + "</body></html>\n";
}

std::string ReviewDoneHtml(const std::string& what) {
  return PageHead("Zumble: review") + "<h1>Review</h1><p>" + HtmlEscape(what) +
         "</p><p><a href=\"/review\">Back to the review queue</a></p></body></html>\n";
}

}  // namespace board
