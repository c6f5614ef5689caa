#pragma once
// A snapshot of the game's state while a round plays: every global the round reads or
// writes, the containers byte for byte, the random sequence and the cursor. Put back at
// the start of a frame, the game plays on from there exactly as it did the first time.
// (The scene's bitmap and palette are not in it: they change only when a scene begins.)

#include <cstddef>

std::size_t GameSnapshotSize();
void SaveGameSnapshot(unsigned char* out);
void LoadGameSnapshot(const unsigned char* in);
