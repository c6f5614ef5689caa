#pragma once

#include "objects/draw_pos.h"
#include "objects/pooled_list.h"

// What a caller gives to add a body: position, velocity, constant acceleration.
// A held body keeps its place while its animation runs.
struct Body {
    double x = 0, y = 0;
    double vx = 0, vy = 0;
    double ax = 0, ay = 0;
    int held = 0;
};

// A live body: the added Body plus its animation counters.
struct BodyState {
    Body body;
    int frame = 0;
    int tick = 0;  // updates counted within the current frame
    int finished = 0;
};

// Bodies under constant acceleration with a frame animation shared by the whole list:
// swatted flies, their bounce, debris, the title sign and letters. A body's motion
// is changed only by removing it and adding a new one.
class MotionList : public PooledList<BodyState> {
public:
    // loop 1 restarts the animation at frame 0; anything else finishes it.
    MotionList(int frames, int ticksPerFrame, int loop, int capacity);

    // 1, or 0 when the list is full.
    int Add(const Body& body);
    // Moves and animates every body one step; returns the first record.
    DrawPos* Update();
    // Refreshes the records from the bodies without advancing them.
    DrawPos* Get();

private:
    void Step(BodyState& state) const;

    int frames;
    int ticksPerFrame;
    int loop;
};
