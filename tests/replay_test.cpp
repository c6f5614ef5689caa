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

#include "replay/core/crc32.h"
#include "replay/core/replay_format.h"

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
std::int64_t At(int x, int y) {
    return static_cast<std::int64_t>((y & 0xFFFF) << 16 | (x & 0xFFFF));
}

Bytes Build(ReplayHeader header, const std::vector<Frame>& frames,
            std::vector<std::uint32_t> checkpoints = {}) {
    Bytes input(1 << 20);
    ReplayWriter w;
    ReplayWriterStart(&w, input.data(), input.size(), header);
    for (const Frame& f : frames)
        ReplayWriterFrame(&w, f.tick, f.inputs.data(), static_cast<int>(f.inputs.size()));
    ReplayWriterFinish(&w);
    EXPECT_FALSE(w.full);
    header.frames = w.frames;
    const std::uint32_t count = w.frames / kReplayCheckpointFrames;
    checkpoints.resize(count);
    Bytes file(kReplayHeaderSize + w.size + 4 * count + 4);
    const std::size_t size = ReplayBuildFile(header, input.data(), w.size, checkpoints.data(),
                                             count, file.data(), file.size());
    EXPECT_EQ(size, file.size());
    return file;
}

// The reason buffer holds kReplayReasonSize characters.
bool Decode(const Bytes& bytes, Decoded* out, char* reason) {
    ReplayFile file;
    if (!ReplayParse(bytes.data(), bytes.size(), &file, reason, kReplayReasonSize)) return false;
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
    for (std::uint32_t i = 0; i < file.checkpointCount; ++i)
        out->checkpoints.push_back(ReplayCheckpoint(file, i));
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
    std::snprintf(h.program, sizeof h.program, "4.5.6");
    return h;
}

std::vector<Frame> SteadyFrames(int count, std::uint32_t startFlip = 30) {
    std::vector<Frame> frames(count);
    for (int i = 0; i < count; ++i) frames[i].tick = Steady(startFlip + i);
    return frames;
}

bool SameInput(const ReplayInput& a, const ReplayInput& b) {
    return a.op == b.op && (a.op != ReplayOp::Cursor || (a.x == b.x && a.y == b.y)) &&
           (a.op != ReplayOp::Message ||
            (a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam));
}

TEST(ReplayFormat, EveryKindOfInputRoundTrips) {
    std::vector<Frame> frames = SteadyFrames(400);
    // Cursor moves small and large, every message the coder shortens and one it does not,
    // drains, a frame with a late tick and one with a very late one, long idle runs.
    frames[0].inputs = {Cursor(321, 241), Message(0x0201, 1, At(321, 241)),
                        Message(0x0202, 0, At(321, 241))};
    frames[1].inputs = {Break(), Message(0x0100, 0x0D, 1), Break(), Message(0x0100, 0x20, 1)};
    frames[2].inputs = {Cursor(-5, 470), Message(0x001C, 0, 0), Message(0x001C, 1, 0)};
    frames[3].inputs = {Cursor(639, 0), Message(0x0201, 1, At(10, 10)), Cursor(600, 2),
                        Message(0x0010, 0, 0)};
    frames[4].inputs = {Cursor(603, 5)};
    frames[5].tick += 2;
    frames[7].inputs = {Message(0x0101, 0x1B, -1), Message(0x0202, 0, At(-3, 5)),
                        Message(0x0201, 2, At(1, 1))};
    for (int i = 300; i < 400; ++i) frames[i].inputs = {Cursor(300 + i % 7, 200 - i % 5)};
    for (std::size_t i = 6; i < frames.size(); ++i) frames[i].tick += 500;  // the clock stays ahead

    const Bytes file = Build(Header(), frames);
    Decoded d;
    char reason[kReplayReasonSize] = "";
    ASSERT_TRUE(Decode(file, &d, reason)) << reason;
    ASSERT_EQ(d.frames.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(d.frames[i].tick, frames[i].tick) << "frame " << i;
        ASSERT_EQ(d.frames[i].inputs.size(), frames[i].inputs.size()) << "frame " << i;
        for (std::size_t k = 0; k < frames[i].inputs.size(); ++k)
            EXPECT_TRUE(SameInput(d.frames[i].inputs[k], frames[i].inputs[k]))
                << "frame " << i << " input " << k;
    }
    EXPECT_EQ(d.header.timeMs, 1234u);
    EXPECT_EQ(d.header.flySetting, 1);
    EXPECT_EQ(d.checkpoints.size(), frames.size() / 60);
}

