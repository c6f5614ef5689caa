#pragma once

#include "platform/win32.h"

int WinMain(HINSTANCE instance, HINSTANCE previous, char* commandLine, int showCommand);
LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// One step of the scene state machine (the work of the current SceneState).
void RunSceneStep();
