#include "replay/core/replay_format.h"

#include <cstdio>
#include <cstring>

#include "replay/core/crc32.h"

namespace {

// The frame byte: a run of idle frames, or a frame with its tick error, cursor and inputs.
constexpr std::uint8_t kRunFlag = 0x80;
constexpr std::uint32_t kMaxRun = 128;
constexpr std::uint8_t kTickMask = 0x07;  // error + 3 for -3..3; 7: a varint follows
constexpr std::uint8_t kTickEscape = 7;
constexpr int kCursorShift = 3;  // 0 none, 1 one byte of nibbles, 2 two varints
constexpr std::uint8_t kCursorMask = 0x18;
constexpr std::uint8_t kTokensFlag = 0x20;
constexpr std::uint8_t kReservedFlag = 0x40;

enum : std::uint8_t {
    kEnd = 0,
    kBreak = 1,
    kCursor = 2,
    kButtonDown = 3,
    kButtonUp = 4,
    kKey = 5,
    kActivate = 6,
    kClose = 7,
    kOther = 8,
    kButtonDownAt = 9,  // a button message whose position is not the cursor's
    kButtonUpAt = 10,
};

constexpr std::uint32_t kButtonDownMessage = 0x0201;
constexpr std::uint32_t kButtonUpMessage = 0x0202;
constexpr std::uint32_t kKeyMessage = 0x0100;
constexpr std::uint32_t kActivateMessage = 0x001C;
constexpr std::uint32_t kCloseMessage = 0x0010;
constexpr int kCursorLimit = 32767;

std::int64_t CursorLParam(int x, int y) {
    return static_cast<std::int64_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                     static_cast<std::uint32_t>(x & 0xFFFF));
}

std::uint64_t ZigZag(std::int64_t v) {
    return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
std::int64_t UnZigZag(std::uint64_t v) {
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// --- writer -----------------------------------------------------------------------------

void PutByte(ReplayWriter* w, std::uint8_t b) {
    if (w->full) return;
    if (w->size >= w->capacity) {
        w->full = true;
        return;
    }
    w->out[w->size++] = b;
}

void PutVarint(ReplayWriter* w, std::uint64_t v) {
    while (v >= 0x80) {
        PutByte(w, static_cast<std::uint8_t>(v | 0x80));
        v >>= 7;
    }
    PutByte(w, static_cast<std::uint8_t>(v));
}

void FlushRun(ReplayWriter* w) {
    while (w->idleRun > 0) {
        const std::uint32_t n = w->idleRun < kMaxRun ? w->idleRun : kMaxRun;
        PutByte(w, static_cast<std::uint8_t>(kRunFlag | (n - 1)));
        w->idleRun -= n;
    }
}

// A button message at a position of its own, which the reader can give back exactly.
bool ButtonAt(const ReplayInput& in, int* x, int* y) {
    if (in.message != kButtonDownMessage && in.message != kButtonUpMessage) return false;
    if (in.wParam != (in.message == kButtonDownMessage ? 1u : 0u)) return false;
    *x = static_cast<std::int16_t>(in.lParam & 0xFFFF);
    *y = static_cast<std::int16_t>((in.lParam >> 16) & 0xFFFF);
    return in.lParam == CursorLParam(*x, *y) && *x >= -kCursorLimit && *y >= -kCursorLimit;
}

void PutMessage(ReplayWriter* w, const ReplayInput& in) {
    const std::int64_t here = CursorLParam(w->cursorX, w->cursorY);
    int x = 0, y = 0;
    if (in.message == kButtonDownMessage && in.wParam == 1 && in.lParam == here) {
        PutByte(w, kButtonDown);
    } else if (in.message == kButtonUpMessage && in.wParam == 0 && in.lParam == here) {
        PutByte(w, kButtonUp);
    } else if (ButtonAt(in, &x, &y)) {
        // Posted before the cursor reached the position it names (a script's click).
        PutByte(w, in.message == kButtonDownMessage ? kButtonDownAt : kButtonUpAt);
        PutVarint(w, ZigZag(x - w->cursorX));
        PutVarint(w, ZigZag(y - w->cursorY));
    } else if (in.message == kKeyMessage && in.lParam == 1) {
        PutByte(w, kKey);
        PutVarint(w, in.wParam);
    } else if (in.message == kActivateMessage && in.lParam == 0) {
        PutByte(w, kActivate);
        PutVarint(w, in.wParam);
    } else if (in.message == kCloseMessage && in.wParam == 0 && in.lParam == 0) {
        PutByte(w, kClose);
    } else {
        PutByte(w, kOther);
        PutVarint(w, in.message);
        PutVarint(w, in.wParam);
        PutVarint(w, ZigZag(in.lParam));
    }
}

// --- reader -----------------------------------------------------------------------------

bool GetVarint(const std::uint8_t** p, const std::uint8_t* end, std::uint64_t* out) {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (*p >= end) return false;
        const std::uint8_t b = *(*p)++;
        // The tenth byte has room for the top bit alone: more would not fit in 64 bits.
        if (shift == 63 && b > 1) return false;
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) {
            *out = v;
            return true;
        }
    }
    return false;
}