TEST(ReplayFormat, IdleFramesAndSmallMovesAreCheap) {
    // A minute of nothing is a handful of bytes; a minute of the mouse always moving by
    // a few pixels is two bytes a frame.
    const Bytes idle = Build(Header(), SteadyFrames(3600));
    EXPECT_LT(idle.size(), kReplayHeaderSize + 40u + 4u * 60u + 4u);
    std::vector<Frame> moving = SteadyFrames(3600);
    int x = 320, y = 240;
    for (int i = 0; i < 3600; ++i) {
        // Back and forth across the screen, a few pixels a frame.
        x += (i / 50) % 2 ? 3 : -3;
        y += (i / 70) % 2 ? 2 : -2;
        moving[i].inputs = {Cursor(x, y)};
    }
    const Bytes moved = Build(Header(), moving);
    EXPECT_LE(moved.size(), kReplayHeaderSize + 2u * 3600u + 4u * 60u + 4u);
}

// The CRC-32 that closes a file (and the shots' chunks) is the common one: its check
// value, and a single changed bit anywhere changes it.
TEST(ReplayFormat, TheChecksumIsTheCommonCrc32) {
    const std::string check = "123456789";
    const auto* digits = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(Crc32(digits, check.size()), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    const Bytes file = Build(Header(), SteadyFrames(30));
    const std::uint32_t whole = Crc32(file.data(), file.size());
    for (std::size_t i = 0; i < file.size(); i += 7) {
        Bytes flipped = file;
        flipped[i] ^= 0x10;
        EXPECT_NE(Crc32(flipped.data(), flipped.size()), whole) << "byte " << i;
    }
}

// Bad files: each is refused with its reason, whatever it holds.
TEST(ReplayFormat, DamagedAndHostileFilesAreRefused) {
    const Bytes good = Build(Header(), SteadyFrames(200));
    char reason[kReplayReasonSize] = "";
    ReplayFile parsed;
    ASSERT_TRUE(ReplayParse(good.data(), good.size(), &parsed, reason, sizeof reason)) << reason;

    // Every shorter file, and every single flipped bit.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(ReplayParse(good.data(), n, &parsed, reason, sizeof reason)) << "cut to " << n;
    for (std::size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= static_cast<std::uint8_t>(1 << bit);
            EXPECT_FALSE(ReplayParse(bad.data(), bad.size(), &parsed, reason, sizeof reason))
                << "byte " << i << " bit " << bit;
        }

    // Changes with the file's checksum made right again.
    auto patched = [&](std::size_t offset, std::uint32_t value) {
        Bytes bad = good;
        for (int k = 0; k < 4; ++k) bad[offset + k] = static_cast<std::uint8_t>(value >> (8 * k));
        const std::uint32_t crc = Crc32(bad.data(), bad.size() - 4);
        for (int k = 0; k < 4; ++k)
            bad[bad.size() - 4 + k] = static_cast<std::uint8_t>(crc >> (8 * k));
        return bad;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        const char* reason;
    };
    Decoded d;
    ASSERT_TRUE(Decode(good, &d, reason));
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
        const std::uint32_t crc = Crc32(extra.data(), extra.size() - 4);
        for (int k = 0; k < 4; ++k)
            extra[extra.size() - 4 + k] = static_cast<std::uint8_t>(crc >> (8 * k));
        pastEnd = extra;
    }
    Decoded otherGame = d;
    otherGame.header.gameVersion = kReplayGameVersion + 1;
    std::snprintf(otherGame.header.program, sizeof otherGame.header.program, "9.8.7-next");
    Bytes olderFormat = good, newerFormat = good, unnamed = good;
    olderFormat[4] = kReplayFormatVersion - 1;
    newerFormat[4] = kReplayFormatVersion + 1;
    unnamed[4] = kReplayFormatVersion + 1;
    for (int i = 0; i < kReplayProgramSize; ++i) unnamed[kReplayProgramOffset + i] = 0;
    Bytes shortOlder(20, 0);  // too short to hold the version text
    std::memcpy(shortOlder.data(), "ZRPL\x01\x00", 6);
    Decoded flagged = d;
    flagged.header.flags = kReplayTestPlayer | kReplayTouch | kReplayGamepad;
    Decoded reservedFlag = d;
    reservedFlag.header.flags = 1u << 3;
    // A first frame whose cursor move is a ten-byte varint (a delta near 2^63): refused,
    // where adding it to the cursor once overflowed.
    Bytes farBytes(kReplayHeaderSize + 200 + 4 * 3 + 4);
    {
        const std::uint8_t input[] = {0x13, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE,       0xFE,
                                      0xFE, 0xFE, 0xFE, 0x01, 0x00, 0x80 | 127, 0x80 | 70};
        ReplayHeader h = Header();
        h.frames = 200;
        const std::uint32_t zeros[3] = {};
        farBytes.resize(
            ReplayBuildFile(h, input, sizeof input, zeros, 3, farBytes.data(), farBytes.size()));
        ASSERT_GT(farBytes.size(), 0u);
    }
    // clang-format off
    const std::vector<Case> cases = {
        {"an older format version", olderFormat,
         "another format version (1, older than this program's 2), recorded by zumble 4.5.6"},
        {"a newer format version", newerFormat,
         "another format version (3, newer than this program's 2), recorded by zumble 4.5.6"},
        {"a newer format version without a name", unnamed,
         "another format version (3, newer than this program's 2), recorded by a program that left its name out"},
        {"an older format version too short to name", shortOlder,
         "another format version (1, older than this program's 2), recorded by a program this file is too short to "
         "name"},
        {"another game version", Rebuild(otherGame),
         "another game version (2, newer than this program's 1), recorded by zumble 9.8.7-next"},
        {"a reserved flag", Rebuild(reservedFlag), "unknown flags"},
        {"a ten-byte cursor move", farBytes, "bad input coding"},
        {"a frame count beyond any round", patched(52, 0xFFFFFFFFu), "bad length"},
        {"an input size beyond any round", patched(56, 0x7FFFFFFFu), "bad length"},
        {"more frames than the input holds", patched(52, 400), "truncated"},
        {"an input size past the file", patched(56, 100000), "truncated"},
        {"input past the last frame", pastEnd, "input past the last frame"},
        {"bad settings", patched(28, 0x00000009u), "bad settings"},
        {"not a replay", Bytes(100, 'x'), "not a replay"},
    };
    // clang-format on
    const Bytes flaggedBytes = Rebuild(flagged);
    ASSERT_TRUE(Decode(flaggedBytes, &d, reason)) << reason;
    EXPECT_EQ(d.header.flags, flagged.header.flags);
    for (const Case& c : cases) {
        reason[0] = '\0';
        EXPECT_FALSE(ReplayParse(c.bytes.data(), c.bytes.size(), &parsed, reason, sizeof reason))
            << c.what;
        EXPECT_STREQ(reason, c.reason) << c.what;
    }
}

