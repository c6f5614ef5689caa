// The game in a room: the room's connection looked at once a frame, mode select set to the
// room's mode, the start held until the race runs, the round played on the dealt seed and
// sent to the board as it is recorded (docs/rooms.md, "Racing live").
#include "replay/room_race.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/services/notice.h"
#include "platform/services/room_link.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_format.h"
#include "replay/replay_record.h"
#include "replay/room_state_read.h"
#include "scenes/scene_globals.h"

namespace {

// A lost connection is opened again this often (at 60 frames a second: 3 s).
constexpr long long kReconnectFlips = 180;
// After the first state on a new connection the board says at once whether it has a
// stream of ours under way; a second state, or this long without one, says it has none.
constexpr long long kResumeWaitFlips = 60;
// What one `f` message carries at most (a racer's message is at most 64 KB).
constexpr std::size_t kMostFrameBytes = 60u << 10;
// Mode select's regions (scenes/mode_select.cpp): the Start button and the rows of the
// arrows that change the mode; and R, which starts the same mode at once.
constexpr WPARAM kStartKey = 'R';

bool OnStartButton(int x, int y) { return 174 < x && x < 466 && 300 < y && y < 344; }
bool OnModeArrows(int x, int y) {
    const bool row = (66 <= y && y < 103) || (182 <= y && y < 219);
    return row && ((110 <= x && x < 140) || (500 <= x && x < 530));
}

struct Stream {
    int race = 0;         // the race whose round is sent (0: none)
    long long round = 0;  // the recorder's count of that round
    bool headerSent = false;
    std::size_t sent = 0;  // frame bytes sent
    bool ended = false;    // `e` sent
    bool refused = false;  // the board closed it: nothing more is sent in this race
};

struct Room {
    char url[2048] = {};
    char name[kRoomNameSize] = {};
    RoomLink* link = nullptr;
    bool wasOpen = false;  // the current link has been open
    bool closeNoted = false;
    bool roomEnded = false;  // the board ended the room: nothing to reconnect to
    bool everOpen = false;
    long long retryAt = 0;
    char* text = nullptr;  // kRoomMostMessage + 1
    RoomStateRead state;
    bool haveState = false;
    // The new connection's first state came at this flip; the resume is decided after it.
    int statesOnLink = 0;
    long long firstStateAt = 0;
    bool resumeDecided = false;

