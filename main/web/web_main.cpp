// The page's entry: the options from the address (the page passes them as a command
// line), the backend, the game's WinMain, and the end of the run. The run ends through
// exit(), so the game's statics are torn down as on the desktop (the error log is
// written then) and the page learns of the end (page/page.js).
#include <emscripten/emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/sound.h"
#include "platform/services/process_usage.h"
#include "platform/web/web_backend.h"
#include "replay/core/mode_words.h"
#include "replay/core/replay_format.h"
#include "replay/replay_live.h"
#include "replay/replay_play.h"
#include "replay/replay_record.h"
#include "replay/room_race.h"
#include "shell/driver/game_run.h"

namespace {

bool g_timeGiven = false;

[[noreturn]] void End(int code) {
    std::fflush(nullptr);
    emscripten_force_exit(code);
    __builtin_unreachable();
}

}  // namespace

bool WebTimeGiven() { return g_timeGiven; }

// The page has no figures of the process to give.
bool ProcessUsage(long*, double*) { return false; }

// The page reads the trace and sound log while the game runs.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleFlushLogs() { std::fflush(nullptr); }

// A round is going on: the page asks before leaving it to watch a replay.
extern "C" EMSCRIPTEN_KEEPALIVE int ZumbleInRound() { return ReplayRoundGoingOn() ? 1 : 0; }

// A mode in words for the page's list of kept replays ("10 flies, NORMAL").
extern "C" EMSCRIPTEN_KEEPALIVE const char* ZumbleModeName(int flies, int speed) {
    static char name[48];
    ModeName(flies, speed, name, sizeof name);
    return name;
}

// A replay the player opens is read here before the page leaves the game for it, so a
// damaged file is refused while the game goes on: the page puts its bytes at
// /opened/check.zrp (page/replays.js). Why it cannot be played, or null when it can be.
extern "C" EMSCRIPTEN_KEEPALIVE const char* ZumbleReplayFault() {
    static char why[kReplayReasonSize];
    std::vector<std::uint8_t> bytes;
    std::string cannot;
    if (!ReadReplayFile("/opened/check.zrp", &bytes, &cannot)) {
        std::snprintf(why, sizeof why, "%s", cannot.c_str());
        return why;
    }
    if (bytes.size() > kReplayMaxFile) return "too long to be a replay";
    ReplayFile file;
    return ReplayParse(bytes.data(), bytes.size(), &file, why, sizeof why) ? nullptr : why;
}

// The page asks for the round so far (to send it from its results board, or as the tab
// is hidden); the game keeps it at its next picture, or between two frames when the page
// wakes it for that. Returns whether that is still to come.
static int g_keepAsked = 0;
extern "C" EMSCRIPTEN_KEEPALIVE int ZumbleKeepRoundAsk(int ask) {
    if (ask) g_keepAsked = 1;
    return g_keepAsked;
}

void WebKeepAskedRound() {
    if (!g_keepAsked) return;
    KeepReplaySoFar();
    g_keepAsked = 0;
}

// The round's time while its results board shows, else -1: the page offers to send it.
extern "C" EMSCRIPTEN_KEEPALIVE int ZumbleRoundTime() {
    unsigned time = 0;
    return ReplayRoundTimeKnown(&time) ? static_cast<int>(time) : -1;
}

// Where the page writes a room's address before it hands it to the game (page/rooms.js):
// the page cannot reserve the game's memory itself.
constexpr int kRoomAddressSize = 1024;
extern "C" EMSCRIPTEN_KEEPALIVE char* ZumbleRoomAddress() {
    static char address[kRoomAddressSize];
    return address;
}
extern "C" EMSCRIPTEN_KEEPALIVE int ZumbleRoomAddressSize() { return kRoomAddressSize; }

// The page has joined a room (page/rooms.js) and hands the game the room's connection:
// from then on the game races in it. 1 when it is in; 0 with the reason said on the page.
extern "C" EMSCRIPTEN_KEEPALIVE int zumble_room_enter(const char* liveUrl) {
    char error[160];
    if (StartRoomRace(liveUrl, error, sizeof error)) return 1;
    std::fprintf(stderr, "zumble: the game could not join the room: %s\n", error);
    return 0;
}

// A room's racer watched while they play (page/rooms.js): the page puts the round's head
// (its header as it began and the frames so far) at this path and starts the game on it,
// then hands over each record the board relays as it comes, through the buffer below
// (frames longer than it in pieces).
constexpr const char* kLiveRoundPath = "/opened/live.zrp";
constexpr int kLiveRecordSize = (1 << 16) + 1;  // the board's messages to a spectator, and the kind
extern "C" EMSCRIPTEN_KEEPALIVE std::uint8_t* ZumbleLiveRecordBuffer() {
    static std::uint8_t record[kLiveRecordSize];
    return record;
}
extern "C" EMSCRIPTEN_KEEPALIVE int ZumbleLiveRecordBufferSize() { return kLiveRecordSize; }
// The record of `size` bytes in the buffer: 1 taken, 2 the racer began another round (not
// taken), 0 the round cannot be followed further (ZumbleLiveFault says why), -1 the game
// does not watch a round yet.
extern "C" EMSCRIPTEN_KEEPALIVE int ZumbleLiveRecord(int size) {
    if (size < 0 || size > kLiveRecordSize) return 0;
    switch (LiveRoundAdd(ZumbleLiveRecordBuffer(), static_cast<std::size_t>(size))) {
    case LiveRecord::Taken: return 1;
    case LiveRecord::NewRound: return 2;
    case LiveRecord::Refused: return 0;
    case LiveRecord::NoRound: return -1;
    }
    return 0;
}
extern "C" EMSCRIPTEN_KEEPALIVE const char* ZumbleLiveFault() { return LiveRoundFault(); }

// The music comes after the game has started: once it is in, the game reads its sounds
// again, as when its window comes back to the front.
void ReadSoundsAgain() {
    if (lpDS != nullptr) RestoreSound();
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--time") == 0) g_timeGiven = true;
        if (std::strcmp(argv[i], "--replay") == 0 && i + 1 < argc &&
            std::strcmp(argv[i + 1], kLiveRoundPath) == 0)
            ExpectLiveRound();
    }
    // The data and the player's files are in the page's folder (page/page.js).
    if (chdir("/zumble") != 0) {
        std::fprintf(stderr, "zumble: the game's folder is missing\n");
        End(1);
    }
    // The page passes --headless with a script or the test player, which the options
    // take only then; the run itself is always on the page (ChooseBackend).
    WebSetLateFileReader(ReadSoundsAgain);
    const int early = PrepareRun(argc, argv);
    if (early >= 0) End(early);
    End(PlayRun());
}
