#pragma once
// The shell's program-wide variables, shared with the scenes.

#include "platform/core/win32.h"

// Scene states of the state machine.
enum : int {
    STATE_START = 0,
    STATE_TITLE_ENTER = 1,
    STATE_TITLE_FRAME = 2,
    STATE_TITLE_LEAVE = 3,
    STATE_MODE_ENTER = 4,
    STATE_MODE_FRAME = 5,
    STATE_MODE_LEAVE = 6,
    STATE_PLAY_ENTER = 7,
    STATE_PLAY_FRAME = 8,
    STATE_PLAY_LEAVE = 9,
    STATE_QUIT = 13,
};

extern int SceneState;
extern int NextState;
extern int SpawnDivisor;
extern int MouseDown;
extern int FlyCountSetting;
extern int SpeedSetting;

extern HINSTANCE hInst;
extern HWND hWnd;
