// The board's routes: plain functions from a request to its answer, found by method and
// path. The answers of GET routes marked cached are kept in memory until a run is stored,
// with an ETag (If-None-Match gives 304).
#pragma once
#include "context.h"
#include "http_types.h"

namespace board {

// Answers one request (never the files under /play/, which the transport serves).
void HandleRequest(Context* ctx, const HttpRequest& req, HttpResponse* res);

// The JSON error answer most routes give.
void SendError(HttpResponse* res, int status, const std::string& reason);

// 503 with Retry-After, the database's error logged.
void DatabaseDown(Context* ctx, HttpResponse* res);

}  // namespace board
