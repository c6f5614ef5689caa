#include "replay/replay_play.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "media/random.h"
#include "objects/instances.h"
#include "platform/services/options.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_format.h"
#include "replay/core/replay_identity.h"
#include "replay/core/replay_rules.h"
#include "replay/playback_position.h"
#include "replay/replay_live.h"
#include "replay/replay_measure.h"
#include "replay/replay_state.h"
#include "replay/replay_viewer.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "scenes/scene_globals.h"

namespace {

using Phase = PlaybackPhase;

// Frames of a round watched as it is played that are there before the viewer begins:
// a second's, and the one whose clock its last frame's end reads.
constexpr std::uint32_t kLiveLead = kReplayCheckpointFrames + 1;

// --verify-follow: the round's records as they come, and what the play took from them
// (a round watched as it is played keeps its checkpoints here too).
struct Follow {
    FollowRead read = nullptr;      // set: playback follows records
    ReplayHeader start;             // the header as the round began
    bool usable = false;            // it was read and can be played
    bool ended = false;             // the end record came
    bool overflow = false;          // more bytes came than a replay may hold
    const char* error = nullptr;    // the stream broke off: why (exit 2)
    const char* invalid = nullptr;  // the file refused at its end: why (exit 1)
    char reason[kReplayReasonSize] = {};
    std::size_t inputEnd = 0;  // coded frames held (after the header's room)
    std::uint32_t sums[kReplayMaxFrames / kReplayCheckpointFrames] = {};
    std::uint32_t sumCount = 0;  // checkpoints taken while playing
    std::uint32_t reported = 0;  // the frames played when last told
    int swats = 0;               // swats told
};

struct Player {
    std::vector<std::uint8_t> bytes;
    ReplayFile file;
    bool verify = false;
    // Where playback stands: what a viewer's snapshot keeps beside the game's state.
    PlaybackPosition& at = g_PlaybackAt;
    ReplayReader& reader = at.reader;
    Phase& phase = at.phase;
    std::uint32_t& tick = at.tick;
    bool& timeKnown = at.timeKnown;
    std::uint32_t& time = at.time;
    bool& closeSent = g_PlaybackCloseSent;
    long long desyncFrame = -1;
    bool measure = false;  // the signs are measured: nothing seeks
    void (*atFirstInput)() = nullptr;
    Follow follow;
    bool live = false;       // a round watched as it is played (replay/replay_live.h)
    bool liveWhole = false;  // and its end has come: the whole file is played
};

Player g_play;

// The frame being played (0-based).
long long CurrentFrame() { return static_cast<long long>(g_play.reader.frame) - 1; }

void Desync(long long frame) {
    // The earliest: a follower learns of a checkpoint's mismatch only at the end.
    if (g_play.desyncFrame < 0 || frame < g_play.desyncFrame) g_play.desyncFrame = frame;
    g_play.phase = Phase::Stopped;
}

bool InputsLeft() { return g_play.reader.pendingCursor || g_play.reader.tokens != nullptr; }

// A round watched as it is played: the reader goes up to the frames that have come, and
// once its end has come, through the whole file, whose checkpoints are then held to the
// states kept while they were not known.
void FollowLive() {
    if (!g_play.live) return;
    if (LiveRoundEnded() && !g_play.liveWhole) {
        g_play.liveWhole = true;
        g_play.file = LiveRoundFile();
        const Follow& f = g_play.follow;
        for (std::uint32_t k = 0; k < f.sumCount; ++k)
            if (f.sums[k] != ReplayCheckpoint(g_play.file, k)) {
                Desync(static_cast<long long>(k + 1) * kReplayCheckpointFrames - 1);
                break;
            }
    }
    if (g_play.liveWhole) {
        g_play.reader.frames = g_play.file.header.frames;
        g_play.reader.end = g_play.file.input + g_play.file.header.inputSize;
    } else {
        g_play.reader.frames = kReplayMaxFrames;
        g_play.reader.end = LiveRoundInputEnd();
    }
}

// Whether a round watched as it is played has enough frames to begin: a second's in a
// window (a moment behind the player); headless, the two its first frame needs.
bool LiveReadyToBegin() {
    const std::uint32_t lead = g_Options.headless ? 2 : kLiveLead;
    return LiveRoundEnded() || LiveRoundHeld() >= lead;
}

BOOL FeedMessage(MSG* msg) {
    if (g_play.atFirstInput) {
        void (*run)() = g_play.atFirstInput;
        g_play.atFirstInput = nullptr;
        run();
    }
    // The player's own input steers nothing; closing the window or Escape stops.
    MSG live;
    while (TakeLiveMessage(&live))
        if (live.message == WM_CLOSE || (live.message == WM_KEYDOWN && live.wParam == VK_ESCAPE))
            if (g_play.phase != Phase::Done) g_play.phase = Phase::Stopped;
    if (g_play.at.starting >= 0 && g_play.phase != Phase::Stopped) {
        // The frame begins: where the viewer seeks (and may put the game's state back).
        const long long frame = g_play.at.starting;
        g_play.at.starting = -1;
        ViewerFrameStarts(frame);
        // A position put back by a seek holds the reader's end of its time.
        FollowLive();
        if (g_play.measure) MeasureFrameDrains();
    }
    if (ViewerLeaving() && g_play.phase != Phase::Done) g_play.phase = Phase::Stopped;
    if (g_play.phase == Phase::Done || g_play.phase == Phase::Stopped) {
        if (g_play.closeSent) return FALSE;
        g_play.closeSent = true;
        *msg = MSG{nullptr, WM_CLOSE, 0, 0, g_play.tick, {}};
        return TRUE;
    }
    if (g_play.phase != Phase::Playing) return FALSE;
    for (;;) {
        ReplayInput in;
        const int got = ReplayReaderNextInput(&g_play.reader, &in);
        if (got <= 0) {
            if (got < 0) Desync(CurrentFrame());
            return FALSE;
        }
        if (in.op == ReplayOp::DrainBreak) return FALSE;
        if (in.op == ReplayOp::Cursor) {
            SetGameCursor(in.x, in.y);
            if (g_play.measure) MeasureCursor(in.x, in.y);
            continue;
        }
        if (g_play.measure) MeasureMessage(in);
        POINT cursor{};
        GetCursorPos(&cursor);
        *msg = MSG{
            nullptr,     in.message, static_cast<WPARAM>(in.wParam), static_cast<LPARAM>(in.lParam),
            g_play.tick, cursor};
        return TRUE;
    }
}

// Before the round the game is only led to mode select: a steady clock from the start.
DWORD FeedTick() {
    return g_play.phase == Phase::LeadIn ? static_cast<DWORD>(FlipCount() * 1000 / 60)
                                         : g_play.tick;
}
std::time_t FeedCalendar() { return static_cast<std::time_t>(g_play.file.header.calendarTime); }

const InputFeed kFeed = {FeedMessage, FeedTick, FeedCalendar};

bool VerifierNow(std::int64_t* now);

// --- following a round as it comes ----------------------------------------------------

Follow& F() { return g_play.follow; }

// The end record came: the file is whole (header, frames, tail), and is held to every
// check --verify makes before playing. Returns false when it is refused.
bool FollowEnd() {
    Follow& f = F();
    std::vector<std::uint8_t>& bytes = g_play.bytes;
    const char* why = nullptr;
    std::int64_t now = 0;
    if (f.overflow || bytes.size() > kReplayMaxFile) {
        why = "too long to be a replay";
    } else if (!ReplayParse(bytes.data(), bytes.size(), &g_play.file, f.reason, sizeof f.reason)) {
        why = f.reason;
    } else if (!VerifierNow(&now)) {
        f.error = "ZUMBLE_VERIFY_NOW is not a number of seconds since 1970";
        return false;
    } else if (!ReplayFollowsRules(g_play.file, now, f.reason, sizeof f.reason)) {
        why = f.reason;
    } else if (!f.usable || !SameRoundStart(f.start, g_play.file.header) ||
               (f.start.flags & kReplayTouch) != (g_play.file.header.flags & kReplayTouch)) {
        why = "the round's header at its end is not the one it began with";
    }
    if (why) {
        f.invalid = why;
        return false;
    }
    // The frames are the file's own (they sit where it was read): the reader goes on in it.
    g_play.reader.frames = g_play.file.header.frames;
    g_play.reader.end = g_play.file.input + g_play.file.header.inputSize;
    // Checkpoints taken while the file's were not yet known.
    for (std::uint32_t k = 0; k < f.sumCount; ++k)
        if (f.sums[k] != ReplayCheckpoint(g_play.file, k)) {
            Desync(static_cast<long long>(k + 1) * kReplayCheckpointFrames - 1);
            break;
        }
    return true;
}

// Reads one record into the file being put together. False when the stream cannot go
// on (its end, a fault, a refused file): playback stops.
bool FollowRecord() {
    Follow& f = F();
    std::vector<std::uint8_t>& bytes = g_play.bytes;
    const std::size_t at = bytes.size();
    const std::size_t room = bytes.capacity() - at;
    bytes.resize(bytes.capacity());  // reserved at the start: nothing is allocated
    char kind = 0;
    std::size_t length = 0;
    const int got = f.read(&kind, bytes.data() + at, room, &length);
    const std::size_t kept = got > 0 ? std::min(length, room) : 0;
    bytes.resize(at + kept);
    if (got <= 0) {
        f.error = got < 0 ? "the input is not records of a round (KIND LENGTH, a newline, bytes)"
                          : "the input ended before the round's end record";
        return false;
    }
    if (length > room) f.overflow = true;
    if (kind == 'f' && !f.ended) {
        f.inputEnd += kept;
        g_play.reader.end = bytes.data() + kReplayHeaderSize + f.inputEnd;
        return true;
    }
    if (kind == 'e' && !f.ended && f.overflow) {
        f.ended = true;
        f.invalid = "too long to be a replay";
        return false;
    }
    if (kind == 'e' && !f.ended && kept >= static_cast<std::size_t>(kReplayHeaderSize)) {
        // The final header goes in front of the frames, the tail stays after them.
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + kReplayHeaderSize),
                  bytes.begin());
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at + kReplayHeaderSize), bytes.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at));
        bytes.resize(bytes.size() - kReplayHeaderSize);
        f.ended = true;
        return FollowEnd();
    }
    f.error = kind == 'e' ? "the end record is shorter than a header or came twice"
                          : "a record of an unknown kind, or frames after the end";
    return false;
}

