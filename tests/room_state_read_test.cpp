// A room's messages as the board sends them, and as a hostile one might: the room's state
// and the resume read whole or refused (text cut short, nesting too deep, numbers out of
// range, strings too long), the link a player is given, the join's body, the words the
// player reads, and the queue the connection keeps.
#include "replay/room_state_read.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/net_beast/message_ring.h"
#include "replay/json_scan.h"
#include "replay/room_address.h"
#include "replay/room_lines.h"

namespace {

const char kRacing[] =
    R"({"id":"3fa2c41b09de","name":"Friday","flies":10,"speed":2,"state":"racing",)"
    R"("racers":[{"name":"Ann","ready":true},{"name":"Bo\u00e9 \"B\"","ready":false}],)"
    R"("race":{"number":2,"seed":1765300000,"elapsed_ms":5400,"results":[)"
    R"({"name":"Ann","status":"racing","swats":3,"clock_ms":2400,"delta_ms":0,"swat_ms":[900,1500,2400]},)"
    R"({"name":"Bo\u00e9 \"B\"","status":"racing","swats":2,"clock_ms":2100,"delta_ms":600,"swat_ms":[1000,2100]}]},)"
    R"("races":[{"number":1,"seed":1765200000,"results":[{"name":"Ann","status":"verified","time_ms":7234,"run":12}]}]})";

std::string Nested(int depth) {
    return R"({"state":"lobby","flies":10,"speed":2,"racers":[],"x":)" + std::string(depth, '[') +
           std::string(depth, ']') + "}";
}

TEST(RoomStateRead, ARaceUnderWay) {
    RoomStateRead s;
    ASSERT_TRUE(ReadRoomState(kRacing, sizeof kRacing - 1, &s));
    EXPECT_EQ(s.state, RoomStateWord::kRacing);
    EXPECT_EQ(s.flySetting, 0);
    EXPECT_EQ(s.speedSetting, 1);
    ASSERT_EQ(s.racerCount, 2);
    EXPECT_STREQ(s.racers[1].name, "Bo\xc3\xa9 \"B\"");
    EXPECT_TRUE(s.racers[0].ready);
    EXPECT_FALSE(s.racers[1].ready);
    ASSERT_TRUE(s.hasRace);
    EXPECT_EQ(s.race.number, 2);
    EXPECT_TRUE(s.race.seeded);
    EXPECT_EQ(s.race.seed, 1765300000u);
    ASSERT_EQ(s.race.resultCount, 2);
    EXPECT_EQ(s.race.results[1].swats, 2);
    EXPECT_EQ(s.race.results[1].deltaMs, 600);
    ASSERT_TRUE(s.hasLast);
    EXPECT_EQ(s.last.number, 1);
    EXPECT_STREQ(s.last.results[0].status, "verified");
    EXPECT_EQ(s.last.results[0].timeMs, 7234);
}

struct Hostile {
    const char* what;
    std::string text;
    bool reads;
};

TEST(RoomStateRead, HostileMessagesAreRefusedWhole) {
    const std::string racing(kRacing);
    const std::string lobby = R"({"state":"lobby","flies":10,"speed":2,"racers":[]})";
    std::string many = R"({"state":"lobby","flies":10,"speed":2,"racers":[)";
    for (char c = 'a'; c < 'a' + 12; ++c) {
        many += c == 'a' ? "" : ",";
        many += R"({"name":"R)";
        many.push_back(c);
        many += "\"}";
    }
    many += "]}";
    const Hostile rows[] = {
        {"the lobby, nobody in it", lobby, true},
        {"cut short anywhere", racing.substr(0, racing.size() / 2), false},
        {"cut before its last brace", racing.substr(0, racing.size() - 1), false},
        {"empty", "", false},
        {"not an object", "[1,2,3]", false},
        {"a state the game does not know", R"({"state":"paused","flies":10,"speed":2,"racers":[]})",
         false},
        {"no mode", R"({"state":"lobby","racers":[]})", false},
        {"a fly count no mode has", R"({"state":"lobby","flies":11,"speed":2,"racers":[]})", false},
        {"a speed out of range", R"({"state":"lobby","flies":10,"speed":5,"racers":[]})", false},
        {"a huge number",
         R"({"state":"lobby","flies":100000000000000000000000,"speed":2,"racers":[]})", false},
        {"a number as a fraction", R"({"state":"lobby","flies":10.0,"speed":2,"racers":[]})",
         false},
        {"a seed past 32 bits",
         R"({"state":"racing","flies":10,"speed":2,"racers":[],"race":{"number":1,"seed":4294967296}})",
         false},
        {"a negative clock",
         R"({"state":"racing","flies":10,"speed":2,"racers":[],"race":{"number":1,"seed":5,"results":[{"name":"A","clock_ms":-1}]}})",
         false},
        {"a race without its number",
         R"({"state":"countdown","flies":10,"speed":2,"racers":[],"race":{}})", false},
        {"a name longer than any",
         R"({"state":"lobby","flies":10,"speed":2,"racers":[{"name":")" + std::string(200, 'x') +
             R"("}]})",
         false},
        {"a control character in a string",
         "{\"state\":\"lob\x01y\",\"flies\":10,\"speed\":2,\"racers\":[]}", false},
        {"a bad escape", R"({"state":"lob\qy","flies":10,"speed":2,"racers":[]})", false},
        {"a short \\u escape", R"({"state":"lob\u12","flies":10,"speed":2,"racers":[]})", false},
        {"nested 31 deep: read", Nested(30), true},
        {"nested 40 deep: refused", Nested(40), false},
        {"nested a million deep: refused, no stack spent", Nested(1000000), false},
        {"trailing bytes", lobby + "x", false},
        {"two values", lobby + lobby, false},
        {"a missing comma", R"({"state":"lobby" "flies":10,"speed":2,"racers":[]})", false},
        {"a trailing comma", R"({"state":"lobby","flies":10,"speed":2,"racers":[],})", false},
        {"more racers than a room holds: the first eight", many, true},
        {"longer than any state",
         R"({"state":"lobby","flies":10,"speed":2,"racers":[],"pad":")" +
             std::string(kRoomMostMessage, 'x') + "\"}",
         false},
    };
    for (const Hostile& row : rows) {
        RoomStateRead s;
        EXPECT_EQ(ReadRoomState(row.text.data(), row.text.size(), &s), row.reads) << row.what;
        if (row.reads) {
            EXPECT_LE(s.racerCount, kRoomMostRacers) << row.what;
        }
    }
}

