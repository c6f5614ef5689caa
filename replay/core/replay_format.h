#pragma once
// The replay file: a fixed header, the inputs of every frame (delta- and run-length
// coded), a state checksum every 60 frames and a checksum of the whole file. Pure byte
// work, with no game state, so the reader can be fuzzed. docs/replay-format.md has the
// layout.

#include <cstddef>
#include <cstdint>

constexpr char kReplayMagic[4] = {'Z', 'R', 'P', 'L'};
// Raised whenever the file's layout or what its fields mean changes. 2: every frame ends
// at a flip, the clock follows the frames' slots, the header has its flags.
constexpr std::uint16_t kReplayFormatVersion = 2;
// Raised whenever the game would play a recorded round differently.
constexpr std::uint32_t kReplayGameVersion = 1;
constexpr int kReplayHeaderSize = 68;
// Where every format version keeps the recording program's version text (16 bytes), so
// that a file of any version can say what recorded it.
constexpr int kReplayProgramOffset = 12;
constexpr int kReplayProgramSize = 16;
constexpr int kReplayCheckpointFrames = 60;
constexpr std::uint32_t kReplayNoTime = 0xFFFFFFFFu;
// Bounds that keep a hostile file from costing much: a round of about nineteen hours at most.
constexpr std::uint32_t kReplayMaxFrames = 1u << 22;
constexpr std::size_t kReplayMaxInput = 16u << 20;
constexpr std::size_t kReplayMaxFile =
    kReplayHeaderSize + kReplayMaxInput + 4 * (kReplayMaxFrames / 60) + 4;

// How the round ended.
enum : std::uint8_t { kReplayEndBoard = 0, kReplayEndQuit = 1 };

// What the round's input came from (the header's flags); the other bits are reserved.
enum : std::uint32_t {
    kReplayTestPlayer = 1u << 0,  // the test player (--autoplay) played it
    kReplayTouch = 1u << 1,       // a touch screen was used
    kReplayGamepad = 1u << 2,     // a gamepad was used
    kReplayKnownFlags = kReplayTestPlayer | kReplayTouch | kReplayGamepad,
};

struct ReplayHeader {
    std::uint32_t gameVersion = kReplayGameVersion;
    char program[16] = {};          // the version text of the program that recorded it
    std::uint8_t flySetting = 0;    // 0..3: 10, 30, 100, 1000 flies
    std::uint8_t speedSetting = 0;  // 0..3
    std::uint8_t mouseDown = 0;     // the button's state when the round's first frame began
    std::uint8_t end = kReplayEndBoard;
    std::uint32_t calendarTime = 0;         // what the round read to seed its random sequence
    std::uint32_t startFlip = 0;            // the flip that began frame 0 (its low 32 bits)
    std::uint32_t startTick = 0;            // the tick count in frame 0
    std::int16_t cursorX = 0, cursorY = 0;  // the cursor when frame 0 began
    std::uint32_t timeMs = kReplayNoTime;   // the time the round put to the best times
    std::uint32_t frames = 0;
    std::uint32_t inputSize = 0;
    std::uint32_t finalChecksum = 0;  // the state after the last frame
    std::uint32_t flags = 0;          // kReplayTestPlayer, ...
};

// One input of a frame, in the order the game took it.
enum class ReplayOp : std::uint8_t {
    Cursor,      // the cursor moved to (x, y)
    Message,     // the game took a message
    DrainBreak,  // the rest of the frame's messages come in a later pass of the main loop
};

struct ReplayInput {
    ReplayOp op = ReplayOp::Message;
    int x = 0, y = 0;  // Cursor
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};

// --- writing ---------------------------------------------------------------------------

// Codes frames into a caller-owned buffer; nothing is allocated. Once the buffer is full
// the writer refuses the rest (full stays true) and the round is not kept.
struct ReplayWriter {
    std::uint8_t* out = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;
    bool full = false;
    std::uint32_t frames = 0;
    std::uint32_t idleRun = 0;  // frames waiting to be written as one run
    std::uint32_t tick = 0;     // the last frame's tick
    std::uint32_t flip = 0;     // the flip that began the last frame
    int cursorX = 0, cursorY = 0;
};

