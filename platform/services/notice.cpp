#include "platform/services/notice.h"

#include <cstdio>

namespace {

char g_text[kNoticeSize];
int g_framesLeft = 0;

}  // namespace

void ShowNotice(const char* text) { ShowNoticeFor(text, kNoticeFrames); }

void ShowNoticeFor(const char* text, int frames) {
    std::snprintf(g_text, sizeof g_text, "%s", text ? text : "");
    g_framesLeft = g_text[0] ? frames : 0;
}

const char* CurrentNotice() { return g_framesLeft > 0 ? g_text : nullptr; }

void NoticeFramePassed() {
    if (g_framesLeft > 0) --g_framesLeft;
}