bool GetDelta(const std::uint8_t** p, const std::uint8_t* end, int* value) {
    std::uint64_t raw = 0;
    if (!GetVarint(p, end, &raw)) return false;
    // No move between two positions on the board is longer than this: checked before the
    // sum, which a 64-bit delta would overflow.
    const std::int64_t delta = UnZigZag(raw);
    if (delta < -2 * kCursorLimit || delta > 2 * kCursorLimit) return false;
    const std::int64_t v = delta + *value;
    if (v < -kCursorLimit || v > kCursorLimit) return false;
    *value = static_cast<int>(v);
    return true;
}

// The version text of the program that recorded a file (at the same place in every
// format version), as printable text.
void ProgramText(const std::uint8_t* bytes, std::size_t size, char* out, std::size_t outSize) {
    std::size_t n = 0;
    for (int i = 0;
         i < kReplayProgramSize && kReplayProgramOffset + static_cast<std::size_t>(i) < size; ++i) {
        const std::uint8_t c = bytes[kReplayProgramOffset + i];
        if (c == 0 || n + 1 >= outSize) break;
        out[n++] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    out[n] = '\0';
}

// Writes a refusal's reason for the caller; false, for the caller to return.
bool Refuse(char* reason, std::size_t reasonSize, const char* text) {
    if (reasonSize > 0) std::snprintf(reason, reasonSize, "%s", text);
    return false;
}

// "another format version (1, older than this program's 2), recorded by zumble 1.0.0".
bool OtherVersion(const char* what, std::uint32_t theirs, std::uint32_t ours,
                  const std::uint8_t* bytes, std::size_t size, char* reason,
                  std::size_t reasonSize) {
    char program[kReplayProgramSize + 1];
    ProgramText(bytes, size, program, sizeof program);
    const char* recorder =
        size < static_cast<std::size_t>(kReplayProgramOffset + kReplayProgramSize)
            ? "a program this file is too short to name"
        : *program ? program
                   : "a program that left its name out";
    if (reasonSize > 0)
        std::snprintf(reason, reasonSize, "%s (%u, %s than this program's %u), recorded by %s%s",
                      what, theirs, theirs < ours ? "older" : "newer", ours,
                      *program ? "zumble " : "", recorder);
    return false;
}

// What a window's input can be: a file that would hand the game anything else (its own
// WM_DESTROY, say) is refused before it is played.
bool PlayerMessage(std::uint32_t message) {
    switch (message) {
    case kCloseMessage:
    case kActivateMessage:
    case kKeyMessage:
    case 0x0101:  // WM_KEYUP
    case 0x0200:  // WM_MOUSEMOVE
    case kButtonDownMessage:
    case kButtonUpMessage:
    case 0x0204:  // WM_RBUTTONDOWN
    case 0x0205:  // WM_RBUTTONUP
        return true;
    default: return false;
    }
}

}  // namespace

