// The replay viewer: the controls, the seeks through kept snapshots, the pace of the
// shown frames, and the waits while paused (replay_viewer.h).
#include "replay/replay_viewer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "media/display.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/viewer_platform.h"
#include "replay/core/mode_words.h"
#include "replay/core/replay_format.h"
#include "replay/playback_position.h"
#include "replay/replay_live.h"
#include "replay/replay_snapshot.h"
#include "replay/replay_state.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"

namespace {

// A snapshot every second of the round at most, and no more than this many, so that a
// round of hours keeps a bounded store (its seeks then play a little more).
constexpr long long kSnapshotEvery = 60;
constexpr long long kMaxSnapshots = 256;
// A round watched as it is played has no known length: its snapshots are kept in fewer
// slots, further apart as it grows, and its presses drawn up to a bound.
constexpr long long kGrowingSnapshots = 64;
constexpr std::size_t kGrowingClicks = std::size_t{1} << 15;
constexpr double kSpeeds[kViewerSpeedCount] = {0.25, 0.5, 1, 2, 4};
constexpr const char* kSpeedNames[kViewerSpeedCount] = {"0.25x", "0.5x", "1x", "2x", "4x"};
// The round's scene bitmap is loaded in its frame 1: before that the mode screen's shows.
constexpr long long kFirstPlayDisplayFrame = 2;

struct FrameFacts {
    std::int16_t x, y;   // the cursor when the frame ended
    std::uint32_t tick;  // the frame's clock
};

struct Click {
    long long frame;
    int x, y;
};

struct Viewer {
    bool loaded = false;
    bool interactive = false;
    ReplayHeader header;
    long long frames = 0;  // the frames shown (in a window, a leave's black one is not)

    // The snapshots: slot k holds the start of frame k * every, once taken.
    long long every = kSnapshotEvery;
    std::size_t gameSize = 0, playSize = 0, slotSize = 0;
    std::unique_ptr<unsigned char[]> store;
    std::vector<bool> taken;

    std::vector<FrameFacts> facts;
    std::vector<Click> clicks;
    std::size_t clickRoom = 0;  // the most presses kept (0: as many as the file has)
    // The frames indexed so far (their facts and presses), and where the index stands.
    ReplayReader index;
    long long indexed = 0;
    int indexX = 0, indexY = 0;

    bool growing = false;  // a round still being played: its frames so far
    bool tooLong = false;  // it grew past what the viewer holds

    long long shown = -1;    // the frame last completed
    long long started = -1;  // the frame whose start comes next (-1: not yet)
    bool pending = false;    // a seek waits for the next frame's start
    long long target = -1;
    bool seeking = false;  // frames played without drawing toward `target`
    long long seekTarget = -1;

    bool paused = false;
    bool pausedBeforeBar = false;
    bool holdingBar = false;
    int speed = kViewerNormalSpeed;
    bool overlay = true;
    bool help = false;
    bool leaving = false;
    bool soundHeld = false;
    bool arrived = false;  // a frame was reached at this flip
    bool hooked = false;

