// The board's HTTP/1.1 transport (Boost.Beast over Asio): a few threads read and write
// every connection without blocking, so a slow or idle client costs a little memory and
// never a thread; the routes run on a pool of workers. Each limit on what a client may
// send (header bytes and count, body bytes whatever the framing, a deadline for the whole
// request, connections per address) is enforced here, before any route sees the request.
#pragma once
#include <memory>
#include <string>

#include "context.h"

namespace board {

struct HttpServer;

// Listens on options.listen:options.port (0: any free port); null with *error on failure.
std::unique_ptr<HttpServer, void (*)(HttpServer*)> StartHttp(Context* ctx, int* port,
                                                             std::string* error);

// Serves until StopHttp has finished; blocks the calling thread.
void RunHttp(HttpServer* server);

// From any thread: no more connections; idle ones close, requests in hand are answered
// (with Connection: close), then RunHttp returns, at the latest after grace_ms.
void StopHttp(HttpServer* server, int grace_ms);

}  // namespace board
