#include "options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "http/board_hosts.h"
#include "http/request_parse.h"

namespace board {

const char kUsage[] =
    "usage: zumble-board [--listen ADDR] [--port N] [--db FILE | --db postgresql://...]\n"
    "                    [--zumble PATH] [--site DIR] [--max-body BYTES] [--threads N]\n"
    "                    [--verifiers N] [--queue N] [--verify-cpu SECONDS]\n"
    "                    [--verify-memory MB] [--verify-timeout MS] [--verify-reuse N]\n"
    "                    [--submit-burst N] [--submit-rate PER_SECOND] [--verify-share SECONDS]\n"
    "                    [--request-timeout MS] [--connections-per-address N]\n"
    "                    [--max-connections N] [--io-threads N] [--work-dir DIR]\n"
    "                    [--trust-proxy] [--public-url URL]...\n"
    "                    [--oldest-seed YYYY-MM-DD] [--max-seed-age DAYS] [--max-held N]\n"
    "                    [--clip-cpu SECONDS] [--clip-timeout MS] [--no-clips]\n"
    "       zumble-board submit FILE --name NAME --to URL\n";

namespace {

bool IsFile(const std::string& path, bool executable) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (!executable || access(path.c_str(), X_OK) == 0);
}

bool IsDir(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The game next to this program, or the installed one.
std::string DefaultZumble() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    for (const char* rel : {"/zumble", "/../build/zumble"})
      if (IsFile(dir + rel, true)) return dir + rel;
  }
  for (const char* p : {"/usr/games/zumble", "/usr/bin/zumble"})
    if (IsFile(p, true)) return p;
  return "";
}

bool Int(const std::string& text, int64_t min, int64_t max, int64_t* out) {
  return ParseCount(text, max, out) && *out >= min;
}

// YYYY-MM-DD as the seconds since 1970 of its midnight, UTC.
bool Date(const std::string& text, int64_t* out) {
  int64_t year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !Int(text.substr(0, 4), 1970, 9999, &year) || !Int(text.substr(5, 2), 1, 12, &month) ||
      !Int(text.substr(8, 2), 1, 31, &day))
    return false;
  tm parts{};
  parts.tm_year = static_cast<int>(year - 1900);
  parts.tm_mon = static_cast<int>(month - 1);
  parts.tm_mday = static_cast<int>(day);
  time_t t = timegm(&parts);
  // timegm carries a 31st of a short month into the next: such a day does not exist.
  if (t < 0 || parts.tm_mday != static_cast<int>(day)) return false;
  *out = static_cast<int64_t>(t);
  return true;
}

}  // namespace

bool ParseServerOptions(int argc, char** argv, ServerOptions* out, bool* help,
                        std::string* error) {
  *help = false;
  unsigned cores = std::thread::hardware_concurrency();
  out->verifiers = cores > 1 ? static_cast<int>(cores) - 1 : 1;
  out->io_threads = cores > 1 ? static_cast<int>(cores < 4 ? cores : 4) : 1;
  const char* tmp = getenv("TMPDIR");
  out->verifier.work_dir = tmp && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      *help = true;
      return true;
    }
    if (arg == "--trust-proxy") {
      out->trust_proxy = true;
      continue;
    }
    if (arg == "--no-clips") {
      out->clips = false;
      continue;
    }
    if (i + 1 >= argc) {
      *error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg;
      return false;
    }
    std::string value = argv[++i];
    bool ok = true;
    // A whole number in [min, max], or ok = false.
    auto number = [&value, &ok](int64_t min, int64_t max) {
      int64_t n = 0;
      if (!Int(value, min, max, &n)) ok = false;
      return n;
    };
    if (arg == "--listen") out->listen = value;
    else if (arg == "--db") out->db = value;
    else if (arg == "--zumble") out->verifier.zumble = value;
    else if (arg == "--site") out->site = value;
    else if (arg == "--work-dir") out->verifier.work_dir = value;
    else if (arg == "--public-url") {
      BoardOrigin origin;
      ok = ParsePublicUrl(value, &origin);
      out->public_urls.push_back(value);
    }
    else if (arg == "--port") out->port = static_cast<int>(number(0, 65535));
    else if (arg == "--max-body") out->max_body = static_cast<size_t>(number(1, int64_t{1} << 30));
    else if (arg == "--threads") out->threads = static_cast<int>(number(2, 4096));
    else if (arg == "--verifiers") out->verifiers = static_cast<int>(number(1, 256));
    else if (arg == "--queue") out->queue = static_cast<int>(number(0, 100000));
    else if (arg == "--verify-cpu") out->verifier.cpu_seconds = static_cast<int>(number(1, 3600));
    else if (arg == "--verify-memory") out->verifier.memory_mb = static_cast<int>(number(16, 1 << 20));
    else if (arg == "--verify-timeout") out->verifier.timeout_ms = static_cast<int>(number(10, 3600000));
    else if (arg == "--verify-reuse") out->verifier.stream_replays = static_cast<int>(number(0, 1000000));
    else if (arg == "--verify-share") out->verify_share_seconds = static_cast<double>(number(1, 86400));
    else if (arg == "--request-timeout") out->request_timeout_ms = static_cast<int>(number(100, 600000));
    else if (arg == "--connections-per-address") out->connections_per_address = static_cast<int>(number(1, 1000000));
    else if (arg == "--max-connections") out->max_connections = static_cast<int>(number(1, 10000000));
    else if (arg == "--io-threads") out->io_threads = static_cast<int>(number(1, 64));
    else if (arg == "--submit-burst") out->submit_burst = static_cast<double>(number(1, 1000000));
    else if (arg == "--oldest-seed") ok = Date(value, &out->oldest_seed);
    else if (arg == "--max-seed-age") out->max_seed_age_days = number(1, 36500);
    else if (arg == "--clip-cpu") out->clip_cpu_seconds = static_cast<int>(number(1, 3600));
    else if (arg == "--clip-timeout") out->clip_timeout_ms = static_cast<int>(number(10, 3600000));
    else if (arg == "--max-held") out->max_held = static_cast<int>(number(1, 1000));
    else if (arg == "--submit-rate") {
      char* end = nullptr;
      out->submit_per_second = strtod(value.c_str(), &end);
      ok = end != value.c_str() && *end == '\0' && out->submit_per_second > 0 &&
           out->submit_per_second <= 1e6;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
    if (!ok) {
      *error = arg + ": bad value '" + value + "'";
      return false;
    }
  }
  if (out->verifier.zumble.empty()) out->verifier.zumble = DefaultZumble();
  if (!IsFile(out->verifier.zumble, true)) {
    *error = out->verifier.zumble.empty()
                 ? "the game is not found next to zumble-board; give --zumble PATH"
                 : "--zumble " + out->verifier.zumble + ": not an executable file";
    return false;
  }
  if (!IsDir(out->verifier.work_dir)) {
    *error = "--work-dir " + out->verifier.work_dir + ": not a folder";
    return false;
  }
  if (!out->site.empty() && !IsDir(out->site)) {
    *error = "--site " + out->site + ": not a folder";
    return false;
  }
  return true;
}

}  // namespace board
