#include "replay/core/replay_signs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

bool Far(int dx, int dy, int pixels) { return dx * dx + dy * dy >= pixels * pixels; }

void EndMove(ReplaySigns* s) {
    if (s->moveFrames == 0) return;
    if (Far(s->frameX - s->moveStartX, s->frameY - s->moveStartY, kSignTeleportPixels)) {
        ++s->longMoves;
        if (s->moveFrames == 1) ++s->teleports;
    }
    s->moveFrames = 0;
}

double Spread(double sum, double squares, int n) {
    const double mean = sum / n, variance = squares / n - mean * mean;
    return variance > 0 ? variance : 0;
}

void Add(char* out, std::size_t size, std::size_t* used, const char* name, const char* value) {
    const int n =
        std::snprintf(out + *used, size - *used, "%s%s:%s", *used ? "," : "", name, value);
    if (n > 0 && *used + static_cast<std::size_t>(n) < size)
        *used += static_cast<std::size_t>(n);
    else
        out[*used] = '\0';
}

// The cue of a swat of the fly at index `hit`: its first showing, or the last swat when
// that came later; `known` false when neither is.
SignsCue CueOf(const ReplaySigns* s, int hit) {
    SignsCue cue = s->cues[static_cast<std::size_t>(hit)];
    if (s->haveSwat && (!cue.known || s->lastSwat.tick >= cue.tick)) cue = s->lastSwat;
    return cue;
}

void Swat(ReplaySigns* s, int hit, int aimX, int aimY) {
    const SignsFly& shown = s->flies[static_cast<std::size_t>(hit)];
    const SignsCue& flyCue = s->cues[static_cast<std::size_t>(hit)];
    ++s->swats;
    if (s->pressJumped) ++s->jumpSwats;
    // A fly nobody saw, or saw for less than a reaction, is swatted too soon whatever
    // came before. Otherwise the cue is its first showing, or the last swat when that
    // came later, and the reach from where the cursor stood then adds its time.
    bool fast = !flyCue.known || s->tick - flyCue.tick < kSignReactionFloorMs - kSignFrameMs;
    const SignsCue cue = CueOf(s, hit);
    if (cue.known) {
        const double ms = static_cast<double>(s->tick - cue.tick);
        const double floor = SignsFloorMs(std::hypot(s->cursorX - cue.x, s->cursorY - cue.y));
        fast = fast || ms < floor;
        if (!fast && (ms < floor + kSignNearFloorMs || flyCue.waited)) ++s->nearSwats;
        ++s->timedSwats;
        s->timeSum += ms;
        s->timeSquares += ms * ms;
    }
    if (fast) ++s->fastSwats;
    s->lastFast = fast;
    if (shown.reachable) {
        const double sx = s->cursorX - shown.aimX, sy = s->cursorY - shown.aimY;
        ++s->shownSwats;
        s->shownX += sx;
        s->shownY += sy;
        s->shownXX += sx * sx;
        s->shownYY += sy * sy;
    }
    const double dx = s->cursorX - aimX, dy = s->cursorY - aimY;
    s->landX += dx;
    s->landY += dy;
    s->landXX += dx * dx;
    s->landYY += dy * dy;
    if (s->upMovedBefore) ++s->glideSwats;
    s->haveSwat = true;
    s->lastSwat = SignsCue{true, false, s->tick, s->cursorX, s->cursorY};
}

}  // namespace

bool SignsEarliest(const ReplaySigns& s, int hit, int x, int y, std::uint32_t* tick) {
    if (hit < 0 || static_cast<std::size_t>(hit) >= s.cues.size()) return false;
    const SignsCue& shown = s.cues[static_cast<std::size_t>(hit)];
    const SignsCue cue = CueOf(&s, hit);
    if (!shown.known || !cue.known) return false;
    const double floor = SignsFloorMs(std::hypot(x - cue.x, y - cue.y));
    const std::uint32_t byReach = cue.tick + static_cast<std::uint32_t>(std::ceil(floor));
    const std::uint32_t bySight = shown.tick + (kSignReactionFloorMs - kSignFrameMs);
    *tick = byReach > bySight ? byReach : bySight;
    return true;
}

double SignsFloorMs(double distance) {
    return kSignReactionFloorMs - kSignFrameMs +
           kSignFittsMsPerBit * std::log2(distance / kSignSwatBoxPixels + 1);
}