    bool ready = false;  // the player pressed Start for the next race
    bool readySent = false;
    bool releasing = false;  // the start key posted for the race `releasedRace`
    int releasedRace = 0;
    int playedRace = 0;  // the last race whose round began
    Stream stream;
    std::uint8_t message[1 + kMostFrameBytes] = {};
};

Room* g_room = nullptr;
bool g_hooked = false;  // the flip hook stays once added; it does nothing out of a room

// ---- the game's input while in a room --------------------------------------------------

// The race under way in which this racer has a round to play: its number, or 0.
int RaceToPlay() {
    const Room& r = *g_room;
    if (!r.haveState || !r.state.hasRace || !r.state.race.seeded) return 0;
    if (r.state.race.number == r.playedRace) return 0;
    for (int i = 0; i < r.state.race.resultCount; ++i) {
        const RoomRacerView& row = r.state.race.results[i];
        if (std::strcmp(row.name, r.name) == 0)
            return std::strcmp(row.status, "racing") == 0 ? r.state.race.number : 0;
    }
    // Without a name to look for, a race that runs is ours.
    return r.name[0] ? 0 : r.state.race.number;
}

void SendReady() {
    Room& r = *g_room;
    r.readySent = RoomLinkState(r.link) == RoomLinkStatus::kOpen &&
                  RoomLinkSendText(r.link, "{\"ready\":true}");
}

// At mode select the player's Start says they are ready, and the round waits for the
// race; the arrows change nothing (the room has the mode). Everything else passes.
bool HeldBack(const MSG& m) {
    Room& r = *g_room;
    if (SceneState != STATE_MODE_FRAME) return false;
    const int x = static_cast<short>(m.lParam & 0xFFFF);
    const int y = static_cast<short>((m.lParam >> 16) & 0xFFFF);
    const bool click = m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONUP;
    if (click && OnModeArrows(x, y)) return true;
    const bool start = (m.message == WM_LBUTTONDOWN && OnStartButton(x, y)) ||
                       (m.message == WM_KEYDOWN && m.wParam == kStartKey);
    if (!start) return false;
    if (r.releasing || RaceToPlay() != 0) {
        // The race runs: the round begins now, on its seed.
        r.releasing = false;
        r.releasedRace = RaceToPlay();
        return false;
    }
    // Said again at every press: a press during a race the racer is not in is ignored by
    // the board, and the next one then counts.
    r.ready = true;
    SendReady();
    return true;
}

BOOL RoomMessage(MSG* msg) {
    const InputTap* tap = ActiveInputTap();
    MSG m;
    while (TakeLiveMessage(&m)) {
        if (HeldBack(m)) continue;
        // The cursor follows the input as it is taken, as when the game takes it itself.
        if (m.message == WM_MOUSEMOVE)
            SetGameCursor(static_cast<short>(m.lParam & 0xFFFF),
                          static_cast<short>((m.lParam >> 16) & 0xFFFF));
        *msg = m;
        if (tap) tap->message(msg);
        return TRUE;
    }
    if (tap) tap->message(nullptr);
    return FALSE;
}

DWORD RoomTick();
std::time_t RoomCalendar();
const InputFeed kRoomFeed = {RoomMessage, RoomTick, RoomCalendar};

// The clock as the platform gives it without the room's feed.
DWORD RoomTick() {
    SetInputFeed(nullptr);
    const DWORD now = ObserveTickCount();
    SetInputFeed(&kRoomFeed);
    return now;
}

// The round's seed: the race's, once dealt, for the round that begins in it; else the
// calendar as the platform gives it (and tells the recorder).
std::time_t RoomCalendar() {
    const Room& r = *g_room;
    if (r.releasedRace != 0 && r.haveState && r.state.hasRace && r.state.race.seeded &&
        r.state.race.number == r.releasedRace) {
        const std::time_t seed = static_cast<std::time_t>(r.state.race.seed);
        if (const InputTap* tap = ActiveInputTap()) tap->calendar(seed);
        return seed;
    }
    SetInputFeed(nullptr);
    const std::time_t now = CalendarTime();
    SetInputFeed(&kRoomFeed);
    return now;
}

// ---- the connection --------------------------------------------------------------------

void Say(const char* text) { ShowNoticeFor(text, 4 * kNoticeFrames); }

void Connect(long long flip) {
    Room& r = *g_room;
    char error[160];
    if (r.link) CloseRoomLink(r.link);
    r.link = OpenRoomLink(r.url, error, sizeof error);
    r.wasOpen = false;
    r.closeNoted = false;
    r.statesOnLink = 0;
    r.resumeDecided = false;
    r.readySent = false;
    r.retryAt = flip + kReconnectFlips;
}

void OnLinkClosed() {
    Room& r = *g_room;
    char reason[124] = {};
    const int code = RoomLinkCloseReason(r.link, reason, sizeof reason);
    if (code == 1008 && r.stream.race != 0 && !r.stream.ended) {
        // The board refused the round (too_fast, room_seed, ...): it says so in the result.
        r.stream.refused = true;
        char text[kNoticeSize];
        std::snprintf(text, sizeof text, "the room refused the round: %s", reason);
        Say(text);
    } else if (code == 1001 && std::strcmp(reason, "room ended") == 0) {
        r.roomEnded = true;
        Say("the room has ended");
    } else if (r.wasOpen) {
        Say("connection to the room lost: the round goes on; reconnecting");
    }
    r.wasOpen = false;
    r.closeNoted = true;
}

void OnState(long long flip) {
    Room& r = *g_room;
    ++r.statesOnLink;
    if (r.statesOnLink == 1) r.firstStateAt = flip;
    // A second state without a resume before it: the board has no stream of ours.
    if (r.statesOnLink >= 2) r.resumeDecided = true;
    if (r.state.state == RoomStateWord::kLobby) r.releasing = false;
}

void TakeMessages(long long flip) {
    Room& r = *g_room;
    for (int i = 0; i < 16; ++i) {
        const long size = RoomLinkTakeText(r.link, r.text, kRoomMostMessage + 1);
        if (size < 0) return;
        std::uint32_t resume = 0;
        if (ReadRoomResume(r.text, static_cast<std::size_t>(size), &resume)) {
            if (r.stream.race != 0 && !r.stream.refused) {
                r.stream.headerSent = true;
                r.stream.sent = resume;
                r.stream.ended = false;
            }
            r.resumeDecided = true;
            continue;
        }
        RoomStateRead read;
        if (!ReadRoomState(r.text, static_cast<std::size_t>(size), &read)) continue;
        r.state = read;
        r.haveState = true;
        OnState(flip);
    }
}

void Poll(long long flip) {
    Room& r = *g_room;
    const RoomLinkStatus status = RoomLinkState(r.link);
    if (status == RoomLinkStatus::kOpen && !r.wasOpen) {
        r.wasOpen = true;
        if (r.everOpen) Say("back in the room");
        r.everOpen = true;
    }
    if (status == RoomLinkStatus::kClosed) {
        if (!r.closeNoted) OnLinkClosed();
        if (flip >= r.retryAt && !r.roomEnded) Connect(flip);
        return;
    }
    if (status != RoomLinkStatus::kOpen) return;
    TakeMessages(flip);
    if (r.statesOnLink >= 1 && flip - r.firstStateAt >= kResumeWaitFlips) r.resumeDecided = true;
    if (r.ready && !r.readySent) SendReady();
}

// ---- the round, sent as it is recorded -------------------------------------------------

bool Send(std::uint8_t kind, const std::uint8_t* a, std::size_t an, const std::uint8_t* b,
          std::size_t bn) {
    Room& r = *g_room;
    if (1 + an + bn > sizeof r.message) return false;
    r.message[0] = kind;
    if (an) std::memcpy(r.message + 1, a, an);
    if (bn) std::memcpy(r.message + 1 + an, b, bn);
    return RoomLinkSendBinary(r.link, r.message, 1 + an + bn);
}

// Sends the frame bytes not sent yet, from `input` (size bytes so far).
bool SendFrames(const std::uint8_t* input, std::size_t size) {
    Stream& s = g_room->stream;
    while (s.sent < size) {
        const std::size_t n = size - s.sent < kMostFrameBytes ? size - s.sent : kMostFrameBytes;
        if (!Send('f', input + s.sent, n, nullptr, 0)) return false;
        s.sent += n;
    }
    return true;
}

void SendRound() {
    Room& r = *g_room;
    Stream& s = r.stream;
    RecordedSoFar rec{};
    if (!ReplayRecordedSoFar(&rec)) return;
    if (r.releasedRace != 0 && rec.inRound && rec.round != s.round &&
        r.releasedRace != r.playedRace) {
        // The round of the race has begun.
        s = Stream{};
        s.race = r.releasedRace;
        s.round = rec.round;
        r.playedRace = r.releasedRace;
        r.ready = false;
    }
    if (s.race == 0 || s.round != rec.round || s.refused || s.ended) return;
    if (RoomLinkState(r.link) != RoomLinkStatus::kOpen || !r.resumeDecided) return;
    if (!s.headerSent) {
        if (s.sent != 0) {
            // The board lost the stream it had: nothing to resume.
            s.refused = true;
            return;
        }
        ReplayHeader h = *rec.header;
        h.calendarTime = static_cast<std::uint32_t>(
            r.state.race.number == s.race ? r.state.race.seed : h.calendarTime);
        std::uint8_t file[kReplayHeaderSize + 8];
        const std::uint8_t none = 0;
        if (ReplayBuildFile(h, &none, 0, nullptr, 0, file, sizeof file) == 0 ||
            !Send('h', file, kReplayHeaderSize, nullptr, 0))
            return;
        s.headerSent = true;
    }
    // The round is over for the room once its time is known: its file as it stood then
    // is sent at once, so the room's result does not wait on the results board.
    const std::uint8_t* file = rec.timedFile ? rec.timedFile : rec.file;
    const std::size_t fileSize = rec.timedFile ? rec.timedSize : rec.fileSize;
    if (rec.inRound && !rec.timedFile) {
        SendFrames(rec.input, rec.inputSize);
        return;
    }
    // The round has ended: the rest of its frames, then its end, as the file keeps them.
    if (!file) {
        s.refused = true;  // not kept (too long): the board has what it had
        return;
    }
    ReplayHeader end;
    if (!ReplayReadHeader(file, fileSize, &end) ||
        kReplayHeaderSize + static_cast<std::size_t>(end.inputSize) > fileSize)
        return;
    if (!SendFrames(file + kReplayHeaderSize, end.inputSize)) return;
    const std::size_t tail = kReplayHeaderSize + end.inputSize;
    if (Send('e', file, kReplayHeaderSize, file + tail, fileSize - tail)) s.ended = true;
}

void OnFlip(long long flip) {
    if (!g_room) return;
    Room& r = *g_room;
    Poll(flip);
    if (r.haveState && (SceneState == STATE_MODE_FRAME || SceneState == STATE_MODE_ENTER)) {
        FlyCountSetting = r.state.flySetting;
        SpeedSetting = r.state.speedSetting;
    }
    if (SceneState == STATE_MODE_FRAME && r.ready && !r.releasing && RaceToPlay() != 0) {
        // The countdown has ended: the held start goes to the game.
        r.releasing = true;
        PostGameMessage(WM_KEYDOWN, kStartKey, 1);
    }
    SendRound();
}

}  // namespace

