// The replay file: its coding round-trips every kind of input, the reader refuses damaged
// and hostile files with a reason, and tampered rounds (an input moved, the result
// changed, the clock squeezed, with the file's checksum made right again) are refused by
// `zumble --verify`.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "replay/replay_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Frame {
    std::uint32_t tick = 0;
    std::vector<ReplayInput> inputs;
};

struct Decoded {
    ReplayHeader header;
    std::vector<Frame> frames;
    std::vector<std::uint32_t> checkpoints;
};

ReplayInput Cursor(int x, int y) {
    ReplayInput in;
    in.op = ReplayOp::Cursor;
    in.x = x;
    in.y = y;
    return in;
}
ReplayInput Message(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    ReplayInput in;
    in.message = message;
    in.wParam = wParam;
    in.lParam = lParam;
    return in;
}
ReplayInput Break() {
    ReplayInput in;
    in.op = ReplayOp::DrainBreak;
    return in;
}
std::int64_t At(int x, int y) { return static_cast<std::int64_t>((y & 0xFFFF) << 16 | (x & 0xFFFF)); }

Bytes Build(ReplayHeader header, const std::vector<Frame>& frames, std::vector<std::uint32_t> checkpoints = {}) {
    Bytes input(1 << 20);
    ReplayWriter w;
    ReplayWriterStart(&w, input.data(), input.size(), header);
    for (const Frame& f : frames) ReplayWriterFrame(&w, f.tick, f.inputs.data(), static_cast<int>(f.inputs.size()));
    ReplayWriterFinish(&w);
    EXPECT_FALSE(w.full);
    header.frames = w.frames;
    const std::uint32_t count = w.frames / kReplayCheckpointFrames;
    checkpoints.resize(count);
    Bytes file(kReplayHeaderSize + w.size + 4 * count + 4);
    const std::size_t size =
        ReplayBuildFile(header, input.data(), w.size, checkpoints.data(), count, file.data(), file.size());
    EXPECT_EQ(size, file.size());
    return file;
}

bool Decode(const Bytes& bytes, Decoded* out, const char** reason) {
    ReplayFile file;
    if (!ReplayParse(bytes.data(), bytes.size(), &file, reason)) return false;
    out->header = file.header;
    out->frames.clear();
    ReplayReader r;
    ReplayReaderStart(&r, file);
    Frame f;
    while (ReplayReaderNextFrame(&r, &f.tick)) {
        f.inputs.clear();
        ReplayInput in;
        while (ReplayReaderNextInput(&r, &in) > 0) f.inputs.push_back(in);
        out->frames.push_back(f);
    }
    out->checkpoints.clear();
    for (std::uint32_t i = 0; i < file.checkpointCount; ++i) out->checkpoints.push_back(ReplayCheckpoint(file, i));
    return true;
}

Bytes Rebuild(const Decoded& d) { return Build(d.header, d.frames, d.checkpoints); }

// Headless ticks: tick0 + floor(flip * 1000 / 60).
std::uint32_t Steady(std::uint32_t flip) { return static_cast<std::uint32_t>(flip * 1000ull / 60); }

ReplayHeader Header(std::uint32_t startFlip = 30) {
    ReplayHeader h;
    h.flySetting = 1;
    h.speedSetting = 2;
    h.startFlip = startFlip;
    h.startTick = Steady(startFlip);
    h.cursorX = 320;
    h.cursorY = 240;
    h.timeMs = 1234;
    return h;
}

std::vector<Frame> SteadyFrames(int count, std::uint32_t startFlip = 30) {
    std::vector<Frame> frames(count);
    for (int i = 0; i < count; ++i) frames[i].tick = Steady(startFlip + i);
    return frames;
}

bool SameInput(const ReplayInput& a, const ReplayInput& b) {
    return a.op == b.op && (a.op != ReplayOp::Cursor || (a.x == b.x && a.y == b.y)) &&
           (a.op != ReplayOp::Message || (a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam));
}

TEST(ReplayFormat, EveryKindOfInputRoundTrips) {
    std::vector<Frame> frames = SteadyFrames(400);
    // Cursor moves small and large, every message the coder shortens and one it does not,
    // drains, a frame with a late tick and one with a very late one, long idle runs.
    frames[0].inputs = {Cursor(321, 241), Message(0x0201, 1, At(321, 241)), Message(0x0202, 0, At(321, 241))};
    frames[1].inputs = {Break(), Message(0x0100, 0x0D, 1), Break(), Message(0x0100, 0x20, 1)};
    frames[2].inputs = {Cursor(-5, 470), Message(0x001C, 0, 0), Message(0x001C, 1, 0)};
    frames[3].inputs = {Cursor(639, 0), Message(0x0201, 1, At(10, 10)), Cursor(600, 2), Message(0x0010, 0, 0)};
    frames[4].inputs = {Cursor(603, 5)};
    frames[5].tick += 2;
    frames[7].inputs = {Message(0x0101, 0x1B, -1), Message(0x0202, 0, At(-3, 5)), Message(0x0201, 2, At(1, 1))};
    for (int i = 300; i < 400; ++i) frames[i].inputs = {Cursor(300 + i % 7, 200 - i % 5)};
    for (std::size_t i = 6; i < frames.size(); ++i) frames[i].tick += 500;  // the clock stays ahead

    const Bytes file = Build(Header(), frames);
    Decoded d;
    const char* reason = "";
    ASSERT_TRUE(Decode(file, &d, &reason)) << reason;
    ASSERT_EQ(d.frames.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(d.frames[i].tick, frames[i].tick) << "frame " << i;
        ASSERT_EQ(d.frames[i].inputs.size(), frames[i].inputs.size()) << "frame " << i;
        for (std::size_t k = 0; k < frames[i].inputs.size(); ++k)
            EXPECT_TRUE(SameInput(d.frames[i].inputs[k], frames[i].inputs[k])) << "frame " << i << " input " << k;
    }
    EXPECT_EQ(d.header.timeMs, 1234u);
    EXPECT_EQ(d.header.flySetting, 1);
    EXPECT_EQ(d.checkpoints.size(), frames.size() / 60);
}

