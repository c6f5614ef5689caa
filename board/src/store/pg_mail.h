// Messages between the boards of one PostgreSQL database, by its LISTEN/NOTIFY: each
// server listens on a channel of its own (named by a random id taken at its start) and
// sends to another's. The messages of one sender reach a listener in the order sent.
// Also the table of which server holds which room (room_homes), each server's rows
// kept fresh by it so that a server that died stops being anyone's home within a minute.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace board {

struct PgMail;

// Called on the mail's own thread for each message that comes ("" when the connection
// to the database was lost and made again: what was on the way may be lost).
using MailHandler = std::function<void(const std::string& message)>;

// Connects (twice: one connection listens and sends, one reads and writes the homes) and
// starts the mail's thread; null with `error` said when the database does not answer.
std::unique_ptr<PgMail, void (*)(PgMail*)> OpenPgMail(const std::string& url, MailHandler handler,
                                                      std::string* error);

// This server's id (16 hexadecimal digits).
const std::string& MailId(const PgMail& mail);

// Queues a message (at most kMailText bytes, no NUL: PostgreSQL takes 8000) for server
// `to`; false when it is longer, or when the queue already holds as much as it takes
// (the database is slow or away).
constexpr size_t kMailText = 7900;
bool SendMail(PgMail* mail, const std::string& to, std::string message);

// The rooms' homes. Each blocks on the database (2 s at most); false or "" when it fails.
bool ClaimRoom(PgMail* mail, const std::string& room);
// The server holding `room`, "" when none (or its server has not said it is alive for a
// minute).
std::string HomeOfRoom(PgMail* mail, const std::string& room);
// This server's rows made the rooms it holds now (the others deleted), marked alive.
bool KeepRooms(PgMail* mail, const std::vector<std::string>& rooms);

}  // namespace board
