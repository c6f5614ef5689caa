#include "pages/run_page.h"

#include "pages/render.h"

namespace board {

namespace {

std::string Meta(const char* attribute, const char* name, const std::string& content) {
  return std::string("<meta ") + attribute + "=\"" + name + "\" content=\"" + HtmlEscape(content) +
         "\">";
}

std::string Row(const char* what, const std::string& html) {
  return std::string("<tr><th>") + what + "</th><td>" + html + "</td></tr>";
}

// "jump_swats:3,..." as "jump_swats 3, ..."; none for a run a person plainly played.
std::string SignsText(const std::string& signs) {
  if (signs.empty()) return "none: no sign of machine play";
  std::string out;
  for (char c : signs) out += c == ':' ? ' ' : c == ',' ? ';' : c;
  return HtmlEscape(out) + " (approved by an operator)";
}

}  // namespace

std::string RunPath(int64_t run_id) { return "/runs/" + std::to_string(run_id); }

std::string RunPageHtml(const Run& r, int64_t rank, const std::string& base, ClipState clip,
                        bool still) {
  const Pace pace = PaceOf(r);
  const std::string board = BoardTitle(r.flies, r.speed, pace);
  const std::string path = RunPath(r.id);
  const std::string title = r.name + ": " + FormatTime(r.time_ms) + ", " + board;
  const std::string description = "Rank " + std::to_string(rank) + " on the board of " + board +
                                  ", " + PlayedText(r) +
                                  ". Checked by the board, which played its replay.";
  std::string tags =
      Meta("property", "og:title", title) + Meta("property", "og:description", description) +
      Meta("property", "og:type", clip == ClipState::kReady ? "video.other" : "website") +
      Meta("property", "og:url", base + path) +
      Meta("property", "og:site_name", "Zumble best times") + Meta("name", "twitter:title", title) +
      Meta("name", "twitter:description", description);
  if (still)
    tags += Meta("property", "og:image", base + path + "/still.png") +
            Meta("property", "og:image:type", "image/png") +
            Meta("property", "og:image:width", "640") + Meta("property", "og:image:height", "480") +
            Meta("name", "twitter:card", "summary_large_image") +
            Meta("name", "twitter:image", base + path + "/still.png");
  else
    tags += Meta("name", "twitter:card", "summary");
  if (clip == ClipState::kReady)
    tags += Meta("property", "og:video", base + path + "/clip.webm") +
            Meta("property", "og:video:type", "video/webm") +
            Meta("property", "og:video:width", "640") + Meta("property", "og:video:height", "480");
  std::string out = PageHead("Zumble: " + title);
  out.insert(out.find("</head>"),
             tags + "<link rel=\"canonical\" href=\"" + HtmlEscape(base + path) + "\">");

  std::string program = r.program.empty() ? "?" : HtmlEscape(r.program);
  if (r.pad)
    program += ", gamepad";
  else if (r.touch)
    program += ", touch";
  out += "<h1>" + HtmlEscape(r.name) + ": " + FormatTime(r.time_ms) +
         "</h1>\n<p class=\"nav\"><a href=\"/\">All "
         "boards</a> &middot; <a href=\"" +
         WatchPath(r.id) + "\">Watch</a> &middot; <a href=\"" + RacePath(r.id) +
         "\">Race</a> &middot; <a href=\"/api/runs/" + std::to_string(r.id) +
         "/replay\" download>Download replay</a>" +
         (clip == ClipState::kReady ? " &middot; <a href=\"" + path +
                                          "/clip.webm\" download>"
                                          "Download clip</a>"
                                    : "") +
         "</p>\n<section><table class=\"facts\">" +
         Row("Player",
             "<a href=\"" + HtmlEscape(PlayerPath(r.name)) + "\">" + HtmlEscape(r.name) + "</a>") +
         Row("Mode", "<a href=\"" + BoardPath(r.flies, r.speed, pace) + "\">" + board + "</a>") +
         Row("Time", FormatTime(r.time_ms)) + Row("Rank", std::to_string(rank)) +
         Row("Played", r.played >= 0 ? TimeTag(r.played, true) : "?") +
         Row("Sent", TimeTag(r.created, true)) + Row("Recorded by", program) +
         Row("Signs", SignsText(r.signs)) + "</table></section>\n";
  if (clip == ClipState::kReady)
    out +=
        "<video controls preload=\"metadata\" width=\"640\" height=\"480\" "
        "style=\"max-width:100%;height:auto\" src=\"" +
        path + "/clip.webm\"" + (still ? " poster=\"" + path + "/still.png\"" : "") + "></video>\n";
  else if (clip == ClipState::kPending)
    out +=
        "<p class=\"none\" id=\"clip\">The clip is not ready yet: the board makes it when "
        "its verifiers are idle.</p>\n";
  else
    out += "<p class=\"none\" id=\"clip\">No clip is available for this run.</p>\n";
  return out + "</body></html>\n";
}

}  // namespace board
