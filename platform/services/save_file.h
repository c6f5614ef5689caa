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
//
// Whatever already has the name `tempPath` (a leftover, a link) is removed, never
// written through: the temporary file is always made anew, private until it takes its
// final mode. On POSIX systems a `path` that is a symbolic link stays one: the file at
// its end is saved, through its own temporary file (its name plus ".tmp") in its own
// folder, and that folder is put on the disk after the rename.
bool SaveFileReplacing(const char* path, const char* tempPath, const void* bytes, std::size_t size);
