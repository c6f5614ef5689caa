#include "scenes/scene_globals.h"

int NextState = 0;
int SpawnDivisor = 0;
int MouseDown = 0;
int FlyCountSetting = 1;
int SpeedSetting = 1;
