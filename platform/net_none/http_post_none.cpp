// A build without a network: no request reaches a board.
#include <cstdio>

#include "platform/services/http_post.h"

int HttpPostJson(const char*, const char*, char*, std::size_t, char* error, std::size_t errorSize) {
    std::snprintf(error, errorSize, "this build of the game has no network");
    return -1;
}
