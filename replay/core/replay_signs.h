#pragma once
// Signs of machine play, measured while a round is verified: not refusals (a person may
// show one now and then), but reported with the result so that a board can hold the run
// for a look. docs/replay-format.md gives each threshold with its source.
//
// Fed in the order the game meets it: a frame's start (its tick), the cursor's moves and
// the button's presses the game takes, and at the frame's flip what the round looks like.
// Pure bookkeeping over these calls, so that it is tested without the game.

#include <cstddef>
#include <cstdint>
#include <vector>

// What the round looks like at a flip.
struct SignsView {
    bool playing = false;    // a round is on and its flies can be swatted
    int swatted = 0;         // flies swatted so far
    bool reachable = false;  // some fly is where a cursor on the screen can hit it
    bool aimKnown = false;   // where the test player would click now (its rule)
    int aimX = 0, aimY = 0;
};

// The thresholds (docs/replay-format.md says why each).
constexpr int kSignJumpPixels = 32;        // a press this far from where the cursor stood a frame before
constexpr int kSignTeleportPixels = 64;    // a move of this length or more completed within one frame
constexpr int kSignClickIntervalMs = 80;   // the median time between presses below this
constexpr int kSignReactionMs = 120;       // the median time from a fly's appearing to a press below this
constexpr int kSignMinEvents = 5;          // a sign needs this many cases at least ...
constexpr int kSignMinIntervals = 10;
constexpr int kSignMinReactions = 3;
constexpr int kSignAutoplayPercent = 90;   // ... and the test player's aim this share of presses

struct ReplaySigns {
    bool touch = false;
    std::uint32_t tick = 0;          // the current frame's
    int cursorX = 0, cursorY = 0;    // now
    int frameX = 0, frameY = 0;      // at the last flip
    SignsView last;                  // at the last flip
    bool pressed = false;            // a press in this frame while playing
    bool pressJumped = false;        // ... one that came with a jump onto its place
    // Counts.
    int presses = 0;                 // while playing
    int aimMatches = 0;              // presses where the test player would have clicked
    int swatFrames = 0;              // frames whose press swatted a fly
    int jumpSwats = 0;               // ... after a jump in the same frame
    int moveFrames = 0;              // the running move's frames (0: the cursor is still)
    int moveStartX = 0, moveStartY = 0;
    int longMoves = 0, teleports = 0;
    bool havePress = false;
    std::uint32_t lastPressTick = 0;
    bool stimulus = false;           // a fly became reachable on an empty board ...
    bool stimulusTimed = false;      // ... and the tick of the frame that showed it is known
    std::uint32_t stimulusTick = 0;
    std::vector<std::uint32_t> intervals, reactions;
};

void SignsStart(ReplaySigns* s, bool touch, int cursorX, int cursorY);
void SignsFrameStart(ReplaySigns* s, std::uint32_t tick);
void SignsCursor(ReplaySigns* s, int x, int y);
void SignsPress(ReplaySigns* s);
void SignsFrameEnd(ReplaySigns* s, const SignsView& view);
// "-" or NAME:VALUE[,NAME:VALUE...] for the signs the round shows.
void SignsReport(const ReplaySigns& s, char* out, std::size_t size);
