#include "store/pg_mail.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "store/pg_connection.h"

namespace board {

namespace {

constexpr size_t kMostQueued = 8 << 20;  // bytes waiting to be sent, all servers together
constexpr int kRetryMs = 1000;           // between tries to reach a database that went away
const char kChannelPrefix[] = "zumble_mail_";

std::string NewMailId() {
  std::random_device random;
  char text[17];
  snprintf(text, sizeof text, "%08x%08x", random(), random());
  return text;
}

// A quoted element of a PostgreSQL text array: channels and messages are ids, numbers,
// spaces and base64, but a quote or backslash is escaped all the same.
void AppendArrayText(std::string* array, const std::string& text) {
  if (array->size() > 1) array->push_back(',');
  array->push_back('"');
  for (char c : text) {
    if (c == '"' || c == '\\') array->push_back('\\');
    array->push_back(c);
  }
  array->push_back('"');
}

bool MailOk(PGresult* r) {
  bool ok = r && (PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK);
  PQclear(r);
  return ok;
}

}  // namespace

struct PgMail {
  std::string url;
  std::string id;
  MailHandler handler;
  PGconn* listen = nullptr;  // the mail thread's
  std::mutex homes_lock;     // guards `homes`
  PGconn* homes = nullptr;
  std::mutex lock;  // guards the two that follow
  std::vector<std::pair<std::string, std::string>> outbox;
  size_t queued = 0;
  int wake = -1;  // an eventfd: the thread is woken to send, or to stop
  std::atomic<bool> stopping{false};
  std::thread thread;