void ReplayWriterStart(ReplayWriter* w, std::uint8_t* out, std::size_t capacity,
                       const ReplayHeader& header) {
    *w = ReplayWriter{};
    w->out = out;
    w->capacity = capacity;
    w->tick = header.startTick;
    w->flip = header.startFlip;
    w->cursorX = header.cursorX;
    w->cursorY = header.cursorY;
}

void ReplayWriterFrame(ReplayWriter* w, std::uint32_t tick, const ReplayInput* inputs, int count) {
    const std::uint32_t predicted =
        w->frames == 0 ? w->tick : w->tick + ReplayTickStep(w->flip + w->frames);
    const std::int64_t error = static_cast<std::int32_t>(tick - predicted);
    w->tick = tick;
    ++w->frames;
    if (error == 0 && count == 0) {
        ++w->idleRun;
        return;
    }
    FlushRun(w);

    std::uint8_t head =
        error >= -3 && error <= 3 ? static_cast<std::uint8_t>(error + 3) : kTickEscape;
    int first = 0;
    int dx = 0, dy = 0;
    if (count > 0 && inputs[0].op == ReplayOp::Cursor) {
        dx = inputs[0].x - w->cursorX;
        dy = inputs[0].y - w->cursorY;
        const bool small = dx >= -8 && dx <= 7 && dy >= -8 && dy <= 7;
        head |= static_cast<std::uint8_t>((small ? 1 : 2) << kCursorShift);
        w->cursorX = inputs[0].x;
        w->cursorY = inputs[0].y;
        first = 1;
    }
    if (first < count) head |= kTokensFlag;
    PutByte(w, head);
    if ((head & kTickMask) == kTickEscape) PutVarint(w, ZigZag(error));
    if (first == 1) {
        if (((head & kCursorMask) >> kCursorShift) == 1) {
            PutByte(w, static_cast<std::uint8_t>((dx + 8) << 4 | (dy + 8)));
        } else {
            PutVarint(w, ZigZag(dx));
            PutVarint(w, ZigZag(dy));
        }
    }
    if (first == count) return;
    for (int i = first; i < count; ++i) {
        const ReplayInput& in = inputs[i];
        if (in.op == ReplayOp::DrainBreak) {
            PutByte(w, kBreak);
        } else if (in.op == ReplayOp::Cursor) {
            PutByte(w, kCursor);
            PutVarint(w, ZigZag(in.x - w->cursorX));
            PutVarint(w, ZigZag(in.y - w->cursorY));
            w->cursorX = in.x;
            w->cursorY = in.y;
        } else {
            PutMessage(w, in);
        }
    }
    PutByte(w, kEnd);
}

void ReplayWriterFinish(ReplayWriter* w) { FlushRun(w); }

std::size_t ReplayBuildFile(const ReplayHeader& header, const std::uint8_t* input,
                            std::size_t inputSize, const std::uint32_t* checkpoints,
                            std::uint32_t checkpointCount, std::uint8_t* file,
                            std::size_t capacity) {
    const std::size_t total = kReplayHeaderSize + inputSize + 4u * checkpointCount + 4;
    if (total > capacity || inputSize > kReplayMaxInput) return 0;
    std::uint8_t* h = file;
    std::memset(h, 0, kReplayHeaderSize);
    std::memcpy(h, kReplayMagic, 4);
    Put16(h + 4, kReplayFormatVersion);
    Put16(h + 6, kReplayHeaderSize);
    Put32(h + 8, header.gameVersion);
    std::memcpy(h + 12, header.program, sizeof header.program);
    h[28] = header.flySetting;
    h[29] = header.speedSetting;
    h[30] = header.mouseDown;
    h[31] = header.end;
    Put32(h + 32, header.calendarTime);
    Put32(h + 36, header.startFlip);
    Put32(h + 40, header.startTick);
    Put16(h + 44, static_cast<std::uint16_t>(header.cursorX));
    Put16(h + 46, static_cast<std::uint16_t>(header.cursorY));
    Put32(h + 48, header.timeMs);
    Put32(h + 52, header.frames);
    Put32(h + 56, static_cast<std::uint32_t>(inputSize));
    Put32(h + 60, header.finalChecksum);
    Put32(h + 64, header.flags);
    if (inputSize > 0) std::memcpy(file + kReplayHeaderSize, input, inputSize);
    std::uint8_t* c = file + kReplayHeaderSize + inputSize;
    for (std::uint32_t i = 0; i < checkpointCount; ++i) Put32(c + 4 * i, checkpoints[i]);
    Put32(file + total - 4, Crc32(file, total - 4));
    return total;
}

