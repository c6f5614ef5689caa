#pragma once

#include "platform/stand_in/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, char* commandLine, int showCommand);
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the window class "TEST" and creates the game window (hWnd); 0 after a
// message box naming the failing call.
int CreateGameWindow(HINSTANCE instance);

// For tests, benchmarks and fuzzing: the headless platform, the game window and the
// display, without the main loop. 1 on success.
int StartHeadlessDisplay();

// One step of the scene state machine (the work of the current SceneState).
void RunSceneStep();
