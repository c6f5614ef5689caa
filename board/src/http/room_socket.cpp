#include "http/room_socket.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>

#include "rooms/room_state.h"

namespace board {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;
using Clock = std::chrono::steady_clock;

constexpr auto kLook = std::chrono::milliseconds(200);  // how often the room is looked at
constexpr auto kSlowest = std::chrono::seconds(10);     // a message not taken by then: dropped
constexpr auto kIdle = std::chrono::seconds(60);        // no answer to a ping by then: dropped
constexpr size_t kMaxIncoming = 4096;                   // bytes of a message from the client

// One follower of a room: the state is looked at every kLook and sent when it changed,
// one message at a time; a reader that takes none for kSlowest is dropped, so a slow
// one costs the others nothing.
class Follower : public std::enable_shared_from_this<Follower> {
public:
  Follower(Context* ctx, tcp::socket socket, std::string room, const std::atomic<bool>* stopping,
           std::shared_ptr<void> hold)
      : ctx_(ctx),
        stopping_(stopping),
        ws_(std::move(socket)),
        timer_(ws_.get_executor()),
        room_(std::move(room)),
        hold_(std::move(hold)) {}
  ~Follower() { FollowerPlace(&ctx_->rooms, room_, false); }

  void Start(http::request<http::string_body> request) {
    request_ = std::move(request);
    ws_.read_message_max(kMaxIncoming);
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeouts.idle_timeout = kIdle;
    timeouts.keep_alive_pings = true;
    ws_.set_option(timeouts);
    ws_.async_accept(request_, [self = shared_from_this()](error_code ec) {
      if (ec) return;
      self->Read();
      self->Look();
    });
  }

private:
  // What the client sends is read (a close, a pong) and dropped: racers' inputs come
  // here in a later version.
  void Read() {
    ws_.async_read(incoming_, [self = shared_from_this()](error_code ec, size_t) {
      if (ec) return self->Stop();
      self->incoming_.consume(self->incoming_.size());
      self->Read();
    });
  }

  void Stop() {
    stopped_ = true;
    timer_.cancel();
  }

  void Look() {
    if (stopped_) return;
    if (writing_) {
      if (Clock::now() - write_started_ > kSlowest) {
        error_code ignored;
        beast::get_lowest_layer(ws_).close(ignored);
        return Stop();
      }
    } else {
      std::string state;
      const bool stopping = stopping_->load();
      if (stopping || !RoomJsonNow(&ctx_->rooms, room_, ctx_->options->oldest_seed, &state)) {
        // The room ended, or the server is stopping: said with the close.
        writing_ = true;
        ws_.async_close(websocket::close_reason(websocket::close_code::going_away,
                                                stopping ? "server stopping" : "room ended"),
                        [self = shared_from_this()](error_code) { self->Stop(); });
        return;
      }
      if (state != sent_) Send(std::move(state));
    }
    timer_.expires_after(kLook);
    timer_.async_wait([self = shared_from_this()](error_code ec) {
      if (!ec) self->Look();
    });
  }

  void Send(std::string state) {
    sent_ = std::move(state);
    writing_ = true;
    write_started_ = Clock::now();
    ws_.text(true);
    ws_.async_write(net::buffer(sent_), [self = shared_from_this()](error_code ec, size_t) {
      self->writing_ = false;
      if (ec) self->Stop();
    });
  }

  Context* ctx_;
  const std::atomic<bool>* stopping_;
  websocket::stream<tcp::socket> ws_;
  net::steady_timer timer_;
  std::string room_;
  std::shared_ptr<void> hold_;
  http::request<http::string_body> request_;
  beast::flat_buffer incoming_;
  std::string sent_;  // the last state sent (its bytes stay here while being written)
  bool writing_ = false;
  bool stopped_ = false;
  Clock::time_point write_started_;
};

}  // namespace

std::string RoomOfLivePath(const std::string& path) {
  const std::string head = "/api/rooms/", tail = "/live";
  if (path.size() <= head.size() + tail.size() || path.compare(0, head.size(), head) != 0 ||
      path.compare(path.size() - tail.size(), tail.size(), tail) != 0)
    return "";
  std::string id = path.substr(head.size(), path.size() - head.size() - tail.size());
  return id.find('/') == std::string::npos ? id : "";
}

// The caller has taken the follower's place in the room (FollowerPlace); the follower
// gives it back when it ends.
void FollowRoom(Context* ctx, tcp::socket socket, http::request<http::string_body> request,
                std::string room, const std::atomic<bool>* stopping, std::shared_ptr<void> hold) {
  std::make_shared<Follower>(ctx, std::move(socket), std::move(room), stopping, std::move(hold))
      ->Start(std::move(request));
}

}  // namespace board
