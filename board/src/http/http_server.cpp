#include "http/http_server.h"

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/buffer.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/file.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "http/client_address.h"
#include "http/content_choice.h"
#include "http/file_part_body.h"
#include "http/http_parse.h"
#include "http/request_parse.h"
#include "http/room_relay_net.h"
#include "http/room_socket.h"
#include "ops/logs.h"
#include "ops/metrics.h"
#include "pages/file_delivery.h"
#include "pages/render.h"
#include "pages/response_cache.h"
#include "pages/static_files.h"
#include "routes/metrics_routes.h"
#include "routes/routes.h"

namespace board {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

namespace {

constexpr size_t kFormSlack = 64 * 1024;  // the upload form's own bytes around a replay
constexpr size_t kLingerBytes = 1 << 20;  // read and dropped after refusing a body
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kSlowestWrite = 64 * 1024;  // bytes a second a reader must take at least

class Session;

}  // namespace

// Members in this order: the tables outlive the threads and the context whose handlers
// still hold connections when the server is taken down.
struct HttpServer {
  Context* ctx;
  std::mutex lock;  // guards the four that follow
  std::condition_variable all_closed;
  size_t connections = 0;
  std::unordered_map<std::string, int> per_address;
  std::unordered_map<Session*, std::weak_ptr<Session>> sessions;
  size_t max_connections = 0;
  std::atomic<int> queued{0};  // requests handed to the workers, not yet answered
  int max_queued = 0;
  std::atomic<bool> stopping{false};
  // Rooms of the other servers on one PostgreSQL database (room_relay.h): it outlives
  // the loops, whose connections use it.
  std::unique_ptr<RoomRelay, void (*)(RoomRelay*)> relay{nullptr, nullptr};

  // One event loop per I/O thread, each connection on one of them for its whole life:
  // its handlers never run on two threads at once, so it needs no strand, and the loops
  // share no queue or lock.
  std::vector<std::unique_ptr<net::io_context>> loops;
  // Keep the threads running while requests are with the workers and no connection
  // waits on the network (the acceptor closes first when stopping).
  std::vector<net::executor_work_guard<net::io_context::executor_type>> busy;
  size_t next_loop = 0;  // the acceptor's, on loop 0
  std::unique_ptr<tcp::acceptor> acceptor;
  std::unique_ptr<net::steady_timer> accept_pause;
  std::unique_ptr<net::thread_pool> workers;

  explicit HttpServer(Context* c) : ctx(c) {
    int count = std::max(1, c->options->io_threads);
    for (int i = 0; i < count; ++i) {
      loops.push_back(std::make_unique<net::io_context>(1));
      busy.push_back(net::make_work_guard(*loops.back()));
    }
    acceptor = std::make_unique<tcp::acceptor>(*loops[0]);
    accept_pause = std::make_unique<net::steady_timer>(*loops[0]);
  }
};

namespace {

void Log(const char* what, const error_code& ec) {
  fprintf(stderr, "zumble-board: %s: %s\n", what, ec.message().c_str());
}

// The client's address: the socket's peer, or behind a trusted proxy the last address
// it added to X-Forwarded-For.
std::string ClientOf(const ServerOptions& options, const HttpRequest& req,
                     const std::string& peer) {
  const std::string* chain = req.Header("x-forwarded-for");
  if (!options.trust_proxy || !chain) return peer;
  size_t comma = chain->rfind(',');
  std::string last = comma == std::string::npos ? *chain : chain->substr(comma + 1);
  size_t b = last.find_first_not_of(' ');
  size_t e = last.find_last_not_of(' ');
  return b == std::string::npos ? peer : last.substr(b, e - b + 1);
}

std::string Lower(beast::string_view text) {
  std::string out(text.data(), text.size());
  for (char& c : out) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return out;
}

// The page's policy: an HTML file's names its own inline scripts by hash (read here; the
// page's HTML is a few KB), any other file gets the plain one.
std::string PolicyFor(const std::string& file, const std::string& type) {
  std::string html;
  if (type.rfind("text/html", 0) == 0) {
    FILE* f = fopen(file.c_str(), "rb");
    char chunk[8192];
    size_t n;
    while (f && html.size() < (1 << 20) && (n = fread(chunk, 1, sizeof chunk, f)) > 0)
      html.append(chunk, n);
    if (f) fclose(f);
  }
  return PageSecurityPolicy(html);
}

// One connection. Its reads and writes go straight to the socket, with one timer of its
// own for every deadline (a whole request's arrival, an answer's writing, the linger
// after a refusal): when it fires the socket's operations are cancelled. Every answer is
// written by Put, so each body type costs one instantiation of Beast's writer.
class Session : public std::enable_shared_from_this<Session> {
public:
  Session(HttpServer* server, tcp::socket&& socket, std::string peer, std::string key)
      : server_(server),
        socket_(std::move(socket)),
        deadline_(socket_.get_executor()),
        peer_(std::move(peer)),
        key_(std::move(key)) {}