// The clock may not run faster than 60 frames a second over any span of frames: the time
// a round shows cannot be made shorter by editing its ticks, even with the file's
// checksum made right, by more than the 1 ms of whole milliseconds.
TEST(ReplayFormat, TheClockCannotBeatSixtyFramesASecond) {
    struct Case {
        const char* what;
        std::uint32_t (*tick)(int frame);  // from frame 0 on
        bool valid;
    };
    // clang-format off
    const Case cases[] = {
        {"the steady headless clock", [](int f) { return Steady(30 + f); }, true},
        {"a clock that wraps", [](int f) { return 4294967000u + Steady(30 + f); }, true},
        {"a stall, then 60 a second from its end", [](int f) { return Steady(30 + f) + (f >= 100 ? 200u : 0u); },
         true},
        {"a display at 59.94 Hz", [](int f) { return static_cast<std::uint32_t>(5000 + f * 1000.0 / 59.94); }, true},
        {"a display at 60.02 Hz", [](int f) { return static_cast<std::uint32_t>(5000 + f * 1000.0 / 60.02); }, false},
        {"frames caught up after a 40 ms stall",
         [](int f) { return f < 10 ? Steady(30 + f) : f < 13 ? Steady(40) + 40 + (f - 10) : Steady(30 + f) + 2; },
         false},
        {"a frame a millisecond late, and the frames after it", [](int f) { return Steady(30 + f) + (f >= 300); },
         true},
        {"a frame a millisecond late, and the frames after it back on time",
         [](int f) { return Steady(30 + f) + (f == 300); }, false},
        {"one frame a millisecond early", [](int f) { return Steady(30 + f) - (f == 301 ? 1u : 0u); }, false},
        {"one frame a millisecond early after a late one",
         [](int f) { return Steady(30 + f) + (f == 299 ? 1u : 0u) - (f == 302 ? 1u : 0u); }, false},
        {"every frame 1 ms short", [](int f) { return Steady(30 + f) - static_cast<std::uint32_t>(f); }, false},
        {"a clock that goes back", [](int f) { return Steady(30 + f) - (f >= 300 ? 400u : 0u); }, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<Frame> frames(600);
        for (int i = 0; i < 600; ++i) frames[i].tick = c.tick(i);
        ReplayHeader h = Header();
        h.startTick = frames[0].tick;
        const Bytes file = Build(h, frames);
        ReplayFile parsed;
        char reason[kReplayReasonSize] = "";
        EXPECT_EQ(ReplayParse(file.data(), file.size(), &parsed, reason, sizeof reason), c.valid)
            << c.what << ": " << reason;
        if (!c.valid) {
            EXPECT_EQ(std::string(reason).rfind("the clock runs ", 0), 0u)
                << c.what << ": " << reason;
        }
    }

    // The least clock the rule lets through, tick by tick, from every start phase and any
    // start tick: a round timed from frame 1 to frame f gains at most 1 ms over the time
    // those frames take at 60 a second, and over the steady clock of a headless recording.
    for (std::uint32_t startFlip : {29u, 30u, 31u})
        for (std::uint32_t tick0 : {0u, 7u, 4294967290u}) {
            ReplayClock clock;
            std::uint32_t least = tick0 + Steady(startFlip);
            std::uint32_t first = 0;
            for (int f = 0; f < 6000; ++f) {
                // The least tick the rule takes (one less was refused).
                for (;;) {
                    ReplayClock trial = clock;
                    if (ReplayClockNext(&trial, least) == ReplayClockVerdict::Ok) {
                        clock = trial;
                        break;
                    }
                    ++least;
                }
                if (f == 1) first = least;
                if (f >= 1) {
                    const std::int64_t time = static_cast<std::int64_t>(least - first);
                    const double allowed = (f - 1) * 1000.0 / 60;
                    const std::int64_t steady = Steady(startFlip + f) - Steady(startFlip + 1);
                    ASSERT_GT(time, allowed - 1) << "frame " << f;
                    ASSERT_GE(time, steady - 1) << "frame " << f;
                }
            }
        }
}

// --- the tampered rounds, played by the game itself ------------------------------------

std::string Verify(const std::string& path, int* code) {
    const std::string command =
        std::string(ZUMBLE_BINARY_DIR) + "/zumble --verify '" + path + "' 2>/dev/null";
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
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(ReplayVerify, TamperedRoundsAreRefused) {
    const Bytes good = ReadCorpus("10-flies-speed-2.zrp");
    Decoded d;
    char reason[kReplayReasonSize] = "";
    ASSERT_TRUE(Decode(good, &d, reason)) << reason;
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
    // clang-format off
    const Case cases[] = {
        {"an input moved", &moved, "desync at frame "},
        {"the stored time changed", &claimed, "invalid: "},
        {"the ticks squeezed", &squeezed, "invalid: the clock runs faster"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string out = Verify(WriteTemp("replay-tampered.zrp", Rebuild(*c.replay)), &code);
        EXPECT_EQ(code, 1) << c.what << ": " << out;
        EXPECT_EQ(out.rfind(c.starts, 0), 0u) << c.what << ": " << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << c.what << ": one line, not '" << out << "'";
    }
}

// Every tick of a real round set to the least the clock rule takes: the round then plays
// to at most 1 ms less than it did, and with that time written in, the file verifies.
// (The state checksums hold the ticks, so only rounds whose least clock keeps them whole
// can be played here; the rule's own test covers every start.)
TEST(ReplayVerify, TheLeastClockGainsAtMostAMillisecond) {
    for (const char* name : {"10-flies-speed-2.zrp", "30-flies-speed-1.zrp"}) {
        Decoded d;
        char reason[kReplayReasonSize] = "";
        ASSERT_TRUE(Decode(ReadCorpus(name), &d, reason)) << name << ": " << reason;
        const std::uint32_t recorded = d.header.timeMs;
        ReplayClock clock;
        std::uint32_t least = d.frames[0].tick;
        for (Frame& f : d.frames) {
            for (;;) {
                ReplayClock trial = clock;
                if (ReplayClockNext(&trial, least) == ReplayClockVerdict::Ok) {
                    clock = trial;
                    break;
                }
                ++least;
            }
            f.tick = least;
        }
        int code = -1;
        const std::string out = Verify(WriteTemp("replay-least.zrp", Rebuild(d)), &code);
        // The headless clock of the corpus is the least already: then the file still says
        // its own time.
        unsigned played = 0;
        ASSERT_TRUE(std::sscanf(out.c_str(),
                                "invalid: the file says %*u ms; the round plays to %u ms",
                                &played) == 1 ||
                    std::sscanf(out.c_str(), "ok flies=%*d speed=%*d time_ms=%u", &played) == 1)
            << name << ": " << out;
        EXPECT_GE(played + 1, recorded) << name;
        EXPECT_LE(played, recorded) << name;
        d.header.timeMs = played;
        const std::string ok = Verify(WriteTemp("replay-least.zrp", Rebuild(d)), &code);
        EXPECT_EQ(ok.rfind("ok ", 0), 0u) << name << ": " << ok;
    }
}

}  // namespace
