#pragma once
// zumble --verify-stream: verifies replay after replay from standard input, for a server
// that would otherwise start a process for each. The game is started once, as --verify
// starts it but without a replay, up to its first look for input (its data loaded, its
// surfaces and sounds made); each replay is verified in a process forked from there,
// which reads the replay and seeds the game from it as a new `zumble --verify` process
// would have, so every round starts from the very same state, under the same limits (a
// CPU limit is per process, so it holds for each replay). docs/replay-format.md describes the framing:
//   out: "zumble-verify-stream 1" once, when it is ready
//   in:  LENGTH (decimal bytes) "\n", then the replay's bytes; end of input ends the stream
//   out: "exit STATUS TEXT" (what `zumble --verify` prints and its exit status), or
//        "signal NUMBER" when the verification was ended by a signal
// Ends the process (it does not return): 0 at the end of input, 2 for input that is not
// framed so, 3 when the stream cannot go on (out of descriptors or processes).
int RunVerifyStream(const char* program);
