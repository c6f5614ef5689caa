// A round watched while it is played (a room's racer, relayed by the board) plays as the
// whole file does. The corpus's longest round is given as its head, then as records in
// pieces of uneven sizes (some cut inside a frame) each time the viewer reaches the end
// of what has come, where it says it waits; once the round is sent again from its start
// (a spectator's new connection) and another round's header comes. Its trace is the whole
// file's byte for byte; its snapshots, kept further apart as it grows, land every seek on
// the state plain playback reached. The game runs headless, as `zumble --headless
// --replay` does, and the test feeds it from the viewer's arrivals.
#include "replay/replay_live.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/services/process_usage.h"
#include "replay/core/replay_format.h"
#include "replay/replay_state.h"
#include "replay/replay_viewer.h"
#include "shell/driver/game_run.h"

namespace {

const std::string kRound = std::string(ZUMBLE_SOURCE_DIR) + "/tests/replays/1000-flies-speed-2.zrp";
constexpr int kSeeks = 200;

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

enum class Stage { Growing, Seeks, Done };

struct Feed {
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> start;  // the header as the round began
    std::size_t frameBytes = 0, given = 0, piece = 0;
    Stage stage = Stage::Growing;
    std::vector<std::uint32_t> state;
    int edges = 0, waitingSaid = 0;
    bool resent = false, ended = false, otherRound = false;
    std::string tracePath, wantPath;
    bool traceSame = false;
    std::size_t traceBytes = 0;
    std::mt19937 random{20261210};
    long long expected = -1;
    int seeks = 0;
    std::vector<std::string> faults;
};

Feed g;

LiveRecord Send(char kind, const std::uint8_t* bytes, std::size_t size) {
    std::vector<std::uint8_t> record(size + 1, static_cast<std::uint8_t>(kind));
    if (size > 0) std::memcpy(record.data() + 1, bytes, size);
    return LiveRoundAdd(record.data(), record.size());
}

// The next piece of the frames: 1, 2, 3, 5, 8, 13 or 40 bytes.
void SendPiece() {
    static const std::size_t kSizes[] = {1, 2, 3, 5, 8, 13, 40};
    const std::size_t n = std::min(kSizes[g.piece++ % 7], g.frameBytes - g.given);
    if (Send('f', g.file.data() + kReplayHeaderSize + g.given, n) != LiveRecord::Taken)
        g.faults.push_back("a piece of frames was not taken");
    g.given += n;
}

void SendEnd() {
    std::vector<std::uint8_t> end(g.file.begin(), g.file.begin() + kReplayHeaderSize);
    end.insert(end.end(), g.file.begin() + kReplayHeaderSize + static_cast<long>(g.frameBytes),
               g.file.end());
    if (Send('e', end.data(), end.size()) != LiveRecord::Taken)
        g.faults.push_back(std::string("the end was not taken: ") +
                           (LiveRoundFault() ? LiveRoundFault() : "?"));
    g.ended = true;
}

// The board sends a spectator who connects again everything so far: the same header, the
// frames from the first byte (in other cuts). Nothing of it is played twice.
void SendAgain() {
    const long long before = ViewerFrames();
    if (Send('h', g.start.data(), g.start.size()) != LiveRecord::Taken)
        g.faults.push_back("the same header again was not taken");
    for (std::size_t at = 0; at < g.given; at += 4096)
        Send('f', g.file.data() + kReplayHeaderSize + at,
             std::min<std::size_t>(4096, g.given - at));
    if (ViewerFrames() != before) g.faults.push_back("frames sent again grew the round");
    std::vector<std::uint8_t> other = g.start;
    other[32] ^= 1;  // another seed: another round
    g.otherRound = Send('h', other.data(), other.size()) == LiveRecord::NewRound;
    g.resent = true;
}

void Seek() {
    g.expected = std::uniform_int_distribution<long long>(0, ViewerFrames() - 1)(g.random);
    ViewerSeek(g.expected);
}

void Arrive(long long frame) {
    if (g.stage == Stage::Seeks) {
        if (frame != g.expected ||
            ReplayStateChecksum() != g.state[static_cast<std::size_t>(frame)])
            g.faults.push_back("a seek to " + std::to_string(g.expected) + " landed elsewhere");
        if (++g.seeks < kSeeks) return Seek();
        g.stage = Stage::Done;
        return ViewerLeave();
    }
    if (g.stage != Stage::Growing) return;
    if (frame != static_cast<long long>(g.state.size()))
        g.faults.push_back("plain playback skipped to frame " + std::to_string(frame));
    g.state.push_back(ReplayStateChecksum());
    if (frame + 1 < ViewerFrames()) return;
    if (g.ended) {
        // The whole round played: the trace so far is the whole file's.
        std::fflush(nullptr);
        const std::vector<std::uint8_t> got = ReadAll(g.tracePath), want = ReadAll(g.wantPath);
        g.traceBytes = got.size();
        g.traceSame = got == want;
        g.stage = Stage::Seeks;
        return Seek();
    }
    // At the end of what has come: the viewer says it waits, then more comes.
    ++g.edges;
    ViewerOverlay o;
    ViewerDescribeOverlay(&o);
    if (ViewerWaitingForFrames() && o.live && o.waiting &&
        std::string(o.topLine).find(" so far   1x, waiting for the round to go on") !=
            std::string::npos)
        ++g.waitingSaid;
    if (!g.resent && frame > 2000) SendAgain();
    const long long wanted = frame + 2 + g.edges % 9;
    while (g.given < g.frameBytes && ViewerFrames() < wanted) SendPiece();
    if (g.given == g.frameBytes && ViewerFrames() < wanted) SendEnd();
}

}  // namespace

