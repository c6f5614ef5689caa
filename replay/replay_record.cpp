#include "replay/replay_record.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/services/files.h"
#include "platform/services/input_source.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_format.h"
#include "replay/core/replay_identity.h"
#include "replay/history_file.h"
#include "replay/pace_keys.h"
#include "replay/replay_keep.h"
#include "replay/replay_state.h"
#include "scenes/best_times.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"

namespace {

// A round of about an hour and a half with the mouse always moving fits; a longer one
// is played on but not kept.
constexpr std::size_t kInputCapacity = 2u << 20;
constexpr std::uint32_t kCheckpointCapacity = 1u << 16;
// One frame's inputs: the whole message queue, with a cursor move before each message.
constexpr int kFrameInputs = 2 * 1024 + 16;

struct Recorder {
    std::uint8_t* input = nullptr;
    std::uint8_t* file = nullptr;
    std::size_t fileCapacity = 0;
    std::uint32_t* checkpoints = nullptr;
    std::uint32_t checkpointCount = 0;

    ReplayInput frame[kFrameInputs];
    int frameCount = 0;
    bool frameOverflow = false;
    bool frameTickSeen = false;
    DWORD frameTick = 0;             // the tick the game read in the frame
    DWORD frameClock = 0;            // the clock's tick for the frame, read or not
    std::uint32_t lastChecksum = 0;  // the state at the flip that ended the last frame written
    int cursorX = 0, cursorY = 0;    // the cursor as the frame's inputs left it

    // The state when the current frame began, for a round that starts in it.
    int startFly = 0, startSpeed = 0, startMouse = 0, startCursorX = 0, startCursorY = 0;
    DWORD startTick = 0;