bool StartRoomRace(const char* liveUrl, char* error, std::size_t errorSize) {
    if (g_room) {
        std::snprintf(error, errorSize, "the game is in a room already");
        return false;
    }
    if (!liveUrl || std::strlen(liveUrl) >= sizeof Room::url) {
        std::snprintf(error, errorSize, "no room's address, or one too long");
        return false;
    }
    Room* room = new (std::nothrow) Room;
    char* text = new (std::nothrow) char[kRoomMostMessage + 1];
    if (!room || !text || !KeepTimedRoundFiles()) {
        delete room;
        delete[] text;
        std::snprintf(error, errorSize, "out of memory");
        return false;
    }
    std::snprintf(room->url, sizeof room->url, "%s", liveUrl);
    room->text = text;
    room->link = OpenRoomLink(liveUrl, error, errorSize);
    if (!room->link) {
        delete room;
        delete[] text;
        return false;
    }
    g_room = room;
    if (!g_hooked) AddFlipHook(OnFlip);
    g_hooked = true;
    SetInputFeed(&kRoomFeed);
    return true;
}

void SetRoomRacerName(const char* name) {
    if (g_room && name) std::snprintf(g_room->name, sizeof g_room->name, "%s", name);
}

bool InRoomRace() { return g_room != nullptr; }

