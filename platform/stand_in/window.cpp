// The window class, the one game window and its message queue.
#include "platform/stand_in/win32.h"

#include <cstdio>
#include <cstring>

#include "platform/stand_in/backend.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"

struct WindowObject {
    WNDPROC proc = nullptr;
    bool alive = false;
};

namespace {

char g_className[64] = {};
WNDPROC g_classProc = nullptr;
WindowObject g_window;

// A fixed ring: posting never allocates, and a flood of input drops the newest.
constexpr int kQueueSize = 1024;
MSG g_queue[kQueueSize];
int g_head = 0;
int g_count = 0;
bool g_quitPosted = false;
int g_quitCode = 0;

POINT g_cursor = {320, 240};

void Push(const MSG& msg) {
    if (g_count == kQueueSize) return;
    g_queue[(g_head + g_count) % kQueueSize] = msg;
    ++g_count;
}

}  // namespace

ATOM RegisterClassEx(const WNDCLASSEX* wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEX) || !wc->lpfnWndProc || !wc->lpszClassName) return 0;
    if (std::strlen(wc->lpszClassName) >= sizeof g_className) return 0;
    std::strcpy(g_className, wc->lpszClassName);
    g_classProc = wc->lpfnWndProc;
    return 1;
}

HWND CreateWindowEx(DWORD, const char* className, const char* windowName, DWORD, int, int, int, int,
                    HWND, HMENU, HINSTANCE, void*) {
    if (!className || !g_classProc || std::strcmp(className, g_className) != 0) return nullptr;
    if (g_window.alive) return nullptr;
    // Without a display the window exists without a picture; DirectDraw then fails
    // and says so.
    const Backend& backend = ActiveBackend();
    if (backend.hasDisplay() && !backend.createWindow(windowName ? windowName : "")) return nullptr;
    g_window.proc = g_classProc;
    g_window.alive = true;
    HWND hwnd = &g_window;
    // A visible popup activates the application while it is being created.
    g_window.proc(hwnd, WM_ACTIVATEAPP, 1, 0);
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    if (hwnd != &g_window || !g_window.alive) return FALSE;
    g_window.proc(hwnd, WM_DESTROY, 0, 0);
    g_window.alive = false;
    ActiveBackend().destroyWindow();
    return TRUE;
}

int GetSystemMetrics(int index) {
    if (index == SM_CXSCREEN) return 640;
    if (index == SM_CYSCREEN) return 480;
    return 0;
}

HGDIOBJ GetStockObject(int) { return nullptr; }

void PostGameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    Push(MSG{g_window.alive ? &g_window : nullptr, message, wParam, lParam, ObserveTickCount(),
             g_cursor});
}

LRESULT SendGameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return g_window.alive ? g_window.proc(&g_window, message, wParam, lParam) : 0;
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Push(MSG{hwnd, message, wParam, lParam, ObserveTickCount(), g_cursor});
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    g_quitPosted = true;
    g_quitCode = exitCode;
}

BOOL TakeLiveMessage(MSG* msg) {
    if (!msg || g_count == 0) return FALSE;
    *msg = g_queue[g_head];
    g_head = (g_head + 1) % kQueueSize;
    --g_count;
    return TRUE;
}

BOOL PeekMessage(MSG* msg, HWND, UINT, UINT, UINT removeMsg) {
    if (!msg) return FALSE;
    ActiveBackend().pumpInput();
    const InputTap* tap = ActiveInputTap();
    const InputFeed* feed = ActiveInputFeed();
    if (feed && (removeMsg & PM_REMOVE) && !g_quitPosted) {
        if (!feed->message(msg)) return FALSE;
        msg->hwnd = &g_window;
        return TRUE;
    }
    if (g_count == 0) {
        if (tap && (removeMsg & PM_REMOVE)) tap->message(nullptr);
        if (!g_quitPosted) return FALSE;
        *msg =
            MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_quitCode), 0, ObserveTickCount(), g_cursor};
        if (removeMsg & PM_REMOVE) g_quitPosted = false;
        return TRUE;
    }
    *msg = g_queue[g_head];
    if (removeMsg & PM_REMOVE) {
        g_head = (g_head + 1) % kQueueSize;
        --g_count;
        // The cursor follows the input as it is taken from the queue.
        if (msg->message == WM_MOUSEMOVE) {
            g_cursor.x = static_cast<LONG>(static_cast<short>(msg->lParam & 0xFFFF));
            g_cursor.y = static_cast<LONG>(static_cast<short>((msg->lParam >> 16) & 0xFFFF));
        }
        if (tap) tap->message(msg);
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
    if (!msg || !msg->hwnd || msg->hwnd != &g_window || !g_window.alive) return 0;
    return g_window.proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

int MessageBox(HWND, const char* text, const char* caption, UINT) {
    std::fprintf(stderr, "zumble: %s: %s\n", caption ? caption : "", text ? text : "");
    if (ActiveBackend().hasDisplay()) ActiveBackend().messageBox(text, caption);
    return IDOK;
}

POINT PostedCursorPos() {
    for (int i = g_count - 1; i >= 0; --i) {
        const MSG& m = g_queue[(g_head + i) % kQueueSize];
        if (m.message == WM_MOUSEMOVE)
            return POINT{static_cast<short>(m.lParam & 0xFFFF),
                         static_cast<short>((m.lParam >> 16) & 0xFFFF)};
    }
    return g_cursor;
}

BOOL GetCursorPos(POINT* point) {
    if (!point) return FALSE;
    *point = g_cursor;
    return TRUE;
}

LPARAM MakeCursorLParam(int x, int y) {
    return static_cast<LPARAM>((static_cast<unsigned>(y & 0xFFFF) << 16) |
                               static_cast<unsigned>(x & 0xFFFF));
}

void SetGameCursor(int x, int y) {
    g_cursor.x = x;
    g_cursor.y = y;
}

HCURSOR SetCursor(HCURSOR cursor) {
    ActiveBackend().showCursor(cursor != nullptr);
    return nullptr;
}

void ResetWindowForTest() {
    g_window = WindowObject{};
    g_count = 0;
    g_head = 0;
    g_quitPosted = false;
}
