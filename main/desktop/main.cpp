// The desktop's process entry: the shared run, as the Windows runtime would start WinMain.
#include <sys/resource.h>

#include <cstring>

#include "main/desktop/verify_follow.h"
#include "main/desktop/verify_stream.h"
#include "platform/services/process_usage.h"
#include "shell/driver/game_run.h"

bool ProcessUsage(long* peakKb, double* cpuMs) {
    rusage usage = {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return false;
    *peakKb = usage.ru_maxrss;
    *cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    return true;
}

int main(int argc, char** argv) {
    // The stream forks its verifications from here, before anything has run.
    if (argc == 2 && std::strcmp(argv[1], "--verify-stream") == 0) return RunVerifyStream(argv[0]);
    if (argc == 2 && std::strcmp(argv[1], "--verify-follow") == 0) return RunVerifyFollow(argv[0]);
    const int early = PrepareRun(argc, argv);
    if (early >= 0) EndBeforeRun(early);
    return PlayRun();
}
