#include "replay/replay_state.h"

#include <type_traits>

#include "replay/core/replay_bounds.h"
#include "scenes/round_state.h"

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

// The checked part of the round's state, in its order: numbers as 32-bit words, each
// list its count and then every record's place (the effects' frames and ends too).
struct Checksum {
    Hash hash;
    template <class T>
    void Checked(const char*, T& value) {
        hash.Add(static_cast<std::uint32_t>(value));
    }
    template <class T>
    void Kept(const char*, T&) {}
    void Random() { hash.Add(RandomState()); }
    void Cursor() {}
    template <class L>
    void List(const char*, L& list) {
        hash.Add(static_cast<std::uint32_t>(list.Count()));
        for (DrawPos* p = list.Get(); !IsEnd(p); p = p->next) {
            hash.Add(static_cast<std::uint32_t>(p->x));
            hash.Add(static_cast<std::uint32_t>(p->y));
            // The flies' records carry no frame: only where they are counts.
            if constexpr (std::is_same_v<L, FlySwarm>) continue;
            hash.Add(static_cast<std::uint32_t>(p->frame));
            hash.Add(static_cast<std::uint32_t>(p->finished));
        }
    }
};

}  // namespace

std::uint32_t ReplayStateChecksum() {
    Checksum checksum;
    VisitRoundState(checksum);
    return checksum.hash.h;
}

bool RoundTimeRecorded(std::uint32_t* timeMs) {
    if (SceneState != STATE_PLAY_FRAME && SceneState != STATE_PLAY_LEAVE) return false;
    if (RoundPhase != ShowingResults && RoundPhase != AwaitingClick) return false;
    *timeMs = RoundLastTick - RoundStartTick;
    return true;
}

int FliesForSetting(int flySetting) { return kReplayFlies[flySetting & 3]; }
