#include "shell/driver/reference_round.h"

#include <new>

#include "media/display.h"
#include "media/sound.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"
#include "replay/replay_snapshot.h"
#include "replay/replay_state.h"
#include "scenes/play.h"
#include "shell/globals.h"
#include "shell/winmain.h"

namespace {

// Every frame ends at a flip; one that runs this many passes of the loop without one
// never would (a game without its display), and the reference is given up.
constexpr int kMostPassesInAFrame = 64;

unsigned char* g_kept = nullptr;  // the game's state while a reference plays

struct Aside {
    const ReplayFile* file = nullptr;
    ReplayReader reader;
    std::uint32_t tick = 0;
    bool flipped = false;
    bool ended = false;   // the file's last frame, or its round was closed
    bool failed = false;  // a desync: the state differs from the file's checksums
};
Aside g_aside;

DWORD AsideTick() { return g_aside.tick; }
std::time_t AsideCalendar() { return static_cast<std::time_t>(g_aside.file->header.calendarTime); }
BOOL NoMessage(MSG*) { return FALSE; }
const InputFeed kAsideFeed = {NoMessage, AsideTick, AsideCalendar};

// A flip ends the frame: all its input was taken and the state is the recorded one where
// the file kept a checksum, as playback checks it.
void OnAsideFlip() {
    Aside& a = g_aside;
    a.flipped = true;
    if (a.reader.pendingCursor || a.reader.tokens != nullptr) {
        a.failed = true;
        return;
    }
    const std::uint32_t played = a.reader.frame;
    if (played % kReplayCheckpointFrames == 0 &&
        ReplayStateChecksum() != ReplayCheckpoint(*a.file, played / kReplayCheckpointFrames - 1)) {
        a.failed = true;
        return;
    }
    if (played == a.file->header.frames) {
        a.ended = true;
        return;
    }
    if (!ReplayReaderNextFrame(&a.reader, &a.tick)) a.failed = true;
}

// One drain of the loop: the frame's messages up to its next break, handed to the
// window procedure as the loop would hand them. Only the button and the keys steer a
// round; an activation restores a display nobody sees here, and a close ends the file.
void Drain() {
    Aside& a = g_aside;
    for (;;) {
        ReplayInput in;
        const int got = ReplayReaderNextInput(&a.reader, &in);
        if (got < 0) a.failed = true;
        if (got <= 0 || in.op == ReplayOp::DrainBreak) return;
        if (in.op == ReplayOp::Cursor) {
            SetGameCursor(in.x, in.y);
            continue;
        }
        if (in.message == WM_CLOSE) {
            a.ended = true;
            return;
        }
        if (in.message == WM_LBUTTONDOWN || in.message == WM_LBUTTONUP || in.message == WM_KEYDOWN)
            WndProc(hWnd, in.message, static_cast<WPARAM>(in.wParam),
                    static_cast<LPARAM>(in.lParam));
    }
}

// The states a round goes through from its start click to its last swat; any other
// (the round left, the title, quitting) would save or draw for real, and is not played.
bool RoundState() {
    return SceneState == STATE_MODE_FRAME || SceneState == STATE_PLAY_ENTER ||
           SceneState == STATE_PLAY_FRAME ||
           (SceneState == STATE_MODE_LEAVE && NextState == STATE_PLAY_ENTER);
}

// Plays from the round's start click on; true at its last swat.
bool PlayToLastSwat(ReferenceSplits* out) {
    Aside& a = g_aside;
    const ReplayHeader& h = a.file->header;
    // As playback begins: at mode select, with the round's settings, button and cursor.
    SceneState = STATE_MODE_FRAME;
    FlyCountSetting = h.flySetting;
    SpeedSetting = h.speedSetting;
    MouseDown = h.mouseDown;
    SetGameCursor(h.cursorX, h.cursorY);
    ReplayReaderStart(&a.reader, *a.file);
    if (!ReplayReaderNextFrame(&a.reader, &a.tick)) return false;
    // The clock lets no frame come faster than 60 a second: a round of the file's time
    // has its last swat by this frame, and a file that goes on without one costs no more.
    const std::uint64_t lastSwatBy = 8 + (static_cast<std::uint64_t>(h.timeMs) + 2) * 60 / 1000;
    int passes = 0;
    for (;;) {
        Drain();
        if (a.failed || a.ended || !RoundState()) return false;
        a.flipped = false;
        RunSceneStep();
        if (a.failed) return false;
        passes = a.flipped ? 0 : passes + 1;
        if (passes > kMostPassesInAFrame || a.reader.frame > lastSwatBy) return false;
        if (SceneState != STATE_PLAY_FRAME) continue;
        // The swats of the drain, at the clock the step that followed them ran to: the
        // clock the game shows for them (and for the last, the round's time).
        while (out->counts < FliesSwatted && out->counts < kSplitsMostCounts)
            out->times[out->counts++] = RoundLastTick - RoundStartTick;
        if (FliesSwatted >= TargetFlies) return true;
        if (a.ended) return false;
    }
}

}  // namespace

bool PrepareReferenceRounds() {
    if (!g_kept) g_kept = new (std::nothrow) unsigned char[GameSnapshotSize()];
    return g_kept != nullptr;
}

bool PlayReferenceRound(const ReplayFile& file, ReferenceSplits* out) {
    out->counts = 0;
    if (!g_kept || !hWnd || ActiveFlipAside()) return false;
    SaveGameSnapshot(g_kept);
    // Out of sight and hearing: no scene bitmap to load or draw from, no sound slots.
    LPDIRECTDRAWSURFACE const sprite = lpSPRITESURFACE;
    lpSPRITESURFACE = nullptr;
    LPDIRECTSOUNDBUFFER sounds[kSoundSlotCount];
    TakeSoundSlots(sounds);
    const InputFeed* const feed = ActiveInputFeed();
    SetInputFeed(&kAsideFeed);
    SetFlipAside(OnAsideFlip);
    g_aside = Aside();
    g_aside.file = &file;

    const bool whole = PlayToLastSwat(out);

    SetFlipAside(nullptr);
    SetInputFeed(feed);
    GiveBackSoundSlots(sounds);
    lpSPRITESURFACE = sprite;
    LoadGameSnapshot(g_kept);
    // Its last swat must give the time the file says, or the splits would lie.
    const bool ok = whole && out->counts > 0 && out->times[out->counts - 1] == file.header.timeMs;
    if (!ok) out->counts = 0;
    return ok;
}
