#pragma once
// Inside the platform: what the SDL2 backend offers the Windows stand-in. In headless
// mode none of these is called.

#include <cstdint>

#include "platform/win32.h"

struct PALETTEENTRY;

bool SdlStart();                         // video and events; false when no display
bool SdlHasVideo();
bool SdlCreateWindow(const char* title);  // the one game window
void SdlDestroyWindow();
void SdlShutdown();
void SdlPumpEvents();                    // turns SDL events into window messages
void SdlPresent(const std::uint8_t* pixels, const PALETTEENTRY* palette);
void SdlShowCursor(bool show);
void SdlMessageBox(const char* text, const char* caption);
DWORD SdlTicks();
