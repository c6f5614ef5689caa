#include "ops/metrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/metric_family.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "ops/version.h"
#include "replay/core/replay_format.h"

namespace board {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;
using prometheus::Counter;
using prometheus::Family;
using prometheus::Gauge;
using prometheus::Histogram;

// Answers take from well under a millisecond (a kept page) to a minute (a submission
// waiting for its verification).
const Histogram::BucketBoundaries kRequestBuckets = {
    0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60};
const Histogram::BucketBoundaries kVerifyBuckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                    0.5,   1,    2.5,   5,    10,  20};
const Histogram::BucketBoundaries kWaitBuckets = {0.001, 0.005, 0.01, 0.05, 0.1, 0.25,
                                                  0.5,   1,     2.5,  5,    10,  30};
const Histogram::BucketBoundaries kClipBuckets = {1, 2.5, 5, 10, 20, 30, 60, 120, 300, 600};

// The families, registered once. prometheus-cpp's families and series are safe to use
// from any thread.
struct Metrics {
  std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
  Family<Gauge>& info = BuildGauge()
                            .Name("zumble_board_build_info")
                            .Help("The board's version and the replays it takes (always 1)")
                            .Register(*registry);
  Family<Histogram>& requests =
      BuildHistogram()
          .Name("zumble_board_http_request_duration_seconds")
          .Help(
              "Requests answered, by route, method and status: seconds from the request "
              "read to its answer written")
          .Register(*registry);
  Family<Counter>& bytes = BuildCounter()
                               .Name("zumble_board_http_response_bytes_total")
                               .Help("Bytes written in answers, headers included, by route")
                               .Register(*registry);
  Gauge& connections = BuildGauge()
                           .Name("zumble_board_http_open_connections")
                           .Help("Connections open now")
                           .Register(*registry)
                           .Add({});
  Family<Counter>& turned_away =
      BuildCounter()
          .Name("zumble_board_http_connections_turned_away_total")
          .Help(
              "Connections closed before anything was read: too many from one address "
              "(per_address) or in all (total)")
          .Register(*registry);
  Histogram& verify_wait = BuildHistogram()
                               .Name("zumble_board_verify_wait_seconds")
                               .Help("Seconds a verification waited for a verifier")
                               .Register(*registry)
                               .Add({}, kWaitBuckets);
  Histogram& verify_time = BuildHistogram()
                               .Name("zumble_board_verify_seconds")
                               .Help("Seconds a verifier took to play a replay")
                               .Register(*registry)
                               .Add({}, kVerifyBuckets);
  Family<Counter>& verdicts = BuildCounter()
                                  .Name("zumble_board_verdicts_total")
                                  .Help("The verifier's verdicts: accepted, or the refusal's code")
                                  .Register(*registry);
  Family<Counter>& submissions =
      BuildCounter()
          .Name("zumble_board_submissions_total")
          .Help(
              "Submissions answered, by status and code (stored, already_stored, or the "
              "refusal's)")
          .Register(*registry);
  Family<Histogram>& clips = BuildHistogram()
                                 .Name("zumble_board_clip_seconds")
                                 .Help("Seconds a run's clip took, made or dropped")
                                 .Register(*registry);
  Family<Counter>& cache =
      BuildCounter()
          .Name("zumble_board_cache_requests_total")
          .Help("Kept answers asked for: given from memory (hit) or built for the reader (miss)")
          .Register(*registry);

  Metrics() {
    info.Add({{"version", BoardVersion()},
              {"replay_format", std::to_string(kReplayFormatVersion)},
              {"game_version", std::to_string(kReplayGameVersion)}})
        .Set(1);
    for (const char* why : {"per_address", "total"}) turned_away.Add({{"reason", why}});
    for (const char* result : {"hit", "miss"}) cache.Add({{"result", result}});
  }
};

Metrics& MetricsOf() {
  static Metrics* metrics = new Metrics;  // never destroyed: threads may count at exit
  return *metrics;
}

const char* MethodLabel(const std::string& method) {
  for (const char* known : {"GET", "HEAD", "POST"})
    if (method == known) return known;
  return "other";
}

// A request's series, kept by each thread so that counting one takes no lock; the
// routes and statuses are few, so each map stays small.
struct RequestSeries {
  Histogram* time;
  Counter* bytes;
};

