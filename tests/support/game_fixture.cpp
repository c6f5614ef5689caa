#include "tests/support/game_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "media/display.h"
#include "platform/services/options.h"
#include "platform/stand_in/runtime.h"
#include "shell/globals.h"
#include "shell/winmain.h"

namespace {

bool g_started = false;
std::vector<std::string> g_tempDirs;

void RemoveTempDirs() {
    std::error_code ec;
    for (const auto& dir : g_tempDirs) std::filesystem::remove_all(dir, ec);
}

}  // namespace

void StartHeadlessGame() {
    if (!g_started) {
        g_Options = Options{};
        if (!StartHeadlessDisplay()) {
            std::fprintf(stderr, "test fixture: cannot start the headless display\n");
            std::abort();
        }
        g_started = true;
    }
    MouseDown = 0;
    SetGameCursor(0, 0);
    // Drain whatever earlier tests left in the queue.
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

void FillSprite(int left, int top, int right, int bottom, BYTE index) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            lpSPRITESURFACE->pixels[static_cast<size_t>(y) * 640 + x] = index;
}

void FillBack(BYTE index) {
    std::fill(lpBACKSURFACE->pixels.begin(), lpBACKSURFACE->pixels.end(), index);
}

BYTE BackPixel(int x, int y) { return lpBACKSURFACE->pixels[static_cast<size_t>(y) * 640 + x]; }

BYTE SpritePixel(int x, int y) { return lpSPRITESURFACE->pixels[static_cast<size_t>(y) * 640 + x]; }

void SetSpriteKey(BYTE key) {
    DDCOLORKEY ck = {key, key};
    lpSPRITESURFACE->SetColorKey(DDCKEY_SRCBLT, &ck);
}

void MoveCursor(int x, int y) { SetGameCursor(x, y); }

int CountBack(int left, int top, int right, int bottom, BYTE index) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) n += BackPixel(x, y) == index;
    return n;
}

bool FindBack(BYTE index, RECT* box) {
    bool found = false;
    RECT r = {640, 480, -1, -1};
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (BackPixel(x, y) == index) {
                found = true;
                if (x < r.left) r.left = x;
                if (y < r.top) r.top = y;
                if (x + 1 > r.right) r.right = x + 1;
                if (y + 1 > r.bottom) r.bottom = y + 1;
            }
    if (found && box) *box = r;
    return found;
}

RECT Box(BYTE index) {
    RECT box = {-1, -1, -1, -1};
    FindBack(index, &box);
    return box;
}

void ExpectBox(BYTE index, int left, int top, int right, int bottom) {
    RECT box = Box(index);
    EXPECT_EQ(box.left, left) << "index " << int(index);
    EXPECT_EQ(box.top, top) << "index " << int(index);
    EXPECT_EQ(box.right, right) << "index " << int(index);
    EXPECT_EQ(box.bottom, bottom) << "index " << int(index);
}

std::string MakeTempDir() {
    char pattern[] = "/tmp/zumble-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) {
        std::perror("mkdtemp");
        std::abort();
    }
    if (g_tempDirs.empty()) std::atexit(RemoveTempDirs);
    g_tempDirs.push_back(dir);
    return dir;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
