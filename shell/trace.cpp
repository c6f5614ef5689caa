#include "shell/trace.h"

#include <cstdio>
#include <initializer_list>

#include "objects/instances.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"
#include "replay/room_race.h"
#include "scenes/play.h"
#include "scenes/title.h"
#include "shell/globals.h"

namespace {

std::FILE* g_trace = nullptr;

// Between rounds every pool must be whole again: all nodes free and every list linked
// both ways. Walking all of them takes a while, so only the mode-select frames ask.
template <class List>
void Audit(const List& list, int* freeNodes, bool* intact) {
    *freeNodes += list.FreeCount();
    *intact = *intact && list.LinksIntact() && list.FreeCount() == list.Capacity() - list.Count();
}

void WritePoolAudit() {
    int freeNodes = 0;
    bool intact = true;
    Audit(Flies, &freeNodes, &intact);
    for (const MarkList* list : {&SwatMarks, &ResultBlink}) Audit(*list, &freeNodes, &intact);
    for (const MotionList* list : {&FallingBodies, &BouncingBodies, &DebrisA, &DebrisB, &TitleSign})
        Audit(*list, &freeNodes, &intact);
    for (const MotionList& list : TitleLetters) Audit(list, &freeNodes, &intact);
    std::fprintf(g_trace, " free=%d pools=%s", freeNodes, intact ? "intact" : "broken");
}

// In a room: each racer's count as the board played it ("room=Ann:7,Bob:5"), and the
// race ("race=2").
void WriteRoomCounts() {
    RoomRaceView view;
    if (!DescribeRoomRace(&view)) return;
    std::fprintf(g_trace, " race=%d room=", view.phase == RoomPhase::kRacing ? view.raceNumber : 0);
    for (int i = 0; i < view.racerCount; ++i)
        std::fprintf(g_trace, "%s%s:%d", i ? "," : "", view.racers[i].name,
                     view.racers[i].swats < 0 ? 0 : view.racers[i].swats);
}

void WriteTraceLine(long long frame) {
    if (!g_trace) return;
    POINT cursor;
    GetCursorPos(&cursor);
    std::fprintf(
        g_trace,
        "frame=%lld tick=%u scene=%d next=%d phase=%d phaseframes=%d spawned=%d swatted=%d "
        "target=%d divisor=%d flies=%d falling=%d bouncing=%d debrisA=%d debrisB=%d marks=%d "
        "blink=%d sign=%d mouse=%d clock=%d cursor=%d,%d",
        frame, static_cast<unsigned>(ObserveTickCount()), SceneState, NextState, RoundPhase,
        PhaseFrames, FliesSpawned, FliesSwatted, TargetFlies, SpawnDivisor, Flies.Count(),
        FallingBodies.Count(), BouncingBodies.Count(), DebrisA.Count(), DebrisB.Count(),
        SwatMarks.Count(), ResultBlink.Count(), SignPhase, MouseDown,
        static_cast<int>(ShownClockMs()), static_cast<int>(cursor.x), static_cast<int>(cursor.y));
    if (Flies.Count() > 0) {
        const DrawPos* oldest = Flies.Get();
        std::fprintf(g_trace, " fly=%d,%d", oldest->x, oldest->y);
    }
    if (SceneState == STATE_MODE_FRAME) WritePoolAudit();
    WriteRoomCounts();
    std::fputc('\n', g_trace);
    // Someone may be watching a live game's trace: each frame's line is out when it ends.
    std::fflush(g_trace);
}

}  // namespace

bool StartTrace(const char* path) {
    // Binary: the same bytes, with "\n" line ends, on every platform.
    g_trace = OpenTesterFile(path, "wb");
    if (!g_trace) return false;
    AddFlipHook(WriteTraceLine);
    return true;
}

void StopTrace() {
    if (g_trace) std::fclose(g_trace);
    g_trace = nullptr;
}
