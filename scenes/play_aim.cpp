#include "scenes/play_aim.h"

#include "objects/instances.h"

namespace {

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The cursor range whose hot spot (cursor + 8) falls in a fly's swat box, cut to the
// screen; false when no cursor on the screen reaches the fly.
bool Reach(int flyPos, int screenSize, int* aim) {
    int lo = flyPos - 24 > 0 ? flyPos - 24 : 0;
    int hi = flyPos + 26 < screenSize - 1 ? flyPos + 26 : screenSize - 1;
    if (lo > hi) return false;
    // The middle of the box leaves the most room for the step the fly takes before the
    // click is handled.
    *aim = Clamp(flyPos + 1, lo, hi);
    return true;
}

}  // namespace

bool AutoplayAimAt(int flyX, int flyY, int* x, int* y) {
    return Reach(flyX, kScreenW, x) && Reach(flyY, kScreenH, y);
}

bool AutoplayAim(int* x, int* y) {
    // The oldest fly that a cursor on the screen can hit.
    for (DrawPos* p = Flies.Get(); !IsEnd(p); p = p->next)
        if (AutoplayAimAt(p->x, p->y, x, y)) return true;
    return false;
}
