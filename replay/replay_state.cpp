#include "replay/replay_state.h"

#include <initializer_list>

#include "media/random.h"
#include "objects/instances.h"
#include "replay/core/replay_bounds.h"
#include "scenes/best_times.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"

// What a reader of replays takes for the slowest time is the table's own default.
static_assert(static_cast<std::uint32_t>(DEFAULT_BEST_TIME) == kReplaySlowestTimeMs);

namespace {

// FNV-1a over 32-bit words.
struct Hash {
    std::uint32_t h = 2166136261u;
    void Add(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h ^= (v >> (8 * i)) & 0xFFu;
            h *= 16777619u;
        }
    }
};

template <class List>
void AddList(Hash* hash, List& list) {
    hash->Add(static_cast<std::uint32_t>(list.Count()));
    for (DrawPos* p = list.Get(); !IsEnd(p); p = p->next) {
        hash->Add(static_cast<std::uint32_t>(p->x));
        hash->Add(static_cast<std::uint32_t>(p->y));
        hash->Add(static_cast<std::uint32_t>(p->frame));
        hash->Add(static_cast<std::uint32_t>(p->finished));
    }
}

}  // namespace

std::uint32_t ReplayStateChecksum() {
    Hash hash;
    for (int v : {SceneState, NextState, RoundPhase, PhaseFrames, FliesSpawned, FliesSwatted, TargetFlies,
                  SpawnDivisor, MouseDown, FlyCountSetting, SpeedSetting, ClockSeconds, ClockMillis,
                  static_cast<int>(ClockMinutes)})
        hash.Add(static_cast<std::uint32_t>(v));
    hash.Add(RandomState());
    hash.Add(RoundStartTick);
    hash.Add(RoundLastTick);
    // The flies' records carry no frame: only where they are counts.
    hash.Add(static_cast<std::uint32_t>(Flies.Count()));
    for (DrawPos* p = Flies.Get(); !IsEnd(p); p = p->next) {
        hash.Add(static_cast<std::uint32_t>(p->x));
        hash.Add(static_cast<std::uint32_t>(p->y));
    }
    for (MotionList* list : {&FallingBodies, &BouncingBodies, &DebrisA, &DebrisB}) AddList(&hash, *list);
    for (MarkList* list : {&SwatMarks, &ResultBlink}) AddList(&hash, *list);
    return hash.h;
}

bool RoundTimeRecorded(std::uint32_t* timeMs) {
    if (SceneState != STATE_PLAY_FRAME && SceneState != STATE_PLAY_LEAVE) return false;
    if (RoundPhase != ShowingResults && RoundPhase != AwaitingClick) return false;
    *timeMs = RoundLastTick - RoundStartTick;
    return true;
}

int FliesForSetting(int flySetting) { return kReplayFlies[flySetting & 3]; }
