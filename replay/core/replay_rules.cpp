#include "replay/core/replay_rules.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;
// A mouse button (or a tap) cannot go down twice within this: clicking by dragging a
// finger over the button, the fastest way there is, stays above it (below 50 a second).
constexpr std::int64_t kFastestPressMs = 20;
constexpr std::uint32_t kFrameMs = 17;  // a frame's time, rounded up
// How far a frame's tick (its slot's) may lie from when it really began: a frame up to
// half a frame late keeps its slot; on both ends of a span, a frame's time in all.
constexpr std::int64_t kSlotSlackMs = 17;
// Fingers a touch screen follows at once.
constexpr int kTouchPoints = 10;
// Keys: a held key repeats at most about 33 times a second on the common systems
// (docs/replay-format.md); one every 25 ms leaves a fifth more for the presses that
// start and stop the repeats.
constexpr std::int64_t kFastestKeyMs = 25;
// The window's focus changes only by the player's doing (a switch of windows, a click
// elsewhere): one every 6 frames (ten a second) is more than a hand makes, and a stall
// of the game lets no more in (each costs the verifier a reload of the sounds).
constexpr std::int64_t kFastestActivationFrames = 6;
// The main loop empties the queue before each scene step; no more steps than this come
// between two flips.
constexpr int kMostDrains = 8;

constexpr std::uint32_t kClose = 0x0010, kActivate = 0x001C, kKeyDown = 0x0100, kKeyUp = 0x0101;
constexpr std::uint32_t kMouseMove = 0x0200, kButtonDown = 0x0201, kButtonUp = 0x0202;
constexpr std::uint64_t kReturn = 0x0D, kEscape = 0x1B, kSpace = 0x20, kRetry = 'R';

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
    const int x = static_cast<std::int16_t>(in.lParam & 0xFFFF),
              y = static_cast<std::int16_t>((in.lParam >> 16) & 0xFFFF);
    switch (in.message) {
    case kButtonDown:
    case kButtonUp:
        if (in.wParam != (in.message == kButtonDown ? 1u : 0u) || in.lParam < 0 ||
            in.lParam > 0xFFFFFFFFll)
            break;
        if (!OnScreen(x, y)) {
            std::snprintf(reason, size,
                          "a %s in frame %u is outside the 640x480 screen, at (%d,%d)",
                          in.message == kButtonDown ? "press" : "release", frame, x, y);
            return true;
        }
        return false;
    case kKeyDown:
        if (in.lParam == 1 && (in.wParam == kReturn || in.wParam == kSpace ||
                               in.wParam == kEscape || in.wParam == kRetry))
            return false;
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
        std::snprintf(reason, size, "frame %u has %s, which the game's window never passes on",
                      frame, MessageName(in.message));
        return true;
    }
    std::snprintf(reason, size, "frame %u has a message no window sends so (message 0x%04x)", frame,
                  in.message);
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
    std::snprintf(reason, size,
                  "frame %u has %d %s of the button; %s gives at most %d in the %lld ms around it",
                  p.frame, down ? p.presses : p.releases, down ? "presses" : "releases",
                  touch ? "a touch screen" : "a mouse", most, static_cast<long long>(window));
    return true;
}

// A rate of inputs no device exceeds: over any span of frames i..j, at most
// edge + W / gap of them, where W = time(j + 1) - time(i - 1) + slack is the time they can
// have arrived in (as for presses, but over every span, so that it bounds them per
// second as well as per frame): for keys the ticks and 17 ms, for activations the frames'
// numbers and one. With C(k) the count in frames 0..k, the rule is
// gap * C(j) - time(j + 1) <= gap * edge + slack + min over i <= j of gap * C(i - 1) - time(i - 1):
// one pass, keeping that least value and the frame it came from.
struct Rate {
    const char* what;    // "key strokes"
    const char* device;  // "a keyboard"
    const char* unit;    // "ms"
    std::int64_t gap = 1, edge = 0, slack = 0;
    std::int64_t count = 0;  // C of the frames so far
    std::int64_t least = 0;
    std::uint32_t leastFrame = 0;
    std::int64_t leastCount = 0, leastTick = 0;
    bool started = false;
};

// Frame `frame` begins; `before` is the last frame's time (a tick, unwrapped).
void RateFrame(Rate* r, std::uint32_t frame, std::int64_t before) {
    const std::int64_t v = r->gap * r->count - before;
    if (!r->started || v < r->least) {
        r->started = true;
        r->least = v;
        r->leastFrame = frame;
        r->leastCount = r->count;
        r->leastTick = before;
    }
}

