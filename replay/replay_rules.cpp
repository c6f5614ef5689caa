#include "replay/replay_rules.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;
// A mouse button (or a tap) cannot go down twice within this: clicking by dragging a
// finger over the button, the fastest way there is, stays above it.
constexpr std::int64_t kFastestPressMs = 10;
// Fingers a touch screen follows at once.
constexpr int kTouchPoints = 10;

constexpr std::uint32_t kClose = 0x0010, kActivate = 0x001C, kKeyDown = 0x0100, kKeyUp = 0x0101;
constexpr std::uint32_t kMouseMove = 0x0200, kButtonDown = 0x0201, kButtonUp = 0x0202;
constexpr std::uint64_t kReturn = 0x0D, kEscape = 0x1B, kSpace = 0x20;

bool OnScreen(int x, int y) { return x >= 0 && x < kScreenW && y >= 0 && y < kScreenH; }

const char* MessageName(std::uint32_t m) {
    switch (m) {
    case kKeyUp: return "a key's release";
    case kMouseMove: return "a raw mouse move";
    case 0x0204: return "the right button's press";
    case 0x0205: return "the right button's release";
    default: return "a message";
    }
}

void Date(std::int64_t seconds, char* out, std::size_t size) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm) || !std::strftime(out, size, "%Y-%m-%d %H:%M UTC", &tm)) std::snprintf(out, size, "%lld", static_cast<long long>(seconds));
}

// The reason an input of frame `frame` is refused, or nullptr when a backend could send it.
bool MessageRefused(const ReplayInput& in, std::uint32_t frame, char* reason, std::size_t size) {
    const int x = static_cast<std::int16_t>(in.lParam & 0xFFFF), y = static_cast<std::int16_t>((in.lParam >> 16) & 0xFFFF);
    switch (in.message) {
    case kButtonDown:
    case kButtonUp:
        if (in.wParam != (in.message == kButtonDown ? 1u : 0u) || in.lParam < 0 || in.lParam > 0xFFFFFFFFll) break;
        if (!OnScreen(x, y)) {
            std::snprintf(reason, size, "a %s in frame %u is outside the 640x480 screen, at (%d,%d)",
                          in.message == kButtonDown ? "press" : "release", frame, x, y);
            return true;
        }
        return false;
    case kKeyDown:
        if (in.lParam == 1 && (in.wParam == kReturn || in.wParam == kSpace || in.wParam == kEscape)) return false;
        std::snprintf(reason, size, "frame %u has a key the game never receives (key %llu)", frame,
                      static_cast<unsigned long long>(in.wParam));
        return true;
    case kActivate:
        if (in.lParam == 0 && in.wParam <= 1) return false;
        break;
    case kClose:
        if (in.wParam == 0 && in.lParam == 0) return false;
        break;
    default:
        std::snprintf(reason, size, "frame %u has %s, which the game's window never passes on", frame,
                      MessageName(in.message));
        return true;
    }
    std::snprintf(reason, size, "frame %u has a message no window sends so (message 0x%04x)", frame, in.message);
    return true;
}

}  // namespace

int ReplayMostPresses(std::int64_t elapsed, bool touch) {
    if (elapsed < 0) elapsed = 0;
    if (elapsed > 1000000) elapsed = 1000000;
    // Two for the frame's own time (a press late in the last frame's wait and one early in
    // this one's), and one for every fastest press more.
    const std::int64_t most = 2 + elapsed / kFastestPressMs + (touch ? kTouchPoints - 1 : 0);
    return static_cast<int>(most);
}

bool ReplayFollowsRules(const ReplayFile& file, std::int64_t now, char* reason, std::size_t size) {
    const ReplayHeader& h = file.header;
    if (static_cast<std::int64_t>(h.calendarTime) > now + kReplayFutureSlack) {
        char played[40], clock[40];
        Date(h.calendarTime, played, sizeof played);
        Date(now, clock, sizeof clock);
        std::snprintf(reason, size, "the round says it was played on %s, more than a day after this verifier's clock (%s)",
                      played, clock);
        return false;
    }
    if (!OnScreen(h.cursorX, h.cursorY)) {
        std::snprintf(reason, size, "the cursor starts outside the 640x480 screen, at (%d,%d)", h.cursorX, h.cursorY);
        return false;
    }
    const bool touch = (h.flags & kReplayTouch) != 0;
    ReplayReader r;
    ReplayReaderStart(&r, file);
    std::uint32_t tick = 0, lastTick = h.startTick;
    while (ReplayReaderNextFrame(&r, &tick)) {
        const std::uint32_t frame = r.frame - 1;
        // Frame 0 waited as long as a frame does.
        const std::int64_t elapsed = frame == 0 ? 17 : static_cast<std::int32_t>(tick - lastTick);
        lastTick = tick;
        const int most = ReplayMostPresses(elapsed, touch);
        int presses = 0, releases = 0;
        ReplayInput in;
        while (ReplayReaderNextInput(&r, &in) > 0) {
            if (in.op == ReplayOp::Cursor) {
                if (!OnScreen(in.x, in.y)) {
                    std::snprintf(reason, size, "the cursor leaves the 640x480 screen in frame %u, to (%d,%d)", frame,
                                  in.x, in.y);
                    return false;
                }
                continue;
            }
            if (in.op != ReplayOp::Message) continue;
            if (MessageRefused(in, frame, reason, size)) return false;
            presses += in.message == kButtonDown;
            releases += in.message == kButtonUp;
        }
        if (presses > most || releases > most) {
            const bool down = presses > most;
            std::snprintf(reason, size, "frame %u has %d %s of the button in %lld ms; %s delivers at most %d", frame,
                          down ? presses : releases, down ? "presses" : "releases", static_cast<long long>(elapsed),
                          touch ? "a touch screen" : "a mouse", most);
            return false;
        }
    }
    return true;
}
