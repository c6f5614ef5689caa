// The entry, the main loop with the scene state machine, and the window procedure.
#include "shell/winmain.h"

#include "media/display.h"
#include "media/load_report.h"
#include "media/random.h"
#include "media/sound.h"
#include "platform/services/options.h"
#include "platform/stand_in/runtime.h"
#include "replay/replay_keep.h"
#include "scenes/best_times.h"
#include "scenes/mode_select.h"
#include "scenes/play.h"
#include "scenes/title.h"
#include "shell/error_log.h"
#include "shell/globals.h"

namespace {

// R: the mode again at once. Its virtual-key code is the capital letter, as for every
// letter key.
constexpr WPARAM kRetryKey = 'R';

// Set when R leaves a round: mode select, once it has shown a frame, hears R again and
// starts the same mode, so the new round begins as any round begun there does and its
// replay holds nothing but that key.
bool g_retryPending = false;

void ClickSwing() {
    if (!SND_SWING_A) return;
    DWORD status = 0;
    SND_SWING_A->GetStatus(&status);
    if (status == DSBSTATUS_PLAYING) {
        if (SND_SWING_B) SND_SWING_B->Play(0, 0, 0);
    } else {
        SND_SWING_A->Play(0, 0, 0);
    }
}

void OnKey(WPARAM key) {
    if (key == VK_RETURN) {
        SpawnDivisor -= 10;
        if (SpawnDivisor <= 0) SpawnDivisor = 1;
    } else if (key == VK_SPACE) {
        SpawnDivisor += 10;
    } else if (key == VK_ESCAPE) {
        if (SceneState == STATE_TITLE_FRAME) {
            SceneState = STATE_TITLE_LEAVE;
            NextState = STATE_QUIT;
        } else if (SceneState == STATE_MODE_FRAME) {
            SceneState = STATE_MODE_LEAVE;
            NextState = STATE_TITLE_ENTER;
        } else if (SceneState == STATE_PLAY_FRAME) {
            SceneState = STATE_PLAY_LEAVE;
            NextState = STATE_MODE_ENTER;
        }
    } else if (key == kRetryKey) {
        // From a round or its results board the round is left as Escape leaves it.
        if (SceneState == STATE_PLAY_FRAME) {
            SceneState = STATE_PLAY_LEAVE;
            NextState = STATE_MODE_ENTER;
            g_retryPending = true;
        } else if (SceneState == STATE_MODE_FRAME) {
            ModeSelectStart();
        }
    }
}

void OnLeftButtonDown() {
    ClickSwing();
    if (SceneState == STATE_TITLE_FRAME)
        TitleClick();
    else if (SceneState == STATE_MODE_FRAME)
        ModeSelectClick();
    else if (SceneState == STATE_PLAY_FRAME)
        PlayClick();
    MouseDown = 1;
}

}  // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        ReleaseDisplay();
        ReleaseSound();
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        // A record set just before the window closes must not be lost.
        SaveBestTimes();
        DestroyWindow(hwnd);
        return 0;
    case WM_ACTIVATEAPP:
        if (wParam && (lpDD || lpDS)) {
            if (lpDD) RestoreDisplay();
            if (lpDS) RestoreSound();
            return 1;
        }
        break;
    case WM_KEYDOWN: OnKey(wParam); break;
    case WM_LBUTTONDOWN: OnLeftButtonDown(); break;
    case WM_LBUTTONUP: MouseDown = 0; break;
    default: break;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void RunSceneStep() {
    switch (SceneState) {
    case STATE_START: SceneState = STATE_TITLE_ENTER; break;
    case STATE_TITLE_ENTER:
        EnterTitle();
        SceneState = STATE_TITLE_FRAME;
        break;
    case STATE_TITLE_FRAME: TitleFrame(); break;
    case STATE_TITLE_LEAVE:
        LeaveTitle();
        SceneState = NextState;
        break;
    case STATE_MODE_ENTER:
        EnterModeSelect();
        SceneState = STATE_MODE_FRAME;
        break;
    case STATE_MODE_FRAME:
        ModeSelectFrame();
        if (g_retryPending) {
            g_retryPending = false;
            PostMessage(hWnd, WM_KEYDOWN, kRetryKey, 1);
        }
        break;
    case STATE_MODE_LEAVE:
        // Mode select left some other way before it took the retry: no round follows.
        g_retryPending = false;
        LeaveModeSelect();
        SceneState = NextState;
        break;
    case STATE_PLAY_ENTER:
        EnterPlay();
        SceneState = STATE_PLAY_FRAME;
        break;
    case STATE_PLAY_FRAME: PlayFrame(); break;
    case STATE_PLAY_LEAVE:
        LeavePlay();
        SceneState = NextState;
        SaveBestTimes();
        break;
    case STATE_QUIT:
        SaveBestTimes();
        DestroyWindow(hWnd);
        break;
    default: break;
    }
}

int CreateGameWindow(HINSTANCE instance) {
    hInst = instance;
    WNDCLASSEX wc = {};
    wc.cbSize = sizeof(WNDCLASSEX);
    wc.style = 0;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "TEST";
    if (!RegisterClassEx(&wc)) {
        MessageBox(nullptr, "RegisterClassEx();", "error", MB_OK);
        return 0;
    }
    hWnd = CreateWindowEx(0, "TEST", "Zumble", WS_POPUP | WS_VISIBLE | WS_SYSMENU, 0, 0,
                          GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                          nullptr, instance, nullptr);
    if (!hWnd) {
        MessageBox(nullptr, "CreateWindowEx();", "error", MB_OK);
        return 0;
    }
    return 1;
}

int StartHeadlessDisplay() {
    g_Options.headless = true;
    return PlatformInit() && CreateGameWindow(nullptr) && InitDisplay();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, char*, int) {
    // The files that cannot be loaded go to error.txt, and the kept replays follow the
    // best times they hold whenever the table is saved.
    SetLoadReport(AddToErrorLog);
    SetSavedRowFollower(MoveKeptReplays);
    if (!CreateGameWindow(instance)) return 0;
    FlyCountSetting = 1;
    SpeedSetting = 1;
    EmptySoundTable();
    LoadBestTimes();
    SeedRandom(static_cast<std::uint32_t>(CalendarTime()));
    // A display or sound failure ends the game with exit code 1, so scripts can tell.
    if (!InitDisplay()) {
        MessageBox(hWnd, "Can't create DirectDraw Object", "error", MB_OK);
        return 1;
    }
    if (!InitSound()) {
        MessageBox(hWnd, "Can't create DirectSound Object", "error", MB_OK);
        ReleaseDisplay();
        return 1;
    }
    SceneState = STATE_START;
    for (;;) {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return 0;
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        RunSceneStep();
    }
}
