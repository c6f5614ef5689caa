#pragma once
// The one connection a room's racer keeps with the board: a WebSocket (RFC 6455) to the
// room's `live` address with the racer's pass (docs/rooms.md). The board sends the room's
// state as text messages; the racer sends their round's records as binary messages and
// small text messages of their own ({"ready":true}). Each platform has its own: the
// browser's WebSocket in the page, a well-kept library on the desktop and Windows, none
// in builds without a network.
//
// Nothing here blocks the frame: opening starts the connection, sending queues, and the
// received messages wait until they are taken. The queues are allocated at the open.

#include <cstddef>
#include <cstdint>

struct RoomLink;

enum class RoomLinkStatus {
    kConnecting,
    kOpen,
    kClosed,  // by either side or lost: RoomLinkCloseReason says why
};

// Starts connecting to `url` (ws://HOST[:PORT]/api/rooms/ID/live?racer=PASS, or wss://
// where the platform has it). Null when this build has no network or the address is not
// one it can reach; *error (at most errorSize bytes) then says why.
RoomLink* OpenRoomLink(const char* url, char* error, std::size_t errorSize);
RoomLinkStatus RoomLinkState(RoomLink* link);
// The close code (1000, 1001, 1008, ...; 1006 for a connection lost without one) and its
// reason, once closed.
int RoomLinkCloseReason(RoomLink* link, char* reason, std::size_t reasonSize);
// Queues one message; false when the link is not open or its queue is full (the caller
// keeps what it could not send and sends it again after reconnecting).
bool RoomLinkSendBinary(RoomLink* link, const std::uint8_t* bytes, std::size_t size);
bool RoomLinkSendText(RoomLink* link, const char* text);
// The oldest text message not yet taken, copied into `out` with a terminating zero: its
// length, or -1 when none waits (one longer than outSize - 1 is dropped).
long RoomLinkTakeText(RoomLink* link, char* out, std::size_t outSize);
// Closes (code 1000) and frees the link.
void CloseRoomLink(RoomLink* link);
