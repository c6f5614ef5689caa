#pragma once

#include "objects/draw_pos.h"
#include "objects/pooled_list.h"

// A mark stays where it was put; only its animation advances.
struct MarkState {
    int x = 0, y = 0;
    int frame = 0;
    int tick = 0;  // updates counted within the current frame
    int finished = 0;
};

// Animations in place: swat marks and the blinking results object. The frame count,
// updates per frame and looping are shared by the whole list.
class MarkList : public PooledList<MarkState> {
public:
    // loop 1 restarts the animation at frame 0; anything else finishes it.
    MarkList(int frames, int ticksPerFrame, int loop, int capacity);

    // 1, or 0 when the list is full. The record is written at once.
    int Add(int x, int y);
    // Animates every mark one step; returns the first record.
    DrawPos* Update();
    // Refreshes the records' frame and finished fields without advancing.
    DrawPos* Get();

private:
    void Step(MarkState& mark) const;

    int frames;
    int ticksPerFrame;
    int loop;
};
