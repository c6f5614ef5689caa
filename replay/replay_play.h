#pragma once
// Playing a replay back: the game runs from its start, goes to mode select with the
// round's settings, and from there takes its input, clock and seed only from the file.
// State checksums along the way find the first frame where it parts from the recording.

#include <cstddef>
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
// --verify-follow: the round comes as it is played, in records (docs/replay-format.md):
// 'h' the header as the round began, 'f' coded frames, 'e' the header as the round ended
// and the rest of the file. `read` gives the next record: 1 with its kind and bytes (at
// most `room` kept, *length the record's whole length), 0 at the end of input, -1 when
// the input is not framed so. It blocks until a record is there.
using FollowRead = int (*)(char* kind, std::uint8_t* out, std::size_t room, std::size_t* length);
// Before the game starts (it allocates): playback follows records from `read`.
void StartReplayFollow(FollowRead read);
// At the game's first look for input: reads the round's header and seeds the game.
void FollowAtFirstInput();
// After the game has ended: prints the result line (ok, desync, invalid) and returns the
// exit code. --replay prints the line too when the replay ran to its end (a desync goes
// to stderr) and fails only on a desync. When the game could not start (gameCode, the
// WinMain's, not 0 before the replay began) it says so and gives 2.
int FinishReplayPlayback(bool verify, int gameCode);
// A replay file's bytes, read with its size bounded: at most one byte more than a replay
// may hold is read, so a longer file is refused without reading it all. False with why.
bool ReadReplayFile(const char* path, std::vector<std::uint8_t>* out, std::string* why);