TEST(RoomStateRead, ResumeAndTheJsonWords) {
    std::uint32_t bytes = 0;
    const char resume[] = R"({"resume":{"bytes":1234}})";
    ASSERT_TRUE(ReadRoomResume(resume, sizeof resume - 1, &bytes));
    EXPECT_EQ(bytes, 1234u);
    for (const char* bad : {R"({"resume":{"bytes":-1}})", R"({"resume":{"bytes":4294967296}})",
                            R"({"resume":1234})", R"({"resume":{"bytes":12)", "{}"})
        EXPECT_FALSE(ReadRoomResume(bad, std::strlen(bad), &bytes)) << bad;
    // A state is no resume, and a resume no state.
    EXPECT_FALSE(ReadRoomResume(kRacing, sizeof kRacing - 1, &bytes));
    RoomStateRead s;
    EXPECT_FALSE(ReadRoomState(resume, sizeof resume - 1, &s));

    // A surrogate pair is one character; a lone half is the replacement character.
    JsonSpan doc, value;
    char out[16];
    const char pair[] = R"({"a":"\ud83d\ude00","b":"\ud83d!"})";
    ASSERT_TRUE(JsonDocument(pair, sizeof pair - 1, &doc));
    ASSERT_TRUE(JsonMember(doc, "a", &value));
    ASSERT_TRUE(JsonText(value, out, sizeof out));
    EXPECT_STREQ(out, "\xf0\x9f\x98\x80");
    ASSERT_TRUE(JsonMember(doc, "b", &value));
    ASSERT_TRUE(JsonText(value, out, sizeof out));
    EXPECT_STREQ(out, "\xef\xbf\xbd!");
    // A string that does not fit is refused, not cut.
    ASSERT_TRUE(JsonText(value, out, 5));
    EXPECT_FALSE(JsonText(value, out, 4));
}

struct LinkRow {
    const char* link;
    bool reads;
    const char* join;  // the join's address, or the live address for a racer's own
};

