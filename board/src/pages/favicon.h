// The board's favicon: the game's own 16 and 32 pixel icons in one .ico (each a PNG
// inside it, as browsers read them), made from the bytes built into the board.
#pragma once
#include <string>

namespace board {

const std::string& FaviconIco();

}  // namespace board
