#include "scenes/play.h"

#include "media/display.h"
#include "media/random.h"
#include "media/sound.h"
#include "objects/instances.h"
#include "platform/stand_in/runtime.h"
#include "scenes/best_times.h"
#include "scenes/scene_globals.h"

int TargetFlies = 0;
double BaseSpeed = 0;
int FliesSpawned = 0;
int FliesSwatted = 0;
int RoundPhase = Playing;
int PhaseFrames = 0;
std::uint32_t RoundStartTick = 0;
std::uint32_t RoundLastTick = 0;
std::uint16_t ClockMinutes = 0;
int ClockSeconds = 0;
int ClockMillis = 0;
std::uint16_t BoardMinutes[5] = {};
int BoardSeconds[5] = {};
int BoardMillis[5] = {};

namespace {

constexpr int kTargetFlies[4] = {10, 30, 100, 1000};
constexpr int kSpawnDivisor[4] = {25, 20, 15, 5};
constexpr double kBaseSpeed[4] = {1.0, 2.0, 4.0, 8.0};

// A swatted body pops up, falls, bounces once from the floor and drops off the screen.
constexpr double kBodyRise = -8.0;
constexpr double kBodyGravity = 0.5;
constexpr int kFloorY = 464;
constexpr int kGoneY = 500;
// The board runs this many frames before a click may leave it.
constexpr int kResultsFrames = 60;

// One velocity component of a debris piece, 0..9 or -9..0, from two draws.
double DebrisComponent() {
    int sign = NextRandom();
    int value = NextRandom();
    if (sign % 2 == 0) return ((value % 50) + 60) % 10;
    return ((value % 50) - 100) % 10;
}

constexpr int kDebrisPieces = 8;
// Two lists of pieces, two components a piece, two draws a component.
static_assert(2 * kDebrisPieces * 2 * 2 == kSwatDraws, "a swat's draws");

void AddDebris(MotionList& list, int x, int y) {
    for (int i = 0; i < kDebrisPieces; ++i) {
        Body piece;
        piece.x = x;
        piece.y = y;
        piece.vx = DebrisComponent();
        piece.vy = DebrisComponent();
        list.Add(piece);
    }
}

Body RisingBody(double x, double y) {
    Body body;
    body.x = x;
    body.y = y;
    body.vy = kBodyRise;
    body.ay = kBodyGravity;
    return body;
}

void Swat(int x, int y) {
    AddDebris(DebrisA, x, y);
    AddDebris(DebrisB, x, y);
    FallingBodies.Add(RisingBody(x - 4, y));
    SwatMarks.Add(x - 4, y);
}

// Walks a list's records and removes those that `gone` picks; the walk goes on from the
// record that followed a removed one, at the same index.
template <class List, class Gone>
void Reap(List& list, Gone gone) {
    int index = 0;
    for (DrawPos *p = list.Get(), *next; !IsEnd(p); p = next) {
        next = p->next;
        if (gone(*p))
            list.Remove(index);
        else
            ++index;
    }
}

void RunClock() {
    RoundLastTick = GetTickCount();
    std::uint32_t elapsed = RoundLastTick - RoundStartTick;  // wraps harmlessly
    std::uint32_t seconds = elapsed / 1000;
    ClockMillis = static_cast<int>(elapsed % 1000);
    ClockMinutes = static_cast<std::uint16_t>(seconds / 60);
    ClockSeconds = static_cast<int>(seconds - 60u * ClockMinutes);
}

void Spawn() {
    double speed = 0;
    if (!SpawnComes(FliesSpawned, TargetFlies, SpawnDivisor, BaseSpeed, &speed)) return;
    ++FliesSpawned;
    Flies.Add(speed);
}

void StepPhase() {
    switch (RoundPhase) {
    case Playing:
        // Cycles 0..3: the flies' wing beat.
        if (++PhaseFrames == 4) PhaseFrames = 0;
        if (FliesSwatted == TargetFlies) {
            RoundPhase = Recording;
            ResultBlink.Add(0, 0);
            PhaseFrames = 0;
        }
        break;
    case Recording:
        // A new best time goes to the disk at once: the player may well close the game
        // (or the tab) while the board shows it.
        if (RecordBestTime(static_cast<int>(RoundLastTick - RoundStartTick))) SaveBestTimes();
        RoundPhase = ShowingResults;
        break;
    case ShowingResults:
        if (++PhaseFrames > kResultsFrames) RoundPhase = AwaitingClick;
        break;
    default: break;
    }
}

}  // namespace

