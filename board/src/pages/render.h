// What the board shows: JSON for programs (render_json.cpp), plain HTML pages for people
// (render.cpp, render_pages.cpp). Names are checked on the way in, and escaped here all
// the same.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/store.h"

namespace board {

struct ModeBoard {
  int flies = 0;
  int speed = 0;
  Pace pace = Pace::kDealt;
  std::vector<Run> runs;
  int64_t total = 0;   // players on this board
  int64_t offset = 0;  // the rank of runs[0], less one
};

std::string HtmlEscape(std::string_view text);
std::string JsonString(std::string_view text);  // with its quotes
// ["a","b"] of the items of a comma-separated list ("jump_swats:9/10,cursor_speed:9/9").
std::string JsonListOf(std::string_view items);
// An object of members whose values are JSON text already, in their order (a value that
// is not JSON is left out, its member with it).
std::string JsonObjectOf(const std::vector<std::pair<std::string, std::string>>& members);
std::string IsoDate(int64_t seconds);  // 2026-12-08T04:40:43Z
std::string FormatTime(int64_t ms);    // 12.345 s
// A date as people read it, the same for every reader (the pages are kept and shared):
// "9 Dec 2026", or with the clock "9 Dec 2026, 14:03 UTC".
std::string ReadableDate(int64_t seconds, bool with_clock);
// <time datetime="2026-12-09T14:03:12Z">9 Dec 2026</time>, with a title when given.
std::string TimeTag(int64_t seconds, bool with_clock, std::string_view title = "");

std::string Percent(std::string_view text);     // for a path segment or a query value
std::string PlayerPath(std::string_view name);  // /players/NAME
std::string WatchPath(int64_t run_id);          // the page playing the run's replay
std::string RacePath(int64_t run_id);           // the page racing it: a round against it
// A mode's board of a pace: /boards/F/S (as dealt) or /boards/F/S/keys; with `api`,
// its JSON under /api.
std::string BoardPath(int flies, int speed, Pace pace, bool api = false);
// "10 flies, NORMAL" (the mode-select screen's words), and ", with Enter/Space" for
// that board.
std::string ModeWords(int flies, int speed);
std::string BoardTitle(int flies, int speed, Pace pace);

std::string RunJson(const Run& run);
// A shown run with its rank (where it stands, or would, on its board) and its board's
// address.
std::string RankedRunJson(const Run& run, int64_t rank);
// The board's runs, each with its rank; "total" players and the page's "offset".
std::string BoardJson(const ModeBoard& board);
std::string BoardsJson(const std::vector<ModeBoard>& boards);
// A new run (201) or the same round again (200); `key` is the name's new key, once.
std::string AcceptedJson(const Run& run, int64_t rank, bool existed, const std::string& key);
// {"error":CODE,"message":REASON} for a refusal of the transport or a route, its code
// the one of its status (404 not_found, 413 too_large, ...).
std::string ErrorJson(int status, std::string_view reason);
const char* ErrorCode(int status);
// The same refusal as a small page for a person's browser: the status, the reason and the
// way back to the boards.
std::string ErrorPageHtml(int status, std::string_view reason);

std::string BoardsHtml(const std::vector<ModeBoard>& boards);
// The page that answers the upload form: what happened, the name's new key (once; the
// key it takes on approval when the run is held, `claimed` false), and the way back.
std::string SubmitResultHtml(int status, std::string_view message, const Run* run, int64_t rank,
                             std::string_view key, bool claimed);

// What the pages share: the head (title, style, the feed's link), a run's cells
// (rank, name, time, when it was played, watch, race) and how it was played, in words.
std::string PageHead(std::string_view title);
std::string RunCells(const Run& run, int64_t rank);
std::string RunHeads();                  // the header cells over RunCells', one column each
std::string PlayedText(const Run& run);  // "played 8 Dec 2026 with 1.4.0, touch"
std::string PlayedHtml(const Run& run);  // the same, its date a <time> (TimeTag)

struct PlayerPage {
  Player player;
  Page runs;  // every shown run, by mode and pace, each board's fastest first
  // For the charts: each board's runs in the order they were stored (the newest
  // kPlayerChartRuns a board at most).
  std::vector<Run> attempts;
  int limit = 20;
  std::vector<Run> awaiting;  // runs of theirs awaiting review
};
struct ModePage {
  ModeBoard board;
  int limit = 20;
  std::string you;            // the name asked for ("jump to my rank"), as given
  int64_t you_rank = 0;       // its rank, 0 when it has none here
  std::vector<Run> awaiting;  // runs that would take a top place, awaiting review
};
// The runs awaiting review, as a line beside a board or on a player's page ("" none).
std::string AwaitingHtml(const std::vector<Run>& runs, bool with_names);

std::string ModeBoardHtml(const ModePage& page);
// The mode's board as BoardJson, with the page's "limit" and "you": {"name", "rank"} of
// the name asked for (rank null when it has none here), or null.
std::string ModePageJson(const ModePage& page);
std::string PlayerHtml(const PlayerPage& page);
std::string PlayerJson(const PlayerPage& page);
// A board's runs of one player as a chart drawn in SVG (the pages run no script): each
// run's time in the order they were sent, and the best so far as a line.
std::string AttemptsSvg(const std::vector<const Run*>& runs, std::string_view title);
// The Atom feed of records, newest first; `board_id` makes the entries' ids, and every
// link starts with `base` ("https://board.example.org"): feed readers take links as
// they are, without the feed's own address.
std::string RecordsAtom(const std::vector<Run>& records, const std::string& board_id,
                        const std::string& base);

}  // namespace board
