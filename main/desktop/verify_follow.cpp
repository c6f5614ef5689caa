#include "main/desktop/verify_follow.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "replay/replay_play.h"
#include "shell/driver/game_run.h"

namespace {

constexpr std::size_t kMaxLengthDigits = 10;

// Standard input, read through a buffer of our own.
struct Input {
    char buffer[65536];
    std::size_t at = 0, end = 0;
};
Input g_in;

// The next byte of input: 1 with it, 0 at the end of input, -1 on an error. Blocks.
int NextByte(char* c) {
    while (g_in.at == g_in.end) {
        const ssize_t n = read(0, g_in.buffer, sizeof g_in.buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0 ? 0 : -1;
        g_in.at = 0;
        g_in.end = static_cast<std::size_t>(n);
    }
    *c = g_in.buffer[g_in.at++];
    return 1;
}

// One record: "KIND LENGTH\n" and its bytes, at most `room` of them kept.
int ReadRecord(char* kind, std::uint8_t* out, std::size_t room, std::size_t* length) {
    char c = 0;
    const int first = NextByte(kind);
    if (first <= 0) return first;
    if (*kind < 'a' || *kind > 'z' || NextByte(&c) <= 0 || c != ' ') return -1;
    std::size_t digits = 0, value = 0;
    for (;;) {
        if (NextByte(&c) <= 0) return -1;
        if (c == '\n') break;
        if (c < '0' || c > '9' || ++digits > kMaxLengthDigits) return -1;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    if (digits == 0) return -1;
    *length = value;
    for (std::size_t i = 0; i < value; ++i) {
        if (NextByte(&c) <= 0) return -1;
        if (i < room) out[i] = static_cast<std::uint8_t>(c);
    }
    return 1;
}

}  // namespace

int RunVerifyFollow(const char* program) {
    // A reader that went away ends the follower with an error rather than a signal.
    signal(SIGPIPE, SIG_IGN);
    StartReplayFollow(ReadRecord);
    // Started as --verify is, without a replay: the header is read at the game's first
    // look for input, while the game's data is already loaded.
    const int early = PrepareVerifyStream(program, FollowAtFirstInput);
    if (early >= 0) EndBeforeRun(early);
    const int code = PlayRun();
    std::fflush(nullptr);
    std::_Exit(code);  // as a verification ends: the game's statics write nothing
}
