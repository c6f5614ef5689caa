// The routes that take a run: the program's POST /api/runs and the page's upload form.
#include "http/http_parse.h"
#include "pages/render.h"
#include "routes/route_kit.h"
#include "routes/routes.h"
#include "submit.h"

namespace board {

namespace {

void AddRetryAfter(const Outcome& o, HttpResponse* res) {
  if (o.retry_after)
    res->AddHeader("Retry-After", o.retry_after);
  else if (o.retry_after_seconds > 0)
    res->AddHeader("Retry-After", std::to_string(o.retry_after_seconds));
}

// The key: "Authorization: Bearer KEY".
std::string KeyOf(const HttpRequest& req) {
  const std::string* auth = req.Header("authorization");
  const std::string bearer = "Bearer ";
  if (!auth || auth->compare(0, bearer.size(), bearer) != 0) return "";
  std::string key = auth->substr(bearer.size());
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key.size() <= 128 ? key : "";
}

void PostRun(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  const std::string* type = req.Header("content-type");
  if (type && StartsWithNoCase(*type, "multipart/form-data"))
    return SendError(res, 415,
                     "multipart/form-data is the upload form's (POST /submit); "
                     "send the replay's bytes as the body here");
  Submission in;
  in.client = req.client;
  in.has_name = req.Param("name", &in.raw_name);
  in.key = KeyOf(req);
  in.body = req.body;
  Outcome o = Submit(ctx, in);
  LogSubmission(req.id, req.client, o);
  AddRetryAfter(o, res);
  SendJson(res, o.status, OutcomeJson(o));
}

// The page's upload form (multipart), answered with a page.
void PostForm(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  const FormField* name = req.Field("name");
  const FormField* key = req.Field("key");
  const FormField* replay = req.Field("replay");
  Submission in;
  in.client = req.client;
  in.has_name = name != nullptr;
  in.raw_name = name ? name->value : "";
  in.key = key && key->value.size() <= 128 ? key->value : "";
  while (!in.key.empty() &&
         (in.key.back() == ' ' || in.key.back() == '\n' || in.key.back() == '\r'))
    in.key.pop_back();
  in.body = replay ? replay->value : "";
  Outcome o = Submit(ctx, in);
  LogSubmission(req.id, req.client, o);
  AddRetryAfter(o, res);
  bool on_board = o.status == 200 || o.status == 201;
  res->Set(o.status, "text/html; charset=utf-8",
           SubmitResultHtml(o.status, o.refusal.message, on_board ? &o.run : nullptr, o.rank, o.key,
                            o.refusal.code != "held"));
}

// The rows of this file's routes (route_kit.h).
constexpr Route kSubmitRows[] = {
    {.method = "POST", .pattern = "/api/runs", .handle = PostRun},
    {.method = "POST", .pattern = "/submit", .handle = PostForm},
};

}  // namespace

std::span<const Route> SubmitRoutes() { return kSubmitRows; }

}  // namespace board
