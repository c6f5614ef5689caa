#include "replay/replay_measure.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "objects/instances.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_identity.h"
#include "replay/core/replay_signs.h"
#include "replay/core/swat_frames.h"
#include "replay/pace_keys.h"
#include "replay/replay_state.h"
#include "replay/steer_forecast.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "scenes/scene_globals.h"

namespace {

constexpr int kMostFlies = 1000;
// Long rounds rank a sample of their swats: every so many, at most about this many.
constexpr int kSteerSample = 100;
constexpr int kRing = kForecastSpan + 1;

struct Measure {
    ReplayHeader header;
    ReplaySigns signs;
    PaceKeys pace;  // the keys that changed how fast the flies come
    // The round: from the first frame that ends in play to the first that does not.
    bool measured = false;  // a frame's end was seen
    bool begun = false, over = false;
    long long firstFrame = 0;
    int swatsSeen = 0;
    std::vector<std::uint32_t> swatFrames;
    SignsFly flies[kMostFlies];
    int hits[kMostFlies];
    // The deals of the last frames since a swat or a key, at their first drains.
    Deal ring[kRing];
    std::uint32_t ringTicks[kRing];
    const Deal* order[kRing];
    int ringNext = 0, ringCount = 0;
    bool dealNow = false;  // this frame's deal is the last kept
    int swatsRanked = 0;   // swats seen for the sample
    std::uint64_t sampleKey = 0;
    Deal scratch[2];
};

Measure g_m;

bool InPlay() { return SceneState == STATE_PLAY_FRAME && RoundPhase == Playing; }

// A swat or a key changes what the sequence deals next: the deals kept before are not
// this round's alternatives any more.
void ForgetDeals() {
    g_m.ringCount = 0;
    g_m.dealNow = false;
}

// The press about to swat the flies at g_m.hits[0..count) (the first the oldest), ranked
// among the same press a few frames either side.
void RankSwat(int count, int x, int y) {
    const int stride = TargetFlies / kSteerSample > 1 ? TargetFlies / kSteerSample : 1;
    const bool last = FliesSwatted + count >= TargetFlies;  // the round's end: nothing comes next
    const bool sampled = SteerSampled(g_m.sampleKey, g_m.swatsRanked++, stride);
    if (!g_m.dealNow || last || !sampled || g_m.ringCount == 0) return;
    // The presses a person could have made: from the first frame the floors allow.
    std::uint32_t earliest = 0;
    if (!SignsEarliest(g_m.signs, g_m.hits[0], x, y, &earliest)) return;
    std::uint32_t ticks[kRing] = {};
    for (int i = 0; i < g_m.ringCount; ++i) {
        const int at = (g_m.ringNext - g_m.ringCount + i + kRing) % kRing;
        g_m.order[i] = &g_m.ring[at];
        ticks[i] = g_m.ringTicks[at];
    }
    const std::uint32_t now = ticks[g_m.ringCount - 1];
    int first = -(g_m.ringCount - 1);
    while (first <= kForecastSpan &&
           static_cast<std::int32_t>(
               (first <= 0 ? ticks[g_m.ringCount - 1 + first] : now + first * 1000u / 60) -
               earliest) < 0)
        ++first;
    PressRank rank;
    RankPress(g_m.order, g_m.ringCount - 1, first, x, y, g_m.hits[0], g_m.scratch, &rank);
    SignsSteer(&g_m.signs, rank.alternatives, rank.atBest, rank.best);
}

void SettleKey() { SettlePaceKey(&g_m.pace); }

}  // namespace

bool SampleKeyFromEnvironment(std::uint64_t* key) {
    *key = 0;
    const char* text = std::getenv("ZUMBLE_SAMPLE_KEY");
    if (!text) return true;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 16);
    if (errno != 0 || end == text || *end != '\0' || *text == '-' || *text == '+') return false;
    *key = v;
    return true;
}

void MeasureSetSampleKey(std::uint64_t key) { g_m.sampleKey = key; }

bool SteerSampled(std::uint64_t key, int index, int stride) {
    if (stride <= 1) return true;
    if (key == 0) return index % stride == 0;
    // splitmix64 of the key and the swat's number: without the key, which swats are
    // chosen cannot be told.
    std::uint64_t z = key + 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(index + 1);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return z % static_cast<std::uint64_t>(stride) == 0;
}

void MeasureStart(const ReplayHeader& header) {
    g_m.header = header;
    g_m.measured = g_m.begun = g_m.over = false;
    g_m.pace = PaceKeys{};
    g_m.swatsSeen = 0;
    g_m.swatFrames.clear();
    g_m.swatFrames.reserve(kMostFlies);
    g_m.swatsRanked = 0;
    ForgetDeals();
    SignsStart(&g_m.signs, (header.flags & kReplayTouch) != 0, header.cursorX, header.cursorY,
               header.mouseDown != 0);
}

void MeasureFrameStart(std::uint32_t tick) {
    SettleKey();
    g_m.dealNow = false;
    SignsFrameStart(&g_m.signs, tick);
}

void MeasureFrameDrains() {
    if (!InPlay() || g_m.over) return ForgetDeals();
    CaptureDeal(&g_m.ring[g_m.ringNext]);
    g_m.ringTicks[g_m.ringNext] = g_m.signs.tick;
    g_m.ringNext = (g_m.ringNext + 1) % kRing;
    if (g_m.ringCount < kRing) ++g_m.ringCount;
    g_m.dealNow = true;
}

void MeasureCursor(int x, int y) {
    SettleKey();
    SignsCursor(&g_m.signs, x, y);
}

void MeasureMessage(const ReplayInput& in) {
    PaceKeyTaken(&g_m.pace, in.message, in.wParam, g_m.over);  // the key before settled
    if (g_m.pace.pending) {
        ForgetDeals();
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
        if (count > 0 && InPlay() && !g_m.over) {
            POINT cursor{};
            GetCursorPos(&cursor);
            RankSwat(count, cursor.x, cursor.y);
            ForgetDeals();
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
        POINT cursor{};
        GetCursorPos(&cursor);
        for (DrawPos* p = Flies.Get(); !IsEnd(p) && count < kMostFlies; p = p->next) {
            SignsFly& fly = g_m.flies[count++];
            fly.reachable = AutoplayAimAt(p->x, p->y, &fly.aimX, &fly.aimY);
            fly.drawn = FlyDrawn(p->x, p->y, PhaseFrames);
            fly.underCursor = SwatReaches(p->x, p->y, cursor.x, cursor.y) != 0;
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
    std::snprintf(out->keys, sizeof out->keys, "%d", g_m.pace.changes);
    ReplaySwatsIdentity(FliesForSetting(g_m.header.flySetting), g_m.header.speedSetting + 1,
                        g_m.header.calendarTime, g_m.swatFrames.data(), g_m.swatFrames.size(),
                        out->swats);
    out->swatFrames = SwatFramesText(g_m.swatFrames.data(), g_m.swatFrames.size());
}
