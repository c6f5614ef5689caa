// A build without a network: the game joins no room.
#include <cstdio>

#include "platform/services/room_link.h"

RoomLink* OpenRoomLink(const char*, char* error, std::size_t errorSize) {
    std::snprintf(error, errorSize, "this build of the game has no network");
    return nullptr;
}
RoomLinkStatus RoomLinkState(RoomLink*) { return RoomLinkStatus::kClosed; }
int RoomLinkCloseReason(RoomLink*, char* reason, std::size_t reasonSize) {
    if (reason && reasonSize > 0) reason[0] = 0;
    return 0;
}
bool RoomLinkSendBinary(RoomLink*, const std::uint8_t*, std::size_t) { return false; }
bool RoomLinkSendText(RoomLink*, const char*) { return false; }
long RoomLinkTakeText(RoomLink*, char*, std::size_t) { return -1; }
void CloseRoomLink(RoomLink*) {}
