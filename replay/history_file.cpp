#include "replay/history_file.h"

#include <cstdlib>
#include <cstring>

#include "platform/services/files.h"
#include "platform/services/player_lock.h"
#include "platform/services/save_file.h"

namespace {

constexpr std::size_t kIdDigits = 16;  // of the identity, in a kept replay's name

bool IsFlies(long long n) { return n == 10 || n == 30 || n == 100 || n == 1000; }

// A whole number of at most 10 digits, nothing else.
bool Number(const char* text, long long high, long long* out) {
    const std::size_t n = std::strlen(text);
    if (n == 0 || n > 10) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    const long long v = std::strtoll(text, nullptr, 10);
    if (v > high) return false;
    *out = v;
    return true;
}

bool Identity(const char* text) {
    if (std::strlen(text) != 64) return false;
    for (const char* p = text; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'))) return false;
    return true;
}

// The identities of the rounds read so far, the newest kRing of them: enough to find the
// rounds that have just fallen out of the last 100, and a few more that an earlier
// removal may have missed.
constexpr int kRing = kHistoryKeptReplays + 8;
struct Recent {
    char ids[kRing][kIdDigits + 1];
    long long count = 0;
};
Recent g_recent;  // not on the stack of the frame that ends a round

void Collect(const HistoryRound& r, void*) {
    char* slot = g_recent.ids[g_recent.count % kRing];
    std::memcpy(slot, r.round, kIdDigits);  // "" stays "" (no replay)
    slot[kIdDigits] = '\0';
    ++g_recent.count;
}

bool AmongLast(const char* id) {
    for (long long i = g_recent.count - kHistoryKeptReplays; i < g_recent.count; ++i)
        if (i >= 0 && std::strcmp(g_recent.ids[i % kRing], id) == 0) return true;
    return false;
}

// The replays of the rounds just before the last 100 go, unless a later round is the
// same round (the same file).
void DropOldReplays() {
    g_recent.count = 0;
    int damaged = 0;
    if (!ReadHistory(Collect, nullptr, &damaged)) return;
    for (long long i = g_recent.count - kRing; i < g_recent.count - kHistoryKeptReplays; ++i) {
        if (i < 0) continue;
        const char* id = g_recent.ids[i % kRing];
        if (!id[0] || AmongLast(id)) continue;
        char name[64];
        HistoryReplayName(id, name, sizeof name);
        RemoveGamePath(name);
    }
}

// One append of the whole line, after a newline when the file's last line was cut off
// (so the cut one stays a line of its own, skipped, and this one reads whole).
void AppendLine(const char* line, std::size_t size) {
    std::FILE* file = OpenGamePath(kHistoryName, "a+b");
    if (!file) return;
    char text[kHistoryLineMax + 2];
    std::size_t at = 0;
    if (std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) > 0 &&
        std::fseek(file, -1, SEEK_END) == 0 && std::fgetc(file) != '\n')
        text[at++] = '\n';
    std::memcpy(text + at, line, size);
    std::fseek(file, 0, SEEK_END);
    std::fwrite(text, 1, at + size, file);
    FlushToDisk(file);
    std::fclose(file);
}

}  // namespace

void HistoryReplayName(const char* round, char* out, std::size_t size) {
    std::snprintf(out, size, "replays\\round-%.16s.zrp", round);
}

std::size_t FormatHistoryLine(const HistoryRound& r, char* out, std::size_t size) {
    char time[16];
    if (r.left)
        std::snprintf(time, sizeof time, "left");
    else
        std::snprintf(time, sizeof time, "%u", r.timeMs);
    // keys= came later, at the end: an older game passes over it.
    char keys[24] = "";
    if (r.keys >= 0) std::snprintf(keys, sizeof keys, " keys=%d", r.keys);
    const int n = std::snprintf(
        out, size, "played=%u flies=%d speed=%d time_ms=%s swatted=%d round=%s%s\n", r.played,
        r.flies, r.speed, time, r.swatted, r.round[0] ? r.round : "-", keys);
    return n > 0 && static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : 0;
}

