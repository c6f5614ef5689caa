#include "replay/room_lines.h"

#include <cstdio>
#include <cstring>

#include "replay/core/split_times.h"

namespace {

// Appends text, cut at the end of `out`.
void Put(char* out, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(out);
    if (used + 1 < size) std::snprintf(out + used, size - used, "%s", text);
}

}  // namespace

void RoomTopLine(const RoomRaceView& view, char* out, std::size_t size) {
    if (size == 0) return;
    out[0] = 0;
    const bool counting = view.phase == RoomPhase::kRacing;
    for (int i = 0; i < view.racerCount; ++i) {
        const RoomRacerView& r = view.racers[i];
        char item[kRoomNameSize + 32];
        if (counting) {
            char delta[16] = "";
            if (r.swats > 0 && r.deltaMs > 0) SplitDeltaText(r.deltaMs, delta, sizeof delta);
            std::snprintf(item, sizeof item, "%s%s %d%s%s", i ? "  " : "", r.name,
                          r.swats < 0 ? 0 : r.swats, delta[0] ? " " : "", delta);
        } else {
            std::snprintf(item, sizeof item, "%s%s%s", i ? "  " : "", r.name,
                          view.phase == RoomPhase::kLobby && r.ready ? " ready" : "");
        }
        Put(out, size, item);
    }
}

void RoomStatusWord(const RoomRaceView& view, char* out, std::size_t size) {
    switch (view.phase) {
    case RoomPhase::kConnecting: std::snprintf(out, size, "reconnecting"); break;
    case RoomPhase::kLobby:
        std::snprintf(out, size, "%s", view.youReady ? "ready" : "press Start");
        break;
    case RoomPhase::kCountdown:
        std::snprintf(out, size, "starts in %ld", (view.countdownMs + 999) / 1000);
        break;
    case RoomPhase::kRacing: std::snprintf(out, size, "race %d", view.raceNumber); break;
    }
}

int RoomResultLines(const RoomRaceView& view, char* lines, int most, std::size_t lineSize) {
    if (!view.resultIn || most <= 0) return 0;
    int n = 0;
    char clock[32];
    if (view.winner[0]) {
        SplitClockText(static_cast<std::uint32_t>(view.winnerMs), clock, sizeof clock);
        std::snprintf(lines, lineSize, "%s wins, %s", view.winner, clock);
    } else {
        std::snprintf(lines, lineSize, "nobody has a verified time");
    }
    ++n;
    for (int i = 0; i < view.racerCount && n < most; ++i) {
        const RoomRacerView& r = view.racers[i];
        if (view.winner[0] && std::strcmp(r.name, view.winner) == 0) continue;
        if (!r.status[0]) continue;  // joined after the race
        char* line = lines + n * lineSize;
        if (std::strcmp(r.status, "verified") == 0 && r.timeMs >= 0) {
            SplitClockText(static_cast<std::uint32_t>(r.timeMs), clock, sizeof clock);
            std::snprintf(line, lineSize, "%s %s", r.name, clock);
        } else if (r.reason[0]) {
            std::snprintf(line, lineSize, "%s %s: %s", r.name, r.status, r.reason);
        } else {
            std::snprintf(line, lineSize, "%s %s", r.name, r.status);
        }
        ++n;
    }
    return n;
}
