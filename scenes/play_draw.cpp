#include "media/blit.h"
#include "media/number.h"
#include "objects/instances.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"

namespace {

struct Rect {
    int left, top, right, bottom;
};

void Plain(int x, int y, const Rect& r) { BlitSprite(x, y, r.left, r.top, r.right, r.bottom); }
void Clipped(int x, int y, const Rect& r) {
    BlitSpriteClipped(x, y, r.left, r.top, r.right, r.bottom);
}

constexpr Rect kBackground = {0, 0, 640, 480};
constexpr Rect kMark[3] = {{233, 480, 253, 499}, {253, 480, 272, 499}, {273, 480, 293, 498}};
constexpr Rect kBody = {36, 480, 59, 503};
constexpr Rect kFlyWingsUp = {0, 480, 19, 500};
constexpr Rect kFlyWingsDown = {19, 480, 36, 500};
constexpr Rect kDebrisA = {293, 480, 301, 488};
constexpr Rect kDebrisB = {293, 488, 301, 496};
constexpr Rect kSwatterPressed = {123, 480, 139, 512};
constexpr Rect kSwatterRaised = {139, 480, 157, 510};
constexpr Rect kFliesLabel = {213, 480, 233, 499};
constexpr Rect kClockLabel = {157, 480, 182, 511};
constexpr Rect kSwatsLabel = {182, 480, 213, 511};
constexpr Rect kColon = {100, 509, 102, 525};
constexpr Rect kSlash = {102, 509, 111, 525};
constexpr Rect kDot = {112, 509, 114, 525};
constexpr Rect kBoard = {301, 480, 449, 518};
// Rank numerals 1..5, cut from the digit strip.
constexpr Rect kRank[5] = {{11, 509, 17, 525},
                           {17, 509, 26, 525},
                           {26, 509, 37, 525},
                           {37, 509, 48, 525},
                           {48, 509, 57, 525}};

template <class List>
void DrawAll(List& list, const Rect& r) {
    for (DrawPos* p = list.Get(); !IsEnd(p); p = p->next) Clipped(p->x, p->y, r);
}

void DrawClock() {
    DrawNumber(233, 26, ClockMinutes, 2);
    DrawNumber(273, 26, ClockSeconds, 2);
    DrawNumber(316, 26, ClockMillis, 3);
    Plain(269, 26, kColon);
    Plain(310, 26, kDot);
}

void DrawBoard() {
    Plain(246, 160, kBoard);

    // The clear time blinks in the clock's place.
    if (ClockShown()) DrawClock();

    for (int i = 0; i < 5; ++i) {
        int y = 240 + 24 * i;
        Plain(236, y, kRank[i]);
        DrawNumber(271, y, BoardMinutes[i], 2);
        DrawNumber(311, y, BoardSeconds[i], 2);
        DrawNumber(354, y, BoardMillis[i], 3);
        Plain(307, y, kColon);
        Plain(346, y, kDot);
    }
}

}  // namespace

bool ClockShown() {
    if (RoundPhase == Playing) return true;
    if (RoundPhase != Recording && RoundPhase != ShowingResults && RoundPhase != AwaitingClick)
        return false;
    DrawPos* blink = ResultBlink.Get();
    return !IsEnd(blink) && blink->frame == 0;
}

bool FlyDrawn(int x, int y, int phaseFrames) {
    const Rect& r = phaseFrames < 2 ? kFlyWingsUp : kFlyWingsDown;
    return x + (r.right - r.left) > 0 && x < 640 && y + (r.bottom - r.top) > 0 && y < 480;
}

int DrawPlay(int phaseFrames) {
    Plain(0, 0, kBackground);

    for (DrawPos* p = SwatMarks.Get(); !IsEnd(p); p = p->next)
        if (p->frame >= 0 && p->frame < 3) Clipped(p->x, p->y, kMark[p->frame]);

    DrawAll(FallingBodies, kBody);
    DrawAll(BouncingBodies, kBody);
    // All flies beat their wings together.
    DrawAll(Flies, phaseFrames < 2 ? kFlyWingsUp : kFlyWingsDown);
    DrawAll(DebrisA, kDebrisA);
    DrawAll(DebrisB, kDebrisB);

    POINT cursor{};
    GetCursorPos(&cursor);
    if (MouseDown == 1)
        Clipped(cursor.x, cursor.y, kSwatterPressed);
    else
        Clipped(cursor.x - 4, cursor.y, kSwatterRaised);

    Plain(36, 24, kFliesLabel);
    DrawNumber(65, 26, Flies.Count(), 4);
    Plain(198, 16, kClockLabel);
    if (RoundPhase == Playing) DrawClock();  // (the results board blinks it: DrawBoard)
    Plain(420, 16, kSwatsLabel);
    DrawNumber(460, 26, FliesSwatted, 4);
    Plain(528, 26, kSlash);
    DrawNumber(544, 26, TargetFlies, 4);

    if (RoundPhase == Recording || RoundPhase == ShowingResults || RoundPhase == AwaitingClick)
        DrawBoard();
    return 1;
}
