#pragma once
// An address the network parts reach: scheme://HOST[:PORT][/TARGET], HOST a name, an IPv4
// address or an IPv6 one in brackets. Only plain (unencrypted) schemes are reached here.

#include <cstddef>

struct NetUrl {
    char host[256];
    char port[8];
    char target[2048];
};

// `scheme` is "ws" or "http"; false with a reason for anything else or an address that
// does not fit.
bool SplitNetUrl(const char* url, const char* scheme, NetUrl* out, char* error,
                 std::size_t errorSize);
