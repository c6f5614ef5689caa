#pragma once
// The scene state machine's state. The shell's main loop runs the machine and the scenes'
// click handlers and the Escape key move it; it sits on the display's floor because
// RestoreDisplay reloads the bitmap of the scene it names.

// Scene states of the state machine.
enum : int {
    STATE_START = 0,
    STATE_TITLE_ENTER = 1,
    STATE_TITLE_FRAME = 2,
    STATE_TITLE_LEAVE = 3,
    STATE_MODE_ENTER = 4,
    STATE_MODE_FRAME = 5,
    STATE_MODE_LEAVE = 6,
    STATE_PLAY_ENTER = 7,
    STATE_PLAY_FRAME = 8,
    STATE_PLAY_LEAVE = 9,
    STATE_QUIT = 13,
};

extern int SceneState;
