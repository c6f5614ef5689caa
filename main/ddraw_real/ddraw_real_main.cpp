// zumble-ddraw.exe: the process entry. The game runs on the system's own window,
// DirectDraw and DirectSound, full screen in 640x480 with 256 colours, as it was made
// to; of the port's options it takes those that need no stand-in.
#include "platform/win32/win32_api.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/services/files.h"
#include "platform/services/options.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/runtime.h"
#include "platform/win32/win32_arguments.h"
#include "shell/trace.h"
#include "shell/winmain.h"

namespace {

// The options that only the stand-in can serve; empty when there is none.
const char* UnservedOption(const Options& o) {
    if (!o.verify.empty()) return "--verify";
    if (!o.replay.empty()) return "--replay";
    if (o.headless) return "--headless";
    if (o.window) return "--window";
    if (o.scale) return "--scale";
    if (!o.soundLog.empty()) return "--sound-log";
    if (o.timedemo) return "--timedemo";
    // The gamepad is zumble.exe's.
    if (o.padSpeedGiven) return "--pad-speed";
    if (o.padDeadZoneGiven) return "--pad-dead-zone";
    if (o.padPrecisionGiven) return "--pad-precision";
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> text;
    std::vector<char*> utf8;
    if (Win32Utf8Arguments(&text, &utf8)) {
        argc = static_cast<int>(text.size());
        argv = utf8.data();
    }
    std::string error;
    const int parsed = ParseOptions(argc, argv, &g_Options, &error);
    // Bad input ends the process before the game's statics write anything at exit.
    if (parsed == 1) {
        std::fflush(stdout);
        std::_Exit(0);
    }
    if (parsed == 0 && !g_Options.virtualPad.empty()) {
        error = "--virtual-pad is the Linux game's (SDL's virtual joystick)";
    } else if (parsed == 0 && UnservedOption(g_Options)) {
        error = std::string(UnservedOption(g_Options)) +
                " needs zumble.exe; zumble-ddraw.exe runs the game full screen only";
    }
    if (parsed == 2 || !error.empty()) {
        std::fprintf(stderr, "zumble-ddraw: %s\n", error.c_str());
        std::_Exit(2);
    }
    // The screen's real pixels: Windows would otherwise give a game on a screen set to
    // more than 100 % scaled sizes and scale its window again.
    SetProcessDPIAware();
    if (!PlatformInit()) std::_Exit(2);
    // The trace is named from where the player started the game, even when the game then
    // moves to the folder that holds its data.
    if (!g_Options.trace.empty()) g_Options.trace = AbsoluteTesterPath(g_Options.trace);
    FindGameData();
    if (!g_Options.trace.empty() && !StartTrace(g_Options.trace.c_str())) {
        std::fprintf(stderr, "zumble-ddraw: cannot write the trace file '%s'\n",
                     g_Options.trace.c_str());
        std::_Exit(2);
    }
    const int code = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT);
    StopTrace();
    PlatformShutdown();
    return code;
}
