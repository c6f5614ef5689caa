#include "ops/version.h"

#include "replay/core/replay_format.h"

#ifndef ZUMBLE_BOARD_VERSION
#error "ZUMBLE_BOARD_VERSION is set by board/CMakeLists.txt from the game's version"
#endif

namespace board {

const char* BoardVersion() { return ZUMBLE_BOARD_VERSION; }

std::string VersionLine() {
  return std::string("zumble-board ") + BoardVersion() + " (replay format " +
         std::to_string(kReplayFormatVersion) + ", game version " +
         std::to_string(kReplayGameVersion) + ")";
}

}  // namespace board