    bool inRound = false;
    long long round = 0;        // rounds begun
    std::size_t endedSize = 0;  // the file of the last round that ended, 0 for none
    // For a room: the round's file as it stood when its time became known (the room's
    // result need not wait for the player to leave the results board). Null unless asked.
    std::uint8_t* timedFile = nullptr;
    std::size_t timedSize = 0;
    bool roundCut = false;  // too long or too busy to keep
    ReplayHeader header;
    ReplayWriter writer;
    DWORD calendar = 0;
    bool calendarSeen = false;
    int row = 0;
    int rowBefore[5] = {};
    int place = -1;  // where the round's time entered the table, or -1
    bool timeKnown = false;
    std::uint32_t time = kReplayNoTime;
    // Enter and Space that changed how fast the flies come, as --verify counts them; the
    // count as the last flip left it (a frame the game was closed in is not the round's).
    PaceKeys pace;
    int paceAtFlip = 0;
};

Recorder* g_rec = nullptr;

void AddInput(const ReplayInput& in) {
    if (g_rec->frameCount >= kFrameInputs) {
        g_rec->frameOverflow = true;
        return;
    }
    g_rec->frame[g_rec->frameCount++] = in;
}

// A cursor move is written only where the game could see it: before a message it
// takes, or when a drain ends.
void NoteCursor() {
    POINT cursor{};
    GetCursorPos(&cursor);
    if (cursor.x == g_rec->cursorX && cursor.y == g_rec->cursorY) return;
    ReplayInput in;
    in.op = ReplayOp::Cursor;
    in.x = cursor.x;
    in.y = cursor.y;
    AddInput(in);
    g_rec->cursorX = cursor.x;
    g_rec->cursorY = cursor.y;
}

// The drains of a frame that end without a message leave a break only when a message
// follows in a later drain; trailing breaks are dropped when the frame is written.
int g_pendingBreaks = 0;

void OnMessage(const MSG* msg) {
    if (!msg) {
        SettlePaceKey(&g_rec->pace);
        NoteCursor();
        ++g_pendingBreaks;
        return;
    }
    PaceKeyTaken(&g_rec->pace, msg->message, msg->wParam, !g_rec->inRound);
    // The window procedure does nothing with a move: the cursor alone is what counts.
    if (msg->message == WM_MOUSEMOVE) return;
    for (; g_pendingBreaks > 0; --g_pendingBreaks) {
        ReplayInput brk;
        brk.op = ReplayOp::DrainBreak;
        AddInput(brk);
    }
    NoteCursor();
    ReplayInput in;
    in.op = ReplayOp::Message;
    in.message = msg->message;
    in.wParam = msg->wParam;
    in.lParam = msg->lParam;
    AddInput(in);
}

void OnTick(DWORD value) {
    if (g_rec->frameTickSeen) return;
    g_rec->frameTickSeen = true;
    g_rec->frameTick = value;
}

void OnCalendar(std::time_t value) {
    g_rec->calendar = static_cast<DWORD>(value);
    g_rec->calendarSeen = true;
}

const InputTap kTap = {OnMessage, OnTick, OnCalendar};

void ClearFrame() {
    g_rec->frameCount = 0;
    g_rec->frameOverflow = false;
    g_rec->frameTickSeen = false;
    g_pendingBreaks = 0;
}

// The frame just ended with a flip: its tick is the one the game read in it, or the
// clock's for the frame when it read none (the platform's clock stands still between
// two flips, so the two are the same).
void WriteFrame() {
    Recorder& r = *g_rec;
    if (r.frameOverflow) r.roundCut = true;
    const DWORD tick = r.writer.frames == 0 ? r.header.startTick
                       : r.frameTickSeen    ? r.frameTick
                                            : r.frameClock;
    ReplayWriterFrame(&r.writer, tick, r.frame, r.frameCount);
    r.header.flags |= TakeInputSources() & kReplayKnownFlags;
    if (r.writer.full || r.writer.frames > kReplayMaxFrames) r.roundCut = true;
    r.lastChecksum = ReplayStateChecksum();
    if (r.writer.frames % kReplayCheckpointFrames == 0) {
        if (r.checkpointCount < kCheckpointCapacity)
            r.checkpoints[r.checkpointCount++] = r.lastChecksum;
        else
            r.roundCut = true;
    }
    ClearFrame();
}

// The round's file up to the last frame written, whatever the game did since: a game
// closed in the middle of a frame leaves that frame out, so the file ends at a flip,
// where playback can check it whole.
bool MakeFile(std::uint8_t end, std::size_t* size) {
    Recorder& r = *g_rec;
    if (r.roundCut || r.writer.frames == 0) return false;
    ReplayWriter writer = r.writer;  // a round still going on keeps its pending run
    ReplayWriterFinish(&writer);
    if (writer.full) return false;
    ReplayHeader h = r.header;
    h.end = end;
    h.frames = writer.frames;
    h.inputSize = static_cast<std::uint32_t>(writer.size);
    // After frame 0 alone the state still holds what came before the round: not kept.
    h.finalChecksum = writer.frames > 1 ? r.lastChecksum : 0;
    h.calendarTime = r.calendar;
    h.timeMs = r.timeKnown ? r.time : kReplayNoTime;
    *size = ReplayBuildFile(h, r.input, writer.size, r.checkpoints,
                            writer.frames / kReplayCheckpointFrames, r.file, r.fileCapacity);
    return *size > 0;
}

void SaveEntry(std::uint8_t end) {
    std::size_t size = 0;
    if (g_rec->place < 0 || !MakeFile(end, &size)) return;
    KeepEntryReplay(g_rec->file, size);
}

void StartRound(long long flip) {
    Recorder& r = *g_rec;
    r.inRound = true;
    ++r.round;
    r.endedSize = 0;
    r.timedSize = 0;
    r.roundCut = false;
    r.timeKnown = false;
    r.place = -1;
    r.calendarSeen = false;
    r.calendar = 0;
    r.checkpointCount = 0;
    r.header = ReplayHeader{};
    std::snprintf(r.header.program, sizeof r.header.program, "%s", ZUMBLE_VERSION);
    r.header.flySetting = static_cast<std::uint8_t>(r.startFly & 3);
    r.header.speedSetting = static_cast<std::uint8_t>(r.startSpeed & 3);
    r.header.mouseDown = r.startMouse == 1 ? 1 : 0;
    r.header.startFlip = static_cast<std::uint32_t>(flip - 1);
    r.header.startTick = r.startTick;
    r.header.cursorX = static_cast<std::int16_t>(r.startCursorX);
    r.header.cursorY = static_cast<std::int16_t>(r.startCursorY);
    ReplayWriterStart(&r.writer, r.input, kInputCapacity, r.header);
    r.pace = PaceKeys{};
    r.paceAtFlip = 0;
    r.row = (SpeedSetting & 3) + 4 * (FlyCountSetting & 3);
    std::memcpy(r.rowBefore, BestTimes[r.row], sizeof r.rowBefore);
}

// The time has gone to the table: where it entered, its replay is kept at once, so a
// record never stands without its replay for longer than a frame.
void OnTimeRecorded(std::uint32_t time) {
    Recorder& r = *g_rec;
    r.timeKnown = true;
    r.time = time;
    // Settings may be changed on the board only by a new round: the row is the round's.
    r.place = PlaceOfTime(r.row, r.rowBefore, time);
    std::size_t size = 0;
    if (r.timedFile && MakeFile(kReplayEndBoard, &size)) {
        std::memcpy(r.timedFile, r.file, size);
        r.timedSize = size;
    }
    if (r.place < 0) return;
    SaveEntry(kReplayEndBoard);
}

// The round's line in the history, with its replay when there is one (`size` > 0).
void AddToHistory(std::size_t size) {
    const Recorder& r = *g_rec;
    HistoryRound round;
    round.played = r.calendar;
    round.flies = FliesForSetting(r.header.flySetting);
    round.speed = r.header.speedSetting + 1;
    round.left = !r.timeKnown;
    round.timeMs = r.timeKnown ? r.time : 0;
    round.swatted = FliesSwatted;
    round.keys = r.paceAtFlip;
    ReplayFile parsed;
    char why[kReplayReasonSize];
    const bool kept = size > 0 && ReplayParse(r.file, size, &parsed, why, sizeof why);
    if (kept) ReplayRoundIdentity(parsed, round.round);
    KeepRoundInHistory(round, kept ? r.file : nullptr, kept ? size : 0);
}

void EndRound(std::uint8_t end) {
    std::size_t size = 0;
    if (MakeFile(end, &size)) {
        KeepLastReplay(g_rec->file, size);
        SaveEntry(end);
    } else {
        size = 0;
    }
    AddToHistory(size);
    g_rec->endedSize = size;
    g_rec->inRound = false;
}

void OnFlip(long long flip) {
    Recorder& r = *g_rec;
    SettlePaceKey(&r.pace);
    r.paceAtFlip = r.pace.changes;
    if (!r.inRound && SceneState == STATE_MODE_LEAVE && NextState == STATE_PLAY_ENTER) {
        // This flip ends the frame in which the round was started: it is frame 0.
        StartRound(flip);
    }
    if (r.inRound) {
        WriteFrame();
        std::uint32_t time = 0;
        if (!r.timeKnown && RoundTimeRecorded(&time)) OnTimeRecorded(time);
        if (SceneState == STATE_PLAY_LEAVE) EndRound(kReplayEndBoard);
    }
    ClearFrame();
    // Every read of the clock until the next flip gives this.
    r.frameClock = ObserveTickCount();
    if (r.inRound) return;
    TakeInputSources();  // what came before the round is not the round's
    POINT cursor{};
    GetCursorPos(&cursor);
    r.startFly = FlyCountSetting;
    r.startSpeed = SpeedSetting;
    r.startMouse = MouseDown;
    r.startCursorX = r.cursorX = cursor.x;
    r.startCursorY = r.cursorY = cursor.y;
    r.startTick = r.frameClock;
}

}  // namespace

