#include "main/desktop/verify_stream.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "replay/core/replay_format.h"
#include "shell/driver/game_run.h"

namespace {

constexpr int kReplayFd = 3;                // the child's replay: /dev/fd/3, as the board's
constexpr std::size_t kMaxAnswer = 4000;    // longer first lines are not --verify's
constexpr std::size_t kMaxLengthDigits = 10;

bool WriteAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Standard input, read through a buffer of our own (stdio stays untouched, so a child
// inherits no half-read buffer).
struct Input {
    char buffer[65536];
    std::size_t at = 0, end = 0;
};

// The next bytes of input into the buffer; 0 at its end, -1 on an error.
int Fill(Input* in) {
    for (;;) {
        const ssize_t n = read(0, in->buffer, sizeof in->buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        in->at = 0;
        in->end = static_cast<std::size_t>(n);
        return n > 0 ? 1 : 0;
    }
}

// The length line: 1 with *length, 0 at the end of input before it, -1 when it is not
// a decimal number and a newline.
int ReadLength(Input* in, std::size_t* length) {
    std::size_t digits = 0, value = 0;
    for (;;) {
        if (in->at == in->end) {
            const int got = Fill(in);
            if (got <= 0) return got == 0 && digits == 0 ? 0 : -1;
        }
        const char c = in->buffer[in->at++];
        if (c == '\n') break;
        if (c < '0' || c > '9' || ++digits > kMaxLengthDigits) return -1;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    if (digits == 0) return -1;
    *length = value;
    return 1;
}

// The replay's bytes into a descriptor of its own. Past the most a replay may hold they
// are read and dropped: the verifier refuses the file for its length, as it refuses a
// longer file, having read one byte more than the most.
bool ReadReplay(Input* in, std::size_t length, int fd) {
    std::size_t kept = 0;
    while (length > 0) {
        if (in->at == in->end && Fill(in) <= 0) return false;
        std::size_t n = in->end - in->at;
        if (n > length) n = length;
        const std::size_t keep = kept > kReplayMaxFile ? 0 : std::min(n, kReplayMaxFile + 1 - kept);
        if (keep > 0 && !WriteAll(fd, in->buffer + in->at, keep)) return false;
        kept += keep;
        in->at += n;
        length -= n;
    }
    return lseek(fd, 0, SEEK_SET) == 0;
}

// In the child: what `zumble --verify /dev/fd/3` does, with its output to `out`.
[[noreturn]] void VerifyInChild(const char* program, pid_t parent, int replay, int out) {
    // Dies with the stream, even when the stream is killed outright.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    signal(SIGPIPE, SIG_DFL);  // as a new process has it (the stream ignores it)
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, 0) < 0 || dup2(out, 1) < 0 || dup2(replay, kReplayFd) < 0) _exit(127);
    closefrom(kReplayFd + 1);
    // A verification writes no file (the stream itself may need to: a replay held in
    // memory counts as one).
    const rlimit none{0, 0};
    setrlimit(RLIMIT_FSIZE, &none);
    char verify[] = "--verify", path[] = "/dev/fd/3";
    char* argv[] = {const_cast<char*>(program), verify, path, nullptr};
    const int early = PrepareRun(3, argv);
    if (early >= 0) {
        std::fflush(nullptr);
        std::_Exit(early);
    }
    std::exit(PlayRun());
}

// The child's first line, and how it ended; false when it could not be started.
bool VerifyOne(const char* program, int replay, std::string* answer) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) VerifyInChild(program, parent, replay, out[1]);
    close(out[1]);
    if (child < 0) {
        close(out[0]);
        return false;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (text.size() <= kMaxAnswer) text.append(chunk, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    const std::size_t line = text.find('\n');
    text.resize(line == std::string::npos ? text.size() : line);
    if (text.size() > kMaxAnswer) text.clear();
    if (WIFSIGNALED(status)) {
        *answer = "signal " + std::to_string(WTERMSIG(status)) + "\n";
    } else {
        *answer = "exit " + std::to_string(WEXITSTATUS(status)) + " " + text + "\n";
    }
    return true;
}

}  // namespace

int RunVerifyStream(const char* program) {
    // A reader that went away ends the stream with an error rather than a signal.
    signal(SIGPIPE, SIG_IGN);
    static const char kHello[] = "zumble-verify-stream 1\n";
    if (!WriteAll(1, kHello, sizeof kHello - 1)) return 3;
    static Input in;
    std::string answer;
    for (;;) {
        std::size_t length = 0;
        const int framed = ReadLength(&in, &length);
        if (framed == 0) return 0;
        if (framed < 0) {
            std::fprintf(stderr, "zumble: --verify-stream: each replay comes after its length in bytes and a newline\n");
            return 2;
        }
        const int replay = memfd_create("zumble-replay", MFD_CLOEXEC);
        if (replay < 0) {
            std::fprintf(stderr, "zumble: --verify-stream: cannot hold a replay: %s\n", std::strerror(errno));
            return 3;
        }
        if (!ReadReplay(&in, length, replay)) {
            close(replay);
            std::fprintf(stderr, "zumble: --verify-stream: the input ended inside a replay\n");
            return 2;
        }
        const bool done = VerifyOne(program, replay, &answer);
        close(replay);
        if (!done) {
            std::fprintf(stderr, "zumble: --verify-stream: cannot start a verification: %s\n", std::strerror(errno));
            return 3;
        }
        if (!WriteAll(1, answer.data(), answer.size())) return 3;
    }
}
