#include "objects/fly_swarm.h"

#include "media/random.h"
#include "objects/sine_cosine.h"

namespace {

// The game has always turned degrees into radians with this factor; flies would drift
// from recorded rounds with the exact value.
constexpr double kRadiansPerDegree = 0.017453;
constexpr int kSpawnMargin = 32;

void Aim(FlyState& fly, double radians) {
    // The game's own sine and cosine, so that a round flies the same on every platform.
    SineCosine(radians, &fly.dirY, &fly.dirX);
}

void Draw(const FlyState& fly, DrawPos& record) {
    record.x = static_cast<int>(fly.x);
    record.y = static_cast<int>(fly.y);
}

}  // namespace

FlySwarm::FlySwarm(int capacity, int width, int height, int left, int top, int right, int bottom)
    : PooledList<FlyState>(capacity),
      // A zero-sized screen would leave the random coordinates without a range.
      width(width > 0 ? width : 1),
      height(height > 0 ? height : 1),
      left(left),
      top(top),
      right(right),
      bottom(bottom) {}

int FlySwarm::Add(double speed) {
    DrawPos* record = nullptr;
    Node* node = Take(&record);
    if (node == nullptr) return 0;
    Place(node->data, speed);
    Draw(node->data, *record);
    return 1;
}

void FlySwarm::Place(FlyState& fly, double speed) const {
    // The order of these draws is part of the game: do not reorder.
    switch (NextRandom() % 4) {
    case 0:
        fly.x = NextRandom() % width;
        fly.y = top - kSpawnMargin;
        break;
    case 1:
        fly.x = NextRandom() % width;
        fly.y = bottom + kSpawnMargin;
        break;
    case 2:
        fly.x = left - kSpawnMargin;
        fly.y = NextRandom() % height;
        break;
    default:
        fly.x = right + kSpawnMargin;
        fly.y = NextRandom() % height;
        break;
    }
    fly.targetX = NextRandom() % width;
    fly.targetY = NextRandom() % height;
    fly.heading = NextRandom() % 360;
    fly.stepCounter = 0;
    fly.speed = speed;
    fly.retargetAfter = NextRandom() % 8 + 4;
    Aim(fly, fly.heading * kRadiansPerDegree);
}

void FlySwarm::Step(FlyState& fly) const {
    if (fly.stepCounter > fly.retargetAfter) {
        fly.targetX = NextRandom() % width;
        fly.targetY = NextRandom() % height;
        fly.stepCounter = 0;
        fly.retargetAfter = NextRandom() % 8 + 4;
    }
    // Steer for the diagonal of the target's quadrant, not the target itself.
    const bool right = fly.targetX > fly.x;
    const bool below = fly.targetY > fly.y;
    const int aim = right ? (below ? 45 : 315) : (below ? 135 : 225);
    const int low = aim % 180;
    const bool inHalfTurn = fly.heading >= low && fly.heading < low + 180;
    // Turning down while in the half-turn that begins at the aim closes on it.
    const bool decrease = (aim < 180) == inHalfTurn;
    fly.heading += decrease ? -fly.speed : fly.speed;
    // The heading snaps rather than wraps, and tops out at 359.
    if (fly.heading >= 359) fly.heading = 0;
    if (fly.heading < 0) fly.heading = 359;
    ++fly.stepCounter;
    Aim(fly, fly.heading * kRadiansPerDegree);
    fly.x += fly.dirX * fly.speed;
    fly.y += fly.dirY * fly.speed;
}

DrawPos* FlySwarm::Update() {
    return ForEach([this](FlyState& fly, DrawPos& record) {
        Step(fly);
        Draw(fly, record);
    });
}

DrawPos* FlySwarm::Get() {
    return ForEach([](FlyState& fly, DrawPos& record) { Draw(fly, record); });
}

int FlySwarm::CopyFlies(FlyState* out, int most) {
    int n = 0;
    ForEach([&](FlyState& fly, DrawPos&) {
        if (n < most) out[n++] = fly;
    });
    return n;
}
