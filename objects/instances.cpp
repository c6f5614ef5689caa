#include "objects/instances.h"

// One translation unit fixes the order of construction (the order below) and so the
// reverse order of destruction. Priority 200 comes after the error log (101), which is
// therefore destroyed, and written, after every container is gone.
#define ZUMBLE_OBJECTS __attribute__((init_priority(200)))

ZUMBLE_OBJECTS FlySwarm Flies(1000, 640, 480, 0, 0, 639, 479);
ZUMBLE_OBJECTS MarkList SwatMarks(3, 150, 0, 100);
ZUMBLE_OBJECTS MarkList ResultBlink(2, 30, 1, 1);
ZUMBLE_OBJECTS MotionList FallingBodies(0, 0, 0, 100);
ZUMBLE_OBJECTS MotionList BouncingBodies(0, 0, 0, 100);
ZUMBLE_OBJECTS MotionList DebrisA(1, 2, 0, 40);
ZUMBLE_OBJECTS MotionList DebrisB(1, 2, 0, 40);
ZUMBLE_OBJECTS MotionList TitleSign(1, 100, 1, 100);
ZUMBLE_OBJECTS MotionList TitleLetters[12] = {
    {1, 1000, 1, 100}, {1, 1000, 1, 100}, {1, 1000, 1, 100}, {1, 1000, 1, 100},
    {1, 1000, 1, 100}, {1, 1000, 1, 100}, {1, 1000, 1, 100}, {1, 1000, 1, 100},
    {1, 1000, 1, 100}, {1, 1000, 1, 100}, {1, 1000, 1, 100}, {1, 1000, 1, 100},
};

#undef ZUMBLE_OBJECTS
