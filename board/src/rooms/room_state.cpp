#include "rooms/room_state.h"

#include <openssl/rand.h>

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "replay/core/replay_bounds.h"
#include "replay/core/replay_format.h"
#include "trust/digest.h"

namespace board {

namespace {

// No round lasts longer than the slowest time the game keeps (59:59.999): a racer who
// has sent nothing by then has left.
constexpr auto kLongestRound = std::chrono::hours(1) + std::chrono::minutes(1);

RoomAnswer Refuse(int status, const char* code, std::string message) {
  return RoomAnswer{status, code, std::move(message)};
}

int64_t MsBetween(RoomClock::time_point from, RoomClock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

void EndIdleRooms(Rooms* rooms, RoomClock::time_point now) {
  const auto idle = std::chrono::milliseconds(rooms->limits.idle_ms);
  for (auto it = rooms->open.begin(); it != rooms->open.end();)
    it = now - it->second.used > idle ? rooms->open.erase(it) : std::next(it);
}

int Present(const Room& room) { return static_cast<int>(room.racers.size()); }

// The countdown begins: every racer present gets a row, nobody gets the seed yet.
void BeginCountdown(Rooms* rooms, Room* room, RoomClock::time_point now) {
  room->racing = true;
  room->race = Race{};
  room->race.number = static_cast<int>(room->finished.size()) + 1;
  if (!room->finished.empty()) room->race.number = room->finished.back().number + 1;
  room->race.starts = now + std::chrono::milliseconds(rooms->limits.countdown_ms);
  for (const Racer& r : room->racers) {
    RaceResult row;
    row.racer = r.token;
    row.name = r.name;
    room->race.results.push_back(std::move(row));
  }
}

nlohmann::json ResultsJson(const std::vector<RaceResult>& results, bool live) {
  nlohmann::json list = nlohmann::json::array();
  for (const RaceResult& r : results) {
    nlohmann::json row = {{"name", r.name}, {"status", r.status}};
    if (!r.reason.empty()) row["reason"] = r.reason;
    if (r.time_ms >= 0) row["time_ms"] = r.time_ms;
    if (r.run > 0) row["run"] = r.run;
    if (live && (r.streaming || !r.swat_ms.empty())) {
      // Every swat's clock, so that a follower who looks less often misses none.
      row["swats"] = r.swat_ms.size();
      row["clock_ms"] = r.swat_ms.empty() ? 0 : r.swat_ms.back();
      row["delta_ms"] = SwatDelta(results, r);
      row["swat_ms"] = r.swat_ms;
    }
    list.push_back(std::move(row));
  }
  return list;
}

}  // namespace

std::string RandomToken(int bytes) {
  unsigned char raw[32];
  if (bytes > 32 || RAND_bytes(raw, bytes) != 1) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < bytes; ++i) {
    out += kHex[raw[i] >> 4];
    out += kHex[raw[i] & 15];
  }
  return out;
}

int64_t DealSeed(int64_t now, int64_t oldest) {
  uint32_t back = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&back), sizeof back) != 1) return -1;
  int64_t seed = now - static_cast<int64_t>(back % 86400);
  return seed < oldest ? oldest : seed;
}

RoomAnswer CreateRoom(Rooms* rooms, const std::string& address, int flies, int speed,
                      const std::string& name, RoomClock::time_point now, Room** out) {
  bool known = false;
  for (int n : kReplayFlies) known = known || n == flies;
  if (!known) return Refuse(400, "bad_mode", "flies is 10, 30, 100 or 1000");
  if (speed < 1 || speed > 4) return Refuse(400, "bad_mode", "speed is 1, 2, 3 or 4");
  EndIdleRooms(rooms, now);
  int mine = 0;
  for (const auto& entry : rooms->open) mine += entry.second.creator == address ? 1 : 0;
  if (mine >= rooms->limits.rooms_per_address)
    return Refuse(429, "too_many_rooms",
                  "this address has " + std::to_string(mine) +
                      " rooms open, as many as the board keeps for one; rooms nobody uses end "
                      "after " +
                      std::to_string(rooms->limits.idle_ms / 60000) + " minutes");
  if (static_cast<int>(rooms->open.size()) >= rooms->limits.rooms)
    return Refuse(503, "busy", "the board has as many rooms open as it keeps; try again later");
  Room room;
  room.id = RandomToken(6);
  room.host_token = RandomToken(16);
  if (room.id.empty() || room.host_token.empty() || rooms->open.count(room.id))
    return Refuse(503, "busy", "the board could not make a room; try again");
  room.name = name;
  room.flies = flies;
  room.speed = speed;
  room.creator = address;
  room.used = now;
  Room& kept = rooms->open[room.id] = std::move(room);
  *out = &kept;
  return {};
}

Room* FindRoom(Rooms* rooms, const std::string& id, RoomClock::time_point now) {
  EndIdleRooms(rooms, now);
  auto it = rooms->open.find(id);
  if (it == rooms->open.end()) return nullptr;
  it->second.used = now;
  return &it->second;
}

