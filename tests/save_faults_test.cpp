// The best times where the player's rights are unusual: a save that may not happen fails
// quietly and leaves the old file whole; one that the file's rights allow happens, and the
// file keeps its mode. Run as root (as CI does), the save runs in a child that has given
// up root, since root may write anywhere.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
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

// In a child: gives up root (when the tests run as root), checks `precondition` (the
// player's rights to the folder and the file that the case is about), then saves a
// changed table (999 first in row 9) and writes an error log. Returns the child's exit
// code: 0 when all was done, 3 when root could not be given up, 4 when the player's
// rights were not those of the case.
template <class Check>
int SaveAsPlayer(Check precondition) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        if (!precondition()) _exit(4);
        umask(022);
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

// The same, where the player must not be able to write `mustNotWrite`.
int SaveAsPlayer(const char* mustNotWrite) {
    return SaveAsPlayer([mustNotWrite] { return access(mustNotWrite, W_OK) != 0; });
}

std::uint32_t At(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return v;
}

// The new table (row 9 first: 999, at byte 192) is in the file, whole.
void ExpectNewTable(const std::string& before) {
    const std::string now = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(now.size(), 332u);
    EXPECT_EQ(At(now, 192), 999u);
    EXPECT_EQ(now.substr(0, 192), before.substr(0, 192));
    EXPECT_NE(access("hiscoa.sav.tmp", F_OK), 0);
}

mode_t ModeOf(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 ? info.st_mode & 07777 : 0;
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

TEST(SaveFaults, ReadOnlyFolderWithAWritableFileRewritesItInPlace) {
    // The folder refuses the temporary file; the file itself is open to everyone.
    const std::string dir = MakeTempDir();
    const std::string before = SavedTableIn(dir);
    ASSERT_EQ(chmod("hiscoa.sav", 0666), 0);
    struct stat old {};
    ASSERT_EQ(stat("hiscoa.sav", &old), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    const int rc =
        SaveAsPlayer([] { return access(".", W_OK) != 0 && access("hiscoa.sav", W_OK) == 0; });
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(rc, 0) << "the save crashed, the folder stayed open or the file closed to the child";
    ExpectNewTable(before);
    struct stat now {};
    ASSERT_EQ(stat("hiscoa.sav", &now), 0);
    EXPECT_EQ(now.st_ino, old.st_ino) << "the very file is rewritten";
    EXPECT_EQ(ModeOf("hiscoa.sav"), 0666u);

    // A writable hiscoa.sav.tmp left behind there: written, but it cannot be renamed.
    WriteFileBytes("hiscoa.sav", before);
    WriteFileBytes("hiscoa.sav.tmp", "left over");
    ASSERT_EQ(chmod("hiscoa.sav.tmp", 0666), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    const int again = SaveAsPlayer([] { return access(".", W_OK) != 0; });
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(again, 0);
    const std::string saved = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(saved.size(), 332u);
    EXPECT_EQ(At(saved, 192), 999u);
}

TEST(SaveFaults, WriteOnlyFileIsSaved) {
    // The player may write the file but not read it: the save goes through.
    const std::string dir = MakeTempDir();
    const std::string before = SavedTableIn(dir);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(chmod("hiscoa.sav", 0222), 0);
    const int rc = SaveAsPlayer(
        [] { return access("hiscoa.sav", R_OK) != 0 && access("hiscoa.sav", W_OK) == 0; });
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(rc, 0) << "the save crashed or the file stayed readable to the child";
    ExpectNewTable(before);
    EXPECT_EQ(ModeOf("hiscoa.sav"), 0222u);
}

TEST(SaveFaults, ReplacementKeepsTheOldFilesMode) {
    // A file shared by everyone, in a shared folder, saved by a player whose new files
    // would be 0644: it stays 0666.
    const std::string dir = MakeTempDir();
    const std::string before = SavedTableIn(dir);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(chmod("hiscoa.sav", 0666), 0);
    const int rc = SaveAsPlayer([] { return access("hiscoa.sav", W_OK) == 0; });
    chmod(dir.c_str(), 0755);
    ASSERT_EQ(rc, 0) << "the save crashed or the file was closed to the child";
    ExpectNewTable(before);
    EXPECT_EQ(ModeOf("hiscoa.sav"), 0666u);
    // Saved again by this process: still the same mode, and when root saves, the
    // player's file stays the player's.
    struct stat player {};
    ASSERT_EQ(stat("hiscoa.sav", &player), 0);
    BestTimes[9][0] = 999;
    SaveBestTimes();
    struct stat now {};
    ASSERT_EQ(stat("hiscoa.sav", &now), 0);
    EXPECT_EQ(now.st_mode & 07777, 0666u);
    EXPECT_EQ(now.st_uid, player.st_uid);
    EXPECT_EQ(now.st_gid, player.st_gid);
}

TEST(SaveFaults, ARewriteInPlaceLeavesNothingOfALongerOldFile) {
    // A read-only folder: the file is rewritten in place, whether the player may read it
    // or only write it, and an old file longer than the table is cut to the table.
    for (mode_t mode : {mode_t{0666}, mode_t{0222}}) {
        SCOPED_TRACE(mode);
        const std::string dir = MakeTempDir();
        const std::string before = SavedTableIn(dir);
        WriteFileBytes("hiscoa.sav", before + std::string(700, 'x'));
        ASSERT_EQ(chmod("hiscoa.sav", mode), 0);
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
        const int rc =
            SaveAsPlayer([] { return access(".", W_OK) != 0 && access("hiscoa.sav", W_OK) == 0; });
        chmod(dir.c_str(), 0755);
        ASSERT_EQ(rc, 0)
            << "the save crashed, the folder stayed open or the file closed to the child";
        ExpectNewTable(before);
        EXPECT_EQ(ModeOf("hiscoa.sav"), mode);
    }
}

}  // namespace
