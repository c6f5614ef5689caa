// Saving a player's file on POSIX: whatever sits at the temporary file's name is never
// written through, a saved file that is a link stays a link to the updated file, the new
// file is private until it takes its final mode, and the folder is put on the disk after
// the rename.
//
// fsync and fchmod are taken over here (this program's own definitions win over the C
// library's) to see what the save puts on the disk and in what order.
#include "platform/services/save_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/game_fixture.h"

namespace {

struct Synced {
    bool folder = false;
    ino_t inode = 0;
    std::string savedThen;  // hiscoa.sav of that folder when it was synced
};
std::vector<Synced> g_synced;
std::vector<mode_t> g_modeBeforeChmod;  // each file's mode when its final mode was set

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? buffer : "";
}

}  // namespace

extern "C" int fsync(int fd) {
    struct stat info {};
    if (fstat(fd, &info) == 0) {
        Synced s;
        s.folder = S_ISDIR(info.st_mode);
        s.inode = info.st_ino;
        if (s.folder) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            s.savedThen = ReadFileBytes(RealPath(self) + "/hiscoa.sav");
        }
        g_synced.push_back(s);
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int fchmod(int fd, mode_t mode) {
    struct stat info {};
    if (fstat(fd, &info) == 0) g_modeBeforeChmod.push_back(info.st_mode & 07777);
    return static_cast<int>(syscall(SYS_fchmod, fd, mode));
}

namespace {

const std::string kNew = "the new table";

bool Save() {
    g_synced.clear();
    g_modeBeforeChmod.clear();
    return SaveFileReplacing("hiscoa.sav", "hiscoa.sav.tmp", kNew.data(), kNew.size());
}

bool IsLink(const char* path) {
    struct stat info {};
    return lstat(path, &info) == 0 && S_ISLNK(info.st_mode);
}

ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(SaveFile, WhatSitsAtTheTemporaryNameIsNeverWrittenThrough) {
    struct Case {
        const char* name;
        void (*plant)();  // puts something at hiscoa.sav.tmp, in a folder holding "victim"
    };
    // clang-format off
    const Case cases[] = {
        {"a link to another file", [] { ASSERT_EQ(symlink("victim", "hiscoa.sav.tmp"), 0); }},
        {"a link to a file not there yet", [] { ASSERT_EQ(symlink("made-by-link", "hiscoa.sav.tmp"), 0); }},
        {"a second name of another file", [] { ASSERT_EQ(link("victim", "hiscoa.sav.tmp"), 0); }},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(chdir(MakeTempDir().c_str()), 0);
        WriteFileBytes("victim", "precious");
        WriteFileBytes("hiscoa.sav", "the old table");
        c.plant();
        EXPECT_TRUE(Save());
        EXPECT_EQ(ReadFileBytes("victim"), "precious");
        EXPECT_NE(access("made-by-link", F_OK), 0);
        EXPECT_FALSE(IsLink("hiscoa.sav"));
        EXPECT_EQ(ReadFileBytes("hiscoa.sav"), kNew);
        struct stat info {};
        EXPECT_NE(lstat("hiscoa.sav.tmp", &info), 0) << "nothing is left at the temporary name";
    }
}

TEST(SaveFile, TheNewFileIsPrivateUntilItTakesItsFinalMode) {
    ASSERT_EQ(chdir(MakeTempDir().c_str()), 0);
    const mode_t old = umask(0);
    WriteFileBytes("hiscoa.sav", "the old table");
    ASSERT_EQ(chmod("hiscoa.sav", 0666), 0);
    EXPECT_TRUE(Save());
    EXPECT_EQ(g_modeBeforeChmod, std::vector<mode_t>{0600});
    struct stat info {};
    ASSERT_EQ(stat("hiscoa.sav", &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666u);

    // A first save: the mode a new file gets from the umask.
    umask(027);
    ASSERT_EQ(unlink("hiscoa.sav"), 0);
    EXPECT_TRUE(Save());
    umask(old);
    ASSERT_EQ(stat("hiscoa.sav", &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), kNew);
}

TEST(SaveFile, ASavedFileThatIsALinkStaysALinkToTheUpdatedFile) {
    struct Case {
        const char* name;
        bool absolute;     // the link names its target by an absolute path
        bool targetThere;  // the target exists before the save
    };
    // clang-format off
    const Case cases[] = {
        {"relative link", false, true},
        {"absolute link", true, true},
        {"link to a file not saved yet", false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = MakeTempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_EQ(mkdir("synced", 0755), 0);
        if (c.targetThere) WriteFileBytes("synced/hiscoa.sav", "the old table");
        const std::string target = c.absolute ? dir + "/synced/hiscoa.sav" : "synced/hiscoa.sav";
        ASSERT_EQ(symlink(target.c_str(), "hiscoa.sav"), 0);
        EXPECT_TRUE(Save());
        EXPECT_TRUE(IsLink("hiscoa.sav"));
        EXPECT_EQ(ReadFileBytes("synced/hiscoa.sav"), kNew);
        EXPECT_NE(access("hiscoa.sav.tmp", F_OK), 0);
        EXPECT_NE(access("synced/hiscoa.sav.tmp", F_OK), 0);
        // The new file was made, put on the disk and renamed in the target's folder.
        bool syncedTargetsFolder = false;
        for (const Synced& s : g_synced)
            if (s.folder && s.inode == InodeOf(dir + "/synced")) syncedTargetsFolder = true;
        EXPECT_TRUE(syncedTargetsFolder);
    }
}

TEST(SaveFile, ALinkPlantedByAnotherUserIsReplacedNotFollowed) {
    // In a folder that is not theirs, another user's link at hiscoa.sav could lead a
    // save by root anywhere: the link gives way to the file.
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to give the link another owner";
    ASSERT_EQ(chdir(MakeTempDir().c_str()), 0);
    WriteFileBytes("victim", "precious");
    ASSERT_EQ(symlink("victim", "hiscoa.sav"), 0);
    ASSERT_EQ(lchown("hiscoa.sav", 65534, 65534), 0);
    EXPECT_TRUE(Save());
    EXPECT_EQ(ReadFileBytes("victim"), "precious");
    EXPECT_FALSE(IsLink("hiscoa.sav"));
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), kNew);
}

TEST(SaveFile, TheFolderIsPutOnTheDiskAfterTheRename) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    WriteFileBytes("hiscoa.sav", "the old table");
    EXPECT_TRUE(Save());
    ASSERT_FALSE(g_synced.empty());
    // The file first, then its folder, once the folder names the new file.
    EXPECT_FALSE(g_synced.front().folder);
    const Synced& last = g_synced.back();
    EXPECT_TRUE(last.folder);
    EXPECT_EQ(last.inode, InodeOf(dir));
    EXPECT_EQ(last.savedThen, kNew);
}

}  // namespace
