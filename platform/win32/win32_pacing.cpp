#include "platform/win32/win32_pacing.h"

#include "platform/win32/win32_api.h"

#include <mmsystem.h>

#include "platform/services/frame_pacer.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

HANDLE g_timer = nullptr;
bool g_timerTried = false;
bool g_coarseTimer = false;  // an old system's timer: ask for 1 ms scheduling
LARGE_INTEGER g_frequency = {};
LARGE_INTEGER g_origin = {};
FramePacer g_pacer;
long long g_frameTick = -1;

long long NowUs() {
    if (g_frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&g_frequency);
        QueryPerformanceCounter(&g_origin);
    }
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    const long long ticks = t.QuadPart - g_origin.QuadPart;
    // Whole seconds and the rest apart: ticks * 10^6 would overflow after some days.
    return ticks / g_frequency.QuadPart * 1000000 +
           ticks % g_frequency.QuadPart * 1000000 / g_frequency.QuadPart;
}

void MakeTimer() {
    g_timerTried = true;
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

void SleepUntilUs(long long due) {
    // A timer may wake a little early: wait again for what is left.
    for (long long now = NowUs(); now < due; now = NowUs()) {
        const long long wait = due - now;
        // The timer counts in 100 ns units; a negative time is relative to now.
        LARGE_INTEGER relative;
        relative.QuadPart = -(wait * 10);
        if (g_timer && SetWaitableTimer(g_timer, &relative, 0, nullptr, nullptr, FALSE))
            WaitForSingleObject(g_timer, INFINITE);
        else
            Sleep(static_cast<DWORD>((wait + 999) / 1000));
    }
}

}  // namespace

void Win32WaitForFrame() {
    if (!g_timerTried) MakeTimer();
    const long long slot = FramePacerNextSlot(g_pacer);
    if (slot > NowUs()) SleepUntilUs(slot);
    g_frameTick = FramePacerShown(&g_pacer, NowUs());
}

std::uint32_t Win32PacedTicks() {
    return static_cast<std::uint32_t>(g_frameTick >= 0 ? g_frameTick : NowUs() / 1000);
}

void Win32StopPacing() {
    if (g_timer) CloseHandle(g_timer);
    if (g_coarseTimer) timeEndPeriod(1);
    g_timer = nullptr;
    g_timerTried = false;
    g_coarseTimer = false;
    g_pacer = FramePacer();
}
