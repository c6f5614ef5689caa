// Connections to PostgreSQL that cannot stall the board. Every statement has a deadline
// kept here, on the client's side (a server stopped outright, or a dead network, answers
// no timeout of its own): past it the connection is dropped and the statement fails. The
// connection is made with connect and statement timeouts and TCP keepalives. After a
// statement ran out of time, the others fail at once for a moment instead of each
// waiting its own deadline, and a dropped connection is re-opened by one request at a
// time. With the pool's wait for a connection (1.5 s at most), a request meets a stalled
// database's 503 within 5 s.
#pragma once
#include <libpq-fe.h>

#include <string>

namespace board {

constexpr int kStatementMs = 2000;  // the client's deadline for one statement
constexpr int kReconnectMs = 1500;  // for re-opening a dropped connection
constexpr int kConnectSeconds = 2;  // libpq's connect_timeout at start (2 s at least)

// PQconnectdb with the timeouts and keepalives above set (a URL's own settings win).
PGconn* ConnectPostgres(const std::string& url);

// Re-opens a dropped connection (within kReconnectMs), unless the database was found
// stalled a moment ago (then the connection stays dropped).
void ResetPostgres(PGconn* c);

// PQexec and PQexecParams with the deadline; null when the connection is null.
PGresult* RunSql(PGconn* c, const char* sql);
PGresult* RunParams(PGconn* c, const char* sql, int n, const Oid* types, const char* const* values,
                    const int* lengths, const int* formats, int result_format);

// Why the last statement of this thread on c failed: the server's message with its
// SQLSTATE ("[53100]"), or the deadline's.
std::string PostgresTrouble(PGconn* c);

}  // namespace board