void StartReplayRecording() {
    if (g_rec) return;
    g_rec = new (std::nothrow) Recorder;
    if (!g_rec) return;
    g_rec->input = new (std::nothrow) std::uint8_t[kInputCapacity];
    g_rec->checkpoints = new (std::nothrow) std::uint32_t[kCheckpointCapacity];
    g_rec->fileCapacity = kReplayHeaderSize + kInputCapacity + 4u * kCheckpointCapacity + 4;
    g_rec->file = new (std::nothrow) std::uint8_t[g_rec->fileCapacity];
    if (!g_rec->input || !g_rec->checkpoints || !g_rec->file) {
        // Without its buffers the game plays on unrecorded.
        delete[] g_rec->input;
        delete[] g_rec->checkpoints;
        delete[] g_rec->file;
        delete g_rec;
        g_rec = nullptr;
        return;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    g_rec->cursorX = g_rec->startCursorX = cursor.x;
    g_rec->cursorY = g_rec->startCursorY = cursor.y;
    SetInputTap(&kTap);
    AddFlipHook(OnFlip);
}

void FinishReplayRecording() {
    if (!g_rec) return;
    SetInputTap(nullptr);
    // The round ends with its last whole frame: the one the game was closed in never
    // reached its flip, and nothing in it could change the round's time.
    if (g_rec->inRound) EndRound(kReplayEndQuit);
}

bool ReplayRoundGoingOn() { return g_rec && g_rec->inRound; }

bool ReplayRoundTimeKnown(unsigned* time) {
    if (!g_rec || !g_rec->inRound || !g_rec->timeKnown) return false;
    *time = g_rec->time;
    return true;
}

void KeepReplaySoFar() {
    if (!g_rec || !g_rec->inRound) return;
    std::size_t size = 0;
    if (!MakeFile(kReplayEndQuit, &size)) return;
    KeepLastReplay(g_rec->file, size);
    SaveEntry(kReplayEndQuit);
}

bool ReplayRecordedSoFar(RecordedSoFar* out) {
    if (!g_rec) return false;
    out->round = g_rec->round;
    out->inRound = g_rec->inRound;
    out->header = &g_rec->header;
    out->input = g_rec->input;
    out->inputSize = g_rec->writer.size;
    out->file = g_rec->endedSize > 0 ? g_rec->file : nullptr;
    out->fileSize = g_rec->endedSize;
    out->timedFile = g_rec->timedSize > 0 ? g_rec->timedFile : nullptr;
    out->timedSize = g_rec->timedSize;
    return true;
}

bool KeepTimedRoundFiles() {
    if (!g_rec) return false;
    if (!g_rec->timedFile) g_rec->timedFile = new (std::nothrow) std::uint8_t[g_rec->fileCapacity];
    return g_rec->timedFile != nullptr;
}
