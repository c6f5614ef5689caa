// The board's own version (the game's release it is built with) and the replay format
// and game version whose rounds it takes.
#pragma once
#include <string>

namespace board {

const char* BoardVersion();
// "zumble-board 1.0.0 (replay format 2, game version 1)"
std::string VersionLine();

}  // namespace board
