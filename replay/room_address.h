#pragma once
// The room a player was given a link to: the board's address and the room's id, from the
// room's page link (http://HOST[:PORT]/rooms/ID), and the addresses the game then uses.
// A racer's own live address (ws://HOST[:PORT]/api/rooms/ID/live?racer=PASS) is taken
// too: the game goes back into the room under the pass it already has.

#include <cstddef>

struct RoomAddress {
    char origin[272];  // HOST[:PORT], as the link gives it
    char id[65];
    char pass[65];  // empty unless the link carries the racer's pass
};

// False with a one-line reason for anything else.
bool ReadRoomLink(const char* link, RoomAddress* out, char* why, std::size_t whySize);

// http://ORIGIN/api/rooms/ID/join
void RoomJoinUrl(const RoomAddress& room, char* out, std::size_t size);
// ws://ORIGIN/api/rooms/ID/live?racer=PASS
void RoomLiveUrl(const RoomAddress& room, const char* pass, char* out, std::size_t size);
// The join's body: {"name":NAME} or {"name":NAME,"key":KEY}, the texts escaped for JSON.
// False when it does not fit.
bool RoomJoinBody(const char* name, const char* key, char* out, std::size_t size);