    ViewerArrival arrival = nullptr;
    ViewerCounts counts{};
};

Viewer g_view;

unsigned char* Slot(long long index) {
    return g_view.store.get() + static_cast<std::size_t>(index) * g_view.slotSize;
}

// The decoded inputs that the overlay shows: the cursor and clock of each frame and
// where each press was, at the swatter's hot spot (the cursor is its top left). Frames
// are indexed from where the index stands up to `upTo`.
constexpr int kHotSpot = 8;
bool IndexUpTo(long long upTo) {
    ReplayReader& reader = g_view.index;
    for (; g_view.indexed < upTo; ++g_view.indexed) {
        const long long f = g_view.indexed;
        std::uint32_t tick = 0;
        if (!ReplayReaderNextFrame(&reader, &tick)) return false;
        ReplayInput in;
        int got = 0;
        while ((got = ReplayReaderNextInput(&reader, &in)) > 0) {
            if (in.op == ReplayOp::Cursor) {
                g_view.indexX = in.x;
                g_view.indexY = in.y;
            } else if (in.op == ReplayOp::Message && in.message == WM_LBUTTONDOWN &&
                       (g_view.clickRoom == 0 || g_view.clicks.size() < g_view.clickRoom)) {
                g_view.clicks.push_back(
                    {f, static_cast<std::int16_t>(in.lParam & 0xFFFF) + kHotSpot,
                     static_cast<std::int16_t>((in.lParam >> 16) & 0xFFFF) + kHotSpot});
            }
        }
        if (got < 0) return false;
        g_view.facts[static_cast<std::size_t>(f)] = {
            static_cast<std::int16_t>(g_view.indexX + kHotSpot),
            static_cast<std::int16_t>(g_view.indexY + kHotSpot), tick};
    }
    return true;
}

void StartIndex(const ReplayFile& file) {
    ReplayReaderStart(&g_view.index, file);
    g_view.indexed = 0;
    g_view.indexX = file.header.cursorX;
    g_view.indexY = file.header.cursorY;
}

// A growing round outgrew its snapshots' slots: every other one is kept, twice as far
// apart (slot k holds the start of frame k * every, as before).
void KeepSnapshotsFor(long long frames) {
    const long long slots = static_cast<long long>(g_view.taken.size());
    while ((frames + g_view.every - 1) / g_view.every > slots) {
        for (long long k = 1; 2 * k < slots; ++k) {
            const std::size_t from = static_cast<std::size_t>(2 * k);
            if (g_view.taken[from]) std::memcpy(Slot(k), Slot(2 * k), g_view.slotSize);
            g_view.taken[static_cast<std::size_t>(k)] = g_view.taken[from];
        }
        for (long long k = (slots + 1) / 2; k < slots; ++k)
            g_view.taken[static_cast<std::size_t>(k)] = false;
        g_view.every *= 2;
    }
}

void UpdateSound() {
    // Headless, only seeks hold it: a plain run's recording stays the game's own.
    const bool stands = g_view.paused || g_view.holdingBar || g_view.speed != kViewerNormalSpeed ||
                        g_view.shown == g_view.frames - 1;
    const bool hold = g_view.seeking || g_view.pending || (g_view.interactive && stands);
    if (hold == g_view.soundHeld) return;
    g_view.soundHeld = hold;
    ViewerHoldSound(hold);
}

long long Clamp(long long frame) {
    if (frame < 0) return 0;
    return frame >= g_view.frames ? g_view.frames - 1 : frame;
}

// The frame the last control asked for (a pending seek's, else the one shown).
long long Aim() {
    return g_view.pending ? g_view.target : (g_view.seeking ? g_view.seekTarget : g_view.shown);
}

// Every `step`-th frame is shown above 1x; the last always.
bool Shows(long long frame) {
    if (!g_view.interactive || g_view.speed <= kViewerNormalSpeed) return true;
    const long long step = g_view.speed == kViewerNormalSpeed + 1 ? 2 : 4;
    return frame % step == 0 || frame == g_view.frames - 1;
}

// Draws (and paces) the coming frame or not.
void PrepareFrame(long long frame) { ViewerDrawFrames(!g_view.seeking && Shows(frame)); }

void SwitchDisplay(bool play) {
    // The scene's bitmap and palette, as the frame's scene had loaded them; the palette's
    // change shows nothing while pixels are skipped.
    if (play)
        LoadSceneBitmap("bmp\\game.bmp", 255);
    else
        LoadSceneBitmap("bmp\\gamemode.bmp", 106);
}

// A frame starts: the seek asked for is made here (where the game's loop is about to
// take the frame's messages, so putting a snapshot back changes nothing the loop holds),
// and a snapshot is kept when one is due.
void OnFrameStart(long long frame) {
    g_view.started = frame;
    if (g_view.pending) {
        g_view.pending = false;
        const long long target = g_view.target;
        long long best = -1;
        for (long long k = target / g_view.every; k >= 0; --k)
            if (g_view.taken[static_cast<std::size_t>(k)]) {
                best = k;
                break;
            }
        long long from = frame;
        if (best >= 0 && !(frame <= target && frame >= best * g_view.every)) {
            from = best * g_view.every;
            unsigned char* slot = Slot(best);
            ViewerDrawFrames(false);
            if ((frame >= kFirstPlayDisplayFrame) != (from >= kFirstPlayDisplayFrame))
                SwitchDisplay(from >= kFirstPlayDisplayFrame);
            LoadGameSnapshot(slot);
            LoadPlaybackPosition(slot + g_view.gameSize);
        }
        ++g_view.counts.seeks;
        g_view.counts.framesResimulated += target - from;
        g_view.seeking = from < target;
        g_view.seekTarget = target;
        g_view.started = from;
        frame = from;
        PrepareFrame(frame);
        UpdateSound();
    }
    if (frame % g_view.every == 0) {
        const long long k = frame / g_view.every;
        if (k < static_cast<long long>(g_view.taken.size()) &&
            !g_view.taken[static_cast<std::size_t>(k)]) {
            unsigned char* slot = Slot(k);
            SaveGameSnapshot(slot);
            SavePlaybackPosition(slot + g_view.gameSize);
            g_view.taken[static_cast<std::size_t>(k)] = true;
            ++g_view.counts.snapshots;
        }
    }
}

// The player's input while the frame stands still.
void TakeInput() {
    ViewerPumpInput();
    MSG live;
    while (TakeLiveMessage(&live))
        if (live.message == WM_CLOSE || (live.message == WM_KEYDOWN && live.wParam == VK_ESCAPE))
            ViewerLeave();
    // No flip comes while the frame stands still, so the signal is looked at here.
    if (TerminationAsked()) ViewerLeave();
}

bool Waiting() {
    if (g_view.leaving || g_view.pending) return false;
    return g_view.paused || g_view.holdingBar || g_view.shown == g_view.frames - 1;
}

// One slot of a frame that stands still: input, the picture again (the overlay may have
// changed), the wait for the next slot.
void StandStill() {
    TakeInput();
    if (g_view.leaving || g_view.pending) return;
    ViewerShowFrameAgain();
    ViewerWaitForSlot();
}

void OnFrameEnd(long long frame) {
    g_view.shown = frame;
    if (g_view.seeking) {
        if (frame + 1 == g_view.seekTarget) {
            g_view.seeking = false;
            PrepareFrame(frame + 1);
        }
        if (frame < g_view.seekTarget) return;
        g_view.seeking = false;
    }
    g_view.arrived = true;
}

// After every other watcher of the flip (the trace, the sound log) has seen the frame:
// the frame is shown, and here it stands still while paused.
void AfterFlip(long long) {
    if (!g_view.arrived) return;
    g_view.arrived = false;
    const long long frame = g_view.shown;
    UpdateSound();
    if (g_view.arrival) g_view.arrival(frame);
    // Headless, nothing comes while playback waits: a growing round is played as far as
    // it has come.
    if (!g_view.interactive && g_view.growing && !g_view.pending && frame + 1 >= g_view.frames)
        ViewerLeave();
    if (g_view.interactive) {
        // Shown frames of the slow speeds stay for 2 or 4 slots.
        if (Shows(frame)) {
            const int extra = g_view.speed == 0 ? 3 : g_view.speed == 1 ? 1 : 0;
            for (int i = 0; i < extra && !Waiting() && !g_view.pending && !g_view.leaving; ++i)
                StandStill();
        }
        while (Waiting()) StandStill();
        if (!g_view.pending) TakeInput();
    }
    UpdateSound();
    if (!g_view.pending && frame + 1 < g_view.frames) PrepareFrame(frame + 1);
}

void Request(long long frame) {
    if (!g_view.loaded) return;
    g_view.target = Clamp(frame);
    g_view.pending = true;
    UpdateSound();
}

void KeyInput(ViewerKey key, bool shift) { ViewerHandleKey(key, shift); }
void PointerInput(ViewerPointer phase, double x, double y) { ViewerPointerAt(phase, x, y); }
const ViewerInput kInput = {KeyInput, PointerInput, ViewerDescribeOverlay, ViewerSeek,
                            ViewerSeeking};

}  // namespace

