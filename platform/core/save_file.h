#pragma once
// Saving one of the player's small files so that nothing already saved is lost.

#include <cstddef>

// Saves `size` bytes as the player's file `path` (named as OpenGamePath names it). They
// are written to `tempPath`, put on the disk and renamed over `path`, so that a failure
// or a crash at any moment leaves the old file or the new one whole; the new file takes
// the old one's mode (and owner, where the system allows). An existing `path` must take
// writing, as it would if it were rewritten in place (reading it is not needed); where
// the folder refuses the temporary file or the rename but the file itself may be
// written, it is rewritten in place and put on the disk. True when saved.
bool SaveFileReplacing(const char* path, const char* tempPath, const void* bytes, std::size_t size);
