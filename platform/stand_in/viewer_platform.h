#pragma once
// What the replay viewer (replay/replay_viewer.h) asks of the platform beyond the game's
// own calls: frames played without drawing or pacing while it seeks, the frame shown
// again while it stands still, the player's input and the frame's slot meanwhile, and
// the sound held. A platform that plays no replays (zumble-ddraw.exe) does nothing here.

// False: the coming frames are neither drawn, presented nor paced (as --verify plays).
void ViewerDrawFrames(bool draw);
// Shows the last frame again (the overlay changed while it stands still).
void ViewerShowFrameAgain();
// Takes the player's input from the window (into the viewer's keys and pointer).
void ViewerPumpInput();
// Waits for the next 1/60 s slot.
void ViewerWaitForSlot();
// The output fades out and the buffers stand still; let go, the one-shots are cut.
void ViewerHoldSound(bool hold);