bool ViewerLoad(const ReplayFile& file, bool interactive) {
    g_view = Viewer();
    g_view.header = file.header;
    g_view.frames = file.header.frames;
    // A round that went back to mode select ends on the black frame of the leave, which
    // is none of its pictures: a window stands on its board, the frame before. (Headless,
    // playback goes on to the file's end, as a trace of it must.)
    if (interactive && file.header.end == kReplayEndBoard && g_view.frames > 1) --g_view.frames;
    g_view.interactive = interactive;
    g_view.gameSize = GameSnapshotSize();
    g_view.playSize = PlaybackPositionSize();
    g_view.slotSize = g_view.gameSize + g_view.playSize;
    g_view.every = kSnapshotEvery;
    while ((g_view.frames + g_view.every - 1) / g_view.every > kMaxSnapshots) g_view.every *= 2;
    const long long slots = (g_view.frames + g_view.every - 1) / g_view.every;
    g_view.store.reset(
        new (std::nothrow) unsigned char[static_cast<std::size_t>(slots) * g_view.slotSize]);
    if (!g_view.store) return false;
    g_view.taken.assign(static_cast<std::size_t>(slots), false);
    g_view.facts.resize(static_cast<std::size_t>(g_view.frames));
    StartIndex(file);
    if (!IndexUpTo(g_view.frames)) return false;
    g_view.loaded = true;
    if (interactive) SetViewerInput(&kInput);
    return true;
}

