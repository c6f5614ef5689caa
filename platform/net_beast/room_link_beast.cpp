// The room's connection on the desktop and Windows: a WebSocket client (Boost.Beast over
// Asio) on a thread of its own. The game's thread only queues what it sends and takes
// what came, under a lock, in room taken when the link opens; the link's thread does all
// the waiting.
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "platform/net_beast/message_ring.h"
#include "platform/net_beast/net_url.h"
#include "platform/services/room_link.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

// What waits in each direction. The board's text messages (the room's state) are some
// 50 KB at most; a racer's message is at most 64 KB.
constexpr std::size_t kMostIncoming = 1u << 20;
constexpr std::size_t kIncomingRoom = 2u << 20;
constexpr std::size_t kMostOutgoing = 64u << 10;
constexpr std::size_t kOutgoingRoom = 1u << 20;
constexpr auto kConnectTime = std::chrono::seconds(10);
// With no message for this long the board is pinged; no answer to it: the link is lost.
constexpr auto kIdleTime = std::chrono::seconds(20);
constexpr auto kCloseTime = std::chrono::seconds(2);

constexpr std::uint8_t kBinary = 'b';
constexpr std::uint8_t kText = 't';

}  // namespace

struct RoomLink {
    NetUrl url{};
    asio::io_context io;
    tcp::resolver resolver{io};
    websocket::stream<beast::tcp_stream> ws{io};
    beast::flat_buffer readBuffer;
    std::uint8_t* writeBuffer = nullptr;  // kMostOutgoing + its kind byte
    std::thread thread;

    // Shared with the game's thread: under `lock`.
    std::mutex lock;
    std::condition_variable ended;
    bool threadDone = false;
    RoomLinkStatus status = RoomLinkStatus::kConnecting;
    int closeCode = 0;
    char closeReason[124] = {};
    MessageRing incoming;
    MessageRing outgoing;
    bool writePosted = false;

    // The link's thread's own.
    bool writing = false;
    bool closing = false;
};

namespace {

void Closed(RoomLink* link, int code, const char* reason) {
    std::lock_guard<std::mutex> hold(link->lock);
    if (link->status == RoomLinkStatus::kClosed) return;
    link->status = RoomLinkStatus::kClosed;
    link->closeCode = code;
    std::snprintf(link->closeReason, sizeof link->closeReason, "%s", reason);
}

void Fail(RoomLink* link, const beast::error_code& ec, const char* what) {
    if (ec == websocket::error::closed) {
        const websocket::close_reason& why = link->ws.reason();
        Closed(link, why.code, why.reason.c_str());
        return;
    }
    char text[124];
    std::snprintf(text, sizeof text, "%s: %s", what, ec.message().c_str());
    Closed(link, 1006, text);
    beast::error_code ignored;
    beast::get_lowest_layer(link->ws).socket().close(ignored);
}

void Write(RoomLink* link);

void OnWritten(RoomLink* link, const beast::error_code& ec) {
    link->writing = false;
    if (ec) return Fail(link, ec, "sending");
    Write(link);
}

// Sends the oldest queued message, one at a time.
void Write(RoomLink* link) {
    if (link->writing || link->closing) return;
    std::size_t size = 0;
    {
        std::lock_guard<std::mutex> hold(link->lock);
        if (link->status != RoomLinkStatus::kOpen || link->outgoing.count == 0) return;
        size = MessageRingPop(&link->outgoing, link->writeBuffer, kMostOutgoing + 1);
    }
    if (size == 0) return;
    link->writing = true;
    link->ws.binary(link->writeBuffer[0] == kBinary);
    link->ws.async_write(asio::buffer(link->writeBuffer + 1, size - 1),
                         [link](beast::error_code ec, std::size_t) { OnWritten(link, ec); });
}

void Read(RoomLink* link) {
    link->ws.async_read(link->readBuffer, [link](beast::error_code ec, std::size_t) {
        if (ec) return Fail(link, ec, "receiving");
        if (link->ws.got_text()) {
            const auto data = link->readBuffer.cdata();
            std::lock_guard<std::mutex> hold(link->lock);
            // The newest state matters more than an old one nobody took yet.
            while (!MessageRingPush(&link->incoming, data.data(), data.size(), nullptr, 0) &&
                   link->incoming.count > 0)
                MessageRingPop(&link->incoming, nullptr, 0);
        }
        link->readBuffer.consume(link->readBuffer.size());
        Read(link);
    });
}

void OnHandshake(RoomLink* link, const beast::error_code& ec) {
    if (ec) return Fail(link, ec, "opening the room's connection");
    {
        std::lock_guard<std::mutex> hold(link->lock);
        if (link->status == RoomLinkStatus::kConnecting) link->status = RoomLinkStatus::kOpen;
    }
    Read(link);
    Write(link);
}

void OnConnect(RoomLink* link, const beast::error_code& ec) {
    if (ec) return Fail(link, ec, "connecting");
    beast::get_lowest_layer(link->ws).expires_never();
    websocket::stream_base::timeout timeout{};
    timeout.handshake_timeout = kConnectTime;
    timeout.idle_timeout = kIdleTime;
    timeout.keep_alive_pings = true;
    link->ws.set_option(timeout);
    link->ws.read_message_max(kMostIncoming);
    link->ws.auto_fragment(false);
    char host[sizeof link->url.host + 16];
    const bool v6 = std::strchr(link->url.host, ':') != nullptr;
    std::snprintf(host, sizeof host, v6 ? "[%s]:%s" : "%s:%s", link->url.host, link->url.port);
    link->ws.async_handshake(host, link->url.target,
                             [link](beast::error_code e) { OnHandshake(link, e); });
}

void Run(RoomLink* link) {
    link->resolver.async_resolve(
        link->url.host, link->url.port,
        [link](beast::error_code ec, const tcp::resolver::results_type& found) {
            if (ec) return Fail(link, ec, "finding the board");
            if (link->closing) return;
            beast::get_lowest_layer(link->ws).expires_after(kConnectTime);
            beast::get_lowest_layer(link->ws).async_connect(
                found, [link](beast::error_code e, const tcp::endpoint&) { OnConnect(link, e); });
        });
    link->io.run();
    std::lock_guard<std::mutex> hold(link->lock);
    link->threadDone = true;
    link->ended.notify_all();
}

// On the link's thread: a clean close when open, else everything stopped.
void StartClose(RoomLink* link) {
    link->closing = true;
    link->resolver.cancel();
    bool open = false;
    {
        std::lock_guard<std::mutex> hold(link->lock);
        open = link->status == RoomLinkStatus::kOpen;
    }
    if (!open) {
        beast::error_code ignored;
        beast::get_lowest_layer(link->ws).socket().close(ignored);
        return;
    }
    beast::get_lowest_layer(link->ws).expires_after(kCloseTime);
    link->ws.async_close(websocket::close_code::normal, [link](beast::error_code) {
        beast::error_code ignored;
        beast::get_lowest_layer(link->ws).socket().close(ignored);
    });
}

bool Queue(RoomLink* link, std::uint8_t kind, const void* bytes, std::size_t size) {
    if (!link || size > kMostOutgoing) return false;
    std::lock_guard<std::mutex> hold(link->lock);
    if (link->status != RoomLinkStatus::kOpen ||
        !MessageRingPush(&link->outgoing, &kind, 1, bytes, size))
        return false;
    if (!link->writePosted) {
        link->writePosted = true;
        asio::post(link->io, [link] {
            {
                std::lock_guard<std::mutex> again(link->lock);
                link->writePosted = false;
            }
            Write(link);
        });
    }
    return true;
}

void Free(RoomLink* link) {
    MessageRingFree(&link->incoming);
    MessageRingFree(&link->outgoing);
    delete[] link->writeBuffer;
    delete link;
}

}  // namespace