// The desktop entry's, for --timedemo, which this run does not ask for.
bool ProcessUsage(long*, double*) { return false; }

TEST(ReplayLive, AGrowingRoundPlaysAsTheWholeFileAndSeeksLandOnPlainPlayback) {
    g.file = ReadAll(kRound);
    ASSERT_GT(g.file.size(), 1000u);
    ReplayFile whole;
    char why[kReplayReasonSize];
    ASSERT_TRUE(ReplayParse(g.file.data(), g.file.size(), &whole, why, sizeof why)) << why;
    g.frameBytes = whole.header.inputSize;

    const std::string dir = testing::TempDir();
    g.wantPath = dir + "/live-want.trace";
    g.tracePath = dir + "/live-got.trace";
    const std::string headPath = dir + "/live-head.zrp";
    const std::string whole_run = "'" + std::string(ZUMBLE_BINARY_DIR) +
                                  "/zumble' --headless --replay '" + kRound + "' --trace '" +
                                  g.wantPath + "' >/dev/null";
    ASSERT_EQ(std::system(whole_run.c_str()), 0);

    // The header as the round began: its time, frames, input size and checksum not known,
    // and its flags other than at the end (they are noted as the frames go: a touch of the
    // start click is not, when the header goes before its frame ends).
    g.start.assign(g.file.begin(), g.file.begin() + kReplayHeaderSize);
    for (int i = 48; i < 64; ++i) g.start[static_cast<std::size_t>(i)] = i < 52 ? 0xFF : 0;
    g.start[64] ^= kReplayTouch;
    std::vector<std::uint8_t> head = g.start;
    g.given = 100;  // a few frames so far
    head.insert(head.end(), g.file.begin() + kReplayHeaderSize,
                g.file.begin() + kReplayHeaderSize + static_cast<long>(g.given));
    {
        std::ofstream out(headPath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), static_cast<long>(head.size()));
    }

    // What the board relays is the racer's: more than a watched round may hold, or a
    // record of no kind, stops the round where it came to.
    std::vector<std::uint8_t> piece(60000, 0x80);  // frames with nothing in them
    ASSERT_TRUE(LiveRoundStart(g.start.data(), g.start.size(), why, sizeof why)) << why;
    int taken = 0;
    while (Send('f', piece.data(), piece.size()) == LiveRecord::Taken) ++taken;
    EXPECT_EQ(taken, static_cast<int>((kLiveMostFile - kReplayHeaderSize) / piece.size()));
    EXPECT_STREQ(LiveRoundFault(), "the round is too long to watch as it is played");
    EXPECT_EQ(Send('f', piece.data(), 1), LiveRecord::Refused);
    ASSERT_TRUE(LiveRoundStart(g.start.data(), g.start.size(), why, sizeof why)) << why;
    EXPECT_EQ(Send('x', piece.data(), 1), LiveRecord::Refused);
    EXPECT_STREQ(LiveRoundFault(), "a record of an unknown kind");
    std::vector<std::uint8_t> longHead = g.start;
    longHead.resize(kLiveMostFile + 1, 0x80);
    EXPECT_FALSE(LiveRoundStart(longHead.data(), longHead.size(), why, sizeof why));
    EXPECT_STREQ(why, "the round is too long to watch as it is played");

    ExpectLiveRound();
    std::vector<std::string> args = {"zumble", "--headless", "--replay",
                                     headPath, "--trace",    g.tracePath};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ASSERT_EQ(PrepareRun(static_cast<int>(argv.size()), argv.data()), -1);
    ASSERT_TRUE(ViewerLoaded());
    EXPECT_GT(ViewerFrames(), 1);
    EXPECT_LT(ViewerFrames(), 200);
    SetViewerArrival(Arrive);
    EXPECT_EQ(PlayRun(), 0);

    for (std::size_t i = 0; i < g.faults.size() && i < 20; ++i) ADD_FAILURE() << g.faults[i];
    EXPECT_TRUE(g.faults.empty()) << g.faults.size() << " faults";
    ASSERT_EQ(g.stage, Stage::Done) << "the game ended after " << g.state.size() << " frames";
    EXPECT_EQ(g.state.size(), whole.header.frames);
    EXPECT_TRUE(g.traceSame) << "the trace of the growing round (" << g.traceBytes
                             << " bytes) is not the whole file's";
    EXPECT_GT(g.edges, 100) << "the viewer reached the end of what had come many times";
    EXPECT_EQ(g.waitingSaid, g.edges) << "and said each time that it waits";
    EXPECT_TRUE(g.resent);
    EXPECT_TRUE(g.otherRound) << "another round's header is told apart";
    EXPECT_EQ(g.seeks, kSeeks);
    // 64 slots for a growing round: past 3840 frames every other one is kept.
    EXPECT_EQ(ViewerCountsSoFar().snapshotEvery, 120);
}
