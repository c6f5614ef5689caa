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

// The least time a person takes from a cue to a press after a reach of `distance` pixels.
double FloorMs(double distance) {
    return kSignReactionFloorMs - kSignFrameMs +
           kSignFittsMsPerBit * std::log2(distance / kSignSwatBoxPixels + 1);
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

void Swat(ReplaySigns* s, int hit, int aimX, int aimY) {
    const SignsFly& shown = s->flies[static_cast<std::size_t>(hit)];
    const SignsCue& flyCue = s->cues[static_cast<std::size_t>(hit)];
    ++s->swats;
    if (s->pressJumped) ++s->jumpSwats;
    // The cue: the fly coming into reach, or the last swat when that came later.
    SignsCue cue = flyCue;
    if (s->haveSwat && (!cue.known || s->lastSwat.tick >= cue.tick)) cue = s->lastSwat;
    if (cue.known) {
        const double ms = static_cast<double>(s->tick - cue.tick);
        if (ms < FloorMs(std::hypot(s->cursorX - cue.x, s->cursorY - cue.y))) ++s->fastSwats;
        ++s->timedSwats;
        s->timeSum += ms;
        s->timeSquares += ms * ms;
    }
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
            if (c.known || c.pending || !flies[i].reachable) continue;
            c.pending = true;
            c.x = s->cursorX;
            c.y = s->cursorY;
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
    if (enough && s.fastSwats >= kSignFastLeast && 100 * s.fastSwats > kSignFastPercent * s.swats) {
        std::snprintf(value, sizeof value, "%d/%d", s.fastSwats, s.swats);
        Add(out, size, &used, "fast_swats", value);
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
