#pragma once
// Playing a replay back: the game runs from its start, goes to mode select with the
// round's settings, and from there takes its input, clock and seed only from the file.
// State checksums along the way find the first frame where it parts from the recording.

#include <cstdint>
#include <string>
#include <vector>

// Reads and checks the file. Returns -1 to go on, or the exit code after the one line
// already printed: 2 when the file cannot be read, 1 when it is not a valid replay
// (only for --verify; --replay says so on stderr with code 2).
int LoadReplay(const char* path, bool verify);
// Takes over the game's input from now on (the feed and a flip hook).
void StartReplayPlayback();
// The verify stream starts the game once, with no replay yet: at the game's first look
// for input, `atFirstInput` runs (the stream forks a verification for each replay there).
void RunAtFirstInput(void (*atFirstInput)());
// In such a verification: reads the replay, as LoadReplay does for --verify, and seeds
// the game from it as its start-up would have. Returns as LoadReplay does.
int LoadReplayAfterStart(const char* path);
// After the game has ended: prints the result line (ok, desync, invalid) and returns the
// exit code. --replay prints the line too when the replay ran to its end (a desync goes
// to stderr) and fails only on a desync. When the game could not start (gameCode, the
// WinMain's, not 0 before the replay began) it says so and gives 2.
int FinishReplayPlayback(bool verify, int gameCode);
// A replay file's bytes, read with its size bounded: at most one byte more than a replay
// may hold is read, so a longer file is refused without reading it all. False with why.
bool ReadReplayFile(const char* path, std::vector<std::uint8_t>* out, std::string* why);