TEST(RoomAddress, LinksPlayersAreGiven) {
    const LinkRow rows[] = {
        {"http://127.0.0.1:8080/rooms/3fa2c41b09de", true,
         "http://127.0.0.1:8080/api/rooms/3fa2c41b09de/join"},
        {"http://board.example/rooms/abc/", true, "http://board.example/api/rooms/abc/join"},
        {"http://[::1]:9/rooms/abc?x=1", true, "http://[::1]:9/api/rooms/abc/join"},
        {"ws://127.0.0.1:1/api/rooms/abc/live?racer=0123abcd", true,
         "ws://127.0.0.1:1/api/rooms/abc/live?racer=0123abcd"},
        {"https://board.example/rooms/abc", false, ""},
        {"http://board.example/play/?room=abc", false, ""},
        {"http://board.example/rooms/", false, ""},
        {"http://board.example/rooms/a/b", false, ""},
        {"http://board.example/rooms/a b", false, ""},
        {"http://user@evil/rooms/abc", false, ""},
        {"http:///rooms/abc", false, ""},
        {"ws://h/api/rooms/abc/live", false, ""},
        {"ws://h/api/rooms/abc/live?racer=12&x=1", false, ""},
        {"board.example/rooms/abc", false, ""},
    };
    for (const LinkRow& row : rows) {
        RoomAddress room;
        char why[160], url[600];
        ASSERT_EQ(ReadRoomLink(row.link, &room, why, sizeof why), row.reads) << row.link;
        if (!row.reads) {
            EXPECT_NE(why[0], 0) << row.link;
            continue;
        }
        if (room.pass[0])
            RoomLiveUrl(room, room.pass, url, sizeof url);
        else
            RoomJoinUrl(room, url, sizeof url);
        EXPECT_STREQ(url, row.join) << row.link;
    }
    char body[64];
    ASSERT_TRUE(RoomJoinBody("A\"n\\n\x01", "zk-1", body, sizeof body));
    EXPECT_STREQ(body, R"({"name":"A\"n\\n\u0001","key":"zk-1"})");
    ASSERT_TRUE(RoomJoinBody("Ann", "", body, sizeof body));
    EXPECT_STREQ(body, R"({"name":"Ann"})");
    EXPECT_FALSE(RoomJoinBody(std::string(100, 'x').c_str(), "", body, sizeof body));
}

TEST(RoomLines, WhatThePlayerReads) {
    RoomStateRead s;
    ASSERT_TRUE(ReadRoomState(kRacing, sizeof kRacing - 1, &s));
    RoomRaceView view{};
    view.phase = RoomPhase::kRacing;
    view.raceNumber = 2;
    view.racerCount = 2;
    view.racers[0] = s.race.results[0];
    view.racers[1] = s.race.results[1];
    char line[96], word[32];
    RoomTopLine(view, line, sizeof line);
    EXPECT_STREQ(line, "Ann 3  Bo\xc3\xa9 \"B\" 2 +0.60");
    RoomStatusWord(view, word, sizeof word);
    EXPECT_STREQ(word, "race 2");
    view.phase = RoomPhase::kCountdown;
    view.countdownMs = 2100;
    RoomStatusWord(view, word, sizeof word);
    EXPECT_STREQ(word, "starts in 3");
    // The result: the fastest verified racer wins; the others' times or why not.
    view.phase = RoomPhase::kLobby;
    view.resultIn = true;
    std::snprintf(view.winner, sizeof view.winner, "Ann");
    view.winnerMs = 7234;
    std::snprintf(view.racers[0].status, kRoomWordSize, "verified");
    std::snprintf(view.racers[1].status, kRoomWordSize, "refused");
    std::snprintf(view.racers[1].reason, kRoomWordSize, "too_fast");
    char lines[5][96];
    ASSERT_EQ(RoomResultLines(view, &lines[0][0], 5, 96), 2);
    EXPECT_STREQ(lines[0], "Ann wins, 0:07.234");
    EXPECT_STREQ(lines[1], "Bo\xc3\xa9 \"B\" refused: too_fast");
    // A line too narrow for every racer is cut, never overrun.
    RoomTopLine(view, line, 8);
    EXPECT_EQ(std::strlen(line), 7u);
}

TEST(MessageRing, QueuesRoundTheEndAndRefusesWhatDoesNotFit) {
    MessageRing ring;
    ASSERT_TRUE(MessageRingOpen(&ring, 32));
    char out[32];
    // Messages of 10 bytes (14 with their length): two fit, a third not until one leaves.
    for (int round = 0; round < 5; ++round) {
        const char a[] = "0123456789", b[] = "abcdefghij";
        ASSERT_TRUE(MessageRingPush(&ring, a, 4, a + 4, 6)) << round;
        ASSERT_TRUE(MessageRingPush(&ring, b, 10, nullptr, 0)) << round;
        EXPECT_FALSE(MessageRingPush(&ring, a, 10, nullptr, 0)) << round;
        ASSERT_EQ(MessageRingFrontSize(ring), 10);
        ASSERT_EQ(MessageRingPop(&ring, out, sizeof out), 10u);
        EXPECT_EQ(std::string(out, 10), "0123456789");
        ASSERT_TRUE(MessageRingPush(&ring, a, 3, nullptr, 0));
        ASSERT_EQ(MessageRingPop(&ring, out, sizeof out), 10u);
        EXPECT_EQ(std::string(out, 10), "abcdefghij");
        ASSERT_EQ(MessageRingPop(&ring, out, 2), 2u);  // cut to the room given
        EXPECT_EQ(std::string(out, 2), "01");
        EXPECT_EQ(MessageRingFrontSize(ring), -1);
    }
    MessageRingFree(&ring);
}

}  // namespace
