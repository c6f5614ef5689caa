#include "replay/replay_live.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "replay/replay_viewer.h"

namespace {

struct Live {
    bool expected = false;
    bool started = false;
    // The header, the frames as they come, and at the end the rest of the file.
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint8_t start[kReplayHeaderSize] = {};  // the header as the round began, as it came
    ReplayHeader began;
    std::size_t frameBytes = 0;
    // After a new connection the board sends the round again from its start: the frame
    // bytes already had, still to pass over.
    std::size_t skip = 0;
    ReplayFile file;
    ReplayReader scan;  // at the end of the frames all there
    std::uint32_t held = 0;
    bool ended = false;
    const char* fault = nullptr;
    char reason[kReplayReasonSize] = {};
};

Live g_live;

// Moves the scan over every frame whose bytes have all come.
void Scan() {
    g_live.scan.end = g_live.file.input + g_live.frameBytes;
    for (;;) {
        ReplayReader next = g_live.scan;
        std::uint32_t tick = 0;
        if (!ReplayReaderNextFrame(&next, &tick)) return;
        ReplayInput in;
        int got;
        while ((got = ReplayReaderNextInput(&next, &in)) > 0) {}
        if (got < 0) return;
        g_live.scan = next;
        ++g_live.held;
    }
}

void Tell() { ViewerGrow(g_live.file, LiveRoundInputEnd(), LiveRoundHeld(), g_live.ended); }

LiveRecord Fail(const char* why) {
    g_live.fault = why;
    return LiveRecord::Refused;
}

LiveRecord AddFrames(const std::uint8_t* data, std::size_t size) {
    if (g_live.ended) return LiveRecord::Taken;  // sent again after the end
    const std::size_t passed = std::min(g_live.skip, size);
    g_live.skip -= passed;
    data += passed;
    size -= passed;
    if (size == 0) return LiveRecord::Taken;
    if (kReplayHeaderSize + g_live.frameBytes + size > kLiveMostFile)
        return Fail("the round is too long to watch as it is played");
    std::memcpy(g_live.bytes.get() + kReplayHeaderSize + g_live.frameBytes, data, size);
    g_live.frameBytes += size;
    Scan();
    Tell();
    return LiveRecord::Taken;
}

LiveRecord AddEnd(const std::uint8_t* data, std::size_t size) {
    if (g_live.ended) return LiveRecord::Taken;
    if (g_live.skip > 0) return Fail("the round came again with fewer frames than before");
    if (size < static_cast<std::size_t>(kReplayHeaderSize))
        return Fail("the round's end is shorter than a header");
    const std::size_t whole = g_live.frameBytes + size;
    if (whole > kLiveMostFile) return Fail("the round is too long to watch as it is played");
    // The header as it ended goes in front of the frames, the rest after them.
    std::uint8_t* bytes = g_live.bytes.get();
    std::memcpy(bytes, data, kReplayHeaderSize);
    std::memcpy(bytes + kReplayHeaderSize + g_live.frameBytes, data + kReplayHeaderSize,
                size - kReplayHeaderSize);
    ReplayFile file;
    if (!ReplayParse(bytes, whole, &file, g_live.reason, sizeof g_live.reason))
        return Fail(g_live.reason);
    if (!SameRoundStart(g_live.began, file.header))
        return Fail("the round's header at its end is not the one it began with");
    g_live.file = file;
    g_live.ended = true;
    Tell();
    return LiveRecord::Taken;
}

}  // namespace

bool SameRoundStart(const ReplayHeader& a, const ReplayHeader& b) {
    return a.flySetting == b.flySetting && a.speedSetting == b.speedSetting &&
           a.mouseDown == b.mouseDown && a.calendarTime == b.calendarTime &&
           a.startFlip == b.startFlip && a.startTick == b.startTick && a.cursorX == b.cursorX &&
           a.cursorY == b.cursorY;
}

void ExpectLiveRound() { g_live.expected = true; }
bool LiveRoundExpected() { return g_live.expected; }

bool LiveRoundStart(const std::uint8_t* head, std::size_t size, char* why, std::size_t whySize) {
    const auto say = [why, whySize](const char* text) {
        std::snprintf(why, whySize, "%s", text);
        return false;
    };
    ReplayHeader h;
    if (size < static_cast<std::size_t>(kReplayHeaderSize) || !ReplayReadHeader(head, size, &h))
        return say("it does not begin with a round's header");
    if (h.gameVersion != kReplayGameVersion || h.flySetting > 3 || h.speedSetting > 3 ||
        h.mouseDown > 1)
        return say("its header is not one of a round this game plays");
    if (size > kLiveMostFile) return say("the round is too long to watch as it is played");
    // A round started again begins afresh, in the buffer it had.
    std::unique_ptr<std::uint8_t[]> bytes = std::move(g_live.bytes);
    const bool expected = g_live.expected;
    g_live = Live();
    g_live.expected = expected;
    g_live.bytes =
        bytes ? std::move(bytes)
              : std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[kLiveMostFile]);
    if (!g_live.bytes) return say("not enough memory");
    std::memcpy(g_live.bytes.get(), head, size);
    std::memcpy(g_live.start, head, kReplayHeaderSize);
    g_live.began = h;
    g_live.frameBytes = size - kReplayHeaderSize;
    g_live.file = ReplayFile{};
    g_live.file.header = h;
    g_live.file.header.frames = kReplayMaxFrames + 1;  // not known before the end
    g_live.file.header.inputSize = 0;
    g_live.file.input = g_live.bytes.get() + kReplayHeaderSize;
    ReplayReaderStart(&g_live.scan, g_live.file);
    g_live.scan.frames = kReplayMaxFrames;
    g_live.held = 0;
    Scan();
    g_live.started = true;
    return true;
}

LiveRecord LiveRoundAdd(const std::uint8_t* record, std::size_t size) {
    if (!g_live.started) return LiveRecord::NoRound;
    if (size == 0) return g_live.fault ? LiveRecord::Refused : Fail("an empty record");
    const char kind = static_cast<char>(record[0]);
    if (kind == 'h') {
        if (size - 1 != static_cast<std::size_t>(kReplayHeaderSize) ||
            std::memcmp(record + 1, g_live.start, kReplayHeaderSize) != 0)
            return LiveRecord::NewRound;
        // The same round from its start again (the spectator's connection was made anew).
        g_live.skip = g_live.frameBytes;
        return g_live.fault ? LiveRecord::Refused : LiveRecord::Taken;
    }
    if (g_live.fault) return LiveRecord::Refused;
    if (kind == 'f') return AddFrames(record + 1, size - 1);
    if (kind == 'e') return AddEnd(record + 1, size - 1);
    return Fail("a record of an unknown kind");
}

const ReplayFile& LiveRoundFile() { return g_live.file; }
const std::uint8_t* LiveRoundInputEnd() {
    return g_live.ended ? g_live.file.input + g_live.file.header.inputSize
                        : g_live.file.input + g_live.frameBytes;
}
std::uint32_t LiveRoundHeld() { return g_live.ended ? g_live.file.header.frames : g_live.held; }
bool LiveRoundEnded() { return g_live.ended; }
const char* LiveRoundFault() { return g_live.fault; }