void ReplayWriterStart(ReplayWriter* w, std::uint8_t* out, std::size_t capacity,
                       const ReplayHeader& header);
// Adds a frame: its tick count and its inputs (cursor moves and messages, in order).
void ReplayWriterFrame(ReplayWriter* w, std::uint32_t tick, const ReplayInput* inputs, int count);
// Flushes a pending run; the coded input is out[0..size).
void ReplayWriterFinish(ReplayWriter* w);

// The whole file for `header` (its frames and inputSize taken from the writer), the coded
// input and the checkpoints. Returns the size written to `file`, 0 when it does not fit.
std::size_t ReplayBuildFile(const ReplayHeader& header, const std::uint8_t* input,
                            std::size_t inputSize, const std::uint32_t* checkpoints,
                            std::uint32_t checkpointCount, std::uint8_t* file,
                            std::size_t capacity);

// --- reading ---------------------------------------------------------------------------

struct ReplayFile {
    ReplayHeader header;
    const std::uint8_t* input = nullptr;  // inside the caller's bytes
    const std::uint8_t* checkpoints = nullptr;
    std::uint32_t checkpointCount = 0;
};

// Only the header, for a look before the file is read through: true when the magic, the
// format version and the header's size are this program's and the header is all there.
// Nothing past the header is checked (ReplayParse does that).
bool ReplayReadHeader(const std::uint8_t* bytes, std::size_t size, ReplayHeader* header);

// A buffer this size holds any reason ReplayParse gives whole.
constexpr std::size_t kReplayReasonSize = 192;

// Checks the whole file: size, magic, versions, checksum, every frame's coding, and that
// the ticks never run faster than 60 frames a second (ReplayClockAllows). False with a
// one-line reason, written to the caller's `reason` (cut to reasonSize - 1 characters).
bool ReplayParse(const std::uint8_t* bytes, std::size_t size, ReplayFile* file, char* reason,
                 std::size_t reasonSize);
std::uint32_t ReplayCheckpoint(const ReplayFile& file, std::uint32_t index);

// Walks the frames of a parsed file one at a time.
struct ReplayReader {
    const std::uint8_t* p = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint32_t frame = 0;  // frames read so far
    std::uint32_t frames = 0;
    std::uint32_t idleLeft = 0;
    std::uint32_t tick = 0;
    std::uint32_t flip = 0;
    int cursorX = 0, cursorY = 0;
    // The current frame's inputs still to take.
    const std::uint8_t* tokens = nullptr;
    bool pendingCursor = false;  // the frame header's cursor move, not yet taken
    int pendingX = 0, pendingY = 0;
};

void ReplayReaderStart(ReplayReader* r, const ReplayFile& file);
// Moves to the next frame; false at the end or on a coding fault. *tick is its tick count.
bool ReplayReaderNextFrame(ReplayReader* r, std::uint32_t* tick);
// The current frame's next input; 0 when the frame has none left, -1 on a coding fault.
int ReplayReaderNextInput(ReplayReader* r, ReplayInput* input);

// The tick count's advance from flip n - 1 to flip n on a steady 60 frames a second.
inline std::uint32_t ReplayTickStep(std::uint32_t flip) {
    // The pattern of floor(n * 1000 / 60) repeats every 3 flips.
    const std::uint32_t n = flip % 3 + 3;
    return n * 1000 / 60 - (n - 1) * 1000 / 60;
}

// The clock rule: no span of frames passes in less time than 60 frames a second take,
// less the rounding of whole milliseconds. Ticks i < j of frames i and j may differ by
// no less than floor((j - i) * 1000 / 60). Fed the frames' ticks in order, it keeps
// only the largest "phase" 60 * tick - 1000 * frame seen so far; the ticks are taken
// without wrapping (each a step on from the last).
struct ReplayClock {
    bool started = false;
    std::int64_t frame = 0;  // frames fed so far
    std::int64_t tick = 0;   // the last tick, unwrapped
    std::uint32_t raw = 0;   // and as the file holds it
    std::int64_t phase = 0;  // the largest 60 * tick - 1000 * frame
};
enum class ReplayClockVerdict { Ok, Backwards, TooFast };
ReplayClockVerdict ReplayClockNext(ReplayClock* clock, std::uint32_t tick);
