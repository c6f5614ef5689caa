// The board's JSON answers, built as values and written by nlohmann/json (Debian's
// nlohmann-json3-dev): header-only, so it takes nothing from the Boost the server runs
// on (Boost.JSON came after Debian 12's Boost 1.74); its ordered_json keeps the fields in
// the order they are set, and its writer gives ASCII only (\u escapes) with broken UTF-8
// as U+FFFD. Only this file includes it.
#include <algorithm>
#include <nlohmann/json.hpp>

#include "pages/render.h"
#include "replay/core/mode_words.h"

namespace board {

namespace {

using Json = nlohmann::ordered_json;

// The text of a value: plain ASCII, and no <, > or &, so that the JSON stays inert if
// anyone pastes it into a page. Those three occur only inside strings in JSON text.
std::string Text(const Json& value) {
  std::string json = value.dump(-1, ' ', true, Json::error_handler_t::replace);
  std::string out;
  out.reserve(json.size());
  for (char c : json) {
    if (c == '<')
      out += "\\u003c";
    else if (c == '>')
      out += "\\u003e";
    else if (c == '&')
      out += "\\u0026";
    else
      out += c;
  }
  return out;
}

// A mode's speed as the mode-select screen writes it, beside its number.
Json SpeedWordOf(int speed) {
  const char* word = SpeedWord(speed);
  return word ? Json(word) : Json(nullptr);
}

Json DateOrNull(int64_t seconds) { return seconds >= 0 ? Json(IsoDate(seconds)) : Json(nullptr); }

std::string ReplayPath(int64_t id) { return "/api/runs/" + std::to_string(id) + "/replay"; }

// A run's fields, after whatever the object already holds (a rank, "best").
void AddRun(Json* out, const Run& run) {
  Json& o = *out;
  o["id"] = run.id;
  o["name"] = run.name;
  o["flies"] = run.flies;
  o["speed"] = run.speed;
  o["speed_word"] = SpeedWordOf(run.speed);
  o["time_ms"] = run.time_ms;
  o["frames"] = run.frames;
  o["date"] = IsoDate(run.created);
  o["played"] = DateOrNull(run.played);
  o["program"] = run.program.empty() ? Json(nullptr) : Json(run.program);
  o["touch"] = run.touch;
  o["pad"] = run.pad;
  o["keys"] = run.rate_keys;
  o["replay"] = ReplayPath(run.id);
}

Json BoardValue(const ModeBoard& board) {
  Json o = {
      {"flies", board.flies}, {"speed", board.speed},   {"speed_word", SpeedWordOf(board.speed)},
      {"total", board.total}, {"offset", board.offset}, {"runs", Json::array()}};
  for (size_t i = 0; i < board.runs.size(); ++i) {
    Json run = {{"rank", board.offset + static_cast<int64_t>(i) + 1}};
    AddRun(&run, board.runs[i]);
    o["runs"].push_back(std::move(run));
  }
  // Each of a mode's two boards names the other.
  bool keys = board.pace == Pace::kKeys;
  o["with_keys"] = keys;
  o[keys ? "dealt_board" : "keys_board"] =
      BoardPath(board.flies, board.speed, keys ? Pace::kDealt : Pace::kKeys, true);
  return o;
}

}  // namespace

std::string JsonString(std::string_view text) { return Text(Json(std::string(text))); }

std::string JsonListOf(std::string_view items) {
  Json list = Json::array();
  while (!items.empty()) {
    const size_t comma = std::min(items.find(','), items.size());
    list.push_back(std::string(items.substr(0, comma)));
    items.remove_prefix(std::min(comma + 1, items.size()));
  }
  return Text(list);
}

std::string JsonObjectOf(const std::vector<std::pair<std::string, std::string>>& members) {
  Json o = Json::object();
  for (const auto& [name, value] : members) {
    Json parsed = Json::parse(value, nullptr, false);
    if (!parsed.is_discarded()) o[name] = std::move(parsed);
  }
  return Text(o);
}

std::string RunJson(const Run& run) {
  Json o = Json::object();
  AddRun(&o, run);
  return Text(o);
}

std::string RankedRunJson(const Run& run, int64_t rank) {
  Json o = {{"rank", rank}};
  AddRun(&o, run);
  o["board"] = BoardPath(run.flies, run.speed, PaceOf(run), true);
  return Text(o) + "\n";
}

std::string BoardJson(const ModeBoard& board) { return Text(BoardValue(board)); }

std::string BoardsJson(const std::vector<ModeBoard>& boards) {
  Json o = {{"boards", Json::array()}};
  for (const ModeBoard& b : boards) o["boards"].push_back(BoardValue(b));
  return Text(o) + "\n";
}

// Runs awaiting a moderator's review: what they would be, not yet on the board.
static Json AwaitingValue(const std::vector<Run>& runs) {
  Json list = Json::array();
  for (const Run& r : runs)
    list.push_back({{"id", r.id},
                    {"name", r.name},
                    {"flies", r.flies},
                    {"speed", r.speed},
                    {"time_ms", r.time_ms},
                    {"sent", IsoDate(r.created)},
                    {"state", "awaiting review"}});
  return list;
}

std::string ModePageJson(const ModePage& page) {
  Json o = BoardValue(page.board);
  o["limit"] = page.limit;
  if (page.you.empty())
    o["you"] = nullptr;
  else
    o["you"] = {{"name", page.you}, {"rank", page.you_rank ? Json(page.you_rank) : Json(nullptr)}};
  o["awaiting"] = AwaitingValue(page.awaiting);
  return Text(o) + "\n";
}

std::string AcceptedJson(const Run& run, int64_t rank, bool existed, const std::string& key) {
  Json o = {{"id", run.id},
            {"mode",
             {{"flies", run.flies}, {"speed", run.speed}, {"speed_word", SpeedWordOf(run.speed)}}},
            {"time_ms", run.time_ms},
            {"rank", rank},
            {"name", run.name},
            {"replay", ReplayPath(run.id)},
            {"already_stored", existed},
            {"personal_best", run.personal},
            {"record", run.record},
            {"keys", run.rate_keys},
            {"board", BoardPath(run.flies, run.speed, PaceOf(run), true)}};
  // The key goes out once, with the run that claimed the name; the board keeps its hash.
  if (!key.empty()) o["key"] = key;
  return Text(o) + "\n";
}

std::string ErrorJson(int status, std::string_view reason) {
  return Text(Json{{"error", ErrorCode(status)}, {"message", std::string(reason)}}) + "\n";
}

std::string PlayerJson(const PlayerPage& page) {
  Json o = {{"name", page.player.name},
            {"since", IsoDate(page.player.created)},
            {"total", page.runs.total},
            {"offset", page.runs.offset},
            {"runs", Json::array()}};
  for (const Run& r : page.runs.runs) {
    Json run = {{"best", r.best}};
    AddRun(&run, r);
    o["runs"].push_back(std::move(run));
  }
  o["awaiting"] = AwaitingValue(page.awaiting);
  return Text(o) + "\n";
}

}  // namespace board
