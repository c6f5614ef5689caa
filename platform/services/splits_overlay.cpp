#include "platform/services/splits_overlay.h"

#include <cstdio>
#include <cstring>

#include "platform/services/notice.h"
#include "platform/services/options.h"

namespace {

SplitsDescriber g_describe = nullptr;

}  // namespace

void SetSplitsDescriber(SplitsDescriber describe) { g_describe = describe; }

bool DescribeSplitsOverlay(SplitsOverlay* out) {
    std::memset(out, 0, sizeof *out);
    out->tableRow = -1;
    const bool described = g_Options.splits && g_describe && g_describe(out);
    const char* notice = CurrentNotice();
    if (notice) std::snprintf(out->notice, sizeof out->notice, "%s", notice);
    return described || notice;
}

void ToggleSplits() {
    g_Options.splits = !g_Options.splits;
    ShowNotice(g_Options.splits ? "splits on (S)" : "splits off (S)");
}
