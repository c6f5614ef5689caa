#include "platform/win32/win32_process.h"

#include "platform/win32/win32_api.h"

#include <psapi.h>

#include <cstdio>

namespace {

bool Usable(DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

double Milliseconds(const FILETIME& t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10000.0;
}

}  // namespace

void Win32UseParentConsole() {
    // Output already redirected (a file, a pipe) stays where it goes.
    if (Usable(STD_OUTPUT_HANDLE) && Usable(STD_ERROR_HANDLE)) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!Usable(STD_OUTPUT_HANDLE)) std::freopen("CONOUT$", "w", stdout);
    if (!Usable(STD_ERROR_HANDLE)) std::freopen("CONOUT$", "w", stderr);
}

double Win32CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return Milliseconds(kernel) + Milliseconds(user);
}

long Win32PeakMemoryKb() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}
