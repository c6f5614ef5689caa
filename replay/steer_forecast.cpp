#include "replay/steer_forecast.h"

#include <cmath>
#include <cstring>

#include "media/random.h"
#include "objects/instances.h"
#include "replay/core/replay_signs.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "scenes/scene_globals.h"

namespace {

// The deal's sequence is the game's while it is played forward; the game's own is put
// back after.
struct UseSequence {
    Deal* d;
    std::uint32_t game;
    explicit UseSequence(Deal* deal) : d(deal), game(RandomState()) { SeedRandom(d->random); }
    ~UseSequence() {
        d->random = RandomState();
        SeedRandom(game);
    }
};

// The farthest (squared, in pixels) a hand at a person's floors reaches `t` frames after
// it starts: the floor's reaction, then 50 ms a bit of Fitts' law (negative: nowhere).
double MostReach(int t) {
    const double reach = t * 1000.0 / 60 - (kSignReactionFloorMs - kSignFrameMs);
    const double d = kSignSwatBoxPixels * (std::exp2(reach / kSignFittsMsPerBit) - 1);
    return reach < 0 ? -1 : d * d;
}
constexpr int kReachScale = 1 << 14;  // an outcome: frames, then pixels reached

}  // namespace

void CaptureDeal(Deal* out) {
    out->random = RandomState();
    out->spawned = FliesSpawned;
    out->target = TargetFlies;
    out->divisor = SpawnDivisor > 0 ? SpawnDivisor : 1;
    out->baseSpeed = BaseSpeed;
    out->count = Flies.CopyFlies(out->flies, kForecastMostFlies);
}

void CopyDeal(Deal* to, const Deal& from) {
    to->random = from.random;
    to->spawned = from.spawned;
    to->target = from.target;
    to->divisor = from.divisor;
    to->baseSpeed = from.baseSpeed;
    to->count = from.count;
    std::memcpy(to->flies, from.flies, sizeof(FlyState) * static_cast<std::size_t>(from.count));
}

void StepDeal(Deal* d) {
    UseSequence use(d);
    for (int i = 0; i < d->count; ++i) Flies.Step(d->flies[i]);
    double speed = 0;
    if (!SpawnComes(d->spawned, d->target, d->divisor, d->baseSpeed, &speed)) return;
    ++d->spawned;
    if (d->count < kForecastMostFlies) Flies.Place(d->flies[d->count++], speed);
}

int PressDeal(Deal* d, int x, int y, int fly, bool* hitsFly) {
    UseSequence use(d);
    *hitsFly = false;
    int kept = 0, hits = 0;
    for (int i = 0; i < d->count; ++i) {
        const FlyState& f = d->flies[i];
        if (SwatReaches(static_cast<int>(f.x), static_cast<int>(f.y), x, y)) {
            ++hits;
            if (i == fly) *hitsFly = true;
            for (int k = 0; k < kSwatDraws; ++k) NextRandom();
        } else {
            d->flies[kept++] = f;
        }
    }
    d->count = kept;
    return hits;
}

int NextSwatFrames(Deal* d, int x, int y, int limit, int* reach) {
    if (limit > kForecastHorizon) limit = kForecastHorizon;
    *reach = 0;
    int t = 0;
    for (int swats = 0; swats < kForecastSwats; ++swats) {
        if (d->count == 0 && d->spawned >= d->target) return t;  // the round's last
        // The first fly (oldest first) the hand reaches in time from the last press,
        // pressed on at the test player's pixel.
        int fly = -1, ax = 0, ay = 0;
        for (int wait = 0; fly < 0; ++wait) {
            if (wait > 0) {
                if (++t > limit) return limit + 1;
                StepDeal(d);
            }
            const double most = MostReach(wait);
            for (int i = 0; i < d->count && most >= 0 && fly < 0; ++i) {
                const int fx = static_cast<int>(d->flies[i].x),
                          fy = static_cast<int>(d->flies[i].y);
                if (!FlyDrawn(fx, fy, 0) || !AutoplayAimAt(fx, fy, &ax, &ay)) continue;
                const double dx = ax - x, dy = ay - y;
                if (dx * dx + dy * dy <= most) fly = i;
            }
        }
        bool hit = false;
        PressDeal(d, ax, ay, fly, &hit);
        *reach += static_cast<int>(std::hypot(ax - x, ay - y));
        x = ax;
        y = ay;
    }
    return t;
}

void RankPress(const Deal* const* deals, int now, int first, int x, int y, int fly, Deal* scratch,
               PressRank* out) {
    *out = PressRank{};
    if (first < -now) first = -now;
    if (first > 0) return;  // the real press itself came sooner than a person's
    // Each press is played on to the same frame, just after the latest of them; from there
    // a hand at the floors starts from where the press was, for each alike: only what the
    // sequence dealt differs, never how soon the press came.
    bool hit = false;
    auto outcome = [&](const Deal& at, int d, int limit) {
        CopyDeal(&scratch[0], at);
        PressDeal(&scratch[0], x, y, fly, &hit);
        if (!hit) return -1;
        for (int k = d; k <= kForecastSpan; ++k) StepDeal(&scratch[0]);
        // Frames first, then how far the hand went (deals as quick told apart by how
        // near their flies came).
        int reach = 0;
        const int frames = NextSwatFrames(&scratch[0], x, y, limit, &reach);
        return frames * kReachScale + (reach < kReachScale ? reach : kReachScale - 1);
    };
    const int real = outcome(*deals[now], 0, kForecastHorizon);
    if (real < 0) return;  // not the game's swat: nothing to rank it by
    // The others; those that take more frames than the real one stop there (all counted
    // as worse).
    const int realFrames = real / kReachScale;
    int scores[2 * kForecastSpan + 1];
    int n = 0;
    scores[n++] = real;
    for (int d = first; d < 0; ++d) {
        const int o = outcome(*deals[now + d], d, realFrames);
        if (o >= 0) scores[n++] = o;
    }
    CopyDeal(&scratch[1], *deals[now]);
    for (int d = 1; d <= kForecastSpan; ++d) {
        StepDeal(&scratch[1]);
        const int o = outcome(scratch[1], d, realFrames);
        if (o >= 0) scores[n++] = o;
    }
    // Near the best: fewer than kForecastNear presses better.
    auto better = [&](int v) {
        int b = 0;
        for (int i = 0; i < n; ++i) b += scores[i] < v;
        return b;
    };
    for (int i = 0; i < n; ++i) out->atBest += better(scores[i]) < kForecastNear;
    out->alternatives = n;
    out->best = better(real) < kForecastNear;
}
