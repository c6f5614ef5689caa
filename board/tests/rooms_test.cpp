// The rooms' state (rooms/room_state.h) on a clock of the test's own: the countdown and
// the seed dealt at its end, rooms nobody uses ending, racers who never send a round,
// leaving, and what the room's JSON never shows; a racer's round kept as it streams
// (resumed, watched) and the room's page. The routes and a real race are
// board/tests/board_rooms.sh's.
#include <gtest/gtest.h>

#include <string>

#include "pages/room_page.h"
#include "rooms/room_state.h"

namespace board {
namespace {

constexpr int64_t kWall = 1800000000;        // the calendar time the tests deal seeds at
constexpr size_t kMaxRecordForTest = 65536;  // a racer's largest message

struct TestRooms {
  Rooms rooms;
  RoomClock::time_point t0 = RoomClock::now();
  Room* room = nullptr;
  TestRooms() {
    EXPECT_EQ(CreateRoom(&rooms, "a", 10, 2, "r", t0, &room).status, 0);
    room = FindRoom(&rooms, room->id, t0);
  }
  Racer* Join(const std::string& name) {
    Racer* r = nullptr;
    EXPECT_EQ(JoinRoom(&rooms, room, name, name, "", &r).status, 0) << name;
    return r;
  }
  RoomClock::time_point At(int ms) const { return t0 + std::chrono::milliseconds(ms); }
};

TEST(Rooms, CountdownThenTheSeedDealtAtItsEndOnly) {
  TestRooms t;
  t.Join("ann");
  t.Join("bob");  // racers' places move as others join: each is found again by its place
  Racer* ann = &t.room->racers[0];
  EXPECT_EQ(SetReady(&t.rooms, t.room, ann, true, t.At(0)).status, 0);
  EXPECT_FALSE(t.room->racing) << "bob is not ready";
  EXPECT_EQ(SetReady(&t.rooms, t.room, &t.room->racers[1], true, t.At(100)).status, 0);
  ASSERT_TRUE(t.room->racing);
  const int countdown = t.rooms.limits.countdown_ms;
  AdvanceRace(&t.rooms, t.room, t.At(100 + countdown - 1), kWall, 0);
  EXPECT_EQ(t.room->race.seed, -1);
  const std::string counting = RoomJson(*t.room, t.At(100 + countdown - 1));
  EXPECT_EQ(counting.find("\"seed\""), std::string::npos) << counting;
  EXPECT_NE(counting.find("\"state\":\"countdown\""), std::string::npos) << counting;
  AdvanceRace(&t.rooms, t.room, t.At(100 + countdown), kWall, 0);
  const int64_t seed = t.room->race.seed;
  EXPECT_LE(seed, kWall);
  EXPECT_GT(seed, kWall - 86400);
  // Dealt once: later looks keep it.
  AdvanceRace(&t.rooms, t.room, t.At(100 + countdown + 5000), kWall + 5, 0);
  EXPECT_EQ(t.room->race.seed, seed);
  // Nobody's pass is ever in the state.
  const std::string racing = RoomJson(*t.room, t.At(100 + countdown + 5000));
  EXPECT_EQ(racing.find(t.room->host_token), std::string::npos);
  EXPECT_EQ(racing.find(ann->token), std::string::npos);
  EXPECT_NE(racing.find("\"seed\":" + std::to_string(seed)), std::string::npos) << racing;
}

TEST(Rooms, SeedsAreWithinTheLastDayNotBeforeTheOldestAndVary) {
  int64_t first = DealSeed(kWall, 0), differ = 0;
  for (int i = 0; i < 200; ++i) {
    const int64_t seed = DealSeed(kWall, 0);
    EXPECT_LE(seed, kWall);
    EXPECT_GT(seed, kWall - 86400);
    differ += seed != first;
  }
  EXPECT_GT(differ, 150) << "the seed is not random";
  EXPECT_GE(DealSeed(kWall, kWall - 10), kWall - 10);
}

TEST(Rooms, RoomsNobodyUsesEndAndFreeTheirAddressPlaces) {
  TestRooms t;
  const std::string first = t.room->id;
  Room* room = nullptr;
  for (int i = 1; i < t.rooms.limits.rooms_per_address; ++i)
    EXPECT_EQ(CreateRoom(&t.rooms, "a", 30, 1, "", t.At(0), &room).status, 0);
  EXPECT_EQ(CreateRoom(&t.rooms, "a", 30, 1, "", t.At(0), &room).status, 429);
  EXPECT_EQ(CreateRoom(&t.rooms, "b", 30, 1, "", t.At(0), &room).status, 0);
  // The server's own bound, whatever the addresses.
  t.rooms.limits.rooms = static_cast<int>(t.rooms.open.size());
  EXPECT_EQ(CreateRoom(&t.rooms, "c", 30, 1, "", t.At(0), &room).code, "busy");
  t.rooms.limits.rooms = 1000;
  // Asked about, the first room stays; the others end once idle for longer than the limit.
  const int idle = t.rooms.limits.idle_ms;
  EXPECT_NE(FindRoom(&t.rooms, first, t.At(idle - 1)), nullptr);
  EXPECT_EQ(CreateRoom(&t.rooms, "a", 30, 1, "", t.At(idle + 1), &room).status, 0);
  EXPECT_EQ(t.rooms.open.size(), 2u) << "the first room and the new one";
  EXPECT_EQ(FindRoom(&t.rooms, first, t.At(2 * idle)), nullptr);
  EXPECT_EQ(t.rooms.open.size(), 1u) << "the new room, used since";
}

TEST(Rooms, ARacerWhoNeverSendsHasLeftOnceNoRoundCouldLastLonger) {
  TestRooms t;
  t.Join("ann");
  ASSERT_EQ(StartNow(&t.rooms, t.room, t.At(0)).status, 0);
  AdvanceRace(&t.rooms, t.room, t.At(t.rooms.limits.countdown_ms), kWall, 0);
  EXPECT_TRUE(t.room->racing);
  AdvanceRace(&t.rooms, t.room, t.At(t.rooms.limits.countdown_ms + 59 * 60 * 1000), kWall, 0);
  EXPECT_TRUE(t.room->racing) << "a slow round may still come";
  AdvanceRace(&t.rooms, t.room, t.At(t.rooms.limits.countdown_ms + 62 * 60 * 1000), kWall, 0);
  ASSERT_FALSE(t.room->racing);
  ASSERT_EQ(t.room->finished.size(), 1u);
  EXPECT_EQ(t.room->finished[0].results[0].status, "left");
}

TEST(Rooms, LeavingKeepsNothingAndEndsTheRaceForTheOthersResults) {
  TestRooms t;
  t.Join("ann");
  Racer* bob = t.Join("bob");
  ASSERT_EQ(StartNow(&t.rooms, t.room, t.At(0)).status, 0);
  AdvanceRace(&t.rooms, t.room, t.At(t.rooms.limits.countdown_ms), kWall, 0);
  LeaveRoom(&t.rooms, t.room, bob);
  EXPECT_TRUE(t.room->racing) << "ann has not sent her round";
  RaceResult* ann = RaceRowOf(t.room, t.room->racers[0]);
  ASSERT_NE(ann, nullptr);
  ann->status = "verified";
  FinishRow(&t.rooms, t.room);
  ASSERT_FALSE(t.room->racing);
  EXPECT_EQ(t.room->finished[0].results[1].status, "left");
  EXPECT_FALSE(t.room->racers[0].ready) << "a rematch starts unready";
  // Joining and leaving again and again: the room holds one racer, never more.
  for (int i = 0; i < 100; ++i) {
    Racer* r = t.Join("eve");
    LeaveRoom(&t.rooms, t.room, r);
  }
  EXPECT_EQ(t.room->racers.size(), 1u);
  // The room's size counts those present.
  for (int i = 1; i < t.rooms.limits.racers; ++i) t.Join("r" + std::to_string(i));
  Racer* extra = nullptr;
  EXPECT_EQ(JoinRoom(&t.rooms, t.room, "one", "one", "", &extra).code, "room_full");
}

TEST(Rooms, FinishedRacesKeptAreBounded) {
  TestRooms t;
  t.Join("ann");
  for (int i = 0; i < t.rooms.limits.races_kept + 5; ++i) {
    ASSERT_EQ(StartNow(&t.rooms, t.room, t.At(0)).status, 0);
    EXPECT_EQ(StartNow(&t.rooms, t.room, t.At(0)).code, "racing");
    t.room->race.results[0].status = "refused";
    FinishRow(&t.rooms, t.room);
  }
  EXPECT_EQ(static_cast<int>(t.room->finished.size()), t.rooms.limits.races_kept);
  EXPECT_EQ(t.room->finished.back().number, t.rooms.limits.races_kept + 5);
}

TEST(Rooms, StreamedSwatsShowCountClockAndDeltaAndFramesKeepToRealTime) {
  TestRooms t;
  t.Join("ann");
  t.Join("bob");
  ASSERT_EQ(StartNow(&t.rooms, t.room, t.At(0)).status, 0);
  const int start = t.rooms.limits.countdown_ms;
  AdvanceRace(&t.rooms, t.room, t.At(start), kWall, 0);
  // 600 frames are 10 s: in time 8 s after the start (the 2 s allowance), not before.
  EXPECT_TRUE(FramesInTime(t.rooms, *t.room, 600, t.At(start + 8000)));
  EXPECT_FALSE(FramesInTime(t.rooms, *t.room, 600, t.At(start + 7990)));
  EXPECT_FALSE(FramesInTime(t.rooms, *t.room, 36000, t.At(start + 60000)));
  std::vector<RaceResult>& rows = t.room->race.results;
  for (int64_t ms : {900, 1500, 2400}) EXPECT_TRUE(NoteSwat(*t.room, &rows[0], ms));
  for (int64_t ms : {1000, 1400}) EXPECT_TRUE(NoteSwat(*t.room, &rows[1], ms));
  EXPECT_EQ(SwatDelta(rows, rows[0]), 0) << "ann alone has a third swat";
  EXPECT_EQ(SwatDelta(rows, rows[1]), 0) << "bob had two before ann";
  EXPECT_TRUE(NoteSwat(*t.room, &rows[1], 3000));
  EXPECT_EQ(SwatDelta(rows, rows[1]), 600);
  rows[0].streaming = true;
  const std::string json = RoomJson(*t.room, t.At(start + 3000));
  EXPECT_NE(json.find("\"swat_ms\":[900,1500,2400],\"swats\":3"), std::string::npos) << json;
  EXPECT_NE(json.find("\"delta_ms\":600"), std::string::npos) << json;
  // No more swats than the mode has flies.
  for (int i = 3; i < t.room->flies; ++i) EXPECT_TRUE(NoteSwat(*t.room, &rows[0], 3000 + i));
  EXPECT_FALSE(NoteSwat(*t.room, &rows[0], 9999));
  EXPECT_EQ(static_cast<int>(rows[0].swat_ms.size()), t.room->flies);
}

// Told when a racer's round grows.
struct CountingWatcher : FeedWatcher {
  int woken = 0, states = 0;
  void Wake(bool state) override { ++(state ? states : woken); }
};

TEST(Rooms, AStreamedRoundIsKeptForItsConnectionAndItsSpectatorsOnly) {
  TestRooms t;
  Racer* ann = t.Join("ann");
  ASSERT_EQ(StartNow(&t.rooms, t.room, t.At(0)).status, 0);
  AdvanceRace(&t.rooms, t.room, t.At(t.rooms.limits.countdown_ms), kWall, 0);
  CountingWatcher hers, his;
  ASSERT_TRUE(AddWatcher(&t.rooms, t.room, "ann", &hers));
  ASSERT_TRUE(AddWatcher(&t.rooms, t.room, "bob", &his));
  const std::string header(68, 'h');
  RacerFeed* feed = StartFeed(t.room, *ann, t.room->race.number, header, 1);
  std::string file;
  EXPECT_EQ(FeedRecord(t.room, feed, 1, 'f', "abc", &file), FeedTaken::kTaken);
  EXPECT_EQ(FeedRecord(t.room, feed, 2, 'f', "xyz", &file), FeedTaken::kStale)
      << "another connection's records are not this round's";
  EXPECT_EQ(FeedRecord(t.room, feed, 1, 'h', header, &file), FeedTaken::kBadRecord);
  EXPECT_EQ(FeedRecord(t.room, feed, 1, 'e', "short", &file), FeedTaken::kBadRecord);
  EXPECT_EQ(hers.woken, 2) << "the round's start and its frames";
  EXPECT_EQ(his.woken, 0) << "bob's spectator watches bob";
  // A resume needs the board's playing and the round under way.
  RaceResult* row = RaceRowOf(t.room, *ann);
  row->streaming = true;
  EXPECT_EQ(ResumableFeed(t.room, *ann), nullptr) << "no playing";
  // Only whether the board plays it counts here: a stand-in that is never called.
  auto playing = std::shared_ptr<RacerStream>(reinterpret_cast<RacerStream*>(&hers), [](auto) {});
  feed->playing = playing;
  EXPECT_EQ(ResumableFeed(t.room, *ann), feed);
  const std::string end = std::string(68, 'E') + "tail";
  EXPECT_EQ(FeedRecord(t.room, feed, 1, 'e', end, &file), FeedTaken::kEnded);
  EXPECT_EQ(file, std::string(68, 'E') + "abc" + "tail") << "the header as it ended, frames, tail";
  EXPECT_EQ(ResumableFeed(t.room, *ann), nullptr) << "the round has ended";
  feed->end.clear();
  playing.reset();
  EXPECT_EQ(ResumableFeed(t.room, *ann), nullptr) << "the board's playing has ended";
  feed->end = end;
  EXPECT_EQ(FeedRecord(t.room, feed, 1, 'f', "late", &file), FeedTaken::kBadRecord);
  // No more than a replay's bytes.
  feed = StartFeed(t.room, *ann, t.room->race.number + 1, header, 1);
  EXPECT_TRUE(feed->frames.empty()) << "a new round starts empty";
  const std::string big(kMaxRecordForTest, 'f');
  FeedTaken taken = FeedTaken::kTaken;
  while (taken == FeedTaken::kTaken) taken = FeedRecord(t.room, feed, 1, 'f', big, &file);
  EXPECT_EQ(taken, FeedTaken::kTooLarge);
  EXPECT_LE(feed->frames.size(), 17u << 20);
  // The spectators' places; a racer who leaves takes their round with them.
  std::vector<CountingWatcher> more(t.rooms.limits.spectators);
  int placed = 0;
  for (CountingWatcher& w : more) placed += AddWatcher(&t.rooms, t.room, "ann", &w) ? 1 : 0;
  EXPECT_EQ(placed, t.rooms.limits.spectators - 2);
  DropWatcher(t.room, &his);
  EXPECT_TRUE(AddWatcher(&t.rooms, t.room, "bob", &his));
  CountingWatcher plain;
  EXPECT_TRUE(AddWatcher(&t.rooms, t.room, "", &plain)) << "a follower who watches nobody";
  WakeFollowers(*t.room);
  EXPECT_EQ(plain.states + his.states, 2) << "a swat told to every follower";
  EXPECT_EQ(plain.woken, 0);
  LeaveRoom(&t.rooms, t.room, ann);
  EXPECT_TRUE(t.room->feeds.empty());
}

TEST(Rooms, ThePageShowsRacersTheRaceAndTheResultsLinks) {
  TestRooms t;
  t.Join("ann");
  t.Join("<b>&");
  std::string html = RoomPageHtml(*t.room, t.At(0));
  EXPECT_NE(html.find("<h1>r</h1>"), std::string::npos);
  EXPECT_NE(html.find(">10 flies, NORMAL<"), std::string::npos) << html;
  EXPECT_NE(html.find("href=\"/play/?room=" + t.room->id + "\">Join this race</a>"),
            std::string::npos);
  EXPECT_NE(html.find("<td class=\"n\">&lt;b&gt;&amp;</td><td class=\"ready\">not ready</td>"),
            std::string::npos)
      << "names escaped";
  EXPECT_NE(html.find("/play/?room=" + t.room->id + "&amp;watch=%3Cb%3E%26\">Watch</a>"),
            std::string::npos)
      << html;
  EXPECT_EQ(html.find("<b>&"), std::string::npos);
  EXPECT_NE(html.find("Waiting for every racer to be ready"), std::string::npos);
  ASSERT_EQ(StartNow(&t.rooms, t.room, t.At(0)).status, 0);
  EXPECT_NE(RoomPageHtml(*t.room, t.At(1200)).find("Race 1 starts in 4 s"), std::string::npos);
  AdvanceRace(&t.rooms, t.room, t.At(t.rooms.limits.countdown_ms), kWall, 0);
  std::vector<RaceResult>& rows = t.room->race.results;
  rows[0].streaming = true;
  for (int64_t ms : {900, 1500}) NoteSwat(*t.room, &rows[0], ms);
  NoteSwat(*t.room, &rows[1], 1200);
  NoteSwat(*t.room, &rows[1], 2000);
  html = RoomPageHtml(*t.room, t.At(t.rooms.limits.countdown_ms + 3000));
  EXPECT_NE(html.find("Race 1 under way"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"t swats\">2</td><td class=\"t clock\">1.500 s</td>"
                      "<td class=\"t delta\"></td>"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("<td class=\"t delta\">+0.500 s</td>"), std::string::npos) << html;
  rows[0].status = "verified";
  rows[0].time_ms = 7234;
  rows[0].run = 12;
  rows[1].status = "refused";
  rows[1].reason = "too_fast";
  FinishRow(&t.rooms, t.room);
  html = RoomPageHtml(*t.room, t.At(t.rooms.limits.countdown_ms + 9000));
  EXPECT_NE(html.find("<h3>Race 1</h3>"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"/runs/12\">7.234 s</a></td><td><a href=\"/runs/12/clip.webm\">"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find(">refused: too_fast<"), std::string::npos);
}

}  // namespace
}  // namespace board