// Tells what the play has reached: every swat, and how many frames have been played
// when the follower is about to wait.
void FollowTell(bool waiting) {
    Follow& f = F();
    if (FliesSwatted < f.swats) f.swats = 0;  // a later round in the same file
    while (f.swats < FliesSwatted) {
        ++f.swats;
        std::printf("swat %d left=%d flies=%d clock_ms=%u frame=%lld\n", f.swats,
                    TargetFlies - f.swats, TargetFlies, ShownClockMs(), CurrentFrame());
    }
    if (waiting && f.reported != g_play.reader.frame) {
        f.reported = g_play.reader.frame;
        std::printf("frames %u\n", f.reported);
    }
    std::fflush(stdout);
}

// Whether the next frame is all there: tried on a copy of the reader.
bool NextFrameHeld() {
    ReplayReader r = g_play.reader;
    std::uint32_t tick = 0;
    if (!ReplayReaderNextFrame(&r, &tick)) return false;
    ReplayInput in;
    int got;
    while ((got = ReplayReaderNextInput(&r, &in)) > 0) {}
    return got == 0;
}

// Before the next frame: waits for its bytes (or for the round's end). False when
// playback stops.
bool FollowAwaitFrame() {
    FollowTell(false);
    while (!F().ended && !NextFrameHeld()) {
        FollowTell(true);
        if (!FollowRecord()) return false;
    }
    return true;
}

