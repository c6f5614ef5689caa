// Rooms where friends race one mode together: their racers, the race under way and the
// results of those before. Held in this server's memory only (a restart ends every
// room); every change goes through one lock. No network, no database here: the routes
// (routes/rooms_routes.cpp) check names and verify rounds, this file keeps the state.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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
  int spectators = 16;           // of them, those who watch a racer's round
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

class RacerStream;  // the board's playing of a racer's round (http/racer_stream.h)

// Someone told when a racer's round grows (a spectator's connection). Told with the
// rooms' lock held: it only takes note and does its work later on its own thread. It
// takes itself off the room's list (DropSpectator) before it is gone.
class FeedWatcher {
public:
  virtual ~FeedWatcher() = default;
  virtual void Wake() = 0;
};

// A racer's round as it came over their live link, in the latest race they streamed,
// kept for a connection that resumes it and for spectators (at most a replay's bytes).
struct RacerFeed {
  std::string token;  // the racer's pass
  std::string fold;   // the racer's name as names are compared
  int race = 0;
  std::string header;  // as the round began
  std::string frames;  // the coded frames so far, in order
  std::string end;     // the header as the round ended, then the tail, once it came
  int connection = 0;  // which of the racer's connections streams it (the latest)
  std::shared_ptr<RacerStream> playing;
};

struct Spectator {
  std::string fold;  // whose round they watch
  FeedWatcher* who;
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
  std::vector<Race> finished;         // the latest last
  RoomClock::time_point used;         // the last request that named it
  int followers = 0;                  // connections following it live
  std::vector<RacerFeed> feeds;       // one per racer present who streamed a round
  std::vector<Spectator> spectators;  // at most RoomLimits::spectators
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

// A racer's live round begins (its first record, the header, checked by the caller):
// their feed starts again for race `race`, streamed by connection `connection`.
RacerFeed* StartFeed(Room* room, const Racer& racer, int race, std::string_view header,
                     int connection);
// The racer's feed, null when they have none.
RacerFeed* FeedOf(Room* room, const std::string& token);
// The feed of the round under way that a new connection of the racer may resume (the
// caller makes it the feed's connection when the board's playing of it still runs):
// null when there is none (no race running, the round ended, sent or refused).
RacerFeed* ResumableFeed(Room* room, const Racer& racer);

// What a record did to a racer's feed.
enum class FeedTaken { kTaken, kEnded, kStale, kBadRecord, kTooLarge };
// A record ('f' frames, 'e' the end) from connection `connection`: kept, and the
// spectators told; kEnded for the end, with the whole round in `file`; kStale when
// another connection of the racer streams it now.
FeedTaken FeedRecord(Room* room, RacerFeed* feed, int connection, char kind, std::string_view body,
                     std::string* file);
// A spectator's place (false when the room has as many as it takes) and its end.
bool AddSpectator(Rooms* rooms, Room* room, const std::string& fold, FeedWatcher* who);
void DropSpectator(Room* room, const FeedWatcher* who);

// A new room id or racer token: random, url-safe.
std::string RandomToken(int bytes);

}  // namespace board
