#pragma once
// zumble --verify-stream: verifies replay after replay from standard input, for a server
// that would otherwise start a process for each. Each replay is verified in a process
// forked from this one before it has done anything, so every round starts from the very
// state a new `zumble --verify` process has, under the same limits (a CPU limit is per
// process, so it holds for each replay). docs/replay-format.md describes the framing:
//   out: "zumble-verify-stream 1" once, at the start
//   in:  LENGTH (decimal bytes) "\n", then the replay's bytes; end of input ends the stream
//   out: "exit STATUS TEXT" (what `zumble --verify` prints and its exit status), or
//        "signal NUMBER" when the verification was ended by a signal
// Returns the process's exit code: 0 at the end of input, 2 for input that is not
// framed so, 3 when the stream cannot go on (out of descriptors or processes).
int RunVerifyStream(const char* program);
