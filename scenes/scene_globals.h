#pragma once
// The program-wide variables that the scenes read and set with the shell: the state a
// leave state jumps to, the spawn divisor, the left button, the mode's settings; and,
// from the display's floor, the state machine's state itself.

#include "media/scene_state.h"

extern int NextState;
extern int SpawnDivisor;
extern int MouseDown;
extern int FlyCountSetting;
extern int SpeedSetting;