bool ViewerLoadGrowing(const ReplayFile& head, bool interactive) {
    g_view = Viewer();
    g_view.header = head.header;
    g_view.frames = 0;
    g_view.growing = true;
    g_view.interactive = interactive;
    g_view.gameSize = GameSnapshotSize();
    g_view.playSize = PlaybackPositionSize();
    g_view.slotSize = g_view.gameSize + g_view.playSize;
    g_view.every = kSnapshotEvery;
    g_view.store.reset(new (
        std::nothrow) unsigned char[static_cast<std::size_t>(kGrowingSnapshots) * g_view.slotSize]);
    if (!g_view.store) return false;
    g_view.taken.assign(static_cast<std::size_t>(kGrowingSnapshots), false);
    g_view.facts.resize(kLiveMostFrames);
    g_view.clicks.reserve(kGrowingClicks);
    g_view.clickRoom = kGrowingClicks;
    StartIndex(head);
    g_view.index.frames = kReplayMaxFrames;
    g_view.index.end = head.input;
    g_view.loaded = true;
    if (interactive) SetViewerInput(&kInput);
    return true;
}

void ViewerGrow(const ReplayFile& file, const std::uint8_t* inputEnd, std::uint32_t held,
                bool whole) {
    if (!g_view.loaded || !g_view.growing) return;
    long long frames = held > 0 ? static_cast<long long>(held) - 1 : 0;
    if (whole) {
        g_view.header = file.header;
        g_view.growing = false;
        frames = file.header.frames;
        if (g_view.interactive && file.header.end == kReplayEndBoard && frames > 1) --frames;
        g_view.index.frames = file.header.frames;
        g_view.index.end = file.input + file.header.inputSize;
    } else {
        g_view.index.end = inputEnd;
    }
    const long long room = static_cast<long long>(g_view.facts.size());
    if (frames > room) {
        frames = room;
        g_view.tooLong = true;
    }
    if (frames < g_view.frames) frames = g_view.frames;
    KeepSnapshotsFor(frames);
    if (!IndexUpTo(frames)) frames = g_view.indexed;
    g_view.frames = frames;
    UpdateSound();
}

bool ViewerWaitingForFrames() {
    return g_view.loaded && (g_view.growing || g_view.tooLong) && g_view.shown >= g_view.frames - 1;
}

bool ViewerLoaded() { return g_view.loaded; }

void ViewerFrameStarts(long long frame) {
    if (g_view.loaded) OnFrameStart(frame);
}

void ViewerFrameEnds(long long frame) {
    if (!g_view.loaded) return;
    if (!g_view.hooked) {
        // Last of the flip's hooks: the trace and the others are set up by now.
        g_view.hooked = true;
        AddFlipHook(AfterFlip);
    }
    OnFrameEnd(frame);
}

void ViewerFinish() {
    if (!g_view.loaded) return;
    SetViewerInput(nullptr);
    ViewerDrawFrames(true);
    if (g_view.soundHeld) ViewerHoldSound(false);
    g_view.soundHeld = false;
}

long long ViewerFrame() { return g_view.shown < 0 ? 0 : g_view.shown; }
long long ViewerFrames() { return g_view.frames; }

void ViewerSetPaused(bool paused) {
    g_view.paused = paused;
    UpdateSound();
}
void ViewerTogglePause() { ViewerSetPaused(!g_view.paused); }
bool ViewerPaused() { return g_view.paused; }

void ViewerStep(int frames) {
    ViewerSetPaused(true);
    ViewerSeek(Aim() + frames);
}

void ViewerSeek(long long frame) { Request(frame); }

