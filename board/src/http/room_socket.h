// A room followed live over a WebSocket (RFC 6455, Boost.Beast's): the transport hands
// over a connection whose request asked to upgrade at /api/rooms/ID/live, and the room's
// state goes out as a text message whenever it changes. A racer's connection
// (racer=PASS) also carries their round as they play it, in binary messages the board
// plays as they come (docs/rooms.md).
#pragma once
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <memory>
#include <string>

#include "context.h"

namespace board {

// The room's id when `path` is a room's live link, else "".
std::string RoomOfLivePath(const std::string& path);

// Who asked: a racer's pass (empty for anyone following), the address and request id
// their streamed round is sent with; for a spectator, the name of the racer watched.
struct LiveRacer {
  std::string client;
  std::string request_id;
  std::string token;
  std::string watch;
};

// Answers the upgrade and follows the room until either side closes, or `stopping` is
// set (the server's stop: closed with 1001 within a look). `hold` is kept as long as the
// connection lives (the transport's own record of it, which counts it against the
// connection limits).
void FollowRoom(Context* ctx, boost::asio::ip::tcp::socket socket,
                boost::beast::http::request<boost::beast::http::string_body> request,
                std::string room, LiveRacer racer, const std::atomic<bool>* stopping,
                std::shared_ptr<void> hold);

}  // namespace board
