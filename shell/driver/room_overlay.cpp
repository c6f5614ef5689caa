#include "shell/driver/room_overlay.h"

#include <cstdio>

#include "replay/room_lines.h"
#include "replay/room_race.h"

bool DescribeRoomOverlay(bool onResultsBoard, SplitsOverlay* out) {
    RoomRaceView view;
    if (!DescribeRoomRace(&view)) return false;
    if (view.phase == RoomPhase::kConnecting && view.racerCount == 0) {
        std::snprintf(out->raceLine, sizeof out->raceLine, "joining the room");
    } else {
        RoomTopLine(view, out->raceLine, sizeof out->raceLine);
    }
    RoomStatusWord(view, out->count, sizeof out->count);
    if (!onResultsBoard) return true;
    out->boardCount = RoomResultLines(view, &out->board[0][0], kSplitsBoardLines, kSplitsLineSize);
    if (out->boardCount == 0) {
        std::snprintf(out->board[0], kSplitsLineSize, "waiting for the room's result");
        out->boardCount = 1;
    }
    return true;
}
