// The replay viewer's seeks land on exactly what plain playback reaches: the game's state
// (its checksum) and the picture, at 1,000 random frames of the corpus's longest round
// in random order, and one frame back from 200 more. The whole game runs headless, as
// `zumble --headless --replay` does; the test drives the viewer from its arrivals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/services/process_usage.h"
#include "platform/stand_in/ddraw.h"
#include "replay/replay_state.h"
#include "replay/replay_viewer.h"
#include "scenes/play.h"
#include "shell/driver/game_run.h"

namespace {

constexpr int kSeeks = 1000;
constexpr int kBacks = 200;

// The picture as shown: the primary surface's pixels and its palette.
std::uint64_t PictureHash() {
    const IDirectDrawSurface* front = PrimarySurface();
    std::uint64_t h = 1469598103934665603ull;
    // Eight bytes a step: the pictures are large and many.
    const auto add = [&h](const unsigned char* p, std::size_t n) {
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            h = (h ^ word) * 1099511628211ull;
        }
        for (; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    };
    if (!front) return 0;
    add(front->pixels.data(), front->pixels.size());
    if (front->palette)
        add(reinterpret_cast<const unsigned char*>(front->palette->entries),
            sizeof front->palette->entries);
    return h;
}

enum class Stage { Linear, Seeks, BackFrom, BackTo, Done };

struct Driver {
    Stage stage = Stage::Linear;
    long long frames = 0;
    std::vector<std::uint32_t> state;
    std::vector<std::uint64_t> picture;
    std::mt19937 random{20261208};
    std::vector<long long> targets;
    int seeks = 0, backs = 0;
    long long expected = -1;
    int arrivals = 0;
    std::vector<std::string> faults;
    ViewerOverlay overlay{};
    bool overlaySeen = false;
    std::string clock;               // the game's own clock at frame 600, as it draws it
    std::string lastTop, roundTime;  // the top line at the last frame, and the round's time
};

Driver g;

long long RandomFrame(long long lo) {
    return std::uniform_int_distribution<long long>(lo, g.frames - 1)(g.random);
}

void Check(long long frame, const char* how) {
    if (frame != g.expected) {
        g.faults.push_back(std::string(how) + ": arrived at " + std::to_string(frame) + ", not " +
                           std::to_string(g.expected));
        return;
    }
    const auto at = static_cast<std::size_t>(frame);
    if (ReplayStateChecksum() != g.state[at])
        g.faults.push_back(std::string(how) + ": state differs at frame " + std::to_string(frame));
    if (PictureHash() != g.picture[at])
        g.faults.push_back(std::string(how) + ": picture differs at frame " +
                           std::to_string(frame));
}

void Seek(long long frame) {
    g.expected = frame;
    ViewerSeek(frame);
}

void Arrive(long long frame) {
    ++g.arrivals;
    switch (g.stage) {
    case Stage::Linear:
        if (frame != static_cast<long long>(g.state.size()))
            g.faults.push_back("plain playback skipped a frame");
        g.state.push_back(ReplayStateChecksum());
        g.picture.push_back(PictureHash());
        if (frame == 600) {
            ViewerDescribeOverlay(&g.overlay);
            g.overlaySeen = true;
            char clock[32];
            std::snprintf(clock, sizeof clock, "%d:%02d.%03d", static_cast<int>(ClockMinutes),
                          ClockSeconds, ClockMillis);
            g.clock = clock;
        }
        if (frame + 1 < g.frames) return;
        {
            // The clock stopped at the last fly: the top line shows the round's time.
            ViewerOverlay last;
            ViewerDescribeOverlay(&last);
            g.lastTop = last.topLine;
            std::uint32_t ms = 0;
            if (RoundTimeRecorded(&ms)) {
                char clock[32];
                std::snprintf(clock, sizeof clock, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60,
                              ms % 1000);
                g.roundTime = clock;
            }
        }
        g.stage = Stage::Seeks;
        for (int i = 0; i < kSeeks; ++i) g.targets.push_back(RandomFrame(0));
        // Then the edges, where the scene changes: the last 130 frames from the end back
        // (the round's time enters the best times there, and must do so once), and the
        // first frames (the mode screen's bitmap, then the round's) and across them.
        for (long long f = g.frames - 1; f >= g.frames - 130; --f) g.targets.push_back(f);
        for (long long f : {2, 0, 1, 3, 0, 100, 0, 61}) g.targets.push_back(f);
        Seek(g.targets[0]);
        return;
    case Stage::Seeks:
        Check(frame, "seek");
        if (++g.seeks < static_cast<int>(g.targets.size()))
            return Seek(g.targets[static_cast<std::size_t>(g.seeks)]);
        g.stage = Stage::BackFrom;
        return Seek(RandomFrame(1));
    case Stage::BackFrom:
        Check(frame, "seek before a frame back");
        g.stage = Stage::BackTo;
        g.expected = frame - 1;
        ViewerStep(-1);
        return;
    case Stage::BackTo:
        Check(frame, "one frame back");
        if (++g.backs < kBacks) {
            g.stage = Stage::BackFrom;
            return Seek(RandomFrame(1));
        }
        g.stage = Stage::Done;
        ViewerLeave();
        return;
    case Stage::Done: return;
    }
}

}  // namespace

