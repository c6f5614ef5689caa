// Where an installed game keeps the player's files: $XDG_DATA_HOME/zumble when that is an
// absolute path, else ~/.local/share/zumble (the home from the password database when
// HOME is not absolute). When that cannot be had the game says so in one short line,
// makes nothing, and neither writes nor reads a player's file anywhere else.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "platform/posix/game_paths.h"
#include "platform/services/files.h"
#include "tests/support/game_fixture.h"

namespace {

// "@" in a case's paths stands for the case's own temporary folder.
std::string At(const std::string& text, const std::string& root) {
    std::string out;
    for (char c : text) out += c == '@' ? root : std::string(1, c);
    return out;
}

std::set<std::string> Everything(const std::string& root) {
    std::set<std::string> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        out.insert(entry.path().string());
    return out;
}

void SetOrUnset(const char* name, const char* value, const std::string& root) {
    if (value)
        setenv(name, At(value, root).c_str(), 1);
    else
        unsetenv(name);
}

// The player's file "probe.txt" is written where the game now keeps them; false when
// the game may not save.
bool WriteProbe() {
    std::FILE* f = OpenGamePath("probe.txt", "wb");
    if (!f) return false;
    std::fputs("probe", f);
    std::fclose(f);
    return true;
}

TEST(PlayerFolder, ChosenFromTheEnvironmentAndMadeOnlyWhenItCanBe) {
    const std::string longPath = [] {
        std::string p = "@";
        for (int i = 0; i < 300; ++i) p += "/aaaaaaaaaaaaaaa";
        return p;
    }();
    const std::string longName = "@/x/" + std::string(300, 'b');
    struct Case {
        const char* name;
        const char* xdg;     // null: unset
        const char* home;    // null: unset
        const char* folder;  // where the files go; null: nowhere, saving is off
    };
    // clang-format off
    const Case cases[] = {
        {"XDG_DATA_HOME", "@/data", "@/home", "@/data/zumble"},
        {"XDG_DATA_HOME not made yet", "@/new/deeper", "@/home", "@/new/deeper/zumble"},
        {"relative XDG_DATA_HOME", "data", "@/home", "@/home/.local/share/zumble"},
        {"empty XDG_DATA_HOME", "", "@/home", "@/home/.local/share/zumble"},
        {"HOME", nullptr, "@/home", "@/home/.local/share/zumble"},
        {"a home that is not there", nullptr, "@/gone", nullptr},
        {"a file in the way", "@/file/data", "@/home", nullptr},
        {"a path too long", longPath.c_str(), "@/home", nullptr},
        {"a name too long", longName.c_str(), "@/home", nullptr},
        {"a path that climbs back", "@/new/../data", "@/home", nullptr},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string root = MakeTempDir();
        ASSERT_EQ(mkdir((root + "/data").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((root + "/home").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((root + "/run").c_str(), 0755), 0);
        WriteFileBytes(root + "/file", "in the way");
        // A player's file in the current folder, which must stay untouched and unread.
        WriteFileBytes(root + "/run/hiscoa.sav", "not the player's");
        ASSERT_EQ(chdir((root + "/run").c_str()), 0);
        SetOrUnset("XDG_DATA_HOME", c.xdg, root);
        SetOrUnset("HOME", c.home, root);
        const std::set<std::string> before = Everything(root);

        testing::internal::CaptureStderr();
        UsePlayerFolder();
        const bool wrote = WriteProbe();
        const std::string said = testing::internal::GetCapturedStderr();

        if (c.folder) {
            const std::string folder = At(c.folder, root);
            EXPECT_EQ(said, "");
            EXPECT_TRUE(wrote);
            EXPECT_EQ(ReadFileBytes(folder + "/probe.txt"), "probe");
            struct stat info {};
            ASSERT_EQ(stat(folder.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u);
        } else {
            EXPECT_FALSE(wrote);
            const std::set<std::string> after = Everything(root);
            EXPECT_TRUE(after == before) << after.size() - before.size() << " made";
            EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
            EXPECT_LT(said.size(), 240u) << said;
            EXPECT_EQ(OpenGamePath("hiscoa.sav", "rb"), nullptr)
                << "nothing is read from elsewhere";
        }
    }
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
}

TEST(PlayerFolder, ARelativeHomeFallsBackToThePasswordDatabase) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run as another user whose home is known";
    const passwd* nobody = getpwuid(65534);
    if (!nobody || !nobody->pw_dir || nobody->pw_dir[0] != '/')
        GTEST_SKIP() << "no user 65534 with a home";
    const std::string expected = std::string(nobody->pw_dir) + "/.local/share/zumble";
    const std::string dir = MakeTempDir();
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    const std::string log = dir + "/err.txt";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0 || chdir(dir.c_str()) != 0) _exit(3);
        if (!std::freopen(log.c_str(), "w", stderr)) _exit(4);
        unsetenv("XDG_DATA_HOME");
        setenv("HOME", "relative/home", 1);
        UsePlayerFolder();
        const bool wrote = WriteProbe();
        std::fflush(stderr);
        // Either the password database's home took the file, or it said why it could not.
        if (wrote) _exit(access((expected + "/probe.txt").c_str(), F_OK) == 0 ? 0 : 5);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(access((dir + "/relative").c_str(), F_OK), -1)
        << "nothing made below the current folder";
    const std::string said = ReadFileBytes(log);
    if (!said.empty()) {
        EXPECT_NE(said.find(expected), std::string::npos) << said;
    }
}

}  // namespace
