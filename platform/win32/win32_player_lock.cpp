// The player's files on Windows: a lock (LockFileEx) on hiscoa.sav.lock beside hiscoa.sav.
// Windows lets go of it when the process ends, however it ends, so a crashed copy never
// keeps the others out.
#include "platform/win32/win32_api.h"

#include <io.h>

#include <cstdio>

#include "platform/services/files.h"
#include "platform/services/player_lock.h"

namespace {

constexpr const char* kLockName = "hiscoa.sav.lock";
// Long enough for another copy's save on a slow disk, short enough that a stopped one
// only delays this one.
constexpr int kWaitMs = 5000;
constexpr int kStepMs = 10;

std::FILE* g_file = nullptr;
int g_depth = 0;

HANDLE Handle(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

}  // namespace

void LockPlayerFiles() {
    if (g_depth++ > 0) return;
    // Opened as every file the game opens, so that other copies may open it too.
    std::FILE* file = OpenGamePath(kLockName, "ab");
    if (!file) return;
    // Asked again every few milliseconds rather than waited on, so the wait has an end.
    for (int waited = 0; waited <= kWaitMs; waited += kStepMs) {
        OVERLAPPED at = {};
        if (LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &at)) {
            g_file = file;
            return;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION) break;
        Sleep(kStepMs);
    }
    std::fclose(file);
}

void UnlockPlayerFiles() {
    if (g_depth == 0 || --g_depth > 0) return;
    if (!g_file) return;
    OVERLAPPED at = {};
    UnlockFileEx(Handle(g_file), 0, 1, 0, &at);
    std::fclose(g_file);
    g_file = nullptr;
}