void EndRoomRace() {
    if (!g_room) return;
    if (ActiveInputFeed() == &kRoomFeed) SetInputFeed(nullptr);
    CloseRoomLink(g_room->link);
    delete[] g_room->text;
    delete g_room;
    g_room = nullptr;
}

bool DescribeRoomRace(RoomRaceView* out) {
    if (!g_room) return false;
    const Room& r = *g_room;
    *out = RoomRaceView{};
    out->connected = RoomLinkState(r.link) == RoomLinkStatus::kOpen;
    out->youReady = r.ready;
    out->phase = RoomPhase::kConnecting;
    if (!r.haveState) return true;
    const RoomStateRead& s = r.state;
    out->phase = s.state == RoomStateWord::kLobby       ? RoomPhase::kLobby
                 : s.state == RoomStateWord::kCountdown ? RoomPhase::kCountdown
                                                        : RoomPhase::kRacing;
    if (!out->connected) out->phase = RoomPhase::kConnecting;
    out->countdownMs = s.hasRace ? s.race.startsInMs : 0;
    // In a race, its results' rows (counts, deltas); in the lobby, the racers (ready).
    const bool racing = s.hasRace;
    const RoomRacerView* rows = racing ? s.race.results : s.racers;
    const int count = racing ? s.race.resultCount : s.racerCount;
    out->raceNumber = racing ? s.race.number : s.hasLast ? s.last.number : 0;
    for (int i = 0; i < count && i < kRoomMostRacers; ++i) {
        out->racers[i] = rows[i];
        out->racers[i].you = r.name[0] && std::strcmp(rows[i].name, r.name) == 0;
        if (out->racers[i].you && !racing) out->youReady = rows[i].ready || r.ready;
    }
    out->racerCount = count < kRoomMostRacers ? count : kRoomMostRacers;
    if (racing || !s.hasLast) return true;
    // Back in the lobby after a race: its result, and each racer's in their row.
    out->resultIn = true;
    out->winnerMs = -1;
    for (int i = 0; i < s.last.resultCount; ++i) {
        const RoomRacerView& row = s.last.results[i];
        for (int j = 0; j < out->racerCount; ++j) {
            RoomRacerView& shown = out->racers[j];
            if (std::strcmp(shown.name, row.name) != 0) continue;
            std::memcpy(shown.status, row.status, sizeof shown.status);
            std::memcpy(shown.reason, row.reason, sizeof shown.reason);
            shown.timeMs = row.timeMs;
        }
        if (std::strcmp(row.status, "verified") != 0 || row.timeMs < 0) continue;
        if (out->winnerMs < 0 || row.timeMs < out->winnerMs) {
            out->winnerMs = row.timeMs;
            std::snprintf(out->winner, sizeof out->winner, "%s", row.name);
        }
    }
    return true;
}