RequestSeries& SeriesOf(const char* route, const char* method, int status) {
  using Key = std::tuple<const void*, const void*, int>;
  thread_local std::map<Key, RequestSeries> mine;
  Key key{route, method, status};
  auto it = mine.find(key);
  if (it != mine.end()) return it->second;
  Metrics& m = MetricsOf();
  RequestSeries series{
      &m.requests.Add({{"route", route}, {"method", method}, {"status", std::to_string(status)}},
                      kRequestBuckets),
      &m.bytes.Add({{"route", route}})};
  return mine.emplace(key, series).first->second;
}

prometheus::MetricFamily SingleFamily(const char* name, const char* help,
                                      prometheus::MetricType type, double value) {
  prometheus::MetricFamily family{name, help, type, {}};
  prometheus::ClientMetric metric;
  if (type == prometheus::MetricType::Counter)
    metric.counter.value = value;
  else
    metric.gauge.value = value;
  family.metric.push_back(metric);
  return family;
}

}  // namespace

void CountRequest(const char* route, const std::string& method, int status, double seconds,
                  uint64_t bytes) {
  RequestSeries& series = SeriesOf(route, MethodLabel(method), status);
  series.time->Observe(seconds);
  series.bytes->Increment(static_cast<double>(bytes));
}

void CountConnection(int change) { MetricsOf().connections.Increment(change); }

void CountTurnedAway(const char* why) {
  MetricsOf().turned_away.Add({{"reason", why}}).Increment();
}

void ObserveVerifyWait(double seconds) { MetricsOf().verify_wait.Observe(seconds); }

void ObserveVerifyTime(double seconds) { MetricsOf().verify_time.Observe(seconds); }

void CountVerdict(const std::string& code) {
  MetricsOf().verdicts.Add({{"verdict", code}}).Increment();
}

void CountSubmission(int status, const std::string& code) {
  MetricsOf().submissions.Add({{"status", std::to_string(status)}, {"code", code}}).Increment();
}

void ObserveClip(double seconds, bool made) {
  MetricsOf().clips.Add({{"outcome", made ? "made" : "dropped"}}, kClipBuckets).Observe(seconds);
}

void CountCache(bool hit) { MetricsOf().cache.Add({{"result", hit ? "hit" : "miss"}}).Increment(); }

std::string MetricsText(const MetricsNow& now) {
  using prometheus::MetricType;
  std::vector<prometheus::MetricFamily> families = MetricsOf().registry->Collect();
  auto add = [&families](const char* name, const char* help, MetricType type, double value) {
    families.push_back(SingleFamily(name, help, type, value));
  };
  add("zumble_board_verify_queue_waiting", "Verifications waiting for a verifier",
      MetricType::Gauge, now.verify_waiting);
  add("zumble_board_verify_running", "Verifications running", MetricType::Gauge,
      now.verify_running);
  add("zumble_board_verify_slots", "Verifications that may run at once (--verifiers)",
      MetricType::Gauge, now.verify_slots);
  if (now.held_known)
    add("zumble_board_held_runs", "Runs held for an operator's review", MetricType::Gauge,
        static_cast<double>(now.held));
  add("zumble_board_clips_enabled", "Whether the board makes clips (1) or not (0)",
      MetricType::Gauge, now.clips_on ? 1 : 0);
  add("zumble_board_clip_queue_waiting", "Runs whose clip waits to be made", MetricType::Gauge,
      static_cast<double>(now.clips_waiting));
  add("zumble_board_clip_queue_making", "Clips being made now", MetricType::Gauge,
      static_cast<double>(now.clips_making));
  add("zumble_board_database_up", "Whether the database answered the last look (1) or not (0)",
      MetricType::Gauge, now.database_ok ? 1 : 0);
  add("zumble_board_generation", "The board's count of stored changes, as last read",
      MetricType::Gauge, static_cast<double>(now.generation));
  add("zumble_board_db_connections", "The database connections of the pool (--connections)",
      MetricType::Gauge, now.db_size);
  add("zumble_board_db_connections_in_use", "Database connections in use now", MetricType::Gauge,
      now.db_in_use);
  add("zumble_board_db_pool_timeouts_total",
      "Requests that waited for a database connection in vain", MetricType::Counter,
      static_cast<double>(now.db_pool_timeouts));
  add("zumble_board_db_errors_total", "Database statements and steps that failed",
      MetricType::Counter, static_cast<double>(now.db_errors));
  add("zumble_board_cache_entries", "Answers kept in memory", MetricType::Gauge,
      static_cast<double>(now.cache_entries));
  add("zumble_board_cache_bytes", "Bytes of the answers kept in memory", MetricType::Gauge,
      static_cast<double>(now.cache_bytes));
  return prometheus::TextSerializer().Serialize(families);
}

}  // namespace board
