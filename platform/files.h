#pragma once
// The game opens its files by Windows-style relative paths ("bmp\title.bmp").

#include <cstdio>

// fopen with the path's backslashes taken as directory separators. A folder is not a
// file: opening one fails, as it does on Windows.
std::FILE* OpenGamePath(const char* path, const char* mode);

// Flushes a written file and asks the system to put it on the disk, so that a rename
// over an older file cannot leave an empty one after a power cut. True on success.
bool FlushToDisk(std::FILE* file);

// Puts the finished file `from` in the place of `to` in one step, replacing any file
// there, so that a reader finds either the old file or the new one, whole. True on success.
bool RenameOver(const char* from, const char* to);

// When the current directory holds no bmp/ and wave/, changes to the folder next to or
// above the executable that does, and says so on stderr.
void FindGameData();
