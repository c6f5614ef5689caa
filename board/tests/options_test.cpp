// The server's command line, read through its table: each option stored where it
// belongs and refused outside its range, the messages of a bad line, the checks after
// parsing, --help, and the manual page and docs/board.md describing every option (and
// the manual page no option the board does not have).
#include "options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace board {
namespace {

// A board with a game to run (the shell), so that only the options asked about fail.
bool Parse(std::vector<std::string> args, ServerOptions* out, std::string* error,
           bool* help = nullptr) {
  args.insert(args.begin(), {"zumble-board", "--zumble", "/bin/sh"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  bool asked = false;
  bool ok = ParseServerOptions(static_cast<int>(argv.size()), argv.data(), out, &asked, error);
  if (help) *help = asked;
  return ok;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether `text` holds `word` not followed by more of a name (so --max-held does not
// count for --max).
bool HasWord(const std::string& text, const std::string& word) {
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    char next = at + word.size() < text.size() ? text[at + word.size()] : ' ';
    if (!isalnum(static_cast<unsigned char>(next)) && next != '-' && next != '\\') return true;
  }
  return false;
}

// The whole-number options as the server reads them, written out again here so that a
// row storing into the wrong member is caught.
const std::map<std::string, std::function<int64_t(const ServerOptions&)>> kWholeFields = {
    {"--port", [](const ServerOptions& o) { return int64_t{o.port}; }},
    {"--max-body", [](const ServerOptions& o) { return static_cast<int64_t>(o.max_body); }},
    {"--threads", [](const ServerOptions& o) { return int64_t{o.threads}; }},
    {"--io-threads", [](const ServerOptions& o) { return int64_t{o.io_threads}; }},
    {"--verifiers", [](const ServerOptions& o) { return int64_t{o.verifiers}; }},
    {"--queue", [](const ServerOptions& o) { return int64_t{o.queue}; }},
    {"--verify-cpu", [](const ServerOptions& o) { return int64_t{o.verifier.cpu_seconds}; }},
    {"--verify-memory", [](const ServerOptions& o) { return int64_t{o.verifier.memory_mb}; }},
    {"--verify-timeout", [](const ServerOptions& o) { return int64_t{o.verifier.timeout_ms}; }},
    {"--verify-reuse", [](const ServerOptions& o) { return int64_t{o.verifier.stream_replays}; }},
    {"--verify-share",
     [](const ServerOptions& o) { return static_cast<int64_t>(o.verify_share_seconds); }},
    {"--clip-cpu", [](const ServerOptions& o) { return int64_t{o.clip_cpu_seconds}; }},
    {"--clip-timeout", [](const ServerOptions& o) { return int64_t{o.clip_timeout_ms}; }},
    {"--submit-burst", [](const ServerOptions& o) { return static_cast<int64_t>(o.submit_burst); }},
    {"--request-timeout", [](const ServerOptions& o) { return int64_t{o.request_timeout_ms}; }},
    {"--connections-per-address",
     [](const ServerOptions& o) { return int64_t{o.connections_per_address}; }},
    {"--max-connections", [](const ServerOptions& o) { return int64_t{o.max_connections}; }},
    {"--max-seed-age", [](const ServerOptions& o) { return o.max_seed_age_days; }},
    {"--max-held", [](const ServerOptions& o) { return int64_t{o.max_held}; }},
    {"--review-top", [](const ServerOptions& o) { return int64_t{o.review_top}; }},
    {"--clip-budget", [](const ServerOptions& o) { return o.clip_budget_seconds; }},
    {"--clip-disk", [](const ServerOptions& o) { return o.clip_disk_mb; }},
};

TEST(BoardOptions, WholeNumbersStoredAndBounded) {
  int wholes = 0;
  for (const OptionRow& row : ServerOptionRows()) {
    if (row.kind != OptionKind::kWhole) continue;
    SCOPED_TRACE(row.name);
    ++wholes;
    auto read = kWholeFields.find(row.name);
    ASSERT_NE(read, kWholeFields.end()) << "a whole-number option this test does not read";
    ASSERT_LE(row.min, row.max);
    for (int64_t n : {row.min, row.max, (row.min + row.max) / 2}) {
      ServerOptions o;
      std::string error;
      ASSERT_TRUE(Parse({row.name, std::to_string(n)}, &o, &error)) << error;
      EXPECT_EQ(read->second(o), n);
    }
    std::vector<std::string> bad = {std::to_string(row.max + 1),  "", "1x", "+1", " 1", "0x10",
                                    "-" + std::to_string(row.max)};
    if (row.min > 0) bad.push_back(std::to_string(row.min - 1));
    for (const std::string& value : bad) {
      ServerOptions o;
      std::string error;
      EXPECT_FALSE(Parse({row.name, value}, &o, &error)) << "'" << value << "'";
      EXPECT_EQ(error, std::string(row.name) + ": bad value '" + value + "'");
    }
  }
  EXPECT_EQ(wholes, static_cast<int>(kWholeFields.size()));
}

TEST(BoardOptions, OtherKindsByTable) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    std::function<bool(const ServerOptions&)> holds;
    // clang-format off
  } cases[] = {
      {{"--listen", "0.0.0.0"}, true,
       [](const ServerOptions& o) { return o.listen == "0.0.0.0"; }},
      {{"--db", "postgresql://b@h/db"}, true,
       [](const ServerOptions& o) { return o.db == "postgresql://b@h/db"; }},
      {{"--site", "/tmp"}, true, [](const ServerOptions& o) { return o.site == "/tmp"; }},
      {{"--work-dir", "/"}, true,
       [](const ServerOptions& o) { return o.verifier.work_dir == "/"; }},
      {{"--zumble", "/bin/true"}, true,
       [](const ServerOptions& o) { return o.verifier.zumble == "/bin/true"; }},
      {{"--no-clips"}, true, [](const ServerOptions& o) { return !o.clips; }},
      {{"--trust-proxy"}, true, [](const ServerOptions& o) { return o.trust_proxy; }},
      {{"--submit-rate", "0.25"}, true,
       [](const ServerOptions& o) { return o.submit_per_second == 0.25; }},
      {{"--submit-rate", "1000000"}, true,
       [](const ServerOptions& o) { return o.submit_per_second == 1e6; }},
      {{"--submit-rate", "0"}, false, nullptr},
      {{"--submit-rate", "1000000.5"}, false, nullptr},
      {{"--submit-rate", "nan"}, false, nullptr},
      {{"--submit-rate", "0.5s"}, false, nullptr},
      {{"--oldest-seed", "2024-12-31"}, true,
       [](const ServerOptions& o) { return o.oldest_seed == 1735603200; }},
      // Months and days before the 10th are written with a leading zero.
      {{"--oldest-seed", "2024-02-29"}, true,
       [](const ServerOptions& o) { return o.oldest_seed == 1709164800; }},
      {{"--oldest-seed", "2020-01-01"}, true,
       [](const ServerOptions& o) { return o.oldest_seed == 1577836800; }},
      {{"--oldest-seed", "1970-01-01"}, true,
       [](const ServerOptions& o) { return o.oldest_seed == 0; }},
      {{"--oldest-seed", "2024-1-01"}, false, nullptr},
      {{"--oldest-seed", "2024-00-10"}, false, nullptr},
      {{"--oldest-seed", "2024-13-10"}, false, nullptr},
      {{"--oldest-seed", "2024-04-31"}, false, nullptr},
      {{"--oldest-seed", "2024-01-+1"}, false, nullptr},
      {{"--oldest-seed", "2024/01/01"}, false, nullptr},
      {{"--oldest-seed", "2023-02-29"}, false, nullptr},
      {{"--oldest-seed", "1969-12-31"}, false, nullptr},
      {{"--oldest-seed", "2024-2-29"}, false, nullptr},
      {{"--public-url", "https://board.example.org", "--public-url", "http://b.example:81"},
       true,
       [](const ServerOptions& o) {
         return o.public_urls ==
                std::vector<std::string>{"https://board.example.org", "http://b.example:81"};
       }},
      {{"--public-url", "ftp://board.example.org"}, false, nullptr},
      // Address ranges: repeatable, each a comma list, every range checked.
      {{"--metrics-from", "10.0.0.0/8", "--metrics-from", "192.0.2.7, 2001:db8::/32"}, true,
       [](const ServerOptions& o) {
         return o.metrics_from == std::vector<std::string>{"10.0.0.0/8", "192.0.2.7, 2001:db8::/32"};
       }},
      {{"--metrics-from", "10.0.0.0/33"}, false, nullptr},
      {{"--metrics-from", "2001:db8::/129"}, false, nullptr},
      {{"--metrics-from", "board.example.org"}, false, nullptr},
      {{"--metrics-from", "10.0.0.0/8,"}, false, nullptr},
      {{"--metrics-from", "10.0.0.0/"}, false, nullptr},
      {{"--metrics-from", "10.0.0.0/-8"}, false, nullptr},
      {{"--access-log"}, true, [](const ServerOptions& o) { return o.access_log; }},
      {{"--log-format", "json"}, true, [](const ServerOptions& o) { return o.log_format == "json"; }},
      {{"--log-format", "text"}, true, [](const ServerOptions& o) { return o.log_format == "text"; }},
      {{"--log-format", "xml"}, false, nullptr},
      {{"--log-format", "text json"}, false, nullptr},
      {{"--log-format", ""}, false, nullptr},
      // Given twice, the last counts: the packaged unit's --db may be replaced.
      {{"--port", "1", "--port", "2", "--db", "a.db", "--db", "b.db"}, true,
       [](const ServerOptions& o) { return o.port == 2 && o.db == "b.db"; }},
      // Untouched options keep their defaults.
      {{"--port", "9"}, true,
       [](const ServerOptions& o) {
         return o.clips && !o.trust_proxy && o.max_held == 3 && !o.access_log &&
                o.log_format == "text" && o.metrics_from.empty();
       }},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    ServerOptions o;
    std::string error;
    EXPECT_EQ(Parse(c.args, &o, &error), c.ok) << error;
    if (c.ok) {
      EXPECT_TRUE(c.holds(o));
    } else {
      EXPECT_EQ(error, c.args[0] + ": bad value '" + c.args[1] + "'");
    }
  }
}

TEST(BoardOptions, BadLinesAndChecksAfterParsing) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
    // clang-format off
  } cases[] = {
      {{"--bogus", "1"}, "unknown option --bogus"},
      {{"--port"}, "--port needs a value"},
      {{"stray"}, "unknown argument stray"},
      {{"--site", "/nonexistent/site"}, "--site /nonexistent/site: not a folder"},
      {{"--work-dir", "/bin/sh"}, "--work-dir /bin/sh: cannot make it: Not a directory"},
      {{"--work-dir", "/bin/sh/work"}, "--work-dir /bin/sh/work: cannot make it: Not a directory"},
      {{"--zumble", "/tmp"}, "--zumble /tmp: not an executable file"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    ServerOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, &o, &error));
    EXPECT_EQ(error, c.error);
  }
  ServerOptions o;
  std::string error;
  bool help = false;
  EXPECT_TRUE(Parse({"--port", "5", "--help", "--bogus"}, &o, &error, &help));
  EXPECT_TRUE(help);
}

