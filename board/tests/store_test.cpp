// The store by itself, on an SQLite file: what Submit decides for a new run, the same
// round again, a copy under another name (the same swats, or every swat a frame or two
// off), a name with and without its key, a held run and the held limit, an operator's
// approve and reject, and filing a run stored before its swats were known.
#include "store/store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "replay/core/swat_frames.h"
#include "store/connection_pool.h"
#include "trust/name_fold.h"

namespace board {
namespace {

class StoreTest : public testing::Test {
protected:
  void SetUp() override {
    char dir[] = "/tmp/zumble-store-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    std::string error;
    store_ = OpenSqlite(dir_ + "/board.db", 2, &error);
    ASSERT_TRUE(store_) << error;
  }
  void TearDown() override {
    store_.reset();
    for (const char* file : {"/board.db", "/board.db-wal", "/board.db-shm"})
      std::remove((dir_ + file).c_str());
    rmdir(dir_.c_str());
  }

  // A verified 10-fly NORMAL round of seed `played`, its swats at `frames`.
  static NewRun Round(const std::string& name, const std::string& tag, int64_t played,
                      std::vector<uint32_t> frames, int64_t time_ms) {
    NewRun run;
    run.name = name;
    run.fold = FoldName(name);
    run.hash = "hash-" + tag;
    run.round = "round-" + tag;
    run.replay = "replay bytes " + tag;
    run.flies = 10;
    run.speed = 2;
    run.time_ms = time_ms;
    run.frames = time_ms * 60 / 1000;
    run.created = 1700000000;
    run.played = played;
    run.sender = "127.0.0.1";
    run.rate_keys = 0;
    run.swats = "swats-" + tag;
    run.swat_frames = SwatFramesText(frames.data(), frames.size());
    run.verdict = "ok flies=10 speed=2";
    return run;
  }

  Stored Submit(const NewRun& run) {
    Stored out;
    EXPECT_TRUE(store_->Submit(run, &out)) << store_->LastError();
    return out;
  }

  std::vector<std::string> BoardNames() {
    Page page;
    EXPECT_TRUE(store_->Best(10, 2, Pace::kDealt, 10, 0, &page)) << store_->LastError();
    std::vector<std::string> names;
    for (const board::Run& r : page.runs) names.push_back(r.name);
    return names;
  }

