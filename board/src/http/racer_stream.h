// The board's playing of one racer's round in a room's race, as the racer streams it:
// a `zumble --verify-follow` child fed the records, its lines read back (each swat into
// the racer's row, the frames played held to real time). It belongs to no connection:
// when the racer's link drops it keeps playing for a while, so that the racer can
// reconnect and carry on from where the board is (docs/rooms.md, "Resuming").
#pragma once
#include <atomic>
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "context.h"
#include "verify/follow_child.h"

namespace board {

class RacerStream : public std::enable_shared_from_this<RacerStream> {
public:
  // How long the playing waits for a racer whose link dropped.
  static constexpr auto kWaitForReconnect = std::chrono::seconds(30);

  RacerStream(Context* ctx, boost::asio::any_io_executor executor, std::string room,
              std::string token, int race);
  ~RacerStream();

  // Starts the child; false when the board cannot (busy). Then one connection holds it.
  bool Start();
  // One record for the child (its kind and bytes), from any thread, in the order the
  // racer sent them.
  void Send(char kind, std::string_view body);
  // Why the stream was refused ("too_fast", "too_large"), "" while it is not.
  std::string Refused();
  // A connection of the racer took the stream up or let it go. With none for
  // kWaitForReconnect, the playing ends (the racer may still send the round whole).
  void Attach();
  void Detach();
  // Ends the playing now (a refused record); `reason` kept for the racer's connection.
  void Refuse(const std::string& reason);
  // Whether the child still plays (not refused, not ended).
  bool Playing();

private:
  void WriteChild();
  void ReadLine();
  void Line(const std::string& line);
  void EndChild();
  void WaitForReconnect();

  Context* ctx_;
  boost::asio::posix::stream_descriptor to_child_, from_child_;
  boost::asio::steady_timer grace_;
  std::string room_, token_;
  int race_;
  FollowChild child_;  // on the executor's thread only, like the queue below
  std::deque<std::string> queue_;
  boost::asio::streambuf lines_{4096};  // the longest line the playing writes is far shorter
  std::atomic<size_t> behind_{0};       // bytes sent to it and not yet written
  std::atomic<int> connections_{0};
  std::atomic<bool> playing_{false};
  std::mutex lock_;  // guards the two below
  std::string refused_;
  std::chrono::steady_clock::time_point last_left_;
};

}  // namespace board