  ~Session() {
    std::lock_guard<std::mutex> hold(server_->lock);
    server_->sessions.erase(this);
    if (--server_->per_address[key_] <= 0) server_->per_address.erase(key_);
    --server_->connections;
    server_->all_closed.notify_all();
    CountConnection(-1);
  }

  void Start() {
    {
      std::lock_guard<std::mutex> hold(server_->lock);
      server_->sessions[this] = weak_from_this();
    }
    net::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->Read(); });
  }

  // At stop, from any thread: a connection waiting for its next request closes now.
  void CloseIfIdle() {
    net::post(socket_.get_executor(), [self = shared_from_this()] {
      if (self->waiting_) self->Close();
    });
  }

private:
  const ServerOptions& options() const { return *server_->ctx->options; }

  // What follows an answer's writing.
  enum class Then { kReadNext, kReadBody, kClose };

  // The deadline of what comes next; when it passes, the socket's operations end with
  // operation_aborted. A deadline set again (or cancelled) makes the last one's wait
  // end as aborted, and its generation tells a wait already due from the new one.
  void Deadline(std::chrono::steady_clock::duration after) {
    timed_out_ = false;
    unsigned generation = ++deadline_generation_;
    deadline_.expires_after(after);
    deadline_.async_wait([self = shared_from_this(), generation](error_code ec) {
      if (ec || generation != self->deadline_generation_) return;
      self->timed_out_ = true;
      error_code ignored;
      self->socket_.cancel(ignored);
    });
  }

  void NoDeadline() {
    ++deadline_generation_;
    deadline_.cancel();
  }

