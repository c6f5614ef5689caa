#include "platform/services/pad_cursor.h"

#include <cmath>

namespace {

constexpr long long kPixel = 65536;  // the carry's unit: 1/65536 of a pixel
constexpr int kFramesPerSecond = 60;
constexpr double kDpadStartShare = 0.1;

// Moves one axis by `delta` (1/65536 px) plus what the last frames left; returns whole
// pixels. A stop or a turn drops the carry, so it never pushes the cursor backwards.
int Advance(long long delta, long long* carry) {
    if (delta == 0 || (*carry != 0 && (*carry > 0) != (delta > 0))) *carry = 0;
    const long long total = *carry + delta;
    const long long whole = total / kPixel;  // towards zero, the rest keeps its sign
    *carry = total - whole * kPixel;
    return static_cast<int>(whole);
}

// Only a cursor that moves is kept on the screen: a pad at rest changes nothing.
int MoveWithin(int from, int move, int high, long long* carry) {
    if (move == 0) return from;
    const int v = from + move;
    if (v < 0 || v > high) *carry = 0;  // pressing against an edge builds up nothing
    return v < 0 ? 0 : (v > high ? high : v);
}

}  // namespace

double PadStickTilt(double x, double y, int deadZonePercent) {
    if (!std::isfinite(x) || !std::isfinite(y)) return 0;
    double m = std::hypot(x, y);
    if (m > 1) m = 1;
    const double dead = deadZonePercent / 100.0;
    if (m <= dead) return 0;
    return (m - dead) / (1 - dead);
}

CursorSpot StepPadCursor(const PadSettings& s, const PadAim& aim, CursorSpot from,
                         PadMotion* motion) {
    double vx = 0, vy = 0;  // pixels a second
    const double tilt = PadStickTilt(aim.x, aim.y, s.deadZone);
    if (tilt > 0) {
        const double m = std::hypot(aim.x, aim.y);
        vx = s.speed * tilt * aim.x / m;
        vy = s.speed * tilt * aim.y / m;
    }
    const int dx = (aim.right ? 1 : 0) - (aim.left ? 1 : 0);
    const int dy = (aim.down ? 1 : 0) - (aim.up ? 1 : 0);
    int stepX = 0, stepY = 0;
    if (dx != 0 || dy != 0) {
        if (motion->dpadFrames < kDpadRestFrames + kDpadRampFrames) ++motion->dpadFrames;
        if (motion->dpadFrames == 1) {
            stepX = dx;
            stepY = dy;
        } else if (motion->dpadFrames > kDpadRestFrames) {
            double share = kDpadStartShare + (1 - kDpadStartShare) *
                                                 (motion->dpadFrames - kDpadRestFrames) /
                                                 kDpadRampFrames;
            if (share > 1) share = 1;
            // A diagonal is as fast as a straight line.
            const double length = dx != 0 && dy != 0 ? std::sqrt(2.0) : 1.0;
            vx += s.speed * share * dx / length;
            vy += s.speed * share * dy / length;
        }
    } else {
        motion->dpadFrames = 0;
    }
    if (aim.precision) {
        vx = vx * s.precision / 100;
        vy = vy * s.precision / 100;
    }
    const long long fx = std::llround(vx * kPixel / kFramesPerSecond);
    const long long fy = std::llround(vy * kPixel / kFramesPerSecond);
    CursorSpot to;
    to.x = MoveWithin(from.x, stepX + Advance(fx, &motion->carryX), 639, &motion->carryX);
    to.y = MoveWithin(from.y, stepY + Advance(fy, &motion->carryY), 479, &motion->carryY);
    return to;
}