RoomAnswer JoinRoom(Rooms* rooms, Room* room, const std::string& name, const std::string& fold,
                    const std::string& key, Racer** out) {
  for (const Racer& r : room->racers)
    if (r.fold == fold)
      return Refuse(409, "name_in_room", "a racer in this room has that name (or one like it)");
  if (Present(*room) >= rooms->limits.racers)
    return Refuse(409, "room_full",
                  "the room has " + std::to_string(rooms->limits.racers) +
                      " racers, as many as a room takes");
  Racer racer;
  racer.token = RandomToken(16);
  if (racer.token.empty()) return Refuse(503, "busy", "the board could not join you; try again");
  racer.name = name;
  racer.fold = fold;
  racer.key = key;
  room->racers.push_back(std::move(racer));
  *out = &room->racers.back();
  return {};
}

Racer* FindRacer(Room* room, const std::string& token) {
  if (token.empty()) return nullptr;
  for (Racer& r : room->racers)
    if (SameSecret(r.token, token)) return &r;
  return nullptr;
}

RoomAnswer SetReady(Rooms* rooms, Room* room, Racer* racer, bool ready, RoomClock::time_point now) {
  if (room->racing) return Refuse(409, "racing", "a race is under way in this room");
  racer->ready = ready;
  for (const Racer& r : room->racers)
    if (!r.ready) return {};
  BeginCountdown(rooms, room, now);
  return {};
}

RoomAnswer StartNow(Rooms* rooms, Room* room, RoomClock::time_point now) {
  if (room->racing) return Refuse(409, "racing", "a race is under way in this room");
  if (Present(*room) == 0) return Refuse(409, "no_racers", "nobody is in the room to race");
  BeginCountdown(rooms, room, now);
  return {};
}

RaceResult* RaceRowOf(Room* room, const Racer& racer) {
  if (!room->racing) return nullptr;
  for (RaceResult& row : room->race.results)
    if (row.racer == racer.token) return &row;
  return nullptr;
}

void FinishRow(Rooms* rooms, Room* room) {
  for (const RaceResult& r : room->race.results)
    if (r.status == "racing" || r.status == "checking") return;
  room->finished.push_back(std::move(room->race));
  if (static_cast<int>(room->finished.size()) > rooms->limits.races_kept)
    room->finished.erase(room->finished.begin());
  room->race = Race{};
  room->racing = false;
  // A rematch: everyone says again that they are ready.
  for (Racer& r : room->racers) r.ready = false;
}

void LeaveRoom(Rooms* rooms, Room* room, Racer* racer) {
  RaceResult* row = RaceRowOf(room, *racer);
  const std::string token = racer->token;
  std::erase_if(room->feeds, [&](const RacerFeed& f) { return f.token == token; });
  // Gone from the room at once (its race row, if any, stays), so that joining and
  // leaving again and again keeps nothing.
  std::erase_if(room->racers, [&](const Racer& r) { return r.token == token; });
  if (row && row->status == "racing") {
    row->status = "left";
    FinishRow(rooms, room);
  }
}

void AdvanceRace(Rooms* rooms, Room* room, RoomClock::time_point now, int64_t wall_now,
                 int64_t oldest_seed) {
  if (!room->racing) return;
  if (room->race.seed < 0 && now >= room->race.starts)
    room->race.seed = DealSeed(wall_now, oldest_seed);
  if (now - room->race.starts <= kLongestRound) return;
  for (RaceResult& r : room->race.results)
    if (r.status == "racing") r.status = "left";
  FinishRow(rooms, room);
}