  void Read() {
    if (server_->stopping) return Close();
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(options().max_header_bytes));
    parser_->body_limit(options().max_body + kFormSlack);
    // One deadline for the whole request, from the wait for its first byte to its last.
    // It cancels the reads and leaves the socket open: a client that took too long is
    // still told so.
    Deadline(std::chrono::milliseconds(options().request_timeout_ms));
    waiting_ = true;
    http::async_read_header(
        socket_, buffer_, *parser_,
        [self = shared_from_this()](error_code ec, size_t) { self->OnHeader(ec); });
  }

  // A read that failed: say why when the client may be listening, else just close.
  void ReadFailed(error_code ec, bool started) {
    NoDeadline();
    if (timed_out_) ec = beast::error::timeout;
    if (ec == http::error::header_limit) return Refuse(431, "the request's headers are too large");
    if (ec == http::error::body_limit)
      return Refuse(413, "the replay is larger than this board takes");
    if (ec == beast::error::timeout)
      return started ? Refuse(408, "the request took too long to arrive") : Close();
    if (ec == http::error::end_of_stream || ec == net::error::eof ||
        ec == net::error::connection_reset || ec == net::error::operation_aborted ||
        ec == net::error::bad_descriptor || ec == http::error::partial_message)
      return Close();
    Refuse(400, "the request was not understood");
  }

  void OnHeader(error_code ec) {
    waiting_ = false;
    if (ec) return ReadFailed(ec, buffer_.size() > 0 || parser_->got_some());
    auto& req = parser_->get();
    size_t fields = 0;
    for (auto it = req.begin(); it != req.end(); ++it) ++fields;
    if (fields > options().max_headers) return Refuse(431, "the request has too many headers");
    // Which board a request is for (its links, whether a post comes from the board's own
    // page) is read from its Host: with two, a proxy in front may go by the other one.
    if (req.count(http::field::host) > 1) return Refuse(400, "a request has one Host header");
    // A body comes with its length or chunked; without either, the bytes after the
    // header would be taken for the next request.
    bool has_framing = parser_->content_length().has_value() || parser_->chunked();
    if (!has_framing && (req.method() == http::verb::post || req.method() == http::verb::put))
      return Refuse(411, "a request body needs Content-Length (or chunked transfer)");
    if (parser_->is_done()) return OnRequest();
    if (beast::iequals(req[http::field::expect], "100-continue")) {
      // Within the request's deadline, which goes on running.
      Put(std::make_shared<http::response<http::string_body>>(http::status::continue_, 11),
          Then::kReadBody);
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](error_code ec, size_t) {
                       if (ec) return self->ReadFailed(ec, true);
                       self->OnRequest();
                     });
  }

  void OnRequest() {
    NoDeadline();
    http::request<http::string_body> raw = parser_->release();
    parser_.reset();
    keep_alive_ = raw.keep_alive();
    head_ = raw.method() == http::verb::head;

    HttpRequest req;
    req.method.assign(raw.method_string().data(), raw.method_string().size());
    beast::string_view target = raw.target();
    size_t q = target.find('?');
    beast::string_view path = target.substr(0, q);
    req.path = PercentDecode(std::string_view(path.data(), path.size()), false);
    if (q != beast::string_view::npos)
      req.query.assign(target.data() + q + 1, target.size() - q - 1);
    for (const auto& field : raw)
      req.headers.emplace_back(Lower(field.name_string()),
                               std::string(field.value().data(), field.value().size()));
    req.body = std::move(raw.body());
    req.client = ClientOf(options(), req, peer_);
    // A request another server passed here for one of its rooms' clients (room_relay.h).
    std::string relayed;
    const std::string* mark = req.Header(kRelayHeader);
    const bool passed = mark && RelayedClient(server_->ctx->relay, *mark, &relayed);
    if (passed) {
      req.client = relayed;
      req.passed = true;
    }
    // A proxy in front may name the request itself, to follow it through both logs.
    const std::string* proxy_id = options().trust_proxy ? req.Header("x-request-id") : nullptr;
    req.id = proxy_id && UsableRequestId(*proxy_id) ? *proxy_id : NewRequestId();
    Begin(req.id, req.client, req.method, std::string_view(target.data(), target.size()));
    const std::string* type = req.Header("content-type");
    if (type && !ParseMultipart(*type, req.body, &req.form)) req.form.clear();

    error_page_ = WantsErrorPage(req);
    // A room held by another server of the database: the request (a live link's too)
    // is passed to it, once a worker has looked up where the room is.
    if (server_->ctx->relay && !passed && !RoomOfPath(req.path).empty())
      return AskHome(std::move(raw), std::move(req));
    Dispatch(std::move(raw), std::move(req));
  }

  void AskHome(http::request<http::string_body> raw, HttpRequest req) {
    if (server_->queued.load() >= server_->max_queued) {
      HttpResponse res;
      res.AddHeader("Retry-After", "5");
      SendError(&res, 503, "the board is busy; try again soon");
      return Send(std::move(res));
    }
    ++server_->queued;
    auto asked = std::make_shared<std::pair<http::request<http::string_body>, HttpRequest>>(
        std::move(raw), std::move(req));
    net::post(*server_->workers, [self = shared_from_this(), asked] {
      // A post this server would refuse for its names it answers itself.
      const HttpRequest& req = asked->second;
      const bool refused = req.method != "GET" && RefusedPost(*self->server_->ctx, req);
      std::string home = refused ? "" : RelayHome(self->server_->ctx->relay, RoomOfPath(req.path));
      net::post(self->socket_.get_executor(), [self, asked, home] {
        --self->server_->queued;
        if (home.empty()) return self->Dispatch(std::move(asked->first), std::move(asked->second));
        http::request<http::string_body>& raw = asked->first;
        raw.erase(kRelayHeader);
        raw.erase(http::field::expect);              // answered here already
        raw.body() = std::move(asked->second.body);  // taken into the request above
        // One request a passed connection (its mark is on the first only); a live link
        // stays open as it is.
        if (!beast::websocket::is_upgrade(raw)) raw.keep_alive(false);
        std::ostringstream bytes;
        bytes << raw;
        RelayConnection(self->server_->ctx->relay, std::move(self->socket_), bytes.str(),
                        asked->second.client, home, self);
      });
    });
  }

  void Dispatch(http::request<http::string_body> raw, HttpRequest req) {
    if (beast::websocket::is_upgrade(raw)) return Upgrade(std::move(raw), req);

    const std::string& site = options().site;
    if (!site.empty() && (req.path == "/play" || req.path.rfind("/play/", 0) == 0)) {
      route_ = "/play/";
      return ServeFile(req);
    }
    route_ = RouteLabel(req);

    HttpResponse res;
    std::shared_ptr<const CachedAnswer> kept;
    if (AnswerAtOnce(server_->ctx, req, &res, &kept))
      return kept ? SendKept(std::move(kept), TakesGzip(req)) : Send(std::move(res));
    if (server_->queued.load() >= server_->max_queued) {
      res.AddHeader("Retry-After", "5");
      SendError(&res, 503, "the board is busy; try again soon");
      return Send(std::move(res));
    }
    ++server_->queued;
    net::post(*server_->workers, [self = shared_from_this(), req = std::move(req)]() mutable {
      auto res = std::make_shared<HttpResponse>();
      HandleRequest(self->server_->ctx, req, res.get());
      net::post(self->socket_.get_executor(), [self, res] {
        --self->server_->queued;
        self->Send(std::move(*res));
      });
    });
  }

  // A room's live link (room_socket.h): the connection is the follower's from here, and
  // this session lives on with it, counted as a connection. Any other upgrade is 404; a
  // room with as many followers as it takes, 503.
  void Upgrade(http::request<http::string_body> raw, const HttpRequest& req) {
    const std::string room = RoomOfLivePath(req.path);
    RoomAnswer place = room.empty() ? RoomAnswer{404, "no_room", "not found"}
                                    : FollowerPlace(&server_->ctx->rooms, room, true);
    if (place.status) {
      HttpResponse res;
      SendError(&res, place.status, place.message);
      return Send(std::move(res));
    }
    // A racer's connection (racer=PASS) also carries their round as they play it; a
    // spectator's (watch=NAME) also gets that racer's round as it comes.
    LiveRacer racer{.client = req.client, .request_id = req.id, .token = "", .watch = ""};
    req.Param("racer", &racer.token);
    std::string watch;
    if (req.Param("watch", &watch) && !ParseName(watch, &racer.watch)) {
      FollowerPlace(&server_->ctx->rooms, room, false);
      HttpResponse res;
      SendError(&res, 400, "watch= is not a racer's name");
      return Send(std::move(res));
    }
    FollowRoom(server_->ctx, std::move(socket_), std::move(raw), room, std::move(racer),
               &server_->stopping, shared_from_this());
  }

  void ServeFile(const HttpRequest& req) {
    HttpResponse res;
    std::string file, type;
    if (req.method != "GET" && req.method != "HEAD") {
      res.AddHeader("Allow", "GET, HEAD");
      SendError(&res, 405, "method not allowed");
      return Send(std::move(res));
    }
    if (!FindStaticFile(options().site, "/play", req.path, &file, &type)) {
      SendError(&res, 404, "not found");
      return Send(std::move(res));
    }
    // The file or its compressed copy, 304, or one part of the file's own bytes.
    if (!AnswerPageFile(req, file, type, &res)) {
      SendError(&res, 404, "not found");
      return Send(std::move(res));
    }
    res.AddHeader("Content-Security-Policy", PolicyFor(file, type));
    Send(std::move(res));
  }

  // A route's answer whose body is a file (HttpResponse::file): streamed from it.
  void SendFile(HttpResponse res) {
    error_code ec;
    FilePartBody::value_type body;
    body.file.open(res.file.c_str(), beast::file_mode::scan, ec);
    const uint64_t whole = ec ? 0 : body.file.size(ec);
    const bool part = res.status == 206;
    // A part names its bytes; a file that has since shrunk under it is not answered.
    if (ec || (part && (res.file_length == 0 || res.file_first + res.file_length > whole))) {
      HttpResponse missing;
      SendError(&missing, 404, "not found");
      return Send(std::move(missing));
    }
    body.first = part ? res.file_first : 0;
    body.length = part ? res.file_length : whole;
    const uint64_t size = body.length;
    auto answer = std::make_shared<http::response<FilePartBody>>(
        part ? http::status::partial_content : http::status::ok, 11);
    if (!res.content_type.empty()) answer->set(http::field::content_type, res.content_type);
    for (const auto& h : res.headers) answer->insert(h.first, h.second);
    for (const auto& h : TransportHeaders(res)) answer->insert(h.first, h.second);
    if (!id_.empty()) answer->insert("X-Request-Id", id_);
    status_ = static_cast<int>(answer->result_int());
    if (head_) {
      auto header_only = std::make_shared<http::response<http::string_body>>(http::status::ok, 11);
      header_only->base() = answer->base();
      header_only->content_length(size);
      return Write(header_only, 0);
    }
    answer->body() = std::move(body);
    answer->content_length(size);
    Write(answer, size);
  }

  void Send(HttpResponse res) {
    if (!res.file.empty() && (res.status == 200 || res.status == 206))
      return SendFile(std::move(res));
    // A browser asking for a page is shown the refusal as one, with the same status.
    if (error_page_ && !res.error.empty()) {
      res.content_type = "text/html; charset=utf-8";
      res.body = ErrorPageHtml(res.status, res.error);
    }
    auto answer = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(res.status), 11);
    if (!res.content_type.empty()) answer->set(http::field::content_type, res.content_type);
    for (const auto& h : res.headers) answer->insert(h.first, h.second);
    for (const auto& h : TransportHeaders(res)) answer->insert(h.first, h.second);
    if (!id_.empty()) answer->insert("X-Request-Id", id_);
    status_ = res.status;
    size_t size = res.body.size();
    if (res.status == 304 || res.status == 204) {
      return Write(answer, 0);
    }
    if (head_) {
      answer->content_length(size);
      return Write(answer, 0);
    }
    answer->body() = std::move(res.body);
    answer->content_length(size);
    Write(answer, size);
  }

  // A kept 200, from this thread: the bytes kept with it (its head serialized once, when
  // it was kept), nothing copied or serialized here; the same deadline as any answer.
  void SendKept(std::shared_ptr<const CachedAnswer> answer, bool gzip) {
    bool keep = keep_alive_ && !close_after_ && !server_->stopping;
    static constexpr std::string_view kKeep = "\r\n", kClose = "Connection: close\r\n\r\n";
    std::string_view end = keep ? kKeep : kClose;
    const bool packed = GzipKept(*answer, gzip);
    const std::string& body = packed ? answer->gzip : answer->response.body;
    const std::string& head = packed ? answer->gzip_head : answer->head;
    status_ = 200;
    id_line_ = "X-Request-Id: " + id_ + "\r\n";
    std::array<net::const_buffer, 4> bytes = {net::buffer(head), net::buffer(id_line_),
                                              net::buffer(end.data(), end.size()),
                                              net::buffer(body)};
    Deadline(std::chrono::milliseconds(options().request_timeout_ms) +
             std::chrono::seconds(body.size() / kSlowestWrite));
    Then then = keep ? Then::kReadNext : Then::kClose;
    net::async_write(socket_, bytes,
                     [self = shared_from_this(), answer = std::move(answer), then](
                         error_code ec, size_t n) { self->Wrote(ec, then, n); });
  }

  // An answer: given as long as a reader taking kSlowestWrite bytes a second needs.
  template <typename Message>
  void Write(std::shared_ptr<Message> message, uint64_t size) {
    bool keep = keep_alive_ && !close_after_ && !server_->stopping;
    message->keep_alive(keep);
    Deadline(std::chrono::milliseconds(options().request_timeout_ms) +
             std::chrono::seconds(size / kSlowestWrite));
    Put(std::move(message), keep ? Then::kReadNext : Then::kClose);
  }

  template <typename Message>
  void Put(std::shared_ptr<Message> message, Then then) {
    http::async_write(socket_, *message,
                      [self = shared_from_this(), message, then](error_code ec, size_t n) {
                        self->Wrote(ec, then, n);
                      });
  }

  // A request in hand: counted and logged once its answer is written (what only the
  // access log needs is kept only when it is on).
  void Begin(std::string id, const std::string& client, std::string method,
             std::string_view target) {
    id_ = std::move(id);
    method_ = std::move(method);
    if (AccessLogOn()) {
      client_ = client;
      target_.assign(target);
    }
    route_ = "unmatched";
    status_ = 0;
    started_ = std::chrono::steady_clock::now();
  }

  void Finish(size_t bytes) {
    if (id_.empty()) return;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    CountRequest(route_, method_, status_, seconds, bytes);
    if (AccessLogOn())
      LogAccess({.id = id_,
                 .client = client_,
                 .method = method_,
                 .target = target_,
                 .status = status_,
                 .bytes = bytes,
                 .seconds = seconds});
    id_.clear();
  }

  void Wrote(error_code ec, Then then, size_t bytes) {
    if (then == Then::kReadBody) return ec ? Close() : ReadBody();
    Finish(bytes);
    NoDeadline();
    if (ec) return Close();
    if (linger_) return Linger();
    if (then == Then::kClose) return Close();
    Read();
  }

  // Answers a request that will not be read to its end, then closes.
  void Refuse(int status, const char* reason) {
    NoDeadline();
    std::string method = "-", target = "-";
    if (parser_ && parser_->is_header_done()) {
      method.assign(parser_->get().method_string().data(), parser_->get().method_string().size());
      target.assign(parser_->get().target().data(), parser_->get().target().size());
    }
    Begin(NewRequestId(), peer_, method, target);
    route_ = "transport";
    parser_.reset();
    close_after_ = true;
    linger_ = true;
    keep_alive_ = false;
    head_ = false;
    error_page_ = false;
    HttpResponse res;
    SendError(&res, status, reason);
    Send(std::move(res));
  }

  // After refusing a request whose body is still coming: stop sending, read and drop
  // what the client still sends for a moment, so that it sees the answer rather than a
  // reset connection, then close.
  void Linger() {
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_send, ec);
    Deadline(kLingerTime);
    DropInput();
  }

  void DropInput() {
    socket_.async_read_some(net::buffer(scratch_, sizeof scratch_),
                            [self = shared_from_this()](error_code ec, size_t n) {
                              self->dropped_ += n;
                              if (ec || self->dropped_ > kLingerBytes) return self->Close();
                              self->DropInput();
                            });
  }

  void Close() {
    NoDeadline();
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_both, ec);
    socket_.close(ec);
  }

  HttpServer* server_;
  tcp::socket socket_;
  net::steady_timer deadline_;  // of what the connection waits for now
  unsigned deadline_generation_ = 0;
  bool timed_out_ = false;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::string peer_;
  std::string key_;
  bool waiting_ = false;  // for the first byte of a request
  bool keep_alive_ = false;
  bool head_ = false;
  bool close_after_ = false;
  bool error_page_ = false;  // refusals of this request go out as a page (content_choice.h)
  bool linger_ = false;
  size_t dropped_ = 0;
  // The request being answered, for its metrics and its access log line.
  std::string id_, client_, method_, target_, id_line_;
  const char* route_ = "unmatched";
  int status_ = 0;
  std::chrono::steady_clock::time_point started_;
  char scratch_[16384];
};

