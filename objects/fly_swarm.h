#pragma once

#include "objects/draw_pos.h"
#include "objects/pooled_list.h"

// One fly: position, heading and speed, and the wander target it steers toward.
struct FlyState {
    double x = 0, y = 0;
    double dirX = 0, dirY = 0;  // cosine and sine of the heading as last computed
    double heading = 0;         // degrees, 0 = +x, 90 = down the screen, kept in 0..359
    double speed = 0;           // pixels flown and degrees turned per update
    int targetX = 0, targetY = 0;
    int stepCounter = 0;    // updates since the target was last chosen
    int retargetAfter = 0;  // 4..11
};

// The flies. Each enters just outside a random screen edge and wanders toward random
// targets. Every random number comes from NextRandom, in a fixed order, so a seed
// replays a round exactly.
class FlySwarm : public PooledList<FlyState> {
public:
    FlySwarm(int capacity, int width, int height, int left, int top, int right, int bottom);

    // Spawns a fly; 1, or 0 when the swarm is full.
    int Add(double speed);
    // Moves every fly one step; returns the first record.
    DrawPos* Update();
    // Refreshes the records from the flies without moving them.
    DrawPos* Get();

    // For the verifier's forecast of what the random sequence deals: a new fly's place,
    // heading and target drawn as Add draws them, one fly's step as Update steps it, and
    // the live flies copied out, oldest first (at most `most`; the count copied).
    void Place(FlyState& fly, double speed) const;
    void Step(FlyState& fly) const;
    int CopyFlies(FlyState* out, int most);

private:
    int width, height;
    int left, top, right, bottom;
};