bool SpawnComes(int spawned, int target, int divisor, double baseSpeed, double* speed) {
    if (spawned >= target) return false;
    if (NextRandom() % divisor != 0) return false;
    *speed = baseSpeed + 0.1 * (NextRandom() % 10);
    return true;
}

std::uint32_t ShownClockMs() {
    return static_cast<std::uint32_t>(ClockMinutes) * 60000u +
           static_cast<std::uint32_t>(ClockSeconds) * 1000u +
           static_cast<std::uint32_t>(ClockMillis);
}

int EnterPlay() {
    PhaseFrames = 0;
    FliesSwatted = 0;
    FliesSpawned = 0;
    ClockMinutes = 0;
    ClockSeconds = 0;
    ClockMillis = 0;
    RoundStartTick = GetTickCount();
    RoundLastTick = 0;
    // The keys may have changed the divisor during the last round; each round starts
    // from the mode's own rate.
    TargetFlies = kTargetFlies[FlyCountSetting & 3];
    SpawnDivisor = kSpawnDivisor[FlyCountSetting & 3];
    BaseSpeed = kBaseSpeed[SpeedSetting & 3];
    RoundPhase = Playing;
    SeedRandom(static_cast<std::uint32_t>(CalendarTime()));
    LoadSceneBitmap("bmp\\game.bmp", 255);
    if (SND_CRY != nullptr) SND_CRY->SetVolume(-1500);
    if (SND_BGM != nullptr) SND_BGM->SetVolume(-1000);
    return 1;
}

void PlayFrame() {
    SetCursor(nullptr);  // the swatter sprite stands in for the cursor
    DrawPlay(PhaseFrames);
    PresentFrame();
    UpdateBuzz();
    if (RoundPhase == Playing) RunClock();

    Flies.Update();
    FallingBodies.Update();
    BouncingBodies.Update();
    DebrisA.Update();
    DebrisB.Update();
    SwatMarks.Update();
    ResultBlink.Update();

    ReapObjects();
    Spawn();
    StepPhase();
}

int SwatReaches(int x, int y, int cursorX, int cursorY) {
    int hotX = cursorX + 8;
    int hotY = cursorY + 8;
    return x - 16 <= hotX && hotX <= x + 34 && y - 16 <= hotY && hotY <= y + 34;
}

int PlayClick() {
    POINT cursor{};
    GetCursorPos(&cursor);

    int index = 0;
    for (DrawPos *p = Flies.Get(), *next; !IsEnd(p); p = next) {
        next = p->next;
        int x = p->x;
        int y = p->y;
        if (SwatReaches(x, y, cursor.x, cursor.y)) {
            PlayHitSound();
            ++FliesSwatted;
            Flies.Remove(index);
            Swat(x, y);
        } else {
            ++index;
        }
    }

    if (RoundPhase == AwaitingClick) {
        SceneState = STATE_PLAY_LEAVE;
        NextState = STATE_MODE_ENTER;
    }
    return 1;
}

void ReapObjects() {
    Reap(FallingBodies, [](const DrawPos& body) {
        if (body.y < kFloorY) return false;
        // The one bounce: the body goes up again from the floor.
        BouncingBodies.Add(RisingBody(body.x, kFloorY));
        return true;
    });
    Reap(BouncingBodies, [](const DrawPos& body) { return body.y >= kGoneY; });
    Reap(SwatMarks, [](const DrawPos& mark) { return mark.finished == 1; });
    Reap(DebrisA, [](const DrawPos& piece) { return piece.finished == 1; });
    Reap(DebrisB, [](const DrawPos& piece) { return piece.finished == 1; });
}

void UpdateBuzz() {
    if (SND_CRY == nullptr) return;
    int flies = Flies.Count();
    if (flies > 0) {
        SND_CRY->Play(0, 0, DSBPLAY_LOOPING);
        // Louder with every fly, full level from fifteen on.
        LONG volume = flies * 100 - 1500;
        if (volume > 0) volume = 0;
        SND_CRY->SetVolume(volume);
    } else {
        SND_CRY->Stop();
    }
}

void ClearPlayLists() {
    ResultBlink.Remove(0);
    Flies.Clear();
    SwatMarks.Clear();
    ResultBlink.Clear();
    FallingBodies.Clear();
    BouncingBodies.Clear();
    DebrisA.Clear();
    DebrisB.Clear();
}

void LeavePlay() {
    ClearPlayLists();
    ClearBackBuffer(0);
    PresentFrame();
    if (SND_CRY != nullptr) SND_CRY->Stop();
}
