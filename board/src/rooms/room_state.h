// Rooms where friends race one mode together: their racers, the race under way and the
// results of those before. Held in this server's memory only (a restart ends every
// room); every change goes through one lock. No network, no database here: the routes
// (routes/rooms_routes.cpp) check names and verify rounds, this file keeps the state.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace board {

using RoomClock = std::chrono::steady_clock;

// The limits, documented in docs/rooms.md.
struct RoomLimits {
  int racers = 8;                // in one room
  int rooms_per_address = 4;     // open rooms one address created
  int rooms = 1000;              // open rooms on the server
  int races_kept = 20;           // finished races a room lists
  int followers = 32;            // live followers of one room (racers' own included)
  int countdown_ms = 5000;       // from everyone ready to the seed dealt
  int idle_ms = 10 * 60 * 1000;  // a room nobody used for this long ends
  int allowance_ms = 2000;       // how far ahead of real time a round may be sent
};

// What became of a racer's round in a race.
struct RaceResult {
  std::string racer;  // the racer's token (never shown)
  std::string name;
  std::string status = "racing";  // racing, checking, verified, held, left, refused
  std::string reason;             // the board's code for held / refused ("desync", ...)
  int64_t time_ms = -1;           // verified: the time the board computed
  int64_t run = 0;                // verified or held: the run's id on the board
  // The round as the board plays it from the racer's live stream: the round's clock at
  // each swat, in order.
  bool streaming = false;
  std::vector<int64_t> swat_ms;
};

struct Racer {
  std::string token;  // the racer's secret pass, given once when joining
  std::string name;
  std::string fold;  // the name as names are compared
  std::string key;   // the name's key, sent with the racer's rounds
  bool ready = false;
};

struct Race {
  int number = 0;
  RoomClock::time_point starts;     // the countdown's end
  int64_t seed = -1;                // dealt when the countdown ends; -1 before
  std::vector<RaceResult> results;  // one per racer present at the start, in join order
};

struct Room {
  std::string id;
  std::string name;
  int flies = 10;
  int speed = 1;
  std::string creator;        // the address that made it
  std::string host_token;     // the creator's pass to start a race
  std::vector<Racer> racers;  // in join order (at most RoomLimits::racers present)
  bool racing = false;        // `race` is under way (counting down or played)
  Race race;
  std::vector<Race> finished;  // the latest last
  RoomClock::time_point used;  // the last request that named it
  int followers = 0;           // connections following it live
};

struct Rooms {
  std::mutex lock;
  RoomLimits limits;
  std::unordered_map<std::string, Room> open;
};

// A room action's outcome: 0 done, else the HTTP status with a stable code and a sentence.
struct RoomAnswer {
  int status = 0;
  std::string code;
  std::string message;
};

// Each with the rooms' lock held (Rooms::lock). `now` is passed in so that the time
// rules read one clock.
RoomAnswer CreateRoom(Rooms* rooms, const std::string& address, int flies, int speed,
                      const std::string& name, RoomClock::time_point now, Room** out);
Room* FindRoom(Rooms* rooms, const std::string& id, RoomClock::time_point now);
RoomAnswer JoinRoom(Rooms* rooms, Room* room, const std::string& name, const std::string& fold,
                    const std::string& key, Racer** out);
Racer* FindRacer(Room* room, const std::string& token);
RoomAnswer SetReady(Rooms* rooms, Room* room, Racer* racer, bool ready, RoomClock::time_point now);
RoomAnswer StartNow(Rooms* rooms, Room* room, RoomClock::time_point now);
// The racer taken out of the room (`racer` no longer points to anything after it).
void LeaveRoom(Rooms* rooms, Room* room, Racer* racer);

// The race brought up to `now`: the seed dealt once the countdown is over (from the
// calendar time `wall_now`, not before `oldest_seed`), racers who sent nothing for longer
// than any round lasts marked as left.
void AdvanceRace(Rooms* rooms, Room* room, RoomClock::time_point now, int64_t wall_now,
                 int64_t oldest_seed);
// The racer's row in the race under way; null when they are not racing in it.
RaceResult* RaceRowOf(Room* room, const Racer& racer);
// A racer's result written; the race ends (into `finished`) when no row is left open.
void FinishRow(Rooms* rooms, Room* room);

// A swat the board's own playing of a racer's stream saw (its clock), kept in the row;
// false when the row has all its mode's swats already.
bool NoteSwat(const Room& room, RaceResult* row, int64_t clock_ms);
// How far a row's latest swat is behind the first racer to reach as many: its clock
// then less theirs (0 for the one ahead, or with no swat yet).
int64_t SwatDelta(const std::vector<RaceResult>& rows, const RaceResult& row);

// Whether `frames` frames of a round may have been played by `now`, at 60 a second
// from the race's start, less the allowance.
bool FramesInTime(const Rooms& rooms, const Room& room, int64_t frames, RoomClock::time_point now);

// A seed for a race beginning at `now` (seconds since 1970): from the system's
// randomness, within the last day and not before `oldest`, so that it is a time the
// game could have read and the board takes; -1 when there is no randomness.
int64_t DealSeed(int64_t now, int64_t oldest);

// The room's state as JSON, as everyone (racers and anyone with its link) sees it.
std::string RoomJson(const Room& room, RoomClock::time_point now);

// The room's state as RoomJson gives it, its race brought up to now, for those who
// follow it live; false when there is no such room (now).
bool RoomJsonNow(Rooms* rooms, const std::string& id, int64_t oldest_seed, std::string* out);

// A live follower's place in the room taken (0, or 404 no_room, 503 busy when the room
// has as many as it takes) or given back (`take` false; nothing when the room ended).
RoomAnswer FollowerPlace(Rooms* rooms, const std::string& id, bool take);

// A new room id or racer token: random, url-safe.
std::string RandomToken(int bytes);

}  // namespace board
