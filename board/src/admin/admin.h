// `zumble-board admin --db DB COMMAND ...`: the operator's review of held runs, hiding,
// bans and renames, straight on the database (it has no network side at all). Every
// change is written to the audit table with its time, who made it and why.
#pragma once

namespace board {

int AdminCommand(int argc, char** argv);
// Its usage: the commands, one a line (also part of zumble-board --help).
const char* AdminUsage();

}  // namespace board
