#include "replay/replay_snapshot.h"

#include <cstdint>
#include <cstring>

#include "media/random.h"
#include "objects/instances.h"
#include "platform/stand_in/runtime.h"
#include "scenes/best_times.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"
#include "scenes/title.h"

namespace {

struct Plain {
    void* at;
    std::size_t size;
};

// The round's plain globals: the scene machine, the round's counters and clock, the
// board and the best times (a round that is played again records its time again).
const Plain kPlain[] = {
    {&SceneState, sizeof SceneState},       {&NextState, sizeof NextState},
    {&SpawnDivisor, sizeof SpawnDivisor},   {&MouseDown, sizeof MouseDown},
    {&FlyCountSetting, sizeof FlyCountSetting}, {&SpeedSetting, sizeof SpeedSetting},
    {&TargetFlies, sizeof TargetFlies},     {&BaseSpeed, sizeof BaseSpeed},
    {&FliesSpawned, sizeof FliesSpawned},   {&FliesSwatted, sizeof FliesSwatted},
    {&RoundPhase, sizeof RoundPhase},       {&PhaseFrames, sizeof PhaseFrames},
    {&RoundStartTick, sizeof RoundStartTick}, {&RoundLastTick, sizeof RoundLastTick},
    {&ClockMinutes, sizeof ClockMinutes},   {&ClockSeconds, sizeof ClockSeconds},
    {&ClockMillis, sizeof ClockMillis},     {BoardMinutes, sizeof BoardMinutes},
    {BoardSeconds, sizeof BoardSeconds},    {BoardMillis, sizeof BoardMillis},
    {BestTimes, sizeof BestTimes},          {&SignPhase, sizeof SignPhase},
    {&IdleStartTick, sizeof IdleStartTick}, {&TitleTick, sizeof TitleTick},
};

template <class Visit>
void ForEachList(Visit visit) {
    visit(Flies);
    for (MarkList* list : {&SwatMarks, &ResultBlink}) visit(*list);
    for (MotionList* list : {&FallingBodies, &BouncingBodies, &DebrisA, &DebrisB}) visit(*list);
}

// Beside the globals: the random state and the cursor.
constexpr std::size_t kExtra = sizeof(std::uint32_t) + 2 * sizeof(LONG);

}  // namespace

std::size_t GameSnapshotSize() {
    std::size_t size = kExtra;
    for (const Plain& p : kPlain) size += p.size;
    ForEachList([&size](const auto& list) { size += list.SnapshotSize(); });
    return size;
}

void SaveGameSnapshot(unsigned char* out) {
    for (const Plain& p : kPlain) {
        std::memcpy(out, p.at, p.size);
        out += p.size;
    }
    ForEachList([&out](const auto& list) {
        list.SaveSnapshot(out);
        out += list.SnapshotSize();
    });
    const std::uint32_t random = RandomState();
    POINT cursor{};
    GetCursorPos(&cursor);
    std::memcpy(out, &random, sizeof random);
    std::memcpy(out + sizeof random, &cursor.x, sizeof cursor.x);
    std::memcpy(out + sizeof random + sizeof cursor.x, &cursor.y, sizeof cursor.y);
}

void LoadGameSnapshot(const unsigned char* in) {
    for (const Plain& p : kPlain) {
        std::memcpy(p.at, in, p.size);
        in += p.size;
    }
    ForEachList([&in](auto& list) {
        list.LoadSnapshot(in);
        in += list.SnapshotSize();
    });
    std::uint32_t random = 0;
    POINT cursor{};
    std::memcpy(&random, in, sizeof random);
    std::memcpy(&cursor.x, in + sizeof random, sizeof cursor.x);
    std::memcpy(&cursor.y, in + sizeof random + sizeof cursor.x, sizeof cursor.y);
    SeedRandom(random);
    SetGameCursor(static_cast<int>(cursor.x), static_cast<int>(cursor.y));
}
