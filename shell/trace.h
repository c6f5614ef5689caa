#pragma once

// The per-flip trace (--trace): one line of game state each time a frame is shown.
bool StartTrace(const char* path);
void StopTrace();
