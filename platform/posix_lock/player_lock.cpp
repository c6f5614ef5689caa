// The player's files on a POSIX desktop: an advisory lock (flock) on hiscoa.sav.lock
// beside hiscoa.sav. The system lets go of it when the process ends, however it ends, so
// a crashed copy never keeps the others out. (The page has its own: platform/web/.)
#include "platform/services/player_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "platform/posix/game_paths.h"

namespace {

constexpr const char* kLockName = "hiscoa.sav.lock";
// Long enough for another copy's save on a slow disk, short enough that a stopped one
// only delays this one.
constexpr int kWaitMs = 5000;
constexpr int kStepMs = 10;

int g_fd = -1;
int g_depth = 0;

}  // namespace

void LockPlayerFiles() {
    if (g_depth++ > 0) return;
    std::string path;
    if (!GameSystemPath(kLockName, &path)) return;
    // Never through a link somebody planted, never a pipe that would block the open.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return;
    }
    // Asked again every few milliseconds rather than waited on, so the wait has an end.
    for (int waited = 0; waited <= kWaitMs; waited += kStepMs) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            g_fd = fd;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        const timespec step{0, kStepMs * 1000000L};
        nanosleep(&step, nullptr);
    }
    close(fd);
}

void UnlockPlayerFiles() {
    if (g_depth == 0 || --g_depth > 0) return;
    if (g_fd >= 0) close(g_fd);  // closing lets go of the lock
    g_fd = -1;
}
