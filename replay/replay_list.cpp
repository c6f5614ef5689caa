#include "replay/replay_list.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/services/files.h"
#include "replay/core/mode_words.h"
#include "replay/core/replay_format.h"
#include "replay/replay_keep.h"
#include "replay/replay_state.h"

bool ReadKeptReplay(const char* name, KeptReplayFacts* facts) {
    *facts = KeptReplayFacts{};
    errno = 0;
    std::FILE* file = OpenGamePath(name, "rb");
    if (!file) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        facts->reason = errno == EISDIR || errno == EINVAL
                            ? "not a regular file"
                            : std::string("cannot open it: ") + std::strerror(errno);
        return true;
    }
    // One byte more than a replay may hold: a longer file is refused without reading on.
    std::vector<std::uint8_t> bytes(kReplayMaxFile + 1);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    ReplayFile parsed;
    char why[kReplayReasonSize] = "";
    if (failed) {
        facts->reason = std::string("cannot read it: ") + std::strerror(error);
    } else if (got > kReplayMaxFile) {
        facts->reason = "too long to be a replay";
    } else if (!ReplayParse(bytes.data(), got, &parsed, why, sizeof why)) {
        facts->reason = why;
    } else {
        facts->readable = true;
        facts->flies = FliesForSetting(parsed.header.flySetting);
        facts->speed = parsed.header.speedSetting + 1;
        facts->timeMs = parsed.header.timeMs;
        facts->calendarTime = parsed.header.calendarTime;
    }
    return true;
}

std::string KeptReplayLine(const char* what, const KeptReplayFacts& facts,
                           const std::string& path) {
    char line[512];
    char mode[32] = "", time[32], date[32] = "?";
    if (facts.flies > 0) ModeName(facts.flies, facts.speed, mode, sizeof mode);
    if (!facts.readable) {
        std::snprintf(line, sizeof line, "%-10s  %-20s  unreadable: %s  %s", what, mode,
                      facts.reason.c_str(), path.c_str());
        return line;
    }
    if (facts.timeMs == kReplayNoTime)
        std::snprintf(time, sizeof time, "no time");
    else
        std::snprintf(time, sizeof time, "%u.%03u s", facts.timeMs / 1000, facts.timeMs % 1000);
    const std::time_t when = static_cast<std::time_t>(facts.calendarTime);
    if (const std::tm* local = std::localtime(&when))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", local);
    std::snprintf(line, sizeof line, "%-10s  %-20s  %10s  %-16s  %s", what, mode, time, date,
                  path.c_str());
    return line;
}

int ListKeptReplays(std::FILE* out) {
    std::string folder;
    if (!ShownGamePath("replays", &folder)) {
        std::fprintf(out, "No kept replays: the folder of the player's files cannot be used.\n");
        return 0;
    }
    int listed = 0;
    // A best time's file that cannot be read still names its mode.
    auto list = [&](const char* what, const char* name, int flies, int speed) {
        KeptReplayFacts facts;
        std::string path;
        if (!ReadKeptReplay(name, &facts) || !ShownGamePath(name, &path)) return;
        if (!facts.readable) {
            facts.flies = flies;
            facts.speed = speed;
        }
        std::fprintf(out, "%s\n", KeptReplayLine(what, facts, path).c_str());
        ++listed;
    };
    list("last round", kLastReplayName, 0, 0);
    for (int flies = 0; flies < 4; ++flies)
        for (int speed = 0; speed < 4; ++speed)
            for (int place = 0; place < 5; ++place) {
                char name[64], what[16];
                ReplayEntryName(flies, speed, place, name, sizeof name);
                std::snprintf(what, sizeof what, "best %d", place + 1);
                list(what, name, FliesForSetting(flies), speed + 1);
            }
    if (listed == 0)
        std::fprintf(out, "No kept replays in %s yet: every round played is kept there.\n",
                     folder.c_str());
    return 0;
}
