#include "store/pg_connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace board {

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

constexpr int64_t kQuietMs = 1000;  // after a stall, statements fail at once this long
std::atomic<int64_t> quiet_until{0};

thread_local std::string trouble;  // the last failure this thread met, beyond libpq's

const char kStalled[] = "the database did not answer in time";

// Gives up on a connection whose server does not answer: shutting its socket makes
// libpq see the end at once, and the next use re-opens it.
void Drop(PGconn* c) {
  shutdown(PQsocket(c), SHUT_RDWR);
  while (PGresult* r = PQgetResult(c)) PQclear(r);
  quiet_until.store(NowMs() + kQuietMs);
  trouble = kStalled;
}

// Waits for the socket until the deadline; false when it passed.
bool WaitFor(PGconn* c, short events, int64_t deadline) {
  for (;;) {
    int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd p{PQsocket(c), events, 0};
    int ready = poll(&p, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // let libpq meet the error
  }
}

// Sends what is queued and collects the results, PQexec's way: the last one.
PGresult* Finish(PGconn* c, int64_t deadline) {
  for (;;) {
    int flushed = PQflush(c);
    if (flushed == 0) break;
    if (flushed < 0 || !WaitFor(c, POLLOUT | POLLIN, deadline)) {
      if (flushed > 0) Drop(c);
      return nullptr;
    }
    if (!PQconsumeInput(c)) break;
  }
  PGresult* last = nullptr;
  for (;;) {
    while (!PQisBusy(c)) {
      PGresult* r = PQgetResult(c);
      if (!r) {
        if (last && PQresultStatus(last) == PGRES_FATAL_ERROR) {
          const char* state = PQresultErrorField(last, PG_DIAG_SQLSTATE);
          trouble = state ? std::string("[") + state + "]" : "";
        }
        return last;
      }
      // An error result is kept over what follows it, as PQexec does.
      if (last && PQresultStatus(last) == PGRES_FATAL_ERROR) {
        PQclear(r);
      } else {
        PQclear(last);
        last = r;
      }
    }
    if (!WaitFor(c, POLLIN, deadline)) {
      PQclear(last);
      Drop(c);
      return nullptr;
    }
    if (!PQconsumeInput(c)) {
      // The connection broke: libpq hands out its error result without waiting.
      continue;
    }
  }
}

bool Quiet() {
  if (NowMs() < quiet_until.load()) {
    trouble = kStalled;
    return true;
  }
  return false;
}

}  // namespace

PGconn* ConnectPostgres(const std::string& url) {
  // Defaults first: what the URL says itself comes after them and wins.
  const std::string timeout = std::to_string(kConnectSeconds);
  const std::string statement =
      "-c statement_timeout=" + std::to_string(kStatementMs) + " -c client_min_messages=warning";
  const char* keys[] = {"connect_timeout",
                        "keepalives",
                        "keepalives_idle",
                        "keepalives_interval",
                        "keepalives_count",
                        "tcp_user_timeout",
                        "options",
                        "dbname",
                        nullptr};
  const char* values[] = {timeout.c_str(),   "1",         "10",   "5", "3", "10000",
                          statement.c_str(), url.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  if (c && PQstatus(c) == CONNECTION_OK) PQsetnonblocking(c, 1);
  return c;
}

void ResetPostgres(PGconn* c) {
  if (!c || PQstatus(c) == CONNECTION_OK || Quiet()) return;
  // Without blocking, so that the wait has the deadline here (connect_timeout is whole
  // seconds, 2 at least): a server that refuses fails at once, one that does not answer
  // makes the others wait a moment before they try again.
  int64_t deadline = NowMs() + kReconnectMs;
  if (!PQresetStart(c)) return;
  for (;;) {
    PostgresPollingStatusType state = PQresetPoll(c);
    if (state == PGRES_POLLING_OK) {
      PQsetnonblocking(c, 1);
      return;
    }
    if (state == PGRES_POLLING_FAILED) return;
    if (!WaitFor(c, state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
      quiet_until.store(NowMs() + kQuietMs);
      return;
    }
  }
}

PGresult* RunSql(PGconn* c, const char* sql) {
  trouble.clear();
  if (!c || Quiet()) return nullptr;
  int64_t deadline = NowMs() + kStatementMs;
  if (!PQsendQuery(c, sql)) return nullptr;
  return Finish(c, deadline);
}

PGresult* RunParams(PGconn* c, const char* sql, int n, const Oid* types, const char* const* values,
                    const int* lengths, const int* formats, int result_format) {
  trouble.clear();
  if (!c || Quiet()) return nullptr;
  int64_t deadline = NowMs() + kStatementMs;
  if (!PQsendQueryParams(c, sql, n, types, values, lengths, formats, result_format)) return nullptr;
  return Finish(c, deadline);
}

std::string PostgresTrouble(PGconn* c) {
  if (!c) return "no database connection came free in time";
  if (trouble == kStalled) return trouble;
  std::string text = PQerrorMessage(c);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (!trouble.empty()) text += " " + trouble;
  return text;
}

}  // namespace board
