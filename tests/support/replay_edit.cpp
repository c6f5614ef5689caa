#include "tests/support/replay_edit.h"

#include <cstring>

#include "replay/core/crc32.h"

bool EditDecode(const std::vector<std::uint8_t>& bytes, EditReplay* out, std::string* why) {
    ReplayFile file;
    char reason[kReplayReasonSize] = "";
    if (!ReplayParse(bytes.data(), bytes.size(), &file, reason, sizeof reason)) {
        *why = reason;
        return false;
    }
    *out = EditReplay{};
    out->header = file.header;
    ReplayReader r;
    ReplayReaderStart(&r, file);
    EditFrame f;
    while (ReplayReaderNextFrame(&r, &f.tick)) {
        f.inputs.clear();
        ReplayInput in;
        while (ReplayReaderNextInput(&r, &in) > 0) f.inputs.push_back(in);
        out->frames.push_back(f);
    }
    for (std::uint32_t i = 0; i < file.checkpointCount; ++i)
        out->checkpoints.push_back(ReplayCheckpoint(file, i));
    return true;
}

std::vector<std::uint8_t> EditEncode(const EditReplay& replay) {
    std::vector<std::uint8_t> input(kReplayMaxInput);
    ReplayWriter w;
    ReplayWriterStart(&w, input.data(), input.size(), replay.header);
    for (const EditFrame& f : replay.frames)
        ReplayWriterFrame(&w, f.tick, f.inputs.data(), static_cast<int>(f.inputs.size()));
    ReplayWriterFinish(&w);
    if (w.full) return {};
    ReplayHeader header = replay.header;
    header.frames = w.frames;
    header.inputSize = static_cast<std::uint32_t>(w.size);
    const std::uint32_t count = w.frames / kReplayCheckpointFrames;
    std::vector<std::uint32_t> checkpoints = replay.checkpoints;
    checkpoints.resize(count);
    std::vector<std::uint8_t> file(kReplayHeaderSize + w.size + 4u * count + 4);
    const std::size_t size = ReplayBuildFile(header, input.data(), w.size, checkpoints.data(),
                                             count, file.data(), file.size());
    file.resize(size);
    return file;
}

ReplayInput EditCursor(int x, int y) {
    ReplayInput in;
    in.op = ReplayOp::Cursor;
    in.x = x;
    in.y = y;
    return in;
}

ReplayInput EditMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    ReplayInput in;
    in.message = message;
    in.wParam = wParam;
    in.lParam = lParam;
    return in;
}

ReplayInput EditBreak() {
    ReplayInput in;
    in.op = ReplayOp::DrainBreak;
    return in;
}

std::int64_t EditAt(int x, int y) {
    return static_cast<std::int64_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                     static_cast<std::uint32_t>(x & 0xFFFF));
}

ReplayInput EditDown(int x, int y) { return EditMessage(0x0201, 1, EditAt(x, y)); }
ReplayInput EditUp(int x, int y) { return EditMessage(0x0202, 0, EditAt(x, y)); }

std::uint32_t EditSteadyTick(std::uint32_t flip) {
    return static_cast<std::uint32_t>(flip * 1000ull / 60);
}

std::vector<EditFrame> EditSteadyFrames(const ReplayHeader& header, int count) {
    std::vector<EditFrame> frames(count);
    std::uint32_t tick = header.startTick;
    for (int i = 0; i < count; ++i) {
        if (i > 0) tick += ReplayTickStep(header.startFlip + static_cast<std::uint32_t>(i));
        frames[i].tick = tick;
    }
    return frames;
}

namespace {
void Put32(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint32_t v) {
    if (bytes->size() < at + 4) return;
    for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

void EditFixCrc(std::vector<std::uint8_t>* bytes) {
    if (bytes->size() < 4) return;
    Put32(bytes, bytes->size() - 4, Crc32(bytes->data(), bytes->size() - 4));
}

void EditSetProgram(std::vector<std::uint8_t>* bytes, const std::string& text) {
    if (bytes->size() < static_cast<std::size_t>(kReplayProgramOffset + kReplayProgramSize)) return;
    std::uint8_t* p = bytes->data() + kReplayProgramOffset;
    std::memset(p, 0, kReplayProgramSize);
    std::memcpy(p, text.data(),
                text.size() < kReplayProgramSize ? text.size() : kReplayProgramSize);
    EditFixCrc(bytes);
}

void EditSetFlags(std::vector<std::uint8_t>* bytes, std::uint32_t flags) {
    Put32(bytes, 64, flags);
    EditFixCrc(bytes);
}

void EditSetCalendar(std::vector<std::uint8_t>* bytes, std::uint32_t seconds) {
    Put32(bytes, 32, seconds);
    EditFixCrc(bytes);
}
