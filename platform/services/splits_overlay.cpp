#include "platform/services/splits_overlay.h"

#include <cstring>

#include "platform/services/options.h"

namespace {

SplitsDescriber g_describe = nullptr;

}  // namespace

void SetSplitsDescriber(SplitsDescriber describe) { g_describe = describe; }

bool DescribeSplitsOverlay(SplitsOverlay* out) {
    std::memset(out, 0, sizeof *out);
    if (!g_Options.splits || !g_describe) return false;
    return g_describe(out);
}

void ToggleSplits() { g_Options.splits = !g_Options.splits; }
