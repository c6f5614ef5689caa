#pragma once
// The room over the picture (splits_overlay.h's band and box): the racers, their counts
// and deltas, the countdown; on the round's results board, the room's result.

#include "platform/services/splits_overlay.h"

// False when the game is in no room. `onResultsBoard`: the round's results board shows.
bool DescribeRoomOverlay(bool onResultsBoard, SplitsOverlay* out);
