// The page's input as the game's window messages: the mouse and touch on the canvas,
// the keys Escape, Enter, Space, R and S, and the tab hidden or shown. Browser events arrive
// between two frames of the game; they wait in a small ring until the game pumps its
// input, as a desktop's event queue would. While a replay is watched the keys and the
// pointer go to the viewer instead, at the same pump.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

#include "platform/services/input_source.h"
#include "platform/services/options.h"
#include "platform/services/splits_overlay.h"
#include "platform/services/viewer_input.h"
#include "platform/stand_in/runtime.h"
#include "platform/web/web_backend.h"

namespace {

// A viewer's key: its ViewerKey in wParam, Shift in x.
constexpr UINT kViewerKeyMessage = 0x8001;  // beyond every message the game knows
// A seek asked for by the page's tests and benchmark: the frame in wParam.
constexpr UINT kViewerSeekMessage = 0x8002;

struct PageEvent {
    UINT message;
    WPARAM wParam;
    int x;
    int y;
};

constexpr int kRing = 256;
PageEvent g_ring[kRing];
int g_head = 0;
int g_count = 0;

// A flood of input drops the newest, as the game's own queue does.
void Queue(UINT message, WPARAM wParam, int x, int y) {
    if (g_count == kRing) return;
    g_ring[(g_head + g_count) % kRing] = PageEvent{message, wParam, x, y};
    ++g_count;
}

// Maps a point of the page to the 640x480 picture, wherever the canvas is and however
// it is scaled; a point outside the picture lands on its nearest edge. The events give
// whole CSS pixels, while a phone's picture has game pixels smaller than that: the same
// pointer's exact position, from the pointer event that came just before, is used.
// (JavaScript, laid out by hand: clang-format would split its === apart.)
// clang-format off
EM_JS(void, WebPageToGame, (int clientX, int clientY, int* out), {
    var rect = Module['canvas'].getBoundingClientRect();
    var exact = zumblePointerAt;
    var px = exact && Math.trunc(exact.x) === clientX ? exact.x : clientX;
    var py = exact && Math.trunc(exact.y) === clientY ? exact.y : clientY;
    var x = rect.width > 0 ? Math.floor((px - rect.left) * 640 / rect.width) : 0;
    var y = rect.height > 0 ? Math.floor((py - rect.top) * 480 / rect.height) : 0;
    HEAP32[out >> 2] = Math.max(0, Math.min(639, x));
    HEAP32[(out >> 2) + 1] = Math.max(0, Math.min(479, y));
});
// clang-format on

void QueuePointer(UINT message, long clientX, long clientY) {
    int at[2];
    WebPageToGame(static_cast<int>(clientX), static_cast<int>(clientY), at);
    Queue(WM_MOUSEMOVE, 0, at[0], at[1]);
    if (message != WM_MOUSEMOVE) Queue(message, message == WM_LBUTTONDOWN ? 1 : 0, at[0], at[1]);
}

EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* e, void*) {
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
        QueuePointer(WM_MOUSEMOVE, e->clientX, e->clientY);
        return EM_FALSE;
    }
    if (e->button != 0) return EM_FALSE;
    QueuePointer(type == EMSCRIPTEN_EVENT_MOUSEDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, e->clientX,
                 e->clientY);
    return type == EMSCRIPTEN_EVENT_MOUSEDOWN;  // no text selection, no focus change
}

// A tap is a click: the first finger down presses the button, lifting it releases it.
EM_BOOL OnTouch(int type, const EmscriptenTouchEvent* e, void*) {
    for (int i = 0; i < e->numTouches; ++i) {
        const EmscriptenTouchPoint& t = e->touches[i];
        if (!t.isChanged) continue;
        const UINT message = type == EMSCRIPTEN_EVENT_TOUCHSTART  ? WM_LBUTTONDOWN
                             : type == EMSCRIPTEN_EVENT_TOUCHMOVE ? WM_MOUSEMOVE
                                                                  : WM_LBUTTONUP;
        QueuePointer(message, t.clientX, t.clientY);
        NoteInputSource(kInputTouch);  // the round's replay says so
        break;
    }
    return EM_TRUE;  // no scrolling, zooming or emulated mouse events
}

// The page keeps the splits' setting with its own (viewer.js).
EM_JS(void, WebSplitsKept, (int on), { zumbleSplitsKeep(!!on); });

