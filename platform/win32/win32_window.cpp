// The Win32 backend's window: a window class and one window, the 8-bit picture drawn
// through its palette with StretchDIBits, mouse and keys turned into the game's messages.
#include "platform/win32/win32_window.h"

#include "platform/win32/win32_api.h"

#include <windowsx.h>

#include <cstring>

#include "platform/services/display_settings.h"
#include "platform/services/letterbox.h"
#include "platform/services/master_volume.h"
#include "platform/services/overlay_draw.h"
#include "platform/services/splits_overlay.h"
#include "platform/services/viewer_input.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr char kClassName[] = "ZumbleWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kFullStyle = WS_POPUP;

Win32PostMessage g_post = nullptr;
Win32EndSession g_endSession = nullptr;
HINSTANCE g_instance = nullptr;
HWND g_window = nullptr;
bool g_fullscreen = false;
int g_windowScale = 1;
bool g_cursorHidden = false;
// The game hears of focus changes after its start only: the first activation, as the
// window appears, is the one it already had while creating its window.
bool g_focusLost = false;
bool g_mouseDown = false;
RECT g_picture = {0, 0, kWidth, kHeight};  // where the picture is, in client pixels
Letterbox g_box;

// The last frame, kept to repaint the window when Windows asks.
std::uint8_t g_pixels[kWidth * kHeight];
struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
} g_dib;
bool g_havePicture = false;

// While a replay is watched with its overlay: the picture in 32-bit colour with the
// overlay blended over it, at the picture's size.
std::uint32_t g_overlay[kWidth * kHeight];
std::uint32_t g_blended[kWidth * kHeight];
BITMAPINFOHEADER g_blendedDib;
bool g_haveOverlay = false;

void BlendOverlay() {
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const RGBQUAD c = g_dib.colors[g_pixels[i]];
        const std::uint32_t o = g_overlay[i];
        const std::uint32_t a = o >> 24;
        const auto mix = [a](std::uint32_t src, std::uint32_t dst) {
            return (src * a + dst * (255 - a) + 127) / 255;
        };
        g_blended[i] = mix((o >> 16) & 0xFF, c.rgbRed) << 16 |
                       mix((o >> 8) & 0xFF, c.rgbGreen) << 8 | mix(o & 0xFF, c.rgbBlue);
    }
}

// The replay viewer's keys, as Windows names them.
bool ViewerKeyOf(WPARAM key, ViewerKey* out) {
    switch (key) {
    case VK_SPACE: *out = ViewerKey::PlayPause; return true;
    case VK_OEM_COMMA: *out = ViewerKey::FrameBack; return true;
    case VK_OEM_PERIOD: *out = ViewerKey::FrameForward; return true;
    case VK_LEFT: *out = ViewerKey::Back; return true;
    case VK_RIGHT: *out = ViewerKey::Forward; return true;
    case VK_HOME: *out = ViewerKey::Start; return true;
    case VK_END: *out = ViewerKey::End; return true;
    case VK_OEM_MINUS:
    case VK_SUBTRACT: *out = ViewerKey::Slower; return true;
    case VK_OEM_PLUS:
    case VK_ADD: *out = ViewerKey::Faster; return true;
    case 'O': *out = ViewerKey::Overlay; return true;
    case VK_OEM_2: *out = ViewerKey::Help; return true;
    case VK_ESCAPE: *out = ViewerKey::Leave; return true;
    default: return false;
    }
}

void Layout() {
    RECT client;
    GetClientRect(g_window, &client);
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    g_box = FitPicture(w, h);
    g_picture =
        RECT{g_box.x, g_box.y, g_box.x + kWidth * g_box.scale, g_box.y + kHeight * g_box.scale};
}

void Paint(HDC dc) {
    RECT client;
    GetClientRect(g_window, &client);
    // Black bars around the picture, drawn apart from it so nothing flickers.
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    // clang-format off
    const RECT bars[4] = {
        {client.left, client.top, client.right, g_picture.top},
        {client.left, g_picture.bottom, client.right, client.bottom},
        {client.left, g_picture.top, g_picture.left, g_picture.bottom},
        {g_picture.right, g_picture.top, client.right, g_picture.bottom},
    };
    // clang-format on
    for (const RECT& r : bars)
        if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, black);
    if (!g_havePicture) {
        FillRect(dc, &g_picture, black);
        return;
    }
    SetStretchBltMode(dc, COLORONCOLOR);  // whole factors: every pixel a clean block
    if (g_haveOverlay) {
        StretchDIBits(dc, g_picture.left, g_picture.top, g_picture.right - g_picture.left,
                      g_picture.bottom - g_picture.top, 0, 0, kWidth, kHeight, g_blended,
                      reinterpret_cast<const BITMAPINFO*>(&g_blendedDib), DIB_RGB_COLORS, SRCCOPY);
        return;
    }
    StretchDIBits(dc, g_picture.left, g_picture.top, g_picture.right - g_picture.left,
                  g_picture.bottom - g_picture.top, 0, 0, kWidth, kHeight, g_pixels,
                  reinterpret_cast<const BITMAPINFO*>(&g_dib), DIB_RGB_COLORS, SRCCOPY);
}

