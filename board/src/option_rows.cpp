// The server's options, one row each: its name, its kind and range, where it is stored
// and its line of --help. docs/board.md and the manual page
// (board/packaging/zumble-board.1.in) describe each at length; board/tests/options_test.cpp fails
// when either leaves one out.
#include "options.h"

namespace board {

namespace {

using K = OptionKind;
using S = ServerOptions;
using V = VerifierConfig;

constexpr int64_t kGiB = int64_t{1} << 30;

// clang-format off
const OptionRow kOptionRows[] = {
    {.name = "--listen", .value = "ADDR", .kind = K::kText, .field = &S::listen,
     .help = "the address to listen on (127.0.0.1)"},
    {.name = "--port", .value = "N", .kind = K::kWhole, .min = 0, .max = 65535,
     .field = &S::port, .help = "the port (8080; 0 takes a free one)"},
    {.name = "--db", .value = "FILE|URL", .kind = K::kText, .field = &S::db,
     .help = "an SQLite file (board.db) or a postgresql:// URL"},
    {.name = "--zumble", .value = "PATH", .kind = K::kText, .field = &V::zumble,
     .help = "the game that verifies (next to this program, or the installed one)",
     .check = OptionCheck::kExecutable},
    {.name = "--site", .value = "DIR", .kind = K::kText, .field = &S::site,
     .help = "the game's web page, served at /play/", .check = OptionCheck::kFolder},
    {.name = "--work-dir", .value = "DIR", .kind = K::kText, .field = &V::work_dir,
     .help = "a verifier's replay if memory cannot hold it ($TMPDIR, /tmp; made)",
     .check = OptionCheck::kMadeFolder},
    {.name = "--max-body", .value = "BYTES", .kind = K::kWhole, .min = 1, .max = kGiB,
     .field = &S::max_body, .help = "the largest replay taken (1048576)"},
    {.name = "--threads", .value = "N", .kind = K::kWhole, .min = 2, .max = 4096,
     .field = &S::threads, .help = "workers that answer requests (64)"},
    {.name = "--io-threads", .value = "N", .kind = K::kWhole, .min = 1, .max = 64,
     .field = &S::io_threads,
     .help = "threads that read and write connections (the cores, at most 4)"},
    {.name = "--verifiers", .value = "N", .kind = K::kWhole, .min = 1, .max = 256,
     .field = &S::verifiers, .help = "verifications at once (the cores less one)"},
    {.name = "--queue", .value = "N", .kind = K::kWhole, .min = 0, .max = 100000,
     .field = &S::queue, .help = "submissions that may wait for a verifier (32)"},
    {.name = "--verify-cpu", .value = "SECONDS", .kind = K::kWhole, .min = 1, .max = 3600,
     .field = &V::cpu_seconds, .help = "the processor time of one verification (10)"},
    {.name = "--verify-memory", .value = "MB", .kind = K::kWhole, .min = 16, .max = 1 << 20,
     .field = &V::memory_mb, .help = "the address space of one verification (1024)"},
    {.name = "--verify-timeout", .value = "MS", .kind = K::kWhole, .min = 10, .max = 3600000,
     .field = &V::timeout_ms, .help = "the wall-clock time of one verification (20000)"},
    {.name = "--verify-reuse", .value = "N", .kind = K::kWhole, .min = 0, .max = 1000000,
     .field = &V::stream_replays,
     .help = "replays a warm verifier plays (200; 0: a process per replay)"},
    {.name = "--verify-share", .value = "SECONDS", .kind = K::kWhole, .min = 1, .max = 86400,
     .field = &S::verify_share_seconds,
     .help = "the verifier time one address may use, refilled in 5 minutes (30)"},
    {.name = "--clip-cpu", .value = "SECONDS", .kind = K::kWhole, .min = 1, .max = 3600,
     .field = &S::clip_cpu_seconds, .help = "the CPU time of one run's clip and still (120)"},
    {.name = "--clip-timeout", .value = "MS", .kind = K::kWhole, .min = 10, .max = 3600000,
     .field = &S::clip_timeout_ms, .help = "the wall-clock time of one clip (four times its CPU)"},
    {.name = "--no-clips", .kind = K::kFlag, .field = &S::clips,
     .help = "make no clips", .flag_sets = false},
    {.name = "--submit-burst", .value = "N", .kind = K::kWhole, .min = 1, .max = 1000000,
     .field = &S::submit_burst, .help = "submissions one address may make at once (10)"},
    {.name = "--submit-rate", .value = "PER_SECOND", .kind = K::kDecimal, .min = 0,
     .max = 1000000, .field = &S::submit_per_second,
     .help = "how fast that allowance refills (0.5)"},
    {.name = "--request-timeout", .value = "MS", .kind = K::kWhole, .min = 100, .max = 600000,
     .field = &S::request_timeout_ms,
     .help = "the time a whole request may take to arrive (10000)"},
    {.name = "--connections-per-address", .value = "N", .kind = K::kWhole, .min = 1,
     .max = 1000000, .field = &S::connections_per_address,
     .help = "open connections from one address, IPv6 by its /64 (64)"},
    {.name = "--max-connections", .value = "N", .kind = K::kWhole, .min = 1, .max = 10000000,
     .field = &S::max_connections,
     .help = "open connections in all (as many as the descriptors allow)"},
    {.name = "--trust-proxy", .kind = K::kFlag, .field = &S::trust_proxy,
     .help = "the client's address and host from a proxy's X-Forwarded-For/-Host"},
    {.name = "--public-url", .value = "URL", .kind = K::kPublicUrl, .field = &S::public_urls,
     .help = "an address players reach the board at (repeatable)"},
    {.name = "--oldest-seed", .value = "YYYY-MM-DD", .kind = K::kDate,
     .field = &S::oldest_seed, .help = "rounds seeded before this day are refused (2020-01-01)"},
    {.name = "--max-seed-age", .value = "DAYS", .kind = K::kWhole, .min = 1, .max = 36500,
     .field = &S::max_seed_age_days, .help = "only rounds played in the last DAYS days (any)"},
    {.name = "--max-held", .value = "N", .kind = K::kWhole, .min = 1, .max = 1000,
     .field = &S::max_held, .help = "runs held for review one address may have waiting (3)"},
    {.name = "--metrics-from", .value = "CIDR", .kind = K::kAddresses, .field = &S::metrics_from,
     .help = "who may read /metrics, instead of loopback (repeatable, a,b)"},
    {.name = "--access-log", .kind = K::kFlag, .field = &S::access_log,
     .help = "a line on stderr for every request"},
    {.name = "--log-format", .value = "text|json", .kind = K::kChoice, .field = &S::log_format,
     .help = "the log's lines as text (the default) or JSON", .choices = "text json"},
    {.name = "--review-top", .value = "N", .kind = K::kWhole, .min = 0, .max = 1000,
     .field = &S::review_top,
     .help = "a run taking one of its board's top N places awaits review (1)"},
    {.name = "--clip-budget", .value = "SECONDS", .kind = K::kWhole, .min = 1, .max = 86400000,
     .field = &S::clip_budget_seconds, .help = "clip seconds made for one sender a day (600)"},
    {.name = "--clip-disk", .value = "MB", .kind = K::kWhole, .min = 0, .max = 1 << 30,
     .field = &S::clip_disk_mb,
     .help = "the clips' disk: over it, unwanted clips go, oldest first (0: none)"},
    {.name = "--clip-dir", .value = "DIR", .kind = K::kText, .field = &S::clip_dir,
     .help = "the clips' folder, shared by servers on one database"},
};
// clang-format on

}  // namespace

std::span<const OptionRow> ServerOptionRows() { return kOptionRows; }

}  // namespace board
