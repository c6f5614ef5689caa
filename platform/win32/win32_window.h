#pragma once
// The Win32 backend's window side: the real window, its picture and its input. Only
// standard types cross this header, because the other side (win32_backend.cpp) sees the
// stand-in's Windows names and this side (win32_window.cpp) the system's.

#include <cstdint>

// Input for the game, as the game's window messages (the same numbers as Windows').
using Win32PostMessage = void (*)(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
// Ends the game and the process before returning, when Windows ends the session.
using Win32EndSession = void (*)();

// Registers the window class; false when Windows has no desktop for it.
bool Win32WindowStart(Win32PostMessage post, Win32EndSession endSession);
void Win32WindowShutdown();
// The game window: full screen as a borderless window over its monitor, or a window
// whose picture is scaled by `scale` (0: `savedScale`, the one the player left, where it
// fits; else the largest whole factor that fits). How it ends is kept for the next start.
bool Win32CreateWindow(const char* title, bool fullscreen, int scale, int savedScale);
void Win32DestroyWindow();
// Turns the window's pending messages into the game's.
void Win32PumpMessages();
// Shows the 640x480 8-bit picture through its palette (256 entries of red, green, blue,
// flags), scaled by the largest whole factor that fits, letterboxed in black.
void Win32Present(const std::uint8_t* pixels, const std::uint8_t* palette);
// Hides the cursor over the picture (the game's SetCursor(NULL)) or shows it again.
void Win32ShowCursor(bool show);
void Win32MessageBox(const char* text, const char* caption);
