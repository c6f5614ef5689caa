#pragma once
// A gamepad as the game's mouse and keys. Each backend reads its pads (SDL's game
// controllers, XInput, the page's Gamepad API) into a PadState at every input pump;
// from here on every platform is the same: the stick and d-pad move the cursor
// (pad_cursor.h) and the buttons become the very messages a mouse and keyboard send,
// through the game's message queue. So the game, its replays and their checks see a
// pad round as a mouse round. Only standard types cross this header: the Windows
// backend's side that reads XInput includes it next to the system's own headers.

#include "platform/services/pad_cursor.h"

// Every connected pad, combined, at one input pump; all released and centred when no
// pad is connected.
struct PadState {
    PadAim aim;
    bool click = false;   // A, the bottom face button: the left mouse button
    bool escape = false;  // B, the right face button: Escape
    bool enter = false;   // Start: Enter
};

// Adds one pad to what the others give: any pad's button counts, and the stick tilted
// furthest steers (two resting sticks must not cancel one that moves).
void CombinePad(PadState* all, const PadState& one);

// At every input pump. A button pressed or released since the last pump becomes the
// left button's down or up at the cursor, or a key; then, once per frame (the first pump
// after each flip), the stick and d-pad move the cursor with the settings in effect
// (g_Options.pad). A pad at rest sends nothing.
void PadPump(const PadState& state);

// Messages the pads have sent since the start (tests tell from it that an idle or
// missing pad sent nothing).
long long PadMessagesSent();

// Forgets the last pump's buttons and the cursor's carry, for tests.
void ResetPadForTest();
