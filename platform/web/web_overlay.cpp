// The overlay in the page: the replay viewer's, or a played round's splits, described as
// JSON for page/viewer.js to draw on its own canvas over the game's (never into the
// game's picture), after every picture the game presents.
#include <emscripten/emscripten.h>

#include <cstdarg>
#include <cstdio>

#include "platform/services/notice.h"
#include "platform/services/overlay_draw.h"
#include "platform/services/splits_overlay.h"
#include "platform/services/viewer_input.h"
#include "platform/web/web_backend.h"

namespace {

ViewerOverlay g_overlay;
SplitsOverlay g_splits;
// The description: at most the trail, the clicks and the texts, each character escaped.
char g_json[16384];
int g_used = 0;

void Put(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Put(const char* format, ...) {
    if (g_used >= static_cast<int>(sizeof g_json) - 1) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(g_json + g_used, sizeof g_json - static_cast<std::size_t>(g_used),
                                 format, args);
    va_end(args);
    if (n > 0)
        g_used = g_used + n < static_cast<int>(sizeof g_json) ? g_used + n
                                                              : static_cast<int>(sizeof g_json) - 1;
}

// The length of the UTF-8 sequence at `text` (at most `left` bytes), or 0 when it is none.
int Utf8Length(const unsigned char* text, int left) {
    const unsigned char c = text[0];
    const int n = c >= 0xC2 && c <= 0xDF   ? 2
                  : c >= 0xE0 && c <= 0xEF ? 3
                  : c >= 0xF0 && c <= 0xF4 ? 4
                                           : 0;
    if (n == 0 || n > left) return 0;
    for (int i = 1; i < n; ++i)
        if ((text[i] & 0xC0) != 0x80) return 0;
    // No overlong forms, surrogates or code points past U+10FFFF.
    if ((c == 0xE0 && text[1] < 0xA0) || (c == 0xED && text[1] > 0x9F) ||
        (c == 0xF0 && text[1] < 0x90) || (c == 0xF4 && text[1] > 0x8F))
        return 0;
    return n;
}

// A text of the overlay as a JSON string: it holds the recording program's name from
// the file, or a raced run's player, which may be anything. UTF-8 goes as it is, so a
// player's name reads as written; any other byte is the character of its value.
void PutText(const char* text, int size) {
    Put("\"");
    int length = 0;
    while (length < size && text[length]) ++length;
    for (int i = 0; i < length;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int n = c >= 0x80
                          ? Utf8Length(reinterpret_cast<const unsigned char*>(text + i), length - i)
                          : 1;
        if (n > 1)
            Put("%.*s", n, text + i);
        else if (c == '"' || c == '\\')
            Put("\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            Put("\\u%04x", c);
        else
            Put("%c", c);
        i += n > 1 ? n : 1;
    }
    Put("\"");
}

// The viewer's state and overlay as JSON; false when no replay is watched.
bool Describe() {
    const ViewerInput* viewer = ActiveViewerInput();
    if (!viewer || !viewer->describe) return false;
    viewer->describe(&g_overlay);
    const ViewerOverlay& o = g_overlay;
    g_used = 0;
    Put("{\"shown\":%d,\"help\":%d,\"paused\":%d,\"holdingBar\":%d,\"seeking\":%d,\"frame\":%lld,"
        "\"frames\":%lld,\"live\":%d,\"waiting\":%d,\"speed\":%g,\"bar\":%.6f,\"trail\":[",
        o.shown ? 1 : 0, o.help ? 1 : 0, o.paused ? 1 : 0, o.holdingBar ? 1 : 0,
        ActiveViewerSeeking() ? 1 : 0, o.frame, o.frames, o.live ? 1 : 0, o.waiting ? 1 : 0,
        o.speed, o.barFraction);
    for (int i = 0; i < o.trailCount && i <= kViewerTrailFrames; ++i)
        Put("%s[%.2f,%.2f,%.4f]", i ? "," : "", o.trail[i].x, o.trail[i].y, o.trail[i].age);
    Put("],\"clicks\":[");
    for (int i = 0; i < o.clickCount && i < kViewerMaxClicks; ++i)
        Put("%s[%.2f,%.2f,%.4f]", i ? "," : "", o.clicks[i].x, o.clicks[i].y, o.clicks[i].alpha);
    Put("],\"top\":");
    PutText(o.topLine, kViewerTextSize);
    Put(",\"helpLine\":");
    PutText(o.helpLine, kViewerTextSize);
    Put(",\"helpLines\":[");
    for (int i = 0; i < o.helpCount && i < 12; ++i) {
        if (i) Put(",");
        PutText(o.helpLines[i], 64);
    }
    Put("],\"barRect\":[%g,%g,%g,%g]}", kViewerBarX, kViewerBarY, kViewerBarW, kViewerBarH);
    return true;
}

// A round's splits as JSON ("splits":1 tells them from the viewer's); false when there is
// nothing to show (turned off, no reference, not in a round, or a replay watched).
bool DescribeSplits() {
    if (ActiveViewerInput() || !DescribeSplitsOverlay(&g_splits)) return false;
    const SplitsOverlay& o = g_splits;
    g_used = 0;
    Put("{\"splits\":1,\"race\":");
    PutText(o.raceLine, kSplitsLineSize);
    Put(",\"delta\":");
    PutText(o.delta, sizeof o.delta);
    Put(",\"tone\":%d,\"count\":", o.tone);
    PutText(o.count, sizeof o.count);
    Put(",\"board\":[");
    for (int i = 0; i < o.boardCount && i < kSplitsBoardLines; ++i) {
        if (i) Put(",");
        PutText(o.board[i], kSplitsLineSize);
    }
    Put("],\"boardBox\":[%d,%d],\"tableRow\":%d,\"rowBox\":[%d,%d,%d,%d],\"newBest\":%d,"
        "\"newBestTop\":%d,\"notice\":",
        kSplitsBoardTop, kSplitsBoardBottom, o.tableRow, kTableLeft, kTableRowTop, kTableRight,
        kTableRowStep, o.newBest ? 1 : 0, kNewBestTop);
    PutText(o.notice, sizeof o.notice);
    Put(",\"noticeTop\":%d}", kNoticeTop);
    return true;
}

EM_JS(void, WebOverlayDraw, (const char* json),
      { zumbleViewerDraw(json ? UTF8ToString(json) : null); });

}  // namespace

void WebDrawOverlay() {
    WebOverlayDraw(Describe() || DescribeSplits() ? g_json : nullptr);
    NoticeFramePassed();  // this frame counts for a notice shown
}

// The viewer's state for the page's tests: the same JSON, or null when no replay is watched.
extern "C" EMSCRIPTEN_KEEPALIVE const char* ZumbleViewerState() {
    return Describe() ? g_json : nullptr;
}

// The splits for the page's tests: the same JSON, or null when nothing is shown.
extern "C" EMSCRIPTEN_KEEPALIVE const char* ZumbleSplitsState() {
    return DescribeSplits() ? g_json : nullptr;
}
