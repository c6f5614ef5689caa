#include "shell/globals.h"

int SceneState = STATE_START;
int NextState = 0;
int SpawnDivisor = 0;
int MouseDown = 0;
int FlyCountSetting = 1;
int SpeedSetting = 1;

HINSTANCE hInst = nullptr;
HWND hWnd = nullptr;