EM_BOOL OnKey(int, const EmscriptenKeyboardEvent* e, void*) {
    ViewerKey viewerKey;
    if (ActiveViewerInput() && !e->ctrlKey && !e->altKey && !e->metaKey &&
        ViewerKeyForName(e->key, &viewerKey)) {
        Queue(kViewerKeyMessage, static_cast<WPARAM>(viewerKey), e->shiftKey ? 1 : 0, 0);
        return EM_TRUE;  // Space, Home and End would scroll the page
    }
    WPARAM key = 0;
    if (std::strcmp(e->key, "Enter") == 0 && !e->altKey)
        key = VK_RETURN;  // Alt+Enter: full screen
    else if (std::strcmp(e->key, " ") == 0 || std::strcmp(e->code, "Space") == 0)
        key = VK_SPACE;
    else if (std::strcmp(e->key, "Escape") == 0)
        key = VK_ESCAPE;
    // R restarts the mode, once for a held key; Ctrl+R and the like stay the browser's.
    else if ((std::strcmp(e->key, "r") == 0 || std::strcmp(e->key, "R") == 0) && !e->ctrlKey &&
             !e->altKey && !e->metaKey)
        key = e->repeat ? 0 : 'R';
    // S shows or hides the splits: the presentation's, the game never hears it.
    else if ((std::strcmp(e->key, "s") == 0 || std::strcmp(e->key, "S") == 0) && !e->ctrlKey &&
             !e->altKey && !e->metaKey && !ActiveViewerInput()) {
        if (!e->repeat) {
            ToggleSplits();
            WebSplitsKept(g_Options.splits ? 1 : 0);
        }
        return EM_TRUE;
    }
    if (key == 0) return EM_FALSE;
    Queue(WM_KEYDOWN, key, 0, 0);
    return EM_TRUE;  // Space would scroll the page
}

// A hidden tab gets no animation frames, so the game waits; it hears of it through the
// same deactivate and activate messages as a desktop window losing and regaining focus.
EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    Queue(WM_ACTIVATEAPP, e->hidden ? 0 : 1, 0, 0);
    return EM_FALSE;
}

}  // namespace

// The page's tests and benchmark: a seek to `frame` at the next pump, as the seek bar
// would ask for it.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleViewerSeek(int frame) {
    if (frame >= 0) Queue(kViewerSeekMessage, static_cast<WPARAM>(frame), 0, 0);
}

// The page's own buttons beside the picture (a touch screen has no keys): Retry is R,
// Leave is Escape, taken at the next pump as the keys would be.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleRetry() { Queue(WM_KEYDOWN, 'R', 0, 0); }
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleLeave() { Queue(WM_KEYDOWN, VK_ESCAPE, 0, 0); }

void WebListen() {
    const char* canvas = "#canvas";
    const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_mousedown_callback(canvas, nullptr, EM_TRUE, OnMouse);
    // Moves and releases are followed over the whole page, so a press that leaves the
    // canvas still ends.
    emscripten_set_mousemove_callback(window, nullptr, EM_TRUE, OnMouse);
    emscripten_set_mouseup_callback(window, nullptr, EM_TRUE, OnMouse);
    emscripten_set_touchstart_callback(canvas, nullptr, EM_TRUE, OnTouch);
    emscripten_set_touchmove_callback(canvas, nullptr, EM_TRUE, OnTouch);
    emscripten_set_touchend_callback(canvas, nullptr, EM_TRUE, OnTouch);
    emscripten_set_touchcancel_callback(canvas, nullptr, EM_TRUE, OnTouch);
    emscripten_set_keydown_callback(window, nullptr, EM_TRUE, OnKey);
    emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, OnVisibility);
}

void WebStopListening() {
    emscripten_html5_remove_all_event_listeners();
    g_count = 0;
}

void WebPumpInput() {
    while (g_count > 0) {
        const PageEvent e = g_ring[g_head];
        g_head = (g_head + 1) % kRing;
        --g_count;
        const bool pointer =
            e.message == WM_MOUSEMOVE || e.message == WM_LBUTTONDOWN || e.message == WM_LBUTTONUP;
        if (const ViewerInput* viewer = ActiveViewerInput()) {
            if (e.message == kViewerKeyMessage) {
                viewer->key(static_cast<ViewerKey>(e.wParam), e.x != 0);
                continue;
            }
            if (e.message == kViewerSeekMessage) {
                viewer->seek(static_cast<long long>(e.wParam));
                continue;
            }
            if (pointer) {
                viewer->pointer(e.message == WM_LBUTTONDOWN ? ViewerPointer::Down
                                : e.message == WM_LBUTTONUP ? ViewerPointer::Up
                                                            : ViewerPointer::Move,
                                e.x, e.y);
                continue;
            }
        }
        if (e.message == kViewerKeyMessage || e.message == kViewerSeekMessage)
            continue;  // the viewer has gone
        PostGameMessage(e.message, e.wParam,
                        pointer ? MakeCursorLParam(e.x, e.y) : (e.message == WM_KEYDOWN ? 1 : 0));
    }
}
