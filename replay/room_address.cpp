#include "replay/room_address.h"

#include <cstdio>
#include <cstring>

namespace {

bool IdChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_';
}

// Copies the run of an id's characters at p (1 to size - 1 of them) into out; past them,
// or null.
const char* TakeWord(const char* p, char* out, std::size_t size) {
    std::size_t n = 0;
    while (IdChar(p[n])) ++n;
    if (n == 0 || n >= size) return nullptr;
    std::memcpy(out, p, n);
    out[n] = 0;
    return p + n;
}

bool Fail(char* why, std::size_t whySize, const char* text) {
    std::snprintf(why, whySize, "%s", text);
    return false;
}

// Appends `text` as a JSON string; false when it does not fit.
bool PutJsonText(const char* text, char* out, std::size_t size, std::size_t* n) {
    auto put = [&](const char* bytes, std::size_t count) {
        if (*n + count + 1 > size) return false;
        std::memcpy(out + *n, bytes, count);
        *n += count;
        out[*n] = 0;
        return true;
    };
    if (!put("\"", 1)) return false;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        char escaped[8];
        if (c == '"' || c == '\\') {
            escaped[0] = '\\';
            escaped[1] = static_cast<char>(c);
            if (!put(escaped, 2)) return false;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            if (!put(escaped, 6)) return false;
        } else if (!put(p, 1)) {
            return false;
        }
    }
    return put("\"", 1);
}

}  // namespace

bool ReadRoomLink(const char* link, RoomAddress* out, char* why, std::size_t whySize) {
    *out = RoomAddress{};
    const bool page = std::strncmp(link, "http://", 7) == 0;
    const bool live = std::strncmp(link, "ws://", 5) == 0;
    if (!page && !live) {
        if (std::strncmp(link, "https://", 8) == 0 || std::strncmp(link, "wss://", 6) == 0)
            return Fail(why, whySize, "this game reaches boards over http:// only");
        return Fail(why, whySize, "not a room's link (http://HOST:PORT/rooms/ID)");
    }
    const char* p = link + (page ? 7 : 5);
    const std::size_t originSize = std::strcspn(p, "/?#");
    if (originSize == 0 || originSize >= sizeof out->origin)
        return Fail(why, whySize, "a room's link without a board's address");
    for (std::size_t i = 0; i < originSize; ++i)
        if (static_cast<unsigned char>(p[i]) <= ' ' || p[i] == '@' || p[i] == '\\')
            return Fail(why, whySize, "a board's address with a character no address has");
    std::memcpy(out->origin, p, originSize);
    out->origin[originSize] = 0;
    p += originSize;
    if (page) {
        if (std::strncmp(p, "/rooms/", 7) != 0 || !(p = TakeWord(p + 7, out->id, sizeof out->id)))
            return Fail(why, whySize, "not a room's link (http://HOST:PORT/rooms/ID)");
        if (*p == '/') ++p;
        if (*p != 0 && *p != '?' && *p != '#')
            return Fail(why, whySize, "not a room's link (http://HOST:PORT/rooms/ID)");
        return true;
    }
    if (std::strncmp(p, "/api/rooms/", 11) != 0 ||
        !(p = TakeWord(p + 11, out->id, sizeof out->id)) ||
        std::strncmp(p, "/live?racer=", 12) != 0 ||
        !(p = TakeWord(p + 12, out->pass, sizeof out->pass)) || *p != 0)
        return Fail(why, whySize,
                    "not a racer's live address (ws://HOST:PORT/api/rooms/ID/live?racer=PASS)");
    return true;
}

void RoomJoinUrl(const RoomAddress& room, char* out, std::size_t size) {
    std::snprintf(out, size, "http://%s/api/rooms/%s/join", room.origin, room.id);
}

void RoomLiveUrl(const RoomAddress& room, const char* pass, char* out, std::size_t size) {
    std::snprintf(out, size, "ws://%s/api/rooms/%s/live?racer=%s", room.origin, room.id, pass);
}

bool RoomJoinBody(const char* name, const char* key, char* out, std::size_t size) {
    std::size_t n = 0;
    if (size < 16) return false;
    std::snprintf(out, size, "{\"name\":");
    n = std::strlen(out);
    if (!PutJsonText(name, out, size, &n)) return false;
    if (key && *key) {
        if (n + 8 >= size) return false;
        std::memcpy(out + n, ",\"key\":", 7);
        n += 7;
        out[n] = 0;
        if (!PutJsonText(key, out, size, &n)) return false;
    }
    if (n + 2 > size) return false;
    out[n++] = '}';
    out[n] = 0;
    return true;
}
