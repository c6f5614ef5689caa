#pragma once
// The screen between the title and a round: fly count, speed, start and back.

int EnterModeSelect();
void ModeSelectFrame();
int DrawModeSelect();
int ModeSelectClick();
// What Start does (its click, or the R key): a round of the chosen mode.
void ModeSelectStart();
int LeaveModeSelect();
