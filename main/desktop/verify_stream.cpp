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

constexpr int kReplayFd = 3;              // the child's replay: /dev/fd/3, as the board's
constexpr std::size_t kMaxAnswer = 4000;  // longer first lines are not --verify's
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

// The stream's own output: the game's standard output goes nowhere in the stream itself.
int g_out = 1;
const char* g_program = nullptr;
// The game is started and waits at its first look for input: a verification forked
// from there goes on into it. Without it (the start failed) each is a new process.
bool g_started = false;
bool g_inChild = false;
constexpr int kInChild = -1;

// The game's own answers to SIGTERM and SIGINT (it closes its window), which its
// verifications keep; the stream itself ends on them, as before the game started.
struct sigaction g_gameTerm, g_gameInt;

[[noreturn]] void EndWith(int code) {
    std::fflush(nullptr);
    std::_Exit(code);  // not the game's statics: they would write its reports
}

// In the child: the descriptors and limits of `zumble --verify /dev/fd/3` with its output
// to `out`.
void BecomeVerifier(pid_t parent, int replay, int out) {
    // Dies with the stream, even when the stream is killed outright.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    signal(SIGPIPE, SIG_DFL);  // as a new process has it (the stream ignores it)
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, 0) < 0 || dup2(out, 1) < 0 || dup2(replay, kReplayFd) < 0 ||
        fcntl(kReplayFd, F_SETFD, 0) < 0)
        _exit(127);
    closefrom(kReplayFd + 1);
    // A verification writes no file (the stream itself may need to: a replay held in
    // memory counts as one).
    const rlimit none{0, 0};
    setrlimit(RLIMIT_FSIZE, &none);
}

// In the child: the replay played by the started game, or by a new process.
void VerifyInChild(pid_t parent, int replay, int out) {
    BecomeVerifier(parent, replay, out);
    if (!g_started) {
        char verify[] = "--verify", path[] = "/dev/fd/3";
        char* argv[] = {const_cast<char*>(g_program), verify, path, nullptr};
        // This very program: the start may have moved to the game's data folder, where
        // a relative argv[0] names nothing.
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    g_inChild = true;
    sigaction(SIGTERM, &g_gameTerm, nullptr);
    sigaction(SIGINT, &g_gameInt, nullptr);
    const int early = VerifyAfterStart("/dev/fd/3");
    if (early >= 0) EndWith(early);
}

// The child's first line, and how it ended: 1 with the answer, 0 when it could not be
// started, kInChild in the child, which goes on into the game.
int VerifyOne(int replay, std::string* answer) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return 0;
    const pid_t parent = getpid();
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = fork();
    if (child == 0) {
        VerifyInChild(parent, replay, out[1]);
        return kInChild;
    }
    close(out[1]);
    if (child < 0) {
        close(out[0]);
        return 0;
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
        if (errno != EINTR) return 0;
    const std::size_t line = text.find('\n');
    text.resize(line == std::string::npos ? text.size() : line);
    if (text.size() > kMaxAnswer) text.clear();
    if (WIFSIGNALED(status)) {
        *answer = "signal " + std::to_string(WTERMSIG(status)) + "\n";
    } else {
        *answer = "exit " + std::to_string(WEXITSTATUS(status)) + " " + text + "\n";
    }
    return 1;
}

// Verifies replay after replay until the input ends. Returns the stream's exit code, or
// kInChild in a verification.
int Serve() {
    // The greeting says the stream is ready: its game started (or could not start).
    static const char kHello[] = "zumble-verify-stream 1\n";
    if (!WriteAll(g_out, kHello, sizeof kHello - 1)) return 3;
    static Input in;
    std::string answer;
    for (;;) {
        std::size_t length = 0;
        const int framed = ReadLength(&in, &length);
        if (framed == 0) return 0;
        if (framed < 0) {
            std::fprintf(stderr,
                         "zumble: --verify-stream: each replay comes after its length in bytes and "
                         "a newline\n");
            return 2;
        }
        const int replay = memfd_create("zumble-replay", MFD_CLOEXEC);
        if (replay < 0) {
            std::fprintf(stderr, "zumble: --verify-stream: cannot hold a replay: %s\n",
                         std::strerror(errno));
            return 3;
        }
        if (!ReadReplay(&in, length, replay)) {
            close(replay);
            std::fprintf(stderr, "zumble: --verify-stream: the input ended inside a replay\n");
            return 2;
        }
        const int done = VerifyOne(replay, &answer);
        if (done == kInChild) return kInChild;
        close(replay);
        if (done == 0) {
            std::fprintf(stderr, "zumble: --verify-stream: cannot start a verification: %s\n",
                         std::strerror(errno));
            return 3;
        }
        if (!WriteAll(g_out, answer.data(), answer.size())) return 3;
    }
}

// At the started game's first look for input: the stream itself never returns from here.
void ServeFromStart() {
    g_started = true;
    struct sigaction plain = {};
    plain.sa_handler = SIG_DFL;
    sigaction(SIGTERM, &plain, &g_gameTerm);
    sigaction(SIGINT, &plain, &g_gameInt);
    const int code = Serve();
    if (code != kInChild) EndWith(code);
}

}  // namespace

int RunVerifyStream(const char* program) {
    // A reader that went away ends the stream with an error rather than a signal.
    signal(SIGPIPE, SIG_IGN);
    g_program = program;
    g_out = fcntl(1, F_DUPFD_CLOEXEC, 10);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (g_out < 0 || null < 0 || dup2(null, 1) < 0) return 3;
    close(null);
    // The game starts once, as --verify starts it, and every verification is forked from
    // where it first looks for input: none loads, converts or lays out its data again.
    if (PrepareVerifyStream(program, ServeFromStart) < 0) {
        const int code = PlayRun();
        // A verification ends here, as a `zumble --verify` process ends.
        if (g_inChild) std::exit(code);
    }
    // The game could not start: each replay in a process of its own says why.
    EndWith(Serve());
}
