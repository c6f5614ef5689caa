#pragma once
// The screen between the title and a round: fly count, speed, start and back.

int EnterModeSelect();
void ModeSelectFrame();
int DrawModeSelect();
int ModeSelectClick();
int LeaveModeSelect();
