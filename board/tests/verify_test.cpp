// The verifier as the board sees it: the game's answer line read by table, a replay's
// cost read from its header before it is verified, the pool shared fairly between
// senders, and a verifier that cannot start or is stopped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ops/metrics.h"
#include "replay/core/replay_bounds.h"
#include "trust/digest.h"
#include "verify/replay_cost.h"
#include "verify/verifier.h"
#include "verify/verify_line.h"

namespace board {
namespace {

TEST(BoardVerify, VerifierAnswers) {
  struct Case {
    std::string output;
    int status;
    Verdict::Kind kind;
    std::string reason;
    // clang-format off
  } cases[] = {
      {"ok flies=10 speed=1 time_ms=12345 frames=741\n", 0, Verdict::kAccepted, ""},
      {"ok flies=1000 speed=4 time_ms=1 frames=1", 0, Verdict::kAccepted, ""},
      {"desync at frame 40\n", 1, Verdict::kRefused, "desync at frame 40"},
      {"invalid: other version\n", 1, Verdict::kRefused, "invalid: other version"},
      {"cannot read x: truncated\n", 2, Verdict::kRefused, "cannot read x: truncated"},
      {"ok flies=11 speed=1 time_ms=5 frames=5\n", 0, Verdict::kRefused, "invalid: no such mode"},
      {"ok flies=10 speed=5 time_ms=5 frames=5\n", 0, Verdict::kRefused, "invalid: no such mode"},
      // Anything but the exact answer with exit 0 is never accepted.
      {"ok flies=10 speed=1 time_ms=12345 frames=741\n", 1, Verdict::kRefused, ""},
      {"ok flies=10 speed=1 time_ms=12345 frames=741\n", 3, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=-5 frames=741\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5\n", 0, Verdict::kFailed, ""},
      // Fields this board does not know are let by; known ones must be well-formed.
      {"ok flies=10 speed=1 time_ms=5 frames=5 extra=1\n", 0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 round=" + std::string(64, 'a') +
           " played=1700000000 program=1.4.0 autoplay=0 touch=1 pad=0 signs=-\n",
       0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 round=" + std::string(63, 'a') + "\n", 0,
       Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 round=" + std::string(64, 'A') + "\n", 0,
       Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 autoplay=2\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 autoplay=1 autoplay=0\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 signs=a:1,\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 signs=:1\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 signs=A:1\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 played=-1\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 signs=- keys=0 swats=" + std::string(64, 'e') + "\n",
       0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 keys=-1\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 keys=1 keys=2\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 swats=" + std::string(63, 'e') + "\n", 0,
       Verdict::kFailed, ""},
      // The frame of every swat: the game's writing only, at most 1000 swats, once.
      {"ok flies=10 speed=1 time_ms=5 frames=5 keys=0 swats=" + std::string(64, 'e') +
           " swat_frames=EEAB\n",
       0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 swat_frames=-\n", 0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 swat_frames=E=\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 swat_frames=g\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 swat_frames=E swat_frames=E\n", 0,
       Verdict::kFailed, ""},
      {"ok flies=1000 speed=1 time_ms=5 frames=5 swat_frames=" + std::string(1000, 'E') + "\n", 0,
       Verdict::kAccepted, ""},
      {"ok flies=1000 speed=1 time_ms=5 frames=5 swat_frames=" + std::string(1001, 'E') + "\n", 0,
       Verdict::kFailed, ""},
      // A 1000-fly round of slow swats (two digits each) fits; a line past 4000 does not.
      {"ok flies=1000 speed=1 time_ms=5 frames=5 swat_frames=" + [] {
         std::string slow;
         for (int i = 0; i < 1000; ++i) slow += "gB";  // 32 frames apart
         return slow;
       }() + " signs=-\n",
       0, Verdict::kAccepted, ""},
      {"ok flies=1000 speed=1 time_ms=5 frames=5 swat_frames=" + std::string(1000, 'A') +
           " later=" + std::string(2950, 'x') + "\n",
       0, Verdict::kFailed, ""},
      {"ok flies=1000 speed=1 time_ms=5 frames=5 swat_frames=" + std::string(1000, 'A') +
           " later=" + std::string(2800, 'x') + "\n",
       0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 =x\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 Round=x\n", 0, Verdict::kFailed, ""},
      // Fields no board knows yet are kept, well formed only.
      {"ok flies=10 speed=1 time_ms=5 frames=5 extra\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 =1\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 x=\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 Big=1\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 a=1  b=2\n", 0, Verdict::kFailed, ""},
      {"ok  flies=10 speed=1 time_ms=5 frames=5\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 frames=5 time_ms=5\n", 0, Verdict::kFailed, ""},
      {"ok flies=10 speed=1 time_ms=99999999999999999999 frames=5\n", 0, Verdict::kFailed, ""},
      {"", 0, Verdict::kFailed, ""},
      {"", 1, Verdict::kFailed, ""},
      {"desync \x1b[31m\n", 1, Verdict::kFailed, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    Verdict v = ReadVerdict(c.output, c.status);
    EXPECT_EQ(v.kind, c.kind) << c.output << " exit " << c.status;
    if (c.kind == Verdict::kRefused && !c.reason.empty()) {
      EXPECT_EQ(v.reason, c.reason);
    }
  }
  Verdict v = ReadVerdict("ok flies=30 speed=3 time_ms=23456 frames=1408\n", 0);
  EXPECT_EQ(v.flies, 30);
  EXPECT_EQ(v.speed, 3);
  EXPECT_EQ(v.time_ms, 23456);
  EXPECT_EQ(v.frames, 1408);
  EXPECT_TRUE(v.extra.empty());
  EXPECT_EQ(v.round, "");  // an older game: the board tells rounds apart by their bytes
  EXPECT_EQ(v.played, -1);
  EXPECT_EQ(v.keys, -1);  // and cannot say how the round was dealt
  EXPECT_EQ(v.line, "ok flies=30 speed=3 time_ms=23456 frames=1408");
  std::string round = Sha256Hex("a round");
  v = ReadVerdict("ok flies=100 speed=4 time_ms=60000 frames=3600 round=" + round +
                      " played=1765000000 program=zumble-1.4 autoplay=1 touch=0 pad=1"
                      " signs=frame_perfect:0.97,jump_click:41\n",
                  0);
  ASSERT_EQ(v.kind, Verdict::kAccepted);
  EXPECT_EQ(v.round, round);
  EXPECT_EQ(v.played, 1765000000);
  EXPECT_EQ(v.program, "zumble-1.4");
  EXPECT_TRUE(v.autoplay);
  EXPECT_FALSE(v.touch);
  EXPECT_TRUE(v.pad);
  EXPECT_EQ(v.signs, (std::vector<std::string>{"frame_perfect:0.97", "jump_click:41"}));
  v = ReadVerdict("ok flies=10 speed=1 time_ms=5 frames=5 signs=- keys=4 swats=" + round + "\n", 0);
  EXPECT_EQ(v.keys, 4);
  EXPECT_EQ(v.swats, round);
  EXPECT_EQ(v.swat_frames, "");  // a game that does not say
  v = ReadVerdict("ok flies=10 speed=1 time_ms=5 frames=5 swat_frames=EEAB\n", 0);
  EXPECT_EQ(v.swat_frames, "EEAB");
  v = ReadVerdict("ok flies=10 speed=1 time_ms=5 frames=5 swat_frames=-\n", 0);
  EXPECT_EQ(v.swat_frames, "");
  v = ReadVerdict("ok flies=10 speed=1 time_ms=5 frames=5 program=- signs=-\n", 0);
  EXPECT_EQ(v.program, "");
  EXPECT_TRUE(v.signs.empty());
  v = ReadVerdict("ok flies=30 speed=3 time_ms=23456 frames=1408 round=" + std::string(64, 'f') +
                      " aim=steady program=1.2.0 autoplay=0 later=x signs=-\n",
                  0);
  EXPECT_EQ(v.kind, Verdict::kAccepted);
  EXPECT_EQ(v.extra,
            (std::vector<std::pair<std::string, std::string>>{{"aim", "steady"}, {"later", "x"}}));
}

// A replay of the current format, written by the game's own writer: a round of `frames`
// idle frames on the steady clock whose header gives this time.
std::string Replay(uint32_t time_ms, uint32_t frames) {
  ReplayHeader header;
  header.flySetting = 1;
  header.speedSetting = 2;
  header.timeMs = time_ms;
  std::vector<uint8_t> input(frames / 128 + 16);
  ReplayWriter w;
  ReplayWriterStart(&w, input.data(), input.size(), header);
  for (uint32_t f = 0; f < frames; ++f) {
    uint32_t tick = f == 0 ? w.tick : w.tick + ReplayTickStep(w.flip + w.frames);
    ReplayWriterFrame(&w, tick, nullptr, 0);
  }
  ReplayWriterFinish(&w);
  header.frames = w.frames;
  std::vector<uint32_t> checkpoints(frames / kReplayCheckpointFrames);
  std::string file(kReplayHeaderSize + w.size + 4 * checkpoints.size() + 4, '\0');
  size_t size = ReplayBuildFile(header, input.data(), w.size, checkpoints.data(),
                                static_cast<uint32_t>(checkpoints.size()),
                                reinterpret_cast<uint8_t*>(file.data()), file.size());
  EXPECT_EQ(size, file.size());
  return file;
}

// Only a header, for the counts no writer reaches quickly.
std::string Header(uint32_t time_ms, uint32_t frames) {
  ReplayHeader header;
  header.timeMs = time_ms;
  header.frames = frames;
  std::string file(kReplayHeaderSize + 4, '\0');
  ReplayBuildFile(header, nullptr, 0, nullptr, 0, reinterpret_cast<uint8_t*>(file.data()),
                  file.size());
  return file;
}

// The verifiers' sample key: a fresh random secret unless the operator gave one.
TEST(BoardVerify, SampleKeyIsASecretOfItsOwn) {
  unsetenv("ZUMBLE_SAMPLE_KEY");
  KeepSampleKeySecret();
  const std::string first = getenv("ZUMBLE_SAMPLE_KEY") ? getenv("ZUMBLE_SAMPLE_KEY") : "";
  EXPECT_EQ(first.size(), 16u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos) << first;
  EXPECT_NE(first, std::string(16, '0'));
  unsetenv("ZUMBLE_SAMPLE_KEY");
  KeepSampleKeySecret();
  EXPECT_NE(std::string(getenv("ZUMBLE_SAMPLE_KEY")), first);
  setenv("ZUMBLE_SAMPLE_KEY", "5eed", 1);
  KeepSampleKeySecret();
  EXPECT_STREQ(getenv("ZUMBLE_SAMPLE_KEY"), "5eed");
  unsetenv("ZUMBLE_SAMPLE_KEY");
}

TEST(BoardVerify, ReplayCostBeforeVerifying) {
  // A whole file of the current format whose frames are more than its time allows is
  // refused; one frame fewer is what the file may have, and it goes to the verifier.
  uint32_t most = ReplayMostFrames(1000);
  std::string over = Replay(1000, most + 1);
  ReplayFile parsed;
  char why[kReplayReasonSize] = "";
  ASSERT_TRUE(ReplayParse(reinterpret_cast<const uint8_t*>(over.data()), over.size(), &parsed, why,
                          sizeof why))
      << why;
  EXPECT_NE(RefuseBeforeVerifying(over).find("more than a round of 1000 ms"), std::string::npos);
  EXPECT_EQ(RefuseBeforeVerifying(Replay(1000, most)), "");

  // The recorded rounds of the game's corpus: time and frames as they are.
  struct Round {
    uint32_t time_ms, frames;
  } corpus[] = {{7234, 499}, {2083, 190}, {25950, 1622}, {87850, 5336}, {11234, 739}};
  for (const Round& r : corpus) {
    EXPECT_EQ(RefuseBeforeVerifying(Header(r.time_ms, r.frames)), "") << r.time_ms;
    // ...and with an hour on the results board before the click.
    EXPECT_EQ(RefuseBeforeVerifying(Header(r.time_ms, r.frames + 216000)), "") << r.time_ms;
    EXPECT_NE(RefuseBeforeVerifying(Header(r.time_ms, r.frames + 216000 + 70)), "");
  }
  EXPECT_EQ(ReplayMostFrames(0), 2u + 0 + kReplayResultsFrames + kReplayResultsWaitFrames);
  EXPECT_EQ(ReplayMostFrames(kReplaySlowestTimeMs),
            2u + 216000 + kReplayResultsFrames + kReplayResultsWaitFrames);
  EXPECT_NE(RefuseBeforeVerifying(Header(kReplayNoTime, 100)).find("has no time"),
            std::string::npos);
  EXPECT_NE(RefuseBeforeVerifying(Header(kReplaySlowestTimeMs + 1, 100)), "");
  EXPECT_NE(RefuseBeforeVerifying(Header(1000, 1u << 22)).find("more than a round"),
            std::string::npos);
  // Not this format (another version, a header cut short): the verifier says what is wrong.
  EXPECT_EQ(RefuseBeforeVerifying("ZUMBLE-FAKE 1\n"), "");
  std::string other = Header(kReplayNoTime, 1u << 22);
  other[4] = static_cast<char>(kReplayFormatVersion + 1);
  EXPECT_EQ(RefuseBeforeVerifying(other), "");
  EXPECT_EQ(RefuseBeforeVerifying(Header(kReplayNoTime, 1u << 22).substr(0, kReplayHeaderSize - 1)),
            "");
  // Any time and frame count: refused exactly when the rule says.
  std::mt19937 rng(11);
  for (int i = 0; i < 100000; ++i) {
    uint32_t t = rng() % 4000000, f = rng() % 600000;
    bool refuse = t > kReplaySlowestTimeMs || f > 2 + (uint64_t{t} + 2) * 60 / 1000 + 64 + 216000;
    EXPECT_EQ(!RefuseBeforeVerifying(Header(t, f)).empty(), refuse) << t << " " << f;
  }
}

// A stand-in verifier that sleeps as long as its replay says (seconds), then accepts.
std::string SleepingVerifier(const std::string& dir) {
  std::string path = dir + "/sleepy.sh";
  std::ofstream(path) << "#!/bin/sh\nsleep $(cat \"$2\")\n"
                         "echo ok flies=10 speed=1 time_ms=1000 frames=60\n";
  chmod(path.c_str(), 0755);
  return path;
}

// A series' value in the metrics' text (0 when absent).
double MetricValue(const std::string& series) {
  const std::string text = MetricsText(MetricsNow{});
  size_t at = text.find("\n" + series + " ");
  return at == std::string::npos ? 0 : std::stod(text.substr(at + series.size() + 2));
}

TEST(BoardVerify, VerifierSharedFairly) {
  const double verified_before = MetricValue("zumble_board_verify_seconds_count"),
               seconds_before = MetricValue("zumble_board_verify_seconds_sum"),
               waits_before = MetricValue("zumble_board_verify_wait_seconds_count");
  char dir_template[] = "/tmp/board-guard-pool-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir_template));
  VerifierConfig config;
  config.zumble = SleepingVerifier(dir_template);
  config.work_dir = dir_template;
  VerifierPool pool;
  pool.slots = 1;
  pool.queue = 8;
  pool.share_seconds = 1.0;
  pool.refill_per_second = 0.01;
  pool.light_seconds = 0.3;
  ASSERT_TRUE(OpenVerifierPool(&pool));

  // An address with a verification running may not queue another.
  Verdict v;
  int retry = 0;
  PoolAnswer second = PoolAnswer::kVerified;
  std::thread first([&] {
    Verdict mine;
    int r = 0;
    EXPECT_EQ(VerifyInPool(&pool, config, "a", "3", &mine, &r), PoolAnswer::kVerified);
    EXPECT_EQ(mine.kind, Verdict::kAccepted) << mine.reason;
  });
  for (int i = 0; i < 200; ++i) {
    {
      std::lock_guard<std::mutex> hold(pool.lock);
      if (pool.running == 1) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  second = VerifyInPool(&pool, config, "a", "0", &v, &retry);
  EXPECT_EQ(second, PoolAnswer::kAlreadyPending);
  // Another address that has used nothing takes the extra slot once "a" has run long,
  // and is done before "a".
  EXPECT_EQ(VerifyInPool(&pool, config, "b", "0", &v, &retry), PoolAnswer::kVerified);
  EXPECT_EQ(v.kind, Verdict::kAccepted) << v.reason;
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    EXPECT_EQ(pool.running, 1);  // "a" still runs
  }
  first.join();
  // Both verifications counted with their waits, "a"'s three seconds in their time.
  EXPECT_EQ(MetricValue("zumble_board_verify_seconds_count"), verified_before + 2);
  EXPECT_EQ(MetricValue("zumble_board_verify_wait_seconds_count"), waits_before + 2);
  EXPECT_GE(MetricValue("zumble_board_verify_seconds_sum"), seconds_before + 3);
  // "a" has used more than its share: told when to come back.
  EXPECT_EQ(VerifyInPool(&pool, config, "a", "0", &v, &retry), PoolAnswer::kOverShare);
  EXPECT_GT(retry, 0);
  // Stopping: nothing more runs.
  StopVerifiers(&pool);
  EXPECT_EQ(VerifyInPool(&pool, config, "c", "0", &v, &retry), PoolAnswer::kStopping);
  std::string cleanup = std::string("rm -rf ") + dir_template;
  EXPECT_EQ(system(cleanup.c_str()), 0);
}

TEST(BoardVerify, VerifierExecFailureAndStop) {
  char dir_template[] = "/tmp/board-guard-exec-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir_template));
  VerifierConfig config;
  config.work_dir = dir_template;
  config.zumble = std::string(dir_template) + "/missing";
  Verdict v = RunVerifier(config, "x");
  EXPECT_EQ(v.kind, Verdict::kFailed);
  EXPECT_EQ(v.reason, "could not start the verifier");
  // A stop ends a running verification at once.
  config.zumble = SleepingVerifier(dir_template);
  VerifierPool pool;
  ASSERT_TRUE(OpenVerifierPool(&pool));
  auto start = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    StopVerifiers(&pool);
  });
  bool stopped = false;
  v = RunVerifier(config, "30", pool.stop_fd, &stopped);
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  // Stale replays of older servers are cleared; other files stay.
  std::ofstream(std::string(dir_template) + "/replay-abc123") << "x";
  std::ofstream(std::string(dir_template) + "/replay-notours.txt") << "x";
  RemoveStaleReplays(dir_template);
  EXPECT_NE(access((std::string(dir_template) + "/replay-abc123").c_str(), F_OK), 0);
  EXPECT_EQ(access((std::string(dir_template) + "/replay-notours.txt").c_str(), F_OK), 0);
  std::string cleanup = std::string("rm -rf ") + dir_template;
  EXPECT_EQ(system(cleanup.c_str()), 0);
}

}  // namespace
}  // namespace board
