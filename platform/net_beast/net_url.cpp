#include "platform/net_beast/net_url.h"

#include <cstdio>
#include <cstring>

bool SplitNetUrl(const char* url, const char* scheme, NetUrl* out, char* error,
                 std::size_t errorSize) {
    const std::size_t schemeSize = std::strlen(scheme);
    if (std::strncmp(url, scheme, schemeSize) != 0 ||
        std::strncmp(url + schemeSize, "://", 3) != 0) {
        const bool secure =
            std::strncmp(url, "wss://", 6) == 0 || std::strncmp(url, "https://", 8) == 0;
        std::snprintf(
            error, errorSize,
            secure ? "this build reaches no secure (%ss://) address" : "not a %s:// address",
            scheme);
        return false;
    }
    const char* p = url + schemeSize + 3;
    const char* hostEnd;
    const char* afterHost;
    if (*p == '[') {
        ++p;
        hostEnd = std::strchr(p, ']');
        if (!hostEnd) {
            std::snprintf(error, errorSize, "an IPv6 address without its closing bracket");
            return false;
        }
        afterHost = hostEnd + 1;
    } else {
        hostEnd = p + std::strcspn(p, ":/?#");
        afterHost = hostEnd;
    }
    const std::size_t hostSize = static_cast<std::size_t>(hostEnd - p);
    if (hostSize == 0 || hostSize >= sizeof out->host) {
        std::snprintf(error, errorSize, "no host name, or one too long");
        return false;
    }
    std::memcpy(out->host, p, hostSize);
    out->host[hostSize] = 0;
    std::snprintf(out->port, sizeof out->port, "80");
    p = afterHost;
    if (*p == ':') {
        ++p;
        const std::size_t digits = std::strspn(p, "0123456789");
        long port = 0;
        for (std::size_t i = 0; i < digits && i < 6; ++i) port = port * 10 + (p[i] - '0');
        if (digits == 0 || digits > 5 || port < 1 || port > 65535) {
            std::snprintf(error, errorSize, "a port that is not 1 to 65535");
            return false;
        }
        std::snprintf(out->port, sizeof out->port, "%ld", port);
        p += digits;
    }
    if (*p != 0 && *p != '/' && *p != '?') {
        std::snprintf(error, errorSize, "an address with something odd after its host");
        return false;
    }
    const std::size_t targetSize = std::strcspn(p, "#");
    if (targetSize + 2 > sizeof out->target) {
        std::snprintf(error, errorSize, "an address too long");
        return false;
    }
    if (*p != '/') {
        out->target[0] = '/';
        std::memcpy(out->target + 1, p, targetSize);
        out->target[targetSize + 1] = 0;
    } else {
        std::memcpy(out->target, p, targetSize);
        out->target[targetSize] = 0;
    }
    for (const char* c = out->target; *c; ++c)
        if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7F) {
            std::snprintf(error, errorSize, "an address with a space or a control character");
            return false;
        }
    return true;
}
