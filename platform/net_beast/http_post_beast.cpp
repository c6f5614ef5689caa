// A board's answer to one posted request, with Boost.Beast: everything bounded in time
// (the whole exchange) and in size (the answer's head and body).
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/net_beast/net_url.h"
#include "platform/services/http_post.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kWholeTime = std::chrono::seconds(15);
constexpr std::size_t kMostAnswer = 64u << 10;

}  // namespace

int HttpPostJson(const char* url, const char* body, char* answer, std::size_t answerSize,
                 char* error, std::size_t errorSize) {
    NetUrl where{};
    if (!url || !body || !SplitNetUrl(url, "http", &where, error, errorSize)) return -1;
    asio::io_context io;
    tcp::resolver resolver(io);
    beast::tcp_stream stream(io);
    beast::flat_buffer buffer;
    http::request<http::string_body> request{http::verb::post, where.target, 11};
    char host[sizeof where.host + 16];
    const bool v6 = std::strchr(where.host, ':') != nullptr;
    std::snprintf(host, sizeof host, v6 ? "[%s]:%s" : "%s:%s", where.host, where.port);
    request.set(http::field::host, host);
    request.set(http::field::user_agent, "zumble");
    request.set(http::field::content_type, "application/json");
    request.body() = body;
    request.prepare_payload();
    http::response_parser<http::string_body> parser;
    parser.header_limit(16u << 10);
    parser.body_limit(kMostAnswer);

    beast::error_code failed;
    const char* step = "finding the board";
    int status = -1;
    // Every step ends the exchange on its first fault: `failed` and `step` say which.
    auto stop = [&](const beast::error_code& ec, const char* where_) {
        failed = ec;
        step = where_;
    };
    stream.expires_after(kWholeTime);
    resolver.async_resolve(
        where.host, where.port,
        [&](beast::error_code ec, const tcp::resolver::results_type& found) {
            if (ec) return stop(ec, "finding the board");
            stream.async_connect(found, [&](beast::error_code e1, const tcp::endpoint&) {
                if (e1) return stop(e1, "connecting");
                http::async_write(stream, request, [&](beast::error_code e2, std::size_t) {
                    if (e2) return stop(e2, "sending");
                    http::async_read(
                        stream, buffer, parser, [&](beast::error_code e3, std::size_t) {
                            if (e3) return stop(e3, "reading the answer");
                            status = static_cast<int>(parser.get().result_int());
                            beast::error_code ignored;
                            stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
                        });
                });
            });
        });
    // The resolver's own wait is bounded too: it stops with the exchange's time.
    io.run_for(kWholeTime + std::chrono::seconds(1));
    if (status < 0) {
        std::snprintf(error, errorSize, "%s %s:%s: %s", step, where.host, where.port,
                      failed ? failed.message().c_str() : "no answer in time");
        return -1;
    }
    if (answer && answerSize > 0)
        std::snprintf(answer, answerSize, "%s", parser.get().body().c_str());
    return status;
}