void ViewerSkipSeconds(int seconds) { ViewerSeek(Aim() + seconds * 60LL); }
void ViewerHome() { ViewerSeek(0); }
void ViewerEnd() { ViewerSeek(g_view.frames - 1); }

void ViewerSpeedStep(int direction) {
    const int next = g_view.speed + (direction < 0 ? -1 : 1);
    if (next >= 0 && next < kViewerSpeedCount) g_view.speed = next;
    UpdateSound();
}
int ViewerSpeedIndex() { return g_view.speed; }
double ViewerSpeed() { return kSpeeds[g_view.speed]; }

void ViewerToggleOverlay() { g_view.overlay = !g_view.overlay; }
bool ViewerOverlayShown() { return g_view.overlay; }
void ViewerToggleHelp() { g_view.help = !g_view.help; }
void ViewerLeave() { g_view.leaving = true; }
bool ViewerLeaving() { return g_view.leaving; }

bool ViewerHandleKey(ViewerKey key, bool shift) {
    switch (key) {
    case ViewerKey::PlayPause: ViewerTogglePause(); return true;
    case ViewerKey::FrameBack: ViewerStep(-1); return true;
    case ViewerKey::FrameForward: ViewerStep(1); return true;
    case ViewerKey::Back: ViewerSkipSeconds(shift ? -30 : -5); return true;
    case ViewerKey::Forward: ViewerSkipSeconds(shift ? 30 : 5); return true;
    case ViewerKey::Start: ViewerHome(); return true;
    case ViewerKey::End: ViewerEnd(); return true;
    case ViewerKey::Slower: ViewerSpeedStep(-1); return true;
    case ViewerKey::Faster: ViewerSpeedStep(1); return true;
    case ViewerKey::Overlay: ViewerToggleOverlay(); return true;
    case ViewerKey::Help: ViewerToggleHelp(); return true;
    case ViewerKey::Leave: ViewerLeave(); return true;
    }
    return false;
}

long long ViewerFrameAtFraction(double fraction) {
    if (!(fraction > 0)) fraction = 0;  // NaN too
    if (fraction > 1) fraction = 1;
    return Clamp(static_cast<long long>(fraction * static_cast<double>(g_view.frames - 1) + 0.5));
}

double ViewerFractionOfFrame(long long frame) {
    return g_view.frames > 1
               ? static_cast<double>(Clamp(frame)) / static_cast<double>(g_view.frames - 1)
               : 0.0;
}

void ViewerSeekBarAt(ViewerPointer phase, double fraction) {
    if (phase == ViewerPointer::Down && !g_view.holdingBar) {
        g_view.holdingBar = true;
        g_view.pausedBeforeBar = g_view.paused;
    }
    if (!g_view.holdingBar) return;
    const long long frame = ViewerFrameAtFraction(fraction);
    if (frame != Aim()) Request(frame);
    if (phase == ViewerPointer::Up) {
        g_view.holdingBar = false;
        g_view.paused = g_view.pausedBeforeBar;
    }
    UpdateSound();
}

bool ViewerPointerAt(ViewerPointer phase, double x, double y) {
    const double fraction = (x - kViewerBarX) / kViewerBarW;
    if (g_view.holdingBar) {
        ViewerSeekBarAt(phase, fraction);
        return true;
    }
    if (phase != ViewerPointer::Down || !g_view.overlay) return false;
    if (x < kViewerBarX - kViewerBarGrab || x > kViewerBarX + kViewerBarW + kViewerBarGrab)
        return false;
    if (y < kViewerBarY - kViewerBarGrab || y > kViewerBarY + kViewerBarH + kViewerBarGrab)
        return false;
    ViewerSeekBarAt(phase, fraction);
    return true;
}

bool ViewerSeeking() { return g_view.seeking; }

void SetViewerArrival(ViewerArrival arrival) { g_view.arrival = arrival; }

ViewerCounts ViewerCountsSoFar() {
    ViewerCounts counts = g_view.counts;
    counts.storeBytes = static_cast<long long>(g_view.taken.size() * g_view.slotSize);
    counts.snapshotEvery = g_view.every;
    return counts;
}

