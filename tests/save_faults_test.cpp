// The best times where the player may not write: the save fails quietly and the old
// file stays whole. Run as root (as CI does), the save runs in a child that has given
// up root, since root may write anywhere.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "scenes/best_times.h"
#include "shell/error_log.h"
#include "tests/support/game_fixture.h"

namespace {

// A fresh folder holding a saved table; returns the file's bytes.
std::string SavedTableIn(const std::string& dir) {
    EXPECT_EQ(chdir(dir.c_str()), 0);
    ResetBestTimes();
    BestTimes[9][0] = 12345;
    SaveBestTimes();
    return ReadFileBytes("hiscoa.sav");
}

// Runs a save with a changed table in a child without root; the child's exit code
// (3 or more: it could not give up root or the file was still writable to it).
int SaveAsPlayer(const char* mustNotWrite) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        if (access(mustNotWrite, W_OK) == 0) _exit(4);
        BestTimes[9][0] = 999;
        SaveBestTimes();
        ErrorLog log(0);
        log.Add("ERROR_1", 7);
        log.WriteTo("error.txt");
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(SaveFaults, ReadOnlyFolderKeepsTheOldFile) {
    const std::string dir = MakeTempDir();
    const std::string before = SavedTableIn(dir);
    ASSERT_EQ(before.size(), 332u);
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    const int rc = SaveAsPlayer(".");
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(rc, 0) << "the save crashed or the folder stayed open to the child";
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), before);
    EXPECT_NE(access("hiscoa.sav.tmp", F_OK), 0);
    EXPECT_NE(access("error.txt", F_OK), 0);
}

TEST(SaveFaults, ReadOnlyFileIsNotReplaced) {
    // The folder is open to everyone, but the player has made the file read-only.
    const std::string dir = MakeTempDir();
    const std::string before = SavedTableIn(dir);
    ASSERT_EQ(before.size(), 332u);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(chmod("hiscoa.sav", 0444), 0);
    const int rc = SaveAsPlayer("hiscoa.sav");
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(rc, 0) << "the save crashed or the file stayed writable to the child";
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), before);
    EXPECT_NE(access("hiscoa.sav.tmp", F_OK), 0);
    // The error log is written all the same: the folder was writable.
    EXPECT_EQ(access("error.txt", F_OK), 0);
}

}  // namespace