// The window rectangle for a client area of w x h in the windowed style, centred on the
// work area of the window's monitor.
RECT WindowedRect(HMONITOR monitor, int w, int h) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoA(monitor, &info);
    RECT r = {0, 0, w, h};
    AdjustWindowRect(&r, kWindowStyle, FALSE);
    const int ww = r.right - r.left;
    const int wh = r.bottom - r.top;
    const RECT& work = info.rcWork;
    const int x = work.left + ((work.right - work.left) - ww) / 2;
    const int y = work.top + ((work.bottom - work.top) - wh) / 2;
    return RECT{x, y < work.top ? work.top : y, x + ww, (y < work.top ? work.top : y) + wh};
}

int FittingScale(HMONITOR monitor) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoA(monitor, &info);
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRect(&frame, kWindowStyle, FALSE);
    const int w = (info.rcWork.right - info.rcWork.left) - (frame.right - frame.left);
    const int h = (info.rcWork.bottom - info.rcWork.top) - (frame.bottom - frame.top);
    int scale = 1;
    while (kWidth * (scale + 1) <= w && kHeight * (scale + 1) <= h) ++scale;
    return scale;
}

void ApplyMode() {
    HMONITOR monitor = MonitorFromWindow(g_window, MONITOR_DEFAULTTOPRIMARY);
    RECT r;
    if (g_fullscreen) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        GetMonitorInfoA(monitor, &info);
        r = info.rcMonitor;
        SetWindowLongPtrA(g_window, GWL_STYLE, kFullStyle | WS_VISIBLE);
    } else {
        r = WindowedRect(monitor, kWidth * g_windowScale, kHeight * g_windowScale);
        SetWindowLongPtrA(g_window, GWL_STYLE, kWindowStyle | WS_VISIBLE);
    }
    SetWindowPos(g_window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    Layout();
    InvalidateRect(g_window, nullptr, FALSE);
}

LPARAM GamePoint(LPARAM lParam) {
    int x, y;
    WindowToGame(g_box, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &x, &y);
    // Outside the letterboxed picture the cursor stays on its edge.
    x = x < 0 ? 0 : (x >= kWidth ? kWidth - 1 : x);
    y = y < 0 ? 0 : (y >= kHeight ? kHeight - 1 : y);
    return static_cast<LPARAM>((static_cast<unsigned>(y) << 16) | static_cast<unsigned>(x));
}

void PostMouse(UINT message, LPARAM lParam) {
    if (const ViewerInput* viewer = ActiveViewerInput()) {
        // A replay is watched: the mouse is the seek bar's.
        int x, y;
        WindowToGame(g_box, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &x, &y);
        viewer->pointer(message == WM_LBUTTONDOWN ? ViewerPointer::Down
                        : message == WM_LBUTTONUP ? ViewerPointer::Up
                                                  : ViewerPointer::Move,
                        x, y);
        return;
    }
    const LPARAM at = GamePoint(lParam);
    g_post(WM_MOUSEMOVE, 0, at);
    if (message != WM_MOUSEMOVE) g_post(message, message == WM_LBUTTONDOWN ? 1 : 0, at);
}