std::string RoomJson(const Room& room, RoomClock::time_point now) {
  nlohmann::json out = {{"id", room.id},       {"name", room.name},
                        {"flies", room.flies}, {"speed", room.speed},
                        {"state", "lobby"},    {"racers", nlohmann::json::array()}};
  for (const Racer& r : room.racers)
    out["racers"].push_back({{"name", r.name}, {"ready", r.ready}});
  if (room.racing) {
    const bool started = room.race.seed >= 0;
    out["state"] = started ? "racing" : "countdown";
    nlohmann::json race = {{"number", room.race.number},
                           {"results", ResultsJson(room.race.results, true)}};
    if (started) {
      race["seed"] = room.race.seed;
      race["elapsed_ms"] = MsBetween(room.race.starts, now);
    } else {
      race["starts_in_ms"] = MsBetween(now, room.race.starts);
    }
    out["race"] = std::move(race);
  }
  nlohmann::json finished = nlohmann::json::array();
  for (const Race& race : room.finished)
    finished.push_back({{"number", race.number},
                        {"seed", race.seed},
                        {"results", ResultsJson(race.results, false)}});
  out["races"] = std::move(finished);
  return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

RoomAnswer FollowerPlace(Rooms* rooms, const std::string& id, bool take) {
  std::lock_guard<std::mutex> hold(rooms->lock);
  Room* room = FindRoom(rooms, id, RoomClock::now());
  if (!room) return take ? Refuse(404, "no_room", "there is no such room (now)") : RoomAnswer{};
  if (!take) {
    room->followers -= room->followers > 0 ? 1 : 0;
    return {};
  }
  if (room->followers >= rooms->limits.followers)
    return Refuse(503, "busy",
                  "the room has " + std::to_string(rooms->limits.followers) +
                      " followers, as many as it takes; try again later");
  ++room->followers;
  return {};
}

namespace {

void WakeSpectators(const Room& room, const RacerFeed& feed) {
  for (const Spectator& s : room.spectators)
    if (s.fold == feed.fold) s.who->Wake();
}

}  // namespace

RacerFeed* FeedOf(Room* room, const std::string& token) {
  for (RacerFeed& f : room->feeds)
    if (f.token == token) return &f;
  return nullptr;
}

RacerFeed* StartFeed(Room* room, const Racer& racer, int race, std::string_view header,
                     int connection) {
  RacerFeed* feed = FeedOf(room, racer.token);
  if (!feed) {
    room->feeds.emplace_back();
    feed = &room->feeds.back();
    feed->token = racer.token;
  }
  feed->fold = racer.fold;
  feed->race = race;
  feed->header.assign(header);
  feed->frames.clear();
  feed->end.clear();
  feed->connection = connection;
  feed->playing.reset();
  WakeSpectators(*room, *feed);
  return feed;
}

RacerFeed* ResumableFeed(Room* room, const Racer& racer) {
  RaceResult* row = RaceRowOf(room, racer);
  RacerFeed* feed = FeedOf(room, racer.token);
  if (!row || !feed || room->race.seed < 0 || row->status != "racing" || !row->streaming)
    return nullptr;
  if (feed->race != room->race.number || !feed->end.empty() || !feed->playing) return nullptr;
  return feed;
}

FeedTaken FeedRecord(Room* room, RacerFeed* feed, int connection, char kind, std::string_view body,
                     std::string* file) {
  if (connection != feed->connection) return FeedTaken::kStale;
  if (!feed->end.empty() || (kind != 'f' && kind != 'e')) return FeedTaken::kBadRecord;
  if (feed->header.size() + feed->frames.size() + body.size() > kReplayMaxFile + kReplayHeaderSize)
    return FeedTaken::kTooLarge;
  if (kind == 'f') {
    feed->frames.append(body);
    WakeSpectators(*room, *feed);
    return FeedTaken::kTaken;
  }
  if (body.size() < kReplayHeaderSize) return FeedTaken::kBadRecord;
  feed->end.assign(body);
  // The whole round: the header as it ended, the frames, the tail.
  file->assign(body.substr(0, kReplayHeaderSize));
  file->append(feed->frames);
  file->append(body.substr(kReplayHeaderSize));
  WakeSpectators(*room, *feed);
  return FeedTaken::kEnded;
}

bool AddSpectator(Rooms* rooms, Room* room, const std::string& fold, FeedWatcher* who) {
  if (static_cast<int>(room->spectators.size()) >= rooms->limits.spectators) return false;
  room->spectators.push_back(Spectator{fold, who});
  return true;
}

void DropSpectator(Room* room, const FeedWatcher* who) {
  std::erase_if(room->spectators, [&](const Spectator& s) { return s.who == who; });
}

bool NoteSwat(const Room& room, RaceResult* row, int64_t clock_ms) {
  if (static_cast<int64_t>(row->swat_ms.size()) >= room.flies) return false;
  row->swat_ms.push_back(clock_ms);
  return true;
}

int64_t SwatDelta(const std::vector<RaceResult>& rows, const RaceResult& row) {
  const size_t n = row.swat_ms.size();
  if (n == 0) return 0;
  int64_t first = row.swat_ms[n - 1];
  for (const RaceResult& other : rows)
    if (other.swat_ms.size() >= n) first = std::min(first, other.swat_ms[n - 1]);
  return row.swat_ms[n - 1] - first;
}

bool FramesInTime(const Rooms& rooms, const Room& room, int64_t frames, RoomClock::time_point now) {
  const int64_t played_ms = frames * 1000 / 60;
  return played_ms - rooms.limits.allowance_ms <= MsBetween(room.race.starts, now);
}

bool RoomJsonNow(Rooms* rooms, const std::string& id, int64_t oldest_seed, std::string* out) {
  std::lock_guard<std::mutex> hold(rooms->lock);
  const RoomClock::time_point now = RoomClock::now();
  Room* room = FindRoom(rooms, id, now);
  if (!room) return false;
  AdvanceRace(rooms, room, now, static_cast<int64_t>(time(nullptr)), oldest_seed);
  *out = RoomJson(*room, now);
  return true;
}

}  // namespace board
