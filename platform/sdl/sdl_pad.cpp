// Any controller SDL has a mapping for plays the same way: SDL names its buttons by
// place (A is the bottom face button, whatever the pad prints on it).
#include "platform/sdl/sdl_pad.h"

#include <SDL.h>

#include <cstdio>

#include "platform/stand_in/pad_input.h"

namespace {

constexpr int kMaxPads = 8;
SDL_GameController* g_pads[kMaxPads] = {};
bool g_started = false;

double Axis(SDL_GameController* pad, SDL_GameControllerAxis axis) {
    const int v = SDL_GameControllerGetAxis(pad, axis);
    return v < 0 ? v / 32768.0 : v / 32767.0;
}

bool Held(SDL_GameController* pad, SDL_GameControllerButton button) {
    return SDL_GameControllerGetButton(pad, button) != 0;
}

SDL_JoystickID Id(SDL_GameController* pad) {
    return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad));
}

}  // namespace

void SdlPadStart() {
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "zumble: gamepads cannot be used: %s\n", SDL_GetError());
        return;
    }
    // Controllers already plugged in arrive as SDL_CONTROLLERDEVICEADDED events.
    g_started = true;
}

void SdlPadStop() {
    if (!g_started) return;
    for (SDL_GameController*& pad : g_pads) {
        if (pad) SDL_GameControllerClose(pad);
        pad = nullptr;
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    g_started = false;
}

void SdlPadDeviceEvent(const SDL_Event& e) {
    if (!g_started) return;
    if (e.type == SDL_CONTROLLERDEVICEADDED) {
        // Added carries the device's index; SDL may announce a pad more than once.
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(e.cdevice.which);
        for (SDL_GameController* pad : g_pads)
            if (pad && Id(pad) == id) return;
        for (SDL_GameController*& pad : g_pads) {
            if (pad) continue;
            pad = SDL_GameControllerOpen(e.cdevice.which);
            if (!pad) std::fprintf(stderr, "zumble: cannot open the gamepad: %s\n", SDL_GetError());
            return;
        }
    } else if (e.type == SDL_CONTROLLERDEVICEREMOVED) {
        // Removed carries the instance id. A pad pulled out with A held lets go of the
        // button at the next pump, as the combined state no longer holds it.
        for (SDL_GameController*& pad : g_pads) {
            if (pad && Id(pad) == e.cdevice.which) {
                SDL_GameControllerClose(pad);
                pad = nullptr;
            }
        }
    }
}

void SdlPadPump() {
    if (!g_started) return;
    PadState all;
    // A pad steers the game only while its window has the focus, as the keys do; a stick
    // held as the focus goes must not go on moving the cursor.
    const bool focused = SDL_GetKeyboardFocus() != nullptr;
    for (SDL_GameController* pad : g_pads) {
        if (!pad || !focused) continue;
        PadState one;
        one.aim.x = Axis(pad, SDL_CONTROLLER_AXIS_LEFTX);
        one.aim.y = Axis(pad, SDL_CONTROLLER_AXIS_LEFTY);
        one.aim.up = Held(pad, SDL_CONTROLLER_BUTTON_DPAD_UP);
        one.aim.down = Held(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
        one.aim.left = Held(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
        one.aim.right = Held(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
        one.aim.precision = Held(pad, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER);
        one.click = Held(pad, SDL_CONTROLLER_BUTTON_A);
        one.escape = Held(pad, SDL_CONTROLLER_BUTTON_B);
        one.enter = Held(pad, SDL_CONTROLLER_BUTTON_START);
        CombinePad(&all, one);
    }
    PadPump(all);
}
