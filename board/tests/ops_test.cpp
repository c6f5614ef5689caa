// The operator's side: who may read the metrics (address ranges), and what
// `zumble-board submit` prints for the board's answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ops/address_range.h"
#include "pages/render.h"
#include "store/store.h"
#include "submit_words.h"
#include "trust/refusal.h"

namespace board {
namespace {

// Who may read the metrics: each client address against the ranges an operator names.
TEST(BoardOps, MetricsAddressRanges) {
  struct Case {
    const char* ranges;
    const char* address;
    bool in;
    // clang-format off
  } cases[] = {
      {"127.0.0.0/8,::1", "127.0.0.1", true},
      {"127.0.0.0/8,::1", "127.255.0.9", true},
      {"127.0.0.0/8,::1", "::1", true},
      {"127.0.0.0/8,::1", "::ffff:127.0.0.1", true},  // a mapped address is its IPv4 one
      {"127.0.0.0/8,::1", "128.0.0.1", false},
      {"127.0.0.0/8,::1", "::2", false},
      {"127.0.0.0/8,::1", "192.0.2.10", false},
      {"192.0.2.0/24", "192.0.2.255", true},
      {"192.0.2.0/24", "192.0.3.0", false},
      {"192.0.2.7/24", "192.0.2.200", true},           // host bits after the prefix ignored
      {"10.0.0.0/9", "10.127.255.255", true},          // a prefix inside a byte
      {"10.0.0.0/9", "10.128.0.0", false},
      {"192.0.2.7", "192.0.2.7", true},                // one address alone
      {"192.0.2.7", "192.0.2.8", false},
      {"0.0.0.0/0", "203.0.113.9", true},
      {"0.0.0.0/0", "2001:db8::1", false},             // IPv4 ranges hold no IPv6 address
      {"::/0", "127.0.0.1", false},
      {"2001:db8::/32", "2001:db8:ffff::1", true},
      {"2001:db8::/32", "2001:db9::1", false},
      {"2001:db8::/33", "2001:db8:8000::1", false},
      {"::ffff:10.0.0.0/104", "10.255.0.1", true},    // a mapped range counts its IPv4 bits
      {"192.0.2.0/24, 10.0.0.0/8", "10.1.1.1", true},  // a list, spaced
      {"192.0.2.0/24", "not an address", false},
      {"192.0.2.0/24", "", false},
      {"192.0.2.0/24", "192.0.2.1%eth0", false},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::vector<AddressRange> ranges;
    ASSERT_TRUE(ParseAddressRanges(c.ranges, &ranges)) << c.ranges;
    EXPECT_EQ(InAddressRanges(ranges, c.address), c.in) << c.ranges << " " << c.address;
  }
  EXPECT_TRUE(InAddressRanges(LoopbackRanges(), "127.0.0.1"));
  EXPECT_FALSE(InAddressRanges(LoopbackRanges(), "10.0.0.1"));
  for (const char* bad :
       {"", ",", "10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/0x8", "10.0.0.0/08/", "10.0.0",
        "board.example.org", "10.0.0.0/8,,", "::ffff:10.0.0.0/95", "1.2.3.4/1000"}) {
    std::vector<AddressRange> ranges;
    EXPECT_FALSE(ParseAddressRanges(bad, &ranges)) << bad;
    EXPECT_TRUE(ranges.empty()) << bad;
  }
}

// What `zumble-board submit` prints for the board's own answers (written here by the
// board's own JSON writers), and for a board that answers anything at all.
TEST(BoardOps, SubmitAnswersInWords) {
  board::Run run;
  run.id = 12;
  run.name = "Zoë";
  run.flies = 10;
  run.speed = 2;
  run.time_ms = 5433;
  run.rate_keys = 0;
  run.personal = true;
  struct Case {
    int status;
    std::string body;
    std::string words;
  } cases[] = {
      {201, AcceptedJson(run, 3, false, "zk-abc"),
       "on the board: run 12: Zoë, 10 flies NORMAL, 5.433 s, place 3, your best\n"
       "the name Zoë is yours from now on: runs under it need its key\n"},
      {200, AcceptedJson(run, 3, true, ""),
       "already on the board (sent before under this name): run 12: Zoë, 10 flies NORMAL, "
       "5.433 s, place 3, your best\n"},
      {202,
       RefusalJson(MakeRefusal(202, "held", "stored, held")
                       .WithNumber("id", 7)
                       .With("signs", JsonListOf("jump_swats:10/10,cursor_speed:9/10"))),
       "held for review: run 7 is stored but shows signs of machine play (jump_swats:10/10, "
       "cursor_speed:9/10); an operator will watch it. The name is yours only if it is "
       "approved\n"},
      {202, RefusalJson(MakeRefusal(202, "unfiled", "stored").WithNumber("id", 8)),
       "stored, on no board yet: run 8 waits until the board runs a game that says how its "
       "round was dealt\n"},
      {409, RefusalJson(MakeRefusal(409, "duplicate", "on the board already").WithNumber("run", 4)),
       "refused (duplicate): on the board already (run 4)\n"},
      {422,
       RefusalJson(MakeRefusal(422, "invalid", "breaks a rule: cursor").WithText("rule", "cursor")),
       "refused (invalid): breaks a rule: cursor\n"},
      {403, RefusalJson(MakeRefusal(403, "name_taken", "the name Ann belongs to another player")),
       "refused (name_taken): the name Ann belongs to another player\n"},
      // Control characters and direction overrides the board's JSON may carry are left out.
      {403, R"({"error":"x\u001b[2J","message":"a\u0007b\u202ec\u0085d"})",
       "refused (x[2J): abcd\n"},
      // Not the board's JSON: printable ASCII only.
      {502, "<html>\x1b]0;bad\x07 gateway\xff</html>",
       "the board answered 502: <html>?]0;bad? gateway?</html>\n"},
      {500, "", "the board answered 500: \n"},
      {201, "[1,2]", "the board answered 201: [1,2]\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(SubmitAnswerWords(c.status, c.body), c.words) << c.body;
}

}  // namespace
}  // namespace board
