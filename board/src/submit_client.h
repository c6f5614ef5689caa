// `zumble-board submit FILE --name NAME --to URL`: sends one replay to a board.
#pragma once

namespace board {

int SubmitCommand(int argc, char** argv);
// Its usage (also part of zumble-board --help).
const char* SubmitUsage();

}  // namespace board
