// The room relay's side in the transport (http/room_relay.h says what it does).
#pragma once
#include <boost/asio/ip/tcp.hpp>
#include <memory>
#include <string>

#include "context.h"
#include "http/room_relay.h"

namespace board {

// Started once the server listens at `self`; null with `error` said when the database
// does not answer.
std::unique_ptr<RoomRelay, void (*)(RoomRelay*)> StartRoomRelay(
    Context* ctx, const std::string& url, const boost::asio::ip::tcp::endpoint& self,
    std::string* error);

// The connection passed to server `home`: `request` is the client's request as it came
// (its body whole), `client` its address; `hold` is kept while the connection lives.
void RelayConnection(RoomRelay* relay, boost::asio::ip::tcp::socket socket, std::string request,
                     const std::string& client, const std::string& home,
                     std::shared_ptr<void> hold);

// Whether a connection from `peer` is one this relay made to its own server (not
// counted against the loopback address's connections).
bool RelayPeer(RoomRelay* relay, const boost::asio::ip::tcp::endpoint& peer);

}  // namespace board