// The desktop entry's, for --timedemo, which this run does not ask for.
bool ProcessUsage(long*, double*) { return false; }

TEST(ReplaySeek, EverySeekAndFrameBackLandsOnPlainPlaybacksStateAndPicture) {
    const std::string path =
        std::string(ZUMBLE_SOURCE_DIR) + "/tests/replays/1000-flies-speed-2.zrp";
    std::vector<std::string> args = {"zumble", "--headless", "--replay", path};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ASSERT_EQ(PrepareRun(static_cast<int>(argv.size()), argv.data()), -1);
    ASSERT_TRUE(ViewerLoaded());
    g.frames = ViewerFrames();
    ASSERT_GT(g.frames, 5000);
    SetViewerArrival(Arrive);
    EXPECT_EQ(PlayRun(), 0);

    ASSERT_EQ(g.stage, Stage::Done)
        << "the game ended before the seeks were done, after " << g.arrivals << " frames shown";
    EXPECT_EQ(g.seeks, kSeeks + 138);
    EXPECT_EQ(g.backs, kBacks);
    for (std::size_t i = 0; i < g.faults.size() && i < 20; ++i) ADD_FAILURE() << g.faults[i];
    EXPECT_TRUE(g.faults.empty()) << g.faults.size() << " faults";

    // The seeks went through snapshots: none replays from the start.
    const ViewerCounts counts = ViewerCountsSoFar();
    EXPECT_EQ(counts.snapshots, (g.frames + 59) / 60);
    EXPECT_EQ(counts.seeks, kSeeks + 138 + 2 * kBacks);
    EXPECT_LT(counts.framesResimulated, static_cast<long long>(counts.seeks) * 60);

    // What the overlay told of frame 600, as plain playback reached it.
    ASSERT_TRUE(g.overlaySeen);
    const ViewerOverlay& o = g.overlay;
    EXPECT_TRUE(o.shown);
    EXPECT_EQ(o.frame, 600);
    EXPECT_EQ(o.frames, g.frames);
    EXPECT_EQ(o.trailCount, kViewerTrailFrames + 1);
    EXPECT_DOUBLE_EQ(o.trail[0].age, 0.5);
    EXPECT_DOUBLE_EQ(o.trail[o.trailCount - 1].age, 0.0);
    EXPECT_GT(o.clickCount, 0) << "the test player clicks every few frames";
    for (int i = 0; i < o.clickCount; ++i) {
        EXPECT_GE(o.clicks[i].age, 0.0);
        EXPECT_LT(o.clicks[i].age, 1.0);
        EXPECT_DOUBLE_EQ(o.clicks[i].alpha, 1.0 - o.clicks[i].age);
    }
    EXPECT_NEAR(o.barFraction, 600.0 / static_cast<double>(g.frames - 1), 1e-12);
    const std::string top = o.topLine;
    EXPECT_EQ(top.rfind("1000 flies, NORMAL   " + g.clock + "   ", 0), 0u) << top;
    EXPECT_EQ(g.clock, "0:09.983") << "600 frames after the round's first, at 60 a second";
    ASSERT_FALSE(g.roundTime.empty());
    EXPECT_NE(g.lastTop.find("   " + g.roundTime + "   "), std::string::npos) << g.lastTop;
    EXPECT_NE(top.find("frame 600 of " + std::to_string(g.frames) + "   1x"), std::string::npos)
        << top;
    EXPECT_NE(top.find("   recorded 20"), std::string::npos) << top;
    EXPECT_NE(top.find(" by zumble "), std::string::npos) << top;
}
