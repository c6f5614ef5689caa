#pragma once
// The desktop's gamepads: SDL's game controllers, plugged in and out while the game runs,
// read into the portable pad input (platform/stand_in/pad_input.h) at every input pump.

union SDL_Event;

// Opens SDL's game controller support; without it the game plays on with the mouse.
void SdlPadStart();
void SdlPadStop();
// A controller plugged in or pulled out (SDL_CONTROLLERDEVICEADDED / REMOVED).
void SdlPadDeviceEvent(const SDL_Event& event);
// Every open controller's stick and buttons, combined, to the pad input.
void SdlPadPump();

// The tester's virtual gamepad (--virtual-pad FILE, platform/sdl/sdl_virtual_pad.cpp).
// Start opens FILE; false, with a message, when it cannot. Pump applies the lines
// written to FILE since the last pump, before SDL's events are read.
bool SdlVirtualPadStart(const char* path);
void SdlVirtualPadStop();
void SdlVirtualPadPump();
