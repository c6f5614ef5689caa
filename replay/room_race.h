#pragma once
// Racing friends in a room on the board (docs/rooms.md): once the game is in a room, mode
// select shows the room's mode, Start says the player is ready and holds the round until
// the room's countdown ends, the round is played on the seed the board deals and sent to
// the board as it is played, and the next race (a rematch) goes the same way. The round is
// kept in replays/ and the history as every round.
//
// Nothing here draws: RoomRaceView is what a presentation layer shows of the room (the
// racers, their counts and deltas, the countdown, the winner), as plain data.

#include <cstddef>

// Opens the room's connection (its `live` address with the racer's pass:
// ws://HOST:PORT/api/rooms/ID/live?racer=PASS) and puts the game in the room from now on.
// False when this build has no network or the address cannot be reached; *error (at most
// errorSize bytes, zero-terminated) then says why. Called once, before or after the game
// starts; a second call while in a room fails.
bool StartRoomRace(const char* liveUrl, char* error, std::size_t errorSize);

// The racer's name in the room, so that the view knows which row is this game's.
void SetRoomRacerName(const char* name);

// True while the game is in a room.
bool InRoomRace();

// Leaves the room: closes the connection (the board keeps what it has). The round going
// on is kept as any round.
void EndRoomRace();

constexpr int kRoomMostRacers = 8;
constexpr int kRoomNameSize = 65;  // a name of at most 64 bytes, and its zero
constexpr int kRoomWordSize = 16;  // a result's status or reason ("verified", "too_fast")

enum class RoomPhase {
    kConnecting,  // the connection is not open yet (or is being opened again)
    kLobby,       // no race: the racers get ready
    kCountdown,   // a race starts in countdownMs
    kRacing,      // the race runs, on `seed`
};

struct RoomRacerView {
    char name[kRoomNameSize];
    bool you;    // this game's racer
    bool ready;  // in the lobby
    // In the race under way, as the board plays each racer's round: how many flies they
    // swatted, the round's clock at the latest, and how far behind the first to reach as
    // many swats (0 for the one ahead); -1 when the board has none yet.
    int swats;
    long clockMs;
    long deltaMs;
    // The racer's result in the race under way or the last one: "racing", "checking",
    // "verified" (with timeMs), "held", "refused" (with reason), "left"; empty for none.
    char status[kRoomWordSize];
    char reason[kRoomWordSize];
    long timeMs;  // -1 without a verified time
};

struct RoomRaceView {
    RoomPhase phase;
    bool connected;    // false while the connection is lost and being opened again
    bool youReady;     // the player pressed Start for the next race
    int raceNumber;    // the race under way or the last one, 0 before the first
    long countdownMs;  // kCountdown: how long until the start
    int racerCount;
    RoomRacerView racers[kRoomMostRacers];
    // Once the last race's result is in: the fastest verified racer and their time
    // ("Ann wins, 0:07.234"); winner empty when nobody verified.
    bool resultIn;
    char winner[kRoomNameSize];
    long winnerMs;
};

// What the room looks like now: false when the game is in no room.
bool DescribeRoomRace(RoomRaceView* out);
