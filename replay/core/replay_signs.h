#pragma once
// Signs of machine play, measured while a round is verified: not refusals (a person may
// show one now and then), but reported with the result so that a board can hold the run
// for a look. docs/replay-format.md gives each threshold with its source.
//
// Fed in the order the game meets it: a frame's start (its tick), the cursor's moves and
// the button's presses and releases the game takes (each press with the flies it swats),
// and at the frame's flip what the round looks like and where its flies are. Pure
// bookkeeping over these calls, so that it is tested without the game.

#include <cstddef>
#include <cstdint>
#include <vector>

// What the round looks like at a flip.
struct SignsView {
    bool playing = false;   // a round is on and its flies can be swatted
    bool aimKnown = false;  // where the test player would click now (its rule)
    int aimX = 0, aimY = 0;
};

// A live fly at a flip: whether a cursor on the screen can hit it, and where the game's
// test player would click on it (one pixel past its corner, within that reach); whether
// the flip showed any of it, and whether the cursor already stood where a press swats it.
struct SignsFly {
    bool reachable = false;
    int aimX = 0, aimY = 0;
    bool drawn = false;
    bool underCursor = false;
};

// The thresholds (docs/replay-format.md says why each).
constexpr int kSignJumpPixels = 32;  // a press this far from where the cursor stood a frame before
constexpr int kSignTeleportPixels = 64;  // a move of this length or more completed within one frame
constexpr int kSignReactionFloorMs = 100;  // the least a person reacts in ...
constexpr int kSignFrameMs = 17;  // ... less a frame, which times from tick to tick can lose
constexpr int kSignFittsMsPerBit =
    50;  // ... plus the quickest reach: this per bit of log2(D / W + 1)
constexpr int kSignSwatBoxPixels = 51;  // W, the fly's swat box
constexpr int kSignFastPercent =
    5;  // more than this share of the swats (rounded down) under the floor
constexpr int kSignNearFloorMs = 100;  // a swat this close above its floor is near it ...
constexpr int kSignNearPercent = 50;   // ... and this share of the swats near it is a sign
constexpr double kSignLandingPixels =
    2.0;  // presses landing on their fly with less spread than this
constexpr double kSignTimingSpreadMs = 20.0;  // swats timed with less spread than this
constexpr int kSignMinEvents = 5;             // a sign needs this many cases at least
constexpr int kSignAutoplayPercent = 90;      // the test player's aim on this share of presses

// When a fly became something to go for: the tick of the flip that first showed any of
// it (or the last swat's) and where the cursor stood then.
struct SignsCue {
    bool known = false;
    bool pending = false;  // shown at the last flip: its time is the next frame's tick
    std::uint32_t tick = 0;
    int x = 0, y = 0;
    bool waited = false;  // the cursor stood on the fly when it first showed
};

// Steering through the random sequence: a press ranked among the same press played a few
// frames earlier and later, by how soon each lets the next fly be swatted. Judged on
// the swats where the alternatives differ.
constexpr int kSteerMostSwats = 128;
constexpr double kSteerChance = 1e-6;  // ranks this unlikely for a blind hand are a sign
struct SteerRanks {
    int swats = 0;  // swats where the alternatives differed
    int best = 0;   // ... where the press was among the best
    // The chance, for a hand blind to the sequence, of each count of best presses so far.
    double chance[kSteerMostSwats + 1] = {1.0};
};

struct ReplaySigns {
    bool touch = false;
    std::uint32_t tick = 0;        // the current frame's
    std::uint32_t frame = 0;       // frames begun
    int cursorX = 0, cursorY = 0;  // now
    int frameX = 0, frameY = 0;    // at the last flip
    SignsView last;                // at the last flip
    bool down = false;             // the button
    bool pressJumped = false;      // a press of this frame came with a jump onto its place
    // The live flies, oldest first: those of the last flip less those swatted since, as
    // that flip showed them, and each one's cue.
    std::vector<SignsFly> flies;
    std::vector<SignsCue> cues;
    bool cuesPending = false;
    // Presses and moves.
    int presses = 0;     // while playing
    int aimMatches = 0;  // presses where the test player would have clicked
    int moveFrames = 0;  // the running move's frames (0: the cursor is still)
    int moveStartX = 0, moveStartY = 0;
    int longMoves = 0, teleports = 0;
    // Swats: presses that swatted a fly.
    int swats = 0;
    int jumpSwats = 0;      // ... after a jump in the same frame
    int fastSwats = 0;      // ... sooner after their cue than a person's floor
    bool lastFast = false;  // the latest swat was one of them
    int nearSwats = 0;      // ... a little above it, or on a fly that showed under the cursor
    SteerRanks steer;
    int glideSwats = 0;  // ... whose cursor moved with the button up before (touch)
    bool haveSwat = false;
    SignsCue lastSwat;
    // Where presses land on their fly: from the test player's pixel on it as the last flip
    // showed it, and as the press found it (the fly has moved a step since).
    int shownSwats = 0;  // swats of a fly that was in reach at the last flip
    double shownX = 0, shownY = 0, shownXX = 0, shownYY = 0;
    double landX = 0, landY = 0, landXX = 0, landYY = 0;
    int timedSwats = 0;
    double timeSum = 0, timeSquares = 0;             // cue to press
    bool upMovedBefore = false, upMovedNow = false;  // the cursor moved with the button up
};

void SignsStart(ReplaySigns* s, bool touch, int cursorX, int cursorY, bool buttonDown);
void SignsFrameStart(ReplaySigns* s, std::uint32_t tick);
void SignsCursor(ReplaySigns* s, int x, int y);
// A press, with the indices of the flies it swats among the live ones (those of the last
// flip that are still there), and the test player's pixel on the first of them as the
// press is taken.
void SignsPress(ReplaySigns* s, const int* hits, int hitCount, int aimX, int aimY);
void SignsRelease(ReplaySigns* s);
// A swat's rank among its alternatives: `alternatives` presses that swat the same fly (the
// press itself among them), `atBest` of them as good as the best, the press one of those
// when `best`. Alternatives that all deal alike say nothing and are not counted.
void SignsSteer(ReplaySigns* s, int alternatives, int atBest, bool best);
// The chance that a hand blind to the sequence is among the best as often (one when
// nothing was ranked).
double SteerChance(const SteerRanks& r);
// The first tick at which a press at (x, y) on the live fly at index `hit` would not be
// a fast swat; false when the fly was never shown (any press on it is one).
bool SignsEarliest(const ReplaySigns& s, int hit, int x, int y, std::uint32_t* tick);
// The least time a person takes from a cue to a press after a reach of `distance` pixels.
double SignsFloorMs(double distance);
// The flip: what the round looks like and its live flies, oldest first.
void SignsFrameEnd(ReplaySigns* s, const SignsView& view, const SignsFly* flies, int flyCount);
// "-" or NAME:VALUE[,NAME:VALUE...] for the signs the round shows.
void SignsReport(const ReplaySigns& s, char* out, std::size_t size);