  std::string dir_;
  std::unique_ptr<Store> store_;
};

TEST_F(StoreTest, SubmitDecidesNewSameCopiedAndNamed) {
  const std::vector<uint32_t> swats = {100, 200, 300, 400};
  const Stored first = Submit(Round("Ann", "a", 2000000000, swats, 9000));
  ASSERT_EQ(first.outcome, Stored::kStored);
  EXPECT_EQ(first.rank, 1);
  EXPECT_FALSE(first.key.empty()) << "a new name gets its key";
  EXPECT_EQ(first.run.state, "shown");
  EXPECT_TRUE(first.run.record);

  // The same round under the same name: already there, nothing new.
  EXPECT_EQ(Submit(Round("Ann", "a", 2000000000, swats, 9000)).outcome, Stored::kAlready);
  // The same swats under another name, and the same round with every swat moved a frame
  // or two: copies of Ann's run (the second told as near).
  const Stored same = Submit(Round("Bob", "b", 2000000000, swats, 9000));
  EXPECT_EQ(same.outcome, Stored::kDuplicate);
  NewRun moved = Round("Bob", "c", 2000000000, {98, 201, 302, 399}, 8950);
  moved.swats = "swats-c";
  const Stored near = Submit(moved);
  EXPECT_EQ(near.outcome, Stored::kDuplicate);
  EXPECT_TRUE(near.near);
  EXPECT_EQ(near.run.id, first.run.id);
  // Three frames off is another round.
  EXPECT_EQ(Submit(Round("Bob", "d", 2000000000, {97, 200, 300, 400}, 8900)).outcome,
            Stored::kStored);

  // Ann's name: refused without her key, or with another, taken with hers; its folded
  // forms are hers too.
  EXPECT_EQ(Submit(Round("Ann", "e", 2000000001, {50}, 7000)).outcome, Stored::kNameTaken);
  NewRun wrongKey = Round("ANN", "e", 2000000001, {50}, 7000);
  wrongKey.key = "not her key";
  EXPECT_EQ(Submit(wrongKey).outcome, Stored::kBadKey);
  NewRun hers = Round("Ann", "e", 2000000001, {50}, 7000);
  hers.key = first.key;
  const Stored again = Submit(hers);
  EXPECT_EQ(again.outcome, Stored::kStored);
  EXPECT_TRUE(again.key.empty()) << "an owned name keeps its key";
  Stored check;
  ASSERT_TRUE(store_->CheckName(FoldName("ann"), "", &check));
  EXPECT_EQ(check.outcome, Stored::kNameTaken);
  EXPECT_EQ(check.holder, "Ann");

  // One run a player on the board, fastest first.
  EXPECT_EQ(BoardNames(), (std::vector<std::string>{"Ann", "Bob"}));
}

TEST_F(StoreTest, HeldRunsWaitForTheOperator) {
  NewRun held = Round("Cy", "h1", 2000000000, {60, 120}, 4000);
  held.signs = "jump_swats:3";
  held.max_held = 1;
  const Stored first = Submit(held);
  ASSERT_EQ(first.outcome, Stored::kStored);
  EXPECT_EQ(first.run.state, "held");
  EXPECT_FALSE(first.key.empty()) << "the key the name gets if the run is approved";
  EXPECT_TRUE(BoardNames().empty());
  // The name stays free meanwhile.
  Stored check;
  ASSERT_TRUE(store_->CheckName(FoldName("Cy"), "", &check));
  EXPECT_EQ(check.outcome, Stored::kStored);
  // A second held run from the same address is over its limit; a clean run is not.
  NewRun second = Round("Cy", "h2", 2000000001, {60, 121}, 4100);
  second.signs = "jump_swats:4";
  second.max_held = 1;
  EXPECT_EQ(Submit(second).outcome, Stored::kTooManyHeld);

  // Approved: on the board, and the name is the held run's key's.
  std::string why, key;
  ASSERT_TRUE(store_->SetRunState(first.run.id, {"held"}, "shown", "approve", "tester", "looked",
                                  &why, &key))
      << why;
  EXPECT_EQ(BoardNames(), (std::vector<std::string>{"Cy"}));
  NewRun withKey = Round("Cy", "h3", 2000000002, {70}, 3000);
  withKey.key = first.key;
  EXPECT_EQ(Submit(withKey).outcome, Stored::kStored);
  // Approving twice does not apply; the audit table has the approval.
  EXPECT_FALSE(store_->SetRunState(first.run.id, {"held"}, "shown", "approve", "tester", "", &why));
  std::vector<AuditRow> audit;
  int64_t total = 0;
  ASSERT_TRUE(store_->Audit(10, 0, &audit, &total));
  bool approved = false;
  for (const AuditRow& row : audit) approved |= row.action == "approve" && row.actor == "tester";
  EXPECT_TRUE(approved);

  // Rejecting a held run of a name never shown frees the name.
  NewRun other = Round("Dee", "r1", 2000000003, {80}, 5000);
  other.signs = "teleports:2";
  other.sender = "10.0.0.2";
  const Stored rejected = Submit(other);
  ASSERT_EQ(rejected.run.state, "held");
  ASSERT_TRUE(
      store_->SetRunState(rejected.run.id, {"held"}, "rejected", "reject", "tester", "bot", &why))
      << why;
  EXPECT_EQ(Submit(Round("Dee", "r2", 2000000004, {90}, 6000)).outcome, Stored::kStored);
}

TEST_F(StoreTest, FilingFindsACopyStoredBeforeItsSwatsWereKnown) {
  NewRun older = Round("Eve", "f1", 2000000000, {10, 20}, 2000);
  older.rate_keys = -1;
  older.swats = "";
  older.swat_frames = "";
  NewRun newer = Round("Fay", "f2", 2000000000, {10, 20}, 2000);
  newer.rate_keys = -1;
  newer.swats = "";
  newer.swat_frames = "";
  const Stored a = Submit(older), b = Submit(newer);
  ASSERT_EQ(a.outcome, Stored::kStored);
  ASSERT_EQ(b.outcome, Stored::kStored);
  std::vector<UnfiledRun> unfiled;
  ASSERT_TRUE(store_->Unfiled(0, 10, &unfiled));
  ASSERT_EQ(unfiled.size(), 2u);
  const uint32_t frames[] = {10, 20};
  const std::string text = SwatFramesText(frames, 2);
  int64_t copy_of = -1;
  bool awaiting = true;
  ASSERT_TRUE(store_->FileRun(a.run.id, 0, "same swats", text, "ok", 0, &copy_of, &awaiting));
  EXPECT_EQ(copy_of, 0);
  EXPECT_FALSE(awaiting);
  ASSERT_TRUE(store_->FileRun(b.run.id, 0, "same swats", text, "ok", 0, &copy_of, &awaiting));
  EXPECT_EQ(copy_of, a.run.id) << "the older keeps the round";
  board::Run run;
  bool found = false;
  ASSERT_TRUE(store_->FindRun(b.run.id, &run, &found));
  EXPECT_EQ(run.state, "hidden");
  EXPECT_EQ(BoardNames(), (std::vector<std::string>{"Eve"}));
  ASSERT_TRUE(store_->Unfiled(0, 10, &unfiled));
  EXPECT_TRUE(unfiled.empty());
}

// What the metrics read of a store: the pool's members in use and the errors met.
TEST_F(StoreTest, UsageCountsThePoolAndTheErrors) {
  StoreUsage usage = store_->Usage();
  EXPECT_EQ(usage.size, 2);
  EXPECT_EQ(usage.in_use, 0);
  EXPECT_EQ(usage.errors, 0);
  int a = 0, b = 0, c = 0;
  ConnectionPool<int> pool;
  pool.all = pool.idle = {&a, &b, &c};
  ErrorText errors;
  errors.Set("one");
  errors.Set("two");
  Borrowed<int> held(&pool);
  usage = PoolUsage(&pool, errors);
  EXPECT_EQ(usage.size, 3);
  EXPECT_EQ(usage.in_use, 1);
  EXPECT_EQ(usage.timeouts, 0);
  EXPECT_EQ(usage.errors, 2);
}

// A run filed at the start goes through review as a new one would: the record waits for a
// moderator, a slower run goes on its board.
TEST_F(StoreTest, FilingHoldsANewRecordForReview) {
  ASSERT_EQ(Submit(Round("Gil", "g1", 2000000010, {10}, 3000)).outcome, Stored::kStored);
  NewRun fast = Round("Hal", "g2", 2000000011, {20}, 2000);
  NewRun slow = Round("Ivy", "g3", 2000000012, {30}, 5000);
  for (NewRun* r : {&fast, &slow}) {
    r->rate_keys = -1;
    r->review_top = 1;
  }
  const Stored a = Submit(fast), b = Submit(slow);
  ASSERT_EQ(a.run.state, "shown");
  int64_t copy_of = 0;
  bool awaiting = false;
  ASSERT_TRUE(store_->FileRun(a.run.id, 0, "a", "", "ok", 1, &copy_of, &awaiting));
  EXPECT_TRUE(awaiting);
  ASSERT_TRUE(store_->FileRun(b.run.id, 0, "b", "", "ok", 1, &copy_of, &awaiting));
  EXPECT_FALSE(awaiting);
  board::Run run;
  bool found = false;
  ASSERT_TRUE(store_->FindRun(a.run.id, &run, &found));
  EXPECT_EQ(run.state, "held");
  EXPECT_EQ(BoardNames(), (std::vector<std::string>{"Gil", "Ivy"}));
}

}  // namespace
}  // namespace board