bool ReplayReadHeader(const std::uint8_t* bytes, std::size_t size, ReplayHeader* header) {
    if (size < kReplayHeaderSize || std::memcmp(bytes, kReplayMagic, 4) != 0 ||
        Get16(bytes + 4) != kReplayFormatVersion || Get16(bytes + 6) != kReplayHeaderSize)
        return false;
    ReplayHeader& h = *header;
    h.gameVersion = Get32(bytes + 8);
    std::memcpy(h.program, bytes + 12, sizeof h.program);
    h.flySetting = bytes[28];
    h.speedSetting = bytes[29];
    h.mouseDown = bytes[30];
    h.end = bytes[31];
    h.calendarTime = Get32(bytes + 32);
    h.startFlip = Get32(bytes + 36);
    h.startTick = Get32(bytes + 40);
    h.cursorX = static_cast<std::int16_t>(Get16(bytes + 44));
    h.cursorY = static_cast<std::int16_t>(Get16(bytes + 46));
    h.timeMs = Get32(bytes + 48);
    h.frames = Get32(bytes + 52);
    h.inputSize = Get32(bytes + 56);
    h.finalChecksum = Get32(bytes + 60);
    h.flags = Get32(bytes + 64);
    return true;
}

bool ReplayParse(const std::uint8_t* bytes, std::size_t size, ReplayFile* file, char* reason,
                 std::size_t reasonSize) {
    *file = ReplayFile{};
    if (size < 8 || std::memcmp(bytes, kReplayMagic, 4) != 0) {
        return Refuse(reason, reasonSize, "not a replay");
    }
    if (Get16(bytes + 4) != kReplayFormatVersion) {
        return OtherVersion("another format version", Get16(bytes + 4), kReplayFormatVersion, bytes,
                            size, reason, reasonSize);
    }
    ReplayHeader& h = file->header;
    if (size < kReplayHeaderSize + 4 || !ReplayReadHeader(bytes, size, &h)) {
        return Refuse(reason, reasonSize, "truncated");
    }

    // The lengths first, so that no count from the file is trusted before it is checked.
    if (h.frames == 0 || h.frames > kReplayMaxFrames || h.inputSize > kReplayMaxInput) {
        return Refuse(reason, reasonSize, "bad length");
    }
    const std::uint32_t checkpoints = h.frames / kReplayCheckpointFrames;
    const std::size_t expected =
        kReplayHeaderSize + std::size_t{h.inputSize} + 4u * checkpoints + 4;
    if (size < expected) {
        return Refuse(reason, reasonSize, "truncated");
    }
    if (size > expected) {
        return Refuse(reason, reasonSize, "bytes after the end");
    }
    if (Get32(bytes + size - 4) != Crc32(bytes, size - 4)) {
        return Refuse(reason, reasonSize, "checksum mismatch (damaged file)");
    }
    if (h.gameVersion != kReplayGameVersion) {
        return OtherVersion("another game version", h.gameVersion, kReplayGameVersion, bytes, size,
                            reason, reasonSize);
    }
    if (h.flySetting > 3 || h.speedSetting > 3 || h.mouseDown > 1 || h.end > kReplayEndQuit) {
        return Refuse(reason, reasonSize, "bad settings");
    }
    if (h.flags & ~kReplayKnownFlags) {
        return Refuse(reason, reasonSize, "unknown flags");
    }
    file->input = bytes + kReplayHeaderSize;
    file->checkpoints = file->input + h.inputSize;
    file->checkpointCount = checkpoints;

    // Every frame and input must decode, and the clock must not beat 60 frames a second
    // (ReplayClockNext). A file edited to shorten its time fails here.
    ReplayReader r;
    ReplayReaderStart(&r, *file);
    ReplayClock clock;
    std::uint32_t tick = 0;
    bool coded = true;
    while (ReplayReaderNextFrame(&r, &tick)) {
        ReplayInput in;
        int got;
        while ((got = ReplayReaderNextInput(&r, &in)) > 0)
            if (in.op == ReplayOp::Message && !PlayerMessage(in.message)) {
                return Refuse(reason, reasonSize, "a message no player can send");
            }
        if (got < 0) {
            coded = false;
            break;
        }
        switch (ReplayClockNext(&clock, tick)) {
        case ReplayClockVerdict::Ok: break;
        case ReplayClockVerdict::Backwards:
            return Refuse(reason, reasonSize, "the clock runs backwards");
        case ReplayClockVerdict::TooFast:
            return Refuse(reason, reasonSize, "the clock runs faster than 60 frames a second");
        }
    }
    if (!coded || r.frame != h.frames || r.p != r.end || r.idleLeft != 0) {
        return Refuse(reason, reasonSize,
                      coded && r.frame == h.frames && r.p != r.end ? "input past the last frame"
                                                                   : "bad input coding");
    }
    return true;
}

