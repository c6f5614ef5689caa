#include "replay/core/replay_rules.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;
// A mouse button (or a tap) cannot go down twice within this: clicking by dragging a
// finger over the button, the fastest way there is, stays above it (below 50 a second).
constexpr std::int64_t kFastestPressMs = 20;
constexpr std::uint32_t kFrameMs = 17;     // a frame's time, rounded up
// How far a frame's tick (its slot's) may lie from when it really began: a frame up to
// half a frame late keeps its slot; on both ends of a span, a frame's time in all.
constexpr std::int64_t kSlotSlackMs = 17;
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
    const std::tm* tm = std::gmtime(&t);  // the verifier is one thread
    if (!tm || !std::strftime(out, size, "%Y-%m-%d %H:%M UTC", tm))
        std::snprintf(out, size, "%lld", static_cast<long long>(seconds));
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

int ReplayMostPresses(std::int64_t window, bool touch) {
    if (window < 0) window = 0;
    if (window > 1000000) window = 1000000;
    // Two for the edges of the span, and one for every fastest press more.
    const std::int64_t most = 2 + window / kFastestPressMs + (touch ? kTouchPoints - 1 : 0);
    return static_cast<int>(most);
}

namespace {

// A frame's presses and releases, judged once the next frame's tick is known.
struct Pending {
    bool any = false;
    std::uint32_t frame = 0;
    std::uint32_t before = 0;  // the last frame's tick
    int presses = 0, releases = 0;
};

bool TooMany(const Pending& p, std::uint32_t after, bool touch, char* reason, std::size_t size) {
    if (!p.any) return false;
    // The frame took what arrived from the last frame's drains to its own last one: after
    // the last frame's tick, before the next's, each up to half a frame off its slot.
    const std::int64_t window = static_cast<std::int64_t>(after - p.before) + kSlotSlackMs;
    const int most = ReplayMostPresses(window, touch);
    if (p.presses <= most && p.releases <= most) return false;
    const bool down = p.presses > most;
    std::snprintf(reason, size, "frame %u has %d %s of the button; %s gives at most %d in the %lld ms around it",
                  p.frame, down ? p.presses : p.releases, down ? "presses" : "releases",
                  touch ? "a touch screen" : "a mouse", most, static_cast<long long>(window));
    return true;
}

}  // namespace

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
    std::uint32_t tick = 0;
    // Frame 0 follows a frame of mode select, a frame's time before it.
    std::uint32_t lastTick = h.startTick - kFrameMs;
    Pending pending;
    while (ReplayReaderNextFrame(&r, &tick)) {
        if (TooMany(pending, tick, touch, reason, size)) return false;
        Pending now_{true, r.frame - 1, lastTick, 0, 0};
        lastTick = tick;
        ReplayInput in;
        while (ReplayReaderNextInput(&r, &in) > 0) {
            if (in.op == ReplayOp::Cursor) {
                if (!OnScreen(in.x, in.y)) {
                    std::snprintf(reason, size, "the cursor leaves the 640x480 screen in frame %u, to (%d,%d)",
                                  now_.frame, in.x, in.y);
                    return false;
                }
                continue;
            }
            if (in.op != ReplayOp::Message) continue;
            if (MessageRefused(in, now_.frame, reason, size)) return false;
            now_.presses += in.message == kButtonDown;
            now_.releases += in.message == kButtonUp;
        }
        pending = now_;
    }
    // The last frame's flip comes a frame's time after its tick.
    return !TooMany(pending, lastTick + kFrameMs, touch, reason, size);
}
