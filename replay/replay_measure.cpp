#include "replay/replay_measure.h"

#include <cstdio>
#include <vector>

#include "objects/instances.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_identity.h"
#include "replay/core/replay_signs.h"
#include "replay/core/swat_frames.h"
#include "replay/replay_state.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "scenes/scene_globals.h"

namespace {

constexpr int kMostFlies = 1000;

struct Measure {
    ReplayHeader header;
    ReplaySigns signs;
    // A key given to the game, judged once it has acted.
    bool keyPending = false;
    bool keyCounts = false;
    int divisorBefore = 0;
    int keys = 0;
    // The round: from the first frame that ends in play to the first that does not.
    bool measured = false;  // a frame's end was seen
    bool begun = false, over = false;
    long long firstFrame = 0;
    int swatsSeen = 0;
    std::vector<std::uint32_t> swatFrames;
    SignsFly flies[kMostFlies];
    int hits[kMostFlies];
};

Measure g_m;

bool InPlay() { return SceneState == STATE_PLAY_FRAME && RoundPhase == Playing; }

// The key handled since: it counts when it changed the rate the next flies come at.
void SettleKey() {
    if (!g_m.keyPending) return;
    g_m.keyPending = false;
    if (g_m.keyCounts && SpawnDivisor != g_m.divisorBefore) ++g_m.keys;
}

}  // namespace

void MeasureStart(const ReplayHeader& header) {
    g_m.header = header;
    g_m.keyPending = g_m.measured = g_m.begun = g_m.over = false;
    g_m.keys = g_m.swatsSeen = 0;
    g_m.swatFrames.clear();
    g_m.swatFrames.reserve(kMostFlies);
    SignsStart(&g_m.signs, (header.flags & kReplayTouch) != 0, header.cursorX, header.cursorY,
               header.mouseDown != 0);
}

void MeasureFrameStart(std::uint32_t tick) {
    SettleKey();
    SignsFrameStart(&g_m.signs, tick);
}

void MeasureCursor(int x, int y) {
    SettleKey();
    SignsCursor(&g_m.signs, x, y);
}

void MeasureMessage(const ReplayInput& in) {
    SettleKey();
    if (in.message == WM_KEYDOWN && (in.wParam == VK_RETURN || in.wParam == VK_SPACE)) {
        // The spawn rate is read only while flies are still to come (and EnterPlay sets
        // it afresh before the round): a key elsewhere changes nothing that was dealt.
        g_m.keyPending = true;
        g_m.keyCounts = !g_m.over && InPlay() && FliesSpawned < TargetFlies;
        g_m.divisorBefore = SpawnDivisor;
    } else if (in.message == WM_LBUTTONDOWN) {
        // The flies it swats, as PlayClick finds them (they have moved on since the flip
        // that showed them).
        int count = 0, aimX = 0, aimY = 0;
        if (SceneState == STATE_PLAY_FRAME) {
            POINT cursor{};
            GetCursorPos(&cursor);
            int index = 0;
            for (DrawPos* p = Flies.Get(); !IsEnd(p) && count < kMostFlies; p = p->next, ++index) {
                if (!SwatReaches(p->x, p->y, cursor.x, cursor.y)) continue;
                if (count == 0) AutoplayAimAt(p->x, p->y, &aimX, &aimY);
                g_m.hits[count++] = index;
            }
        }
        SignsPress(&g_m.signs, g_m.hits, count, aimX, aimY);
    } else if (in.message == WM_LBUTTONUP) {
        SignsRelease(&g_m.signs);
    }
}

void MeasureFrameEnd(long long frame) {
    SettleKey();
    g_m.measured = true;
    if (!g_m.begun && SceneState == STATE_PLAY_FRAME) {
        g_m.begun = true;
        g_m.firstFrame = frame;
        g_m.swatsSeen = FliesSwatted;
    } else if (g_m.begun && !g_m.over && SceneState != STATE_PLAY_FRAME) {
        g_m.over = true;
    }
    if (g_m.begun && !g_m.over) {
        for (; g_m.swatsSeen < FliesSwatted; ++g_m.swatsSeen)
            g_m.swatFrames.push_back(static_cast<std::uint32_t>(frame - g_m.firstFrame));
    }
    SignsView view;
    view.playing = InPlay();
    int count = 0;
    if (view.playing) {
        view.aimKnown = AutoplayAim(&view.aimX, &view.aimY);
        for (DrawPos* p = Flies.Get(); !IsEnd(p) && count < kMostFlies; p = p->next) {
            SignsFly& fly = g_m.flies[count++];
            fly.reachable = AutoplayAimAt(p->x, p->y, &fly.aimX, &fly.aimY);
        }
    }
    SignsFrameEnd(&g_m.signs, view, g_m.flies, count);
}

void MeasureFinish(MeasureResult* out) {
    SettleKey();
    if (!g_m.measured) {
        std::snprintf(out->signs, sizeof out->signs, "-");
        std::snprintf(out->keys, sizeof out->keys, "-");
        std::snprintf(out->swats, sizeof out->swats, "-");
        out->swatFrames.assign(1,
                               '-');  // (not = "-": GCC 12 warns of an overlap that is not there)
        return;
    }
    SignsReport(g_m.signs, out->signs, sizeof out->signs);
    std::snprintf(out->keys, sizeof out->keys, "%d", g_m.keys);
    ReplaySwatsIdentity(FliesForSetting(g_m.header.flySetting), g_m.header.speedSetting + 1,
                        g_m.header.calendarTime, g_m.swatFrames.data(), g_m.swatFrames.size(),
                        out->swats);
    out->swatFrames = SwatFramesText(g_m.swatFrames.data(), g_m.swatFrames.size());
}
