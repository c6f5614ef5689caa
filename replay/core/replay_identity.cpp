#include "replay/core/replay_identity.h"

#include <cstdio>
#include <cstring>

#include "replay/core/sha256.h"

namespace {

// Every field goes in as a tag byte and little-endian numbers, so no two different rounds
// can feed the same bytes.
void Feed8(Sha256* s, std::uint8_t v) { Sha256Feed(s, &v, 1); }
void Feed32(Sha256* s, std::uint32_t v) {
    std::uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    Sha256Feed(s, b, 4);
}
void Feed64(Sha256* s, std::uint64_t v) {
    Feed32(s, static_cast<std::uint32_t>(v));
    Feed32(s, static_cast<std::uint32_t>(v >> 32));
}

enum : std::uint8_t { kTagFrame = 1, kTagCursor = 2, kTagMessage = 3, kTagBreak = 4 };
constexpr std::uint32_t kActivateMessage = 0x001C, kPressMessage = 0x0201, kReleaseMessage = 0x0202;

}  // namespace

void ReplaySwatsIdentity(int flies, int speed, std::uint32_t seed, const std::uint32_t* frames,
                         std::size_t count, char hex[65]) {
    Sha256 s;
    Sha256Start(&s);
    static const char kDomain[] = "zumble swats\n";
    Sha256Feed(&s, kDomain, sizeof kDomain - 1);
    Feed32(&s, static_cast<std::uint32_t>(flies));
    Feed32(&s, static_cast<std::uint32_t>(speed));
    Feed32(&s, seed);
    Feed32(&s, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) Feed32(&s, frames[i]);
    std::uint8_t digest[32];
    Sha256Finish(&s, digest);
    Sha256Hex(digest, hex);
}

void ReplayRoundIdentity(const ReplayFile& file, char hex[65]) {
    const ReplayHeader& h = file.header;
    Sha256 s;
    Sha256Start(&s);
    static const char kDomain[] = "zumble round\n";
    Sha256Feed(&s, kDomain, sizeof kDomain - 1);
    Feed32(&s, h.gameVersion);
    Feed8(&s, h.flySetting);
    Feed8(&s, h.speedSetting);
    Feed8(&s, h.mouseDown);
    Feed32(&s, h.calendarTime);
    Feed32(&s, static_cast<std::uint32_t>(static_cast<std::uint16_t>(h.cursorX)));
    Feed32(&s, static_cast<std::uint32_t>(static_cast<std::uint16_t>(h.cursorY)));

    ReplayReader r;
    ReplayReaderStart(&r, file);
    int cursorX = h.cursorX, cursorY = h.cursorY;  // where the game last saw it
    bool down = h.mouseDown != 0;                  // MouseDown, as the messages leave it
    std::uint32_t tick = 0;
    while (ReplayReaderNextFrame(&r, &tick)) {
        Feed8(&s, kTagFrame);
        Feed32(&s, tick - h.startTick);
        int wantX = cursorX, wantY = cursorY;  // where the cursor stands now
        int breaks = 0;                        // drain ends not yet followed by anything
        ReplayInput in;
        while (ReplayReaderNextInput(&r, &in) > 0) {
            if (in.op == ReplayOp::Cursor) {
                wantX = in.x;
                wantY = in.y;
                continue;
            }
            if (in.op == ReplayOp::DrainBreak) {
                ++breaks;
                continue;
            }
            // Messages the game does nothing with in a round: an activation (it only
            // restores the display and sound), a release of a button that is up.
            if (in.message == kActivateMessage || (in.message == kReleaseMessage && !down))
                continue;
            if (in.message == kPressMessage || in.message == kReleaseMessage)
                down = in.message == kPressMessage;
            // A message: the drains ended before it and the cursor it finds count now.
            for (; breaks > 0; --breaks) Feed8(&s, kTagBreak);
            if (wantX != cursorX || wantY != cursorY) {
                cursorX = wantX;
                cursorY = wantY;
                Feed8(&s, kTagCursor);
                Feed32(&s, static_cast<std::uint32_t>(cursorX));
                Feed32(&s, static_cast<std::uint32_t>(cursorY));
            }
            Feed8(&s, kTagMessage);
            Feed32(&s, in.message);
            Feed64(&s, in.wParam);
            Feed64(&s, static_cast<std::uint64_t>(in.lParam));
        }
        // Where the cursor ends the frame is seen (the swatter is drawn there).
        if (wantX != cursorX || wantY != cursorY) {
            cursorX = wantX;
            cursorY = wantY;
            Feed8(&s, kTagCursor);
            Feed32(&s, static_cast<std::uint32_t>(cursorX));
            Feed32(&s, static_cast<std::uint32_t>(cursorY));
        }
    }
    std::uint8_t digest[32];
    Sha256Finish(&s, digest);
    Sha256Hex(digest, hex);
}

void ReplayProgramToken(const ReplayHeader& header, char* out, std::size_t size) {
    static const char kHex[] = "0123456789ABCDEF";
    std::size_t n = 0;
    std::size_t length = 0;
    while (length < sizeof header.program && header.program[length] != '\0') ++length;
    if (size == 0) return;
    if (length == 0 || (length == 1 && header.program[0] == '-')) {
        std::snprintf(out, size, "%s", length == 0 ? "-" : "%2D");
        return;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(header.program[i]);
        if (c > 0x20 && c < 0x7F && c != '%') {
            if (n + 1 >= size) break;
            out[n++] = static_cast<char>(c);
        } else {
            if (n + 3 >= size) break;
            out[n++] = '%';
            out[n++] = kHex[c >> 4];
            out[n++] = kHex[c & 15];
        }
    }
    out[n] = '\0';
}
