// The board's log lines on stderr: one per request when the access log is on
// (--access-log), one per submission's verdict and one per post refused before its route
// (another site's page, a name that is not the board's), each with the request's id,
// which its answer carries as X-Request-Id. As text, or as JSON lines (--log-format json)
// for a log collector.
#pragma once
#include <cstdint>
#include <string>

namespace board {

enum class LogFormat { kText, kJson };

bool ParseLogFormat(const std::string& text, LogFormat* out);
// Set once at start, before any request.
void SetLogFormat(LogFormat format);
void SetAccessLog(bool on);
bool AccessLogOn();

// A new request's id: 16 hex digits, distinct within the process and, by a random start,
// between servers. A proxy's own id (X-Request-Id, taken with --trust-proxy) is kept when
// it is 1 to 64 letters, digits, '.', '_' or '-'.
std::string NewRequestId();
bool UsableRequestId(const std::string& id);

struct AccessLine {
  std::string id, client, method, target;  // target: the path and query as sent
  int status = 0;
  uint64_t bytes = 0;
  double seconds = 0;
};
void LogAccess(const AccessLine& line);

struct VerdictLine {
  std::string id, client;
  int status = 0;
  std::string code;  // stored, already_stored, or the refusal's code
  std::string message;
  int64_t run = 0;  // the run's id, 0 when none was stored
  int flies = 0, speed = 0;
  int64_t time_ms = 0;
};
void LogVerdict(const VerdictLine& line);

// A post refused by the router before its route ran.
void LogRefusal(const std::string& id, const std::string& client, int status, const char* code,
                const std::string& why, const std::string& path);

}  // namespace board