// A work folder that is not there yet is made, with its parents, for the board alone.
TEST(BoardOptions, WorkFolderMadeWhenMissing) {
  char base[] = "/tmp/zumble-options-XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const std::string deep = std::string(base) + "/a/b";
  ServerOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--work-dir", deep}, &o, &error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(deep.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // There already: taken as it is.
  EXPECT_TRUE(Parse({"--work-dir", deep}, &o, &error)) << error;
  rmdir(deep.c_str());
  rmdir((std::string(base) + "/a").c_str());
  rmdir(base);
}

TEST(BoardOptions, HelpAndUsageListEveryOption) {
  const std::string usage = ServerUsage(), help = ServerHelp();
  EXPECT_EQ(usage.rfind("usage: zumble-board ", 0), 0u);
  EXPECT_EQ(help.rfind(usage, 0), 0u);
  std::set<std::string> names;
  for (const OptionRow& row : ServerOptionRows()) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(names.insert(row.name).second) << "listed twice";
    EXPECT_EQ(std::string(row.name).rfind("--", 0), 0u);
    EXPECT_EQ(*row.value == '\0', row.kind == OptionKind::kFlag);
    EXPECT_NE(*row.help, '\0');
    const std::string synopsis =
        std::string("[") + row.name + (*row.value ? " " : "") + row.value + "]";
    EXPECT_NE(usage.find(synopsis), std::string::npos);
    EXPECT_NE(help.find(row.help), std::string::npos);
  }
  for (const std::string& line : {usage, help}) {
    std::istringstream lines(line);
    std::string one;
    while (std::getline(lines, one)) EXPECT_LE(one.size(), 100u) << one;
  }
}

