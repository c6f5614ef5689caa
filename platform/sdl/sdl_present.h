#pragma once
// The SDL backend's picture. Two paths: SDL's renderer where a GPU scales for free, or,
// where the renderer would run on the CPU anyway (SDL's software renderer, GL on a
// software rasteriser), the frame looked up and enlarged in one pass straight into the
// window's own pixels. The path is chosen when the window opens and again when its size
// or display changes; ZUMBLE_PRESENT=renderer|surface forces one. Where the renderer runs
// on a display refreshing at a whole multiple of 60 Hz, vsync paces the game, so each
// frame is shown whole; elsewhere the 1/60 s timer does.

#include <SDL.h>

#include <cstdint>

struct PALETTEENTRY;

// Sets the picture up in `window` (created hidden, so the choice made here never shows).
// False, with a message on stderr, when neither path can draw in it.
bool SdlPresentOpen(SDL_Window* window);
void SdlPresentClose();
// Shows a black window (once it is shown, before the game's first frame).
void SdlPresentBlank();
void SdlPresentFrame(const std::uint8_t* pixels, const PALETTEENTRY* palette);

// A window event: a new size or display chooses again; an exposure shows the whole
// window again at the next frame.
void SdlPresentWindowEvent(const SDL_WindowEvent& event);
// SDL lost the render device or its targets: the texture is made again.
void SdlPresentRenderReset();
// The window was exposed again or switched between window and full screen: vsync, if
// given up, is tried again.
void SdlPresentPacingMayHaveChanged();
// The game position under a mouse event's window position (not clamped).
void SdlPresentMouseToGame(int x, int y, int* gx, int* gy);
// Waits until the next game frame is due: the display's refreshes where vsync paces the
// game (the frame shown again for each further refresh), the 1/60 s timer otherwise.
void SdlPresentWaitForFrame();
