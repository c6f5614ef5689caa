#include "media/game_window.h"

HWND hWnd = nullptr;
