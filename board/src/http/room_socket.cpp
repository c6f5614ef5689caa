#include "http/room_socket.h"

#include <algorithm>
#include <boost/asio/buffer.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <thread>

#include "http/racer_stream.h"
#include "rooms/room_state.h"
#include "routes/routes.h"
#include "trust/name_fold.h"

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
constexpr size_t kMaxRelayed = 65536;                   // bytes of a message to a spectator

// One follower of a room: the state is looked at every kLook and sent when it changed,
// one message at a time; a reader that takes none for kSlowest is dropped, so a slow
// one costs the others nothing. A racer's follower also carries their round to the
// board's playing; a spectator's also gets the round of the racer they watch.
class Follower : public FeedWatcher, public std::enable_shared_from_this<Follower> {
public:
  Follower(Context* ctx, tcp::socket socket, std::string room, LiveRacer racer,
           const std::atomic<bool>* stopping, std::shared_ptr<void> hold)
      : ctx_(ctx),
        stopping_(stopping),
        ws_(std::move(socket)),
        timer_(ws_.get_executor()),
        room_(std::move(room)),
        racer_(std::move(racer)),
        hold_(std::move(hold)) {}
  ~Follower() override {
    if (stream_) stream_->Detach();
    if (watching_) {
      std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
      if (Room* room = FindRoom(&ctx_->rooms, room_, RoomClock::now())) DropSpectator(room, this);
    }
    FollowerPlace(&ctx_->rooms, room_, false);
  }

  void Start(http::request<http::string_body> request) {
    request_ = std::move(request);
    ws_.read_message_max(racer_.token.empty() ? kMaxIncoming : kMaxRecord);
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeouts.idle_timeout = kIdle;
    timeouts.keep_alive_pings = true;
    ws_.set_option(timeouts);
    if (!racer_.watch.empty()) {
      std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
      Room* room = FindRoom(&ctx_->rooms, room_, RoomClock::now());
      watch_fold_ = FoldName(racer_.watch);
      watching_ = room && AddSpectator(&ctx_->rooms, room, watch_fold_, this);
      if (room && !watching_) close_code_ = websocket::close_code::try_again_later;
      if (room && !watching_) close_reason_ = "too many spectators";
    }
    ws_.async_accept(request_, [self = shared_from_this()](error_code ec) {
      if (ec) return;
      if (!self->racer_.token.empty()) self->Resume();
      self->Read();
      self->Look();
    });
  }

