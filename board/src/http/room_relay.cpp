#include <array>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "http/room_relay_net.h"
#include "rooms/room_state.h"
#include "store/pg_mail.h"
#include "trust/digest.h"

namespace board {

namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

constexpr size_t kChunk = 5000;           // bytes a message carries (base64: 6,668 characters)
constexpr size_t kMostPending = 1 << 20;  // bytes waiting for a connection to take them
constexpr auto kAnswerTime = std::chrono::seconds(10);  // for the home's first bytes
constexpr auto kSlowest = std::chrono::seconds(10);     // a write not taken by then: dropped
constexpr auto kKeepEvery = std::chrono::seconds(10);   // this server's rooms said alive

class Passed;

}  // namespace

struct RoomRelay {
  Context* ctx = nullptr;
  tcp::endpoint self;  // this server's own port, on the loopback
  std::string secret;  // marks the requests this process passes to its own port
  std::unique_ptr<PgMail, void (*)(PgMail*)> mail{nullptr, nullptr};
  std::thread keeper;
  std::mutex lock;  // guards the four that follow
  std::condition_variable stop_keeper;
  bool stopping = false;
  // The connections passed: by number for those this server sends on, by the sending
  // server's id and number for those it is home to.
  std::unordered_map<std::string, std::weak_ptr<Passed>> passed;
  std::multiset<unsigned short> own_ports;
  uint64_t next = 0;  // numbers passed connections and messages
  // The home's side of passed connections runs on a loop of its own, last here: taken
  // down first, while what its connections use is still there.
  net::io_context io{1};
  net::executor_work_guard<net::io_context::executor_type> busy = net::make_work_guard(io);
  std::thread loop;
};

namespace {

uint64_t Next(RoomRelay* r) {
  std::lock_guard<std::mutex> hold(r->lock);
  return ++r->next;
}

// A message: KIND NUMBER FROM SEQ DATA. The sender's kinds are o (open: the client's
// address, a line, then the request's first bytes), d (bytes), c (closed); the home's
// are D and C. SEQ keeps two messages apart that would be the same (PostgreSQL sends a
// transaction's like messages once). DATA is base64, "-" for none.
bool Mail(RoomRelay* r, const std::string& to, char kind, const std::string& number,
          std::string_view bytes) {
  std::string text = std::string(1, kind) + ' ' + number + ' ' + MailId(*r->mail) + ' ' +
                     std::to_string(Next(r)) + ' ' + (bytes.empty() ? "-" : Base64(bytes));
  return SendMail(r->mail.get(), to, std::move(text));
}

// One connection passed between two servers: on the server it reached (`sender_`), the
// client's; on the home, the one made to the home's own port. Everything runs on the
// socket's loop.
class Passed : public std::enable_shared_from_this<Passed> {
public:
  Passed(RoomRelay* relay, tcp::socket socket, bool sender, std::string other, std::string number,
         std::string key, std::shared_ptr<void> hold)
      : relay_(relay),
        socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        sender_(sender),
        other_(std::move(other)),
        number_(std::move(number)),
        key_(std::move(key)),
        hold_(std::move(hold)) {}

  ~Passed() { Forget(); }

  // The sender's start: the request goes to the home, which has kAnswerTime to begin
  // its answer.
  void Send(const std::string& client, const std::string& request) {
    std::string first = client + "\n" + request.substr(0, kChunk);
    bool sent = Mail(relay_, other_, 'o', number_, first);
    for (size_t at = kChunk; sent && at < request.size(); at += kChunk)
      sent = Mail(relay_, other_, 'd', number_, std::string_view(request).substr(at, kChunk));
    if (!sent) return NoAnswer();
    timer_.expires_after(kAnswerTime);
    timer_.async_wait([self = shared_from_this()](error_code ec) {
      if (!ec && !self->answered_) self->NoAnswer();
    });
    Read();
  }