std::uint32_t ReplayCheckpoint(const ReplayFile& file, std::uint32_t index) {
    return index < file.checkpointCount ? Get32(file.checkpoints + 4 * index) : 0;
}

void ReplayReaderStart(ReplayReader* r, const ReplayFile& file) {
    *r = ReplayReader{};
    r->p = file.input;
    r->end = file.input + file.header.inputSize;
    r->frames = file.header.frames;
    r->tick = file.header.startTick;
    r->flip = file.header.startFlip;
    r->cursorX = file.header.cursorX;
    r->cursorY = file.header.cursorY;
}

bool ReplayReaderNextFrame(ReplayReader* r, std::uint32_t* tick) {
    if (r->frame >= r->frames) return false;
    // Inputs of the last frame that were not taken are passed over.
    r->pendingCursor = false;
    ReplayInput skipped;
    int got;
    while ((got = ReplayReaderNextInput(r, &skipped)) > 0) {}
    if (got < 0) return false;
    const std::uint32_t predicted =
        r->frame == 0 ? r->tick : r->tick + ReplayTickStep(r->flip + r->frame);
    if (r->idleLeft > 0) {
        --r->idleLeft;
        r->tick = predicted;
    } else {
        if (r->p >= r->end) return false;
        const std::uint8_t head = *r->p++;
        if (head & kRunFlag) {
            r->idleLeft = head & 0x7Fu;  // this frame plus idleLeft more
            r->tick = predicted;
        } else {
            if (head & kReservedFlag) return false;
            std::int64_t error = static_cast<std::int64_t>(head & kTickMask) - 3;
            if ((head & kTickMask) == kTickEscape) {
                std::uint64_t raw = 0;
                if (!GetVarint(&r->p, r->end, &raw)) return false;
                error = UnZigZag(raw);
                if (error < INT32_MIN || error > INT32_MAX) return false;
            }
            r->tick = predicted + static_cast<std::uint32_t>(error);
            const int cursor = (head & kCursorMask) >> kCursorShift;
            if (cursor == 3) return false;
            if (cursor == 1) {
                if (r->p >= r->end) return false;
                const std::uint8_t b = *r->p++;
                r->pendingX = r->cursorX + (b >> 4) - 8;
                r->pendingY = r->cursorY + (b & 15) - 8;
                if (r->pendingX < -kCursorLimit || r->pendingX > kCursorLimit ||
                    r->pendingY < -kCursorLimit || r->pendingY > kCursorLimit)
                    return false;
                r->pendingCursor = true;
            } else if (cursor == 2) {
                r->pendingX = r->cursorX;
                r->pendingY = r->cursorY;
                if (!GetDelta(&r->p, r->end, &r->pendingX) ||
                    !GetDelta(&r->p, r->end, &r->pendingY))
                    return false;
                r->pendingCursor = true;
            }
            if (r->pendingCursor) {
                r->cursorX = r->pendingX;
                r->cursorY = r->pendingY;
            }
            if (head & kTokensFlag) r->tokens = r->p;
        }
    }
    ++r->frame;
    *tick = r->tick;
    return true;
}

