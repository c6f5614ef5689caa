#pragma once
// --clip: the round of a replay, as it plays headless, into a video with its sound. Each
// frame the viewer reaches in the chosen range goes to the clip encoder as the player saw
// it (the palette's colours at the clip's scale, the viewer's overlay over it when asked),
// with the mix of that frame.

#include <string>

// After the replay is loaded and its playback started: checks the range against the
// round and opens the encoder. False with the reason when no clip can be made.
bool StartClip(std::string* error);
// After the playback's result (`playback`: 0 when the round verified): finishes the clip
// and prints its line, or drops it when the round did not verify or the clip could not be
// written. Returns the run's exit code.
int FinishClip(int playback);
