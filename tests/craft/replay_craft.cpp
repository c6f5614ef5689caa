// replay_craft: writes a crafted replay from a genuine one, for tests of the verifier and
// the board. Each edit keeps the file well-formed (its checksums right), so that what
// refuses it is the rule the edit breaks, never the file's coding.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/services/options.h"
#include "tests/support/replay_edit.h"

namespace {

const char kUsage[] =
    "usage: replay_craft IN.zrp OUT.zrp EDIT...\n"
    "       replay_craft --info IN.zrp\n"
    "\n"
    "Writes OUT.zrp: IN.zrp with the edits, in the order given, and its checksums made\n"
    "right again. Edits:\n"
    "  --offscreen N          the cursor goes to (-31,140) at the start of frame N and\n"
    "                         comes back at once (the round plays the same otherwise)\n"
    "  --cursor N X Y         likewise, to (X,Y)\n"
    "  --nudge N              the cursor a pixel to the side at the end of frame N, back at\n"
    "                         the start of the next (the game draws it there, nothing more)\n"
    "  --ticks N MS           the ticks of frame N and every later one MS later\n"
    "  --presses N K          K presses and releases of the button in frame N, at the cursor\n"
    "  --key N VK             a key press (WM_KEYDOWN of virtual key VK, e.g. 65 for A) in frame "
    "N\n"
    "  --keys N VK K          K such presses in each frame from N on, to the round's end\n"
    "  --activations N K      K activations of the window (WM_ACTIVATEAPP 1) in each\n"
    "                         frame from N on, to the round's end\n"
    "  --seed SECONDS         the round's calendar time (its seed) set to SECONDS since 1970\n"
    "  --seed-ahead SECONDS   the seed set to SECONDS after now (now: $ZUMBLE_VERIFY_NOW\n"
    "                         when set, else the clock), e.g. 90000 for a day and an hour\n"
    "  --set-autoplay         sets the flag of a round the test player played\n"
    "  --clear-autoplay       clears it (an autoplay round passed off as a person's)\n"
    "  --flags N              sets all the header's flags (bit 0 test player, 1 touch, 2 pad)\n"
    "  --program TEXT         the header's program text (at most 16 bytes)\n"
    "  --idle N               N frames without input after the last, on the steady clock\n"
    "                         (the results board left up; the header keeps its time)\n"
    "Frames count from 0, the frame of the start click. Edits of the inputs change the\n"
    "round, so such a file would part from its checksums when played; the verifier's\n"
    "rules refuse it before it plays. --seed changes the round too.\n"
    "--info prints the header's fields, one a line.\n";

bool ReadBytes(const char* path, std::vector<std::uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteBytes(const char* path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

long long Now() {
    long long now = 0;
    const char* fixed = std::getenv("ZUMBLE_VERIFY_NOW");
    if (fixed && ToNumber(fixed, 0, 0xFFFFFFFFLL, &now)) return now;
    return static_cast<long long>(std::time(nullptr));
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "replay_craft: %s\n", why.c_str());
    return 2;
}

// Where in frame N an input can go: after the frame's own first cursor move, which the
// file codes before everything else.
std::size_t Front(const EditFrame& f) {
    return !f.inputs.empty() && f.inputs[0].op == ReplayOp::Cursor ? 1 : 0;
}

// The cursor as it stands at the start of frame n (after its first cursor move).
void CursorAt(const EditReplay& r, std::size_t n, int* x, int* y) {
    *x = r.header.cursorX;
    *y = r.header.cursorY;
    for (std::size_t i = 0; i <= n && i < r.frames.size(); ++i)
        for (std::size_t k = 0; k < r.frames[i].inputs.size(); ++k) {
            if (i == n && k >= Front(r.frames[i])) return;
            if (r.frames[i].inputs[k].op == ReplayOp::Cursor) {
                *x = r.frames[i].inputs[k].x;
                *y = r.frames[i].inputs[k].y;
            }
        }
}

int Info(const char* path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadBytes(path, &bytes)) return Fail(std::string("cannot read ") + path);
    EditReplay r;
    std::string why;
    if (!EditDecode(bytes, &r, &why)) return Fail(std::string(path) + ": " + why);
    const ReplayHeader& h = r.header;
    char program[17] = {};
    std::memcpy(program, h.program, 16);
    std::printf(
        "program=%s\nflies_setting=%u\nspeed_setting=%u\nseed=%u\nframes=%u\ntime_ms=%u\nflags=%u\n"
        "cursor=%d,%d\nstart_flip=%u\nstart_tick=%u\n",
        program, h.flySetting, h.speedSetting, h.calendarTime, h.frames, h.timeMs, h.flags,
        h.cursorX, h.cursorY, h.startFlip, h.startTick);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0) return Info(argv[2]);
    if (argc < 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    if (!ReadBytes(argv[1], &bytes)) return Fail(std::string("cannot read ") + argv[1]);
    EditReplay r;
    std::string why;
    if (!EditDecode(bytes, &r, &why))
        return Fail(std::string(argv[1]) + " is not a replay: " + why);
    bool inputsChanged = false;
    const long long lastFrame = static_cast<long long>(r.frames.size()) - 1;
    for (int i = 3; i < argc; ++i) {
        const std::string edit = argv[i];
        auto arg = [&](int k) -> const char* { return i + k < argc ? argv[i + k] : nullptr; };
        long long a = 0, b = 0, c = 0;
        if (edit == "--offscreen" || edit == "--cursor") {
            const bool own = edit == "--cursor";
            if (!ToNumber(arg(1), 0, lastFrame, &a) ||
                (own &&
                 (!ToNumber(arg(2), -32767, 32767, &b) || !ToNumber(arg(3), -32767, 32767, &c))))
                return Fail(edit + (own ? " takes a frame of the round and X Y"
                                        : " takes a frame of the round"));
            if (!own) b = -31, c = 140;
            int x = 0, y = 0;
            CursorAt(r, static_cast<std::size_t>(a), &x, &y);
            EditFrame& f = r.frames[static_cast<std::size_t>(a)];
            const auto at = f.inputs.begin() + static_cast<long>(Front(f));
            f.inputs.insert(
                at, {EditCursor(static_cast<int>(b), static_cast<int>(c)), EditCursor(x, y)});
            inputsChanged = true;
            i += own ? 3 : 1;
        } else if (edit == "--nudge") {
            if (!ToNumber(arg(1), 0, lastFrame - 1, &a))
                return Fail("--nudge takes a frame of the round but its last");
            // Where frame N leaves the cursor.
            int x = r.header.cursorX, y = r.header.cursorY;
            for (std::size_t n = 0; n <= static_cast<std::size_t>(a); ++n)
                for (const ReplayInput& in : r.frames[n].inputs)
                    if (in.op == ReplayOp::Cursor) x = in.x, y = in.y;
            r.frames[static_cast<std::size_t>(a)].inputs.push_back(
                EditCursor(x > 0 ? x - 1 : x + 1, y));
            EditFrame& next = r.frames[static_cast<std::size_t>(a) + 1];
            if (Front(next) == 0) next.inputs.insert(next.inputs.begin(), EditCursor(x, y));
            inputsChanged = true;
            i += 1;
        } else if (edit == "--ticks") {
            if (!ToNumber(arg(1), 0, lastFrame, &a) || !ToNumber(arg(2), 0, 1000000, &b))
                return Fail("--ticks takes a frame of the round and 0..1000000 ms");
            for (std::size_t n = static_cast<std::size_t>(a); n < r.frames.size(); ++n)
                r.frames[n].tick += static_cast<std::uint32_t>(b);
            inputsChanged = true;
            i += 2;
        } else if (edit == "--presses") {
            if (!ToNumber(arg(1), 0, lastFrame, &a) || !ToNumber(arg(2), 1, 1000, &b))
                return Fail("--presses takes a frame of the round and a count 1..1000");
            int x = 0, y = 0;
            CursorAt(r, static_cast<std::size_t>(a), &x, &y);
            EditFrame& f = r.frames[static_cast<std::size_t>(a)];
            std::vector<ReplayInput> clicks;
            for (long long k = 0; k < b; ++k) {
                clicks.push_back(EditDown(x, y));
                clicks.push_back(EditUp(x, y));
            }
            f.inputs.insert(f.inputs.begin() + static_cast<long>(Front(f)), clicks.begin(),
                            clicks.end());
            inputsChanged = true;
            i += 2;
        } else if (edit == "--key") {
            if (!ToNumber(arg(1), 0, lastFrame, &a) || !ToNumber(arg(2), 0, 255, &b))
                return Fail("--key takes a frame of the round and a virtual key 0..255");
            EditFrame& f = r.frames[static_cast<std::size_t>(a)];
            f.inputs.insert(f.inputs.begin() + static_cast<long>(Front(f)),
                            EditMessage(0x0100, static_cast<std::uint64_t>(b), 1));
            inputsChanged = true;
            i += 2;
        } else if (edit == "--keys" || edit == "--activations") {
            const bool keys = edit == "--keys";
            if (!ToNumber(arg(1), 0, lastFrame, &a) || (keys && !ToNumber(arg(2), 0, 255, &c)) ||
                !ToNumber(arg(keys ? 3 : 2), 1, 100000, &b))
                return Fail(
                    edit + (keys
                                ? " takes a frame of the round, a virtual key and a count 1..100000"
                                : " takes a frame of the round and a count 1..100000"));
            const ReplayInput in = keys ? EditMessage(0x0100, static_cast<std::uint64_t>(c), 1)
                                        : EditMessage(0x001C, 1, 0);
            for (std::size_t n = static_cast<std::size_t>(a); n < r.frames.size(); ++n) {
                EditFrame& f = r.frames[n];
                f.inputs.insert(f.inputs.begin() + static_cast<long>(Front(f)),
                                static_cast<std::size_t>(b), in);
            }
            inputsChanged = true;
            i += keys ? 3 : 2;
        } else if (edit == "--seed" || edit == "--seed-ahead") {
            const bool ahead = edit == "--seed-ahead";
            if (!ToNumber(arg(1), ahead ? -0xFFFFFFFFLL : 0, 0xFFFFFFFFLL, &a))
                return Fail(edit + " takes a number of seconds");
            const long long seed = ahead ? Now() + a : a;
            if (seed < 0 || seed > 0xFFFFFFFFLL)
                return Fail(edit + ": the seed would not fit in 32 bits");
            r.header.calendarTime = static_cast<std::uint32_t>(seed);
            i += 1;
        } else if (edit == "--set-autoplay") {
            r.header.flags |= kReplayTestPlayer;
        } else if (edit == "--clear-autoplay") {
            r.header.flags &= ~kReplayTestPlayer;
        } else if (edit == "--flags") {
            if (!ToNumber(arg(1), 0, 0xFFFFFFFFLL, &a)) return Fail("--flags takes a number");
            r.header.flags = static_cast<std::uint32_t>(a);
            i += 1;
        } else if (edit == "--program") {
            if (!arg(1) || std::strlen(arg(1)) > 16)
                return Fail("--program takes a text of at most 16 bytes");
            std::memset(r.header.program, 0, sizeof r.header.program);
            std::memcpy(r.header.program, arg(1), std::strlen(arg(1)));
            i += 1;
        } else if (edit == "--idle") {
            if (!ToNumber(arg(1), 1, kReplayMaxFrames - static_cast<long long>(r.frames.size()),
                          &a))
                return Fail("--idle takes a count of frames the file has room for");
            for (long long k = 0; k < a; ++k) {
                const std::uint32_t flip =
                    r.header.startFlip + static_cast<std::uint32_t>(r.frames.size());
                EditFrame f;
                f.tick = r.frames.back().tick + ReplayTickStep(flip);
                r.frames.push_back(f);
            }
            inputsChanged = true;
            i += 1;
        } else {
            return Fail("unknown edit '" + edit + "' (see replay_craft --help)");
        }
    }
    std::vector<std::uint8_t> out;
    if (inputsChanged) {
        out = EditEncode(r);
        if (out.empty()) return Fail("the edited round does not fit in a replay");
    } else {
        // Header edits alone leave every other byte as it was.
        out = bytes;
        std::string program(r.header.program, strnlen(r.header.program, sizeof r.header.program));
        EditSetProgram(&out, program);
        EditSetFlags(&out, r.header.flags);
        EditSetCalendar(&out, r.header.calendarTime);
    }
    if (!WriteBytes(argv[2], out)) return Fail(std::string("cannot write ") + argv[2]);
    return 0;
}
