// The best times in a folder the player may not write: the save fails quietly and the
// old file stays whole. Run as root (as CI does), the save runs in a child that has
// given up root, since root may write anywhere.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "scenes/best_times.h"
#include "shell/error_log.h"
#include "tests/support/game_fixture.h"

namespace {

TEST(SaveFaults, ReadOnlyFolderKeepsTheOldFile) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    ResetBestTimes();
    BestTimes[9][0] = 12345;
    SaveBestTimes();
    const std::string before = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(before.size(), 332u);
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        if (access(".", W_OK) == 0) _exit(4);  // the folder must really be closed to us
        BestTimes[9][0] = 999;
        SaveBestTimes();
        ErrorLog log(0);
        log.Add("ERROR_1", 7);
        log.WriteTo("error.txt");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(dir.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status)) << "the save crashed";
    ASSERT_EQ(WEXITSTATUS(status), 0) << "could not close the folder to the child";
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), before);
    EXPECT_NE(access("hiscoa.sav.tmp", F_OK), 0);
    EXPECT_NE(access("error.txt", F_OK), 0);
}

}  // namespace
