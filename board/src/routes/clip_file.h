// A clip or still as the queue made it, sent from its file: whole, or the one part a
// Range asks for (a video element seeks so, and some browsers play a video only so).
#pragma once
#include <string>

#include "http/http_types.h"

namespace board {

// 404 when the file is not there; `cache` is the answer's Cache-Control.
void SendClipFile(const HttpRequest& req, const std::string& path, const char* type,
                  const char* cache, HttpResponse* res);

}  // namespace board
