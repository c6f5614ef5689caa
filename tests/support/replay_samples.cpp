#include "tests/support/replay_samples.h"

#include <cstring>

#include "replay/core/sha256.h"

namespace {

ReplayHeader SampleHeader(std::int64_t now) {
    ReplayHeader h;
    h.flySetting = 0;
    h.speedSetting = 1;
    h.startFlip = 40;
    h.startTick = EditSteadyTick(40);
    h.cursorX = 320;
    h.cursorY = 240;
    h.timeMs = 5000;
    h.calendarTime = static_cast<std::uint32_t>(now - 3600);
    std::memcpy(h.program, "1.2.3", 5);
    return h;
}

}  // namespace

// A round of 300 steady frames with a few ordinary inputs of every kind a window sends.
EditReplay SampleRound(std::int64_t now) {
    EditReplay r;
    r.header = SampleHeader(now);
    r.frames = EditSteadyFrames(r.header, 300);
    r.frames[0].inputs = {EditCursor(322, 241), EditDown(322, 241), EditUp(322, 241)};
    r.frames[1].inputs = {EditBreak(), EditMessage(0x0100, 0x0D, 1), EditBreak(),
                          EditMessage(0x0100, 0x20, 1)};
    r.frames[20].inputs = {EditCursor(0, 0), EditDown(0, 0), EditUp(0, 0), EditCursor(639, 479),
                           EditDown(639, 479)};
    r.frames[21].inputs = {EditUp(639, 479), EditMessage(0x001C, 0, 0), EditMessage(0x001C, 1, 0)};
    r.frames[299].inputs = {EditMessage(0x0100, 0x1B, 1), EditMessage(0x0010, 0, 0)};
    return r;
}

std::string Sha256Of(const std::string& text) {
    Sha256 s;
    Sha256Start(&s);
    Sha256Feed(&s, text.data(), text.size());
    std::uint8_t digest[32];
    Sha256Finish(&s, digest);
    char hex[65];
    Sha256Hex(digest, hex);
    return hex;
}
