#pragma once
// The player's master volume over everything the game plays: 0..100 and a mute, applied
// to the finished mix, so the game's own buffer volumes keep their meaning beneath it.
// At 100 and not muted the mix is exactly what it would be without it.

constexpr int kMasterVolumeMax = 100;

// Takes effect with the next frames of the mix (any thread).
void SetMasterVolume(int percent, bool muted);
int MasterVolumePercent();
bool MasterMuted();
// The key M: mutes, or gives the sound back at the volume it had.
void ToggleMasterMute();
