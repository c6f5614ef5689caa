// The rooms' routes: making a room, its state, joining, ready, start, leaving, and a
// racer's round on the race's seed, checked and stored as every submission is
// (docs/rooms.md). The room's state is rooms/room_state.h's; this file reads requests.
#include <ctime>
#include <nlohmann/json.hpp>

#include "http/client_address.h"
#include "http/request_parse.h"
#include "http/room_relay.h"
#include "pages/render.h"
#include "pages/room_page.h"
#include "pages/static_files.h"
#include "replay/core/replay_bounds.h"
#include "replay/core/replay_format.h"
#include "rooms/room_state.h"
#include "routes/route_kit.h"
#include "routes/routes.h"
#include "store/store.h"
#include "submit.h"
#include "trust/digest.h"
#include "trust/name_fold.h"
#include "trust/name_rules.h"

namespace board {

namespace {

constexpr size_t kMaxRoomName = 64;  // bytes of a room's name
constexpr size_t kMaxJson = 4096;    // bytes of a room action's body

int64_t WallNow() { return static_cast<int64_t>(time(nullptr)); }

void Answer(HttpResponse* res, const RoomAnswer& a) {
  SendJson(res, a.status,
           JsonObjectOf({{"error", JsonString(a.code)}, {"message", JsonString(a.message)}}));
}

void NoRoom(HttpResponse* res) { Answer(res, {404, "no_room", "there is no such room (now)"}); }
void NotRacer(HttpResponse* res) {
  Answer(res, {403, "not_racer", "racer= is not the pass of a racer in this room"});
}

// The body as a JSON object; false with the answer sent when it is not one.
bool ReadBody(const HttpRequest& req, nlohmann::json* out, HttpResponse* res) {
  if (req.body.empty()) {
    *out = nlohmann::json::object();
    return true;
  }
  if (req.body.size() > kMaxJson) {
    Answer(res, {413, "too_large", "a room's request is a small JSON object"});
    return false;
  }
  *out = nlohmann::json::parse(req.body, nullptr, false);
  if (out->is_object()) return true;
  Answer(res, {400, "bad_json", "the body is not a JSON object"});
  return false;
}

// A whole number member, `fallback` when absent; false when it is there and not one.
bool WholeMember(const nlohmann::json& body, const char* name, int fallback, int* out) {
  auto it = body.find(name);
  if (it == body.end()) {
    *out = fallback;
    return true;
  }
  if (!it->is_number_integer()) return false;
  const int64_t v = it->get<int64_t>();
  if (v < -1000000 || v > 1000000) return false;
  *out = static_cast<int>(v);
  return true;
}

bool TextMember(const nlohmann::json& body, const char* name, std::string* out) {
  auto it = body.find(name);
  if (it == body.end()) return true;
  if (!it->is_string()) return false;
  *out = it->get<std::string>();
  return true;
}

void PostRoom(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  nlohmann::json body;
  if (!ReadBody(req, &body, res)) return;
  int flies = 0, speed = 0;
  std::string name;
  if (!WholeMember(body, "flies", 0, &flies) || !WholeMember(body, "speed", 0, &speed))
    return Answer(res, {400, "bad_mode", "flies and speed are whole numbers"});
  if (!TextMember(body, "name", &name) || name.size() > kMaxRoomName)
    return Answer(res, {400, "bad_name", "a room's name is text of at most 64 bytes"});
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return Answer(res, {400, "bad_name", "a room's name has no control characters"});
  Room* room = nullptr;
  std::string id, host;
  {
    std::lock_guard<std::mutex> hold(ctx->rooms.lock);
    RoomAnswer a = CreateRoom(&ctx->rooms, AddressKey(req.client), flies, speed, name,
                              RoomClock::now(), &room);
    if (a.status) return Answer(res, a);
    id = room->id;
    host = room->host_token;
  }
  RelayRoomMade(ctx->relay, id);
  std::string base = FeedBase(*ctx, req);
  std::string live =
      (base.rfind("https:", 0) == 0 ? "wss:" : "ws:") + base.substr(base.find(':') + 1);
  SendJson(res, 201,
           JsonObjectOf({{"id", JsonString(id)},
                         {"page", JsonString("/rooms/" + id)},
                         {"play", JsonString("/play/?room=" + id)},
                         {"live", JsonString(live + "/api/rooms/" + id + "/live")},
                         {"host", JsonString(host)}}));
}

void GetRoom(Context* ctx, const HttpRequest&, const Args& args, HttpResponse* res) {
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  const RoomClock::time_point now = RoomClock::now();
  Room* room = FindRoom(&ctx->rooms, args[0], now);
  if (!room) return NoRoom(res);
  AdvanceRace(&ctx->rooms, room, now, WallNow(), ctx->options->oldest_seed);
  res->AddHeader("Cache-Control", "no-store");
  SendJson(res, 200, RoomJson(*room, now));
}

// The room's page, for people: as it is now (its script keeps it so). A room that is not
// there is a page too, with the way back.
void RoomPage(Context* ctx, const HttpRequest&, const Args& args, HttpResponse* res) {
  std::string html;
  {
    std::lock_guard<std::mutex> hold(ctx->rooms.lock);
    const RoomClock::time_point now = RoomClock::now();
    Room* room = FindRoom(&ctx->rooms, args[0], now);
    if (room) {
      AdvanceRace(&ctx->rooms, room, now, WallNow(), ctx->options->oldest_seed);
      html = RoomPageHtml(*room, now);
    }
  }
  res->AddHeader("Cache-Control", "no-store");
  if (html.empty())
    return res->Set(404, "text/html; charset=utf-8",
                    ErrorPageHtml(404,
                                  "There is no such room (now): rooms nobody is in end "
                                  "after a while"));
  res->AddHeader("Content-Security-Policy", PageSecurityPolicy(html));
  res->Set(200, "text/html; charset=utf-8", std::move(html));
}

void PostJoin(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  nlohmann::json body;
  if (!ReadBody(req, &body, res)) return;
  std::string raw, key, name;
  if (!TextMember(body, "name", &raw) || !TextMember(body, "key", &key) || key.size() > 128)
    return Answer(res, {400, "bad_name", "name and key are text"});
  if (!ParseName(raw, &name))
    return Answer(res, {400, "bad_name",
                        "a name is 1 to 16 letters (of any alphabet), digits, spaces or - _ ."});
  std::string unclear = NameRefusal(name);
  if (!unclear.empty()) return Answer(res, {400, "bad_name", unclear});
  const std::string fold = FoldName(name);
  {
    std::lock_guard<std::mutex> hold(ctx->rooms.lock);
    if (!FindRoom(&ctx->rooms, args[0], RoomClock::now())) return NoRoom(res);
  }
  // A keyed name races only with its key, as its runs are sent.
  Stored check;
  if (!ctx->store->CheckName(fold, key, &check)) return DatabaseDown(ctx, res);
  if (check.outcome == Stored::kNameTaken)
    return Answer(res, {403, "name_taken",
                        "the name " + check.holder +
                            " belongs to another player; send the key it came with"});
  if (check.outcome == Stored::kBadKey)
    return Answer(res, {403, "bad_key", "that is not the key of the name " + check.holder});
  if (check.outcome != Stored::kStored)
    return Answer(res, {403, "banned", "this board takes no runs under that name"});
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  Room* room = FindRoom(&ctx->rooms, args[0], RoomClock::now());
  if (!room) return NoRoom(res);
  Racer* racer = nullptr;
  RoomAnswer a = JoinRoom(&ctx->rooms, room, name, fold, key, &racer);
  if (a.status) return Answer(res, a);
  SendJson(res, 201,
           JsonObjectOf({{"racer", JsonString(racer->token)}, {"name", JsonString(name)}}));
}

// The room and the racer a request names (?racer=), with the lock held; false with the
// answer sent when either is not there.
bool RoomAndRacer(Context* ctx, const HttpRequest& req, const Args& args, Room** room,
                  Racer** racer, HttpResponse* res) {
  const RoomClock::time_point now = RoomClock::now();
  *room = FindRoom(&ctx->rooms, args[0], now);
  if (!*room) {
    NoRoom(res);
    return false;
  }
  AdvanceRace(&ctx->rooms, *room, now, WallNow(), ctx->options->oldest_seed);
  std::string token;
  req.Param("racer", &token);
  *racer = FindRacer(*room, token);
  if (!*racer) NotRacer(res);
  return *racer != nullptr;
}

void PostReady(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  nlohmann::json body;
  if (!ReadBody(req, &body, res)) return;
  auto it = body.find("ready");
  if (it != body.end() && !it->is_boolean())
    return Answer(res, {400, "bad_json", "ready is true or false"});
  const bool ready = it == body.end() || it->get<bool>();
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  Room* room;
  Racer* racer;
  if (!RoomAndRacer(ctx, req, args, &room, &racer, res)) return;
  RoomAnswer a = SetReady(&ctx->rooms, room, racer, ready, RoomClock::now());
  if (a.status) return Answer(res, a);
  SendJson(res, 200, RoomJson(*room, RoomClock::now()));
}

void PostStart(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  const RoomClock::time_point now = RoomClock::now();
  Room* room = FindRoom(&ctx->rooms, args[0], now);
  if (!room) return NoRoom(res);
  std::string host;
  if (!req.Param("host", &host) || !SameSecret(host, room->host_token))
    return Answer(res, {403, "not_host", "host= is not the pass of the room's creator"});
  RoomAnswer a = StartNow(&ctx->rooms, room, now);
  if (a.status) return Answer(res, a);
  SendJson(res, 200, RoomJson(*room, now));
}

void PostLeave(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  Room* room;
  Racer* racer;
  if (!RoomAndRacer(ctx, req, args, &room, &racer, res)) return;
  LeaveRoom(&ctx->rooms, room, racer);
  SendJson(res, 200, RoomJson(*room, RoomClock::now()));
}

// What a round's header must say to be this race's: its mode, its seed, and no more
// frames than real time since the start allows. Empty when it may be verified.
RoomAnswer CheckRound(const Rooms& rooms, const Room& room, std::string_view replay,
                      RoomClock::time_point now) {
  ReplayHeader h;
  if (!ReplayReadHeader(reinterpret_cast<const uint8_t*>(replay.data()), replay.size(), &h))
    return {400, "bad_replay", "the body is not a replay this board reads"};
  const int flies = h.flySetting < 4 ? kReplayFlies[h.flySetting] : 0;
  if (flies != room.flies || h.speedSetting + 1 != room.speed)
    return {409, "room_mode",
            "the room races " + std::to_string(room.flies) + " flies at speed " +
                std::to_string(room.speed) + "; the round is another mode"};
  if (static_cast<int64_t>(h.calendarTime) != room.race.seed)
    return {409, "room_seed", "the round was not played on the seed the room dealt"};
  const int64_t played_ms = static_cast<int64_t>(h.frames) * 1000 / 60;
  const int64_t since_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - room.race.starts).count();
  if (played_ms - rooms.limits.allowance_ms > since_ms)
    return {409, "too_fast",
            "the round has " + std::to_string(h.frames) + " frames (" + std::to_string(played_ms) +
                " ms), more than the " + std::to_string(since_ms) +
                " ms since the race started: a room takes no round played faster than real "
                "time"};
  return {};
}

// The racer's result from the submission's outcome.
void KeepOutcome(const Outcome& o, RaceResult* row) {
  // An unfiled run is verified and stored, on no board until the board's game says how
  // the round was dealt.
  if (o.status == 200 || o.status == 201 || (o.status == 202 && o.refusal.code == "unfiled")) {
    row->status = "verified";
    row->time_ms = o.run.time_ms;
    row->run = o.run.id;
  } else if (o.refusal.code == "held") {
    row->status = "held";
    row->reason = "held";
  } else {
    row->status = "refused";
    row->reason = o.refusal.code;
  }
}

// The board's passing trouble, after which the racer may send the round again.
bool SendAgain(const Outcome& o) { return o.status == 429 || o.status == 503 || o.status == 507; }

void PostRound(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  std::string token;
  {
    std::lock_guard<std::mutex> hold(ctx->rooms.lock);
    Room* room;
    Racer* racer;
    if (!RoomAndRacer(ctx, req, args, &room, &racer, res)) return;
    token = racer->token;
  }
  SendRoomRound(ctx, args[0], token, req.client, req.id, req.body, res);
}

}  // namespace