bool ParseHistoryLine(const char* line, HistoryRound* r) {
    char copy[kHistoryLineMax + 1];
    if (std::strlen(line) > kHistoryLineMax) return false;
    std::strcpy(copy, line);
    *r = HistoryRound{};
    // Each key once; keys a later game adds are passed over.
    bool played = false, flies = false, speed = false, time = false, swatted = false, round = false,
         keys = false;
    for (char* word = std::strtok(copy, " "); word; word = std::strtok(nullptr, " ")) {
        char* value = std::strchr(word, '=');
        if (!value) return false;
        *value++ = '\0';
        long long n = 0;
        if (std::strcmp(word, "played") == 0) {
            if (played || !Number(value, 0xFFFFFFFFLL, &n)) return false;
            r->played = static_cast<std::uint32_t>(n);
            played = true;
        } else if (std::strcmp(word, "flies") == 0) {
            if (flies || !Number(value, 1000, &n) || !IsFlies(n)) return false;
            r->flies = static_cast<int>(n);
            flies = true;
        } else if (std::strcmp(word, "speed") == 0) {
            if (speed || !Number(value, 4, &n) || n < 1) return false;
            r->speed = static_cast<int>(n);
            speed = true;
        } else if (std::strcmp(word, "time_ms") == 0) {
            if (time) return false;
            r->left = std::strcmp(value, "left") == 0;
            if (!r->left) {
                if (!Number(value, 0xFFFFFFFELL, &n)) return false;
                r->timeMs = static_cast<std::uint32_t>(n);
            }
            time = true;
        } else if (std::strcmp(word, "swatted") == 0) {
            if (swatted || !Number(value, 1000, &n)) return false;
            r->swatted = static_cast<int>(n);
            swatted = true;
        } else if (std::strcmp(word, "round") == 0) {
            if (round) return false;
            if (std::strcmp(value, "-") != 0) {
                if (!Identity(value)) return false;
                std::memcpy(r->round, value, 65);
            }
            round = true;
        } else if (std::strcmp(word, "keys") == 0) {
            // Optional: the lines of older games do not have it.
            if (keys || !Number(value, 0x7FFFFFFFLL, &n)) return false;
            r->keys = static_cast<int>(n);
            keys = true;
        }
    }
    return played && flies && speed && time && swatted && round && r->swatted <= r->flies;
}

bool ReadHistory(void (*each)(const HistoryRound& r, void* context), void* context, int* damaged) {
    *damaged = 0;
    std::FILE* file = OpenGamePath(kHistoryName, "rb");
    if (!file) return false;
    static char line[kHistoryLineMax + 2];
    while (std::fgets(line, sizeof line, file)) {
        std::size_t n = std::strlen(line);
        const bool whole = n > 0 && line[n - 1] == '\n';
        if (!whole && !std::feof(file)) {
            // Too long to be the game's: skipped to its end.
            int c;
            while ((c = std::fgetc(file)) != EOF && c != '\n') {}
            ++*damaged;
            continue;
        }
        if (whole) line[--n] = '\0';
        if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';  // edited on Windows
        if (n == 0) continue;
        HistoryRound r;
        if (ParseHistoryLine(line, &r))
            each(r, context);
        else
            ++*damaged;
    }
    std::fclose(file);
    return true;
}

void KeepRoundInHistory(const HistoryRound& r, const std::uint8_t* file, std::size_t size) {
    char line[kHistoryLineMax + 1];
    const std::size_t length = FormatHistoryLine(r, line, sizeof line);
    LockPlayerFiles();
    if (file && r.round[0]) {
        char name[64], temp[72];
        HistoryReplayName(r.round, name, sizeof name);
        std::snprintf(temp, sizeof temp, "%s.tmp", name);
        MakeGameFolder("replays");
        SaveFileReplacing(name, temp, file, size);
    }
    if (length > 0) AppendLine(line, length);
    DropOldReplays();
    UnlockPlayerFiles();
}
