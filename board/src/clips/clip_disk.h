// The clips folder's disk budget (--clip-disk): over it, the clips of runs no longer
// wanted (off every first page, no longer a player's best) are removed, oldest first,
// and their claims let go, so that a clip wanted again is made again.
#pragma once

namespace board {

struct ClipQueue;

// Removes unwanted clips, oldest first, until the folder is within q->disk_bytes (no
// budget: nothing). Clips still wanted are kept even over the budget (logged).
void KeepClipsWithinBudget(ClipQueue* q);

}  // namespace board