RoomAnswer StartRoomStream(Context* ctx, const std::string& id, const std::string& token,
                           std::string_view header, int* race_number) {
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  const RoomClock::time_point now = RoomClock::now();
  Room* room = FindRoom(&ctx->rooms, id, now);
  if (!room) return {404, "no_room", "there is no such room (now)"};
  AdvanceRace(&ctx->rooms, room, now, WallNow(), ctx->options->oldest_seed);
  Racer* racer = FindRacer(room, token);
  if (!racer) return {403, "not_racer", "racer= is not the pass of a racer in this room"};
  RaceResult* row = RaceRowOf(room, *racer);
  if (!row || room->race.seed < 0)
    return {409, "no_race", "no race of yours is under way in this room"};
  if (row->status != "racing" || row->streaming)
    return {409, "sent", "your round of this race is " + row->status + " or streamed already"};
  RoomAnswer a = CheckRound(ctx->rooms, *room, header, now);
  if (a.status) {
    if (a.code != "bad_replay") {
      row->status = "refused";
      row->reason = a.code;
      FinishRow(&ctx->rooms, room);
    }
    return a;
  }
  row->streaming = true;
  *race_number = room->race.number;
  return {};
}

void RoomTextMessage(Context* ctx, const std::string& id, const std::string& token,
                     std::string_view text) {
  if (text.size() > kMaxJson) return;
  const nlohmann::json body = nlohmann::json::parse(text, nullptr, false);
  if (!body.is_object() || body.size() != 1) return;
  auto it = body.find("ready");
  if (it == body.end() || !it->is_boolean()) return;
  std::lock_guard<std::mutex> hold(ctx->rooms.lock);
  const RoomClock::time_point now = RoomClock::now();
  Room* room = FindRoom(&ctx->rooms, id, now);
  if (!room) return;
  AdvanceRace(&ctx->rooms, room, now, WallNow(), ctx->options->oldest_seed);
  Racer* racer = FindRacer(room, token);
  if (racer) SetReady(&ctx->rooms, room, racer, it->get<bool>(), now);
}