int ReplayReaderNextInput(ReplayReader* r, ReplayInput* in) {
    *in = ReplayInput{};
    if (r->pendingCursor) {
        r->pendingCursor = false;
        in->op = ReplayOp::Cursor;
        in->x = r->pendingX;
        in->y = r->pendingY;
        return 1;
    }
    if (!r->tokens) return 0;
    if (r->tokens >= r->end) return -1;
    const std::uint8_t t = *r->tokens++;
    std::uint64_t a = 0, b = 0, c = 0;
    switch (t) {
    case kEnd:
        r->p = r->tokens;
        r->tokens = nullptr;
        return 0;
    case kBreak: in->op = ReplayOp::DrainBreak; break;
    case kCursor:
        in->op = ReplayOp::Cursor;
        if (!GetDelta(&r->tokens, r->end, &r->cursorX) ||
            !GetDelta(&r->tokens, r->end, &r->cursorY))
            return -1;
        in->x = r->cursorX;
        in->y = r->cursorY;
        break;
    case kButtonDown:
    case kButtonUp:
        in->message = t == kButtonDown ? kButtonDownMessage : kButtonUpMessage;
        in->wParam = t == kButtonDown ? 1 : 0;
        in->lParam = CursorLParam(r->cursorX, r->cursorY);
        break;
    case kButtonDownAt:
    case kButtonUpAt: {
        int x = r->cursorX, y = r->cursorY;
        if (!GetDelta(&r->tokens, r->end, &x) || !GetDelta(&r->tokens, r->end, &y)) return -1;
        in->message = t == kButtonDownAt ? kButtonDownMessage : kButtonUpMessage;
        in->wParam = t == kButtonDownAt ? 1 : 0;
        in->lParam = CursorLParam(x, y);
        break;
    }
    case kKey:
    case kActivate:
        if (!GetVarint(&r->tokens, r->end, &a)) return -1;
        in->message = t == kKey ? kKeyMessage : kActivateMessage;
        in->wParam = a;
        in->lParam = t == kKey ? 1 : 0;
        break;
    case kClose: in->message = kCloseMessage; break;
    case kOther:
        if (!GetVarint(&r->tokens, r->end, &a) || !GetVarint(&r->tokens, r->end, &b) ||
            !GetVarint(&r->tokens, r->end, &c) || a > 0xFFFFFFFFu)
            return -1;
        in->message = static_cast<std::uint32_t>(a);
        in->wParam = b;
        in->lParam = UnZigZag(c);
        break;
    default: return -1;
    }
    return 1;
}

ReplayClockVerdict ReplayClockNext(ReplayClock* c, std::uint32_t tick) {
    if (c->started) {
        const std::int32_t step = static_cast<std::int32_t>(tick - c->raw);
        if (step < 0) return ReplayClockVerdict::Backwards;
        c->tick += step;
        ++c->frame;
    } else {
        c->started = true;
        c->tick = 0;
        c->frame = 0;
        c->phase = 0;
    }
    c->raw = tick;
    // ticks(j) - ticks(i) >= floor((j - i) * 1000 / 60)
    //   <=> 60 * (ticks(j) - ticks(i)) > 1000 * (j - i) - 60
    //   <=> phase(j) >= phase(i) - 59, with phase(k) = 60 * ticks(k) - 1000 * k.
    const std::int64_t phase = 60 * c->tick - 1000 * c->frame;
    if (c->frame > 0 && phase < c->phase - 59) return ReplayClockVerdict::TooFast;
    if (c->frame == 0 || phase > c->phase) c->phase = phase;
    return ReplayClockVerdict::Ok;
}