namespace {

void Append(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Append(char* out, std::size_t size, const char* format, ...) {
    const std::size_t used = std::strlen(out);
    if (used + 1 >= size) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(out + used, size - used, format, args);
    va_end(args);
}

const char* const kHelpLines[] = {
    "Space       pause / play",
    ", .         one frame back / on",
    "Left Right  5 s back / on",
    "Shift+arrow 30 s back / on",
    "Home End    first / last frame",
    "- +         speed 0.25x .. 4x",
    "O           overlay on / off",
    "?           these keys",
    "Esc         leave",
    "Drag the bar to seek",
};

}  // namespace

void ViewerDescribeOverlay(ViewerOverlay* out) {
    std::memset(out, 0, sizeof *out);
    out->shown = g_view.loaded && g_view.overlay;
    if (!g_view.loaded) return;
    // A growing round may have no frame to show yet.
    const bool any = g_view.frames > 0;
    const long long frame = any ? Clamp(g_view.shown < 0 ? 0 : g_view.shown) : 0;
    out->live = g_view.growing;
    out->waiting = ViewerWaitingForFrames();
    out->help = g_view.help;
    out->paused = g_view.paused;
    out->holdingBar = g_view.holdingBar;
    out->frame = frame;
    out->frames = g_view.frames;
    out->speed = kSpeeds[g_view.speed];
    out->barFraction = ViewerFractionOfFrame(frame);

    for (long long f = frame - kViewerTrailFrames; any && f <= frame; ++f) {
        if (f < 0) continue;
        const FrameFacts& facts = g_view.facts[static_cast<std::size_t>(f)];
        out->trail[out->trailCount++] = {static_cast<double>(facts.x), static_cast<double>(facts.y),
                                         static_cast<double>(frame - f) / 60.0};
    }
    // The presses of the last second: found from the end of the sorted list.
    std::size_t first = g_view.clicks.size();
    while (first > 0 && g_view.clicks[first - 1].frame > frame) --first;
    std::size_t begin = first;
    while (begin > 0 && g_view.clicks[begin - 1].frame > frame - kViewerClickFrames) --begin;
    if (first - begin > static_cast<std::size_t>(kViewerMaxClicks))
        begin = first - kViewerMaxClicks;
    for (std::size_t i = begin; i < first; ++i) {
        const Click& c = g_view.clicks[i];
        const double age = static_cast<double>(frame - c.frame) / 60.0;
        out->clicks[out->clickCount++] = {static_cast<double>(c.x), static_cast<double>(c.y), age,
                                          1.0 - age};
    }

    const ReplayHeader& h = g_view.header;
    // The game's own clock as the frame shows it: it starts with the round's first frame
    // of play and stops at the last fly.
    const bool playing = SceneState >= STATE_PLAY_ENTER && SceneState <= STATE_PLAY_LEAVE;
    const std::uint32_t ms = playing ? ShownClockMs() : 0u;
    char program[kReplayProgramSize + 1] = {};
    std::memcpy(program, h.program, kReplayProgramSize);
    const std::time_t when = static_cast<std::time_t>(h.calendarTime);
    std::tm day{};
    char date[16] = "?";
    if (const std::tm* utc = std::gmtime(&when)) day = *utc;
    if (day.tm_year > 0) std::strftime(date, sizeof date, "%Y-%m-%d", &day);
    char mode[32];
    ModeName(FliesForSetting(h.flySetting), h.speedSetting + 1, mode, sizeof mode);
    Append(out->topLine, sizeof out->topLine, "%s   %u:%02u.%03u   frame %lld of %lld%s   %s%s",
           mode, ms / 60000, ms / 1000 % 60, ms % 1000, frame, g_view.frames,
           g_view.growing ? " so far" : "", kSpeedNames[g_view.speed],
           g_view.paused ? ", paused" : "");
    if (out->waiting)
        Append(
            out->topLine, sizeof out->topLine, ", %s",
            g_view.tooLong ? "the rest is too long to follow" : "waiting for the round to go on");
    Append(out->topLine, sizeof out->topLine, "   recorded %s by zumble %s", date,
           program[0] ? program : "?");
    Append(out->helpLine, sizeof out->helpLine,
           "Space pause  , . frame  Left Right 5s (Shift 30s)  Home End  - + speed  O overlay  ? "
           "keys  Esc");
    for (const char* line : kHelpLines) {
        if (out->helpCount >= static_cast<int>(sizeof out->helpLines / sizeof out->helpLines[0]))
            break;
        std::snprintf(out->helpLines[out->helpCount++], sizeof out->helpLines[0], "%s", line);
    }
}
