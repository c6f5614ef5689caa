#include "replay/history_list.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/services/files.h"
#include "replay/core/mode_words.h"
#include "replay/history_file.h"

namespace {

struct Listing {
    std::FILE* out = nullptr;
    int flies = 0, speed = 0;  // 0: every mode
    int listed = 0;
};

bool ParseFlies(const char* text, int* out) {
    for (int f : {10, 30, 100, 1000})
        if (std::to_string(f) == text) {
            *out = f;
            return true;
        }
    return false;
}

// The word as the mode-select screen writes it, in any case.
bool SameWord(const char* word, const char* text) {
    for (; *word && *text; ++word, ++text)
        if (*word != std::toupper(static_cast<unsigned char>(*text))) return false;
    return *word == *text;
}

bool ParseSpeed(const char* text, int* out) {
    for (int s = 1; s <= 4; ++s)
        if (std::to_string(s) == text || SameWord(SpeedWord(s), text)) {
            *out = s;
            return true;
        }
    return false;
}

void PrintRound(const HistoryRound& r, void* context) {
    Listing& l = *static_cast<Listing*>(context);
    if (l.flies && (r.flies != l.flies || r.speed != l.speed)) return;
    char date[32] = "?", mode[32], time[32];
    const std::time_t when = static_cast<std::time_t>(r.played);
    if (const std::tm* local = std::localtime(&when))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", local);
    ModeName(r.flies, r.speed, mode, sizeof mode);
    if (r.left)
        std::snprintf(time, sizeof time, "left");
    else
        std::snprintf(time, sizeof time, "%u.%03u s", r.timeMs / 1000, r.timeMs % 1000);
    std::string replay;
    if (r.round[0]) {
        char name[64];
        HistoryReplayName(r.round, name, sizeof name);
        // The replay is named only while it is kept (the last 100 rounds').
        if (std::FILE* f = OpenGamePath(name, "rb")) {
            std::fclose(f);
            ShownGamePath(name, &replay);
        }
    }
    // A round whose flies came faster or slower than the mode's says so last (the board
    // files it apart).
    std::fprintf(l.out, "%-16s  %-18s  %10s  %4d/%-4d  %s%s\n", date, mode, time, r.swatted,
                 r.flies, replay.c_str(), r.keys > 0 ? "  pace changed with Enter or Space" : "");
    ++l.listed;
}

}  // namespace

int ListHistory(std::FILE* out, const char* flies, const char* speed) {
    Listing l;
    l.out = out;
    if (flies && *flies && (!ParseFlies(flies, &l.flies) || !ParseSpeed(speed, &l.speed))) {
        std::fprintf(
            stderr,
            "zumble: --history wants FLIES (10, 30, 100, 1000) and SPEED (1-4 or SLOW, NORMAL, "
            "FAST, CRAZY), not '%s %s'\n",
            flies, speed);
        return 2;
    }
    std::string path;
    if (!ShownGamePath(kHistoryName, &path)) {
        std::fprintf(out, "No history: the folder of the player's files cannot be used.\n");
        return 0;
    }
    int damaged = 0;
    errno = 0;
    if (!ReadHistory(PrintRound, &l, &damaged) && errno != ENOENT && errno != ENOTDIR) {
        std::fprintf(out, "The history %s cannot be read: %s\n", path.c_str(),
                     errno == EISDIR ? "not a regular file" : std::strerror(errno));
        return 0;
    }
    if (l.listed == 0) {
        char mode[32] = "";
        if (l.flies) ModeName(l.flies, l.speed, mode, sizeof mode);
        std::fprintf(out, "No rounds%s%s in %s yet: every round played is written there.\n",
                     l.flies ? " of " : "", mode, path.c_str());
    }
    if (damaged > 0)
        std::fprintf(stderr, "zumble: %d line%s of %s could not be read and %s skipped\n", damaged,
                     damaged == 1 ? "" : "s", path.c_str(), damaged == 1 ? "was" : "were");
    return 0;
}
