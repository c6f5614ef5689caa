#pragma once
// The run that every platform's process entry shares: the command line, the backend,
// the game's data, the trace and the test player, then the game's WinMain and the
// --timedemo line.

// Reads the options and sets the run up. Returns -1 to go on, or the exit code to end
// with at once (any message printed), before the game's statics could write anything.
int PrepareRun(int argc, char** argv);

// What an entry does with PrepareRun's exit code: the output flushed, the process ends
// without running what is registered for exit, so bad input leaves no file that the game's
// statics would write (error.txt).
[[noreturn]] void EndBeforeRun(int code);
// The verify stream's start, once for all its replays: the run --verify /dev/fd/3 sets
// up, without reading the replay. PlayRun then starts the game, and at its first look
// for input `atFirstInput` runs: the stream forks a verification for each replay from
// there, and each child goes on with VerifyAfterStart, then back into the game.
int PrepareVerifyStream(const char* program, void (*atFirstInput)());
// Reads the replay as --verify does and seeds the game from it: -1 to go on, or the exit
// code with its line printed.
int VerifyAfterStart(const char* path);

// Runs the game's WinMain, prints the --timedemo line when asked and shuts the platform
// down. Returns WinMain's exit code.
int PlayRun();

// For a system that stops the process as soon as the game has answered (Windows ending
// the session): the game closes at once, as on its close button (best times saved), the
// trace and the error report are written, and the process ends with code 0.
[[noreturn]] void EndRunAtOnce();
