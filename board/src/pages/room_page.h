// A room's page, /rooms/ID, the link racers share: the room's name and mode, its racers
// (ready or not, and in a race each one's swats, clock and how far behind), the
// countdown, the finished races with each verified time linking its run. Read as it is
// when asked; a small script then follows the room's live link and keeps it up to date.
#pragma once
#include <string>

#include "rooms/room_state.h"

namespace board {

std::string RoomPath(const std::string& id);  // /rooms/ID

std::string RoomPageHtml(const Room& room, RoomClock::time_point now);

}  // namespace board