void SignsSteer(ReplaySigns* s, int alternatives, int atBest, bool best) {
    SteerRanks& r = s->steer;
    if (alternatives < 2 || atBest >= alternatives || atBest < 1 || r.swats >= kSteerMostSwats)
        return;
    // The counts' chances with one more swat, best with p = atBest / alternatives (for a
    // hand blind to the sequence, the press is any of the alternatives alike).
    const double p = static_cast<double>(atBest) / alternatives;
    ++r.swats;
    for (int k = r.swats; k >= 0; --k)
        r.chance[k] = r.chance[k] * (1 - p) + (k > 0 ? r.chance[k - 1] * p : 0.0);
    if (best) ++r.best;
}

double SteerChance(const SteerRanks& r) {
    double tail = 0;
    for (int k = r.best; k <= r.swats; ++k) tail += r.chance[k];
    return tail < 1 ? tail : 1;
}

void SignsStart(ReplaySigns* s, bool touch, int cursorX, int cursorY, bool buttonDown) {
    *s = ReplaySigns{};
    s->touch = touch;
    s->down = buttonDown;
    s->cursorX = s->frameX = cursorX;
    s->cursorY = s->frameY = cursorY;
    // The most flies a round has: nothing grows while it plays.
    s->flies.reserve(1000);
    s->cues.reserve(1000);
}

void SignsFrameStart(ReplaySigns* s, std::uint32_t tick) {
    s->tick = tick;
    ++s->frame;
    s->pressJumped = false;
    s->upMovedBefore = s->upMovedBefore || s->upMovedNow;
    s->upMovedNow = false;
    // The flip that showed a fly in reach ended the last frame: this frame's tick is its time.
    if (s->cuesPending) {
        for (SignsCue& c : s->cues)
            if (c.pending) {
                c.pending = false;
                c.known = true;
                c.tick = tick;
            }
        s->cuesPending = false;
    }
}

void SignsCursor(ReplaySigns* s, int x, int y) {
    if (!s->down && (x != s->cursorX || y != s->cursorY)) s->upMovedNow = true;
    s->cursorX = x;
    s->cursorY = y;
}

void SignsPress(ReplaySigns* s, const int* hits, int hitCount, int aimX, int aimY) {
    const bool wasDown = s->down;
    s->down = true;
    if (!s->last.playing) return;
    ++s->presses;
    if (Far(s->cursorX - s->frameX, s->cursorY - s->frameY, kSignJumpPixels)) s->pressJumped = true;
    if (s->last.aimKnown && s->cursorX == s->last.aimX && s->cursorY == s->last.aimY)
        ++s->aimMatches;
    // The first fly it swats is the one aimed at (the oldest under the swatter).
    int first = -1;
    for (int i = 0; i < hitCount; ++i)
        if (hits[i] >= 0 && static_cast<std::size_t>(hits[i]) < s->cues.size() &&
            (first < 0 || hits[i] < first))
            first = hits[i];
    if (first >= 0) Swat(s, first, aimX, aimY);
    // The game's list loses them at once: later presses of the frame count without them.
    for (int i = hitCount - 1; i >= 0; --i) {
        const std::size_t k = static_cast<std::size_t>(hits[i]);
        if (hits[i] < 0 || k >= s->cues.size()) continue;
        s->flies.erase(s->flies.begin() + static_cast<long>(k));
        s->cues.erase(s->cues.begin() + static_cast<long>(k));
    }
    // A tap's own move (in its frame) is how a finger lands; only earlier ones glide.
    if (!wasDown) s->upMovedBefore = s->upMovedNow = false;
}

void SignsRelease(ReplaySigns* s) { s->down = false; }