  // The home's start: a connection to its own port, from a loopback port of its own
  // (so that it is not counted as the loopback's), the request marked with the client.
  void Open(std::string request) {
    error_code ec;
    socket_.open(relay_->self.protocol(), ec);
    if (!ec) socket_.bind(tcp::endpoint(relay_->self.address(), 0), ec);
    if (!ec) port_ = socket_.local_endpoint(ec).port();
    if (ec) return End(true);
    {
      std::lock_guard<std::mutex> hold(relay_->lock);
      relay_->own_ports.insert(port_);
    }
    Queue(std::move(request));
    socket_.async_connect(relay_->self, [self = shared_from_this()](error_code e) {
      if (e) return self->End(true);
      // Small messages go at once (as on every connection the server takes).
      error_code ignored;
      self->socket_.set_option(tcp::no_delay(true), ignored);
      self->connected_ = true;
      self->Write();
      self->Read();
    });
  }

  // A message from the other server: bytes to write, or the end.
  void Take(bool end, std::string bytes) {
    if (ended_) return;
    answered_ = true;
    if (!end) return Queue(std::move(bytes));
    closing_ = true;
    if (!writing_ && out_.empty()) End(false);
  }

  // Ended from outside (the database's messages lost).
  void Drop() { End(false); }

  net::any_io_executor Executor() { return socket_.get_executor(); }

private:
  void Queue(std::string bytes) {
    pending_ += bytes.size();
    if (pending_ > kMostPending) return End(true);
    out_.push_back(std::move(bytes));
    Write();
  }

  void Write() {
    if (writing_ || out_.empty() || ended_ || (!sender_ && !connected_)) return;
    writing_ = true;
    if (answered_) {
      timer_.expires_after(kSlowest);
      timer_.async_wait([weak = weak_from_this()](error_code ec) {
        auto self = weak.lock();
        if (!ec && self && self->writing_) self->End(true);
      });
    }
    net::async_write(socket_, net::buffer(out_.front()),
                     [self = shared_from_this()](error_code ec, size_t n) {
                       self->writing_ = false;
                       self->timer_.cancel();
                       if (ec) return self->End(true);
                       self->pending_ -= n;
                       self->out_.pop_front();
                       if (self->closing_ && self->out_.empty()) return self->End(false);
                       self->Write();
                     });
  }

  void Read() {
    socket_.async_read_some(net::buffer(in_), [self = shared_from_this()](error_code ec, size_t n) {
      if (self->ended_) return;
      if (ec) return self->End(true);
      if (!Mail(self->relay_, self->other_, self->sender_ ? 'd' : 'D', self->number_,
                std::string_view(self->in_.data(), n)))
        return self->End(true);
      self->Read();
    });
  }

