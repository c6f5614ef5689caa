#pragma once
// What the splits show over a round that is played, as plain data in the picture's
// 640x480 coordinates, for any presentation layer to draw over the scaled picture (never
// into the game's 8-bit surface, so traces and shots stay the game's own). The shell's
// splits fill it; the player's key or --splits turns it off (g_Options.splits).

constexpr int kSplitsLineSize = 96;
constexpr int kSplitsBoardLines = 5;

// The band at the top (the viewer's rows, kOverlayTopRows) and, on the results board, a
// box of lines below the table.
constexpr int kSplitsBoardTop = 366;
constexpr int kSplitsBoardBottom = 424;

struct SplitsOverlay {
    // The run raced and its time ("race: ada  0:33.604"); empty against the mode's best.
    char raceLine[kSplitsLineSize];
    // The delta at the last count ("-0.42"), and its tone: -1 ahead (green), 1 behind
    // (red), 0 level; empty before the first swat.
    char delta[16];
    int tone;
    // The reference's count at the clock shown ("best: 7", "race: 7").
    char count[32];
    // On the results board: the lines of SplitResultLines.
    int boardCount;
    char board[kSplitsBoardLines][kSplitsLineSize];
    // On the results board: the row of the mode's table the time took (0..4), marked, and
    // whether it is the mode's new best, said large; -1 and false otherwise.
    int tableRow;
    bool newBest;
    // A notice (notice.h), shown whether the splits are on or off; empty for none.
    char notice[kSplitsLineSize];
};

// Where the results board draws its table's rows: the row's top and the table's columns.
constexpr int kTableRowTop = 240;
constexpr int kTableRowStep = 24;
constexpr int kTableLeft = 230;
constexpr int kTableRight = 396;

// The shell's description of the frame about to be shown: false when it has nothing to
// show (no reference, not in a round). Null: nobody.
using SplitsDescriber = bool (*)(SplitsOverlay* out);
void SetSplitsDescriber(SplitsDescriber describe);

// For the presentation layers: false (nothing to draw) when there is no notice and the
// splits are off, nobody describes them, or they have nothing to show.
bool DescribeSplitsOverlay(SplitsOverlay* out);

// The player's key: shows or hides the splits, kept in display.ini, and says so.
void ToggleSplits();