// The frames up to `frame` are counted and the next frame's time is `after`.
bool RateTooMany(const Rate& r, std::uint32_t frame, std::int64_t after, char* reason,
                 std::size_t size) {
    if (!r.started || r.gap * r.count - after <= r.gap * r.edge + r.slack + r.least) return false;
    const std::int64_t n = r.count - r.leastCount, window = after - r.leastTick + r.slack;
    const std::int64_t most = r.edge + window / r.gap;
    if (r.leastFrame == frame)
        std::snprintf(reason, size,
                      "frame %u has %lld %s; %s gives at most %lld in the %lld %s around it", frame,
                      static_cast<long long>(n), r.what, r.device, static_cast<long long>(most),
                      static_cast<long long>(window), r.unit);
    else
        std::snprintf(
            reason, size,
            "frames %u to %u have %lld %s; %s gives at most %lld in the %lld %s around them",
            r.leastFrame, frame, static_cast<long long>(n), r.what, r.device,
            static_cast<long long>(most), static_cast<long long>(window), r.unit);
    return true;
}

}  // namespace

bool ReplayFollowsRules(const ReplayFile& file, std::int64_t now, char* reason, std::size_t size) {
    const ReplayHeader& h = file.header;
    if (static_cast<std::int64_t>(h.calendarTime) > now + kReplayFutureSlack) {
        char played[40], clock[40];
        Date(h.calendarTime, played, sizeof played);
        Date(now, clock, sizeof clock);
        std::snprintf(
            reason, size,
            "the round says it was played on %s, more than a day after this verifier's clock (%s)",
            played, clock);
        return false;
    }
    if (!OnScreen(h.cursorX, h.cursorY)) {
        std::snprintf(reason, size, "the cursor starts outside the 640x480 screen, at (%d,%d)",
                      h.cursorX, h.cursorY);
        return false;
    }
    const bool touch = (h.flags & kReplayTouch) != 0;
    ReplayReader r;
    ReplayReaderStart(&r, file);
    std::uint32_t tick = 0;
    // Frame 0 follows a frame of mode select, a frame's time before it.
    std::uint32_t lastTick = h.startTick - kFrameMs;
    // Ticks as steps on from there (the clock rule has made sure they never go back).
    std::int64_t before = 0;
    Pending pending;
    Rate keys{"key strokes", "a keyboard", "ms", kFastestKeyMs, 2, kSlotSlackMs};
    Rate activations{
        "activations of the window", "the window system", "frames", kFastestActivationFrames, 3, 1};
    while (ReplayReaderNextFrame(&r, &tick)) {
        const std::int64_t now_tick = before + static_cast<std::uint32_t>(tick - lastTick);
        const std::uint32_t frame = r.frame - 1;
        if (TooMany(pending, tick, touch, reason, size)) return false;
        if (frame > 0 && (RateTooMany(keys, frame - 1, now_tick, reason, size) ||
                          RateTooMany(activations, frame - 1, frame, reason, size)))
            return false;
        RateFrame(&keys, frame, before);
        RateFrame(&activations, frame, static_cast<std::int64_t>(frame) - 1);
        Pending now_{true, frame, lastTick, 0, 0};
        lastTick = tick;
        before = now_tick;
        int cursors = 0, messages = 0, breaks = 0;
        ReplayInput in;
        while (ReplayReaderNextInput(&r, &in) > 0) {
            if (in.op == ReplayOp::DrainBreak) {
                ++breaks;
                continue;
            }
            if (in.op == ReplayOp::Cursor) {
                ++cursors;
                if (!OnScreen(in.x, in.y)) {
                    std::snprintf(reason, size,
                                  "the cursor leaves the 640x480 screen in frame %u, to (%d,%d)",
                                  frame, in.x, in.y);
                    return false;
                }
                continue;
            }
            if (MessageRefused(in, frame, reason, size)) return false;
            ++messages;
            now_.presses += in.message == kButtonDown;
            now_.releases += in.message == kButtonUp;
            keys.count += in.message == kKeyDown;
            activations.count += in.message == kActivate;
        }
        if (breaks + 1 > kMostDrains) {
            std::snprintf(
                reason, size,
                "frame %u has %d drains of the queue; the game empties it at most %d times "
                "between two flips",
                frame, breaks + 1, kMostDrains);
            return false;
        }
        // The game sees the cursor before each message it takes and when a drain ends
        // (the file keeps no break after a frame's last message).
        if (cursors > messages + kMostDrains) {
            std::snprintf(
                reason, size,
                "frame %u moves the cursor %d times; the game sees it at most %d times there",
                frame, cursors, messages + kMostDrains);
            return false;
        }
        pending = now_;
    }
    // The last frame's flip comes a frame's time after its tick.
    const std::int64_t end = before + kFrameMs;
    const std::uint32_t last = h.frames - 1;
    return !TooMany(pending, lastTick + kFrameMs, touch, reason, size) &&
           !RateTooMany(keys, last, end, reason, size) &&
           !RateTooMany(activations, last, h.frames, reason, size);
}
