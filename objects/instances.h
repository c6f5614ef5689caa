#pragma once

#include "objects/fly_swarm.h"
#include "objects/mark_list.h"
#include "objects/motion_list.h"

// The twenty containers of the game, built before the entry runs, in this order, and
// torn down in reverse order at exit.
extern FlySwarm Flies;
extern MarkList SwatMarks;
extern MarkList ResultBlink;
extern MotionList FallingBodies;
extern MotionList BouncingBodies;
extern MotionList DebrisA;
extern MotionList DebrisB;
extern MotionList TitleSign;
extern MotionList TitleLetters[12];  // letters 1..12 are TitleLetters[0..11]
