// The pages and their answers: escaping and digests, the page's own files, and the kept
// answers (one client never flushes them, one reader builds an answer at a time, pages
// built ahead and never built again by readers).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pages/compress.h"
#include "pages/favicon.h"
#include "pages/render.h"
#include "pages/response_cache.h"
#include "pages/static_files.h"
#include "trust/digest.h"

namespace board {
namespace {

TEST(BoardPages, EscapingAndHashes) {
  EXPECT_EQ(HtmlEscape("<a href=\"x\">&'</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(JsonString("a\"b\\c\n<\x01"), "\"a\\\"b\\\\c\\n\\u003c\\u0001\"");
  // Known digests, including the lengths around the padding's block boundary.
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(BoardPages, PageFiles) {
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

TEST(BoardPages, KeptAnswers) {
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
    AnswerFromCache(*kept, &tag, false, &out);
    EXPECT_EQ(out.status, 304) << tag;
    EXPECT_TRUE(out.body.empty());
  }
  std::string other = "\"other\"";
  HttpResponse out;
  AnswerFromCache(*kept, &other, false, &out);
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

std::string Gunzip(const std::string& packed) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

bool HasHeader(const HttpResponse& res, const std::string& name, const std::string& value) {
  for (const auto& h : res.headers)
    if (h.first == name && h.second == value) return true;
  return false;
}

// A kept page is gzipped once, for the readers that take it, with its own ETag; a small
// answer, or a reader that does not take gzip, gets the bytes as they are; both vary.
TEST(BoardPages, KeptAnswersInGzip) {
  ResponseCache cache;
  HttpResponse page, small;
  std::string rows;
  for (int i = 0; i < 100; ++i) rows += "<tr><td>" + std::to_string(i) + "</td></tr>";
  page.Set(200, "text/html; charset=utf-8", rows);
  small.Set(200, "application/json", "{\"runs\":[]}");
  auto kept = CacheKeep(&cache, "/?", 1, page);
  auto tiny = CacheKeep(&cache, "/api?", 1, small);
  ASSERT_FALSE(kept->gzip.empty());
  EXPECT_LT(kept->gzip.size(), rows.size() / 2);
  EXPECT_TRUE(tiny->gzip.empty()) << "under kGzipFrom bytes";
  HttpResponse packed, plain, tiny_out, again;
  AnswerFromCache(*kept, nullptr, true, &packed);
  AnswerFromCache(*kept, nullptr, false, &plain);
  AnswerFromCache(*tiny, nullptr, true, &tiny_out);
  EXPECT_EQ(Gunzip(packed.body), rows);
  EXPECT_TRUE(HasHeader(packed, "Content-Encoding", "gzip"));
  EXPECT_EQ(plain.body, rows);
  EXPECT_FALSE(HasHeader(plain, "Content-Encoding", "gzip"));
  EXPECT_EQ(tiny_out.body, small.body);
  for (const HttpResponse* r : {&packed, &plain, &tiny_out})
    EXPECT_TRUE(HasHeader(*r, "Vary", "Accept-Encoding"));
  EXPECT_NE(kept->gzip_etag, kept->etag);
  EXPECT_TRUE(kept->gzip_head.find("Content-Encoding: gzip") != std::string::npos);
  EXPECT_TRUE(kept->gzip_head.find("Content-Length: " + std::to_string(kept->gzip.size())) !=
              std::string::npos);
  // Each form's ETag revalidates that form only.
  AnswerFromCache(*kept, &kept->gzip_etag, true, &again);
  EXPECT_EQ(again.status, 304);
  AnswerFromCache(*kept, &kept->gzip_etag, false, &again);
  EXPECT_EQ(again.status, 200);
  EXPECT_FALSE(SentWhole(*kept, &kept->gzip_etag, true));
  EXPECT_TRUE(SentWhole(*kept, &kept->etag, true));
  // An answer made for one request: gzipped the same way when it pays.
  HttpResponse made = page;
  CompressFor(true, kGzipFast, &made);
  EXPECT_EQ(Gunzip(made.body), rows);
  HttpResponse clip;
  clip.Set(200, "video/webm", rows);
  CompressFor(true, kGzipFast, &clip);
  EXPECT_EQ(clip.body, rows) << "only the board's own text";
}

// Every table's header cells stand over its columns: as many as each row has, and a
// number's header right-aligned as its cells are.
void ExpectColumnsUnderHeaders(const std::string& html, const char* what) {
  SCOPED_TRACE(what);
  const std::regex table("<table>(.*?)</table>"), row("<tr[^>]*>(.*?)</tr>"),
      cell("<(t[dh])([^>]*)>");
  int tables = 0;
  for (std::sregex_iterator t(html.begin(), html.end(), table), end; t != end; ++t) {
    ++tables;
    std::vector<std::vector<std::string>> rows;  // each cell's tag and attributes
    const std::string body = (*t)[1];
    for (std::sregex_iterator r(body.begin(), body.end(), row); r != end; ++r) {
      rows.emplace_back();
      const std::string cells = (*r)[1];
      for (std::sregex_iterator c(cells.begin(), cells.end(), cell); c != end; ++c) {
        const std::string attrs = (*c)[2];
        std::smatch span;
        int n = std::regex_search(attrs, span, std::regex("colspan=\"(\\d+)\""))
                    ? std::stoi(span[1])
                    : 1;
        for (int i = 0; i < n; ++i) rows.back().push_back((*c)[1].str() + attrs);
      }
    }
    ASSERT_GE(rows.size(), 2u);
    ASSERT_TRUE(rows[0][0].rfind("th", 0) == 0) << "a header row first";
    for (size_t i = 1; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].size(), rows[0].size()) << "row " << i;
      for (size_t c = 0; c < rows[0].size(); ++c)
        EXPECT_EQ(rows[0][c].find("class=\"t\"") != std::string::npos,
                  rows[i][c].find("class=\"t\"") != std::string::npos)
            << "column " << c;
    }
  }
  EXPECT_GT(tables, 0);
}

TEST(BoardPages, HeadersOverTheirColumnsAndDatesAsPeopleReadThem) {
  board::Run a, b;
  a.id = 7;
  a.name = "Ann";
  a.flies = b.flies = 10;
  a.speed = b.speed = 2;
  a.time_ms = 9876;
  a.played = 1796824980;  // 2026-12-09T14:03:00Z
  a.created = 1796828400;
  a.program = "zumble 1.0.0";
  a.rate_keys = 0;
  a.best = true;
  b = a;
  b.id = 8;
  b.name = "Bob";
  b.time_ms = 12345;
  b.touch = true;
  b.rate_keys = 3;
  EXPECT_EQ(ReadableDate(a.played, true), "9 Dec 2026, 14:03 UTC");
  EXPECT_EQ(ReadableDate(a.played, false), "9 Dec 2026");
  EXPECT_EQ(TimeTag(a.played, false), "<time datetime=\"2026-12-09T14:03:00Z\">9 Dec 2026</time>");
  ModeBoard board{10, 2, Pace::kDealt, {a, b}, 2, 0};
  ExpectColumnsUnderHeaders(BoardsHtml({board}), "the front page");
  ModePage dealt{board, 20, "", 0, {}};
  ExpectColumnsUnderHeaders(ModeBoardHtml(dealt), "a mode's board");
  ModePage keys = dealt;
  keys.board.pace = Pace::kKeys;
  ExpectColumnsUnderHeaders(ModeBoardHtml(keys), "a mode's board with Enter/Space");
  PlayerPage player;
  player.player.name = "Ann";
  player.runs.runs = {a};
  player.runs.total = 1;
  player.attempts = {a};
  const std::string html = PlayerHtml(player);
  ExpectColumnsUnderHeaders(html, "a player's page");
  EXPECT_NE(html.find("played <time datetime=\"2026-12-09T14:03:00Z\">9 Dec 2026</time> with"),
            std::string::npos);
  // Every page names the favicon, which is the game's icons in one .ico.
  EXPECT_NE(html.find("<link rel=\"icon\" href=\"/favicon.ico\""), std::string::npos);
  const std::string& ico = FaviconIco();
  ASSERT_GT(ico.size(), 6u + 32);
  EXPECT_EQ(ico.substr(0, 6), std::string("\0\0\1\0\2\0", 6));
  const uint32_t first = static_cast<unsigned char>(ico[18]) | static_cast<unsigned char>(ico[19])
                                                                   << 8;
  EXPECT_EQ(ico.substr(first, 8), "\x89PNG\r\n\x1a\n");
  // A refusal as a page: its status and reason, escaped, and the way home.
  const std::string refusal = ErrorPageHtml(404, "no player <b>");
  EXPECT_NE(refusal.find("(404)"), std::string::npos);
  EXPECT_NE(refusal.find("no player &lt;b&gt;."), std::string::npos);
  EXPECT_NE(refusal.find("<a href=\"/\">"), std::string::npos);
}

// A client asking for page after page that nobody else reads (a new query string each
// time) pushes out only answers read once: the pages read again stay, by count and by
// bytes, and a page it reads again itself takes no more than its share.
TEST(BoardPages, OneClientNeverFlushesTheKeptAnswers) {
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
TEST(BoardPages, OneReaderBuildsAtATime) {
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
TEST(BoardPages, PagesBuiltAhead) {
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
TEST(BoardPages, ReadersNeverBuildWhatIsBuiltAhead) {
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

}  // namespace
}  // namespace board
