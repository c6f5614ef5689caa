// Replay files of any content: the reader accepts or refuses each with a reason, never
// reads outside the bytes, and what it accepts codes back to the same frames, the same
// round (its identity) and the same verdict of the player's-input rules, which refuse
// with a printable reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "replay/core/replay_format.h"
#include "replay/core/replay_identity.h"
#include "replay/core/replay_rules.h"

namespace {

struct Frame {
    std::uint32_t tick;
    std::vector<ReplayInput> inputs;
};

bool Read(const std::uint8_t* data, std::size_t size, ReplayFile* file,
          std::vector<Frame>* frames) {
    char reason[kReplayReasonSize] = "";
    if (!ReplayParse(data, size, file, reason, sizeof reason)) {
        if (!*reason) std::abort();  // every refusal says why
        return false;
    }
    ReplayReader r;
    ReplayReaderStart(&r, *file);
    Frame f{};
    while (ReplayReaderNextFrame(&r, &f.tick)) {
        f.inputs.clear();
        ReplayInput in;
        int got;
        while ((got = ReplayReaderNextInput(&r, &in)) > 0) f.inputs.push_back(in);
        if (got < 0) std::abort();  // the parse passed every frame
        frames->push_back(f);
    }
    if (frames->size() != file->header.frames) std::abort();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReplayFile file;
    std::vector<Frame> frames;
    if (!Read(data, size, &file, &frames)) return 0;

    // Coded again, the frames read back the same.
    std::vector<std::uint8_t> input(file.header.inputSize * 4 + 64);
    ReplayWriter w;
    ReplayWriterStart(&w, input.data(), input.size(), file.header);
    for (const Frame& f : frames)
        ReplayWriterFrame(&w, f.tick, f.inputs.data(), static_cast<int>(f.inputs.size()));
    ReplayWriterFinish(&w);
    if (w.full) std::abort();
    std::vector<std::uint32_t> checkpoints(file.checkpointCount);
    for (std::uint32_t i = 0; i < file.checkpointCount; ++i)
        checkpoints[i] = ReplayCheckpoint(file, i);
    std::vector<std::uint8_t> again(kReplayHeaderSize + w.size + 4 * checkpoints.size() + 4);
    if (ReplayBuildFile(file.header, input.data(), w.size, checkpoints.data(), file.checkpointCount,
                        again.data(), again.size()) != again.size())
        std::abort();
    ReplayFile file2;
    std::vector<Frame> frames2;
    if (!Read(again.data(), again.size(), &file2, &frames2)) std::abort();
    char id[65], id2[65];
    ReplayRoundIdentity(file, id);
    ReplayRoundIdentity(file2, id2);
    if (std::strlen(id) != 64 || std::strcmp(id, id2) != 0) std::abort();
    char reason[192] = "", reason2[192] = "";
    const bool follows = ReplayFollowsRules(file, 1800000000, reason, sizeof reason);
    if (follows != ReplayFollowsRules(file2, 1800000000, reason2, sizeof reason2)) std::abort();
    if (!follows && (!*reason || std::strcmp(reason, reason2) != 0)) std::abort();
    for (const char* c = reason; *c; ++c)
        if (*c < 0x20 || *c > 0x7e) std::abort();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].tick != frames2[i].tick ||
            frames[i].inputs.size() != frames2[i].inputs.size())
            std::abort();
        for (std::size_t k = 0; k < frames[i].inputs.size(); ++k) {
            const ReplayInput& a = frames[i].inputs[k];
            const ReplayInput& b = frames2[i].inputs[k];
            if (a.op != b.op || a.x != b.x || a.y != b.y || a.message != b.message ||
                a.wParam != b.wParam || a.lParam != b.lParam)
                std::abort();
        }
    }
    return 0;
}
