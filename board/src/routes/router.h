// The route table as the router reads it (every resource's rows), and the row a request
// is matched to; routes.h answers requests with them.
#pragma once
#include <vector>

#include "http/http_types.h"
#include "routes/route_kit.h"

namespace board {

const std::vector<Route>& AllRoutes();

// The route for this request (HEAD as GET), its '*' segments in *args: null when no
// route has its path (then *path_known is false) or none of them takes its method.
const Route* FindRoute(const HttpRequest& req, Args* args, bool* path_known);

}  // namespace board
