// zumble.exe: the process entry. The shared run, with the console of the command prompt
// that started it, if any, for the options' and the timedemo's output.

#include "platform/services/process_usage.h"
#include "platform/win32/win32_arguments.h"
#include "platform/win32/win32_backend.h"
#include "platform/win32/win32_process.h"
#include "shell/driver/game_run.h"

bool ProcessUsage(long* peakKb, double* cpuMs) {
    *peakKb = Win32PeakMemoryKb();
    *cpuMs = Win32CpuMilliseconds();
    return true;
}

int main(int argc, char** argv) {
    Win32UseParentConsole();
    std::vector<std::string> text;
    std::vector<char*> utf8;
    if (Win32Utf8Arguments(&text, &utf8)) {
        argc = static_cast<int>(text.size());
        argv = utf8.data();
    }
    // Windows ending the session ends the game as its close button would (the backend
    // cannot include the run it serves).
    Win32SetEndSession(EndRunAtOnce);
    const int early = PrepareRun(argc, argv);
    if (early >= 0) EndBeforeRun(early);
    return PlayRun();
}
