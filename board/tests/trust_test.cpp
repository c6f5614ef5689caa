// The board's rules of trust: players' names (Unicode by table, 200,000 random names
// against a plain restatement of the rule, look-alikes folded together), the refusals'
// codes, keys, senders' addresses and the JSON of a refusal.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "http/request_parse.h"
#include "pages/render.h"
#include "trust/digest.h"
#include "trust/keys.h"
#include "trust/moderator_key.h"
#include "trust/name_fold.h"
#include "trust/name_rules.h"
#include "trust/refusal.h"
#include "trust/sender.h"

namespace board {
namespace {

TEST(BoardTrust, NamesByTable) {
  struct Case {
    std::string raw;
    bool ok;
    std::string name;
    // clang-format off
  } cases[] = {
      {"Ann", true, "Ann"},
      {"  Ann  ", true, "Ann"},
      {"A n-n_.9", true, "A n-n_.9"},
      {"abcdefghijklmnop", true, "abcdefghijklmnop"},
      {"  abcdefghijklmnop  ", true, "abcdefghijklmnop"},
      {"abcdefghijklmnopq", false, ""},
      {"", false, ""},
      {"    ", false, ""},
      {"<b>x</b>", false, ""},
      {"a\x01" "b", false, ""},
      {"a\tb", false, ""},
      {"a\nb", false, ""},
      {"\t Ann", false, ""},
      // Names are Unicode: letters of any alphabet, in NFC.
      {"Zo\xc3\xab", true, "Zo\xc3\xab"},
      {"Zoe\xcc\x88", true, "Zo\xc3\xab"},                     // e + combining diaeresis
      {"\xd0\x90\xd0\xbd\xd0\xbd", true, "\xd0\x90\xd0\xbd\xd0\xbd"},  // Cyrillic
      {"\xef\xbc\xa1nn", true, "\xef\xbc\xa1nn"},                 // full-width A
      {"\xd9\xa1\xd9\xa2\xd9\xa3", true, "\xd9\xa1\xd9\xa2\xd9\xa3"},  // Arabic-Indic digits
      {std::string(16 * 3, 'x').replace(0, 48, "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                                                "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                                                "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                                                "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                                                "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                                                "\xe6\x9d\x8e"),
       true, std::string("\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                         "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                         "\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e\xe6\x9d\x8e"
                         "\xe6\x9d\x8e")},                               // 16 CJK letters
      {"a\xe2\x80\x8b" "b", false, ""},        // zero-width space
      {"\xe2\x80\xae" "evil", false, ""},      // right-to-left override
      {"\xe3\x85\xa4", false, ""},             // Hangul filler: a letter that draws nothing
      {"a\xc2\xa0" "b", false, ""},             // no-break space
      {"a\xe2\x98\x83", false, ""},            // a symbol
      {"\xf0\x9f\x98\x80", false, ""},        // an emoji
      {"\xcc\x81" "a", false, ""},              // a mark before any letter
      {"1\xcc\x81", false, ""},                 // a mark on a digit
      {"e\xcc\x81\xcc\x82\xcc\x83\xcc\x84", false, ""},  // a tower of marks
      {"\xff" "Ann", false, ""},                 // not UTF-8
      {"Ann\xc3", false, ""},                    // cut inside a character
      {"\xc0\x80", false, ""},                  // an overlong NUL
      {"a&b", false, ""},
      {"a\"b", false, ""},
      {"a'b", false, ""},
      {"a/b", false, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(ParseName(c.raw, &out), c.ok) << c.raw;
    EXPECT_EQ(out, c.ok ? c.name : "untouched") << c.raw;
  }
  std::string with_nul("Ann\0x", 5);
  std::string out;
  EXPECT_FALSE(ParseName(with_nul, &out));
}

// The rule restated for the test's alphabet: trim spaces, then 1..16 of [A-Za-z0-9 _.-]
// and "é" (the two bytes C3 A9 together; either byte alone is not UTF-8).
bool NameRule(const std::string& raw, std::string* name) {
  size_t b = raw.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  size_t e = raw.find_last_not_of(' ');
  *name = raw.substr(b, e - b + 1);
  int chars = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    if (c == 0xc3 && i + 1 < raw.size() && static_cast<unsigned char>(raw[i + 1]) == 0xa9) {
      ++i;
      if (i > b && i <= e) ++chars;
      continue;
    }
    if (c >= 0x80) return false;
    if (i >= b && i <= e) {
      if (!std::isalnum(c) && c != ' ' && c != '_' && c != '.' && c != '-') return false;
      ++chars;
    }
  }
  return chars <= 16;
}

TEST(BoardTrust, RandomNamesFollowTheRule) {
  std::mt19937 rng(2323);
  const std::string alphabet = std::string("aZ09 _.-<>&\"'\t\n\x7f\xc3\xa9/\\%;", 23) + '\0';
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string raw;
    int len = static_cast<int>(rng() % 22);
    bool plain = rng() % 2;  // half the time only name characters, to reach acceptance
    for (int j = 0; j < len; ++j) raw += alphabet[rng() % (plain ? 8 : alphabet.size())];
    std::string expected, got;
    bool rule = NameRule(raw, &expected);
    ASSERT_EQ(ParseName(raw, &got), rule) << raw;
    if (rule) {
      ++accepted;
      ASSERT_EQ(got, expected);
      // What is accepted is safe in a page as it stands, and in JSON as it stands or as
      // \u escapes of its letters.
      ASSERT_EQ(HtmlEscape(got), got);
      std::string json = got;
      for (size_t at; (at = json.find("\xc3\xa9")) != std::string::npos;)
        json.replace(at, 2, "\\u00e9");
      ASSERT_EQ(JsonString(got), "\"" + json + "\"");
    }
  }
  EXPECT_GT(accepted, 10000);
}

// Each refusal of the verifier has its code and details, for programs, and a sentence.
TEST(BoardTrust, RefusalsHaveCodes) {
  struct Case {
    std::string line;
    int exit;
    int status;
    std::string json;  // what the answer must hold
                       // clang-format off
  } cases[] = {
      {"desync at frame 452", 1, 422, "{\"error\":\"desync\",\"message\":"},
      {"desync at frame 452", 1, 422, ",\"frame\":452}"},
      {"invalid: the cursor leaves the screen at frame 3", 1, 422,
       ",\"rule\":\"the cursor leaves the screen at frame 3\"}"},
                       // clang-format on
      {"invalid: checksum mismatch (damaged file)", 1, 422, "{\"error\":\"invalid\""},
      {"unreadable: /tmp/replay-Xy12ab: truncated", 2, 422, ",\"reason\":\"truncated\"}"},
      {"desync at frame x", 1, 422, "{\"error\":\"unreadable\""},
  };
  for (const Case& c : cases) {
    Refusal r = RefusalOfVerdict(ReadVerdict(c.line + "\n", c.exit));
    std::string json = RefusalJson(r);
    EXPECT_EQ(r.status, c.status) << c.line;
    EXPECT_NE(json.find(c.json), std::string::npos) << c.line << " gave " << json;
    EXPECT_EQ(json.find("/tmp/"), std::string::npos) << json;  // the server's own paths stay in
  }
  Refusal failed = RefusalOfVerdict(ReadVerdict("garbage", 0));
  EXPECT_EQ(failed.status, 500);
  EXPECT_EQ(failed.code, "verifier_failed");
  // A held run's answer: its details in the order given, the signs as a list of strings.
  Refusal held = MakeRefusal(202, "held", "a <held> run")
                     .With("signs", JsonListOf("frame_perfect:0.97,jump_click:41"))
                     .WithText("name", "Zo\xc3\xab");
  EXPECT_EQ(RefusalJson(held),
            "{\"error\":\"held\",\"message\":\"a \\u003cheld\\u003e run\",\"signs\":"
            "[\"frame_perfect:0.97\",\"jump_click:41\"],\"name\":\"Zo\\u00eb\"}\n");
  EXPECT_EQ(JsonObjectOf({{"error", "\"x\""}, {"bad", "{nope"}, {"n", "1"}}),
            "{\"error\":\"x\",\"n\":1}");
  EXPECT_EQ(JsonListOf(""), "[]");
  EXPECT_EQ(JsonListOf("a,"), "[\"a\"]");
}

// Names that look alike are one name; names that do not, are not. A name that mixes
// alphabets, uses letters nobody writes names with, or has no letter, is not taken.
TEST(BoardTrust, LookAlikeNamesFoldTogether) {
  struct Case {
    std::string a, b;
    bool same;
    std::string refused;  // what NameRefusal(b) says, in part ("" taken)
    // clang-format off
  } cases[] = {
      {"Ann", "ann", true, ""},
      {"Ann", "ANN", true, ""},
      {"Ann", "\xd0\x90nn", true, "one alphabet"},             // Cyrillic А
      {"Ann", "\xce\x91nn", true, "one alphabet"},             // Greek Α
      {"Bob", "\xd0\x92\xd0\xbe\xd0\xac", true, ""},            // В о Ь, all Cyrillic: Ь reads b
      {"Bob", "\xd0\x92\xd0\xbe" "b", true, "one alphabet"},    // В о b
      {"pace", "\xd1\x80\xd0\xb0\xd1\x81\xd0\xb5", true, ""},   // р а с е, all Cyrillic
      {"Ann", "\xef\xbc\xa1\xef\xbd\x8e\xef\xbd\x8e", true, ""},  // full width
      {"fine", "\xef\xac\x81ne", true, ""},                     // the ﬁ ligature
      {"Zoë", "Zoe\xcc\x88", true, ""},                          // composed or not
      {"Zoë", "Z\xd0\xbe\xc3\xab", true, "one alphabet"},       // Cyrillic о
      {"Zoë", "Zoe", false, ""},                                 // an accent is a letter's own
      {"Jo\xc3\xabl", "J\xd0\xbe\xd1\x91l", true, "one alphabet"},  // ë and Cyrillic ё
      {"ann lee", "Ann  Lee", true, ""},                         // runs of spaces are one
      {"Ann", "Anne", false, ""},
      {"Ann", "Ann1", false, ""},
      {"\xce\x9a\xce\xb1\xcf\x84\xce\xb5", "\xce\xba\xce\xb1\xcf\x84\xce\xb5", true, ""},  // Greek case
      {"Kate", "\xce\x9a\xce\x91\xce\xa4\xce\x95", true, ""},   // Greek capitals read as Latin
      {"Straße", "strasse", true, ""},                           // full case folding
      {"\xc4\xb1" "ce", "ice", true, ""},                        // dotless i
      {"Alex", "AIex", true, ""},                                // capital i reads l
      {"Alice", "ALICE", true, ""},                              // ...and is i in capitals
      {"Bob", "B0b", true, ""},                                  // 0 reads O
      {"Al", "A1", true, ""},                                    // 1 reads l
      {"Sam", "Sarn", true, ""},                                 // rn reads m
      {"Bob", "B\xd6\x85" "b", true, "one alphabet"},           // Armenian օ
      {"Ann", "\xe1\xb4\x80nn", true, "not a letter"},          // small capital ᴀ
      {"Ann", "\xea\x93\xaenn", true, "not a letter"},          // Lisu ꓮ
      {"Ann", "\xe1\x8e\xaann", true, "not a letter"},          // Cherokee Ꭺ
      {"Ann", "An\xe1\xb9\x87", true, ""},                      // ṇ: a dot below is lost
      {"o", "0", true, "a letter"},
      {"o", "p", false, ""},
      {"Ann", "..", false, "a letter"},                         // no page a link reaches
      {"Ann", ".", false, "a letter"},
      {"Ann", "-_", false, "a letter"},
      {"Ann", "007", false, "a letter"},
      {"Lee", "Lee \xe6\x9d\x8e", false, ""},                  // Latin with Han
      {"Ann", "3\xd9\xa3", false, "a letter"},                  // 3 and Arabic-Indic ٣
      {"Ann", "\xd8\xa8" "3\xd9\xa3", false, "digits"},         // Arabic ب, 3 and ٣
      // Marks drawn through a letter or around it, or two accents on one, read as
      // another name at a board's size; a syllable's own marks are its letters'.
      {"Alex", "Ale\xcc\xb5x", false, "through"},               // short stroke overlay
      {"Alex", "A\xcc\xb5lex", false, "through"},
      {"Alex", "Al\xcc\xb8" "ex", false, "through"},              // long solidus overlay
      {"Ann", "A\xe2\x83\x9dnn", false, "around"},              // enclosing circle
      {"Zox", "Zox\xcc\x81\xcc\x88", false, "one accent"},      // two accents on x
      {"Zoë", "Zo\xc3\xab\xcc\x81", false, ""},                 // ë with one accent more
      {"Ann", "\xe0\xb8\xaa\xe0\xb8\xa1\xe0\xb8\xa8\xe0\xb8\xb1\xe0\xb8\x81\xe0\xb8\x94"
              "\xe0\xb8\xb4\xe0\xb9\x8c",
       false, ""},                                                 // Thai: a vowel and a mark above
      {"Ann", "\xe0\xa4\xb8\xe0\xa4\xbf\xe0\xa4\x82\xe0\xa4\xb9", false, ""},  // Hindi सिंह
      // A name needs a letter, and does not read as a time.
      {"Ann", "0.001 s", false, "time"},
      {"Ann", "12.345s", false, "time"},
      {"Ann", "\xef\xbc\x91\xef\xbc\x92 ms", false, "time"},   // full-width digits
      {"Ann", "5 secs", false, "time"},
      {"Ann", "Sam 2", false, ""},
      {"Ann", "2s Bob", false, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string a, b;
    ASSERT_TRUE(ParseName(c.a, &a)) << c.a;
    ASSERT_TRUE(ParseName(c.b, &b)) << c.b;
    EXPECT_EQ(FoldName(a) == FoldName(b), c.same)
        << c.a << " / " << c.b << ": " << FoldName(a) << " / " << FoldName(b);
    EXPECT_EQ(NameRefusal(a), "") << c.a;
    std::string why = NameRefusal(b);
    EXPECT_EQ(why.empty(), c.refused.empty()) << c.b << ": " << why;
    EXPECT_NE(why.find(c.refused), std::string::npos) << c.b << ": " << why;
  }
  // Folding twice changes nothing, and never empties a name.
  std::mt19937 rng(28);
  const char* const pieces[] = {"A",
                                "a",
                                "\xd0\x90",
                                "\xd0\xb0",
                                "\xce\x91",
                                "\xce\xb1",
                                "e\xcc\x88",
                                "\xc3\xab",
                                "\xef\xbc\xa1",
                                "\xc3\x9f",
                                " ",
                                "  ",
                                "-",
                                "7",
                                "\xd0\x81",
                                "\xc4\xb1",
                                "\xe6\x9d\x8e",
                                "K",
                                "\xe2\x84\xaa",
                                "I",
                                "l",
                                "0",
                                "1",
                                "m",
                                "\xe1\xb4\x80",
                                "\xc8\x9d",
                                "n\xcc\xa3",
                                "\xce\xbd",
                                "\xd0\xbc",
                                "\xd5\xb8",
                                "\xe1\x8e\xaa"};
  for (int i = 0; i < 20000; ++i) {
    std::string raw, name;
    int n = 1 + static_cast<int>(rng() % 8);
    for (int j = 0; j < n; ++j) raw += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    if (!ParseName(raw, &name)) continue;
    std::string fold = FoldName(name);
    ASSERT_EQ(FoldName(fold), fold) << raw;
    ASSERT_FALSE(fold.empty()) << raw;
  }
}

TEST(BoardTrust, KeysSendersAndJson) {
  std::string a = NewKey(), b = NewKey();
  EXPECT_EQ(a.size(), 46u);
  EXPECT_EQ(a.substr(0, 3), "zk-");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of("zk-ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                "0123456789_"),
            std::string::npos);
  EXPECT_EQ(KeyHash(a), Sha256Hex(a));
  EXPECT_TRUE(SameSecret(a, a));
  EXPECT_FALSE(SameSecret(a, b));
  EXPECT_FALSE(SameSecret(a, a.substr(1)));
  // RFC 4231, test case 2, and a key longer than a block (test case 6).
  EXPECT_EQ(HmacSha256Hex("Jefe", "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(HmacSha256Hex(std::string(131, '\xaa'),
                          "Test Using Larger Than Block-Size Key - Hash Key First"),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
  EXPECT_NE(ReviewToken("s", 1), ReviewToken("s", 2));
  EXPECT_NE(ReviewToken("s", 1), ReviewToken("t", 1));

  EXPECT_EQ(SenderOf("192.0.2.7"), "192.0.2.7");
  EXPECT_EQ(SenderOf("2001:db8:1:2:a:b:c:d"), "2001:db8:1:2::/64");
  EXPECT_EQ(SenderOf("2001:db8:1:2::ffff"), "2001:db8:1:2::/64");
  EXPECT_EQ(SenderOf("2001:db8:1:2::/64"), "2001:db8:1:2::/64");
  EXPECT_EQ(SenderOf("::ffff:192.0.2.7"), "192.0.2.7");
  EXPECT_EQ(SenderOf(" 192.0.2.7 "), "192.0.2.7");

  // Letters beyond ASCII as \u escapes (surrogate pairs past the first plane); broken
  // UTF-8 as U+FFFD, never as raw bytes.
  EXPECT_EQ(JsonString("Zo\xc3\xab"), "\"Zo\\u00eb\"");
  EXPECT_EQ(JsonString("\xe6\x9d\x8e"), "\"\\u674e\"");
  EXPECT_EQ(JsonString("\xf0\x9f\x98\x80"), "\"\\ud83d\\ude00\"");
  EXPECT_EQ(JsonString("a\xff"
                       "b"),
            "\"a\\ufffdb\"");
  EXPECT_EQ(JsonString("\xc3"), "\"\\ufffd\"");
  EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // a lone surrogate
  EXPECT_EQ(JsonString("\xf8\x88\x80\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\"");
}

// A moderator's key as a request carries it: Bearer from programs, HTTP Basic from the
// review page's browser (any user, the key as the password); anything else is no key.
TEST(BoardTrust, ModeratorKeysFromRequests) {
  std::string key = NewModeratorKey();
  EXPECT_EQ(key.size(), 46u);
  EXPECT_EQ(key.substr(0, 3), "zm-");
  EXPECT_NE(key, NewModeratorKey());
  const std::string basic = "Basic " + Base64("mia:" + key);
  struct Case {
    std::string header;  // "" sends none
    std::string key;
  } cases[] = {
      {"Bearer " + key, key},
      {basic, key},
      {"Basic " + Base64(":" + key), key},
      {"Basic " + Base64("a:b:c"), "b:c"},      // the password is all after the first ':'
      {"Basic " + Base64("mia" + key), ""},     // no ':'
      {"Basic " + Base64("m:x"), "x"},          // no padding
      {"Basic " + Base64("mi:x"), "x"},         // two bytes of it
      {"Basic " + Base64("mia:x"), "x"},        // one
      {"Basic " + Base64("m:"), ""},            // an empty password
      {basic.substr(0, basic.size() - 1), ""},  // not a whole base64 group
      {"Basic !!!!" + basic.substr(6), ""},     // not base64
      {"basic " + basic.substr(6), ""},         // the scheme as written
      {"Basic", ""},
      {"Basic ", ""},
      {"", ""},
      {"Bearer " + key + std::string(600, 'A'), ""},  // longer than any key
      {"Basic " + Base64("m:" + std::string(600, 'k')), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    HttpRequest req;
    if (!c.header.empty()) req.headers.emplace_back("authorization", c.header);
    EXPECT_EQ(RequestKey(req), c.key);
  }
}

}  // namespace
}  // namespace board