void SignsFrameEnd(ReplaySigns* s, const SignsView& view, const SignsFly* flies, int flyCount) {
    // Moves are followed from flip to flip: a move that is over within one frame went
    // from rest to rest faster than a hand can.
    // Off the round (mode select, the results) the cursor's ways are not counted.
    const bool moved = s->cursorX != s->frameX || s->cursorY != s->frameY;
    if (!view.playing && !s->last.playing) {
        s->moveFrames = 0;
    } else if (moved) {
        if (s->moveFrames == 0) {
            s->moveStartX = s->frameX;
            s->moveStartY = s->frameY;
        }
        ++s->moveFrames;
    }
    s->frameX = s->cursorX;
    s->frameY = s->cursorY;
    if (!moved) EndMove(s);
    if (!view.playing || flyCount < 0) {
        s->flies.clear();
        s->cues.clear();
        s->cuesPending = false;
        s->upMovedBefore = s->upMovedNow = false;
    } else {
        // The flies that were there stay in their order; new ones come at the end.
        const std::size_t n = static_cast<std::size_t>(flyCount);
        if (n < s->cues.size()) s->cues.clear();  // not the list it was: every fly anew
        s->cues.resize(n);
        s->flies.assign(flies, flies + n);
        for (std::size_t i = 0; i < n; ++i) {
            SignsCue& c = s->cues[i];
            if (c.known || c.pending || !flies[i].drawn) continue;
            c.pending = true;
            c.x = s->cursorX;
            c.y = s->cursorY;
            c.waited = flies[i].underCursor;
            s->cuesPending = true;
        }
    }
    s->last = view;
}

void SignsReport(const ReplaySigns& signs, char* out, std::size_t size) {
    if (size == 0) return;
    ReplaySigns s = signs;
    EndMove(&s);  // a move still running at the round's end
    out[0] = '\0';
    std::size_t used = 0;
    char value[32];
    const bool enough = s.swats >= kSignMinEvents;
    // A tap lands where the finger does: on a touch screen, jumps are how a person plays,
    // and a cursor that glides between taps is not a finger's.
    if (!s.touch && enough && 2 * s.jumpSwats >= s.swats) {
        std::snprintf(value, sizeof value, "%d/%d", s.jumpSwats, s.swats);
        Add(out, size, &used, "jump_swats", value);
    }
    if (!s.touch && s.teleports >= kSignMinEvents && 2 * s.teleports >= s.longMoves) {
        std::snprintf(value, sizeof value, "%d/%d", s.teleports, s.longMoves);
        Add(out, size, &used, "cursor_speed", value);
    }
    if (s.touch && enough && 2 * s.glideSwats >= s.swats) {
        std::snprintf(value, sizeof value, "%d/%d", s.glideSwats, s.swats);
        Add(out, size, &used, "touch_glide", value);
    }
    // A few fast swats are a person's luck in a long round, none in a short one, and the
    // last (whose time is the round's) never.
    if (enough && (s.fastSwats > s.swats * kSignFastPercent / 100 || s.lastFast)) {
        std::snprintf(value, sizeof value, "%d/%d", s.fastSwats, s.swats);
        Add(out, size, &used, "fast_swats", value);
    }
    if (enough && 100 * s.nearSwats >= kSignNearPercent * s.swats) {
        std::snprintf(value, sizeof value, "%d/%d", s.nearSwats, s.swats);
        Add(out, size, &used, "near_floor", value);
    }
    if (SteerChance(s.steer) < kSteerChance) {
        std::snprintf(value, sizeof value, "%d/%d", s.steer.best, s.steer.swats);
        Add(out, size, &used, "steering", value);
    }
    if (enough) {
        // A constant offset from the fly, whether from where it was shown or one step on.
        const double shown = s.shownSwats < kSignMinEvents
                                 ? 1e9
                                 : std::sqrt(Spread(s.shownX, s.shownXX, s.shownSwats) +
                                             Spread(s.shownY, s.shownYY, s.shownSwats));
        const double found =
            std::sqrt(Spread(s.landX, s.landXX, s.swats) + Spread(s.landY, s.landYY, s.swats));
        const double land = shown < found ? shown : found;
        if (land < kSignLandingPixels) {
            std::snprintf(value, sizeof value, "%.1fpx", land);
            Add(out, size, &used, "landing_spread", value);
        }
        const double timing =
            s.timedSwats ? std::sqrt(Spread(s.timeSum, s.timeSquares, s.timedSwats)) : 1e9;
        if (s.timedSwats >= kSignMinEvents && timing < kSignTimingSpreadMs) {
            std::snprintf(value, sizeof value, "%.0fms", timing);
            Add(out, size, &used, "timing_spread", value);
        }
    }
    if (s.presses >= kSignMinEvents && 100 * s.aimMatches >= kSignAutoplayPercent * s.presses) {
        std::snprintf(value, sizeof value, "%d/%d", s.aimMatches, s.presses);
        Add(out, size, &used, "autoplay_path", value);
    }
    if (used == 0) std::snprintf(out, size, "-");
}
