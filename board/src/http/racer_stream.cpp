#include "http/racer_stream.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>

#include "rooms/room_state.h"

namespace board {

namespace {

namespace net = boost::asio;
using error_code = boost::system::error_code;

constexpr size_t kMaxBehind = 1 << 20;  // bytes the board's playing may lag the racer's

}  // namespace

RacerStream::RacerStream(Context* ctx, net::any_io_executor executor, std::string room,
                         std::string token, int race)
    : ctx_(ctx),
      to_child_(executor),
      from_child_(executor),
      grace_(executor),
      room_(std::move(room)),
      token_(std::move(token)),
      race_(race) {}

RacerStream::~RacerStream() { EndChild(); }

bool RacerStream::Start() {
  if (!StartFollowChild(ctx_->options->verifier, &child_)) return false;
  to_child_.assign(child_.in);
  from_child_.assign(child_.out);
  playing_ = true;
  connections_ = 1;
  ReadLine();
  return true;
}

void RacerStream::Send(char kind, std::string_view body) {
  std::string record = FollowRecord(kind, body.data(), body.size());
  // A racer far ahead of the board's playing is refused rather than held in memory.
  if ((behind_ += record.size()) > kMaxBehind) return Refuse("too_large");
  net::post(to_child_.get_executor(), [self = shared_from_this(), r = std::move(record)]() mutable {
    self->queue_.push_back(std::move(r));
    if (self->queue_.size() == 1) self->WriteChild();
  });
}

void RacerStream::WriteChild() {
  if (queue_.empty() || child_.pid < 0) return;
  net::async_write(to_child_, net::buffer(queue_.front()),
                   [self = shared_from_this()](error_code ec, size_t n) {
                     if (ec) return;
                     self->behind_ -= n;
                     self->queue_.pop_front();
                     self->WriteChild();
                   });
}

std::string RacerStream::Refused() {
  std::lock_guard<std::mutex> hold(lock_);
  return refused_;
}

bool RacerStream::Playing() { return playing_.load(); }

void RacerStream::Refuse(const std::string& reason) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (refused_.empty()) refused_ = reason;
  }
  playing_ = false;
  net::post(to_child_.get_executor(), [self = shared_from_this()] { self->EndChild(); });
}

void RacerStream::Attach() { ++connections_; }

void RacerStream::Detach() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    last_left_ = std::chrono::steady_clock::now();
  }
  if (--connections_ > 0) return;
  net::post(to_child_.get_executor(), [self = shared_from_this()] { self->WaitForReconnect(); });
}

// Looked at once the wait is over since the last connection left: a racer back in the
// meantime keeps it, one who left again later waits the rest of their own.
void RacerStream::WaitForReconnect() {
  if (child_.pid < 0 || connections_.load() > 0) return;
  std::chrono::steady_clock::time_point left;
  {
    std::lock_guard<std::mutex> hold(lock_);
    left = last_left_;
  }
  const auto until = left + kWaitForReconnect;
  if (std::chrono::steady_clock::now() >= until) return EndChild();
  grace_.expires_at(until);
  grace_.async_wait([self = shared_from_this()](error_code ec) {
    if (!ec) self->WaitForReconnect();
  });
}

void RacerStream::EndChild() {
  playing_ = false;
  if (child_.pid < 0) return;
  StopFollowChild(&child_);
  error_code ignored;
  to_child_.close(ignored);
  from_child_.close(ignored);
  grace_.cancel();
}

// The board's playing tells each swat and how many frames it has played: the frames
// must not be ahead of real time since the race's start.
void RacerStream::ReadLine() {
  net::async_read_until(
      from_child_, lines_, '\n', [self = shared_from_this()](error_code ec, size_t n) {
        // Its lines ended: the round's playing is over, the process reaped now.
        if (ec) return self->EndChild();
        std::string line(static_cast<const char*>(self->lines_.data().data()), n - 1);
        self->lines_.consume(n);
        self->Line(line);
        self->ReadLine();
      });
}

void RacerStream::Line(const std::string& line) {
  long long number = 0, clock_ms = 0;
  const bool swat = std::sscanf(line.c_str(), "swat %lld left=%*d flies=%*d clock_ms=%lld", &number,
                                &clock_ms) == 2;
  const bool frames = !swat && std::sscanf(line.c_str(), "frames %lld", &number) == 1;
  if (!swat && !frames) return;
  bool too_fast = false;
  {
    std::lock_guard<std::mutex> hold(ctx_->rooms.lock);
    const RoomClock::time_point now = RoomClock::now();
    Room* room = FindRoom(&ctx_->rooms, room_, now);
    Racer* racer = room ? FindRacer(room, token_) : nullptr;
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

}  // namespace board
