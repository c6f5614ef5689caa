// A tester's XInput for pad_wine.sh: an xinput1_4.dll whose one controller (user 0) is
// steered by the lines another program appends to the file named by ZUMBLE_TEST_PAD
// (default pad.txt), in the format of the desktop game's --virtual-pad: plug, unplug,
// "stick X Y" (-32768..32767, y down), "press NAME", "release NAME" (a b start rb up down
// left right). Built beside the Windows programs for the tests only, never packed.
#include <windows.h>

#include <xinput.h>

#include <cstdlib>
#include <cstring>

namespace {

HANDLE g_file = INVALID_HANDLE_VALUE;
char g_line[128];
std::size_t g_length = 0;
bool g_plugged = false;
XINPUT_STATE g_state = {};

struct Name {
    const char* name;
    WORD bit;
};
// clang-format off
constexpr Name kButtons[] = {
    {"a", XINPUT_GAMEPAD_A},           {"b", XINPUT_GAMEPAD_B},
    {"start", XINPUT_GAMEPAD_START},   {"rb", XINPUT_GAMEPAD_RIGHT_SHOULDER},
    {"up", XINPUT_GAMEPAD_DPAD_UP},    {"down", XINPUT_GAMEPAD_DPAD_DOWN},
    {"left", XINPUT_GAMEPAD_DPAD_LEFT}, {"right", XINPUT_GAMEPAD_DPAD_RIGHT},
};
// clang-format on

SHORT Axis(long v) { return static_cast<SHORT>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

void Apply(char* line) {
    const char* verb = std::strtok(line, " \t\r");
    const char* a = std::strtok(nullptr, " \t\r");
    const char* b = std::strtok(nullptr, " \t\r");
    if (!verb) return;
    ++g_state.dwPacketNumber;
    if (std::strcmp(verb, "plug") == 0) {
        g_plugged = true;
    } else if (std::strcmp(verb, "unplug") == 0) {
        g_plugged = false;
        g_state.Gamepad = XINPUT_GAMEPAD{};
    } else if (std::strcmp(verb, "stick") == 0 && a && b) {
        g_state.Gamepad.sThumbLX = Axis(std::strtol(a, nullptr, 10));
        g_state.Gamepad.sThumbLY = Axis(-std::strtol(b, nullptr, 10));  // XInput's y points up
    } else if ((std::strcmp(verb, "press") == 0 || std::strcmp(verb, "release") == 0) && a) {
        for (const Name& n : kButtons) {
            if (std::strcmp(a, n.name) != 0) continue;
            if (verb[0] == 'p')
                g_state.Gamepad.wButtons |= n.bit;
            else
                g_state.Gamepad.wButtons &= static_cast<WORD>(~n.bit);
        }
    }
}

// The C runtime's files may keep their end once reached: the system's own reads see
// what was appended since.
void ReadNewLines() {
    if (g_file == INVALID_HANDLE_VALUE) {
        const char* path = std::getenv("ZUMBLE_TEST_PAD");
        g_file = CreateFileA(path && *path ? path : "pad.txt", GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (g_file == INVALID_HANDLE_VALUE) return;
    }
    char chunk[256];
    DWORD got = 0;
    while (ReadFile(g_file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                if (g_length + 1 < sizeof g_line) g_line[g_length++] = chunk[i];
                continue;
            }
            g_line[g_length] = '\0';
            Apply(g_line);
            g_length = 0;
        }
    }
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI XInputGetState(DWORD user, XINPUT_STATE* state) {
    if (!state) return ERROR_BAD_ARGUMENTS;
    ReadNewLines();
    if (user != 0 || !g_plugged) return ERROR_DEVICE_NOT_CONNECTED;
    *state = g_state;
    return ERROR_SUCCESS;
}