// After the game has stopped: the rest of the stream, up to its end record.
void FollowDrain() {
    while (!F().ended && !F().error && !F().invalid)
        if (!FollowRecord()) break;
}

void Begin() {
    const ReplayHeader& h = g_play.file.header;
    FlyCountSetting = h.flySetting;
    SpeedSetting = h.speedSetting;
    MouseDown = h.mouseDown;
    SetGameCursor(h.cursorX, h.cursorY);
    ReplayReaderStart(&g_play.reader, g_play.file);
    MeasureStart(h);
    g_play.phase = Phase::Playing;
    g_play.at.starting = 0;
    if (g_play.follow.read) {
        // The frames come as they are played: as many as a replay may hold, so far these.
        g_play.reader.frames = kReplayMaxFrames;
        g_play.reader.end = g_play.file.input + g_play.follow.inputEnd;
        if (!FollowAwaitFrame() || g_play.phase == Phase::Stopped) {
            g_play.phase = Phase::Stopped;
            return;
        }
    }
    FollowLive();
    if (!ReplayReaderNextFrame(&g_play.reader, &g_play.tick)) return Desync(0);
    if (g_play.measure) MeasureFrameStart(g_play.tick);
}

// The flip ends the frame being played: everything in it must have been taken, and the
// state must be the recorded one where a checksum was kept.
void EndFrame() {
    const long long frame = CurrentFrame();
    if (InputsLeft()) return Desync(frame);
    FollowLive();
    if (g_play.phase == Phase::Stopped) return;
    // Not while a player may seek: that plays frames twice.
    if (g_play.measure) MeasureFrameEnd(frame);
    const std::uint32_t played = g_play.reader.frame;
    Follow& f = g_play.follow;
    if (played % kReplayCheckpointFrames == 0) {
        // A follower keeps it until the file's checkpoints come with the round's end (a
        // frame played again after a seek was kept the first time).
        const bool open = f.read ? !f.ended : g_play.live && !g_play.liveWhole;
        if (open) {
            if (f.sumCount < played / kReplayCheckpointFrames)
                f.sums[f.sumCount++] = ReplayStateChecksum();
        } else if (ReplayStateChecksum() !=
                   ReplayCheckpoint(g_play.file, played / kReplayCheckpointFrames - 1)) {
            return Desync(frame);
        }
    }
    std::uint32_t time = 0;
    if (!g_play.timeKnown && RoundTimeRecorded(&time)) {
        g_play.timeKnown = true;
        g_play.time = time;
    }
    if (f.read && (!FollowAwaitFrame() || g_play.phase == Phase::Stopped)) {
        g_play.phase = Phase::Stopped;
        return;
    }
    if (played == g_play.file.header.frames) {
        // After frame 0 alone (a game closed before the round began to play) the state
        // still holds what came before the round, which no replay carries: not checked.
        if (played > 1 && ReplayStateChecksum() != g_play.file.header.finalChecksum)
            return Desync(frame);
        g_play.phase = Phase::Done;
        // The frame after the round has no tick of its own: the steady step on, as the
        // headless clock would read.
        g_play.tick += ReplayTickStep(g_play.file.header.startFlip + played);
        g_play.at.starting = frame + 1;
        ViewerFrameEnds(frame);
        return;
    }
    if (!ReplayReaderNextFrame(&g_play.reader, &g_play.tick)) return Desync(frame + 1);
    if (g_play.measure) MeasureFrameStart(g_play.tick);
    g_play.at.starting = frame + 1;
    ViewerFrameEnds(frame);
}

