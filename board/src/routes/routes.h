// The board's routes: plain functions from a request to its answer, found by method and
// path. The answers of GET routes marked cached are kept in memory until a run is stored,
// with an ETag (If-None-Match gives 304).
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "context.h"
#include "http/http_types.h"
#include "pages/response_cache.h"

namespace board {

// Answers one request (never the files under /play/, which the transport serves). May
// wait for the database or a verification: the transport runs it on a worker.
void HandleRequest(Context* ctx, const HttpRequest& req, HttpResponse* res);

// Why a post may not be taken (sent to a name not the board's, or from another site's
// page), null when it may.
const char* RefusedPost(const Context& ctx, const HttpRequest& req);

// Answers from memory alone, when it can (an answer kept for this generation, a path no
// route has, a database known to be away); false when the request needs HandleRequest.
// Never blocks, so the transport calls it on the thread that read the request.
// With `kept`, a kept answer that goes out whole comes back there instead (res is left
// as it is), for the transport to send its bytes as they are kept.
bool AnswerAtOnce(Context* ctx, const HttpRequest& req, HttpResponse* res,
                  std::shared_ptr<const CachedAnswer>* kept = nullptr);

// Builds the kept answer of a cache key again at `generation` (the page builder's work,
// board_watch.h); a failed build is given up, to be built by the next reader.
void BuildAhead(Context* ctx, const std::string& key, int64_t generation);

// A racer's whole round in a room's race (POST .../round, or put together from the
// racer's live stream): checked against the race, verified and stored as every
// submission, the racer's result written; `res` is the answer POST .../round gives.
// May wait for a verification.
void SendRoomRound(Context* ctx, const std::string& id, const std::string& token,
                   const std::string& client, const std::string& request_id,
                   const std::string& body, HttpResponse* res);

// A racer's live stream begins: `header` is the round's header as it began. 0 with the
// race's number when it is this race's (the racer's row then shows the board's playing),
// else why not (room_mode, room_seed: the racer's result in the race).
RoomAnswer StartRoomStream(Context* ctx, const std::string& id, const std::string& token,
                           std::string_view header, int* race_number);

// A racer's text message on their live connection: {"ready":true} or {"ready":false}
// does what POST .../ready does (during a race it changes nothing: the next state shows
// the truth); anything else is dropped.
void RoomTextMessage(Context* ctx, const std::string& id, const std::string& token,
                     std::string_view text);

// The JSON error answer most routes give.
void SendError(HttpResponse* res, int status, const std::string& reason);

// 503 with Retry-After, the database's error logged.
void DatabaseDown(Context* ctx, HttpResponse* res);
// The same without the log, for a database already known to be away.
void DatabaseAway(HttpResponse* res);

}  // namespace board
