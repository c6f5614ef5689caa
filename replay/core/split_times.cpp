#include "replay/core/split_times.h"

#include <cstdio>

#include "replay/core/mode_words.h"

bool SplitDeltaAt(const std::uint32_t* reference, int referenceCounts, int count,
                  std::uint32_t clockMs, std::int64_t* deltaMs) {
    if (count < 1 || count > referenceCounts) return false;
    *deltaMs = static_cast<std::int64_t>(clockMs) - static_cast<std::int64_t>(reference[count - 1]);
    return true;
}

int SplitCountAt(const std::uint32_t* reference, int referenceCounts, std::uint32_t clockMs) {
    // The times never fall: the first count whose time is later is the answer.
    int low = 0, high = referenceCounts < 0 ? 0 : referenceCounts;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (reference[mid] <= clockMs)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

int SplitDeltaText(std::int64_t deltaMs, char* out, std::size_t capacity) {
    const std::int64_t size = deltaMs < 0 ? -deltaMs : deltaMs;
    const std::int64_t hundredths = (size + 5) / 10;
    const int sign = hundredths == 0 ? 0 : deltaMs < 0 ? -1 : 1;
    std::snprintf(out, capacity, "%s%lld.%02lld",
                  sign < 0   ? "-"
                  : sign > 0 ? "+"
                             : "",
                  static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
    return sign;
}

void SplitClockText(std::uint32_t ms, char* out, std::size_t capacity) {
    std::snprintf(out, capacity, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
}

int SplitResultLines(const SplitResult& r, char lines[kSplitResultLines][kSplitsTextSize]) {
    int n = 0;
    char mode[40], clock[16], other[16], delta[16];
    ModeName(r.flies, r.speed, mode, sizeof mode);
    SplitClockText(r.timeMs, clock, sizeof clock);
    std::snprintf(lines[n++], kSplitsTextSize, "%s   %s", mode, clock);
    if (!r.hadBest) {
        std::snprintf(lines[n++], kSplitsTextSize, "new best: the mode's first time");
    } else {
        const std::int64_t d =
            static_cast<std::int64_t>(r.timeMs) - static_cast<std::int64_t>(r.oldBestMs);
        SplitDeltaText(d, delta, sizeof delta);
        SplitClockText(r.oldBestMs, other, sizeof other);
        if (d < 0)
            std::snprintf(lines[n++], kSplitsTextSize, "new best: %s on the old best %s", delta,
                          other);
        else
            std::snprintf(lines[n++], kSplitsTextSize, "%s on the best %s", delta, other);
    }
    if (r.place >= 0)
        std::snprintf(lines[n++], kSplitsTextSize, "in the table at place %d of 5", r.place + 1);
    else
        std::snprintf(lines[n++], kSplitsTextSize, "not among the five best");
    if (r.raceName) {
        const std::int64_t d =
            static_cast<std::int64_t>(r.timeMs) - static_cast<std::int64_t>(r.raceMs);
        SplitDeltaText(d, delta, sizeof delta);
        SplitClockText(r.raceMs, other, sizeof other);
        std::snprintf(lines[n++], kSplitsTextSize, "race: %s on %.40s (%s)", delta, r.raceName,
                      other);
    }
    if (r.paceChanged)
        std::snprintf(lines[n++], kSplitsTextSize, "pace changed with Enter or Space mid-round");
    return n;
}
