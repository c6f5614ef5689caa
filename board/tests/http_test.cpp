// The board's own reading of HTTP: ids, limits and ranges by table and random numbers,
// paths and queries, multipart forms, and the address a client's limits count under.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "http/byte_range.h"
#include "http/client_address.h"
#include "http/content_choice.h"
#include "http/http_parse.h"
#include "http/request_parse.h"
#include "trust/sender.h"

namespace board {
namespace {

TEST(BoardHttp, IdsAndLimitsByTable) {
  struct Case {
    std::string text;
    bool ok;
    int64_t value;
    // clang-format off
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
  // clang-format on
  for (const Case& c : ids) {
    int64_t out = -7;
    EXPECT_EQ(ParseRunId(c.text, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.value : -7) << c.text;
  }
  struct LimitCase {
    std::string text;
    bool ok;
    int value;
    // clang-format off
  } limits[] = {
      {"", true, 10},    {"1", true, 1},     {"100", true, 100}, {"101", false, 0},
      {"0", false, 0},   {"-5", false, 0},   {"abc", false, 0},  {"10abc", false, 0},
      {"007", false, 0}, {"99999999999", false, 0},
  };
  // clang-format on
  for (const LimitCase& c : limits) {
    int out = -7;
    EXPECT_EQ(ParseLimit(c.text, 10, 100, &out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.value : -7) << c.text;
  }
  // A Range of a file of 1000 bytes (W whole, P part, U past its end).
  constexpr ByteRange::Kind W = ByteRange::kWhole, P = ByteRange::kPart,
                            U = ByteRange::kUnsatisfiable;
  struct RangeCase {
    std::string header;
    ByteRange::Kind kind;
    uint64_t first, length;
    // clang-format off
  } ranges[] = {
      {"bytes=0-99", P, 0, 100},        {"bytes=999-999", P, 999, 1},   {"bytes=500-", P, 500, 500},
      {"bytes=-10", P, 990, 10},         {"bytes=-5000", P, 0, 1000},     {"bytes=990-5000", P, 990, 10},
      {"Bytes= 0 - 1 ", P, 0, 2},        {"bytes=1000-", U, 0, 0},        {"bytes=-0", U, 0, 0},
      {"bytes=5000-6000", U, 0, 0},      {"bytes=9-3", W, 0, 0},          {"bytes=0-1,5-6", W, 0, 0},
      {"items=0-1", W, 0, 0},            {"bytes=", W, 0, 0},             {"bytes=-", W, 0, 0},
      {"bytes=a-b", W, 0, 0},            {"bytes=01-2", W, 0, 0},         {"bytes=0-99999999999999999999", W, 0, 0},
      {"bytes 0-1", W, 0, 0},            {"", W, 0, 0},
  };
  // clang-format on
  for (const RangeCase& c : ranges) {
    const ByteRange got = ParseByteRange(c.header, 1000);
    EXPECT_EQ(got.kind, c.kind) << c.header;
    if (c.kind == P) {
      EXPECT_EQ(got.first, c.first) << c.header;
      EXPECT_EQ(got.length, c.length) << c.header;
    }
  }
  EXPECT_EQ(ParseByteRange("bytes=0-", 0).kind, U);  // an empty file has no part
  EXPECT_EQ(ParseByteRange("bytes=-1", 0).kind, U);
}

// A browser's Accept gets a page for a refusal; curl's, a program's and /api/ get JSON.
TEST(BoardHttp, ErrorPagesForBrowsersOnly) {
  struct Row {
    const char* path;
    const char* accept;  // null: none sent
    bool page;
  } rows[] = {
      {"/players/x", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", true},
      {"/nothing", "text/html", true},
      {"/nothing", "text/*;q=0.9, application/json;q=0.5", true},
      {"/nothing", "*/*", false},
      {"/nothing", nullptr, false},
      {"/nothing", "application/json", false},
      {"/nothing", "application/json, text/html;q=0.5", false},
      {"/nothing", "text/html;q=0", false},
      {"/api/runs/9", "text/html", false},
      {"/api", "text/html", false},
  };
  for (const Row& row : rows) {
    HttpRequest req;
    req.path = row.path;
    if (row.accept) req.headers = {{"accept", row.accept}};
    EXPECT_EQ(WantsErrorPage(req), row.page) << row.path << " " << (row.accept ? row.accept : "-");
  }
  EXPECT_DOUBLE_EQ(AcceptWeight("text/*;q=0.3, */*;q=0.1, text/html;level=1;q=0.7", "text/html"),
                   0.7);
  EXPECT_DOUBLE_EQ(AcceptWeight("text/*;q=0.3, */*;q=0.1", "application/json"), 0.1);
  HttpRequest gz;
  gz.headers = {{"accept-encoding", "br, gzip;q=0.5"}};
  EXPECT_TRUE(TakesGzip(gz));
  gz.headers = {{"accept-encoding", "gzip;q=0, identity"}};
  EXPECT_FALSE(TakesGzip(gz));
}

TEST(BoardHttp, RandomNumbersRoundTrip) {
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

TEST(BoardHttp, PercentDecodingAndQueries) {
  EXPECT_EQ(PercentDecode("a%20b+c", false), "a b+c");
  EXPECT_EQ(PercentDecode("a%20b+c", true), "a b c");
  EXPECT_EQ(PercentDecode("%", true), "%");
  EXPECT_EQ(PercentDecode("%4", true), "%4");
  EXPECT_EQ(PercentDecode("%zz%41", true), "%zzA");
  EXPECT_EQ(PercentDecode("x%00y", false), std::string("x\0y", 3));
  struct Case {
    const char* query;
    const char* name;
    bool found;
    const char* value;
    // clang-format off
  } cases[] = {
      {"name=Ann", "name", true, "Ann"},
      {"limit=3&name=A+n%6E", "name", true, "A nn"},
      {"name", "name", true, ""},
      {"name=", "name", true, ""},
      {"na%6De=x", "name", true, "x"},
      {"names=x", "name", false, ""},
      {"&&name=1&name=2", "name", true, "1"},
      {"", "name", false, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string value = "untouched";
    EXPECT_EQ(QueryParam(c.query, c.name, &value), c.found) << c.query;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.query;
    }
  }
  // Random bytes: decoding never grows a text, and a text without '%' or '+' is itself.
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = rng() % 12; n > 0; --n) text += "%+a0F\x01 z"[rng() % 8];
    std::string out = PercentDecode(text, true);
    EXPECT_LE(out.size(), text.size());
    if (text.find_first_of("%+") == std::string::npos) {
      EXPECT_EQ(out, text);
    }
  }
}

TEST(BoardHttp, MultipartForms) {
  const std::string type = "multipart/form-data; boundary=XyZ";
  const std::string body =
      "preamble\r\n--XyZ\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\nAnn\r\n"
      "--XyZ\r\nContent-Disposition: form-data; name=\"replay\"; filename=\"a;b.zrp\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n\x01\x02\r\n--X\r\n--XyZ--\r\n";
  std::vector<FormField> fields;
  ASSERT_TRUE(ParseMultipart(type, body, &fields));
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "name");
  EXPECT_EQ(fields[0].value, "Ann");
  EXPECT_EQ(fields[1].name, "replay");
  EXPECT_EQ(fields[1].filename, "a;b.zrp");
  EXPECT_EQ(fields[1].content_type, "application/octet-stream");
  EXPECT_EQ(fields[1].value, "\x01\x02\r\n--X");  // a near-delimiter is content
  EXPECT_TRUE(ParseMultipart("multipart/form-data; boundary=\"XyZ\"", body, &fields));
  // Not a form, no boundary, a part without a name, an unfinished body, too many fields.
  EXPECT_FALSE(ParseMultipart("application/octet-stream", body, &fields));
  EXPECT_FALSE(ParseMultipart("multipart/form-data", body, &fields));
  EXPECT_FALSE(ParseMultipart(type, "--XyZ\r\nContent-Type: x\r\n\r\nv\r\n--XyZ--", &fields));
  EXPECT_FALSE(ParseMultipart(type, body.substr(0, body.size() - 12), &fields));
  std::string many;
  for (int i = 0; i < 20; ++i)
    many += "--XyZ\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nv\r\n";
  EXPECT_FALSE(ParseMultipart(type, many + "--XyZ--", &fields, 16));
  EXPECT_TRUE(ParseMultipart(type, many + "--XyZ--", &fields, 20));
  // Cut anywhere, a form never gives a field that runs past the body.
  for (size_t cut = 0; cut < body.size(); ++cut) {
    std::string part = body.substr(0, cut);
    if (!ParseMultipart(type, part, &fields)) continue;
    for (const FormField& f : fields) EXPECT_LE(f.value.size(), part.size());
  }
}

TEST(BoardHttp, AddressKeys) {
  struct Case {
    const char* address;
    const char* key;
    // clang-format off
  } cases[] = {
      {"127.0.0.1", "127.0.0.1"},
      {"::ffff:10.1.2.3", "10.1.2.3"},
      {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
      {"2001:db8:1:2::1", "2001:db8:1:2::/64"},
      {"[2001:db8:1:2::9]", "2001:db8:1:2::/64"},
      {"fe80::1%eth0", "fe80::/64"},
      {"2001:db8:1:3::1", "2001:db8:1:3::/64"},
      {"::1", "::/64"},
      {"not an address", "not an address"},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(AddressKey(c.address), c.key) << c.address;
}

}  // namespace
}  // namespace board
