#pragma once
// The 640x480 8-bit display, its palette and the sprite surface that holds the current
// scene's bitmap.

#include "platform/stand_in/ddraw.h"

extern LPDIRECTDRAW lpDD;
extern LPDIRECTDRAWSURFACE lpFRONTSURFACE;
extern LPDIRECTDRAWSURFACE lpBACKSURFACE;
extern LPDIRECTDRAWPALETTE lpPALETTE;
extern LPDIRECTDRAWSURFACE lpSPRITESURFACE;

int InitDisplay();
int LoadSceneBitmap(const char* path, unsigned int colorKey);
void RestoreDisplay();
void ReleaseDisplay();

// Fills the whole back buffer with one palette index (the clear on leave).
HRESULT ClearBackBuffer(BYTE index);
// Shows the back buffer: flip with wait, which paces the game.
HRESULT PresentFrame();