void OnFlip(long long) {
    if (g_play.phase == Phase::LeadIn) {
        // From the title straight to mode select, where the round was started.
        if (SceneState == STATE_TITLE_FRAME) {
            SceneState = STATE_TITLE_LEAVE;
            NextState = STATE_MODE_ENTER;
        } else if (SceneState == STATE_MODE_FRAME) {
            // A round watched as it is played waits on the mode screen for its first
            // second; headless nothing more comes.
            if (g_play.live && !LiveReadyToBegin()) {
                if (g_Options.headless) g_play.phase = Phase::Stopped;
                return;
            }
            Begin();
        }
        return;
    }
    if (g_play.phase == Phase::Playing) EndFrame();
}

// The verifier's clock: ZUMBLE_VERIFY_NOW (seconds since 1970) when set, for tests.
bool VerifierNow(std::int64_t* now) {
    const char* fixed = std::getenv("ZUMBLE_VERIFY_NOW");
    if (!fixed) {
        *now = static_cast<std::int64_t>(std::time(nullptr));
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(fixed, &end, 10);
    if (errno != 0 || end == fixed || *end != '\0' || v < 0) return false;
    *now = v;
    return true;
}

// A round watched as it is played: the file holds its head (the header as it began and
// the frames so far); the rest comes as it is played (LiveRoundAdd).
int LoadLiveRound(const char* path) {
    char why[kReplayReasonSize];
    if (!LiveRoundStart(g_play.bytes.data(), g_play.bytes.size(), why, sizeof why)) {
        std::fprintf(stderr, "zumble: %s is not a round being played: %s\n", path, why);
        return 2;
    }
    g_play.live = true;
    g_play.file = LiveRoundFile();
    g_play.measure = g_Options.headless;
    std::uint64_t sampleKey = 0;
    SampleKeyFromEnvironment(&sampleKey);
    MeasureSetSampleKey(sampleKey);
    if (!ViewerLoadGrowing(g_play.file, !g_Options.headless)) {
        std::fprintf(stderr, "zumble: not enough memory to watch the round %s\n", path);
        return 2;
    }
    ViewerGrow(LiveRoundFile(), LiveRoundInputEnd(), LiveRoundHeld(), LiveRoundEnded());
    return -1;
}

}  // namespace

