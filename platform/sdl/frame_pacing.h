#pragma once
// Pacing for backends that may sleep: one game frame per 1/60 s.

// Waits for the next 1/60 s slot on an absolute schedule, so frames do not drift; after
// a long stall (a dragged window, a debugger) the schedule starts again from now.
void PaceToNextFrame();