// A connection over a limit gets a short answer (if its socket takes it at once) and is
// closed, before anything of it is read.
void Turn(tcp::socket& socket, int status, const char* reason) {
  std::string body = ErrorJson(status, reason);
  std::string text = "HTTP/1.1 " + std::to_string(status) +
                     (status == 429 ? " Too Many Requests" : " Service Unavailable") +
                     "\r\nContent-Type: application/json\r\nRetry-After: 5\r\nConnection: "
                     "close\r\nContent-Length: " +
                     std::to_string(body.size()) + "\r\n\r\n" + body;
  error_code ec;
  socket.non_blocking(true, ec);
  socket.write_some(net::buffer(text), ec);
  socket.shutdown(tcp::socket::shutdown_both, ec);
  socket.close(ec);
}

void Admit(HttpServer* s, tcp::socket socket) {
  error_code ec;
  tcp::endpoint peer = socket.remote_endpoint(ec);
  if (ec) return;
  std::string address = peer.address().to_string();
  std::string key = AddressKey(address);
  const ServerOptions& options = *s->ctx->options;
  {
    std::lock_guard<std::mutex> hold(s->lock);
    if (s->connections >= s->max_connections) {
      CountTurnedAway("total");
      return Turn(socket, 503, "the board has too many connections; try again soon");
    }
    // Behind a proxy every connection is the proxy's: it meets the slow clients itself.
    int& mine = s->per_address[key];
    if (!options.trust_proxy && mine >= options.connections_per_address &&
        !RelayPeer(s->ctx->relay, peer)) {
      if (mine == 0) s->per_address.erase(key);
      CountTurnedAway("per_address");
      return Turn(socket, 429, "too many connections from this address");
    }
    ++mine;
    ++s->connections;
  }
  CountConnection(1);
  socket.set_option(tcp::no_delay(true), ec);
  std::make_shared<Session>(s, std::move(socket), address, key)->Start();
}

