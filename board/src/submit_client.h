// `zumble-board submit FILE --name NAME --to URL`: sends one replay to a board.
#pragma once

namespace board {

int SubmitCommand(int argc, char** argv);

}  // namespace board
