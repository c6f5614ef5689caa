#pragma once
// Reads the messages a room's board sends as text (docs/rooms.md): the room's state and
// the resume message. Every byte comes from the network: what does not read whole and
// within bounds is refused, and a message is never trusted beyond the fields used here.

#include <cstddef>
#include <cstdint>

#include "replay/room_race.h"

// The board's messages are bounded (a room's state is some 50 KB at most); a longer one
// is refused rather than read.
constexpr std::size_t kRoomMostMessage = 256u << 10;

enum class RoomStateWord { kLobby, kCountdown, kRacing };

struct RoomRaceRead {
    int number = 0;
    bool seeded = false;  // the seed is dealt (the race runs)
    std::uint32_t seed = 0;
    long startsInMs = 0;  // in the countdown
    int resultCount = 0;
    RoomRacerView results[kRoomMostRacers];  // name, status, reason, timeMs, swats...
};

struct RoomStateRead {
    RoomStateWord state = RoomStateWord::kLobby;
    int flySetting = 0;    // 0..3, as mode select keeps it
    int speedSetting = 0;  // 0..3
    int racerCount = 0;
    RoomRacerView racers[kRoomMostRacers];  // name and ready
    bool hasRace = false;                   // the race under way (countdown or racing)
    RoomRaceRead race;
    bool hasLast = false;  // the last finished race
    RoomRaceRead last;
};

// False, with `out` in an unspecified state, for a message that is not a room's state.
bool ReadRoomState(const char* text, std::size_t size, RoomStateRead* out);

// {"resume":{"bytes":N}}: true with N.
bool ReadRoomResume(const char* text, std::size_t size, std::uint32_t* bytes);
