#pragma once
// What the player's input comes from, for the replay's header: whatever delivers input
// other than a mouse and keys says so when it does, and the recorder takes what was said
// frame by frame.

enum : unsigned {
    kInputTestPlayer = 1u << 0,  // the test player (--autoplay)
    kInputTouch = 1u << 1,       // a touch screen
    kInputGamepad = 1u << 2,     // a gamepad
};

// Input from `sources` reaches the game now.
void NoteInputSource(unsigned sources);
// `sources` drive the whole run (the test player): every round has them.
void NoteRunInputSource(unsigned sources);
// Every source noted since the game started (none taken away by TakeInputSources).
unsigned InputSourcesSeen();
// The sources noted since the last call, with those of the whole run.
unsigned TakeInputSources();
