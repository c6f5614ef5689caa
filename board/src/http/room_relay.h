// Rooms across the servers of one PostgreSQL database. A room lives on the server that
// made it, its home. A request for it that reaches another server (its live link
// included) is passed to the home through the database's messages (store/pg_mail.h):
// that server sends on what the client sends and gives the client what the home
// answers, so the client is served as if it had reached the home. On the home, each
// passed connection is made to its own port on the loopback, its request marked with the
// client's address under a secret only this process knows (docs/rooms.md, "Several
// servers"). This header is what the routes need; http/room_relay_net.h the transport's.
#pragma once
#include <string>

namespace board {

struct RoomRelay;

// The room a request's path names (/api/rooms/ID, /api/rooms/ID/..., /rooms/ID), else "".
std::string RoomOfPath(const std::string& path);

// The server a request for `room` is passed to: "" when the room is here, or nowhere
// (the request is answered here). Blocks on the database: for the workers only.
std::string RelayHome(RoomRelay* relay, const std::string& room);

// The header that marks a passed request, and whether a request's value of it was
// written by this process (the client's address then in `client`).
constexpr const char* kRelayHeader = "zumble-relay";
bool RelayedClient(const RoomRelay* relay, const std::string& value, std::string* client);

// A room made here: the other servers find it here from now on.
void RelayRoomMade(RoomRelay* relay, const std::string& room);

}  // namespace board