  // The home did not answer in time (or its messages could not be sent): the client is
  // told so as any busy server tells it.
  void NoAnswer() {
    if (ended_) return;
    const std::string body =
        "{\"error\":\"busy\",\"message\":\"the room's server does not answer; try again\"}";
    answered_ = true;
    Mail(relay_, other_, 'c', number_, {});
    Queue(
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nRetry-After: "
        "5\r\nConnection: close\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body);
    closing_ = true;
  }

  // The end: the other server told (`tell`), the socket closed once, the numbers given
  // back.
  void End(bool tell) {
    if (ended_) return;
    ended_ = true;
    if (tell) Mail(relay_, other_, sender_ ? 'c' : 'C', number_, {});
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    timer_.cancel();
    out_.clear();
    Forget();
    hold_.reset();
  }

  void Forget() {
    std::lock_guard<std::mutex> hold(relay_->lock);
    auto it = relay_->passed.find(key_);
    if (it != relay_->passed.end() && (it->second.expired() || it->second.lock().get() == this))
      relay_->passed.erase(it);
    if (port_) {
      auto p = relay_->own_ports.find(port_);
      if (p != relay_->own_ports.end()) relay_->own_ports.erase(p);
      port_ = 0;
    }
  }

  RoomRelay* relay_;
  tcp::socket socket_;
  net::steady_timer timer_;
  bool sender_;
  std::string other_;   // the other server's id
  std::string number_;  // the connection's number in the messages
  std::string key_;     // its place in RoomRelay::passed
  std::shared_ptr<void> hold_;
  std::deque<std::string> out_;  // bytes to write, in order
  size_t pending_ = 0;
  std::array<char, kChunk> in_;
  unsigned short port_ = 0;
  bool connected_ = false, writing_ = false, answered_ = false, closing_ = false, ended_ = false;
};

// A message from another server, on the mail's thread: handed to its connection's loop.
void Deliver(RoomRelay* r, const std::string& text) {
  if (text.empty()) {
    // The database's messages were lost for a moment: every passed connection ends
    // (a racer's game connects again and carries on).
    std::vector<std::shared_ptr<Passed>> all;
    {
      std::lock_guard<std::mutex> hold(r->lock);
      for (auto& entry : r->passed)
        if (auto p = entry.second.lock()) all.push_back(std::move(p));
    }
    for (auto& p : all) net::post(p->Executor(), [p] { p->Drop(); });
    return;
  }
  // KIND NUMBER FROM SEQ DATA
  size_t a = text.find(' '), b = text.find(' ', a + 1), c = text.find(' ', b + 1),
         d = text.find(' ', c + 1);
  if (a != 1 || d == std::string::npos) return;
  const char kind = text[0];
  const std::string number = text.substr(2, b - 2), from = text.substr(b + 1, c - b - 1);
  std::string bytes;
  std::string_view data = std::string_view(text).substr(d + 1);
  if (data != "-" && !FromBase64(data, &bytes)) return;
  const bool from_sender = kind == 'o' || kind == 'd' || kind == 'c';
  const std::string key = from_sender ? from + " " + number : number;
  if (kind == 'o') {
    size_t line = bytes.find('\n');
    size_t end = bytes.find("\r\n");
    if (line == std::string::npos || end == std::string::npos || end < line) return;
    // The mark goes right after the request line.
    std::string request = bytes.substr(line + 1);
    request.insert(end - line + 1, std::string(kRelayHeader) + ": " + r->secret + " " +
                                       bytes.substr(0, line) + "\r\n");
    net::post(r->io, [r, key, from, number, request = std::move(request)]() mutable {
      std::shared_ptr<Passed> p;
      {
        std::lock_guard<std::mutex> hold(r->lock);
        if (r->stopping || r->passed.count(key)) return;
        p = std::make_shared<Passed>(r, tcp::socket(r->io), false, from, number, key, nullptr);
        r->passed[key] = p;
      }
      // At once: the bytes that follow are queued behind the request.
      p->Open(std::move(request));
    });
    return;
  }
  if (kind != 'd' && kind != 'c' && kind != 'D' && kind != 'C') return;
  std::shared_ptr<Passed> p;
  {
    std::lock_guard<std::mutex> hold(r->lock);
    auto it = r->passed.find(key);
    if (it != r->passed.end()) p = it->second.lock();
  }
  // The home's connections are made on its loop, after the open's post: the bytes that
  // follow the open are posted behind it, in order.
  if (!p && from_sender) {
    net::post(r->io, [r, key, kind, bytes = std::move(bytes)]() mutable {
      std::shared_ptr<Passed> q;
      {
        std::lock_guard<std::mutex> hold(r->lock);
        auto it = r->passed.find(key);
        if (it != r->passed.end()) q = it->second.lock();
      }
      if (q) q->Take(kind == 'c', std::move(bytes));
    });
    return;
  }
  if (p)
    net::post(p->Executor(), [p, kind, bytes = std::move(bytes)]() mutable {
      p->Take(kind == 'c' || kind == 'C', std::move(bytes));
    });
}

// Every kKeepEvery: the rooms held here said alive, the rows of those that ended deleted.
void Keep(RoomRelay* r) {
  std::unique_lock<std::mutex> hold(r->lock);
  while (!r->stop_keeper.wait_for(hold, kKeepEvery, [r] { return r->stopping; })) {
    hold.unlock();
    std::vector<std::string> rooms;
    {
      std::lock_guard<std::mutex> hold_rooms(r->ctx->rooms.lock);
      for (const auto& entry : r->ctx->rooms.open) rooms.push_back(entry.first);
    }
    if (!KeepRooms(r->mail.get(), rooms))
      fprintf(stderr, "zumble-board: rooms' homes: not kept this time\n");
    hold.lock();
  }
}

void StopRoomRelay(RoomRelay* r) {
  {
    std::lock_guard<std::mutex> hold(r->lock);
    r->stopping = true;
  }
  r->stop_keeper.notify_all();
  if (r->keeper.joinable()) r->keeper.join();
  // The rooms end with this server: nobody is sent here for them.
  if (r->mail) KeepRooms(r->mail.get(), {});
  // The loop first: its connections send messages while it runs.
  r->busy.reset();
  r->io.stop();
  if (r->loop.joinable()) r->loop.join();
  r->mail.reset();
  delete r;
}

}  // namespace

std::unique_ptr<RoomRelay, void (*)(RoomRelay*)> StartRoomRelay(Context* ctx,
                                                                const std::string& url,
                                                                const tcp::endpoint& self,
                                                                std::string* error) {
  std::unique_ptr<RoomRelay, void (*)(RoomRelay*)> r(new RoomRelay, StopRoomRelay);
  r->ctx = ctx;
  // A server listening on every address is reached on the loopback.
  r->self = self;
  if (self.address().is_unspecified())
    r->self.address(self.address().is_v6() ? net::ip::address(net::ip::address_v6::loopback())
                                           : net::ip::address(net::ip::address_v4::loopback()));
  r->secret = RandomToken(16);
  RoomRelay* raw = r.get();
  r->mail = OpenPgMail(
      url, [raw](const std::string& text) { Deliver(raw, text); }, error);
  if (!r->mail) return {nullptr, StopRoomRelay};
  r->loop = std::thread([raw] { raw->io.run(); });
  r->keeper = std::thread(Keep, raw);
  return r;
}

std::string RoomOfPath(const std::string& path) {
  std::string_view rest = path;
  if (rest.rfind("/api/rooms/", 0) == 0)
    rest.remove_prefix(11);
  else if (rest.rfind("/rooms/", 0) == 0)
    rest.remove_prefix(7);
  else
    return "";
  std::string_view id = rest.substr(0, rest.find('/'));
  if (id.empty() || id.size() > 64) return "";
  for (char c : id)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return "";
  return std::string(id);
}

std::string RelayHome(RoomRelay* r, const std::string& room) {
  {
    std::lock_guard<std::mutex> hold(r->ctx->rooms.lock);
    if (r->ctx->rooms.open.count(room)) return "";
  }
  std::string home = HomeOfRoom(r->mail.get(), room);
  return home == MailId(*r->mail) ? "" : home;
}

void RelayConnection(RoomRelay* r, tcp::socket socket, std::string request,
                     const std::string& client, const std::string& home,
                     std::shared_ptr<void> hold) {
  const std::string number = std::to_string(Next(r));
  auto p =
      std::make_shared<Passed>(r, std::move(socket), true, home, number, number, std::move(hold));
  {
    std::lock_guard<std::mutex> lock(r->lock);
    r->passed[number] = p;
  }
  p->Send(client, request);
}

bool RelayedClient(const RoomRelay* r, const std::string& value, std::string* client) {
  size_t space = value.find(' ');
  if (!r || space == std::string::npos || !SameSecret(value.substr(0, space), r->secret))
    return false;
  *client = value.substr(space + 1);
  return !client->empty();
}

bool RelayPeer(RoomRelay* r, const tcp::endpoint& peer) {
  if (!r || !peer.address().is_loopback()) return false;
  std::lock_guard<std::mutex> hold(r->lock);
  return r->own_ports.count(peer.port()) > 0;
}

void RelayRoomMade(RoomRelay* r, const std::string& room) {
  if (r && !ClaimRoom(r->mail.get(), room))
    fprintf(stderr, "zumble-board: rooms' homes: room %s not claimed\n", room.c_str());
}

}  // namespace board