  ~PgMail() {
    if (listen) PQfinish(listen);
    if (homes) PQfinish(homes);
    if (wake >= 0) close(wake);
  }
};

namespace {

bool MailListen(PgMail* m) {
  const std::string sql = std::string("LISTEN ") + kChannelPrefix + m->id;
  return MailOk(RunSql(m->listen, sql.c_str()));
}

// Every message that came, handed on in order.
void DeliverMail(PgMail* m) {
  PQconsumeInput(m->listen);
  while (PGnotify* n = PQnotifies(m->listen)) {
    m->handler(n->extra);
    PQfreemem(n);
  }
}

// What is queued, sent in one statement: the array's order is the order of the NOTIFYs,
// which is the order they reach each listener.
void SendQueuedMail(PgMail* m) {
  std::vector<std::pair<std::string, std::string>> out;
  {
    std::lock_guard<std::mutex> hold(m->lock);
    out.swap(m->outbox);
    m->queued = 0;
  }
  if (out.empty()) return;
  std::string channels = "{", texts = "{";
  for (const auto& [to, text] : out) {
    AppendArrayText(&channels, kChannelPrefix + to);
    AppendArrayText(&texts, text);
  }
  channels += '}';
  texts += '}';
  const char* values[] = {channels.c_str(), texts.c_str()};
  if (!MailOk(RunParams(m->listen,
                        "SELECT pg_notify(c, t) FROM unnest($1::text[], $2::text[]) AS m(c, t)", 2,
                        nullptr, values, nullptr, nullptr, 0)))
    fprintf(stderr, "zumble-board: rooms' mail: %zu messages not sent: %s\n", out.size(),
            PostgresTrouble(m->listen).c_str());
}

void MailLoop(PgMail* m) {
  bool lost = false;
  while (!m->stopping.load()) {
    if (PQstatus(m->listen) != CONNECTION_OK || lost) {
      PQreset(m->listen);
      if (PQstatus(m->listen) != CONNECTION_OK || !MailListen(m)) {
        lost = true;
        pollfd p{m->wake, POLLIN, 0};
        poll(&p, 1, kRetryMs);
        continue;
      }
      PQsetnonblocking(m->listen, 1);
      lost = false;
      m->handler("");
    }
    pollfd p[2] = {{PQsocket(m->listen), POLLIN, 0}, {m->wake, POLLIN, 0}};
    if (poll(p, 2, kRetryMs) < 0) continue;
    if (p[1].revents) {
      uint64_t count;
      if (read(m->wake, &count, sizeof count) < 0) count = 0;
    }
    SendQueuedMail(m);
    if (PQstatus(m->listen) != CONNECTION_OK) {
      fprintf(stderr, "zumble-board: rooms' mail: the database connection was lost\n");
      lost = true;
      continue;
    }
    DeliverMail(m);
  }
}

void ClosePgMail(PgMail* m) {
  if (m->thread.joinable()) {
    m->stopping = true;
    uint64_t one = 1;
    if (write(m->wake, &one, sizeof one) < 0) perror("zumble-board: rooms' mail");
    m->thread.join();
  }
  delete m;
}

}  // namespace

std::unique_ptr<PgMail, void (*)(PgMail*)> OpenPgMail(const std::string& url, MailHandler handler,
                                                      std::string* error) {
  std::unique_ptr<PgMail, void (*)(PgMail*)> m(new PgMail, ClosePgMail);
  m->url = url;
  m->id = NewMailId();
  m->handler = std::move(handler);
  m->wake = eventfd(0, EFD_CLOEXEC);
  m->listen = ConnectPostgres(url);
  m->homes = ConnectPostgres(url);
  if (m->wake < 0 || PQstatus(m->listen) != CONNECTION_OK || PQstatus(m->homes) != CONNECTION_OK) {
    *error = "rooms' mail: " +
             PostgresTrouble(PQstatus(m->listen) != CONNECTION_OK ? m->listen : m->homes);
    return {nullptr, ClosePgMail};
  }
  // Two servers starting together may both try to make the table: one of them is then
  // told it exists only on a second try.
  const char* table =
      "CREATE TABLE IF NOT EXISTS room_homes (id TEXT PRIMARY KEY, server TEXT NOT NULL, "
      "seen TIMESTAMPTZ NOT NULL DEFAULT now())";
  if ((!MailOk(RunSql(m->homes, table)) && !MailOk(RunSql(m->homes, table))) ||
      !MailListen(m.get())) {
    *error = "rooms' mail: " + PostgresTrouble(m->homes);
    return {nullptr, ClosePgMail};
  }
  m->thread = std::thread(MailLoop, m.get());
  return m;
}

const std::string& MailId(const PgMail& mail) { return mail.id; }

bool SendMail(PgMail* m, const std::string& to, std::string message) {
  {
    std::lock_guard<std::mutex> hold(m->lock);
    if (message.size() > kMailText || m->queued + message.size() > kMostQueued) return false;
    m->queued += message.size();
    m->outbox.emplace_back(to, std::move(message));
  }
  uint64_t one = 1;
  return write(m->wake, &one, sizeof one) == sizeof one;
}

bool ClaimRoom(PgMail* m, const std::string& room) {
  std::lock_guard<std::mutex> hold(m->homes_lock);
  ResetPostgres(m->homes);
  const char* values[] = {room.c_str(), m->id.c_str()};
  return MailOk(RunParams(
      m->homes, "INSERT INTO room_homes (id, server) VALUES ($1, $2) ON CONFLICT DO NOTHING", 2,
      nullptr, values, nullptr, nullptr, 0));
}

std::string HomeOfRoom(PgMail* m, const std::string& room) {
  std::lock_guard<std::mutex> hold(m->homes_lock);
  ResetPostgres(m->homes);
  const char* values[] = {room.c_str()};
  PGresult* r = RunParams(
      m->homes,
      "SELECT server FROM room_homes WHERE id = $1 AND seen > now() - interval '1 minute'", 1,
      nullptr, values, nullptr, nullptr, 0);
  std::string home;
  if (r && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) home = PQgetvalue(r, 0, 0);
  PQclear(r);
  return home;
}

bool KeepRooms(PgMail* m, const std::vector<std::string>& rooms) {
  std::string ids = "{";
  for (const std::string& id : rooms) AppendArrayText(&ids, id);
  ids += '}';
  std::lock_guard<std::mutex> hold(m->homes_lock);
  ResetPostgres(m->homes);
  const char* values[] = {m->id.c_str(), ids.c_str()};
  // Rows of servers gone for a day go too, so that the table does not grow. The rows
  // deleted and those marked are apart: one statement touches no row twice.
  return MailOk(RunParams(
      m->homes,
      "WITH gone AS (DELETE FROM room_homes WHERE (server = $1 AND NOT id = ANY($2::text[])) "
      "OR (server <> $1 AND seen < now() - interval '1 day')) "
      "UPDATE room_homes SET seen = now() WHERE server = $1 AND id = ANY($2::text[])",
      2, nullptr, values, nullptr, nullptr, 0));
}

}  // namespace board