bool OverPicture() {
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(g_window, &p);
    return PtInRect(&g_picture, p) != 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!g_window) g_window = hwnd;  // messages arrive before CreateWindowEx returns
    switch (message) {
    case WM_CLOSE:
        // The game decides: it saves its best times and destroys the window itself.
        g_post(WM_CLOSE, 0, 0);
        return 0;
    case WM_ENDSESSION:
        // Logging off or shutting down: Windows stops the process once this returns, so
        // the game ends here and now, as it does on the close button.
        if (wParam) g_endSession();
        return 0;
    case WM_ACTIVATEAPP:
        if (wParam && g_focusLost) {
            g_focusLost = false;
            g_post(WM_ACTIVATEAPP, 1, 0);
        } else if (!wParam && !g_focusLost) {
            g_focusLost = true;
            g_post(WM_ACTIVATEAPP, 0, 0);
        }
        return 0;
    case WM_SIZE:
        // A window the player resized keeps the factor of the picture that fits in it.
        if (!g_fullscreen && wParam == SIZE_RESTORED && g_window) {
            const int w = LOWORD(lParam), h = HIWORD(lParam);
            const int scale = w / kWidth < h / kHeight ? w / kWidth : h / kHeight;
            if (w > 0 && h > 0) g_windowScale = scale < 1 ? 1 : scale;
        }
        Layout();
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(g_cursorHidden && OverPicture() ? nullptr : LoadCursor(nullptr, IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE: PostMouse(WM_MOUSEMOVE, lParam); return 0;
    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        g_mouseDown = true;
        PostMouse(WM_LBUTTONDOWN, lParam);
        return 0;
    case WM_LBUTTONUP:
        if (g_mouseDown) ReleaseCapture();
        g_mouseDown = false;
        PostMouse(WM_LBUTTONUP, lParam);
        return 0;
    case WM_KEYDOWN:
        // The sound's mute, playing or watching, once per press; the game never hears it.
        if (wParam == 'M') {
            if (!(lParam & (1 << 30))) ToggleMasterMute();
            return 0;
        }
        if (const ViewerInput* viewer = ActiveViewerInput()) {
            ViewerKey key;
            if (ViewerKeyOf(wParam, &key)) viewer->key(key, GetKeyState(VK_SHIFT) < 0);
            return 0;
        }
        if (wParam == VK_RETURN || wParam == VK_SPACE || wParam == VK_ESCAPE)
            g_post(WM_KEYDOWN, wParam, 1);
        // A held R restarts once (bit 30: the key was already down).
        if (wParam == 'R' && !(lParam & (1 << 30))) g_post(WM_KEYDOWN, wParam, 1);
        // S shows or hides the splits: the presentation's, never the game's.
        if (wParam == 'S' && !(lParam & (1 << 30))) ToggleSplits();
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+Enter, once per press (bit 30: the key was already down).
        if (wParam == VK_RETURN && (lParam & (1 << 29))) {
            if (!(lParam & (1 << 30))) {
                g_fullscreen = !g_fullscreen;
                ApplyMode();
            }
            return 0;
        }
        break;
    case WM_SYSCHAR:
        if (wParam == VK_RETURN) return 0;  // no beep for Alt+Enter
        break;
    case WM_SYSCOMMAND:
        // Alt alone would open the window menu and stop the game's loop while it is open.
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
        break;
    default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

bool Win32WindowStart(Win32PostMessage post, Win32EndSession endSession) {
    g_post = post;
    g_endSession = endSession;
    // The game scales its own picture by whole factors: Windows must not stretch the
    // window again (blurred) on a screen set to more than 100 %.
    SetProcessDPIAware();
    g_instance = GetModuleHandleA(nullptr);
    g_blendedDib.biSize = sizeof g_blendedDib;
    g_blendedDib.biWidth = kWidth;
    g_blendedDib.biHeight = -kHeight;  // top row first
    g_blendedDib.biPlanes = 1;
    g_blendedDib.biBitCount = 32;
    g_blendedDib.biCompression = BI_RGB;
    g_dib.header.biSize = sizeof g_dib.header;
    g_dib.header.biWidth = kWidth;
    g_dib.header.biHeight = -kHeight;  // top row first, as the surface holds it
    g_dib.header.biPlanes = 1;
    g_dib.header.biBitCount = 8;
    g_dib.header.biCompression = BI_RGB;
    g_dib.header.biClrUsed = 256;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = g_instance;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hCursor = nullptr;  // WM_SETCURSOR decides
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kClassName;
    return RegisterClassExA(&wc) != 0;
}

void Win32WindowShutdown() {
    Win32DestroyWindow();
    UnregisterClassA(kClassName, g_instance);
}

bool Win32CreateWindow(const char* title, bool fullscreen, int scale, int savedScale) {
    g_fullscreen = fullscreen;
    HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    const int fit = FittingScale(monitor);
    g_windowScale = scale > 0 ? scale : savedScale > 0 && savedScale < fit ? savedScale : fit;
    const RECT r = WindowedRect(monitor, kWidth * g_windowScale, kHeight * g_windowScale);
    g_window = CreateWindowExA(0, kClassName, title, kWindowStyle, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, nullptr, nullptr, g_instance, nullptr);
    if (!g_window) return false;
    ApplyMode();
    ShowWindow(g_window, SW_SHOW);
    SetForegroundWindow(g_window);
    UpdateWindow(g_window);
    return true;
}

void Win32DestroyWindow() {
    if (g_window) RememberDisplay(g_fullscreen, g_windowScale);
    if (g_window) DestroyWindow(g_window);
    g_window = nullptr;
    g_havePicture = false;
}

void Win32PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void Win32Present(const std::uint8_t* pixels, const std::uint8_t* palette) {
    if (!g_window) return;
    std::memcpy(g_pixels, pixels, sizeof g_pixels);
    for (int i = 0; i < 256; ++i)
        g_dib.colors[i] = RGBQUAD{palette[4 * i + 2], palette[4 * i + 1], palette[4 * i], 0};
    g_havePicture = true;
    g_haveOverlay = DrawActiveOverlay(g_overlay);
    if (g_haveOverlay) BlendOverlay();
    HDC dc = GetDC(g_window);
    Paint(dc);
    ReleaseDC(g_window, dc);
}

void Win32ShowCursor(bool show) {
    g_cursorHidden = !show;
    if (g_window && OverPicture()) SetCursor(show ? LoadCursor(nullptr, IDC_ARROW) : nullptr);
}

void Win32MessageBox(const char* text, const char* caption) {
    MessageBoxA(g_window, text, caption, MB_OK | MB_ICONERROR);
}
