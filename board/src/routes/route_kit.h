// What the routes' files share: the row of the route table, the handlers it names, and
// the helpers most routes answer with (JSON, a list's paging, the host asked).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "context.h"
#include "http/http_types.h"

namespace board {

using Args = std::vector<std::string>;  // the path segments a route's '*'s matched

struct Route {
  const char* method;
  const char* pattern;   // '*' stands for one path segment
  void (*handle)(Context*, const HttpRequest&, const Args&, HttpResponse*);
  bool cached;           // a GET whose answer changes only when a run is stored
  bool by_host = false;  // its answer names the board by the host asked (the feed)
};

void SendJson(HttpResponse* res, int status, std::string body);
bool ReadPaging(const HttpRequest& req, int* limit, int64_t* offset, HttpResponse* res);
std::string RequestHost(const Context& ctx, const HttpRequest& req);
std::string FeedBase(const Context& ctx, const HttpRequest& req);

// The handlers, by resource (boards_routes.cpp, players_routes.cpp, runs_routes.cpp,
// submit_routes.cpp).
void BoardsPage(Context* ctx, const HttpRequest&, const Args&, HttpResponse* res);
void AllBoards(Context* ctx, const HttpRequest&, const Args&, HttpResponse* res);
void OneBoard(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void KeysBoard(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void ModeBoardPage(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void KeysBoardPage(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void Feed(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res);
void PlayerApi(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void PlayerPageHtml(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void RunApi(Context* ctx, const HttpRequest&, const Args& args, HttpResponse* res);
void RunReplay(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void RunPage(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void RunClip(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void RunStill(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res);
void PostRun(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res);
void PostForm(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res);

}  // namespace board