bool ReadReplayFile(const char* path, std::vector<std::uint8_t>* out, std::string* why) {
    std::FILE* f = OpenTesterFileToRead(path, why);
    if (!f) return false;
    // Read at most one byte more than a replay may hold: a longer file is refused
    // without reading it all. The buffer grows with what comes (a round is a few KB;
    // the most a replay may hold, made at once, would cost more than the round).
    std::size_t got = 0;
    out->resize(std::size_t{1} << 16);
    for (;;) {
        got += std::fread(out->data() + got, 1, out->size() - got, f);
        if (got < out->size() || out->size() == kReplayMaxFile + 1) break;
        out->resize(std::min(out->size() * 2, kReplayMaxFile + 1));
    }
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed) {
        *why = std::string("cannot read it: ") + std::strerror(error);
        return false;
    }
    out->resize(got);
    return true;
}

int LoadReplay(const char* path, bool verify) {
    std::string cannot;
    if (!ReadReplayFile(path, &g_play.bytes, &cannot)) {
        if (verify) {
            std::printf("unreadable: %s: %s\n", path, cannot.c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "zumble: cannot read the replay %s: %s\n", path, cannot.c_str());
        }
        return 2;
    }
    if (LiveRoundExpected() && !verify) return LoadLiveRound(path);
    const char* why = nullptr;
    char parsed[kReplayReasonSize];
    if (g_play.bytes.size() > kReplayMaxFile) {
        why = "too long to be a replay";
    } else if (!ReplayParse(g_play.bytes.data(), g_play.bytes.size(), &g_play.file, parsed,
                            sizeof parsed)) {
        why = parsed;
    } else {
        g_play.verify = verify;
        g_play.measure = verify || g_Options.headless;
        // A clip is made only of a round the verifier would take.
        const bool strict = verify || !g_Options.clip.empty();
        static char rule[192];
        std::int64_t now = 0;
        if (strict && !VerifierNow(&now)) {
            std::printf("error: ZUMBLE_VERIFY_NOW is not a number of seconds since 1970\n");
            std::fflush(stdout);
            return 2;
        }
        std::uint64_t sampleKey = 0;
        if (!SampleKeyFromEnvironment(&sampleKey) && strict) {
            std::printf("error: ZUMBLE_SAMPLE_KEY is not a hexadecimal number\n");
            std::fflush(stdout);
            return 2;
        }
        MeasureSetSampleKey(sampleKey);
        // Only what a player's input could be: the verifier vouches for the round.
        if (strict && !ReplayFollowsRules(g_play.file, now, rule, sizeof rule)) {
            why = rule;
        } else if (!verify) {
            // A replay that is watched can be paused, stepped and sought (a verified one
            // is only played).
            if (!ViewerLoad(g_play.file, !g_Options.headless)) {
                std::fprintf(stderr, "zumble: not enough memory to watch the replay %s\n", path);
                return 2;
            }
            return -1;
        } else {
            return -1;
        }
    }
    if (!verify && !g_Options.clip.empty()) {
        std::printf("invalid: %s\n", why);
        std::fprintf(stderr, "zumble: no clip: %s does not verify\n", path);
        return 1;
    }
    if (verify) {
        std::printf("invalid: %s\n", why);
        std::fflush(stdout);
        return 1;
    }
    std::fprintf(stderr, "zumble: %s is not a replay that can be played: %s\n", path, why);
    return 2;
}

void StartReplayPlayback() {
    SetInputFeed(&kFeed);
    AddFlipHook(OnFlip);
}

void RunAtFirstInput(void (*atFirstInput)()) { g_play.atFirstInput = atFirstInput; }

int LoadReplayAfterStart(const char* path) {
    const int loaded = LoadReplay(path, true);
    // The game's start-up seeded the sequence from the calendar, which is the file's, but
    // it ran before there was a file. Nothing in the start-up drew from the sequence.
    if (loaded < 0) SeedRandom(static_cast<std::uint32_t>(CalendarTime()));
    return loaded;
}

void StartReplayFollow(FollowRead read) {
    g_play.follow.read = read;
    // The whole file is put together where it is read: room for the most a replay may
    // hold and one byte more, so that a longer one is seen.
    g_play.bytes.clear();
    g_play.bytes.reserve(kReplayMaxFile + 1);
}

