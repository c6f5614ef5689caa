#include "shell/driver/splits_run.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/services/files.h"
#include "platform/services/input_source.h"
#include "platform/services/notice.h"
#include "platform/services/options.h"
#include "platform/services/splits_overlay.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_bounds.h"
#include "replay/core/replay_format.h"
#include "replay/core/split_times.h"
#include "replay/history_file.h"
#include "replay/replay_keep.h"
#include "replay/replay_play.h"
#include "replay/replay_state.h"
#include "scenes/best_times.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"
#include "shell/driver/reference_round.h"
#include "shell/driver/room_overlay.h"

namespace {

// A best kept replay is read at each round's start into room taken once; one larger than
// this (a round of hours) gives no splits.
constexpr std::size_t kKeptReplayRoom = 1u << 20;
// The first run's hint of the keys, and how long it stays (six seconds, or until a round
// starts: the round's picture is the game's own).
constexpr char kHint[] = "R: start again at once   S: splits on or off   M: sound";
constexpr int kHintFrames = 360;

struct Race {
    bool set = false;
    std::vector<std::uint8_t> bytes;
    ReplayFile file;
    char name[48] = {};
    bool leadIn = false;  // to mode select, in the race's mode, at the next chance
};

struct Splits {
    bool started = false;
    std::vector<std::uint8_t> kept;  // the mode's best kept replay, read at a round's start
    ReplayFile keptFile;

