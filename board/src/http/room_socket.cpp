#include "http/room_socket.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

#include "replay/core/replay_format.h"
#include "rooms/room_state.h"
#include "routes/routes.h"
#include "verify/follow_child.h"

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
constexpr size_t kMaxRecord = 65536;                    // bytes of a racer's message
constexpr size_t kMaxBehind = 1 << 20;  // bytes the board's playing may lag the racer's

// One follower of a room: the state is looked at every kLook and sent when it changed,
// one message at a time; a reader that takes none for kSlowest is dropped, so a slow
// one costs the others nothing.
class Follower : public std::enable_shared_from_this<Follower> {
public:
  Follower(Context* ctx, tcp::socket socket, std::string room, LiveRacer racer,
           const std::atomic<bool>* stopping, std::shared_ptr<void> hold)
      : ctx_(ctx),
        stopping_(stopping),
        ws_(std::move(socket)),
        timer_(ws_.get_executor()),
        to_child_(ws_.get_executor()),
        from_child_(ws_.get_executor()),
        room_(std::move(room)),
        racer_(std::move(racer)),
        hold_(std::move(hold)) {}
  ~Follower() {
    EndChild();
    FollowerPlace(&ctx_->rooms, room_, false);
  }

  void Start(http::request<http::string_body> request) {
    request_ = std::move(request);
    ws_.read_message_max(racer_.token.empty() ? kMaxIncoming : kMaxRecord);
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
  // What a follower sends is read (a close, a pong) and dropped; a racer's binary
  // messages are their round's records, their text messages say whether they are ready.
  void Read() {
    ws_.async_read(incoming_, [self = shared_from_this()](error_code ec, size_t) {
      if (ec) return self->Stop();
      if (!self->racer_.token.empty() && self->close_reason_.empty()) {
        if (self->ws_.got_text()) {
          const auto data = self->incoming_.cdata();
          RoomTextMessage(self->ctx_, self->room_, self->racer_.token,
                          std::string_view(static_cast<const char*>(data.data()), data.size()));
        } else {
          self->Record();
        }
      }
      self->incoming_.consume(self->incoming_.size());
      self->Read();
    });
  }

  void Stop() {
    stopped_ = true;
    timer_.cancel();
    EndChild();
  }

  // The racer's stream ends with this reason, said with the close at the next look.
  void Refuse(const std::string& reason) {
    if (close_reason_.empty()) close_reason_ = reason;
    EndChild();
  }

  void EndChild() {
    if (child_.pid < 0) return;
    StopFollowChild(&child_);
    error_code ignored;
    to_child_.close(ignored);
    from_child_.close(ignored);
  }

  // One record: its kind ('h' the header as the round began, 'f' frames, 'e' the end)
  // then its bytes (docs/rooms.md).
  void Record() {
    const auto data = incoming_.cdata();
    const char* bytes = static_cast<const char*>(data.data());
    const size_t size = data.size();
    if (size < 1) return Refuse("bad_record");
    const char kind = bytes[0];
    const std::string_view body(bytes + 1, size - 1);
    received_ += body.size();
    if (received_ > kReplayMaxFile + kReplayHeaderSize) return Refuse("too_large");
    if (kind == 'h' && !begun_) {
      begun_ = true;
      const RoomAnswer a = StartRoomStream(ctx_, room_, racer_.token, body, &race_);
      if (a.status) return Refuse(a.code);
      if (!StartFollowChild(ctx_->options->verifier, &child_)) return Refuse("busy");
      to_child_.assign(child_.in);
      from_child_.assign(child_.out);
      ReadLine();
      return ToChild(FollowRecord('h', body.data(), body.size()));
    }
    if (kind == 'f' && begun_ && !ended_ && child_.pid > 0) {
      frames_.append(body);
      return ToChild(FollowRecord('f', body.data(), body.size()));
    }
    if (kind == 'e' && begun_ && !ended_ && body.size() >= kReplayHeaderSize && child_.pid > 0) {
      ended_ = true;
      ToChild(FollowRecord('e', body.data(), body.size()));
      // The whole round, header as it ended, frames, tail: checked as every round sent
      // whole (its verification may take a while: not on the connections' thread).
      std::string file(body.substr(0, kReplayHeaderSize));
      file += frames_;
      file.append(body.substr(kReplayHeaderSize));
      // Counted as a post in hand: the server drains it, and waits for it before it ends.
      ++ctx_->posts_in_hand;
      std::thread([ctx = ctx_, room = room_, racer = racer_, file = std::move(file)] {
        HttpResponse ignored;
        SendRoomRound(ctx, room, racer.token, racer.client, racer.request_id, file, &ignored);
        --ctx->posts_in_hand;
      }).detach();
      return;
    }
    Refuse("bad_record");
  }

  // The records go to the board's playing one at a time; a racer far ahead of it is
  // refused rather than held in memory.
  void ToChild(std::string record) {
    behind_ += record.size();
    if (behind_ > kMaxBehind) return Refuse("too_large");
    to_child_queue_.push_back(std::move(record));
    if (to_child_queue_.size() == 1) WriteChild();
  }

  void WriteChild() {
    if (to_child_queue_.empty() || child_.pid < 0) return;
    net::async_write(to_child_, net::buffer(to_child_queue_.front()),
                     [self = shared_from_this()](error_code ec, size_t n) {
                       if (ec) return;
                       self->behind_ -= n;
                       self->to_child_queue_.pop_front();
                       self->WriteChild();
                     });
  }

  // The board's playing tells each swat and how many frames it has played: the frames
  // must not be ahead of real time since the race's start.
  void ReadLine() {
    net::async_read_until(
        from_child_, lines_, '\n', [self = shared_from_this()](error_code ec, size_t n) {
          // Its lines ended: the round's playing is over, the process reaped now rather
          // than when the racer's connection closes.
          if (ec) return self->EndChild();
          std::string line(static_cast<const char*>(self->lines_.data().data()), n - 1);
          self->lines_.consume(n);
          self->Line(line);
          self->ReadLine();
        });
  }

  void Line(const std::string& line) {
    long long number = 0, clock_ms = 0;
    const bool swat = std::sscanf(line.c_str(), "swat %lld left=%*d flies=%*d clock_ms=%lld",
                                  &number, &clock_ms) == 2;
    const bool frames = !swat && std::sscanf(line.c_str(), "frames %lld", &number) == 1;
    if (!swat && !frames) return;
    bool too_fast = false;
    {
      std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
      const RoomClock::time_point now = RoomClock::now();
      Room* room = FindRoom(&ctx_->rooms, room_, now);
      Racer* racer = room ? FindRacer(room, racer_.token) : nullptr;
      RaceResult* row = racer ? RaceRowOf(room, *racer) : nullptr;
      if (!row || room->race.number != race_ || row->status != "racing") return;
      if (swat) {
        NoteSwat(*room, row, clock_ms);
      } else if (!FramesInTime(ctx_->rooms, *room, number, now)) {
        too_fast = true;
        row->status = "refused";
        row->reason = "too_fast";
        FinishRow(&ctx_->rooms, room);
      }
    }
    if (too_fast) Refuse("too_fast");
  }

  void Look() {
    if (stopped_) return;
    if (writing_) {
      if (Clock::now() - write_started_ > kSlowest) {
        error_code ignored;
        beast::get_lowest_layer(ws_).close(ignored);
        return Stop();
      }
    } else if (!close_reason_.empty()) {
      // A racer's stream refused: said with the close.
      writing_ = true;
      ws_.async_close(websocket::close_reason(websocket::close_code::policy_error, close_reason_),
                      [self = shared_from_this()](error_code) { self->Stop(); });
      return;
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
  net::posix::stream_descriptor to_child_, from_child_;  // the board's playing of the round
  std::string room_;
  LiveRacer racer_;
  std::shared_ptr<void> hold_;
  FollowChild child_;
  std::deque<std::string> to_child_queue_;
  net::streambuf lines_{4096};  // the longest line the playing writes is far shorter
  std::string frames_;          // the round's frames so far
  std::string close_reason_;
  size_t received_ = 0, behind_ = 0;
  int race_ = 0;
  bool begun_ = false, ended_ = false;
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
                std::string room, LiveRacer racer, const std::atomic<bool>* stopping,
                std::shared_ptr<void> hold) {
  std::make_shared<Follower>(ctx, std::move(socket), std::move(room), std::move(racer), stopping,
                             std::move(hold))
      ->Start(std::move(request));
}

}  // namespace board
