#include "platform/win32/win32_pacing.h"

#include "platform/win32/win32_api.h"
#include <mmsystem.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

HANDLE g_timer = nullptr;
bool g_timerTried = false;
bool g_coarseTimer = false;  // an old system's timer: ask for 1 ms scheduling
LARGE_INTEGER g_frequency = {};
long long g_next = 0;        // performance-counter time of the next slot

long long Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void MakeTimer() {
    g_timerTried = true;
    QueryPerformanceFrequency(&g_frequency);
    // Windows 10 (1803) and later have a timer that wakes to a fraction of a
    // millisecond; older ones wake on the scheduler's tick, which 1 ms periods refine.
    g_timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                     TIMER_ALL_ACCESS);
    if (!g_timer) {
        g_timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
        g_coarseTimer = true;
        timeBeginPeriod(1);
    }
}

}  // namespace

void Win32WaitForFrame() {
    if (!g_timerTried) MakeTimer();
    const long long period = g_frequency.QuadPart / 60;
    const long long now = Now();
    // The first frame, or after a long stall (a dragged window, a debugger): a new schedule.
    // A few frames late, the next ones come sooner and the game keeps its 60 per second.
    if (g_next == 0 || now - g_next > 4 * period) g_next = now;
    g_next += period;
    const long long wait = g_next - now;
    if (wait <= 0) return;
    // The timer counts in 100 ns units; a negative time is relative to now.
    LARGE_INTEGER due;
    due.QuadPart = -(wait * 10000000 / g_frequency.QuadPart);
    if (g_timer && due.QuadPart < 0 && SetWaitableTimer(g_timer, &due, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(g_timer, INFINITE);
    else
        Sleep(static_cast<DWORD>(wait * 1000 / g_frequency.QuadPart));
}

void Win32StopPacing() {
    if (g_timer) CloseHandle(g_timer);
    if (g_coarseTimer) timeEndPeriod(1);
    g_timer = nullptr;
    g_timerTried = false;
    g_coarseTimer = false;
    g_next = 0;
}
