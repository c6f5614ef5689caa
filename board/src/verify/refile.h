// At the board's start: the runs stored before the board knew how each round was dealt
// (an older database, or an older game as the verifier) are filed under their pace, in
// the background while the board serves. The verifier's kept line is read where it says;
// otherwise the stored replay is played again through the verifier pool, one at a time
// as one more sender, so players' rounds go first. Then, the same way, the runs filed
// before the board kept swat frames get theirs, and copies moved a frame or two are told.
#pragma once
#include <thread>

#include "context.h"

namespace board {

// Starts the pass; it ends when every such run is filed, or the game does not say how a
// round was dealt, or the pool stops (StopVerifiers).
std::thread StartRefile(Context* ctx);

}  // namespace board
