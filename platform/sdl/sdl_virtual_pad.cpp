// The tester's gamepad (--virtual-pad FILE): SDL's virtual joystick, shaped as a game
// controller, steered by the lines another program appends to FILE while the game runs.
// The game reads it through the same controller events and state as a player's pad, so
// a window test plays a whole round through the pad path. Lines:
//   plug | unplug              the pad is plugged in or pulled out
//   stick X Y                  the left stick, -32768..32767 each
//   press NAME | release NAME  NAME: a b start rb up down left right
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/sdl_pad.h"
#include "platform/services/tester_file.h"

namespace {

std::FILE* g_file = nullptr;
char g_line[128];
std::size_t g_length = 0;
bool g_overlong = false;
long g_lineNumber = 0;
SDL_Joystick* g_pad = nullptr;

struct Name {
    const char* name;
    SDL_GameControllerButton button;
};
// clang-format off
constexpr Name kButtons[] = {
    {"a", SDL_CONTROLLER_BUTTON_A},
    {"b", SDL_CONTROLLER_BUTTON_B},
    {"start", SDL_CONTROLLER_BUTTON_START},
    {"rb", SDL_CONTROLLER_BUTTON_RIGHTSHOULDER},
    {"up", SDL_CONTROLLER_BUTTON_DPAD_UP},
    {"down", SDL_CONTROLLER_BUTTON_DPAD_DOWN},
    {"left", SDL_CONTROLLER_BUTTON_DPAD_LEFT},
    {"right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
};
// clang-format on

void Plug() {
    if (g_pad) return;
    // A virtual joystick of the game-controller type gets SDL's own mapping: its axes
    // and buttons in SDL's controller order.
    const int index = SDL_JoystickAttachVirtual(
        SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
    if (index >= 0) g_pad = SDL_JoystickOpen(index);
    if (!g_pad) std::fprintf(stderr, "zumble: virtual pad: %s\n", SDL_GetError());
}

void Unplug() {
    if (!g_pad) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(g_pad);
    SDL_JoystickClose(g_pad);
    g_pad = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) {
            SDL_JoystickDetachVirtual(i);
            break;
        }
    }
}

bool Coordinate(const char* text, Sint16* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || v < -32768 || v > 32767) return false;
    *out = static_cast<Sint16>(v);
    return true;
}

bool Apply(char* line) {
    const char* verb = std::strtok(line, " \t\r");
    const char* a = std::strtok(nullptr, " \t\r");
    const char* b = std::strtok(nullptr, " \t\r");
    if (!verb || verb[0] == '#') return true;
    if (std::strtok(nullptr, " \t\r")) return false;  // no verb takes three words
    if (std::strcmp(verb, "plug") == 0 && !a) {
        Plug();
        return true;
    }
    if (std::strcmp(verb, "unplug") == 0 && !a) {
        Unplug();
        return true;
    }
    if (!g_pad) return false;  // steering a pad that is not plugged in
    if (std::strcmp(verb, "stick") == 0 && a && b) {
        Sint16 x = 0, y = 0;
        if (!Coordinate(a, &x) || !Coordinate(b, &y)) return false;
        SDL_JoystickSetVirtualAxis(g_pad, SDL_CONTROLLER_AXIS_LEFTX, x);
        SDL_JoystickSetVirtualAxis(g_pad, SDL_CONTROLLER_AXIS_LEFTY, y);
        return true;
    }
    const bool press = std::strcmp(verb, "press") == 0;
    if ((press || std::strcmp(verb, "release") == 0) && a && !b) {
        for (const Name& n : kButtons) {
            if (std::strcmp(a, n.name) != 0) continue;
            SDL_JoystickSetVirtualButton(g_pad, n.button, press ? 1 : 0);
            return true;
        }
    }
    return false;
}

}  // namespace

bool SdlVirtualPadStart(const char* path) {
    g_file = OpenTesterFile(path, "rb");
    if (!g_file) {
        std::fprintf(stderr, "zumble: cannot read the virtual pad's file '%s'\n", path);
        return false;
    }
    return true;
}

void SdlVirtualPadStop() {
    Unplug();
    if (g_file) std::fclose(g_file);
    g_file = nullptr;
}

void SdlVirtualPadPump() {
    if (!g_file) return;
    int c;
    while ((c = std::fgetc(g_file)) != EOF) {
        if (c != '\n') {
            if (g_length + 1 < sizeof g_line)
                g_line[g_length++] = static_cast<char>(c);
            else
                g_overlong = true;
            continue;
        }
        g_line[g_length] = '\0';
        ++g_lineNumber;
        char told[sizeof g_line];
        std::memcpy(told, g_line, g_length + 1);
        if (g_overlong || !Apply(g_line))
            std::fprintf(stderr, "zumble: virtual pad line %ld: cannot apply '%s'\n", g_lineNumber,
                         told);
        g_length = 0;
        g_overlong = false;
    }
    // The writer goes on appending: read on from here at the next pump.
    std::clearerr(g_file);
}