void SendRoomRound(Context* ctx, const std::string& id, const std::string& token,
                   const std::string& client, const std::string& request_id,
                   const std::string& body, HttpResponse* res) {
  Submission in;
  in.client = client;
  in.has_name = true;
  in.body = body;
  int number = 0;
  {
    std::lock_guard<std::mutex> hold(ctx->rooms.lock);
    const RoomClock::time_point now = RoomClock::now();
    Room* room = FindRoom(&ctx->rooms, id, now);
    if (!room) return NoRoom(res);
    AdvanceRace(&ctx->rooms, room, now, WallNow(), ctx->options->oldest_seed);
    Racer* racer = FindRacer(room, token);
    if (!racer) return NotRacer(res);
    RaceResult* row = RaceRowOf(room, *racer);
    if (!row || room->race.seed < 0)
      return Answer(res, {409, "no_race", "no race of yours is under way in this room"});
    if (row->status != "racing")
      return Answer(res, {409, "sent", "your round of this race is " + row->status});
    RoomAnswer a = CheckRound(ctx->rooms, *room, body, RoomClock::now());
    if (a.status) {
      // Only a round in another form is worth sending again; a round of another
      // seed or one sent too soon is the race's answer.
      if (a.code != "bad_replay") {
        row->status = "refused";
        row->reason = a.code;
        FinishRow(&ctx->rooms, room);
      }
      return Answer(res, a);
    }
    row->status = "checking";
    in.raw_name = racer->name;
    in.key = racer->key;
    number = room->race.number;
  }
  Outcome o = Submit(ctx, in);
  LogSubmission(request_id, client, o);
  {
    std::lock_guard<std::mutex> hold(ctx->rooms.lock);
    Room* room = FindRoom(&ctx->rooms, id, RoomClock::now());
    Racer* racer = room ? FindRacer(room, token) : nullptr;
    RaceResult* row = racer ? RaceRowOf(room, *racer) : nullptr;
    if (row && room->race.number == number && row->status == "checking") {
      if (SendAgain(o)) {
        row->status = "racing";
      } else {
        KeepOutcome(o, row);
        FinishRow(&ctx->rooms, room);
      }
    }
  }
  if (o.retry_after) res->AddHeader("Retry-After", o.retry_after);
  SendJson(res, o.status, OutcomeJson(o));
}

namespace {

// The rows of this file's routes (route_kit.h).
constexpr Route kRoomsRows[] = {
    {.method = "POST", .pattern = "/api/rooms", .handle = PostRoom},
    {.method = "GET", .pattern = "/api/rooms/*", .handle = GetRoom},
    {.method = "GET", .pattern = "/rooms/*", .handle = RoomPage},
    {.method = "POST", .pattern = "/api/rooms/*/join", .handle = PostJoin},
    {.method = "POST", .pattern = "/api/rooms/*/ready", .handle = PostReady, .params = "racer"},
    {.method = "POST", .pattern = "/api/rooms/*/start", .handle = PostStart, .params = "host"},
    {.method = "POST", .pattern = "/api/rooms/*/leave", .handle = PostLeave, .params = "racer"},
    {.method = "POST", .pattern = "/api/rooms/*/round", .handle = PostRound, .params = "racer"},
};

}  // namespace

std::span<const Route> RoomsRoutes() { return kRoomsRows; }

}  // namespace board
