// The board's own reading of HTTP (paths, queries, forms), the address its per-address
// limits count under, the early look at a replay's header, the page's files, the kept
// answers and the verifier pool's sharing. Tables for the edges, and the rules restated
// against random inputs where a rule is simple to restate.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "http/client_address.h"
#include "http/http_parse.h"
#include "ops/address_range.h"
#include "ops/metrics.h"
#include "pages/response_cache.h"
#include "pages/static_files.h"
#include "replay/core/replay_bounds.h"
#include "verify/replay_cost.h"
#include "verify/verifier.h"

namespace board {
namespace {

TEST(BoardGuard, PercentDecodingAndQueries) {
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

TEST(BoardGuard, MultipartForms) {
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

TEST(BoardGuard, AddressKeys) {
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

// Who may read the metrics: each client address against the ranges an operator names.
TEST(BoardGuard, MetricsAddressRanges) {
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

TEST(BoardGuard, ReplayCostBeforeVerifying) {
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

TEST(BoardGuard, PageFiles) {
  char dir_template[] = "/tmp/board-guard-site-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir_template));
  std::string site = dir_template;
  mkdir((site + "/sub").c_str(), 0755);
  std::ofstream(site + "/index.html") << "x";
  std::ofstream(site + "/game.wasm") << "x";
  std::ofstream(site + "/sub/index.html") << "x";
  std::ofstream(site + "/.secret") << "x";
  struct Case {
    std::string path;
    std::string file;  // empty: none (404)
    // clang-format off
  } cases[] = {
      {"/play", site + "/index.html"},
      {"/play/", site + "/index.html"},
      {"/play/game.wasm", site + "/game.wasm"},
      {"/play/sub", site + "/sub/index.html"},
      {"/play/sub/", site + "/sub/index.html"},
      {"/play/../play/index.html", ""},
      {"/play/./index.html", ""},
      {"/play/.secret", ""},
      {std::string("/play/index.html\0.js", 20), ""},
      {"/play/index.html\x01", ""},
      {"/play/a\\b", ""},
      {"/player", ""},
      {"/play/missing", ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string file, type;
    bool found = FindStaticFile(site, "/play", c.path, &file, &type);
    EXPECT_EQ(found, !c.file.empty()) << c.path;
    if (found) {
      EXPECT_EQ(file, c.file) << c.path;
    }
  }
  std::string file, type;
  ASSERT_TRUE(FindStaticFile(site, "/play", "/play/game.wasm", &file, &type));
  EXPECT_EQ(type, "application/wasm");
  EXPECT_FALSE(FindStaticFile("", "/play", "/play/", &file, &type));
  // The policy names the page's own inline scripts by hash, and nothing else inline.
  std::string policy = PageSecurityPolicy(
      "<script>alert(1)</script><script async src=\"x.js\"></script><script>\n var a;\n</script>");
  EXPECT_NE(policy.find("'sha256-bhHHL3z2vDgxUt0W3dWQOrprscmda2Y5pLsLg4GF+pI='"), std::string::npos)
      << policy;
  std::string scripts = policy.substr(policy.find("script-src"));
  scripts = scripts.substr(0, scripts.find(';'));
  EXPECT_EQ(scripts.find("unsafe-inline"), std::string::npos) << scripts;
  EXPECT_EQ(scripts.find("script-src 'self' 'wasm-unsafe-eval' 'sha256-"), 0u) << scripts;
  size_t hashes = 0;
  for (size_t at = 0; (at = policy.find("'sha256-", at)) != std::string::npos; ++at) ++hashes;
  EXPECT_EQ(hashes, 2u);
  EXPECT_EQ(PageSecurityPolicy("").find("sha256"), std::string::npos);
  std::string cleanup = "rm -rf " + site;
  EXPECT_EQ(system(cleanup.c_str()), 0);
}

TEST(BoardGuard, KeptAnswers) {
  ResponseCache cache;
  cache.max_entries = 3;
  HttpResponse page;
  page.Set(200, "text/html", "<p>boards</p>");
  page.AddHeader("Cache-Control", "no-cache");
  auto kept = CacheKeep(&cache, "/?", 5, page);
  ASSERT_TRUE(CacheFind(&cache, "/?", 5));
  EXPECT_FALSE(CacheFind(&cache, "/?x", 5));
  // If-None-Match with its ETag (alone, in a list, weak, or *) gives 304 and no body.
  for (std::string tag :
       {kept->etag, "\"other\", " + kept->etag, "W/" + kept->etag, std::string("*")}) {
    HttpResponse out;
    AnswerFromCache(*kept, &tag, &out);
    EXPECT_EQ(out.status, 304) << tag;
    EXPECT_TRUE(out.body.empty());
  }
  std::string other = "\"other\"";
  HttpResponse out;
  AnswerFromCache(*kept, &other, &out);
  EXPECT_EQ(out.status, 200);
  EXPECT_EQ(out.body, "<p>boards</p>");
  // Another body, another ETag.
  HttpResponse changed = page;
  changed.body = "<p>boards, one more run</p>";
  EXPECT_NE(CacheKeep(&cache, "/?", 6, changed)->etag, kept->etag);
  // An answer made at an older generation is not current; one older than the answer
  // kept never replaces it.
  EXPECT_FALSE(CacheFind(&cache, "/api/boards?", 6));
  CacheKeep(&cache, "/old?", 5, page);
  EXPECT_FALSE(CacheFind(&cache, "/old?", 6));
  EXPECT_EQ(CacheKeep(&cache, "/?", 4, page)->etag, kept->etag);
  EXPECT_NE(CacheFind(&cache, "/?", 6)->etag, kept->etag);
  // Bounded: keys from clients never hold more than max_entries.
  for (int i = 0; i < 50; ++i) CacheKeep(&cache, "/?junk=" + std::to_string(i), 6, page);
  EXPECT_LE(cache.answers.size(), 3u);
}

// A client asking for page after page that nobody else reads (a new query string each
// time) pushes out only answers read once: the pages read again stay, by count and by
// bytes, and a page it reads again itself takes no more than its share.
TEST(BoardGuard, OneClientNeverFlushesTheKeptAnswers) {
  ResponseCache cache;
  cache.max_entries = 8;
  HttpResponse page;
  page.Set(200, "text/html", std::string(100, 'p'));
  bool build = false;
  auto keep = [&](const std::string& key) {
    EXPECT_FALSE(CacheFind(&cache, key, 1, &build));
    EXPECT_TRUE(build) << key;
    CacheKeep(&cache, key, 1, page);
  };
  const char* const read[] = {"/?", "/api/boards?", "/boards/10/2?", "/feed.atom?"};
  for (const char* key : read) {
    keep(key);
    ASSERT_TRUE(CacheFind(&cache, key, 1)) << key;  // read again
  }
  for (int i = 0; i < 5000; ++i) {
    keep("/?junk=" + std::to_string(i));
    ASSERT_LE(cache.answers.size(), cache.max_entries);
    ASSERT_EQ(cache.once.size() + cache.again.size(), cache.answers.size());
  }
  for (const char* key : read) EXPECT_TRUE(CacheFind(&cache, key, 1)) << key;
  // The newest of the client's pages are kept meanwhile (the cache is not emptied).
  EXPECT_TRUE(CacheFind(&cache, "/?junk=4999", 1));
  EXPECT_FALSE(CacheFind(&cache, "/?junk=0", 1));
  // Its pages read twice each take the room of those read again least recently, up to
  // their share: three quarters of the entries. The last read of ours stays.
  for (int i = 0; i < 100; ++i) {
    std::string key = "/?twice=" + std::to_string(i);
    keep(key);
    ASSERT_TRUE(CacheFind(&cache, key, 1));
    ASSERT_LE(cache.again.size(), cache.max_entries - cache.max_entries / 4);
  }
  EXPECT_TRUE(CacheFind(&cache, "/?twice=99", 1));
  // By bytes too: one answer let go at a time, never all of them.
  cache.max_bytes = 4 * (100 + 20);
  keep("/?junk=big");
  EXPECT_LE(cache.bytes, cache.max_bytes);
  EXPECT_GE(cache.answers.size(), 3u);
  EXPECT_TRUE(CacheFind(&cache, "/?junk=big", 1));
}

// When a run is stored, the first reader builds the page again and those who come while
// it does are given the last one at once; one reading after its own store (nobody else
// building) always gets the new one, and a failed build lets the next reader try.
TEST(BoardGuard, OneReaderBuildsAtATime) {
  ResponseCache cache;
  HttpResponse page;
  page.Set(200, "text/html", "<p>five runs</p>");
  bool build = false;
  EXPECT_FALSE(CacheFind(&cache, "/?", 7, &build));
  EXPECT_TRUE(build);
  // Nothing kept yet: a second reader waits for that first build, and when it does not
  // come in time, builds its own.
  cache.first_wait_ms = 20;
  EXPECT_FALSE(CacheFind(&cache, "/?", 7, &build));
  EXPECT_FALSE(build);
  // Readers arriving together on a fresh server are given the first build when it
  // comes, none of them building it again.
  cache.first_wait_ms = 10000;
  std::atomic<int> given_first{0}, told_to_build{0};
  std::vector<std::thread> early;
  for (int t = 0; t < 4; ++t)
    early.emplace_back([&] {
      bool mine = false;
      auto got = CacheFind(&cache, "/?", 7, &mine);
      if (got && got->response.body == "<p>five runs</p>") ++given_first;
      if (mine) ++told_to_build;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto five = CacheKeep(&cache, "/?", 7, page);
  for (auto& t : early) t.join();
  EXPECT_EQ(given_first.load(), 4);
  EXPECT_EQ(told_to_build.load(), 0);
  // Waiting for a first build that fails: one of the waiters builds next, the others
  // wait for it in turn.
  EXPECT_FALSE(CacheFind(&cache, "/boards/10/1?", 7, &build));
  ASSERT_TRUE(build);
  std::vector<std::thread> after_failure;
  for (int t = 0; t < 3; ++t)
    after_failure.emplace_back([&] {
      bool mine = false;
      auto got = CacheFind(&cache, "/boards/10/1?", 7, &mine);
      if (mine) {
        ++told_to_build;
        CacheKeep(&cache, "/boards/10/1?", 7, page);
      } else if (got) {
        ++given_first;
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  CacheGiveUp(&cache, "/boards/10/1?");
  for (auto& t : after_failure) t.join();
  EXPECT_EQ(told_to_build.load(), 1);
  EXPECT_EQ(given_first.load(), 6);
  // A run is stored: the first reader builds, the next ones (on a worker or at once on
  // the network thread) get the five-run page meanwhile.
  EXPECT_FALSE(CacheFind(&cache, "/?", 8, &build));
  EXPECT_TRUE(build);
  for (int reader = 0; reader < 3; ++reader) {
    auto given = CacheFind(&cache, "/?", 8, &build);
    ASSERT_TRUE(given);
    EXPECT_EQ(given->etag, five->etag);
    EXPECT_FALSE(build);
    ASSERT_TRUE(CacheFind(&cache, "/?", 8));
  }
  HttpResponse six = page;
  six.body = "<p>six runs</p>";
  auto built = CacheKeep(&cache, "/?", 8, six);
  EXPECT_EQ(CacheFind(&cache, "/?", 8)->etag, built->etag);
  // The database failed the build: the kept page is not handed out as if one were coming.
  EXPECT_FALSE(CacheFind(&cache, "/?", 9, &build));
  ASSERT_TRUE(build);
  CacheGiveUp(&cache, "/?");
  EXPECT_FALSE(CacheFind(&cache, "/?", 9));
  EXPECT_FALSE(CacheFind(&cache, "/?", 9, &build));
  EXPECT_TRUE(build);
  // A first build that failed leaves nothing behind, not even its key.
  EXPECT_FALSE(CacheFind(&cache, "/api/boards?", 9, &build));
  CacheGiveUp(&cache, "/api/boards?");
  EXPECT_EQ(cache.answers.count("/api/boards?"), 0u);
  // Many readers on many threads, a run stored every few of their reads: every answer
  // is one that was built, and builds stay far fewer than reads.
  std::atomic<int> builds{0}, reads{0}, missing{0};
  std::atomic<int64_t> generation{10};
  std::vector<std::thread> readers;
  for (int t = 0; t < 8; ++t)
    readers.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (t == 0 && i % 50 == 0) ++generation;
        int64_t now = generation.load();
        bool mine = false;
        auto answer = CacheFind(&cache, "/busy?", now, &mine);
        ++reads;
        if (!answer) {
          ++builds;
          HttpResponse fresh = page;
          fresh.body = std::to_string(now);
          answer = CacheKeep(&cache, "/busy?", now, fresh);
        }
        if (!answer || answer->response.body.empty()) ++missing;
      }
    });
  for (auto& r : readers) r.join();
  EXPECT_EQ(missing.load(), 0);
  EXPECT_LT(builds.load(), reads.load() / 10) << builds.load() << " builds";
  // Nobody is left marked as building: the next reader gets the last board or builds it.
  bool mine = false;
  auto last = CacheFind(&cache, "/busy?", generation.load(), &mine);
  EXPECT_TRUE(last ? last->response.body == std::to_string(generation.load()) : mine);
}

// When the board moves on, the pages readers asked for are built again ahead of them, the
// most read first and no more than max_ahead, while readers are given the kept ones; a
// page read while the board moved on once more is built again, one nobody read is left to
// the next reader; a submitter waits until what was queued shows its generation.
TEST(BoardGuard, PagesBuiltAhead) {
  ResponseCache cache;
  cache.max_ahead = 2;
  HttpResponse page;
  page.Set(200, "text/html", "<p>gen 1</p>");
  for (const char* key : {"/?", "/api/boards?", "/boards/10/1?", "/once?"})
    CacheKeep(&cache, key, 1, page);
  auto read = [&](const std::string& key, int times, int64_t generation) {
    for (int i = 0; i < times; ++i) ASSERT_TRUE(CacheFind(&cache, key, generation)) << key;
  };
  read("/?", 5, 1);
  read("/api/boards?", 3, 1);
  read("/boards/10/1?", 1, 1);  // read, but less than the two above: no room for it
  CacheAnnounce(&cache, 2);
  ASSERT_EQ(cache.queue.size(), 2u);
  EXPECT_EQ(std::set<std::string>(cache.queue.begin(), cache.queue.end()),
            (std::set<std::string>{"/?", "/api/boards?"}));
  CacheAnnounce(&cache, 2);  // the same generation again (the watch, then a worker)
  EXPECT_EQ(cache.queue.size(), 2u);
  // Readers at the new generation are given the kept page of what is queued, and asked
  // to build only what is not.
  bool build = false;
  EXPECT_EQ(CacheFind(&cache, "/?", 2, &build)->response.body, "<p>gen 1</p>");
  EXPECT_FALSE(build);
  EXPECT_FALSE(CacheFind(&cache, "/boards/10/1?", 2, &build));
  EXPECT_TRUE(build);
  CacheKeep(&cache, "/boards/10/1?", 2, page);  // that reader's build
  // Nothing built yet: a submitter at generation 2 waits, and is let go at its deadline.
  EXPECT_FALSE(CacheWaitBuilt(&cache, 2, 30));
  std::string key;
  int64_t generation = 0;
  ASSERT_TRUE(CacheNextBuild(&cache, &key, &generation));
  EXPECT_EQ(generation, 2);
  std::string first = key;
  HttpResponse two = page;
  two.body = "<p>gen 2</p>";
  // Read meanwhile, and the board moves on to 3 before the build is kept: built again.
  read(first, 1, 2);
  CacheAnnounce(&cache, 3);
  CacheKeep(&cache, first, generation, two);
  EXPECT_EQ(CacheFind(&cache, first, 3)->response.body, "<p>gen 2</p>");
  ASSERT_TRUE(CacheNextBuild(&cache, &key, &generation));
  std::string second = key;
  EXPECT_NE(second, first);
  EXPECT_EQ(generation, 3);
  CacheKeep(&cache, second, generation, two);  // not read meanwhile: done
  ASSERT_TRUE(CacheNextBuild(&cache, &key, &generation));
  EXPECT_EQ(key, first);
  EXPECT_EQ(generation, 3);
  EXPECT_FALSE(CacheWaitBuilt(&cache, 3, 10));
  // A submitter's wait ends when the build comes, on another thread.
  std::thread builder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    HttpResponse three = page;
    three.body = "<p>gen 3</p>";
    CacheKeep(&cache, first, 3, three);
  });
  EXPECT_TRUE(CacheWaitBuilt(&cache, 3, 10000));
  builder.join();
  EXPECT_EQ(cache.answers.at(first).answer->response.body, "<p>gen 3</p>");  // not a read
  EXPECT_TRUE(cache.queue.empty());
  // Not read since built: the next generation queues nothing of it, and its first reader
  // builds it.
  CacheAnnounce(&cache, 4);
  EXPECT_TRUE(cache.queue.empty());
  EXPECT_FALSE(CacheFind(&cache, first, 4, &build));
  EXPECT_TRUE(build);
  CacheGiveUp(&cache, first);
  // A build that fails (the database away) leaves the page to its next reader.
  read(second, 1, 3);
  CacheAnnounce(&cache, 5);
  ASSERT_TRUE(CacheNextBuild(&cache, &key, &generation));
  EXPECT_EQ(key, second);
  CacheGiveUp(&cache, second);
  EXPECT_TRUE(CacheWaitBuilt(&cache, 5, 10));
  EXPECT_FALSE(CacheFind(&cache, second, 5, &build));
  EXPECT_TRUE(build);
  CacheGiveUp(&cache, second);
  // Stopping wakes the builder.
  std::thread waiting([&] { EXPECT_FALSE(CacheNextBuild(&cache, &key, &generation)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  CacheStop(&cache);
  waiting.join();
}

// A builder thread, eight readers and a new generation every few of their reads (its
// announcer waiting, as a submitter does, for the pages to show it): readers are given a
// page (rarely asked to build one that was read before), every page they get is of a
// generation announced, and once the board stops moving every page read shows its last.
TEST(BoardGuard, ReadersNeverBuildWhatIsBuiltAhead) {
  ResponseCache cache;
  const std::vector<std::string> keys = {"/?", "/api/boards?", "/boards/30/2?"};
  HttpResponse page;
  page.Set(200, "text/html", "0");
  for (const auto& key : keys) CacheKeep(&cache, key, 0, page);
  // The builder may give a page of a generation announced and not yet seen by readers
  // (the database has it already): never one of a generation nobody announced.
  std::atomic<int64_t> generation{0}, announced{0};
  std::atomic<int> builds{0}, reader_builds{0}, bad{0};
  std::thread builder([&] {
    std::string key;
    int64_t at = 0;
    while (CacheNextBuild(&cache, &key, &at)) {
      HttpResponse fresh = page;
      fresh.body = std::to_string(at);
      ++builds;
      CacheKeep(&cache, key, at, fresh);
    }
  });
  std::vector<std::thread> readers;
  for (int t = 0; t < 8; ++t)
    readers.emplace_back([&, t] {
      for (int i = 0; i < 3000; ++i) {
        if (t == 0 && i % 40 == 0) {
          int64_t next = generation.load() + 1;
          announced.store(next);
          CacheAnnounce(&cache, next);
          generation.store(next);
          // As a submitter does: on once its run shows on the pages read most.
          if (!CacheWaitBuilt(&cache, next, 10000)) ++bad;
        }
        const std::string& key = keys[(t + i) % keys.size()];
        bool mine = false;
        auto answer = CacheFind(&cache, key, generation.load(), &mine);
        if (!answer) {
          ++reader_builds;
          HttpResponse fresh = page;
          fresh.body = std::to_string(generation.load());
          answer = CacheKeep(&cache, key, generation.load(), fresh);
        }
        if (answer->response.body.empty() || std::stoll(answer->response.body) > announced.load())
          ++bad;
      }
    });
  for (auto& r : readers) r.join();
  EXPECT_EQ(bad.load(), 0);
  // The generation moved 75 times; a reader builds only when it comes between a new
  // generation's announcement and its own reading of it, never for long.
  EXPECT_LT(reader_builds.load(), 75) << builds.load() << " builds ahead";
  EXPECT_GE(builds.load(), 75);
  for (const auto& key : keys) CacheFind(&cache, key, generation.load());
  EXPECT_TRUE(CacheWaitBuilt(&cache, generation.load(), 10000));
  for (const auto& key : keys) {
    auto last = CacheFind(&cache, key, generation.load());
    ASSERT_TRUE(last) << key;
    EXPECT_EQ(last->response.body, std::to_string(generation.load())) << key;
  }
  CacheStop(&cache);
  builder.join();
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

TEST(BoardGuard, VerifierSharedFairly) {
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

TEST(BoardGuard, VerifierExecFailureAndStop) {
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