TEST(ReplayFormat, IdleFramesAndSmallMovesAreCheap) {
    // A minute of nothing is a handful of bytes; a minute of the mouse always moving by
    // a few pixels is two bytes a frame.
    const Bytes idle = Build(Header(), SteadyFrames(3600));
    EXPECT_LT(idle.size(), 64u + 40u + 4u * 60u + 4u);
    std::vector<Frame> moving = SteadyFrames(3600);
    int x = 320, y = 240;
    for (int i = 0; i < 3600; ++i) {
        // Back and forth across the screen, a few pixels a frame.
        x += (i / 50) % 2 ? 3 : -3;
        y += (i / 70) % 2 ? 2 : -2;
        moving[i].inputs = {Cursor(x, y)};
    }
    const Bytes moved = Build(Header(), moving);
    EXPECT_LE(moved.size(), 64u + 2u * 3600u + 4u * 60u + 4u);
}

// Bad files: each is refused with its reason, whatever it holds.
TEST(ReplayFormat, DamagedAndHostileFilesAreRefused) {
    const Bytes good = Build(Header(), SteadyFrames(200));
    const char* reason = "";
    ReplayFile parsed;
    ASSERT_TRUE(ReplayParse(good.data(), good.size(), &parsed, &reason)) << reason;

    // Every shorter file, and every single flipped bit.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(ReplayParse(good.data(), n, &parsed, &reason)) << "cut to " << n;
    for (std::size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= static_cast<std::uint8_t>(1 << bit);
            EXPECT_FALSE(ReplayParse(bad.data(), bad.size(), &parsed, &reason)) << "byte " << i << " bit " << bit;
        }

    // Changes with the file's checksum made right again.
    auto patched = [&](std::size_t offset, std::uint32_t value) {
        Bytes bad = good;
        for (int k = 0; k < 4; ++k) bad[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
        const std::uint32_t crc = ReplayCrc32(bad.data(), bad.size() - 4);
        for (int k = 0; k < 4; ++k) bad[bad.size() - 4 + k] = static_cast<std::uint8_t>(crc >> (8 * k));
        return bad;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        const char* reason;
    };
    Decoded d;
    ASSERT_TRUE(Decode(good, &d, &reason));
    Decoded longer = d;
    longer.frames.push_back(Frame{longer.frames.back().tick + 17, {}});
    Bytes pastEnd = Rebuild(longer);
    // The header still counts 200 frames: the 201st is input past the end (moved to where
    // the checkpoints were, the sizes made to agree).
    {
        Decoded withExtra = d;
        withExtra.frames.push_back(Frame{d.frames.back().tick + 17, {Cursor(1, 1)}});
        Bytes extra = Rebuild(withExtra);
        // Claim one frame fewer: the last frame's bytes are then past the end.
        for (int k = 0; k < 4; ++k) extra[52 + k] = static_cast<std::uint8_t>(200u >> (8 * k));
        const std::uint32_t crc = ReplayCrc32(extra.data(), extra.size() - 4);
        for (int k = 0; k < 4; ++k) extra[extra.size() - 4 + k] = static_cast<std::uint8_t>(crc >> (8 * k));
        pastEnd = extra;
    }
    Decoded otherGame = d;
    otherGame.header.gameVersion = kReplayGameVersion + 1;
    Bytes otherFormat = good;
    otherFormat[4] = 2;
    const std::vector<Case> cases = {
        {"another format version", otherFormat, "another format version"},
        {"another game version", Rebuild(otherGame), "recorded by another game version"},
        {"a frame count beyond any round", patched(52, 0xFFFFFFFFu), "bad length"},
        {"an input size beyond any round", patched(56, 0x7FFFFFFFu), "bad length"},
        {"more frames than the input holds", patched(52, 400), "truncated"},
        {"an input size past the file", patched(56, 100000), "truncated"},
        {"input past the last frame", pastEnd, "input past the last frame"},
        {"bad settings", patched(28, 0x00000009u), "bad settings"},
        {"not a replay", Bytes(100, 'x'), "not a replay"},
    };
    for (const Case& c : cases) {
        reason = "";
        EXPECT_FALSE(ReplayParse(c.bytes.data(), c.bytes.size(), &parsed, &reason)) << c.what;
        EXPECT_STREQ(reason, c.reason) << c.what;
    }
}

// The clock may not run faster than 60 frames a second: the time a round shows cannot be
// made shorter by editing its ticks, even with the file's checksum made right.
TEST(ReplayFormat, TheClockCannotBeatSixtyFramesASecond) {
    struct Case {
        const char* what;
        int squeezeFrom;     // frames from here on lose `by` ms each, cumulatively
        double by;
        int lateStart;       // ms the start read came late within its frame
        bool valid;
    };
    const Case cases[] = {
        {"the steady headless clock", 0, 0, 0, true},
        {"a start read late in its frame", 0, 0, 16, true},
        {"every frame 1 ms short", 2, 1.0, 0, false},
        {"a tenth of the time gone at the end", 500, 3.0, 0, false},
        {"a clock that goes back", 300, 400.0, 0, false},
    };
    for (const Case& c : cases) {
        std::vector<Frame> frames = SteadyFrames(600);
        frames[1].tick += c.lateStart;
        for (int i = c.squeezeFrom > 0 ? c.squeezeFrom : 600; i < 600; ++i)
            frames[i].tick -= static_cast<std::uint32_t>((i - c.squeezeFrom + 1) * c.by);
        if (c.squeezeFrom == 300) frames[300].tick -= 400;  // one step back, then on
        const Bytes file = Build(Header(), frames);
        ReplayFile parsed;
        const char* reason = "";
        EXPECT_EQ(ReplayParse(file.data(), file.size(), &parsed, &reason), c.valid) << c.what << ": " << reason;
    }
}

// --- the tampered rounds, played by the game itself ------------------------------------

std::string Verify(const std::string& path, int* code) {
    const std::string command = std::string(ZUMBLE_BINARY_DIR) + "/zumble --verify '" + path + "' 2>/dev/null";
    std::FILE* p = popen(command.c_str(), "r");
    std::string out;
    char buffer[256];
    while (p && std::fgets(buffer, sizeof buffer, p)) out += buffer;
    const int status = p ? pclose(p) : -1;
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

Bytes ReadCorpus(const char* name) {
    std::ifstream in(std::string(ZUMBLE_SOURCE_DIR) + "/tests/replays/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string WriteTemp(const char* name, const Bytes& bytes) {
    const std::string path = std::string(ZUMBLE_BINARY_DIR) + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(ReplayVerify, TamperedRoundsAreRefused) {
    const Bytes good = ReadCorpus("10-flies-speed-2.zrp");
    Decoded d;
    const char* reason = "";
    ASSERT_TRUE(Decode(good, &d, &reason)) << reason;
    int code = -1;
    const std::string ok = Verify(WriteTemp("replay-good.zrp", Rebuild(d)), &code);
    ASSERT_EQ(code, 0) << ok;  // re-coded unchanged, it still verifies
    ASSERT_EQ(ok.rfind("ok flies=10 speed=2 time_ms=", 0), 0u) << ok;

    // The first swat moved one frame later.
    Decoded moved = d;
    std::size_t from = 0;
    for (std::size_t i = 2; i < moved.frames.size() && !from; ++i)
        for (const ReplayInput& in : moved.frames[i].inputs)
            if (in.op == ReplayOp::Message && in.message == 0x0201) from = i;
    ASSERT_GT(from, 0u);
    std::swap(moved.frames[from].inputs, moved.frames[from + 1].inputs);

    // The stored time a second shorter.
    Decoded claimed = d;
    claimed.header.timeMs -= 1000;

    // Every tick from frame 2 on pulled back by a tenth: a faster clock, every checksum
    // written again (the file's; the state checksums cannot help a clock that is refused
    // before the round is played).
    Decoded squeezed = d;
    const std::uint32_t start = squeezed.frames[1].tick;
    for (std::size_t i = 2; i < squeezed.frames.size(); ++i)
        squeezed.frames[i].tick = start + (squeezed.frames[i].tick - start) * 9 / 10;
    squeezed.header.timeMs = squeezed.header.timeMs * 9 / 10;

    struct Case {
        const char* what;
        const Decoded* replay;
        const char* starts;
    };
    const Case cases[] = {
        {"an input moved", &moved, "desync at frame "},
        {"the stored time changed", &claimed, "invalid: "},
        {"the ticks squeezed", &squeezed, "invalid: the clock runs faster"},
    };
    for (const Case& c : cases) {
        const std::string out = Verify(WriteTemp("replay-tampered.zrp", Rebuild(*c.replay)), &code);
        EXPECT_EQ(code, 1) << c.what << ": " << out;
        EXPECT_EQ(out.rfind(c.starts, 0), 0u) << c.what << ": " << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << c.what << ": one line, not '" << out << "'";
    }
}

}  // namespace