TEST(BoardOptions, ManualAndDocsDescribeEveryOption) {
  const std::string manual = ReadFile(ZUMBLE_BOARD_DIR "/packaging/zumble-board.1.in");
  const std::string docs = ReadFile(ZUMBLE_BOARD_DIR "/../docs/board.md");
  ASSERT_FALSE(manual.empty());
  ASSERT_FALSE(docs.empty());
  // The manual page's OPTIONS: each entry an option of the table (or --help, --version).
  const size_t from = manual.find(".SH OPTIONS"), to = manual.find(".SH", from + 1);
  ASSERT_NE(from, std::string::npos);
  std::set<std::string> entries;
  std::istringstream lines(manual.substr(from, to - from));
  std::string line;
  while (std::getline(lines, line)) {
    for (const char* start : {".B \\-\\-", ".BI \\-\\-"}) {
      if (line.rfind(start, 0) != 0) continue;
      std::string name = "--";
      for (size_t i = std::string(start).size(); i < line.size() && line[i] != ' '; ++i)
        if (line[i] != '\\') name += line[i];
      entries.insert(name);
    }
  }
  std::set<std::string> names = {"--help", "--version"};
  for (const OptionRow& row : ServerOptionRows()) {
    names.insert(row.name);
    std::string escaped;
    for (const char* c = row.name; *c; ++c) escaped += *c == '-' ? "\\-" : std::string(1, *c);
    EXPECT_TRUE(entries.count(row.name)) << row.name << ": no entry in the manual's OPTIONS";
    EXPECT_TRUE(HasWord(manual, escaped)) << row.name;
    EXPECT_TRUE(HasWord(docs, row.name)) << row.name << " is not in docs/board.md";
  }
  for (const std::string& entry : entries)
    EXPECT_TRUE(names.count(entry)) << entry << " is in the manual page but not an option";
}

}  // namespace
}  // namespace board