  // A spectator's racer sent more: taken on this connection's own thread.
  void Wake() override {
    net::post(ws_.get_executor(), [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->Next();
    });
  }

private:
  // A racer who comes back while the board still plays the round they were streaming
  // carries on from the frame bytes the board has: told so right after the first state.
  void Resume() {
    std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
    Room* room = FindRoom(&ctx_->rooms, room_, RoomClock::now());
    Racer* racer = room ? FindRacer(room, racer_.token) : nullptr;
    RacerFeed* feed = racer ? ResumableFeed(room, *racer) : nullptr;
    if (!feed || !feed->playing->Playing()) return;
    connection_ = ++feed->connection;
    stream_ = feed->playing;
    stream_->Attach();
    pending_ = "{\"resume\":{\"bytes\":" + std::to_string(feed->frames.size()) + "}}";
  }

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
  }

  // This connection ends with this reason, said with the close at the next look; the
  // board's playing of the round too, unless another connection streams it now.
  void Refuse(const std::string& reason) {
    if (close_reason_.empty()) close_reason_ = reason;
    if (stream_ && reason != "resumed") stream_->Refuse(reason);
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
    if (kind == 'h') return Begin(body);
    if (!stream_) return Refuse("bad_record");
    std::string file;
    FeedTaken taken = FeedTaken::kStale;
    {
      std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
      Room* room = FindRoom(&ctx_->rooms, room_, RoomClock::now());
      RacerFeed* feed = room ? FeedOf(room, racer_.token) : nullptr;
      if (feed && feed->playing == stream_)
        taken = FeedRecord(room, feed, connection_, kind, body, &file);
    }
    if (taken == FeedTaken::kStale) return Refuse("resumed");
    if (taken == FeedTaken::kBadRecord) return Refuse("bad_record");
    if (taken == FeedTaken::kTooLarge) return Refuse("too_large");
    stream_->Send(kind, body);
    if (taken != FeedTaken::kEnded) return;
    // The whole round, checked as every round sent whole (its verification may take a
    // while: not on the connections' thread). Counted as a post in hand: the server
    // drains it, and waits for it before it ends.
    ++ctx_->posts_in_hand;
    std::thread([ctx = ctx_, room = room_, racer = racer_, file = std::move(file)] {
      HttpResponse ignored;
      SendRoomRound(ctx, room, racer.token, racer.client, racer.request_id, file, &ignored);
      --ctx->posts_in_hand;
    }).detach();
  }

  // The round's first record: checked against the race, then played by the board.
  void Begin(std::string_view header) {
    if (stream_) return Refuse("bad_record");
    int race = 0;
    const RoomAnswer a = StartRoomStream(ctx_, room_, racer_.token, header, &race);
    if (a.status) return Refuse(a.code);
    auto stream =
        std::make_shared<RacerStream>(ctx_, ws_.get_executor(), room_, racer_.token, race);
    if (!stream->Start()) return Refuse("busy");
    {
      std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
      Room* room = FindRoom(&ctx_->rooms, room_, RoomClock::now());
      Racer* racer = room ? FindRacer(room, racer_.token) : nullptr;
      if (!racer) return Refuse("no_race");
      RacerFeed* feed = StartFeed(room, *racer, race, header, 1);
      feed->playing = stream;
      connection_ = 1;
    }
    stream_ = std::move(stream);
    stream_->Send('h', header);
  }

  void Look() {
    if (stopped_) return;
    if (stream_ && close_reason_.empty()) close_reason_ = stream_->Refused();
    if (writing_) {
      look_due_ = true;
      if (Clock::now() - write_started_ > kSlowest) {
        error_code ignored;
        beast::get_lowest_layer(ws_).close(ignored);
        return Stop();
      }
    } else if (!close_reason_.empty()) {
      // A racer's stream refused, or no place for a spectator: said with the close.
      writing_ = true;
      ws_.async_close(websocket::close_reason(close_code_, close_reason_),
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
      if (state != sent_) {
        sent_ = std::move(state);
        Write(sent_, true);
      }
    }
    timer_.expires_after(kLook);
    timer_.async_wait([self = shared_from_this()](error_code ec) {
      if (!ec) self->Look();
    });
  }

  // The next message once the one before is taken: the resume, the state when a look
  // came meanwhile, a spectator's next piece of the round.
  void Next() {
    if (writing_ || stopped_ || !close_reason_.empty()) return;
    if (!pending_.empty()) {
      out_ = std::move(pending_);
      pending_.clear();
      return Write(out_, true);
    }
    if (look_due_) {
      look_due_ = false;
      std::string state;
      if (RoomJsonNow(&ctx_->rooms, room_, ctx_->options->oldest_seed, &state) && state != sent_) {
        sent_ = std::move(state);
        return Write(sent_, true);
      }
    }
    if (watching_ && NextRelayed()) Write(out_, false);
  }

  // The watched racer's next record (as the racer sent them, the frames perhaps cut
  // otherwise) in out_: their header when a round begins, the frames not sent yet, the
  // end. False when there is nothing new.
  bool NextRelayed() {
    std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
    Room* room = FindRoom(&ctx_->rooms, room_, RoomClock::now());
    if (!room) return false;
    const RacerFeed* feed = nullptr;
    for (const RacerFeed& f : room->feeds)
      if (f.fold == watch_fold_) feed = &f;
    if (!feed) return false;
    if (feed->race != watched_race_) {
      watched_race_ = feed->race;
      watched_bytes_ = 0;
      end_sent_ = false;
      out_ = 'h';
      out_ += feed->header;
      return true;
    }
    if (feed->frames.size() > watched_bytes_) {
      const size_t n = std::min(kMaxRelayed - 1, feed->frames.size() - watched_bytes_);
      out_ = 'f';
      out_.append(feed->frames, watched_bytes_, n);
      watched_bytes_ += n;
      return true;
    }
    if (feed->end.empty() || end_sent_) return false;
    end_sent_ = true;
    out_ = 'e';
    out_ += feed->end;
    return true;
  }

  // One message out (its bytes stay in the member given while being written).
  void Write(const std::string& bytes, bool text) {
    writing_ = true;
    write_started_ = Clock::now();
    ws_.text(text);
    ws_.async_write(net::buffer(bytes), [self = shared_from_this()](error_code ec, size_t) {
      self->writing_ = false;
      if (ec) return self->Stop();
      self->Next();
    });
  }

  Context* ctx_;
  const std::atomic<bool>* stopping_;
  websocket::stream<tcp::socket> ws_;
  net::steady_timer timer_;
  std::string room_;
  LiveRacer racer_;
  std::shared_ptr<void> hold_;
  std::shared_ptr<RacerStream> stream_;  // the board's playing of this racer's round
  int connection_ = 0;                   // which of the racer's connections this is
  std::string close_reason_;
  websocket::close_code close_code_ = websocket::close_code::policy_error;
  bool watching_ = false;   // a spectator with a place in the room
  std::string watch_fold_;  // the watched racer's name as names are compared
  int watched_race_ = 0;    // the watched round: its race, frame bytes sent, end sent
  size_t watched_bytes_ = 0;
  bool end_sent_ = false;
  http::request<http::string_body> request_;
  beast::flat_buffer incoming_;
  std::string sent_;     // the last state sent (its bytes stay here while being written)
  std::string pending_;  // a message to send after the one being written
  std::string out_;      // any other message being written
  bool writing_ = false;
  bool look_due_ = false;
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
