#pragma once
// zumble.exe's gamepads: XInput controllers, read at every input pump into the pad input
// every platform shares (platform/stand_in/pad_input.h). Only standard types cross this header.

// Loads XInput from the system's folder; without it the game plays on with the mouse.
void Win32PadStart();
void Win32PadStop();
// The connected controllers to the game; all released while another program has the focus.
void Win32PadPump();