void FollowAtFirstInput() {
    Follow& f = g_play.follow;
    std::vector<std::uint8_t>& bytes = g_play.bytes;
    bytes.resize(kReplayHeaderSize + 1);
    char kind = 0;
    std::size_t length = 0;
    const int got = f.read(&kind, bytes.data(), bytes.size(), &length);
    bytes.resize(kReplayHeaderSize);
    if (got <= 0 || kind != 'h' || length != static_cast<std::size_t>(kReplayHeaderSize)) {
        f.error = got < 0    ? "the input is not records of a round (KIND LENGTH, a newline, bytes)"
                  : got == 0 ? "the input ended before the round's header"
                             : "the first record is not the round's header (h, 68 bytes)";
        g_play.phase = Phase::Stopped;
        return;
    }
    // Only what can be played is played; the verdict waits for the file's end either way.
    f.usable = ReplayReadHeader(bytes.data(), bytes.size(), &f.start) && f.start.flySetting < 4 &&
               f.start.speedSetting < 4 && f.start.mouseDown < 2;
    g_play.file = ReplayFile{};
    g_play.file.header = f.start;
    g_play.file.header.frames = kReplayMaxFrames + 1;  // not known before the end
    g_play.file.header.inputSize = 0;
    g_play.file.input = bytes.data() + kReplayHeaderSize;
    g_play.verify = true;
    g_play.measure = true;
    std::uint64_t sampleKey = 0;  // the board's, as --verify takes it
    if (!SampleKeyFromEnvironment(&sampleKey)) {
        f.error = "ZUMBLE_SAMPLE_KEY is not a hexadecimal number";
        g_play.phase = Phase::Stopped;
        return;
    }
    MeasureSetSampleKey(sampleKey);
    if (!f.usable) {
        g_play.phase = Phase::Stopped;
        return;
    }
    // As a verification forked by the stream: seeded as the start-up would have been.
    SeedRandom(static_cast<std::uint32_t>(CalendarTime()));
}

int FinishReplayPlayback(bool verify, int gameCode) {
    ViewerFinish();
    SetInputFeed(nullptr);
    if (g_play.phase == Phase::LeadIn && gameCode != 0) {
        // The display or the sound could not be set up: nothing was played.
        std::printf("error: the game could not start (code %d)\n", gameCode);
        return 2;
    }
    if (g_play.follow.read) {
        Follow& f = g_play.follow;
        FollowDrain();
        FollowTell(false);
        if (f.error) {
            std::printf("error: %s\n", f.error);
            return 2;
        }
        if (f.invalid) {
            std::printf("invalid: %s\n", f.invalid);
            return 1;
        }
    }
    const ReplayHeader& h = g_play.file.header;
    // Every frame of a replay ends with a flip, however its round ended: one that did
    // not reach its end here was stopped, or the game quit early (a desync).
    if (g_play.phase != Phase::Done && g_play.desyncFrame < 0) {
        if (!verify) return 0;  // stopped by the player
        Desync(g_play.phase == Phase::LeadIn ? 0 : CurrentFrame());
    }
    if (g_play.desyncFrame >= 0) {
        if (verify)
            std::printf("desync at frame %lld\n", g_play.desyncFrame);
        else
            std::fprintf(stderr, "zumble: the replay parts from the recording at frame %lld\n",
                         g_play.desyncFrame);
        return 1;
    }
    if (g_play.time != h.timeMs) {
        if (h.timeMs == kReplayNoTime)
            std::printf("invalid: the file says the round has no time; it plays to %u ms\n",
                        g_play.time);
        else if (!g_play.timeKnown)
            std::printf("invalid: the file says %u ms; the round plays to no time\n", h.timeMs);
        else
            std::printf("invalid: the file says %u ms; the round plays to %u ms\n", h.timeMs,
                        g_play.time);
        return verify ? 1 : 0;
    }
    if (!g_play.timeKnown) {
        std::printf("invalid: the round was left before its last fly and has no time\n");
        return verify ? 1 : 0;
    }
    char round[65], program[64];
    ReplayRoundIdentity(g_play.file, round);
    ReplayProgramToken(h, program, sizeof program);
    static MeasureResult m;
    MeasureFinish(&m);
    std::printf(
        "ok flies=%d speed=%d time_ms=%u frames=%u round=%s played=%u program=%s autoplay=%d "
        "touch=%d pad=%d "
        "signs=%s keys=%s swats=%s swat_frames=%s\n",
        FliesForSetting(h.flySetting), h.speedSetting + 1, g_play.time, h.frames, round,
        h.calendarTime, program, (h.flags & kReplayTestPlayer) ? 1 : 0,
        (h.flags & kReplayTouch) ? 1 : 0, (h.flags & kReplayGamepad) ? 1 : 0, m.signs, m.keys,
        m.swats, m.swatFrames.c_str());
    return 0;
}