RoomLink* OpenRoomLink(const char* url, char* error, std::size_t errorSize) {
    NetUrl where{};
    if (!url || !SplitNetUrl(url, "ws", &where, error, errorSize)) return nullptr;
    RoomLink* link = new (std::nothrow) RoomLink;
    if (!link) {
        std::snprintf(error, errorSize, "out of memory");
        return nullptr;
    }
    link->url = where;
    link->writeBuffer = new (std::nothrow) std::uint8_t[kMostOutgoing + 1];
    if (!link->writeBuffer || !MessageRingOpen(&link->incoming, kIncomingRoom) ||
        !MessageRingOpen(&link->outgoing, kOutgoingRoom)) {
        Free(link);
        std::snprintf(error, errorSize, "out of memory");
        return nullptr;
    }
    link->thread = std::thread(Run, link);
    return link;
}

RoomLinkStatus RoomLinkState(RoomLink* link) {
    if (!link) return RoomLinkStatus::kClosed;
    std::lock_guard<std::mutex> hold(link->lock);
    return link->status;
}

int RoomLinkCloseReason(RoomLink* link, char* reason, std::size_t reasonSize) {
    if (!link) return 0;
    std::lock_guard<std::mutex> hold(link->lock);
    if (reason && reasonSize > 0) std::snprintf(reason, reasonSize, "%s", link->closeReason);
    return link->closeCode;
}

bool RoomLinkSendBinary(RoomLink* link, const std::uint8_t* bytes, std::size_t size) {
    return Queue(link, kBinary, bytes, size);
}

bool RoomLinkSendText(RoomLink* link, const char* text) {
    return text && Queue(link, kText, text, std::strlen(text));
}

long RoomLinkTakeText(RoomLink* link, char* out, std::size_t outSize) {
    if (!link || !out || outSize == 0) return -1;
    std::lock_guard<std::mutex> hold(link->lock);
    for (;;) {
        const long size = MessageRingFrontSize(link->incoming);
        if (size < 0) return -1;
        if (static_cast<std::size_t>(size) > outSize - 1) {
            MessageRingPop(&link->incoming, nullptr, 0);
            continue;
        }
        MessageRingPop(&link->incoming, out, outSize - 1);
        out[size] = 0;
        return size;
    }
}

void CloseRoomLink(RoomLink* link) {
    if (!link) return;
    asio::post(link->io, [link] { StartClose(link); });
    {
        std::unique_lock<std::mutex> hold(link->lock);
        // A board that does not answer the close is not waited for long.
        if (!link->ended.wait_for(hold, kCloseTime + std::chrono::seconds(1),
                                  [link] { return link->threadDone; }))
            link->io.stop();
    }
    link->thread.join();
    Free(link);
}
