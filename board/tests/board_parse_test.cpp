// What the board reads from clients and from the verifier: names, ids, limits and the
// verifier's answer. Table cases for the edges, then random inputs checked against a
// plain restatement of each rule, so a parser that accepts too much or too little fails.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "render.h"
#include "request_parse.h"
#include "sha256.h"
#include "verify_line.h"

namespace board {
namespace {

TEST(BoardParse, NamesByTable) {
  struct Case {
    std::string raw;
    bool ok;
    std::string name;
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
      {"Zo\xc3\xab", false, ""},
      {"a&b", false, ""},
      {"a\"b", false, ""},
      {"a'b", false, ""},
      {"a/b", false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(ParseName(c.raw, &out), c.ok) << c.raw;
    EXPECT_EQ(out, c.ok ? c.name : "untouched") << c.raw;
  }
  std::string with_nul("Ann\0x", 5);
  std::string out;
  EXPECT_FALSE(ParseName(with_nul, &out));
}

// The rule restated: trim spaces, then 1..16 of [A-Za-z0-9 _.-].
bool NameRule(const std::string& raw, std::string* name) {
  size_t b = raw.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  size_t e = raw.find_last_not_of(' ');
  *name = raw.substr(b, e - b + 1);
  if (name->size() > 16) return false;
  return name->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789 _.-") == std::string::npos;
}

TEST(BoardParse, RandomNamesFollowTheRule) {
  std::mt19937 rng(2323);
  const std::string alphabet = std::string("aZ09 _.-<>&\"'\t\n\x7f\xc3\xa9/\\%;", 23) + '\0';
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string raw;
    int len = static_cast<int>(rng() % 22);
    bool plain = rng() % 2;  // half the time only name characters, to reach acceptance
    for (int j = 0; j < len; ++j)
      raw += alphabet[rng() % (plain ? 8 : alphabet.size())];
    std::string expected, got;
    bool rule = NameRule(raw, &expected);
    ASSERT_EQ(ParseName(raw, &got), rule) << raw;
    if (rule) {
      ++accepted;
      ASSERT_EQ(got, expected);
      // What is accepted is safe in a page and in JSON as it stands.
      ASSERT_EQ(HtmlEscape(got), got);
      ASSERT_EQ(JsonString(got), "\"" + got + "\"");
    }
  }
  EXPECT_GT(accepted, 10000);
}

TEST(BoardParse, IdsAndLimitsByTable) {
  struct Case {
    std::string text;
    bool ok;
    int64_t value;
  } ids[] = {
      {"1", true, 1},          {"42", true, 42},       {"0", false, 0},
      {"01", false, 0},        {"-1", false, 0},       {"+1", false, 0},
      {" 1", false, 0},        {"1 ", false, 0},       {"", false, 0},
      {"1e3", false, 0},       {"0x10", false, 0},
      {"4611686018427387904", true, int64_t{1} << 62},
      {"4611686018427387905", false, 0},
      {"9223372036854775807", false, 0},
      {"99999999999999999999999", false, 0},
  };
  for (const Case& c : ids) {
    int64_t out = -7;
    EXPECT_EQ(ParseRunId(c.text, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.value : -7) << c.text;
  }
  struct LimitCase {
    std::string text;
    bool ok;
    int value;
  } limits[] = {
      {"", true, 10},    {"1", true, 1},     {"100", true, 100}, {"101", false, 0},
      {"0", false, 0},   {"-5", false, 0},   {"abc", false, 0},  {"10abc", false, 0},
      {"007", false, 0}, {"99999999999", false, 0},
  };
  for (const LimitCase& c : limits) {
    int out = -7;
    EXPECT_EQ(ParseLimit(c.text, 10, 100, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.value : -7) << c.text;
  }
}

TEST(BoardParse, RandomNumbersRoundTrip) {
  std::mt19937_64 rng(23);
  const std::string digits = "0123456789-+ ax";
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    int len = static_cast<int>(rng() % 22);
    for (int j = 0; j < len; ++j) text += digits[rng() % (rng() % 4 ? 10 : digits.size())];
    int64_t id = 0;
    bool ok = ParseRunId(text, &id);
    // Accepted exactly when it is the canonical decimal form of a value in range.
    bool canonical = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
                     (text.size() == 1 || text[0] != '0') && text.size() <= 19;
    if (canonical) {
      unsigned long long v = std::stoull(text);
      canonical = v >= 1 && v <= (1ull << 62);
    }
    ASSERT_EQ(ok, canonical) << text;
    if (ok) {
      ASSERT_EQ(std::to_string(id), text);
    }
  }
}

TEST(BoardParse, VerifierAnswers) {
  struct Case {
    std::string output;
    int status;
    Verdict::Kind kind;
    std::string reason;
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
      // Further key=value fields (newer games tell more) are kept, well formed only.
      {"ok flies=10 speed=1 time_ms=5 frames=5 extra=1\n", 0, Verdict::kAccepted, ""},
      {"ok flies=10 speed=1 time_ms=5 frames=5 round=ab12 autoplay=0 signs=none\n", 0,
       Verdict::kAccepted, ""},
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
  v = ReadVerdict("ok flies=30 speed=3 time_ms=23456 frames=1408 round=" + std::string(64, 'f') +
                      " played=2026-12-08T04:40:43Z program=1.2.0 autoplay=0 signs=none\n",
                  0);
  EXPECT_EQ(v.kind, Verdict::kAccepted);
  ASSERT_EQ(v.extra.size(), 5u);
  EXPECT_EQ(v.extra[0], std::make_pair(std::string("round"), std::string(64, 'f')));
  EXPECT_EQ(v.extra[4], std::make_pair(std::string("signs"), std::string("none")));
}

TEST(BoardParse, EscapingAndHashes) {
  EXPECT_EQ(HtmlEscape("<a href=\"x\">&'</a>"),
            "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(JsonString("a\"b\\c\n<\x01"), "\"a\\\"b\\\\c\\u000a\\u003c\\u0001\"");
  // Known digests, including the lengths around the padding's block boundary.
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace board
