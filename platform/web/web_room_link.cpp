// A room's connection in the page: the browser's own WebSocket, kept by the page's script
// (page/room_link.js), which also shows every room state that comes in beside the picture.
// The game asks here between two frames: the socket's state, the text messages that
// waited, and it hands over its records to send. Nothing here waits on the network.
#include <emscripten/emscripten.h>

#include <cstdio>

#include "platform/services/room_link.h"

struct RoomLink {
    int id;
};

namespace {

// The socket's number (above 0), or 0 with *error saying why it cannot be opened.
EM_JS(int, WebRoomLinkOpen, (const char* url, char* error, int errorSize), {
    var why = [];
    var id = zumbleRoomLinkOpen(UTF8ToString(url), why);
    if (!id && errorSize > 0) stringToUTF8(why[0] || 'the page cannot open it', error, errorSize);
    return id;
});
// 0 connecting, 1 open, 2 closed.
EM_JS(int, WebRoomLinkState, (int id), { return zumbleRoomLinkState(id); });
EM_JS(int, WebRoomLinkCloseReason, (int id, char* reason, int reasonSize), {
    var closed = zumbleRoomLinkClosed(id);
    if (reasonSize > 0) stringToUTF8(closed.reason, reason, reasonSize);
    return closed.code;
});
EM_JS(int, WebRoomLinkSendBinary, (int id, const unsigned char* bytes, int size),
      { return zumbleRoomLinkSend(id, HEAPU8.slice(bytes, bytes + size)) ? 1 : 0; });
EM_JS(int, WebRoomLinkSendText, (int id, const char* text),
      { return zumbleRoomLinkSend(id, UTF8ToString(text)) ? 1 : 0; });
// The oldest waiting text that fits in outSize bytes with its zero (longer ones are
// dropped): its length in bytes, or -1 when none waits. (No "===" in these bodies: the
// preprocessor would part it into "== =".)
EM_JS(int, WebRoomLinkTakeText, (int id, char* out, int outSize), {
    for (;;) {
        var text = zumbleRoomLinkTake(id);
        if (text == null) return -1;
        var length = lengthBytesUTF8(text);
        if (length + 1 > outSize) continue;
        stringToUTF8(text, out, outSize);
        return length;
    }
});
EM_JS(void, WebRoomLinkClose, (int id), { zumbleRoomLinkClose(id); });

// The page's calls take int sizes; a larger size than the page could ever hand is cut.
int SizeArg(std::size_t size) { return size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size); }

}  // namespace

RoomLink* OpenRoomLink(const char* url, char* error, std::size_t errorSize) {
    if (url == nullptr) {
        if (errorSize > 0) std::snprintf(error, errorSize, "no address");
        return nullptr;
    }
    const int id = WebRoomLinkOpen(url, error, SizeArg(errorSize));
    if (id <= 0) return nullptr;
    return new RoomLink{id};
}

RoomLinkStatus RoomLinkState(RoomLink* link) {
    if (link == nullptr) return RoomLinkStatus::kClosed;
    switch (WebRoomLinkState(link->id)) {
    case 0: return RoomLinkStatus::kConnecting;
    case 1: return RoomLinkStatus::kOpen;
    default: return RoomLinkStatus::kClosed;
    }
}

int RoomLinkCloseReason(RoomLink* link, char* reason, std::size_t reasonSize) {
    if (link == nullptr) {
        if (reasonSize > 0) reason[0] = '\0';
        return 1006;
    }
    return WebRoomLinkCloseReason(link->id, reason, SizeArg(reasonSize));
}

bool RoomLinkSendBinary(RoomLink* link, const std::uint8_t* bytes, std::size_t size) {
    if (link == nullptr || size > 0x7fffffff) return false;
    return WebRoomLinkSendBinary(link->id, bytes, static_cast<int>(size)) != 0;
}

bool RoomLinkSendText(RoomLink* link, const char* text) {
    return link != nullptr && text != nullptr && WebRoomLinkSendText(link->id, text) != 0;
}

long RoomLinkTakeText(RoomLink* link, char* out, std::size_t outSize) {
    if (link == nullptr || outSize == 0) return -1;
    return WebRoomLinkTakeText(link->id, out, SizeArg(outSize));
}

void CloseRoomLink(RoomLink* link) {
    if (link == nullptr) return;
    WebRoomLinkClose(link->id);
    delete link;
}
