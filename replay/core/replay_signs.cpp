#include "replay/core/replay_signs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

bool Far(int dx, int dy, int pixels) { return dx * dx + dy * dy >= pixels * pixels; }

std::uint32_t Median(std::vector<std::uint32_t> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void EndMove(ReplaySigns* s) {
    if (s->moveFrames == 0) return;
    if (Far(s->frameX - s->moveStartX, s->frameY - s->moveStartY, kSignTeleportPixels)) {
        ++s->longMoves;
        if (s->moveFrames == 1) ++s->teleports;
    }
    s->moveFrames = 0;
}

void Add(char* out, std::size_t size, std::size_t* used, const char* name, const char* value) {
    const int n = std::snprintf(out + *used, size - *used, "%s%s:%s", *used ? "," : "", name, value);
    if (n > 0 && *used + static_cast<std::size_t>(n) < size) *used += static_cast<std::size_t>(n);
    else out[*used] = '\0';
}

}  // namespace

void SignsStart(ReplaySigns* s, bool touch, int cursorX, int cursorY) {
    *s = ReplaySigns{};
    s->touch = touch;
    s->cursorX = s->frameX = cursorX;
    s->cursorY = s->frameY = cursorY;
}

void SignsFrameStart(ReplaySigns* s, std::uint32_t tick) {
    s->tick = tick;
    s->pressed = false;
    s->pressJumped = false;
    // The flip that showed the fly ended the last frame: this frame's tick is its time.
    if (s->stimulus && !s->stimulusTimed) {
        s->stimulusTimed = true;
        s->stimulusTick = tick;
    }
}

void SignsCursor(ReplaySigns* s, int x, int y) {
    s->cursorX = x;
    s->cursorY = y;
}

void SignsPress(ReplaySigns* s) {
    if (!s->last.playing) return;
    ++s->presses;
    s->pressed = true;
    if (Far(s->cursorX - s->frameX, s->cursorY - s->frameY, kSignJumpPixels)) s->pressJumped = true;
    if (s->last.aimKnown && s->cursorX == s->last.aimX && s->cursorY == s->last.aimY) ++s->aimMatches;
    if (s->havePress) s->intervals.push_back(s->tick - s->lastPressTick);
    s->havePress = true;
    s->lastPressTick = s->tick;
    if (s->stimulusTimed) {
        s->reactions.push_back(s->tick - s->stimulusTick);
        s->stimulus = s->stimulusTimed = false;
    }
}

void SignsFrameEnd(ReplaySigns* s, const SignsView& view) {
    if (s->pressed && view.swatted > s->last.swatted) {
        ++s->swatFrames;
        if (s->pressJumped) ++s->jumpSwats;
    }
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
    // A fly that can be hit on a board that had none is something to react to.
    if (view.playing && view.reachable && !(s->last.playing && s->last.reachable)) {
        s->stimulus = true;
        s->stimulusTimed = false;
    }
    if (!view.playing) s->stimulus = s->stimulusTimed = false;
    s->last = view;
}

void SignsReport(const ReplaySigns& signs, char* out, std::size_t size) {
    if (size == 0) return;
    ReplaySigns s = signs;
    EndMove(&s);  // a move still running at the round's end
    out[0] = '\0';
    std::size_t used = 0;
    char value[32];
    // A tap lands where the finger does: on a touch screen, jumps are how a person plays.
    if (!s.touch && s.swatFrames >= kSignMinEvents && 2 * s.jumpSwats >= s.swatFrames) {
        std::snprintf(value, sizeof value, "%d/%d", s.jumpSwats, s.swatFrames);
        Add(out, size, &used, "jump_swats", value);
    }
    if (static_cast<int>(s.intervals.size()) >= kSignMinIntervals) {
        const std::uint32_t median = Median(s.intervals);
        if (median < static_cast<std::uint32_t>(kSignClickIntervalMs)) {
            std::snprintf(value, sizeof value, "%ums", median);
            Add(out, size, &used, "click_interval", value);
        }
    }
    if (!s.touch && s.teleports >= kSignMinEvents && 2 * s.teleports >= s.longMoves) {
        std::snprintf(value, sizeof value, "%d/%d", s.teleports, s.longMoves);
        Add(out, size, &used, "cursor_speed", value);
    }
    if (static_cast<int>(s.reactions.size()) >= kSignMinReactions) {
        const std::uint32_t median = Median(s.reactions);
        if (median < static_cast<std::uint32_t>(kSignReactionMs)) {
            std::snprintf(value, sizeof value, "%ums", median);
            Add(out, size, &used, "reaction", value);
        }
    }
    if (s.presses >= kSignMinEvents && 100 * s.aimMatches >= kSignAutoplayPercent * s.presses) {
        std::snprintf(value, sizeof value, "%d/%d", s.aimMatches, s.presses);
        Add(out, size, &used, "autoplay_path", value);
    }
    if (used == 0) std::snprintf(out, size, "-");
}
