// The label a request is counted under in the board's metrics: its route's pattern.
#pragma once
#include "http/http_types.h"

namespace board {

// The pattern of the route the request was matched to ("/api/runs/*"), or "unmatched".
const char* RouteLabel(const HttpRequest& req);

}  // namespace board