    bool inRound = false;
    bool raced = false;  // the reference is the race's
    ReferenceSplits reference;
    // The round's own splits: the swats counted at the last flip are timed at the next,
    // once the game's clock has run to them.
    int timed = 0, pending = 0;
    std::uint32_t live[kSplitsMostCounts];
    // The results board.
    int row = 0;
    int rowBefore[5] = {};
    bool resultKnown = false;
    int place = -1;  // the table's row the time took
    bool newBest = false;
    // The pace the flies came at when the round began; Enter or Space may change it.
    int divisor = 0;
    bool paceChanged = false;
    int boardCount = 0;
    char board[kSplitResultLines][kSplitsTextSize];
    bool hinted = false;  // the first run's hint of the keys was looked at
};

Race g_race;
Splits g_splits;

bool SameMode(const ReplayHeader& h) {
    return h.flySetting == (FlyCountSetting & 3) && h.speedSetting == (SpeedSetting & 3);
}

// The mode's best kept replay, parsed into g_splits.keptFile; false for none that fits.
bool ReadBestKept() {
    char name[64];
    ReplayEntryName(FlyCountSetting & 3, SpeedSetting & 3, 0, name, sizeof name);
    std::FILE* file = OpenGamePath(name, "rb");
    if (!file) return false;
    const std::size_t got = std::fread(g_splits.kept.data(), 1, g_splits.kept.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    char why[kReplayReasonSize];
    return !failed && got < g_splits.kept.size() &&
           ReplayParse(g_splits.kept.data(), got, &g_splits.keptFile, why, sizeof why) &&
           SameMode(g_splits.keptFile.header) &&
           ReplayHeaderCost(g_splits.keptFile.header) == ReplayCost::Fits;
}

void BeginRound() {
    Splits& s = g_splits;
    const char* notice = CurrentNotice();
    if (notice && std::strcmp(notice, kHint) == 0) ShowNotice("");
    s.inRound = true;
    s.timed = s.pending = 0;
    s.resultKnown = false;
    s.place = -1;
    s.newBest = false;
    s.divisor = 0;
    s.paceChanged = false;
    s.boardCount = 0;
    s.row = (SpeedSetting & 3) + 4 * (FlyCountSetting & 3);
    std::memcpy(s.rowBefore, BestTimes[s.row], sizeof s.rowBefore);
    s.reference.counts = 0;
    s.raced = g_race.set && SameMode(g_race.file.header);
    if (!g_Options.splits && !s.raced) return;  // turned off: no reference is read
    const ReplayFile* reference = s.raced ? &g_race.file : ReadBestKept() ? &s.keptFile : nullptr;
    if (reference && !PlayReferenceRound(*reference, &s.reference) && s.raced)
        std::fprintf(stderr,
                     "zumble: the raced replay does not play to its time here: no splits\n");
}

// The time has gone to the table: what the board says of it.
void TellResult(std::uint32_t time) {
    Splits& s = g_splits;
    s.resultKnown = true;
    SplitResult r;
    r.flies = FliesForSetting(FlyCountSetting);
    r.speed = (SpeedSetting & 3) + 1;
    r.timeMs = time;
    r.hadBest = s.rowBefore[0] != DEFAULT_BEST_TIME;
    r.oldBestMs = static_cast<std::uint32_t>(s.rowBefore[0]);
    r.place = PlaceOfTime(s.row, s.rowBefore, time);
    if (s.raced && s.reference.counts > 0) {
        r.raceName = g_race.name;
        r.raceMs = g_race.file.header.timeMs;
    }
    r.paceChanged = s.paceChanged;
    s.boardCount = SplitResultLines(r, s.board);
    s.place = r.place;
    s.newBest = r.place == 0;
}

// Enter or Space mid-round changed how fast the flies come: said at once, and on the
// results board, since the round then goes on the board of rounds whose pace was changed.
void WatchPace() {
    Splits& s = g_splits;
    if (RoundPhase != Playing) return;
    if (s.divisor == 0) s.divisor = SpawnDivisor;
    if (SpawnDivisor == s.divisor) return;
    ShowNotice(SpawnDivisor < s.divisor ? "pace changed: the flies come faster (Enter)"
                                        : "pace changed: the flies come slower (Space)");
    s.divisor = SpawnDivisor;
    s.paceChanged = true;
}

// A player who has not played a round yet (no history) is told the keys the game never
// shows, once, at mode select; not one who came there by touch, who has no keys.
void HintTheKeys() {
    if (g_splits.hinted || SceneState != STATE_MODE_FRAME) return;
    g_splits.hinted = true;
    if (InputSourcesSeen() & (kInputTouch | kInputTestPlayer)) return;
    std::FILE* history = OpenGamePath(kHistoryName, "rb");
    if (history) {
        std::fclose(history);
        return;
    }
    ShowNoticeFor(kHint, kHintFrames);
}

void OnFlip(long long) {
    Splits& s = g_splits;
    HintTheKeys();
    if (g_race.leadIn && (SceneState == STATE_TITLE_FRAME || SceneState == STATE_MODE_FRAME)) {
        // The race's mode at mode select, as a player would have set it.
        g_race.leadIn = false;
        FlyCountSetting = g_race.file.header.flySetting;
        SpeedSetting = g_race.file.header.speedSetting;
        if (SceneState == STATE_TITLE_FRAME) {
            SceneState = STATE_TITLE_LEAVE;
            NextState = STATE_MODE_ENTER;
        }
    }
    if (!s.inRound && SceneState == STATE_MODE_LEAVE && NextState == STATE_PLAY_ENTER) {
        // This flip ends the frame of the start click.
        BeginRound();
        return;
    }
    if (!s.inRound) return;
    if (SceneState != STATE_PLAY_FRAME) {
        s.inRound = SceneState == STATE_PLAY_ENTER;
        return;
    }
    for (; s.timed < s.pending && s.timed < kSplitsMostCounts; ++s.timed)
        s.live[s.timed] = RoundLastTick - RoundStartTick;
    s.pending = FliesSwatted;
    WatchPace();
    std::uint32_t time = 0;
    if (!s.resultKnown && RoundTimeRecorded(&time)) TellResult(time);
}

// The run raced and its time ("racing ada, 0:06.527").
void RaceLine(const char* lead, const char* separator, SplitsOverlay* o) {
    char clock[32];
    SplitClockText(g_race.file.header.timeMs, clock, sizeof clock);
    std::snprintf(o->raceLine, sizeof o->raceLine, "%s%s%s%s", lead, g_race.name, separator, clock);
}

bool Describe(SplitsOverlay* o) {
    const Splits& s = g_splits;
    // In a room the band and the box are the room's.
    if (DescribeRoomOverlay(s.inRound && s.resultKnown && SceneState == STATE_PLAY_FRAME, o))
        return true;
    if (g_race.set && (SceneState == STATE_MODE_FRAME || SceneState == STATE_MODE_ENTER) &&
        SameMode(g_race.file.header)) {
        // Mode select, in the race's mode: whom the next round races.
        RaceLine("racing ", ", ", o);
        return true;
    }
    if (!s.inRound || SceneState != STATE_PLAY_FRAME) return false;
    const ReferenceSplits& ref = s.reference;
    if (ref.counts > 0) {
        if (s.raced) RaceLine("race: ", "  ", o);
        std::int64_t delta = 0;
        if (s.timed > 0 &&
            SplitDeltaAt(ref.times, ref.counts, s.timed, s.live[s.timed - 1], &delta))
            o->tone = SplitDeltaText(delta, o->delta, sizeof o->delta);
        std::snprintf(o->count, sizeof o->count, "%s: %d", s.raced ? "race" : "best",
                      SplitCountAt(ref.times, ref.counts, ShownClockMs()));
    }
    if (s.resultKnown) {
        o->boardCount = s.boardCount;
        for (int i = 0; i < s.boardCount && i < kSplitsBoardLines; ++i)
            std::snprintf(o->board[i], sizeof o->board[i], "%s", s.board[i]);
        o->tableRow = s.place;
        o->newBest = s.newBest;
    }
    return ref.counts > 0 || s.resultKnown;
}

bool ReadRaceFile(const char* path, std::vector<std::uint8_t>* out, std::string* why) {
    if (!ReadReplayFile(path, out, why)) return false;
    out->shrink_to_fit();  // kept for the whole run
    return true;
}

}  // namespace

void StartSplits() {
    if (g_splits.started) return;
    g_splits.started = true;
    g_splits.kept.resize(kKeptReplayRoom);
    if (!PrepareReferenceRounds()) return;  // without room the game plays on without splits
    SetSplitsDescriber(Describe);
    AddFlipHook(OnFlip);
}

bool SetRaceReference(const char* path, const char* name, std::string* error) {
    Race race;
    if (!ReadRaceFile(path, &race.bytes, error)) return false;
    char why[kReplayReasonSize];
    if (race.bytes.size() > kReplayMaxFile) {
        *error = "too long to be a replay";
        return false;
    }
    if (!ReplayParse(race.bytes.data(), race.bytes.size(), &race.file, why, sizeof why)) {
        *error = std::string("not a replay that can be played: ") + why;
        return false;
    }
    switch (ReplayHeaderCost(race.file.header)) {
    case ReplayCost::Fits: break;
    case ReplayCost::NoTime:
        *error = "its round was left before its last fly: it has no time to race";
        return false;
    case ReplayCost::TooSlow:
        *error = "its time is slower than any the best times keep";
        return false;
    case ReplayCost::TooManyFrames:
        *error = "it has more frames than a round of its time can have";
        return false;
    }
    if (name && *name) {
        std::snprintf(race.name, sizeof race.name, "%s", name);
    } else {
        // The file's own name, without its folders.
        const char* base = path;
        for (const char* p = path; *p; ++p)
            if (*p == '/' || *p == '\\') base = p + 1;
        std::snprintf(race.name, sizeof race.name, "%s", base);
    }
    race.set = true;
    race.leadIn = true;
    // The bytes move with their buffer: the parsed file still points into them.
    g_race = std::move(race);
    return true;
}