void Accept(HttpServer* s) {
  net::io_context& loop = *s->loops[s->next_loop++ % s->loops.size()];
  s->acceptor->async_accept(loop, [s](error_code ec, tcp::socket socket) {
    if (s->stopping || ec == net::error::operation_aborted) return;
    if (ec) {
      // Out of descriptors: wait a moment rather than spin on the same error.
      Log("accept", ec);
      s->accept_pause->expires_after(std::chrono::milliseconds(100));
      s->accept_pause->async_wait([s](error_code e) {
        if (!e) Accept(s);
      });
      return;
    }
    Admit(s, std::move(socket));
    Accept(s);
  });
}

void DeleteServer(HttpServer* s) {
  s->ctx->relay = nullptr;
  delete s;
}

}  // namespace

std::unique_ptr<HttpServer, void (*)(HttpServer*)> StartHttp(Context* ctx, int* port,
                                                             std::string* error) {
  std::unique_ptr<HttpServer, void (*)(HttpServer*)> s(new HttpServer(ctx), DeleteServer);
  const ServerOptions& options = *ctx->options;
  error_code ec;
  net::ip::address address = net::ip::make_address(options.listen, ec);
  if (ec) {
    *error = "--listen " + options.listen + ": not an address";
    return {nullptr, DeleteServer};
  }
  tcp::endpoint endpoint(address, static_cast<unsigned short>(options.port));
  s->acceptor->open(endpoint.protocol(), ec);
  if (!ec) s->acceptor->set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) s->acceptor->bind(endpoint, ec);
  if (!ec) s->acceptor->listen(1024, ec);
  if (ec) {
    *error = "cannot listen on " + options.listen + " port " + std::to_string(options.port) + ": " +
             ec.message();
    return {nullptr, DeleteServer};
  }
  *port = s->acceptor->local_endpoint().port();
  if (IsPostgresUrl(options.db)) {
    s->relay = StartRoomRelay(ctx, options.db, s->acceptor->local_endpoint(), error);
    if (!s->relay) return {nullptr, DeleteServer};
    ctx->relay = s->relay.get();
  }
  ctx->origins = BoardOrigins(options.public_urls, *port);
  // Connections stay well inside the descriptors the process may open (the database,
  // the verifiers and the page's files need some too).
  rlimit files{};
  size_t fd_room = 1024;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
    fd_room = files.rlim_cur;
  s->max_connections = fd_room > 128 ? fd_room - 96 : fd_room / 2;
  if (options.max_connections > 0 &&
      static_cast<size_t>(options.max_connections) < s->max_connections)
    s->max_connections = static_cast<size_t>(options.max_connections);
  s->workers = std::make_unique<net::thread_pool>(static_cast<size_t>(options.threads));
  s->max_queued = options.threads * 8;
  Accept(s.get());
  return s;
}

void RunHttp(HttpServer* s) {
  std::vector<std::thread> threads;
  for (size_t i = 1; i < s->loops.size(); ++i)
    threads.emplace_back([loop = s->loops[i].get()] { loop->run(); });
  s->loops[0]->run();
  for (std::thread& t : threads) t.join();
}

void StopHttp(HttpServer* s, int grace_ms) {
  s->stopping = true;
  net::post(*s->loops[0], [s] {
    error_code ec;
    s->acceptor->close(ec);
    s->accept_pause->cancel();
  });
  std::vector<std::shared_ptr<Session>> live;
  {
    std::lock_guard<std::mutex> hold(s->lock);
    for (auto& entry : s->sessions)
      if (auto session = entry.second.lock()) live.push_back(std::move(session));
  }
  for (auto& session : live) session->CloseIfIdle();
  live.clear();
  std::unique_lock<std::mutex> hold(s->lock);
  s->all_closed.wait_for(hold, std::chrono::milliseconds(grace_ms),
                         [s] { return s->connections == 0; });
  hold.unlock();
  for (auto& guard : s->busy) guard.reset();
  for (auto& loop : s->loops) loop->stop();
}

}  // namespace board
